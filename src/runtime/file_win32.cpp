// The file services on Windows: the ...W calls throughout, so that every name
// stays UTF-16 from the box or the command line to the system.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <optional>
#include <string>

#include "runtime/file.h"
#include "runtime/file_platform.h"
#include "runtime/utf8.h"
#include "runtime/windows_names.h"

namespace binconv {
namespace {

using platform::CheckName;
using platform::SystemPath;

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr DWORD kDiskQuotaExceeded =
    1295;  // ERROR_DISK_QUOTA_EXCEEDED, missing from mingw's headers
// Past this length a folder name (which must leave room for an 8.3 file name)
// no longer fits the classic limit; such paths go through the \\?\ form.
constexpr std::size_t kClassicPathLimit = MAX_PATH - 12;
// Attributes a replacing file takes over from the old one; the rest (read-only,
// compressed, encrypted ...) either refuse the write or are the system's own.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::string Utf8Of(const std::wstring& text) {
  return EncodeUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// The system's message for `error` in `language` (0: the user's), without
// the line end and the final full stop.
std::wstring FormatSystemMessage(DWORD error, DWORD language) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (n == 0 || buffer == nullptr) return {};
  std::wstring text(buffer, n);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                           text.back() == L'.' || text.back() == L'\u3002')) {
    text.pop_back();
  }
  return text;
}

// Whether another program holds the file open without letting it be replaced.
bool HeldWithoutSharing(const std::wstring& name) {
  const HANDLE probe =
      CreateFileW(name.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

class Win32FileOps final : public FileOps {
 public:
  int CreateExclusive(const std::filesystem::path& path, FileHandle& file) override {
    // Readable too: applying a patch reads back what it has written. DELETE
    // lets a console Ctrl+C mark the file for removal through its handle.
    const HANDLE handle =
        CreateFileW(SystemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      file = kNoFile;
      const DWORD error = GetLastError();
      return static_cast<int>(error == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : error);
    }
    file = reinterpret_cast<FileHandle>(handle);
    return 0;
  }

  int Write(FileHandle file, const std::uint8_t* data, std::size_t size) override {
    while (size > 0) {
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
      DWORD written = 0;
      if (!WriteFile(reinterpret_cast<HANDLE>(file), data, piece, &written, nullptr)) {
        return static_cast<int>(GetLastError());
      }
      if (written == 0) return ERROR_WRITE_FAULT;
      data += written;
      size -= written;
    }
    return 0;
  }

  int Flush(FileHandle file) override {
    return FlushFileBuffers(reinterpret_cast<HANDLE>(file)) ? 0 : static_cast<int>(GetLastError());
  }

  int Close(FileHandle file) override {
    return CloseHandle(reinterpret_cast<HANDLE>(file)) ? 0 : static_cast<int>(GetLastError());
  }

  int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    const std::wstring target = SystemPath(to);
    const std::wstring source = SystemPath(from);
    // ReplaceFileW keeps what Windows users expect of a file they own: its
    // ACL, creation time, short name and other streams. Where it can't (a
    // file system or share without its support, a new file, a target that
    // vanished meanwhile, or a failure that already removed the old name),
    // a replacing rename still puts the new bytes in place.
    if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
      // A file held open without sharing is refused up front: some
      // ReplaceFileW implementations (Wine's) leave a stray file behind then.
      if (HeldWithoutSharing(target)) return ERROR_SHARING_VIOLATION;
      if (ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                       nullptr, nullptr)) {
        return 0;
      }
      // The old file is held open without sharing: nothing was changed.
      if (GetLastError() == ERROR_SHARING_VIOLATION) return ERROR_SHARING_VIOLATION;
    }
    // Write-through: the call returns once the new name is on disk.
    if (MoveFileExW(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return 0;
    }
    const DWORD error = GetLastError();
    // A file another program holds open refuses to be replaced with "access
    // denied"; opening it as the rename would tells the user the real reason.
    if (error == ERROR_ACCESS_DENIED && HeldWithoutSharing(target)) return ERROR_SHARING_VIOLATION;
    return static_cast<int>(error);
  }

  int Remove(const std::filesystem::path& path) override {
    return DeleteFileW(SystemPath(path).c_str()) ? 0 : static_cast<int>(GetLastError());
  }
};

