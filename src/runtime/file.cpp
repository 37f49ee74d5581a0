#include "runtime/file.h"

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
#include <random>

namespace binconv {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr int kTempNameAttempts = 100;
constexpr std::size_t kMaxNameBytes = NAME_MAX;
constexpr int kMaxLinkHops = 40;  // as the system's own limit (SYMLOOP_MAX)

// Picks whichever strerror_r the C library declares (GNU or XSI).
[[maybe_unused]] std::string StrerrorResult(char* result, const char*) { return result; }
[[maybe_unused]] std::string StrerrorResult(int result, const char* buffer) {
  return result == 0 ? std::string(buffer) : std::string("Unknown error");
}

std::string SystemReason(int system_error) {
  char buffer[256] = {};
  return StrerrorResult(strerror_r(system_error, buffer, sizeof buffer), buffer);
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

// Cuts a UTF-8 name to at most `limit` bytes without splitting a character.
std::string_view CutUtf8(std::string_view name, std::size_t limit) {
  if (name.size() <= limit) return name;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

std::string RandomSuffix(std::random_device& random) {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuv";
  std::uint64_t bits = (std::uint64_t{random()} << 32) | random();
  std::string suffix;
  for (int i = 0; i < 10; ++i) {
    suffix.push_back(kDigits[bits & 31]);
    bits >>= 5;
  }
  return suffix;
}

// Makes a finished rename survive a power cut; failure only weakens that.
void SyncDirectory(const std::string& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

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

class PosixFileOps final : public FileOps {
 public:
  int CreateExclusive(const std::string& path, int& fd) override {
    do {
      fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? errno : 0;
  }

  int Write(int fd, const std::uint8_t* data, std::size_t size) override {
    while (size > 0) {
      const ssize_t n = write(fd, data, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (n == 0) return EIO;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return 0;
  }

  int Flush(int fd) override {
    int result;
    do {
      result = fsync(fd);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
  }

  int Close(int fd) override {
    // Linux releases the descriptor even when close reports EINTR, and the data
    // was already synced, so a retry could only close someone else's file.
    if (close(fd) == 0 || errno == EINTR) return 0;
    return errno;
  }

  int Rename(const std::string& from, const std::string& to) override {
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }

  int Remove(const std::string& path) override { return unlink(path.c_str()) == 0 ? 0 : errno; }
};

// Whether a failed fast copy means "not here" rather than a real error, so that
// the next way may be tried.
bool Unsupported(int error) {
  return error == EOPNOTSUPP || error == ENOTSUP || error == EXDEV || error == EINVAL ||
         error == ENOSYS || error == ENOTTY || error == EBADF || error == EPERM;
}

int PwriteAll(int fd, std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = pwrite(fd, data, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return 0;
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

int FileOps::CopyContents(int from, int to) {
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

int FileOps::WriteAt(int fd, std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  return PwriteAll(fd, offset, data, size);
}

int FileOps::SetMode(const std::string& path, unsigned mode) {
  return chmod(path.c_str(), static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

std::string DescribeIoError(const IoError& error) { return error.path + ": " + error.reason; }

IoError IoErrorFromErrno(std::string path, int system_error) {
  IoErrorCode code;
  switch (system_error) {
    case ENOENT:
    case ENOTDIR:
      code = IoErrorCode::kNotFound;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
      code = IoErrorCode::kPermissionDenied;
      break;
    case EISDIR:
      code = IoErrorCode::kIsDirectory;
      break;
    case ENOSPC:
    case EDQUOT:
      code = IoErrorCode::kDiskFull;
      break;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
      code = IoErrorCode::kInvalidName;
      break;
    default:
      code = IoErrorCode::kOther;
      break;
  }
  return IoError{code, std::move(path), system_error, SystemReason(system_error)};
}

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
    return IoErrorFromErrno(name, error);
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    const int error = errno;
    close(fd);
    return IoErrorFromErrno(name, error);
  }
  if (S_ISDIR(st.st_mode)) {
    close(fd);
    return IoErrorFromErrno(name, EISDIR);
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
      return IoErrorFromErrno(name, error);
    }
    if (n == 0) break;
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  close(fd);
  return bytes;
}

AtomicFileWriter::AtomicFileWriter(FileOps& ops) : ops_(ops) {}

AtomicFileWriter::~AtomicFileWriter() { Abort(); }

Result<Unit, IoError> AtomicFileWriter::Open(const std::filesystem::path& target) {
  bool existing = false;
  struct stat st;
  return Begin(target, existing, st);
}

Result<std::uint64_t, IoError> AtomicFileWriter::OpenCopy(const std::filesystem::path& target) {
  bool existing = false;
  struct stat st;
  if (auto begun = Begin(target, existing, st); !begun) return begun.error();
  if (!existing) {
    Abort();
    return IoErrorFromErrno(target_, ENOENT);
  }
  int from;
  do {
    from = open(real_.c_str(), O_RDONLY | O_CLOEXEC);
  } while (from < 0 && errno == EINTR);
  if (from < 0) {
    const int error = errno;
    return Fail(error).error();
  }
  const int copy_error = ops_.CopyContents(from, fd_);
  struct stat copied;
  const int stat_error = copy_error == 0 && fstat(fd_, &copied) != 0 ? errno : 0;
  close(from);
  if (copy_error != 0) return Fail(copy_error).error();
  if (stat_error != 0) return Fail(stat_error).error();
  // The copy's own length bounds the patches, whatever happened to the
  // target meanwhile.
  copy_size_ = static_cast<std::uint64_t>(copied.st_size);
  copy_ = true;
  return copy_size_;
}

Result<Unit, IoError> AtomicFileWriter::Begin(const std::filesystem::path& target, bool& existing,
                                              struct stat& st) {
  Abort();
  target_ = target.string();
  existing = false;
  if (target_.empty()) return IoError{IoErrorCode::kInvalidName, target_, 0, "Empty file name"};

  // A link stays a link: the file it leads to is the one replaced, with the
  // temporary file beside it so that the rename stays within one folder.
  if (const int error = ResolveLinks(target_, real_); error != 0) {
    return IoErrorFromErrno(target_, error);
  }
  if (stat(real_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return IoErrorFromErrno(target_, EISDIR);
    if (!S_ISREG(st.st_mode)) {
      // Renaming over a device or pipe would destroy it rather than write to it.
      return IoError{IoErrorCode::kInvalidName, target_, 0, "Not a regular file"};
    }
    if (IsReadOnly(real_, st)) return ReadOnlyError(target_);
    existing = true;
  } else if (const int error = errno; error != ENOENT) {
    return IoErrorFromErrno(target_, error);
  }

  const std::filesystem::path real(real_);
  const std::filesystem::path name = real.filename();
  if (name.empty() || name == "." || name == "..") {
    return IoError{IoErrorCode::kInvalidName, target_, 0, "Not a file name"};
  }
  const std::filesystem::path dir = real.parent_path();
  // The temporary name must stay a legal name even when the target's is long.
  const std::string_view stem = CutUtf8(name.native(), kMaxNameBytes - 16);
  std::random_device random;
  int error = EEXIST;
  for (int attempt = 0; attempt < kTempNameAttempts && error == EEXIST; ++attempt) {
    std::string temp_name(1, '.');
    temp_name.append(stem).append(1, '.').append(RandomSuffix(random)).append(".tmp");
    temp_ = (dir / temp_name).string();
    error = ops_.CreateExclusive(temp_, fd_);
  }
  if (error != 0) {
    temp_.clear();
    fd_ = -1;
    return IoErrorFromErrno(target_, error);
  }
  if (existing) {
    const int mode_error = ops_.SetMode(temp_, st.st_mode & 07777);
    if (mode_error != 0) return Fail(mode_error);
  }
  buffer_.reserve(kBufferSize);
  return Unit{};
}

Result<Unit, IoError> AtomicFileWriter::WriteAt(std::uint64_t offset,
                                                std::span<const std::uint8_t> bytes) {
  if (fd_ < 0 || !copy_) return IoErrorFromErrno(target_, EBADF);
  if (offset > copy_size_ || bytes.size() > copy_size_ - offset) {
    return IoError{IoErrorCode::kOutOfRange, target_, 0,
                   "Bytes " + std::to_string(offset) + " to " +
                       std::to_string(offset + bytes.size()) + " reach past the end of the file (" +
                       std::to_string(copy_size_) + " bytes)"};
  }
  if (bytes.empty()) return Unit{};
  if (const int error = ops_.WriteAt(fd_, offset, bytes.data(), bytes.size()); error != 0) {
    return Fail(error);
  }
  return Unit{};
}

Result<Unit, IoError> AtomicFileWriter::Write(std::span<const std::uint8_t> bytes) {
  if (fd_ < 0) return IoErrorFromErrno(target_, EBADF);
  if (buffer_.size() + bytes.size() <= kBufferSize) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return Unit{};
  }
  if (!buffer_.empty()) {
    auto flushed = WriteOut(buffer_.data(), buffer_.size());
    if (!flushed) return flushed;
    buffer_.clear();
  }
  if (bytes.size() >= kBufferSize) return WriteOut(bytes.data(), bytes.size());
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  return Unit{};
}

Result<Unit, IoError> AtomicFileWriter::Commit() {
  if (fd_ < 0) return IoErrorFromErrno(target_, EBADF);
  if (!buffer_.empty()) {
    auto flushed = WriteOut(buffer_.data(), buffer_.size());
    if (!flushed) return flushed;
    buffer_.clear();
  }
  if (const int error = ops_.Flush(fd_); error != 0) return Fail(error);
  const int close_error = ops_.Close(fd_);
  fd_ = -1;
  if (close_error != 0) return Fail(close_error);
  if (const int error = ops_.Rename(temp_, real_); error != 0) return Fail(error);
  temp_.clear();
  buffer_ = {};
  const std::string dir = std::filesystem::path(real_).parent_path().string();
  SyncDirectory(dir.empty() ? "." : dir);
  return Unit{};
}

void AtomicFileWriter::Abort() {
  if (fd_ >= 0) {
    ops_.Close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    ops_.Remove(temp_);
    temp_.clear();
  }
  buffer_ = {};
  copy_ = false;
  copy_size_ = 0;
}

Result<Unit, IoError> AtomicFileWriter::Fail(int system_error) {
  Abort();
  return IoErrorFromErrno(target_, system_error);
}

Result<Unit, IoError> AtomicFileWriter::WriteOut(const std::uint8_t* data, std::size_t size) {
  if (const int error = ops_.Write(fd_, data, size); error != 0) return Fail(error);
  return Unit{};
}

Result<Unit, IoError> ReplaceFileAtomically(const std::filesystem::path& target,
                                            std::span<const std::uint8_t> bytes, FileOps& ops) {
  AtomicFileWriter writer(ops);
  if (auto opened = writer.Open(target); !opened) return opened;
  if (auto written = writer.Write(bytes); !written) return written;
  return writer.Commit();
}

Result<std::uint64_t, IoError> RegularFileSize(const std::filesystem::path& path) {
  const std::string name = path.string();
  struct stat st;
  if (stat(name.c_str(), &st) != 0) {
    const int error = errno;
    return IoErrorFromErrno(name, error);
  }
  if (S_ISDIR(st.st_mode)) return IoErrorFromErrno(name, EISDIR);
  if (!S_ISREG(st.st_mode)) {
    return IoError{IoErrorCode::kInvalidName, name, 0, "Not a regular file"};
  }
  return static_cast<std::uint64_t>(st.st_size);
}

Result<Unit, IoError> PatchFileAtomically(const std::filesystem::path& target,
                                          std::span<const FilePatch> patches, FileOps& ops) {
  AtomicFileWriter writer(ops);
  auto opened = writer.OpenCopy(target);
  if (!opened) return opened.error();
  for (const FilePatch& patch : patches) {
    if (auto written = writer.WriteAt(patch.offset, patch.bytes); !written) return written;
  }
  return writer.Commit();
}

}  // namespace binconv
