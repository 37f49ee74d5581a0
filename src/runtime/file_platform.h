#pragma once
// What the file services need from each system; file_posix.cpp and
// file_win32.cpp provide it, file.cpp builds the shared logic on it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>

#include "runtime/file.h"
#include "runtime/result.h"

namespace binconv::platform {

struct TargetState {
  bool exists = false;
  unsigned mode = 0;  // for FileOps::SetMode; meaningful when `exists`
  std::filesystem::path real;  // the file to replace: the target, its links followed
  unsigned uid = 0;            // its owner and group (POSIX); meaningful when `exists`
  unsigned gid = 0;
};

// Gives the new file `file` the owner and group in `state` (POSIX); false when
// the system refused and the file's owner or group now differs.
bool KeepOwner(FileHandle file, const TargetState& state);

// Makes the temporary file `temp`, open as `file`, one that a signal removes;
// the slot to give back, or -1 when every slot is taken. `temp` must stay
// unchanged until UnregisterTemp.
int RegisterTemp(const std::filesystem::path& temp, FileHandle file);
void UnregisterTemp(int slot);

// Looks at the target of a write before anything is created: follows
// symbolic links, refuses a directory, a read-only file, anything but a
// regular file and (POSIX) a name that leads to an open descriptor, and on
// Windows a name Windows forbids.
Result<TargetState, IoError> InspectTarget(const std::filesystem::path& target,
                                           const std::string& shown);

// Makes a finished rename survive a power cut where the system needs that
// separately; failure only weakens that.
void SyncDirectory(const std::filesystem::path& dir);

// The longest name a folder entry may have, in the units of path::value_type
// (bytes of UTF-8 on POSIX, UTF-16 units on Windows).
extern const std::size_t kMaxNameUnits;

std::string SystemReason(int system_error);

// The system's error numbers that mean one code to a user.
struct ErrorMeaning {
  IoErrorCode code;
  std::initializer_list<int> errors;
};
// The code that `meanings` give `system_error`; kOther when none lists it.
IoErrorCode CodeFromError(std::span<const ErrorMeaning> meanings, int system_error);

// An existing file opened for reading, its size, and closing it again; 0 or
// the system's error.
int OpenForReading(const std::filesystem::path& path, FileHandle& file);
int SizeOfOpenFile(FileHandle file, std::uint64_t& size);
void CloseReading(FileHandle file);
// A handle that reads the file being written through `writing`, named
// `path`: a descriptor of its own on POSIX, where the writing one is
// write-only (were it readable and stdin closed, it could pass for stdin);
// the writing handle itself on Windows, where nothing else may open the file.
int OpenReadBack(const std::filesystem::path& path, FileHandle writing, FileHandle& reading);
void CloseReadBack(FileHandle writing, FileHandle reading);
// Up to `size` bytes from `offset`, fewer (`got`) only where the file ends;
// a handle being written keeps its position.
int ReadAt(FileHandle file, std::uint64_t offset, std::uint8_t* data, std::size_t size,
           std::size_t& got);

#ifdef _WIN32
// The path as the system takes it: absolute, with the \\?\ prefix once it is
// longer than the classic limit.
std::wstring SystemPath(const std::filesystem::path& path);
// Refuses a name Windows forbids or reserves for a device, in any part of the
// path, before any call sees it.
std::optional<IoError> CheckName(const std::filesystem::path& path, const std::string& shown);
#endif

}  // namespace binconv::platform
