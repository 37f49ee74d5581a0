#include "runtime/file.h"

#include <cerrno>
#include <cstring>
#include <random>

#include "runtime/file_platform.h"

namespace binconv {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr int kTempNameAttempts = 100;

// Cuts a name to at most `limit` units without splitting a character: a UTF-8
// sequence on POSIX, a surrogate pair on Windows.
template <class Char>
std::basic_string_view<Char> CutName(std::basic_string_view<Char> name, std::size_t limit) {
  if (name.size() <= limit) return name;
  std::size_t end = limit;
  if constexpr (sizeof(Char) == 1) {
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  } else {
    if (end > 0 && (static_cast<char32_t>(name[end]) & 0xFC00) == 0xDC00) --end;
  }
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

// A hidden temporary name beside the target: ".NAME.XXXXXXXXXX.tmp".
std::filesystem::path TempNameFor(const std::filesystem::path& name, std::random_device& random) {
  using Char = std::filesystem::path::value_type;
  const std::basic_string_view<Char> stem =
      CutName(std::basic_string_view<Char>(name.native()), platform::kMaxNameUnits - 16);
  std::filesystem::path::string_type temp(1, Char('.'));
  temp.append(stem);
  temp.push_back(Char('.'));
  for (char c : RandomSuffix(random) + ".tmp") temp.push_back(Char(c));
  return temp;
}

}  // namespace

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
#ifdef EDQUOT
    case EDQUOT:
#endif
      code = IoErrorCode::kDiskFull;
      break;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
      code = IoErrorCode::kInvalidName;
      break;
    case EBUSY:
    case ETXTBSY:
      code = IoErrorCode::kInUse;
      break;
    default:
      code = IoErrorCode::kOther;
      break;
  }
#ifdef _WIN32
  char buffer[256] = {};
  strerror_s(buffer, sizeof buffer, system_error);
  std::string reason = buffer;
#else
  std::string reason = platform::SystemReason(system_error);
#endif
  return IoError{code, std::move(path), system_error, std::move(reason)};
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

AtomicFileWriter::AtomicFileWriter(FileOps& ops) : ops_(ops) {}

AtomicFileWriter::~AtomicFileWriter() { Abort(); }

Result<Unit, IoError> AtomicFileWriter::Open(const std::filesystem::path& target) {
  bool existing = false;
  return Begin(target, existing);
}

Result<std::uint64_t, IoError> AtomicFileWriter::OpenCopy(const std::filesystem::path& target) {
  bool existing = false;
  if (auto begun = Begin(target, existing); !begun) return Unexpected(begun.error());
  if (!existing) {
    Abort();
    return Unexpected(IoErrorFromErrno(shown_, ENOENT));
  }
  FileHandle from = kNoFile;
  if (const int error = platform::OpenForReading(real_, from); error != 0) {
    return Unexpected(Fail(error).error());
  }
  const int copy_error = ops_.CopyContents(from, file_);
  std::uint64_t size = 0;
  const int size_error = copy_error == 0 ? platform::SizeOfOpenFile(file_, size) : 0;
  platform::CloseReading(from);
  if (copy_error != 0) return Unexpected(Fail(copy_error).error());
  if (size_error != 0) return Unexpected(Fail(size_error).error());
  // The copy's own length bounds the patches, whatever happened to the
  // target meanwhile.
  copy_size_ = size;
  copy_ = true;
  return copy_size_;
}

Result<Unit, IoError> AtomicFileWriter::WriteAt(std::uint64_t offset,
                                                std::span<const std::uint8_t> bytes) {
  if (file_ == kNoFile || !copy_) return Unexpected(IoErrorFromErrno(shown_, EBADF));
  if (offset > copy_size_ || bytes.size() > copy_size_ - offset) {
    return Unexpected(
        IoError{IoErrorCode::kOutOfRange, shown_, 0,
                "Bytes " + std::to_string(offset) + " to " + std::to_string(offset + bytes.size()) +
                    " reach past the end of the file (" + std::to_string(copy_size_) + " bytes)"});
  }
  if (bytes.empty()) return Unit{};
  if (const int error = ops_.WriteAt(file_, offset, bytes.data(), bytes.size()); error != 0) {
    return Fail(error);
  }
  return Unit{};
}

