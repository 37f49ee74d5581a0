#include "cli/io.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "cli/problems.h"
#include "cli/stdio.h"

namespace binconv::cli {
namespace {

constexpr char kProgram[] = "binconv-cli: ";

// Standard output, or an open descriptor named as /dev/stdout, /dev/fd/N or
// /proc/PID/fd/N: written through, never replaced, so that a ">>" keeps its
// old content and a pipe works. Such an output can't be taken back, so with
// kUntilCommit the bytes wait for Commit and a refused run writes nothing.
class StreamSink final : public OutputSink {
 public:
  StreamSink(FileHandle file, std::string shown, OutputHold hold)
      : file_(file), shown_(std::move(shown)), hold_(hold == OutputHold::kUntilCommit) {}
  ~StreamSink() override {
    if (file_ != kNoFile) SystemFileOps().Close(file_);
  }
  StreamSink(const StreamSink&) = delete;
  StreamSink& operator=(const StreamSink&) = delete;

  Result<Unit, IoError> Write(std::span<const std::uint8_t> bytes) override {
    if (hold_) {
      held_.insert(held_.end(), bytes.begin(), bytes.end());
      return Unit{};
    }
    return Put(bytes);
  }
  Result<Unit, IoError> Commit() override {
    auto put = Put(held_);
    held_ = {};
    return put;
  }
  void Abort() override { held_ = {}; }

 private:
  Result<Unit, IoError> Put(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return Unit{};
    if (file_ == kNoFile) return WriteStdout(bytes);
    if (const int error = SystemFileOps().Write(file_, bytes.data(), bytes.size()); error != 0) {
      return Unexpected(IoErrorFromSystem(shown_, error));
    }
    return Unit{};
  }

  FileHandle file_;  // kNoFile: standard output
  std::string shown_;
  bool hold_;
  std::vector<std::uint8_t> held_;
};

class FileSink final : public OutputSink {
 public:
  explicit FileSink(messages::Language language) : language_(language) {}
  Result<Unit, IoError> Open(const std::filesystem::path& path) {
    shown_ = PathToUtf8(path);
    return writer_.Open(path);
  }
  Result<Unit, IoError> Write(std::span<const std::uint8_t> bytes) override {
    return writer_.Write(bytes);
  }
  Result<Unit, IoError> Commit() override {
    auto committed = writer_.Commit();
    if (committed && !writer_.owner_kept()) {
      WarnOwnerChanged(language_, shown_);
    }
    return committed;
  }
  void Abort() override { writer_.Abort(); }

 private:
  messages::Language language_;
  AtomicFileWriter writer_;
  std::string shown_;
};

}  // namespace

std::string Counted(messages::Language language, std::uint64_t n, std::string_view one,
                    std::string_view many,
                    std::initializer_list<std::pair<std::string_view, std::string>> more) {
  return messages::Format(language, n == 1 ? one : many,
                          [&](std::string_view name) -> std::optional<std::string> {
                            if (name == "n") return std::to_string(n);
                            for (const auto& [key, value] : more) {
                              if (key == name) return value;
                            }
                            return std::nullopt;
                          });
}

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

Reported<> ReadBytes(messages::Language language, const std::string& name,
                     const std::function<Reported<>(std::string_view)>& consume) {
  InputFile input;
  if (auto opened = input.Open(name); !opened) {
    PrintError(Describe(language, opened.error()));
    return Failure(ExitStatus::kError);
  }
  std::vector<char> buffer(kChunkSize);
  for (;;) {
    auto read = input.Read(buffer);
    if (!read) {
      PrintError(Describe(language, read.error()));
      return Failure(ExitStatus::kError);
    }
    if (read.value() == 0) return Unit{};
    if (auto consumed = consume(std::string_view(buffer.data(), read.value())); !consumed) {
      return consumed;
    }
  }
}

Result<std::unique_ptr<OutputSink>, IoError> OpenOutput(messages::Language language,
                                                        const std::filesystem::path& path,
                                                        OutputHold hold) {
  if (path.empty() || path.native() == PathFromUtf8(kStdioName).native()) {
    return std::unique_ptr<OutputSink>(std::make_unique<StreamSink>(kNoFile, kStdoutName, hold));
  }
  auto descriptor = OpenDescriptorForWriting(path);
  if (!descriptor) return Unexpected(descriptor.error());
  if (const std::optional<FileHandle> file = descriptor.value()) {
    return std::unique_ptr<OutputSink>(std::make_unique<StreamSink>(*file, PathToUtf8(path), hold));
  }
  auto sink = std::make_unique<FileSink>(language);
  if (auto opened = sink->Open(path); !opened) return Unexpected(opened.error());
  return std::unique_ptr<OutputSink>(std::move(sink));
}

bool NamesOpenStream(const std::filesystem::path& path) {
  if (path.empty() || path.native() == PathFromUtf8(kStdioName).native()) return true;
  auto descriptor = OpenDescriptorForWriting(path);
  if (!descriptor || !descriptor.value()) return false;
  SystemFileOps().Close(*descriptor.value());
  return true;
}

Reported<> WriteOutput(messages::Language language, const std::filesystem::path& path,
                       std::span<const std::uint8_t> bytes) {
  auto opened = OpenOutput(language, path);
  if (!opened) return Failure(ReportOutputError(language, opened.error()));
  OutputSink& sink = *opened.value();
  Result<Unit, IoError> written = sink.Write(bytes);
  if (written) {
    written = sink.Commit();
  } else {
    sink.Abort();
  }
  if (!written) return Failure(ReportOutputError(language, written.error()));
  return Unit{};
}

Reported<std::unique_ptr<OutputSink>> StageOutput(messages::Language language,
                                                  const std::filesystem::path& path,
                                                  std::span<const std::uint8_t> bytes) {
  auto opened = OpenOutput(language, path, OutputHold::kUntilCommit);
  if (!opened) return Failure(ReportOutputError(language, opened.error()));
  if (auto written = opened.value()->Write(bytes); !written) {
    return Failure(ReportOutputError(language, written.error()));
  }
  return std::move(opened).value();
}

void WarnOwnerChanged(messages::Language language, const std::string& name) {
  PrintError(messages::Say(language,
                           "warning: {file} now belongs to you, not to its owner: only the owner"
                           " or root may keep a file's owner and group",
                           {{"file", name}}));
}

ExitStatus ReportOutputError(messages::Language language, const IoError& error) {
  if (!ReaderHasGone(error)) PrintError(Describe(language, error));
  return ExitStatus::kError;
}

std::string WithAside(std::string message, std::string_view aside) {
  constexpr std::string_view kFullStop = "。";
  if (aside.starts_with("（") && message.ends_with(kFullStop)) {
    message.resize(message.size() - kFullStop.size());
  }
  return message += aside;
}

ExitStatus UsageError(messages::Language language, std::string_view message) {
  PrintError(WithAside(std::string(message), messages::Say(language, " (see binconv-cli --help)")));
  return ExitStatus::kError;
}

}  // namespace binconv::cli
