// Standard streams on Windows. Bytes stay bytes (no CR LF translation); text
// for a console goes through WriteConsoleW, so Japanese shows whatever the
// console's code page, and typed text comes in through ReadConsoleW as UTF-8.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "cli/io.h"
#include "cli/stdio.h"
#include "runtime/file_platform.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

// A character typed alone on a line ends console input, as in other programs.
constexpr wchar_t kConsoleEnd = L'\x1A';

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), n);
  return wide;
}

// Writes all of `bytes`; returns 0 or the system's error.
DWORD WriteAll(HANDLE handle, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), piece, &written, nullptr)) return GetLastError();
    bytes = bytes.subspan(written);
  }
  return 0;
}

DWORD WriteConsoleText(HANDLE console, std::string_view utf8) {
  const std::wstring wide = WideFromUtf8(utf8);
  std::wstring_view rest = wide;
  while (!rest.empty()) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 16 * 1024));
    if (!WriteConsoleW(console, rest.data(), piece, &written, nullptr)) return GetLastError();
    rest.remove_prefix(written);
  }
  return 0;
}

}  // namespace

InputFile::~InputFile() {
  if (owned_) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

Result<Unit, IoError> InputFile::Open(const std::string& name) {
  name_ = name.empty() ? kStdioName : name;
  if (name_ == kStdioName) {
    handle_ = reinterpret_cast<FileHandle>(GetStdHandle(STD_INPUT_HANDLE));
    return Unit{};
  }
  const std::filesystem::path path = PathFromUtf8(name_);
  if (auto bad = platform::CheckName(path, name_); bad && bad->code == IoErrorCode::kReservedName) {
    return Unexpected(*bad);
  }
  const std::wstring system_path = platform::SystemPath(path);
  const DWORD attributes = GetFileAttributesW(system_path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Unexpected(IoErrorFromErrno(name_, EISDIR));
  }
  const HANDLE file = CreateFileW(system_path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return Unexpected(IoErrorFromSystem(name_, static_cast<int>(GetLastError())));
  }
  handle_ = reinterpret_cast<FileHandle>(file);
  owned_ = true;
  return Unit{};
}

Result<std::size_t, IoError> InputFile::Read(std::span<char> buffer) {
  const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  // No standard input at all reads as empty input.
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return std::size_t{0};
  if (IsConsole(handle)) {
    // Each UTF-16 unit takes at most three bytes of UTF-8.
    std::wstring typed(buffer.size() / 3, L'\0');
    DWORD n = 0;
    if (!ReadConsoleW(handle, typed.data(), static_cast<DWORD>(typed.size()), &n, nullptr)) {
      return Unexpected(IoErrorFromSystem(name_, static_cast<int>(GetLastError())));
    }
    typed.resize(n);
    if (const std::size_t end = typed.find(kConsoleEnd); end != std::wstring::npos) {
      typed.resize(end);
    }
    const std::string utf8 = EncodeUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(typed.data()), typed.size()));
    std::copy(utf8.begin(), utf8.end(), buffer.begin());
    return utf8.size();
  }
  DWORD n = 0;
  if (!ReadFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
    const DWORD error = GetLastError();
    // The writing end of a pipe has closed: that is the end of the input.
    if (error == ERROR_BROKEN_PIPE) return std::size_t{0};
    return Unexpected(IoErrorFromSystem(name_, static_cast<int>(error)));
  }
  return static_cast<std::size_t>(n);
}

Result<Unit, IoError> WriteStdout(std::span<const std::uint8_t> bytes) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const DWORD error =
      IsConsole(out)
          ? WriteConsoleText(
                out, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))
          : WriteAll(out, bytes);
  if (error != 0) return Unexpected(IoErrorFromSystem(kStdoutName, static_cast<int>(error)));
  return Unit{};
}

void WriteStderr(std::string_view text) {
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
  if (IsConsole(err)) {
    WriteConsoleText(err, text);
  } else {
    WriteAll(err, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  }
}

bool ReaderHasGone(const IoError& error) {
  return error.system_error == ERROR_BROKEN_PIPE || error.system_error == ERROR_NO_DATA ||
         error.system_error == ERROR_PIPE_NOT_CONNECTED;
}

messages::Language LanguageOfUser() {
  // The variables first, as a shell that sets them (MSYS2, Cygwin) means.
  const auto variable = [](std::string_view name) -> std::optional<std::string> {
    const std::wstring wide(name.begin(), name.end());
    const DWORD size = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(wide.c_str(), value.data(), size));
    return EncodeUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(value.data()),
                                          value.size()));
  };
  if (const auto language = messages::LanguageOfEnvironment(variable)) return *language;
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? messages::Language::kJapanese
                                                                    : messages::Language::kEnglish;
}

}  // namespace binconv::cli