IoError ReadOnlyError(const std::string& shown) {
  IoError error = IoErrorFromSystem(shown, ERROR_ACCESS_DENIED);
  error.read_only = true;
  return error;
}

// An error that `detail` words, keeping the system's number of it.
IoError NameError(IoErrorCode code, const std::string& shown, DWORD system_error, IoDetail detail) {
  IoError error{code, shown, static_cast<int>(system_error), ""};
  error.detail = detail;
  return error;
}

}  // namespace

namespace platform {

const std::size_t kMaxNameUnits = 255;

// The path as the system takes it: absolute, and with the \\?\ prefix once it
// is too long for the classic limit (the manifest's longPathAware setting
// covers only systems where long paths are switched on).
std::wstring SystemPath(const std::filesystem::path& path) {
  const std::wstring& given = path.native();
  if (given.starts_with(L"\\\\?\\")) return given;
  const DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return given;
  std::wstring full(needed, L'\0');
  const DWORD n = GetFullPathNameW(given.c_str(), needed, full.data(), nullptr);
  if (n == 0 || n >= needed) return given;
  full.resize(n);
  if (full.size() < kClassicPathLimit) return full;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Refuses a name Windows forbids or reserves for a device before any call
// sees it: with the \\?\ prefix the system would create "name." or open CON.
std::optional<IoError> CheckName(const std::filesystem::path& path, const std::string& shown) {
  for (const std::filesystem::path& part : path.relative_path()) {
    const std::wstring& name = part.native();
    const auto problem = CheckWindowsName(
        std::u16string_view(reinterpret_cast<const char16_t*>(name.data()), name.size()));
    if (!problem) continue;
    switch (*problem) {
      case WindowsNameProblem::kBadCharacter:
        return NameError(IoErrorCode::kInvalidName, shown, ERROR_INVALID_NAME,
                         IoDetail::kBadNameCharacter);
      case WindowsNameProblem::kTrailingDotOrSpace:
        return NameError(IoErrorCode::kInvalidName, shown, ERROR_INVALID_NAME,
                         IoDetail::kEndsInDotOrSpace);
      case WindowsNameProblem::kTooLong:
        return NameError(IoErrorCode::kInvalidName, shown, ERROR_FILENAME_EXCED_RANGE,
                         IoDetail::kNameTooLong);
      case WindowsNameProblem::kReservedDevice: {
        IoError error = NameError(IoErrorCode::kReservedName, shown, 0, IoDetail::kDeviceName);
        error.part = Utf8Of(name);
        return error;
      }
    }
  }
  return std::nullopt;
}

std::string SystemReason(int system_error) {
  const DWORD error = static_cast<DWORD>(system_error);
  std::wstring text = FormatSystemMessage(error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (text.empty()) text = FormatSystemMessage(error, 0);
  if (text.empty()) return "Windows error " + std::to_string(error);
  return Utf8Of(text);
}

// The file a symbolic link (or junction, or chain of them) leads to, as
// Windows resolves it; nullopt when it leads nowhere.
std::optional<std::wstring> FollowLinks(const std::wstring& link) {
  const HANDLE handle =
      CreateFileW(link.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::wstring final(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n >= final.size()) {
    final.resize(n + 1);
    n = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  CloseHandle(handle);
  if (n == 0 || n >= final.size()) return std::nullopt;
  final.resize(n);
  return final;
}

Result<TargetState, IoError> InspectTarget(const std::filesystem::path& given,
                                           const std::string& shown) {
  if (auto bad = CheckName(given, shown)) return Unexpected(*bad);
  std::filesystem::path target = given;
  DWORD attributes = GetFileAttributesW(SystemPath(target).c_str());
  // A link stays a link, as on POSIX: the file it leads to is the one
  // replaced. A link that leads nowhere is replaced by the new file.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if (std::optional<std::wstring> real = FollowLinks(SystemPath(target))) {
      target = *real;
      attributes = GetFileAttributesW(target.c_str());
    }
  }
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    // A missing folder shows up again, typed, when the file is created.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return TargetState{false, 0, target};
    }
    return Unexpected(IoErrorFromSystem(shown, static_cast<int>(error)));
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    return Unexpected(NameError(IoErrorCode::kIsDirectory, shown, 0, IoDetail::kADirectory));
  }
  if (attributes & FILE_ATTRIBUTE_DEVICE) {
    return Unexpected(IoError{IoErrorCode::kNotRegularFile, shown, 0, ""});
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) return Unexpected(ReadOnlyError(shown));
  return TargetState{true, static_cast<unsigned>(attributes & kCopiedAttributes), target};
}

// No owners to keep: ReplaceFileW keeps the old file's ACL.
bool KeepOwner(FileHandle, const TargetState&) { return true; }

namespace {

// The temporary files a console Ctrl+C must remove: writers fill and empty
// the slots, the console's handler thread reads them. The one mutable global
// of the file services, since the handler can reach nothing else.
constexpr int kTempSlots = 16;
struct TempSlot {
  std::atomic<const wchar_t*> name{nullptr};
  std::atomic<FileHandle> file{kNoFile};
};
TempSlot g_temps[kTempSlots];

BOOL WINAPI RemoveTempsOnCtrl(DWORD) {
  for (TempSlot& slot : g_temps) {
    const wchar_t* name = slot.name.exchange(nullptr);
    if (name == nullptr) continue;
    // An open file can't be deleted by name without sharing; its handle
    // marks it for removal when the process ends.
    if (!DeleteFileW(SystemPath(std::filesystem::path(std::wstring(name))).c_str())) {
      FILE_DISPOSITION_INFO remove{TRUE};
      SetFileInformationByHandle(reinterpret_cast<HANDLE>(slot.file.load()), FileDispositionInfo,
                                 &remove, sizeof remove);
    }
  }
  return FALSE;  // on to the default handler, which ends the process
}

}  // namespace

int RegisterTemp(const std::filesystem::path& temp, FileHandle file) {
  for (int i = 0; i < kTempSlots; ++i) {
    const wchar_t* empty = nullptr;
    if (g_temps[i].name.compare_exchange_strong(empty, temp.c_str())) {
      g_temps[i].file.store(file);
      return i;
    }
  }
  return -1;
}

void UnregisterTemp(int slot) {
  if (slot >= 0 && slot < kTempSlots) g_temps[slot].name.store(nullptr);
}

// MoveFileExW with MOVEFILE_WRITE_THROUGH has made the rename durable.
void SyncDirectory(const std::filesystem::path&) {}

int OpenForReading(const std::filesystem::path& path, FileHandle& file) {
  // Others may go on reading: the game or an emulator may hold the file open.
  const HANDLE handle = CreateFileW(SystemPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    file = kNoFile;
    return static_cast<int>(GetLastError());
  }
  file = reinterpret_cast<FileHandle>(handle);
  return 0;
}

int SizeOfOpenFile(FileHandle file, std::uint64_t& size) {
  LARGE_INTEGER value{};
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(file), &value)) {
    return static_cast<int>(GetLastError());
  }
  size = static_cast<std::uint64_t>(value.QuadPart);
  return 0;
}

