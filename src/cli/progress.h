#pragma once
// A progress bar on standard error for long scans: shown only for an input
// over 64 MiB when standard error is a terminal, with the percent done, the
// speed and the time left; it clears its line when done.

#include <chrono>
#include <cstdint>
#include <optional>

namespace binconv::cli {

class ProgressBar {
 public:
  // `total` unknown (a pipe): no bar.
  explicit ProgressBar(std::optional<std::uint64_t> total);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Update(std::uint64_t done);

 private:
  using Clock = std::chrono::steady_clock;
  std::uint64_t total_ = 0;
  bool shown_ = false;  // the bar is wanted at all
  bool drawn_ = false;  // something is on the line
  Clock::time_point start_;
  Clock::time_point last_;
};

}  // namespace binconv::cli
