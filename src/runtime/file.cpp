#include "runtime/file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>

#include "runtime/file_platform.h"

namespace binconv {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr int kTempNameAttempts = 100;

#ifdef EDQUOT
constexpr int kQuotaExceeded = EDQUOT;
#else
constexpr int kQuotaExceeded = ENOSPC;  // a system without quotas
#endif

const platform::ErrorMeaning kErrnoMeanings[] = {
    {IoErrorCode::kNotFound, {ENOENT, ENOTDIR}},
    {IoErrorCode::kPermissionDenied, {EACCES, EPERM, EROFS}},
    {IoErrorCode::kIsDirectory, {EISDIR}},
    {IoErrorCode::kDiskFull, {ENOSPC, kQuotaExceeded}},
    {IoErrorCode::kInvalidName, {ENAMETOOLONG, EINVAL, EILSEQ}},
    {IoErrorCode::kInUse, {EBUSY, ETXTBSY}},
};

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

IoError DetailedIoError(IoErrorCode code, std::string path, IoDetail detail, std::uint64_t first,
                        std::uint64_t last, std::uint64_t size) {
  IoError error{code, std::move(path), 0, ""};
  error.detail = detail;
  error.first = first;
  error.last = last;
  error.size = size;
  return error;
}

IoErrorCode platform::CodeFromError(std::span<const ErrorMeaning> meanings, int system_error) {
  for (const ErrorMeaning& meaning : meanings) {
    if (std::ranges::find(meaning.errors, system_error) != meaning.errors.end()) {
      return meaning.code;
    }
  }
  return IoErrorCode::kOther;
}

IoError IoErrorFromErrno(std::string path, int system_error) {
  const IoErrorCode code = platform::CodeFromError(kErrnoMeanings, system_error);
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
  return CopyFrom(real_, shown_);
}

Result<std::uint64_t, IoError> AtomicFileWriter::OpenCopyOf(const std::filesystem::path& source,
                                                            const std::filesystem::path& target) {
  bool existing = false;
  if (auto begun = Begin(target, existing); !begun) return Unexpected(begun.error());
  return CopyFrom(source, PathToUtf8(source));
}

Result<std::uint64_t, IoError> AtomicFileWriter::CopyFrom(const std::filesystem::path& source,
                                                          const std::string& shown_source) {
  FileHandle from = kNoFile;
  if (const int error = platform::OpenForReading(source, from); error != 0) {
    Abort();
    return Unexpected(IoErrorFromSystem(shown_source, error));
  }
  const int copy_error = ops_.CopyContents(from, file_);
  std::uint64_t size = 0;
  const int size_error = copy_error == 0 ? platform::SizeOfOpenFile(file_, size) : 0;
  platform::CloseReading(from);
  if (copy_error != 0) return Unexpected(Fail(copy_error).error());
  if (size_error != 0) return Unexpected(Fail(size_error).error());
  // The copy's own length bounds the patches, whatever happened to the
  // source meanwhile.
  copy_size_ = size;
  copy_ = true;
  return copy_size_;
}

Result<Unit, IoError> AtomicFileWriter::Resize(std::uint64_t size) {
  if (file_ == kNoFile || !copy_) return Unexpected(IoErrorFromErrno(shown_, EBADF));
  if (const int error = ops_.SetLength(file_, size); error != 0) return Fail(error);
  copy_size_ = size;
  return Unit{};
}

Result<Unit, IoError> AtomicFileWriter::ReadBack(std::uint64_t offset,
                                                 std::span<std::uint8_t> bytes) {
  if (file_ == kNoFile) return Unexpected(IoErrorFromErrno(shown_, EBADF));
  if (offset > written_ || bytes.size() > written_ - offset) {
    return Unexpected(DetailedIoError(IoErrorCode::kOutOfRange, shown_, IoDetail::kNotWrittenYet,
                                      offset, offset + bytes.size()));
  }
  // Whatever still waits in the buffer must be in the file to be read.
  if (!buffer_.empty() && offset + bytes.size() > written_ - buffer_.size()) {
    auto flushed = WriteOut(buffer_.data(), buffer_.size());
    if (!flushed) return flushed;
    buffer_.clear();
  }
  if (read_back_ == kNoFile) {
    if (const int error = platform::OpenReadBack(temp_, file_, read_back_); error != 0) {
      read_back_ = kNoFile;
      return Fail(error);
    }
  }
  std::size_t got = 0;
  const int error = platform::ReadAt(read_back_, offset, bytes.data(), bytes.size(), got);
  if (error != 0) return Fail(error);
  if (got != bytes.size()) {
    Abort();
    return Unexpected(DetailedIoError(IoErrorCode::kOther, shown_, IoDetail::kCutShort));
  }
  return Unit{};
}

Result<Unit, IoError> AtomicFileWriter::WriteAt(std::uint64_t offset,
                                                std::span<const std::uint8_t> bytes) {
  if (file_ == kNoFile || !copy_) return Unexpected(IoErrorFromErrno(shown_, EBADF));
  if (offset > copy_size_ || bytes.size() > copy_size_ - offset) {
    return Unexpected(DetailedIoError(IoErrorCode::kOutOfRange, shown_, IoDetail::kPastFileEnd,
                                      offset, offset + bytes.size(), copy_size_));
  }
  if (bytes.empty()) return Unit{};
  if (const int error = ops_.WriteAt(file_, offset, bytes.data(), bytes.size()); error != 0) {
    return Fail(error);
  }
  return Unit{};
}

Result<Unit, IoError> AtomicFileWriter::FillAt(std::uint64_t offset, std::uint64_t count,
                                               std::uint8_t byte) {
  if (file_ == kNoFile || !copy_) return Unexpected(IoErrorFromErrno(shown_, EBADF));
  if (offset > copy_size_ || count > copy_size_ - offset) {
    const std::uint64_t end = count > UINT64_MAX - offset ? UINT64_MAX : offset + count;
    return Unexpected(DetailedIoError(IoErrorCode::kOutOfRange, shown_, IoDetail::kPastFileEnd,
                                      offset, end, copy_size_));
  }
  std::array<std::uint8_t, 4096> run;
  run.fill(byte);
  while (count != 0) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, run.size()));
    if (const int error = ops_.WriteAt(file_, offset, run.data(), piece); error != 0) {
      return Fail(error);
    }
    offset += piece;
    count -= piece;
  }
  return Unit{};
}