void CloseReading(FileHandle file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

int OpenReadBack(const std::filesystem::path&, FileHandle writing, FileHandle& reading) {
  // Nothing else may open the file: its own handle reads it too.
  reading = writing;
  return 0;
}

void CloseReadBack(FileHandle, FileHandle) {}

int ReadAt(FileHandle file, std::uint64_t offset, std::uint8_t* data, std::size_t size,
           std::size_t& got) {
  got = 0;
  const HANDLE handle = reinterpret_cast<HANDLE>(file);
  // The handle may be one being written in order: its position is put back.
  LARGE_INTEGER zero{};
  LARGE_INTEGER position{};
  if (!SetFilePointerEx(handle, zero, &position, FILE_CURRENT)) {
    return static_cast<int>(GetLastError());
  }
  int error = 0;
  while (got < size) {
    OVERLAPPED at{};
    const std::uint64_t where = offset + got;
    at.Offset = static_cast<DWORD>(where);
    at.OffsetHigh = static_cast<DWORD>(where >> 32);
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
    DWORD read = 0;
    if (!ReadFile(handle, data + got, piece, &read, &at)) {
      const DWORD code = GetLastError();
      if (code != ERROR_HANDLE_EOF) error = static_cast<int>(code);
      break;
    }
    if (read == 0) break;
    got += read;
  }
  if (!SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) && error == 0) {
    error = static_cast<int>(GetLastError());
  }
  return error;
}

}  // namespace platform