Result<Unit, IoError> AtomicFileWriter::Begin(const std::filesystem::path& target,
                                              bool& existing) {
  Abort();
  existing = false;
  target_ = target;
  shown_ = PathToUtf8(target);
  if (target_.empty())
    return Unexpected(IoError{IoErrorCode::kInvalidName, shown_, 0, "Empty file name"});

  Result<platform::TargetState, IoError> state = platform::InspectTarget(target_, shown_);
  if (!state) return Unexpected(state.error());

  // A link stays a link: the file it leads to is the one replaced, with the
  // temporary file beside it so that the rename stays within one folder.
  real_ = state.value().real;
  const std::filesystem::path name = real_.filename();
  if (name.empty() || name == "." || name == "..") {
    return Unexpected(IoError{IoErrorCode::kInvalidName, shown_, 0, "Not a file name"});
  }
  const std::filesystem::path dir = real_.parent_path();
  std::random_device random;
  int error = kNameTakenError;
  for (int attempt = 0; attempt < kTempNameAttempts && error == kNameTakenError; ++attempt) {
    // The temporary name must stay a legal name even when the target's is long.
    temp_ = dir / TempNameFor(name, random);
    error = ops_.CreateExclusive(temp_, file_);
  }
  if (error != 0) {
    temp_.clear();
    file_ = kNoFile;
    return Unexpected(IoErrorFromSystem(shown_, error));
  }
  existing = state.value().exists;
  if (state.value().exists) {
    const int mode_error = ops_.SetMode(temp_, state.value().mode);
    if (mode_error != 0) return Fail(mode_error);
  }
  buffer_.reserve(kBufferSize);
  return Unit{};
}

Result<Unit, IoError> AtomicFileWriter::Write(std::span<const std::uint8_t> bytes) {
  if (file_ == kNoFile) return Unexpected(IoErrorFromErrno(shown_, EBADF));
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
  if (file_ == kNoFile) return Unexpected(IoErrorFromErrno(shown_, EBADF));
  if (!buffer_.empty()) {
    auto flushed = WriteOut(buffer_.data(), buffer_.size());
    if (!flushed) return flushed;
    buffer_.clear();
  }
  if (const int error = ops_.Flush(file_); error != 0) return Fail(error);
  const int close_error = ops_.Close(file_);
  file_ = kNoFile;
  if (close_error != 0) return Fail(close_error);
  if (const int error = ops_.Rename(temp_, real_); error != 0) return Fail(error);
  temp_.clear();
  buffer_ = {};
  const std::filesystem::path dir = real_.parent_path();
  platform::SyncDirectory(dir.empty() ? std::filesystem::path(".") : dir);
  return Unit{};
}

void AtomicFileWriter::Abort() {
  if (file_ != kNoFile) {
    ops_.Close(file_);
    file_ = kNoFile;
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
  return Unexpected(IoErrorFromSystem(shown_, system_error));
}

Result<Unit, IoError> AtomicFileWriter::WriteOut(const std::uint8_t* data, std::size_t size) {
  if (const int error = ops_.Write(file_, data, size); error != 0) return Fail(error);
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
  const std::string shown = PathToUtf8(path);
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) return Unexpected(IoErrorFromErrno(shown, error.value()));
  if (std::filesystem::is_directory(status)) return Unexpected(IoErrorFromErrno(shown, EISDIR));
  if (!std::filesystem::is_regular_file(status)) {
    return Unexpected(IoError{IoErrorCode::kInvalidName, shown, 0, "Not a regular file"});
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return Unexpected(IoErrorFromErrno(shown, error.value()));
  return static_cast<std::uint64_t>(size);
}

Result<Unit, IoError> PatchFileAtomically(const std::filesystem::path& target,
                                          std::span<const FilePatch> patches, FileOps& ops) {
  AtomicFileWriter writer(ops);
  auto opened = writer.OpenCopy(target);
  if (!opened) return Unexpected(opened.error());
  for (const FilePatch& patch : patches) {
    if (auto written = writer.WriteAt(patch.offset, patch.bytes); !written) return written;
  }
  return writer.Commit();
}

}  // namespace binconv
