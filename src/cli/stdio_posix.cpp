#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "cli/io.h"
#include "cli/stdio.h"

namespace binconv::cli {

InputFile::~InputFile() {
  if (owned_) ::close(static_cast<int>(handle_));
}

// Plain read(2), so that pipes and terminals give their data as it comes.
Result<Unit, IoError> InputFile::Open(const std::string& name) {
  name_ = name.empty() ? kStdioName : name;
  int fd = STDIN_FILENO;
  if (name_ != kStdioName) {
    fd = ::open(name_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Unexpected(IoErrorFromErrno(name_, errno));
    owned_ = true;
  }
  handle_ = fd;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode))
    return Unexpected(IoErrorFromErrno(name_, EISDIR));
  return Unit{};
}

Result<std::size_t, IoError> InputFile::Read(std::span<char> buffer) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle_), buffer.data(), buffer.size());
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return Unexpected(IoErrorFromErrno(name_, errno));
  }
}

Result<Unit, IoError> WriteStdout(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return Unexpected(IoErrorFromErrno(kStdoutName, errno));
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return Unit{};
}

void WriteStderr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

bool ReaderHasGone(const IoError& error) { return error.system_error == EPIPE; }

messages::Language LanguageOfUser() {
  return messages::LanguageOfEnvironment([](std::string_view name) -> std::optional<std::string> {
           const char* value = std::getenv(std::string(name).c_str());
           if (value == nullptr) return std::nullopt;
           return std::string(value);
         })
      .value_or(messages::Language::kEnglish);
}

}  // namespace binconv::cli