const int kNameTakenError = ERROR_FILE_EXISTS;

// The copy goes handle to handle, since the temporary file is already open
// (CopyFileExW works on names and would replace it).
int FileOps::CopyContents(FileHandle from, FileHandle to) {
  std::string buffer(std::size_t{1} << 20, '\0');
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(from), buffer.data(), static_cast<DWORD>(buffer.size()),
                  &read, nullptr)) {
      return static_cast<int>(GetLastError());
    }
    if (read == 0) return 0;
    if (const int error = Write(to, reinterpret_cast<const std::uint8_t*>(buffer.data()), read);
        error != 0) {
      return error;
    }
    Copied(read);
  }
}

int FileOps::WriteAt(FileHandle file, std::uint64_t offset, const std::uint8_t* data,
                     std::size_t size) {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(reinterpret_cast<HANDLE>(file), at, nullptr, FILE_BEGIN)) {
    return static_cast<int>(GetLastError());
  }
  return Write(file, data, size);
}

int FileOps::SetLength(FileHandle file, std::uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  return SetFileInformationByHandle(reinterpret_cast<HANDLE>(file), FileEndOfFileInfo, &end,
                                    sizeof end)
             ? 0
             : static_cast<int>(GetLastError());
}

int FileOps::SetMode(const std::filesystem::path& path, unsigned mode) {
  const DWORD attributes = mode == 0 ? FILE_ATTRIBUTE_NORMAL : static_cast<DWORD>(mode);
  return SetFileAttributesW(SystemPath(path).c_str(), attributes)
             ? 0
             : static_cast<int>(GetLastError());
}

IoError IoErrorFromSystem(std::string path, int system_error) {
  static const platform::ErrorMeaning kMeanings[] = {
      {IoErrorCode::kNotFound,
       {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_DRIVE, ERROR_BAD_NETPATH,
        ERROR_BAD_NET_NAME, ERROR_DIRECTORY}},
      {IoErrorCode::kPermissionDenied,
       {ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT, ERROR_PRIVILEGE_NOT_HELD,
        ERROR_NETWORK_ACCESS_DENIED}},
      {IoErrorCode::kInUse,
       {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_USER_MAPPED_FILE}},
      {IoErrorCode::kDiskFull, {ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL, kDiskQuotaExceeded}},
      {IoErrorCode::kInvalidName,
       {ERROR_INVALID_NAME, ERROR_BAD_PATHNAME, ERROR_FILENAME_EXCED_RANGE,
        ERROR_INVALID_PARAMETER}},
  };
  const IoErrorCode code = platform::CodeFromError(kMeanings, system_error);
  return IoError{code, std::move(path), system_error, platform::SystemReason(system_error)};
}

std::u16string LocalizedSystemReason(int system_error) {
  if (system_error == 0) return {};
  const std::wstring text = FormatSystemMessage(static_cast<DWORD>(system_error), 0);
  return std::u16string(text.begin(), text.end());
}

