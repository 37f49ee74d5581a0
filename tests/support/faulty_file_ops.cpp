#include "support/faulty_file_ops.h"



#include <algorithm>

namespace binconv::test {

const char* NameOf(FileCall call) {
  switch (call) {
    case FileCall::kNone:
      return "none";
    case FileCall::kCreate:
      return "create";
    case FileCall::kSetMode:
      return "set mode";
    case FileCall::kCopy:
      return "copy";
    case FileCall::kWrite:
      return "write";
    case FileCall::kWriteAt:
      return "write at";
    case FileCall::kSetLength:
      return "set length";
    case FileCall::kFlush:
      return "flush";
    case FileCall::kClose:
      return "close";
    case FileCall::kRename:
      return "rename";
  }
  return "?";
}

bool FaultyFileOps::Fails(FileCall call) {
  calls_.push_back(call);
  if (call != fails_ || fails_ == FileCall::kNone) return false;
  ++seen_;
  if (nth_ != 0 && seen_ != nth_) return false;
  fired_ = true;
  return true;
}

int FaultyFileOps::CreateExclusive(const std::filesystem::path& path, FileHandle& fd) {
  if (Fails(FileCall::kCreate)) return error_;
  const int r = real_.CreateExclusive(path, fd);
  if (r == 0) ++open_;
  return r;
}

int FaultyFileOps::SetMode(const std::filesystem::path& path, unsigned mode) {
  return Fails(FileCall::kSetMode) ? error_ : real_.SetMode(path, mode);
}

int FaultyFileOps::Write(FileHandle fd, const std::uint8_t* data, std::size_t size) {
  if (Fails(FileCall::kWrite)) {
    real_.Write(fd, data, size / 2);
    return error_;
  }
  return real_.Write(fd, data, size);
}

int FaultyFileOps::CopyContents(FileHandle from, FileHandle to) {
  // A copy that fails still leaves whatever it wrote in the new file.
  if (Fails(FileCall::kCopy)) {
    real_.CopyContents(from, to);
    return error_;
  }
  return real_.CopyContents(from, to);
}

int FaultyFileOps::WriteAt(FileHandle fd, std::uint64_t offset, const std::uint8_t* data,
                           std::size_t size) {
  if (Fails(FileCall::kWriteAt)) {
    real_.WriteAt(fd, offset, data, size / 2);
    return error_;
  }
  return real_.WriteAt(fd, offset, data, size);
}

int FaultyFileOps::SetLength(FileHandle fd, std::uint64_t size) {
  return Fails(FileCall::kSetLength) ? error_ : real_.SetLength(fd, size);
}

int FaultyFileOps::Flush(FileHandle fd) {
  return Fails(FileCall::kFlush) ? error_ : real_.Flush(fd);
}

int FaultyFileOps::Close(FileHandle fd) {
  const bool fails = Fails(FileCall::kClose);
  const int r = real_.Close(fd);
  if (r == 0) --open_;
  return fails ? error_ : r;
}

int FaultyFileOps::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
  return Fails(FileCall::kRename) ? error_ : real_.Rename(from, to);
}

int FaultyFileOps::Remove(const std::filesystem::path& path) { return real_.Remove(path); }

int FaultyFileOps::writes() const {
  return static_cast<int>(std::count(calls_.begin(), calls_.end(), FileCall::kWrite));
}

}  // namespace binconv::test
