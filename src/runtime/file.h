#pragma once
// File services. Every write of an output file goes through a temporary file
// in the target's directory and a rename, so a crash leaves either the old
// file or the complete new one.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/result.h"

namespace binconv {

enum class IoErrorCode {
  kNotFound,          // the file or a folder on its path does not exist
  kPermissionDenied,  // the system refused access (mode, read-only attribute or medium)
  kIsDirectory,       // the name is a directory
  kDiskFull,          // no space (or quota) left on the device
  kInvalidName,       // the name is empty, too long or not allowed here
  kInUse,             // another program holds the file open (a sharing violation)
  kReservedName,      // a device name such as CON or COM1, which must never be opened
  kOutOfRange,        // a patch would reach past the end of the file it patches
  kNotRegularFile,    // the name is a device, pipe or socket, which is never replaced
  kOther,             // any other system error; reason says which
};

// Why a file failed where the system gave no reason of its own; the messages
// word each (first, last and size are IoError's numbers).
enum class IoDetail {
  kNone,           // the system's reason, or none
  kNotWrittenYet,  // bytes first to last of a file being written are not there yet
  kPastFileEnd,    // bytes first to last reach past the end of the file of `size` bytes
  kCutShort,       // the temporary file is shorter than what was written to it
  kFileEnded,      // the file ended at `size` bytes, before what was asked for
  kEmptyName,      // the name is empty
  kNotAFileName,   // the name ends in ".", ".." or a separator
  kReadPastEnd,    // a read past the end of what is held in memory
  kReadPastGame,   // a read past the end of the game
  kResultDiffers,  // a patch's result differs from the modified file
  // Names Windows refuses before any call of its own sees them.
  kADirectory,        // the name is a folder's (POSIX says so itself)
  kBadNameCharacter,  // a name holds < > : " | ? * or a control character
  kEndsInDotOrSpace,  // a name ends in a dot or a space
  kNameTooLong,       // a name of more than 255 characters
  kDeviceName,        // `part` is a device name, such as CON or COM1
};
// The last detail above, so that a walk over every one misses none.
inline constexpr IoDetail kLastIoDetail = IoDetail::kDeviceName;

struct IoError {
  IoErrorCode code{};
  std::string path;    // the name as the user gave it, UTF-8
  int system_error = 0;  // errno on POSIX, a Windows error code (GetLastError)
                         // on Windows; 0 when the error did not come from the system
  std::string reason;  // English text of the system's reason, UTF-8
  IoDetail detail = IoDetail::kNone;
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::uint64_t size = 0;
  bool read_only = false;  // the system refused because the file is read-only
  // When a failed group of writes could not put an old file back: that
  // file, the system's error, and where the old one is kept (empty: none).
  std::string not_put_back{};
  int put_back_error = 0;
  std::string kept_as{};
  std::string part{};  // the part of the path at fault (kDeviceName)
};

// An error of `code` that `detail` explains, with its numbers.
IoError DetailedIoError(IoErrorCode code, std::string path, IoDetail detail,
                        std::uint64_t first = 0, std::uint64_t last = 0, std::uint64_t size = 0);
// From a C library errno value, on either system.
IoError IoErrorFromErrno(std::string path, int system_error);
// From an error of the system's own file calls, as FileOps reports them.
IoError IoErrorFromSystem(std::string path, int system_error);
// The system's reason in the user's language, when the system has one
// (Windows); empty otherwise.
std::u16string LocalizedSystemReason(int system_error);

// Paths from and to UTF-8. std::filesystem would take a narrow string in the
// ANSI code page on Windows, so names never pass through it that way.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

// An open file of the seam: a descriptor on POSIX, a HANDLE on Windows.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// The seam's error for a name that is taken (EEXIST, ERROR_FILE_EXISTS); the
// writer then tries another temporary name.
extern const int kNameTakenError;

// The seam through which all output goes, so that tests can make any step fail.
// Each call returns 0 or a system error as IoError::system_error holds it.
class FileOps {
 public:
  virtual ~FileOps() = default;
  // Creates a new file for writing; fails with kNameTakenError if the name exists.
  virtual int CreateExclusive(const std::filesystem::path& path, FileHandle& file) = 0;
  virtual int Write(FileHandle file, const std::uint8_t* data,
                    std::size_t size) = 0;  // all or error
  virtual int Flush(FileHandle file) = 0;   // fsync, FlushFileBuffers
  virtual int Close(FileHandle file) = 0;
  // Puts `from` in place of `to`, replacing it.
  virtual int Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  virtual int Remove(const std::filesystem::path& path) = 0;
  // Gives a replacing file what the old one had: the permission bits on POSIX
  // (chmod), the file attributes on Windows. The default changes the real file
  // of that name, so that test doubles which forward to real files need not
  // provide it.
  virtual int SetMode(const std::filesystem::path& path, unsigned mode);
  // Makes the new file `to` a copy of the whole open file `from` (from its
  // start), by the fastest safe way the system offers: on Linux a reflink
  // that shares the blocks where the file system can, else copy_file_range,
  // else reads and writes. The default works on the real files.
  virtual int CopyContents(FileHandle from, FileHandle to);
  // Told by the default CopyContents of each piece it has copied, so that a
  // progress bar can follow a copy of a large game; a reflink tells nothing.
  virtual void Copied(std::uint64_t) {}
  // All the bytes written at `offset`; the default writes the real file.
  virtual int WriteAt(FileHandle file, std::uint64_t offset, const std::uint8_t* data,
                      std::size_t size);
  // Cuts the file or lengthens it with zero bytes; the default changes the
  // real file.
  virtual int SetLength(FileHandle file, std::uint64_t size);
};

// The real file system.
FileOps& SystemFileOps();

// Whether a regular file of that name exists.
bool FileExists(const std::filesystem::path& path);
// Whether two names lead to one file that exists, such as an input that
// writing the other would destroy.
bool AreOneExistingFile(const std::filesystem::path& a, const std::filesystem::path& b);
// Whether two names lead to one file. Either may not exist yet (an output
// about to be written), so the full names are compared as well as the files.
bool NameTheSameFile(const std::filesystem::path& a, const std::filesystem::path& b);
// Which file an existing name leads to, links followed: its device and
// inode on POSIX, its volume and file index on Windows. Two names of one
// file, hard links too, give one identity.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  auto operator<=>(const FileIdentity&) const = default;
};
// nullopt when nothing of that name can be opened.
std::optional<FileIdentity> IdentityOfFile(const std::filesystem::path& path);
// The regular file that standard output, or standard input, writes to or reads
// from (a redirection such as `>> file`); nullopt for a terminal, a pipe or
// anything but a regular file.
std::optional<FileIdentity> IdentityOfStandardOutput();
std::optional<FileIdentity> IdentityOfStandardInput();
// The full name that NameTheSameFile compares: absolute, with "." and ".."
// and the links of the part that exists followed. Two names of one file
// through links or "./" give one full name; hard links don't.
std::filesystem::path FullFileName(const std::filesystem::path& path);

