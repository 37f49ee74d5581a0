#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/fs.h>
#endif

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "runtime/file.h"
#include "runtime/file_platform.h"
#include "runtime/hex.h"

namespace binconv {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr int kMaxLinkHops = 40;  // as the system's own limit (SYMLOOP_MAX)

// A name of an open descriptor: /dev/fd/N, /dev/stdin, /dev/stdout,
// /dev/stderr or /proc/PID/fd/N. `own` tells whether it is one of this
// process's own descriptors, `fd` which.
struct DescriptorName {
  int fd = -1;
  bool own = false;
};

std::optional<int> DescriptorNumber(std::string_view digits) {
  if (digits.size() > 9) return std::nullopt;
  const std::optional<std::uint64_t> n = ParseDecimal(digits);
  if (!n) return std::nullopt;
  return static_cast<int>(*n);
}

std::optional<DescriptorName> DescriptorNameOf(const std::string& name) {
  std::filesystem::path given;
  given += name;
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(given, error).lexically_normal();
  if (error) return std::nullopt;
  const std::string_view path = full.native();
  if (path == "/dev/stdin") return DescriptorName{0, true};
  if (path == "/dev/stdout") return DescriptorName{1, true};
  if (path == "/dev/stderr") return DescriptorName{2, true};
  if (path.starts_with("/dev/fd/")) {
    if (auto fd = DescriptorNumber(path.substr(8))) return DescriptorName{*fd, true};
    return std::nullopt;
  }
  if (!path.starts_with("/proc/")) return std::nullopt;
  const std::string_view rest = path.substr(6);
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos || !rest.substr(slash).starts_with("/fd/")) {
    return std::nullopt;
  }
  const std::string_view pid = rest.substr(0, slash);
  const std::optional<int> fd = DescriptorNumber(rest.substr(slash + 4));
  if (!fd) return std::nullopt;
  const bool own = pid == "self" || pid == "thread-self" || pid == std::to_string(getpid());
  if (!own && !DescriptorNumber(pid)) return std::nullopt;
  return DescriptorName{*fd, own};
}

