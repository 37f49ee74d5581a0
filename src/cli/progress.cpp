#include "cli/progress.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/stdio.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace binconv::cli {
namespace {

constexpr std::uint64_t kShownFrom = 64ull << 20;
constexpr auto kEvery = std::chrono::milliseconds(200);

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace

ProgressBar::ProgressBar(std::optional<std::uint64_t> total)
    : total_(total.value_or(0)),
      shown_(total && *total > kShownFrom && StderrIsTerminal()),
      start_(Clock::now()),
      last_(start_) {}

ProgressBar::~ProgressBar() {
  if (drawn_) WriteStderr("\r" + std::string(60, ' ') + "\r");
}

void ProgressBar::Update(std::uint64_t done) {
  if (!shown_) return;
  const Clock::time_point now = Clock::now();
  if (now - last_ < kEvery) return;
  last_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;  // bytes a second
  const double left = rate > 0 ? static_cast<double>(total_ - std::min(done, total_)) / rate : 0;
  const auto percent =
      total_ == 0
          ? 100
          : static_cast<int>(100.0 * static_cast<double>(done) / static_cast<double>(total_));
  const int bar = percent / 5;
  char line[128];
  std::snprintf(line, sizeof line, "\r[%-20s] %3d%%  %6.0f MB/s  %d:%02d left ",
                std::string(static_cast<std::size_t>(bar), '#').c_str(), percent, rate / 1e6,
                static_cast<int>(left) / 60, static_cast<int>(left) % 60);
  WriteStderr(line);
  drawn_ = true;
}

Result<Unit, IoError> ProgressInput::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  auto read = input_.ReadAt(offset, out);
  if (read && offset + out.size() > furthest_) {
    furthest_ = offset + out.size();
    if (progress_) progress_(furthest_);
  }
  return read;
}

}  // namespace binconv::cli
