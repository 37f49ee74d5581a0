#pragma once
// A progress bar on standard error for long scans and jobs: shown only for
// an input over 64 MiB when standard error is a terminal, with the percent
// done, the speed and the time left; it clears its line when done. The jobs
// on a game (dump, insert, patch, diff) hear of their work through a reader,
// a patch input and the file seam wrapped here, so the core never prints.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "messages/messages.h"
#include "patch/patch_input.h"
#include "runtime/file.h"
#include "scan/byte_scan.h"

namespace binconv::cli {

class ProgressBar {
 public:
  // `total` unknown (a pipe): no bar. `input`, when given, is the size the
  // 64 MiB rule looks at, for a job whose total counts its input more than once.
  ProgressBar(messages::Language language, std::optional<std::uint64_t> total,
              std::optional<std::uint64_t> input = std::nullopt);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Update(std::uint64_t done);
  // What the work is doing now, shown after the percent ("reading the game").
  void set_step(std::string step) { step_ = std::move(step); }
  // Takes the bar off its line before other output; the next Update draws
  // it again below that output.
  void Erase();

 private:
  using Clock = std::chrono::steady_clock;
  messages::Language language_;
  std::uint64_t total_ = 0;
  bool shown_ = false;  // the bar is wanted at all
  bool drawn_ = false;  // something is on the line
  std::string step_;
  Clock::time_point start_;
  Clock::time_point last_;
};

// One bar over all of a command's work on a game: steps of sizes known
// before they start (the game's CRC-32, making and checking a patch, writing
// the result), each counted up to its size. A step heard from means those
// before it are done, so the bar never goes back, and Finish fills it.
class JobProgress {
 public:
  // Without `report`, a ProgressBar shown as for an input of the game's
  // size; with it, `report` hears every new furthest count, for tests.
  explicit JobProgress(messages::Language language, ScanProgress report = {})
      : language_(language), report_(std::move(report)) {}
  // Its steps' hooks point at it.
  JobProgress(const JobProgress&) = delete;
  JobProgress& operator=(const JobProgress&) = delete;
  // The steps in order, once the game's size is known: each its size (0 for
  // a step the command won't take this time) and what the bar calls it.
  struct PlannedStep {
    std::uint64_t size = 0;
    const char* what = "";
  };
  void Plan(std::uint64_t game, const std::vector<PlannedStep>& steps);
  // What tells step `index` of its bytes done so far; nothing is counted
  // before Plan.
  ScanProgress Step(std::size_t index);
  std::uint64_t total() const { return ends_.empty() ? 0 : ends_.back(); }
  // Fills and clears the bar, before the command prints its outcome.
  void Finish();
  // Clears the bar, before the command prints why it failed.
  void Clear() { bar_.reset(); }

 private:
  void Tell(std::uint64_t done);

  messages::Language language_;
  ScanProgress report_;
  std::uint64_t game_ = 0;
  std::vector<std::uint64_t> ends_;  // where each step ends in the whole
  std::vector<const char*> names_;
  std::uint64_t done_ = 0;
  std::unique_ptr<ProgressBar> bar_;
};

// A game opened as FileReader whose reads tell `progress` the bytes read so
// far: dump and insert read it through, the CRC-32 from end to end.
class ProgressReader final : public FileReader {
 public:
  explicit ProgressReader(ScanProgress progress) : progress_(std::move(progress)) {}
  Result<Unit, IoError> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  ScanProgress progress_;
  std::uint64_t read_ = 0;
};

// The real file system, telling `progress` the bytes written and copied so
// far: the result of insert and patch as it is built.
class ProgressFileOps final : public FileOps {
 public:
  explicit ProgressFileOps(ScanProgress progress) : progress_(std::move(progress)) {}
  int CreateExclusive(const std::filesystem::path& path, FileHandle& file) override {
    return system_.CreateExclusive(path, file);
  }
  int Write(FileHandle file, const std::uint8_t* data, std::size_t size) override;
  int WriteAt(FileHandle file, std::uint64_t offset, const std::uint8_t* data,
              std::size_t size) override;
  int CopyContents(FileHandle from, FileHandle to) override;
  void Copied(std::uint64_t bytes) override { Count(bytes); }
  int Flush(FileHandle file) override { return system_.Flush(file); }
  int Close(FileHandle file) override { return system_.Close(file); }
  int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return system_.Rename(from, to);
  }
  int Remove(const std::filesystem::path& path) override { return system_.Remove(path); }

 private:
  void Count(std::uint64_t bytes);

  FileOps& system_ = SystemFileOps();
  ScanProgress progress_;
  std::uint64_t done_ = 0;
  // Inside WriteAt or CopyContents, whose defaults may call Write (Windows):
  // their bytes are counted once, by them.
  bool inside_ = false;
};

}  // namespace binconv::cli
