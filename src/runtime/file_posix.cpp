#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/fs.h>
#endif

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "runtime/file.h"
#include "runtime/file_platform.h"

namespace binconv {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr int kMaxLinkHops = 40;  // as the system's own limit (SYMLOOP_MAX)

// Follows a chain of symbolic links from `path` to the name it ends at: a file,
// something else, or a name that does not exist yet (a dangling link names the
// file to create). Relative links count from the link's own folder. 0 or errno.
int ResolveLinks(const std::string& path, std::string& real) {
  real = path;
  for (int hops = 0; hops <= kMaxLinkHops; ++hops) {
    struct stat st;
    if (lstat(real.c_str(), &st) != 0) return errno == ENOENT ? 0 : errno;
    if (!S_ISLNK(st.st_mode)) return 0;
    std::string link(PATH_MAX, '\0');
    const ssize_t n = readlink(real.c_str(), link.data(), link.size());
    if (n < 0) return errno;
    if (static_cast<std::size_t>(n) >= link.size()) return ENAMETOOLONG;
    link.resize(static_cast<std::size_t>(n));
    const std::filesystem::path to(link);
    real = to.is_absolute() ? link : (std::filesystem::path(real).parent_path() / to).string();
  }
  return ELOOP;
}

// Windows users mark a file read-only to protect it; honour that even where the
// system would let the owner (or root) replace it.
bool IsReadOnly(const std::string& path, const struct stat& st) {
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT;
}

IoError ReadOnlyError(std::string path) {
  IoError error = IoErrorFromErrno(std::move(path), EACCES);
  error.reason += " (the file is read-only)";
  return error;
}

// Picks whichever strerror_r the C library declares (GNU or XSI).
[[maybe_unused]] std::string StrerrorResult(char* result, const char*) { return result; }
[[maybe_unused]] std::string StrerrorResult(int result, const char* buffer) {
  return result == 0 ? std::string(buffer) : std::string("Unknown error");
}

// Writes `size` bytes through `put(done)`, which writes from byte `done` on,
// until all are written: interrupted and short writes go on where they stopped.
template <class Put>
int WriteFully(std::size_t size, Put put) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = put(done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

class PosixFileOps final : public FileOps {
 public:
  int CreateExclusive(const std::filesystem::path& path, FileHandle& file) override {
    int fd;
    do {
      fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    file = fd < 0 ? kNoFile : fd;
    return fd < 0 ? errno : 0;
  }

  int Write(FileHandle file, const std::uint8_t* data, std::size_t size) override {
    const int fd = static_cast<int>(file);
    return WriteFully(size, [&](std::size_t done) { return write(fd, data + done, size - done); });
  }

  int Flush(FileHandle file) override {
    int result;
    do {
      result = fsync(static_cast<int>(file));
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
  }

  int Close(FileHandle file) override {
    // Linux releases the descriptor even when close reports EINTR, and the data
    // was already synced, so a retry could only close someone else's file.
    if (close(static_cast<int>(file)) == 0 || errno == EINTR) return 0;
    return errno;
  }

  int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }

  int Remove(const std::filesystem::path& path) override {
    return unlink(path.c_str()) == 0 ? 0 : errno;
  }
};

// Whether a failed fast copy means "not here" rather than a real error, so that
// the next way may be tried.
bool Unsupported(int error) {
  return error == EOPNOTSUPP || error == ENOTSUP || error == EXDEV || error == EINVAL ||
         error == ENOSYS || error == ENOTTY || error == EBADF || error == EPERM;
}

int PwriteAll(int fd, std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  return WriteFully(size, [&](std::size_t done) {
    return pwrite(fd, data + done, size - done, static_cast<off_t>(offset + done));
  });
}

int ReadWriteCopy(int from, int to) {
  std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
  std::uint64_t at = 0;
  for (;;) {
    const ssize_t n = pread(from, buffer.data(), buffer.size(), static_cast<off_t>(at));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    if (const int error = PwriteAll(to, at, buffer.data(), static_cast<std::size_t>(n));
        error != 0) {
      return error;
    }
    at += static_cast<std::uint64_t>(n);
  }
}

}  // namespace

namespace platform {

int OpenForReading(const std::filesystem::path& path, FileHandle& file) {
  int fd;
  do {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  file = fd;
  return fd < 0 ? errno : 0;
}

int SizeOfOpenFile(FileHandle file, std::uint64_t& size) {
  struct stat st;
  if (fstat(static_cast<int>(file), &st) != 0) return errno;
  size = static_cast<std::uint64_t>(st.st_size);
  return 0;
}

void CloseReading(FileHandle file) { close(static_cast<int>(file)); }

const std::size_t kMaxNameUnits = NAME_MAX;

std::string SystemReason(int system_error) {
  char buffer[256] = {};
  return StrerrorResult(strerror_r(system_error, buffer, sizeof buffer), buffer);
}

Result<TargetState, IoError> InspectTarget(const std::filesystem::path& target,
                                           const std::string& shown) {
  std::string real;
  if (const int error = ResolveLinks(target.native(), real); error != 0) {
    return Unexpected(IoErrorFromErrno(shown, error));
  }
  struct stat st;
  if (stat(real.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return Unexpected(IoErrorFromErrno(shown, EISDIR));
    if (!S_ISREG(st.st_mode)) {
      // Renaming over a device or pipe would destroy it rather than write to it.
      return Unexpected(IoError{IoErrorCode::kInvalidName, shown, 0, "Not a regular file"});
    }
    if (IsReadOnly(real, st)) return Unexpected(ReadOnlyError(shown));
    return TargetState{true, static_cast<unsigned>(st.st_mode & 07777), real};
  }
  if (const int error = errno; error != ENOENT) return Unexpected(IoErrorFromErrno(shown, error));
  return TargetState{false, 0, real};
}

void SyncDirectory(const std::filesystem::path& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace platform

const int kNameTakenError = EEXIST;

int FileOps::SetMode(const std::filesystem::path& path, unsigned mode) {
  return chmod(path.c_str(), static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

int FileOps::CopyContents(FileHandle from_file, FileHandle to_file) {
  const int from = static_cast<int>(from_file);
  const int to = static_cast<int>(to_file);
#ifdef FICLONE
  // A reflink copies nothing; the patch then writes only its own blocks.
  if (ioctl(to, FICLONE, from) == 0) return 0;
  if (const int error = errno; !Unsupported(error)) return error;
#endif
#ifdef __linux__
  // The kernel copies (or shares, on NFS and some file systems) without
  // passing the bytes through user space.
  off_t in = 0;
  off_t out = 0;
  for (;;) {
    const ssize_t n = copy_file_range(from, &in, to, &out, std::size_t{1} << 30, 0);
    if (n == 0) return 0;
    if (n > 0) continue;
    const int error = errno;
    if (error == EINTR) continue;
    // Only a refusal before anything was copied falls back.
    if (in == 0 && Unsupported(error)) return ReadWriteCopy(from, to);
    return error;
  }
#else
  return ReadWriteCopy(from, to);
#endif
}

int FileOps::WriteAt(FileHandle file, std::uint64_t offset, const std::uint8_t* data,
                     std::size_t size) {
  return PwriteAll(static_cast<int>(file), offset, data, size);
}

IoError IoErrorFromSystem(std::string path, int system_error) {
  return IoErrorFromErrno(std::move(path), system_error);
}

std::u16string LocalizedSystemReason(int) { return {}; }

FileOps& SystemFileOps() {
  static PosixFileOps ops;
  return ops;
}

bool FileExists(const std::filesystem::path& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

Result<std::string, IoError> ReadFileBytes(const std::filesystem::path& path) {
  const std::string name = path.string();
  int fd;
  do {
    fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int error = errno;
    return Unexpected(IoErrorFromErrno(name, error));
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    const int error = errno;
    close(fd);
    return Unexpected(IoErrorFromErrno(name, error));
  }
  if (S_ISDIR(st.st_mode)) {
    close(fd);
    return Unexpected(IoErrorFromErrno(name, EISDIR));
  }
  std::string bytes;
  if (S_ISREG(st.st_mode) && st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char chunk[kBufferSize];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      close(fd);
      return Unexpected(IoErrorFromErrno(name, error));
    }
    if (n == 0) break;
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  close(fd);
  return bytes;
}

}  // namespace binconv
