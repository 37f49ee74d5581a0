#pragma once
// Helpers shared by the fuzz targets: property checks that stop the run with
// a readable report, text built from raw bytes, and an in-memory file seam so
// that writing is exercised without touching the disk.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chartable/char_table.h"
#include "chartable/load.h"
#include "runtime/file.h"

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

inline std::string Hex(std::u16string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char16_t c : text) {
    for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(c >> shift) & 0xF];
    out += ' ';
  }
  return out;
}

inline std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
    out += ' ';
  }
  return out;
}

inline std::string Hex(const std::vector<std::uint8_t>& bytes) {
  return Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
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

// Finds the unit at a 1-based line and column, lines ending at CR LF, a lone
// CR or a lone LF, columns counting every unit of the line, its line end too.
class Places {
 public:
  explicit Places(std::u16string_view text) : size_(text.size()) {
    starts_.push_back(0);
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
      if (text[i] == u'\r' || text[i] == u'\n') starts_.push_back(i + 1);
    }
    starts_.push_back(size_);
  }

  // npos when there is no such unit.
  std::size_t At(std::size_t line, std::size_t column) const {
    if (line == 0 || column == 0 || line >= starts_.size()) return std::u16string_view::npos;
    const std::size_t at = starts_[line - 1] + column - 1;
    return at < starts_[line] ? at : std::u16string_view::npos;
  }

 private:
  std::size_t size_;
  std::vector<std::size_t> starts_;
};

// The unit at `at`, joined with a following low surrogate when it is a high one.
inline char32_t CharAt(std::u16string_view text, std::size_t at) {
  const char16_t c = text[at];
  if (c >= 0xD800 && c <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
      text[at + 1] <= 0xDFFF) {
    return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[at + 1] - 0xDC00u);
  }
  return c;
}

// The default tables of the repository, loaded once; BINCONV_TABLES names
// another folder.
inline const CharTable& DefaultTables() {
  static const CharTable table = [] {
    const char* dir = std::getenv("BINCONV_TABLES");
    auto loaded = LoadCharTables(dir != nullptr ? dir : BINCONV_SOURCE_DIR "/tables");
    if (!loaded) {
      std::fprintf(stderr, "%s\n", DescribeTableError(loaded.error()).c_str());
      std::exit(1);
    }
    return std::move(loaded).value();
  }();
  return table;
}

}  // namespace binconv::fuzz
