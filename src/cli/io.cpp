#include "cli/io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "runtime/utf16.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

constexpr char kProgram[] = "binconv-cli: ";

void WriteStderr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::string Hex(char32_t ch) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(ch));
  return buffer;
}

bool Printable(char32_t ch) {
  if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0)) return false;
  if (IsSurrogate(ch)) return false;
  return ch <= 0x10FFFF;
}

// Standard input or an opened file, read with plain read(2) so that pipes and
// terminals give their data as it comes.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() {
    if (owned_) ::close(fd_);
  }

  Result<Unit, IoError> Open(const std::string& name) {
    name_ = name.empty() ? kStdioName : name;
    if (name_ == kStdioName) {
      fd_ = STDIN_FILENO;
    } else {
      fd_ = ::open(name_.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd_ < 0) return IoErrorFromErrno(name_, errno);
      owned_ = true;
    }
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
      return IoErrorFromErrno(name_, EISDIR);
    }
    return Unit{};
  }

  Result<std::size_t, IoError> Read(std::span<char> buffer) {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) return IoErrorFromErrno(name_, errno);
    }
  }

 private:
  int fd_ = -1;
  bool owned_ = false;
  std::string name_;
};

class StdoutSink final : public OutputSink {
 public:
  Result<Unit, IoError> Write(std::span<const std::uint8_t> bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return IoErrorFromErrno(kStdoutName, errno);
      }
      bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return Unit{};
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
  if (auto opened = sink->Open(path); !opened) return opened.error();
  return std::unique_ptr<OutputSink>(std::move(sink));
}

int ReportOutputError(const IoError& error) {
  if (error.system_error != EPIPE) PrintError(DescribeIoError(error));
  return kExitError;
}

}  // namespace binconv::cli