// Follows a chain of symbolic links from `path` to the name it ends at: a file,
// something else, or a name that does not exist yet (a dangling link names the
// file to create). Relative links count from the link's own folder. 0 or errno.
// Stops at the name of an open descriptor, which it tells in `descriptor`:
// the file behind it is someone's open file, to be written through, never
// replaced.
int ResolveLinks(const std::string& path, std::string& real,
                 std::optional<DescriptorName>* descriptor = nullptr) {
  real = path;
  for (int hops = 0; hops <= kMaxLinkHops; ++hops) {
    if (auto found = DescriptorNameOf(real)) {
      if (descriptor != nullptr) *descriptor = found;
      return 0;
    }
    struct stat st;
    if (lstat(real.c_str(), &st) != 0) return errno == ENOENT ? 0 : errno;
    if (!S_ISLNK(st.st_mode)) return 0;
    std::string link(PATH_MAX, '\0');
    const ssize_t n = readlink(real.c_str(), link.data(), link.size());
    if (n < 0) return errno;
    if (static_cast<std::size_t>(n) >= link.size()) return ENAMETOOLONG;
    link.resize(static_cast<std::size_t>(n));
    // POSIX paths are bytes: native() in and out, never a conversion.
    std::filesystem::path to;
    to += link;
    if (!to.is_absolute()) {
      std::filesystem::path from;
      from += real;
      to = from.parent_path() / to;
    }
    real = to.native();
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
  error.read_only = true;
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

int ReadWriteCopy(int from, int to, FileOps& ops) {
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
    ops.Copied(static_cast<std::uint64_t>(n));
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

int OpenReadBack(const std::filesystem::path& path, FileHandle, FileHandle& reading) {
  return OpenForReading(path, reading);
}

void CloseReadBack(FileHandle, FileHandle reading) {
  if (reading != kNoFile) close(static_cast<int>(reading));
}

int ReadAt(FileHandle file, std::uint64_t offset, std::uint8_t* data, std::size_t size,
           std::size_t& got) {
  got = 0;
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return 0;
  while (got < size) {
    const ssize_t n = pread(static_cast<int>(file), data + got, size - got,
                            static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    got += static_cast<std::size_t>(n);
  }
  return 0;
}

const std::size_t kMaxNameUnits = NAME_MAX;

std::string SystemReason(int system_error) {
  char buffer[256] = {};
  return StrerrorResult(strerror_r(system_error, buffer, sizeof buffer), buffer);
}

Result<TargetState, IoError> InspectTarget(const std::filesystem::path& target,
                                           const std::string& shown) {
  std::string real;
  std::optional<DescriptorName> descriptor;
  if (const int error = ResolveLinks(target.native(), real, &descriptor); error != 0) {
    return Unexpected(IoErrorFromErrno(shown, error));
  }
  // Renaming over someone's open file, a device or a pipe would destroy it
  // rather than write to it.
  if (descriptor)
    return Unexpected(IoError{IoErrorCode::kNotRegularFile, shown, 0, ""});
  struct stat st;
  if (stat(real.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return Unexpected(IoErrorFromErrno(shown, EISDIR));
    if (!S_ISREG(st.st_mode)) {
      return Unexpected(IoError{IoErrorCode::kNotRegularFile, shown, 0, ""});
    }
    if (IsReadOnly(real, st)) return Unexpected(ReadOnlyError(shown));
    TargetState state{true, static_cast<unsigned>(st.st_mode & 07777), real};
    state.uid = st.st_uid;
    state.gid = st.st_gid;
    return state;
  }
  if (const int error = errno; error != ENOENT) return Unexpected(IoErrorFromErrno(shown, error));
  return TargetState{false, 0, real};
}

bool KeepOwner(FileHandle file, const TargetState& state) {
  const int fd = static_cast<int>(file);
  struct stat st;
  if (fstat(fd, &st) != 0) return true;
  if (st.st_uid == state.uid && st.st_gid == state.gid) return true;
  if (fchown(fd, state.uid, state.gid) == 0) return true;
  // Only the owner or root may give a file away; a member of the group may
  // still keep the group.
  if (st.st_gid != state.gid && fchown(fd, static_cast<uid_t>(-1), state.gid) == 0) {
    st.st_gid = state.gid;
  }
  return st.st_uid == state.uid && st.st_gid == state.gid;
}

namespace {

// The temporary files a signal must remove. A signal handler can reach
// nothing but globals, so this is the one mutable global of the file
// services: slots that writers fill and empty, and the handler reads.
constexpr int kTempSlots = 16;
std::atomic<const char*> g_temps[kTempSlots];

extern "C" void RemoveTempsAndDie(int signal_number) {
  for (std::atomic<const char*>& slot : g_temps) {
    if (const char* name = slot.exchange(nullptr)) unlink(name);
  }
  // The handler was reset to the default, so this ends the program as the
  // signal would have, once the handler returns.
  raise(signal_number);
}

}  // namespace

int RegisterTemp(const std::filesystem::path& temp, FileHandle) {
  for (int i = 0; i < kTempSlots; ++i) {
    const char* empty = nullptr;
    if (g_temps[i].compare_exchange_strong(empty, temp.c_str())) return i;
  }
  return -1;
}

void UnregisterTemp(int slot) {
  if (slot >= 0 && slot < kTempSlots) g_temps[slot].store(nullptr);
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
    // Pieces of 64 MiB, so that Copied is told as the copy goes.
    const ssize_t n = copy_file_range(from, &in, to, &out, std::size_t{64} << 20, 0);
    if (n == 0) return 0;
    if (n > 0) {
      Copied(static_cast<std::uint64_t>(n));
      continue;
    }
    const int error = errno;
    if (error == EINTR) continue;
    // Only a refusal before anything was copied falls back.
    if (in == 0 && Unsupported(error)) return ReadWriteCopy(from, to, *this);
    return error;
  }
#else
  return ReadWriteCopy(from, to, *this);
#endif
}

int FileOps::WriteAt(FileHandle file, std::uint64_t offset, const std::uint8_t* data,
                     std::size_t size) {
  return PwriteAll(static_cast<int>(file), offset, data, size);
}

int FileOps::SetLength(FileHandle file, std::uint64_t size) {
  int result;
  do {
    result = ftruncate(static_cast<int>(file), static_cast<off_t>(size));
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : errno;
}

IoError IoErrorFromSystem(std::string path, int system_error) {
  return IoErrorFromErrno(std::move(path), system_error);
}

std::u16string LocalizedSystemReason(int) { return {}; }

FileOps& SystemFileOps() {
  static PosixFileOps ops;
  return ops;
}

void RemoveTemporaryFilesOnSignals() {
  struct sigaction action {};
  action.sa_handler = platform::RemoveTempsAndDie;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // An ignored signal (nohup, a background job) stays ignored.
    if (sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(signal_number, &action, nullptr);
  }
}

namespace {

std::optional<FileIdentity> IdentityOfDescriptor(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace

std::optional<FileIdentity> IdentityOfFile(const std::filesystem::path& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<FileIdentity> IdentityOfStandardOutput() { return IdentityOfDescriptor(1); }
std::optional<FileIdentity> IdentityOfStandardInput() { return IdentityOfDescriptor(0); }

Result<std::optional<FileHandle>, IoError> OpenDescriptorForWriting(
    const std::filesystem::path& path) {
  const std::string shown = PathToUtf8(path);
  std::string real;
  std::optional<DescriptorName> descriptor;
  if (const int error = ResolveLinks(path.native(), real, &descriptor); error != 0) {
    return Unexpected(IoErrorFromErrno(shown, error));
  }
  if (!descriptor) {
    // A character device (/dev/null, a terminal) is written through, as a
    // shell's ">" would: a file put in its place would be no device at all.
    struct stat st;
    if (stat(real.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return std::optional<FileHandle>();
    descriptor = DescriptorName{};
  }
  int fd;
  if (descriptor->own) {
    // The very open file, with its offset and its append flag.
    fd = fcntl(descriptor->fd, F_DUPFD_CLOEXEC, 0);
  } else {
    // Another process's descriptor, or a device, can only be opened anew, as a
    // shell's ">" would.
    do {
      fd = open(real.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
  }
  if (fd < 0) return Unexpected(IoErrorFromErrno(shown, errno));
  return std::optional<FileHandle>(fd);
}

Result<std::uint64_t, IoError> RegularFileSize(const std::filesystem::path& path) {
  const std::string shown = PathToUtf8(path);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return Unexpected(IoErrorFromErrno(shown, errno));
  if (S_ISDIR(st.st_mode)) return Unexpected(IoErrorFromErrno(shown, EISDIR));
  if (!S_ISREG(st.st_mode)) {
    return Unexpected(IoError{IoErrorCode::kNotRegularFile, shown, 0, ""});
  }
  return static_cast<std::uint64_t>(st.st_size);
}

bool FileExists(const std::filesystem::path& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

Result<std::string, IoError> ReadFileBytes(const std::filesystem::path& path) {
  const std::string& name = path.native();
  int fd;
  do {
    // Without blocking, so that a FIFO is refused below rather than waited on.
    fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
  // A whole file is a regular one: a device such as /dev/zero never ends.
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    return Unexpected(IoError{IoErrorCode::kNotRegularFile, name, 0, ""});
  }
  std::string bytes;
  if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
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