FileOps& SystemFileOps() {
  static Win32FileOps ops;
  return ops;
}

void RemoveTemporaryFilesOnSignals() { SetConsoleCtrlHandler(platform::RemoveTempsOnCtrl, TRUE); }

namespace {

std::optional<FileIdentity> IdentityOfHandle(HANDLE file) {
  if (file == nullptr || file == INVALID_HANDLE_VALUE || GetFileType(file) != FILE_TYPE_DISK) {
    return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
    return std::nullopt;
  }
  return FileIdentity{info.dwVolumeSerialNumber,
                      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

}  // namespace

std::optional<FileIdentity> IdentityOfFile(const std::filesystem::path& path) {
  if (CheckName(path, PathToUtf8(path))) return std::nullopt;
  // Only a file on a disk is opened: opening a pipe, even without access,
  // takes its connection or its data from the reader that comes after.
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  if (!GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &attributes) ||
      (attributes.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) {
    return std::nullopt;
  }
  // Opened without access, so that a file another program holds is still known.
  const HANDLE file = CreateFileW(SystemPath(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  if (!known) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::optional<FileIdentity> IdentityOfStandardOutput() {
  return IdentityOfHandle(GetStdHandle(STD_OUTPUT_HANDLE));
}
std::optional<FileIdentity> IdentityOfStandardInput() {
  return IdentityOfHandle(GetStdHandle(STD_INPUT_HANDLE));
}

Result<std::optional<FileHandle>, IoError> OpenDescriptorForWriting(const std::filesystem::path&) {
  return std::optional<FileHandle>();
}

Result<std::uint64_t, IoError> RegularFileSize(const std::filesystem::path& path) {
  const std::string shown = PathToUtf8(path);
  if (auto bad = CheckName(path, shown)) return Unexpected(*bad);
  // Opened, so that a symbolic link is followed to the file it names.
  const HANDLE file = CreateFileW(SystemPath(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return Unexpected(IoErrorFromSystem(shown, static_cast<int>(GetLastError())));
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(file, &info);
  const DWORD error = GetLastError();
  const DWORD type = GetFileType(file);
  CloseHandle(file);
  if (!known) return Unexpected(IoErrorFromSystem(shown, static_cast<int>(error)));
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    return Unexpected(NameError(IoErrorCode::kIsDirectory, shown, 0, IoDetail::kADirectory));
  }
  if (type != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)) {
    return Unexpected(IoError{IoErrorCode::kNotRegularFile, shown, 0, ""});
  }
  return (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
}

bool FileExists(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

Result<std::string, IoError> ReadFileBytes(const std::filesystem::path& path) {
  const std::string shown = PathToUtf8(path);
  if (auto bad = CheckName(path, shown); bad && bad->code == IoErrorCode::kReservedName) {
    return Unexpected(*bad);
  }
  const std::wstring name = SystemPath(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Unexpected(NameError(IoErrorCode::kIsDirectory, shown, 0, IoDetail::kADirectory));
  }
  // Others may go on reading and writing: a table open in an editor stays readable.
  const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return Unexpected(IoErrorFromSystem(shown, static_cast<int>(GetLastError())));
  // A whole file is one on a disk: a device or pipe may never end.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return Unexpected(IoError{IoErrorCode::kNotRegularFile, shown, 0, ""});
  }
  std::string bytes;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
    bytes.reserve(static_cast<std::size_t>(size.QuadPart));
  }
  std::string chunk(kBufferSize, '\0');
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &n, nullptr)) {
      const DWORD error = GetLastError();
      CloseHandle(file);
      return Unexpected(IoErrorFromSystem(shown, static_cast<int>(error)));
    }
    if (n == 0) break;
    bytes.append(chunk.data(), n);
  }
  CloseHandle(file);
  return bytes;
}

}  // namespace binconv
