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

ProgressBar::ProgressBar(messages::Language language, std::optional<std::uint64_t> total,
                         std::optional<std::uint64_t> input)
    : language_(language),
      total_(total.value_or(0)),
      shown_(total && input.value_or(*total) > kShownFrom && StderrIsTerminal()),
      start_(Clock::now()),
      last_(start_) {}

ProgressBar::~ProgressBar() { Erase(); }

void ProgressBar::Erase() {
  if (drawn_) WriteStderr("\r" + std::string(79, ' ') + "\r");
  drawn_ = false;
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
  char figures[96];
  std::snprintf(figures, sizeof figures, "\r[%-20s] %3d%%  ",
                std::string(static_cast<std::size_t>(bar), '#').c_str(), percent);
  char rate_text[32];
  std::snprintf(rate_text, sizeof rate_text, "%6.0f MB/s  ", rate / 1e6);
  char time_text[16];
  std::snprintf(time_text, sizeof time_text, "%d:%02d", static_cast<int>(left) / 60,
                static_cast<int>(left) % 60);
  WriteStderr(std::string(figures) + step_ + (step_.empty() ? "" : "  ") + rate_text +
              messages::Say(language_, "{time} left ", {{"time", time_text}}));
  drawn_ = true;
}

void JobProgress::Plan(std::uint64_t game, const std::vector<PlannedStep>& steps) {
  game_ = game;
  ends_.clear();
  names_.clear();
  std::uint64_t end = 0;
  for (const PlannedStep& step : steps) {
    ends_.push_back(end += step.size);
    names_.push_back(step.what);
  }
}

ScanProgress JobProgress::Step(std::size_t index) {
  return [this, index](std::uint64_t done) {
    if (index >= ends_.size()) return;
    const std::uint64_t start = index == 0 ? 0 : ends_[index - 1];
    Tell(std::min(start + done, ends_[index]));
  };
}

void JobProgress::Finish() {
  Tell(total());
  Clear();
}

void JobProgress::Tell(std::uint64_t done) {
  // A step that reports late, after a later one, is already counted whole.
  if (done <= done_) return;
  done_ = done;
  if (report_) {
    report_(done_);
    return;
  }
  if (!bar_) bar_ = std::make_unique<ProgressBar>(language_, total(), game_);
  // The step under way: the first that doesn't end at or before what is done.
  const auto step = std::upper_bound(ends_.begin(), ends_.end(), std::min(done_, total() - 1));
  if (step != ends_.end()) {
    bar_->set_step(
        messages::Say(language_, names_[static_cast<std::size_t>(step - ends_.begin())]));
  }
  bar_->Update(done_);
}

Result<Unit, IoError> ProgressReader::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  auto read = FileReader::ReadAt(offset, out);
  if (read && !out.empty()) {
    read_ += out.size();
    if (progress_) progress_(read_);
  }
  return read;
}

void ProgressFileOps::Count(std::uint64_t bytes) {
  done_ += bytes;
  if (progress_) progress_(done_);
}

int ProgressFileOps::Write(FileHandle file, const std::uint8_t* data, std::size_t size) {
  const int error = system_.Write(file, data, size);
  if (error == 0 && !inside_) Count(size);
  return error;
}

int ProgressFileOps::WriteAt(FileHandle file, std::uint64_t offset, const std::uint8_t* data,
                             std::size_t size) {
  inside_ = true;
  const int error = FileOps::WriteAt(file, offset, data, size);
  inside_ = false;
  if (error == 0) Count(size);
  return error;
}

int ProgressFileOps::CopyContents(FileHandle from, FileHandle to) {
  // The default copy on this object, so that its Copied reaches Count.
  inside_ = true;
  const int error = FileOps::CopyContents(from, to);
  inside_ = false;
  return error;
}

}  // namespace binconv::cli