// The whole of a regular file; a device, pipe or socket (which may never end,
// or never start) is kNotRegularFile, and a FIFO is never waited on.
Result<std::string, IoError> ReadFileBytes(const std::filesystem::path& path);

// The size of an existing regular file; an error for anything else.
Result<std::uint64_t, IoError> RegularFileSize(const std::filesystem::path& path);


// When `path` names an open descriptor (/dev/stdout, /dev/fd/N, /proc/PID/fd/N,
// or a chain of links through one), a handle that writes to that same open
// file, so that an appending redirection keeps appending and a pipe stays a
// pipe; for a character device (/dev/null), a handle that writes to it. Such
// a name is never replaced. nullopt for any other name, and always on Windows. Close the handle with SystemFileOps().Close.
Result<std::optional<FileHandle>, IoError> OpenDescriptorForWriting(
    const std::filesystem::path& path);

// Makes SIGINT, SIGTERM and SIGHUP (a console's Ctrl+C, Ctrl+Break and close on
// Windows) remove every temporary file an AtomicFileWriter still holds before
// the program dies of the signal. For a program's entry, once.
void RemoveTemporaryFilesOnSignals();

// Bytes to put over an existing file's bytes from `offset` on, then
// `fill_count` copies of `fill` right after them.
struct FilePatch {
  std::uint64_t offset = 0;
  std::span<const std::uint8_t> bytes;
  std::uint64_t fill_count = 0;
  std::uint8_t fill = 0;
};

