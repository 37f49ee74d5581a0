#pragma once
// A progress bar on standard error for long scans: shown only for an input
// over 64 MiB when standard error is a terminal, with the percent done, the
// speed and the time left; it clears its line when done.

#include <chrono>
#include <cstdint>
#include <optional>

#include "patch/patch_input.h"
#include "scan/byte_scan.h"

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

// A patch's input read through, telling `progress` the furthest byte read
// so far, so that a command that makes a patch can show a bar too.
class ProgressInput final : public PatchInput {
 public:
  ProgressInput(PatchInput& input, ScanProgress progress)
      : input_(input), progress_(std::move(progress)) {}
  std::uint64_t size() const override { return input_.size(); }
  Result<Unit, IoError> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
  const std::uint8_t* whole() const override { return input_.whole(); }

 private:
  PatchInput& input_;
  ScanProgress progress_;
  std::uint64_t furthest_ = 0;
};

}  // namespace binconv::cli
