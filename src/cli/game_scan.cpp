#include "cli/game_scan.h"

#include "cli/io.h"
#include "cli/problems.h"
#include "runtime/file.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"

namespace binconv::cli {

std::string DescribeRelativeMatch(const RelativeQuery& query, const RelativeMatch& match) {
  const RelativeGuess guess = GuessOf(query, match);
  std::string codes;
  for (const std::uint8_t code : guess.codes) codes += HexByte(code) + " ";
  const std::string a = guess.code_of_a ? HexNumber(*guess.code_of_a, 2) : "none";
  return std::string(query.katakana ? "ア" : "あ") + "=" + a + "\t" + EncodeUtf8(guess.kana) +
         "… = " + codes + "…\t" + std::string(NameOf(guess.order));
}
namespace {

constexpr std::size_t kOutputBuffer = 64 * 1024;

}  // namespace

Reported<> GameInput::Open(messages::Language language, const std::string& name) {
  name_ = ShownName(name);
  if (auto opened = file_.Open(name); !opened) {
    PrintError(Describe(language, opened.error()));
    return Failure(ExitStatus::kError);
  }
  if (name_ != kStdioName) {
    if (auto size = RegularFileSize(PathFromUtf8(name_)); size) size_ = size.value();
  }
  bar_ = std::make_unique<ProgressBar>(language, size_);
  return Unit{};
}

ReadInput GameInput::Reader() {
  return [this](std::span<std::uint8_t> buffer) -> Result<std::size_t, IoError> {
    return file_.Read(std::span(reinterpret_cast<char*>(buffer.data()), buffer.size()));
  };
}

ScanProgress GameInput::Progress() {
  return [this](std::uint64_t done) { bar_->Update(done); };
}

std::function<void()> GameInput::ProgressEraser() {
  return [this] {
    if (bar_) bar_->Erase();
  };
}

LineOutput::LineOutput(messages::Language language, std::function<void()> before_write)
    : language_(language), before_write_(std::move(before_write)) {
  buffer_.reserve(kOutputBuffer + 4096);
}

LineOutput::~LineOutput() { Flush(); }

bool LineOutput::Add(std::string_view line) {
  if (failed_) return false;
  buffer_ += line;
  buffer_ += '\n';
  return buffer_.size() < kOutputBuffer || Flush();
}

bool LineOutput::Flush() {
  if (failed_ || buffer_.empty()) {
    buffer_.clear();
    return !failed_;
  }
  if (before_write_) before_write_();
  auto written =
      WriteStdout(std::span(reinterpret_cast<const std::uint8_t*>(buffer_.data()), buffer_.size()));
  buffer_.clear();
  if (!written) {
    ReportOutputError(language_, written.error());
    failed_ = true;
  }
  return !failed_;
}

Reported<> LineOutput::Finish() {
  if (Flush()) return Unit{};
  return Failure(ExitStatus::kError);
}

ExitStatus ReportScanError(messages::Language language, const IoError& error) {
  PrintError(Describe(language, error));
  return ExitStatus::kError;
}

}  // namespace binconv::cli
