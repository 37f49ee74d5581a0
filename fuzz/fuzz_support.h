#pragma once
// Helpers shared by the fuzz targets: property checks that stop the run with
// a readable report, text built from raw bytes, and an in-memory file seam so
// that writing is exercised without touching the disk.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chartable/char_table.h"
#include "chartable/encoding.h"
#include "chartable/load.h"
#include "messages/messages.h"
#include "runtime/file.h"
#include "support/bytes.h"
#include "support/encoded.h"

namespace binconv::fuzz {

// Where reports go; a target that borrows standard error points this elsewhere.
inline int& ReportFd() {
  static int fd = 2;
  return fd;
}

[[noreturn]] inline void FailProperty(const char* condition, const char* file, int line,
                                      const std::string& detail) {
  std::string text = std::string("property failed: ") + condition + " at " + file + ":" +
                     std::to_string(line) + "\n" + detail + "\n";
  std::FILE* out = ReportFd() == 2 ? stderr : fdopen(ReportFd(), "w");
  if (out != nullptr) {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
  }
  std::abort();
}

#define FUZZ_CHECK(condition, detail)                                                        \
  do {                                                                                       \
    if (!(condition)) ::binconv::fuzz::FailProperty(#condition, __FILE__, __LINE__, detail); \
  } while (false)

using test::Hex;

// A new folder, in /dev/shm when there is one, removed when this process ends
// however it ends: after a crash, a timeout or a single run libFuzzer leaves
// by _Exit or a signal, past any atexit handler. So a child process waits for
// the end of a pipe only this process writes to, and then removes it.
inline std::filesystem::path ScratchFolder(const char* prefix) {
  const std::filesystem::path shm = "/dev/shm";
  std::string pattern =
      ((std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path()) /
       (std::string(prefix) + "XXXXXX"))
          .string();
  int ends[2];
  if (mkdtemp(pattern.data()) == nullptr || pipe2(ends, O_CLOEXEC) != 0) std::abort();
  const pid_t pid = fork();
  if (pid < 0) std::abort();
  if (pid == 0) {
    close(ends[1]);
    // Only the end of the pipe ends it: Ctrl+C reaches the whole group.
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) signal(sig, SIG_IGN);
    char byte;
    while (read(ends[0], &byte, 1) < 0 && errno == EINTR) {
    }
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    _exit(0);
  }
  close(ends[0]);  // ends[1] stays open, unused, until this process ends
  return pattern;
}

// Little-endian pairs of bytes as code units; an odd last byte is dropped.
inline std::u16string Utf16FromBytes(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  return text;
}

// Cuts `size` units into pieces whose lengths come from `seed`, so that every
// streaming interface is fed across arbitrary boundaries, empty pieces included.
inline std::vector<std::size_t> ChunkEnds(std::size_t size, std::uint32_t seed) {
  std::vector<std::size_t> ends;
  std::size_t at = 0;
  std::uint32_t state = seed * 2654435761u + 1;
  while (at < size) {
    state = state * 1103515245u + 12345u;
    const std::size_t step = (state >> 16) % 9;  // 0 gives an empty piece
    at = std::min(size, at + step);
    ends.push_back(at);
  }
  ends.push_back(size);
  return ends;
}

// The file seam kept in memory. Only names that nobody else uses should be
// written through it: the writer still asks the real file system whether the
// target exists.
class MemoryFileOps final : public FileOps {
 public:
  int CreateExclusive(const std::filesystem::path& name, FileHandle& fd) override {
    ++calls_;
    const std::string path = name.string();
    if (open_.count(path) != 0 || files_.count(path) != 0) return EEXIST;
    fd = next_fd_++;
    open_[path] = fd;
    data_[fd].clear();
    return 0;
  }
  int Write(FileHandle fd, const std::uint8_t* data, std::size_t size) override {
    ++calls_;
    data_[fd].insert(data_[fd].end(), data, data + size);
    return 0;
  }
  int Flush(FileHandle) override {
    ++calls_;
    return 0;
  }
  int Close(FileHandle) override {
    ++calls_;
    return 0;
  }
  int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    ++calls_;
    auto it = open_.find(from.string());
    if (it == open_.end()) return ENOENT;
    files_[to.string()] = std::move(data_[it->second]);
    data_.erase(it->second);
    open_.erase(it);
    return 0;
  }
  int Remove(const std::filesystem::path& path) override {
    ++calls_;
    auto it = open_.find(path.string());
    if (it == open_.end()) return files_.erase(path.string()) != 0 ? 0 : ENOENT;
    data_.erase(it->second);
    open_.erase(it);
    return 0;
  }
  int SetMode(const std::filesystem::path&, unsigned) override {
    ++calls_;
    return 0;
  }

  int calls() const { return calls_; }
  // Temporary files not yet renamed or removed.
  std::size_t open_count() const { return open_.size(); }
  const std::vector<std::uint8_t>* File(const std::string& path) const {
    auto it = files_.find(path);
    return it == files_.end() ? nullptr : &it->second;
  }

 private:
  int calls_ = 0;
  FileHandle next_fd_ = 1000;
  std::map<std::string, FileHandle> open_;
  std::map<FileHandle, std::vector<std::uint8_t>> data_;
  std::map<std::string, std::vector<std::uint8_t>> files_;
};

// A target inside a folder that does not exist, so the real file system never
// holds it and the in-memory seam alone decides.
inline constexpr char16_t kMemoryTarget[] = u"binconv-fuzz-no-such-folder/out.bin";

using test::CharAt;
using test::Places;

// The default tables of the repository, loaded once; BINCONV_TABLES names
// another folder.
inline const CharTable& DefaultTables() {
  static const CharTable table = [] {
    const char* dir = std::getenv("BINCONV_TABLES");
    auto loaded = LoadCharTables(dir != nullptr ? dir : BINCONV_SOURCE_DIR "/tables");
    if (!loaded) {
      std::fprintf(stderr, "%s\n",
                   messages::Message(messages::Language::kEnglish, loaded.error()).c_str());
      std::exit(1);
    }
    return std::move(loaded).value();
  }();
  return table;
}

// What the default tables compile into, once.
inline const GameTable& DefaultEncoding() {
  static const GameTable encoding = GameTableOf(DefaultTables());
  return encoding;
}

}  // namespace binconv::fuzz
