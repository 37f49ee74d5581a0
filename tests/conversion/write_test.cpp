#include "conversion/write.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "conversion/convert.h"
#include "runtime/utf8.h"

namespace binconv {
namespace {

namespace fs = std::filesystem;

std::string Hex(std::string_view bytes) {
  std::string out;
  for (const char b : bytes) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X ", static_cast<unsigned char>(b));
    out += buf;
  }
  return out.empty() ? "(empty)" : out;
}

const std::string kOldContent("OLD\0\xFF", 5);

// Each test runs in a fresh directory of its own, which is also the current
// directory, as the name box's names are relative to it.
class WriteBinaryTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "binconv_write_XXXXXX").string();
    ASSERT_NE(nullptr, mkdtemp(pattern.data()));
    dir_ = pattern;
    old_cwd_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(old_cwd_);
    fs::remove_all(dir_);
  }

  static void Put(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }
  static std::string Get(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Every entry of the directory, hidden temporary files included.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(dir_)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
  fs::path old_cwd_;
};

// ---------------------------------------------------------------------------

struct RejectCase {
  const char* name;
  std::u16string listing;
  ListingErrorCode code;
};

void PrintTo(const RejectCase& c, std::ostream* os) { *os << c.name; }

class WriteBinaryRejectTest : public WriteBinaryTest,
                              public testing::WithParamInterface<RejectCase> {};

