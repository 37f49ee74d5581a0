#pragma once
// Test helpers that work alike on POSIX and on Windows: a fresh scratch folder
// and the system error numbers that the file seam reports.

#include <cerrno>
#include <filesystem>
#include <random>
#include <string>

#ifdef _WIN32
#include <winerror.h>
#endif

namespace binconv::test {

// A new empty folder under the system's temporary folder, named from `prefix`;
// empty if none could be made.
inline std::filesystem::path MakeTempDir(const std::string& prefix) {
  namespace fs = std::filesystem;
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path dir = fs::temp_directory_path() / (prefix + "-" + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(dir, error)) return dir;
  }
  return {};
}

// System errors as FileOps gives them on this system.
#ifdef _WIN32
inline constexpr int kErrDiskFull = ERROR_DISK_FULL;
inline constexpr int kErrQuota = 1295;  // ERROR_DISK_QUOTA_EXCEEDED
inline constexpr int kErrAccess = ERROR_ACCESS_DENIED;
inline constexpr int kErrPrivilege = ERROR_PRIVILEGE_NOT_HELD;
inline constexpr int kErrIo = ERROR_WRITE_FAULT;
inline constexpr int kErrCrossDevice = ERROR_NOT_SAME_DEVICE;
#else
inline constexpr int kErrDiskFull = ENOSPC;
inline constexpr int kErrQuota = EDQUOT;
inline constexpr int kErrAccess = EACCES;
inline constexpr int kErrPrivilege = EPERM;
inline constexpr int kErrIo = EIO;
inline constexpr int kErrCrossDevice = EXDEV;
#endif

}  // namespace binconv::test