Result<Unit, IoError> AtomicFileWriter::Begin(const std::filesystem::path& target,
                                              bool& existing) {
  Abort();
  existing = false;
  owner_kept_ = true;
  target_ = target;
  shown_ = PathToUtf8(target);
  if (target_.empty()) {
    return Unexpected(DetailedIoError(IoErrorCode::kInvalidName, shown_, IoDetail::kEmptyName));
  }

  Result<platform::TargetState, IoError> state = platform::InspectTarget(target_, shown_);
  if (!state) return Unexpected(state.error());

  // A link stays a link: the file it leads to is the one replaced, with the
  // temporary file beside it so that the rename stays within one folder.
  real_ = state.value().real;
  const std::filesystem::path name = real_.filename();
  if (name.empty() || name == "." || name == "..") {
    return Unexpected(DetailedIoError(IoErrorCode::kInvalidName, shown_, IoDetail::kNotAFileName));
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
  temp_slot_ = platform::RegisterTemp(temp_, file_);
  existing = state.value().exists;
  existing_ = existing;
  mode_ = state.value().mode;
  if (state.value().exists) {
    // Before the mode: a change of owner clears the set-user-ID bits.
    owner_kept_ = platform::KeepOwner(file_, state.value());
    const int mode_error = ops_.SetMode(temp_, state.value().mode);
    if (mode_error != 0) return Fail(mode_error);
  }
  buffer_.reserve(kBufferSize);
  return Unit{};
}

Result<Unit, IoError> AtomicFileWriter::Write(std::span<const std::uint8_t> bytes) {
  if (file_ == kNoFile) return Unexpected(IoErrorFromErrno(shown_, EBADF));
  written_ += bytes.size();
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

Result<Unit, IoError> AtomicFileWriter::Seal() {
  if (file_ == kNoFile) return Unexpected(IoErrorFromErrno(shown_, EBADF));
  if (!buffer_.empty()) {
    auto flushed = WriteOut(buffer_.data(), buffer_.size());
    if (!flushed) return flushed;
    buffer_.clear();
  }
  CloseReadBack();
  if (const int error = ops_.Flush(file_); error != 0) return Fail(error);
  const int close_error = ops_.Close(file_);
  file_ = kNoFile;
  if (close_error != 0) return Fail(close_error);
  sealed_ = true;
  return Unit{};
}

Result<std::filesystem::path, IoError> AtomicFileWriter::KeepOldCopy() {
  if (!existing_) return std::filesystem::path();
  FileHandle from = kNoFile;
  if (const int error = platform::OpenForReading(real_, from); error != 0) {
    return Unexpected(IoErrorFromSystem(shown_, error));
  }
  std::random_device random;
  std::filesystem::path copy;
  FileHandle to = kNoFile;
  int error = kNameTakenError;
  for (int attempt = 0; attempt < kTempNameAttempts && error == kNameTakenError; ++attempt) {
    copy = real_.parent_path() / TempNameFor(real_.filename(), random);
    error = ops_.CreateExclusive(copy, to);
  }
  if (error == 0) {
    error = ops_.CopyContents(from, to);
    if (error == 0) error = ops_.Flush(to);
    const int close_error = ops_.Close(to);
    if (error == 0) error = close_error;
    if (error == 0) error = ops_.SetMode(copy, mode_);
    if (error != 0) ops_.Remove(copy);
  }
  platform::CloseReading(from);
  if (error != 0) return Unexpected(IoErrorFromSystem(shown_, error));
  return copy;
}

Result<Unit, IoError> AtomicFileWriter::Commit() {
  if (!sealed_) {
    if (auto sealed = Seal(); !sealed) return sealed;
  }
  sealed_ = false;
  if (const int error = ops_.Rename(temp_, real_); error != 0) return Fail(error);
  platform::UnregisterTemp(temp_slot_);
  temp_slot_ = -1;
  temp_.clear();
  buffer_ = {};
  const std::filesystem::path dir = real_.parent_path();
  platform::SyncDirectory(dir.empty() ? PathFromUtf8(".") : dir);
  return Unit{};
}

void AtomicFileWriter::CloseReadBack() {
  if (read_back_ != kNoFile) platform::CloseReadBack(file_, read_back_);
  read_back_ = kNoFile;
}

void AtomicFileWriter::Abort() {
  CloseReadBack();
  if (file_ != kNoFile) {
    ops_.Close(file_);
    file_ = kNoFile;
  }
  if (!temp_.empty()) {
    ops_.Remove(temp_);
    // Only now: a signal in between removes the file, never leaves it.
    platform::UnregisterTemp(temp_slot_);
    temp_slot_ = -1;
    temp_.clear();
  }
  buffer_ = {};
  copy_ = false;
  copy_size_ = 0;
  sealed_ = false;
  written_ = 0;
}

Result<Unit, IoError> AtomicFileWriter::Fail(int system_error) {
  Abort();
  return Unexpected(IoErrorFromSystem(shown_, system_error));
}

Result<Unit, IoError> AtomicFileWriter::WriteOut(const std::uint8_t* data, std::size_t size) {
  if (const int error = ops_.Write(file_, data, size); error != 0) return Fail(error);
  return Unit{};
}

namespace {

// Puts back the old files of `writers`, the last replaced first: the kept
// copy where there was an old file, none where there wasn't. The first
// failure is added to `error`; that old file stays where it was kept.
void PutBackReplaced(std::span<const std::unique_ptr<AtomicFileWriter>> writers,
                     std::span<const std::filesystem::path> kept, std::span<const FileContents> files,
                     FileOps& ops, IoError& error) {
  bool told = false;
  for (std::size_t i = writers.size(); i-- > 0;) {
    const std::filesystem::path& real = writers[i]->real();
    const int undo_error = kept[i].empty() ? ops.Remove(real) : ops.Rename(kept[i], real);
    if (undo_error == 0 || told) continue;
    told = true;
    error.not_put_back = PathToUtf8(files[i].target);
    error.put_back_error = undo_error;
    if (!kept[i].empty()) error.kept_as = PathToUtf8(kept[i]);
  }
}

}  // namespace

Result<Unit, IoError> ReplaceFilesAtomically(std::span<const FileContents> files, FileOps& ops) {
  std::vector<std::unique_ptr<AtomicFileWriter>> writers;
  for (const FileContents& file : files) {
    writers.push_back(std::make_unique<AtomicFileWriter>(ops));
    if (auto opened = writers.back()->Open(file.target); !opened) return opened;
    if (auto written = writers.back()->Write(file.bytes); !written) return written;
    if (auto sealed = writers.back()->Seal(); !sealed) return sealed;
  }
  // The old file of each but the last is kept until every new one is in place.
  std::vector<std::filesystem::path> kept;
  auto drop_kept = [&] {
    for (const std::filesystem::path& old : kept) {
      if (!old.empty()) ops.Remove(old);
    }
  };
  for (std::size_t i = 0; i + 1 < writers.size(); ++i) {
    auto old = writers[i]->KeepOldCopy();
    if (!old) {
      drop_kept();
      return Unexpected(old.error());
    }
    kept.push_back(std::move(old).value());
  }
  for (std::size_t i = 0; i < writers.size(); ++i) {
    auto committed = writers[i]->Commit();
    if (committed) continue;
    IoError error = committed.error();
    PutBackReplaced(std::span(writers).first(i), std::span(kept).first(i), files, ops, error);
    for (std::size_t j = i; j < kept.size(); ++j) {
      if (!kept[j].empty()) ops.Remove(kept[j]);
    }
    return Unexpected(error);
  }
  drop_kept();
  return Unit{};
}

Result<Unit, IoError> ReplaceFilePairAtomically(const FileContents& first,
                                                const FileContents& second, FileOps& ops) {
  const FileContents files[] = {first, second};
  return ReplaceFilesAtomically(files, ops);
}

Result<Unit, IoError> ReplaceFileAtomically(const std::filesystem::path& target,
                                            std::span<const std::uint8_t> bytes, FileOps& ops) {
  AtomicFileWriter writer(ops);
  if (auto opened = writer.Open(target); !opened) return opened;
  if (auto written = writer.Write(bytes); !written) return written;
  return writer.Commit();
}

namespace {

// Every patch over the writer's copy of `size` bytes, lengthened first to
// `grow_to`, each fill right after its bytes.
Result<Unit, IoError> ApplyPatches(AtomicFileWriter& writer, std::uint64_t size,
                                   std::span<const FilePatch> patches, std::uint64_t grow_to) {
  if (grow_to > size) {
    if (auto resized = writer.Resize(grow_to); !resized) return resized;
  }
  for (const FilePatch& patch : patches) {
    if (auto written = writer.WriteAt(patch.offset, patch.bytes); !written) return written;
    if (patch.fill_count != 0) {
      auto filled = writer.FillAt(patch.offset + patch.bytes.size(), patch.fill_count, patch.fill);
      if (!filled) return filled;
    }
  }
  return Unit{};
}

}  // namespace

bool FilePatchesFit(std::uint64_t size, std::span<const FilePatch> patches) {
  return std::all_of(patches.begin(), patches.end(), [&](const FilePatch& patch) {
    return patch.offset <= size && patch.bytes.size() <= size - patch.offset &&
           patch.fill_count <= size - patch.offset - patch.bytes.size();
  });
}

void LayFilePatches(std::uint64_t offset, std::span<std::uint8_t> bytes,
                    std::span<const FilePatch> patches) {
  const std::uint64_t end = offset + bytes.size();
  // Each part of a patch clipped to [offset, end), later patches over earlier.
  auto lay = [&](std::uint64_t from, std::uint64_t count, auto&& put) {
    const std::uint64_t first = std::max(from, offset);
    const std::uint64_t last = std::min(from + count, end);
    for (std::uint64_t at = first; at < last; ++at) {
      bytes[static_cast<std::size_t>(at - offset)] = put(at - from);
    }
  };
  for (const FilePatch& patch : patches) {
    lay(patch.offset, patch.bytes.size(),
        [&](std::uint64_t k) { return patch.bytes[static_cast<std::size_t>(k)]; });
    lay(patch.offset + patch.bytes.size(), patch.fill_count, [&](std::uint64_t) { return patch.fill; });
  }
}

bool ApplyFilePatchesInMemory(std::vector<std::uint8_t>& bytes,
                              std::span<const FilePatch> patches) {
  if (!FilePatchesFit(bytes.size(), patches)) return false;
  LayFilePatches(0, bytes, patches);
  return true;
}

Result<Unit, IoError> PatchFileAtomically(const std::filesystem::path& target,
                                          std::span<const FilePatch> patches, FileOps& ops,
                                          bool* owner_kept, std::uint64_t grow_to) {
  AtomicFileWriter writer(ops);
  auto opened = writer.OpenCopy(target);
  if (!opened) return Unexpected(opened.error());
  if (auto applied = ApplyPatches(writer, *opened, patches, grow_to); !applied) return applied;
  if (owner_kept != nullptr) *owner_kept = writer.owner_kept();
  return writer.Commit();
}

Result<Unit, IoError> PatchCopyAtomically(const std::filesystem::path& source,
                                          const std::filesystem::path& target,
                                          std::span<const FilePatch> patches, FileOps& ops,
                                          std::uint64_t grow_to) {
  AtomicFileWriter writer(ops);
  auto opened = writer.OpenCopyOf(source, target);
  if (!opened) return Unexpected(opened.error());
  if (auto applied = ApplyPatches(writer, *opened, patches, grow_to); !applied) return applied;
  return writer.Commit();
}

FileReader::~FileReader() { Close(); }

void FileReader::Close() {
  if (file_ != kNoFile) platform::CloseReading(file_);
  file_ = kNoFile;
}

Result<std::uint64_t, IoError> FileReader::Open(const std::filesystem::path& path) {
  Close();
  shown_ = PathToUtf8(path);
  auto size = RegularFileSize(path);
  if (!size) return Unexpected(size.error());
  if (const int error = platform::OpenForReading(path, file_); error != 0) {
    file_ = kNoFile;
    return Unexpected(IoErrorFromSystem(shown_, error));
  }
  if (const int error = platform::SizeOfOpenFile(file_, size_); error != 0) {
    return Unexpected(IoErrorFromSystem(shown_, error));
  }
  return size_;
}

Result<Unit, IoError> FileReader::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    std::size_t got = 0;
    const int error = file_ == kNoFile ? EBADF
                                       : platform::ReadAt(file_, offset + done, out.data() + done,
                                                          out.size() - done, got);
    if (error != 0) return Unexpected(IoErrorFromSystem(shown_, error));
    if (got == 0) {
      return Unexpected(DetailedIoError(IoErrorCode::kOutOfRange, shown_, IoDetail::kFileEnded, 0,
                                        0, offset + done));
    }
    done += got;
  }
  return Unit{};
}

bool AreOneExistingFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  const std::optional<FileIdentity> first = IdentityOfFile(a);
  return first && first == IdentityOfFile(b);
}

bool NameTheSameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  return AreOneExistingFile(a, b) || FullFileName(a) == FullFileName(b);
}

std::filesystem::path FullFileName(const std::filesystem::path& path) {
  std::error_code e;
  std::filesystem::path absolute = std::filesystem::absolute(path, e);
  if (e) return path.lexically_normal();
  std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, e);
  return e ? absolute.lexically_normal() : canonical;
}

}  // namespace binconv