// Whether every patch lies inside a file of `size` bytes.
bool FilePatchesFit(std::uint64_t size, std::span<const FilePatch> patches);
// The patches, in order, over `bytes`, which hold a file's bytes from
// `offset` on: what a read of the patched file gives there.
void LayFilePatches(std::uint64_t offset, std::span<std::uint8_t> bytes,
                    std::span<const FilePatch> patches);

// The same patches over bytes in memory, as PatchFileAtomically puts them on
// a file; false, with `bytes` unchanged, when one reaches past the end.
bool ApplyFilePatchesInMemory(std::vector<std::uint8_t>& bytes, std::span<const FilePatch> patches);

// Writes a file in pieces and puts it in place only on Commit. Until then the
// target is untouched; if Commit is never reached the temporary file is
// removed.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(FileOps& ops = SystemFileOps());
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Fails without touching anything if the target is a directory, a read-only
  // file (even for root) or anything but a regular file; on Windows also if
  // its name is one Windows forbids or a device name. A symbolic link (or a
  // chain of them) is written through on POSIX: the file it leads to gets the
  // new bytes and the link stays; a dangling link creates the file it names.
  // Errors always name the target as given.
  Result<Unit, IoError> Open(const std::filesystem::path& target);
  // Starts the new file as a copy of the existing target, which must be a
  // regular file, and tells its size. WriteAt then changes bytes inside it.
  // A symbolic link is followed: the file it names is the one replaced.
  Result<std::uint64_t, IoError> OpenCopy(const std::filesystem::path& target);
  // The same with the copy made of another file, `source`, which stays as it
  // is; the target need not exist.
  Result<std::uint64_t, IoError> OpenCopyOf(const std::filesystem::path& source,
                                            const std::filesystem::path& target);
  // Gives a copy made by OpenCopy or OpenCopyOf a new length: cut, or
  // lengthened with zero bytes that WriteAt may then change.
  Result<Unit, IoError> Resize(std::uint64_t size);
  // Reads back bytes already written by Write, from `offset` on.
  Result<Unit, IoError> ReadBack(std::uint64_t offset, std::span<std::uint8_t> bytes);
  Result<Unit, IoError> Write(std::span<const std::uint8_t> bytes);
  // Overwrites bytes of a copy made by OpenCopy; refuses bytes past its end,
  // so the file's length never changes.
  Result<Unit, IoError> WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  // Writes out, flushes and closes the temporary file without putting it in
  // place yet; Commit then only renames. After a failure it is gone.
  Result<Unit, IoError> Seal();
  // Overwrites `count` bytes of such a copy from `offset` on with `byte`,
  // written from a small buffer, so a run of any length takes no memory.
  Result<Unit, IoError> FillAt(std::uint64_t offset, std::uint64_t count, std::uint8_t byte);
  // Flushes, closes and renames over the target, which keeps the old file's
  // permission bits. After any failure the temporary file is gone.
  Result<Unit, IoError> Commit();
  // A flushed copy of the file about to be replaced, hidden beside it with
  // its permission bits, so that it can be put back; empty when the target
  // doesn't exist yet. The caller removes it.
  Result<std::filesystem::path, IoError> KeepOldCopy();
  // Removes the temporary file; safe to call at any time.
  void Abort();
  // False once the replacing file could not be given the old file's owner and
  // group (only the owner or root may give a file away): the file then
  // belongs to whoever replaced it. POSIX only.
  bool owner_kept() const { return owner_kept_; }
  // The file replaced: the target with its links followed.
  const std::filesystem::path& real() const { return real_; }

 private:
  Result<Unit, IoError> Begin(const std::filesystem::path& target, bool& existing);
  Result<std::uint64_t, IoError> CopyFrom(const std::filesystem::path& source,
                                          const std::string& shown_source);
  Result<Unit, IoError> Fail(int system_error);
  Result<Unit, IoError> WriteOut(const std::uint8_t* data, std::size_t size);
  void CloseReadBack();

  FileOps& ops_;
  std::filesystem::path target_;
  std::string shown_;            // the target as given, for messages, UTF-8
  std::filesystem::path real_;   // the file replaced: target_ with its links followed
  std::filesystem::path temp_;
  FileHandle file_ = kNoFile;
  FileHandle read_back_ = kNoFile;  // opened by the first ReadBack
  std::vector<std::uint8_t> buffer_;
  std::uint64_t copy_size_ = 0;  // the length of a copy made by OpenCopy
  std::uint64_t written_ = 0;    // bytes passed to Write, buffered or not
  bool copy_ = false;
  bool owner_kept_ = true;
  bool sealed_ = false;
  bool existing_ = false;
  unsigned mode_ = 0;
  int temp_slot_ = -1;           // where the signal handler finds temp_
};

