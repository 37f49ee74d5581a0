#include "cli/io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "cli/stdio.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

constexpr char kProgram[] = "binconv-cli: ";
// What the decoder takes in one go when the direct way has stopped.
constexpr std::size_t kDecodeStep = 32;

std::string Hex(char32_t ch) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(ch));
  return buffer;
}

bool Printable(char32_t ch) {
  if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0)) return false;
  if (ch >= 0xD800 && ch <= 0xDFFF) return false;
  return ch <= 0x10FFFF;
}

std::u16string Utf16Of(char32_t ch) {
  if (ch < 0x10000) return std::u16string(1, static_cast<char16_t>(ch));
  const char32_t v = ch - 0x10000;
  return {static_cast<char16_t>(0xD800 + (v >> 10)), static_cast<char16_t>(0xDC00 + (v & 0x3FF))};
}

class StdoutSink final : public OutputSink {
 public:
  Result<Unit, IoError> Write(std::span<const std::uint8_t> bytes) override {
    return WriteStdout(bytes);
  }
  Result<Unit, IoError> Commit() override { return Unit{}; }
  void Abort() override {}
};

class FileSink final : public OutputSink {
 public:
  Result<Unit, IoError> Open(const std::filesystem::path& path) { return writer_.Open(path); }
  Result<Unit, IoError> Write(std::span<const std::uint8_t> bytes) override {
    return writer_.Write(bytes);
  }
  Result<Unit, IoError> Commit() override { return writer_.Commit(); }
  void Abort() override { writer_.Abort(); }

 private:
  AtomicFileWriter writer_;
};

}  // namespace

void PrintError(std::string_view message) {
  std::string line = kProgram;
  line += message;
  line += '\n';
  WriteStderr(line);
}

void PrintLine(std::string_view line) {
  std::string text(line);
  text += '\n';
  WriteStderr(text);
}

std::string DescribeChar(char32_t ch) {
  const std::string shown = Printable(ch) ? EncodeUtf8(Utf16Of(ch)) : EncodeUtf8(u"\uFFFD");
  return "'" + shown + "' (" + Hex(ch) + ")";
}

int ReadText(const std::string& name, const std::function<int(std::u16string_view)>& consume,
             const DirectBytes& direct) {
  InputFile input;
  if (auto opened = input.Open(name); !opened) {
    PrintError(DescribeIoError(opened.error()));
    return kExitError;
  }
  const std::string shown_name = name.empty() ? kStdioName : name;
  std::vector<char> buffer(kChunkSize);
  Utf8Decoder decoder;
  std::u16string text;
  bool at_start = true;
  for (;;) {
    auto read = input.Read(buffer);
    if (!read) {
      PrintError(DescribeIoError(read.error()));
      return kExitError;
    }
    const std::size_t size = read.value();
    std::string_view bytes(buffer.data(), size);
    bool good = size != 0 || decoder.Finish();
    while (good && !bytes.empty()) {
      // The direct way, between characters; once it stops, a short stretch
      // goes through the decoder before it is offered the rest again.
      const bool use_direct = direct && !at_start;
      if (use_direct && decoder.missing() == 0) {
        std::size_t taken = 0;
        if (int status = direct(bytes, taken); status != kExitOk) return status;
        decoder.Skip(taken);
        bytes.remove_prefix(taken);
        if (bytes.empty()) break;
      }
      const std::size_t step = use_direct ? std::min(bytes.size(), kDecodeStep) : bytes.size();
      text.clear();
      good = decoder.Feed(bytes.substr(0, step), text);
      bytes.remove_prefix(step);
      std::u16string_view chunk = text;
      if (at_start && !chunk.empty()) {
        at_start = false;
        if (chunk.front() == u'\uFEFF') chunk.remove_prefix(1);
      }
      // Text before a bad sequence is still handed on, so that a listing of it
      // reaches the output before the error is seen; the caller discards it.
      if (!chunk.empty()) {
        if (int status = consume(chunk); status != kExitOk) return status;
      }
    }
    if (!good) {
      PrintError(shown_name + ": invalid UTF-8 at byte offset " +
                 std::to_string(decoder.error().offset));
      return kExitError;
    }
    if (size == 0) return kExitOk;
  }
}

Result<std::unique_ptr<OutputSink>, IoError> OpenOutput(const std::filesystem::path& path) {
  if (path.empty() || path == kStdioName) {
    return std::unique_ptr<OutputSink>(std::make_unique<StdoutSink>());
  }
  auto sink = std::make_unique<FileSink>();
  if (auto opened = sink->Open(path); !opened) return opened.error();
  return std::unique_ptr<OutputSink>(std::move(sink));
}

Result<Unit, IoError> Utf8Output::Write(std::u16string_view text) {
  if (text.empty()) return Unit{};
  buffer_.clear();
  std::u16string joined;
  if (pending_high_ != 0) {
    joined.assign(1, pending_high_);
    joined += text;
    text = joined;
    pending_high_ = 0;
  }
  if (text.back() >= 0xD800 && text.back() <= 0xDBFF) {
    pending_high_ = text.back();
    text.remove_suffix(1);
  }
  AppendUtf8(text, buffer_);
  return sink_.Write(
      std::span(reinterpret_cast<const std::uint8_t*>(buffer_.data()), buffer_.size()));
}

Result<Unit, IoError> Utf8Output::WriteUtf8(std::string_view text) {
  if (text.empty()) return Unit{};
  // A high surrogate left from the last text can't pair with this one.
  if (auto flushed = Finish(); !flushed) return flushed;
  return sink_.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

Result<Unit, IoError> Utf8Output::Finish() {
  if (pending_high_ == 0) return Unit{};
  buffer_.clear();
  AppendUtf8(std::u16string_view(&pending_high_, 1), buffer_);
  pending_high_ = 0;
  return sink_.Write(
      std::span(reinterpret_cast<const std::uint8_t*>(buffer_.data()), buffer_.size()));
}

int ReportOutputError(const IoError& error) {
  if (!ReaderHasGone(error)) PrintError(DescribeIoError(error));
  return kExitError;
}

}  // namespace binconv::cli
