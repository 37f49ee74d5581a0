#pragma once
// The file seam of the real file system with faults on demand, so that tests
// can make any step of a write fail.

#include <cerrno>
#include <vector>

#include "runtime/file.h"
#include "support/temp_dir.h"

namespace binconv::test {

enum class FileCall { kNone, kCreate, kSetMode, kCopy, kWrite, kWriteAt, kSetLength, kFlush,
                      kClose, kRename };

const char* NameOf(FileCall call);

// Forwards to the real file system and records every call. The nth call
// (from 1) of the kind `fails`, or every one when nth is 0, fails with
// `error`; kNone fails nothing. A failing write writes half of its bytes
// first, as a full disk does, and a failing copy leaves half the file; a
// failing close still releases the descriptor.
class FaultyFileOps final : public FileOps {
 public:
  explicit FaultyFileOps(FileCall fails = FileCall::kNone, int nth = 0, int error = kErrIo)
      : fails_(fails), nth_(nth), error_(error) {}

  int CreateExclusive(const std::filesystem::path& path, FileHandle& fd) override;
  int SetMode(const std::filesystem::path& path, unsigned mode) override;
  int CopyContents(FileHandle from, FileHandle to) override;
  int Write(FileHandle fd, const std::uint8_t* data, std::size_t size) override;
  int WriteAt(FileHandle fd, std::uint64_t offset, const std::uint8_t* data,
              std::size_t size) override;
  int SetLength(FileHandle fd, std::uint64_t size) override;
  int Flush(FileHandle fd) override;
  int Close(FileHandle fd) override;
  int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
  int Remove(const std::filesystem::path& path) override;

  const std::vector<FileCall>& calls() const { return calls_; }
  bool fired() const { return fired_; }
  int open() const { return open_; }  // descriptors created and not yet closed
  int writes() const;

 private:
  bool Fails(FileCall call);

  FileOps& real_ = SystemFileOps();
  FileCall fails_;
  int nth_;
  int error_;
  int seen_ = 0;  // calls of the failing kind so far
  std::vector<FileCall> calls_;
  bool fired_ = false;
  int open_ = 0;
};

}  // namespace binconv::test
