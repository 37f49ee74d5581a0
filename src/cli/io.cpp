#include "cli/io.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "cli/stdio.h"

namespace binconv::cli {
namespace {

constexpr char kProgram[] = "binconv-cli: ";

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

int ReadBytes(const std::string& name, const std::function<int(std::string_view)>& consume) {
  InputFile input;
  if (auto opened = input.Open(name); !opened) {
    PrintError(DescribeIoError(opened.error()));
    return kExitError;
  }
  std::vector<char> buffer(kChunkSize);
  for (;;) {
    auto read = input.Read(buffer);
    if (!read) {
      PrintError(DescribeIoError(read.error()));
      return kExitError;
    }
    if (read.value() == 0) return kExitOk;
    if (int status = consume(std::string_view(buffer.data(), read.value())); status != kExitOk) {
      return status;
    }
  }
}

Result<std::unique_ptr<OutputSink>, IoError> OpenOutput(const std::filesystem::path& path) {
  if (path.empty() || path == kStdioName) {
    return std::unique_ptr<OutputSink>(std::make_unique<StdoutSink>());
  }
  auto sink = std::make_unique<FileSink>();
  if (auto opened = sink->Open(path); !opened) return Unexpected(opened.error());
  return std::unique_ptr<OutputSink>(std::move(sink));
}

int ReportOutputError(const IoError& error) {
  if (!ReaderHasGone(error)) PrintError(DescribeIoError(error));
  return kExitError;
}

}  // namespace binconv::cli