// Two files that only make sense together (a pair of tables) replaced as one:
// both new files are written and flushed before either is put in place, and
// the old `first` is kept beside it until `second` is in place too; when that
// fails, the old `first` goes back. A failure at any step leaves the old
// pair. Only a crash between the two renames leaves the new `first` with the
// old `second` (and the old `first` as a hidden ".NAME.*.tmp" beside it).
struct FileContents {
  std::filesystem::path target;
  std::span<const std::uint8_t> bytes;
};
// The same for any number of files, replaced in order; when a rename fails,
// those already replaced are put back.
Result<Unit, IoError> ReplaceFilesAtomically(std::span<const FileContents> files,
                                             FileOps& ops = SystemFileOps());
Result<Unit, IoError> ReplaceFilePairAtomically(const FileContents& first,
                                                const FileContents& second,
                                                FileOps& ops = SystemFileOps());

// Convenience: the whole file in one go, through AtomicFileWriter.
Result<Unit, IoError> ReplaceFileAtomically(const std::filesystem::path& target,
                                            std::span<const std::uint8_t> bytes,
                                            FileOps& ops = SystemFileOps());

// Replaces `target` atomically with a copy of itself carrying the patches:
// every other byte and the length stay as they were. Nothing changes when a
// patch reaches past the end (kOutOfRange) or any step fails. `owner_kept`,
// when given, tells whether the file kept its owner and group.
// With `grow_to` past the file's end, the copy is first lengthened to it (a
// grown game), so that the patches may fill the new part.
Result<Unit, IoError> PatchFileAtomically(const std::filesystem::path& target,
                                          std::span<const FilePatch> patches,
                                          FileOps& ops = SystemFileOps(),
                                          bool* owner_kept = nullptr, std::uint64_t grow_to = 0);

// Writes `target` atomically as a copy of `source` carrying the patches;
// `source` is only read. Nothing is left behind when any step fails.
Result<Unit, IoError> PatchCopyAtomically(const std::filesystem::path& source,
                                          const std::filesystem::path& target,
                                          std::span<const FilePatch> patches,
                                          FileOps& ops = SystemFileOps(), std::uint64_t grow_to = 0);

// An existing file read at any offset, without holding it in memory. A
// front-end may derive from it to follow the reads (a progress bar).
class FileReader {
 public:
  FileReader() = default;
  virtual ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Opens a regular file and tells its size.
  Result<std::uint64_t, IoError> Open(const std::filesystem::path& path);
  std::uint64_t size() const { return size_; }
  // Exactly `out.size()` bytes from `offset`; an error past the end.
  virtual Result<Unit, IoError> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out);
  // Lets go of the file before the reader is gone (Windows won't replace a
  // file that is still open).
  void Close();

 private:
  FileHandle file_ = kNoFile;
  std::uint64_t size_ = 0;
  std::string shown_;
};

}  // namespace binconv