TEST_P(WriteBinaryRejectTest, LeavesOldFileAndCreatesNothing) {
  const RejectCase& c = GetParam();
  Put("out.bin", kOldContent);
  for (const std::u16string_view box : {u"  out.bin ", u"", u"new.bin"}) {
    const Result<Unit, WriteBinaryError> result = WriteBinary(c.listing, box);
    ASSERT_FALSE(result.ok());
    ASSERT_TRUE(std::holds_alternative<ListingError>(result.error()));
    EXPECT_EQ(c.code, std::get<ListingError>(result.error()).code);
    EXPECT_EQ(Hex(kOldContent), Hex(Get("out.bin")));
    EXPECT_EQ(std::vector<std::string>{"out.bin"}, Entries());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteBinaryRejectTest,
    testing::Values(RejectCase{"OddCount", u"1A 2", ListingErrorCode::kOddCount},
                    RejectCase{"OddCountWithTab", u"1\t2", ListingErrorCode::kOddCount},
                    RejectCase{"NotHex", u"1A 2G", ListingErrorCode::kNotHexDigit},
                    RejectCase{"Tab", u"1\t", ListingErrorCode::kNotHexDigit},
                    RejectCase{"PassedThroughChar", u"1A \u304B 2", ListingErrorCode::kNotHexDigit},
                    RejectCase{"LineBreakMarkFromTag", u"12\u9C2F3",
                               ListingErrorCode::kNotHexDigit},
                    // Far past the first bytes: nothing may have been written yet.
                    RejectCase{"BadCharLate",
                               [] {
                                 std::u16string s;
                                 for (int i = 0; i < 100000; ++i) s += u"5A ";
                                 return s + u"zz";
                               }(),
                               ListingErrorCode::kNotHexDigit}),
    [](const testing::TestParamInfo<RejectCase>& p) { return std::string(p.param.name); });

// ---------------------------------------------------------------------------

struct BytesCase {
  const char* name;
  std::u16string listing;
  std::string bytes;
};

void PrintTo(const BytesCase& c, std::ostream* os) { *os << c.name; }

class WriteBinaryBytesTest : public WriteBinaryTest,
                             public testing::WithParamInterface<BytesCase> {};

TEST_P(WriteBinaryBytesTest, ReplacesOldFile) {
  const BytesCase& c = GetParam();
  Put("out.bin", kOldContent);
  const Result<Unit, WriteBinaryError> result = WriteBinary(c.listing, u"out.bin");
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(Hex(c.bytes), Hex(Get("out.bin")));
  EXPECT_EQ(std::vector<std::string>{"out.bin"}, Entries());
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteBinaryBytesTest,
                         testing::Values(BytesCase{"Empty", u"", ""},
                                         BytesCase{"SeparatorsOnly", u" \r\n\u3000", ""},
                                         BytesCase{"TwoPairs", u"1a 2B", "\x1A\x2B"},
                                         BytesCase{"BreakInsidePair", u"1\r\nA", "\x1A"},
                                         BytesCase{"ConvertedListing", u"1A 24\r\n21 34 50 0C01 ",
                                                   "\x1A\x24\x21\x34\x50\x0C\x01"},
                                         // Larger than any write buffer, so it goes out in pieces.
                                         BytesCase{"Large",
                                                   [] {
                                                     std::u16string s;
                                                     for (int i = 0; i < 300000; ++i) {
                                                       s += HexDigits[(i >> 4) & 15];
                                                       s += HexDigits[i & 15];
                                                       s += i % 16 == 15 ? u"\r\n" : u" ";
                                                     }
                                                     return s;
                                                   }(),
                                                   [] {
                                                     std::string s;
                                                     for (int i = 0; i < 300000; ++i)
                                                       s += static_cast<char>(i & 255);
                                                     return s;
                                                   }()}),
                         [](const testing::TestParamInfo<BytesCase>& p) {
                           return std::string(p.param.name);
                         });

// ---------------------------------------------------------------------------

struct NameCase {
  const char* name;
  std::u16string box;
  std::u16string file;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class WriteBinaryNameTest : public WriteBinaryTest, public testing::WithParamInterface<NameCase> {};

TEST_P(WriteBinaryNameTest, WritesThatOneFile) {
  const NameCase& c = GetParam();
  EXPECT_EQ(EncodeUtf8(c.file), EncodeUtf8(OutputNameFromBox(c.box)));
  ASSERT_TRUE(WriteBinary(u"C3", c.box).ok());
  EXPECT_EQ(std::vector<std::string>{EncodeUtf8(c.file)}, Entries());
  EXPECT_EQ("\xC3", Get(PathFromName(c.file)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteBinaryNameTest,
    testing::Values(NameCase{"Trimmed", u"  out.bin  ", u"out.bin"},
                    NameCase{"SpacesOnly", u"   ", u"temp.bin"},
                    NameCase{"EmptyBox", u"", u"temp.bin"},
                    NameCase{"InnerSpacesKept", u" a b.bin ", u"a b.bin"},
                    NameCase{"IdeographicSpaceKept", u"\u3000x.bin", u"\u3000x.bin"},
                    NameCase{"Japanese", u"出力.bin", u"出力.bin"},
                    NameCase{"WildcardsLiteral", u"*.b?n", u"*.b?n"}),
    [](const testing::TestParamInfo<NameCase>& p) { return std::string(p.param.name); });

// Wildcards name one file: other files that would match stay as they are.
TEST_F(WriteBinaryTest, WildcardDoesNotTouchMatchingFiles) {
  Put("a.bin", kOldContent);
  ASSERT_TRUE(WriteBinary(u"00", u"*.bin").ok());
  EXPECT_EQ(Hex(kOldContent), Hex(Get("a.bin")));
  EXPECT_EQ(Hex(std::string(1, '\0')), Hex(Get("*.bin")));
}

// ---------------------------------------------------------------------------

struct IoCase {
  const char* name;
  std::u16string box;
  IoErrorCode code;
};

void PrintTo(const IoCase& c, std::ostream* os) { *os << c.name; }

class WriteBinaryIoTest : public WriteBinaryTest, public testing::WithParamInterface<IoCase> {};

TEST_P(WriteBinaryIoTest, ReportsTheFileAndChangesNothing) {
  const IoCase& c = GetParam();
  fs::create_directory("sub");
  Put("sub/keep", kOldContent);
  const Result<Unit, WriteBinaryError> result = WriteBinary(u"1A", c.box);
  ASSERT_FALSE(result.ok());
  ASSERT_TRUE(std::holds_alternative<IoError>(result.error()));
  const IoError& error = std::get<IoError>(result.error());
  EXPECT_EQ(c.code, error.code) << DescribeIoError(error);
  EXPECT_EQ(EncodeUtf8(OutputNameFromBox(c.box)), error.path);
  EXPECT_EQ(std::vector<std::string>{"sub"}, Entries());
  EXPECT_EQ(std::vector<std::string>{"keep"}, [&] {
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(dir_ / "sub")) {
      names.push_back(e.path().filename().string());
    }
    return names;
  }());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteBinaryIoTest,
    testing::Values(IoCase{"MissingDirectory", u"nodir/out.bin", IoErrorCode::kNotFound},
                    IoCase{"DirectoryAsName", u" sub ", IoErrorCode::kIsDirectory},
                    IoCase{"FileAsDirectory", u"sub/keep/out.bin", IoErrorCode::kNotFound}),
    [](const testing::TestParamInfo<IoCase>& p) { return std::string(p.param.name); });

// ---------------------------------------------------------------------------

enum class Step { kCreate, kWrite, kFlush, kClose, kRename };

// The real file system, except that one step fails with the given errno.
class FailingFileOps final : public FileOps {
 public:
  FailingFileOps(Step step, int error) : step_(step), error_(error) {}

  int CreateExclusive(const std::string& path, int& fd) override {
    return step_ == Step::kCreate ? error_ : real_.CreateExclusive(path, fd);
  }
  int Write(int fd, const std::uint8_t* data, std::size_t size) override {
    return step_ == Step::kWrite ? error_ : real_.Write(fd, data, size);
  }
  int Flush(int fd) override { return step_ == Step::kFlush ? error_ : real_.Flush(fd); }
  int Close(int fd) override {
    const int result = real_.Close(fd);  // the descriptor is gone either way
    return step_ == Step::kClose ? error_ : result;
  }
  int Rename(const std::string& from, const std::string& to) override {
    return step_ == Step::kRename ? error_ : real_.Rename(from, to);
  }
  int Remove(const std::string& path) override { return real_.Remove(path); }

 private:
  FileOps& real_ = SystemFileOps();
  Step step_;
  int error_;
};

struct FaultCase {
  const char* name;
  Step step;
  int error;
  IoErrorCode code;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class WriteBinaryFaultTest : public WriteBinaryTest,
                             public testing::WithParamInterface<FaultCase> {};

TEST_P(WriteBinaryFaultTest, OldFileSurvivesAndNoTempFileIsLeft) {
  const FaultCase& c = GetParam();
  Put("out.bin", kOldContent);
  FailingFileOps ops(c.step, c.error);
  for (const std::u16string_view box : {u"out.bin", u"fresh.bin"}) {
    const Result<Unit, WriteBinaryError> result = WriteBinary(u"1A 2B 3C", box, ops);
    ASSERT_FALSE(result.ok());
    ASSERT_TRUE(std::holds_alternative<IoError>(result.error()));
    const IoError& error = std::get<IoError>(result.error());
    EXPECT_EQ(c.code, error.code) << DescribeIoError(error);
    EXPECT_EQ(c.error, error.system_error);
    EXPECT_EQ(EncodeUtf8(box), error.path);
    EXPECT_EQ(Hex(kOldContent), Hex(Get("out.bin")));
    EXPECT_EQ(std::vector<std::string>{"out.bin"}, Entries());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteBinaryFaultTest,
    testing::Values(FaultCase{"Create", Step::kCreate, EACCES, IoErrorCode::kPermissionDenied},
                    FaultCase{"Write", Step::kWrite, ENOSPC, IoErrorCode::kDiskFull},
                    FaultCase{"Flush", Step::kFlush, EIO, IoErrorCode::kOther},
                    FaultCase{"Close", Step::kClose, EIO, IoErrorCode::kOther},
                    FaultCase{"Rename", Step::kRename, EXDEV, IoErrorCode::kOther}),
    [](const testing::TestParamInfo<FaultCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace binconv
