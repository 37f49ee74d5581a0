#pragma once
// What the commands that scan a game (search, strings, pointers-to) share:
// GAME read in chunks with a progress bar, their lines written to standard
// output as they come, and offsets in hex.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/io.h"
#include "cli/progress.h"
#include "cli/stdio.h"
#include "scan/byte_scan.h"
#include "scan/relative_search.h"

namespace binconv::cli {

// "あ=0x35<TAB>かきくけこ… = 3A 3C 3E 40 42 …<TAB>jis": a relative search's
// match as search prints it ("none" for an あ outside a byte).
std::string DescribeRelativeMatch(const RelativeQuery& query, const RelativeMatch& match);

class GameInput {
 public:
  // Reports trouble (a missing file, a directory). "-" is standard input.
  Reported<> Open(messages::Language language, const std::string& name);
  // Reads GAME, updating the progress bar.
  ReadInput Reader();
  ScanProgress Progress();
  // Takes the progress bar off its line, for a LineOutput about to write.
  std::function<void()> ProgressEraser();
  // The size of a regular file; nullopt for a pipe or standard input.
  std::optional<std::uint64_t> size() const { return size_; }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  InputFile file_;
  std::optional<std::uint64_t> size_;
  std::unique_ptr<ProgressBar> bar_;
};

// Lines to standard output in large writes. A failed write is reported once
// (a reader gone away quietly); every later line is then dropped.
class LineOutput {
 public:
  // `before_write` runs before each write, to take a progress bar off its line.
  explicit LineOutput(messages::Language language, std::function<void()> before_write = {});
  ~LineOutput();
  // False once writing has failed: the scan should stop.
  bool Add(std::string_view line);
  // Writes what is left; fails when anything failed.
  Reported<> Finish();

 private:
  bool Flush();
  messages::Language language_;
  std::string buffer_;
  bool failed_ = false;
  std::function<void()> before_write_;
};

// Reports a read error of the scan; returns ExitStatus::kError.
ExitStatus ReportScanError(messages::Language language, const IoError& error);

}  // namespace binconv::cli
