#include "codec/write.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "messages/messages.h"
#include "runtime/utf8.h"
#include "support/bytes.h"
#include "support/faulty_file_ops.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace binconv {
namespace {

// The error as the CLI words it.
std::string EnglishOf(const IoError& error) {
  return messages::Message(messages::Language::kEnglish, error);
}

using test::Hex;

namespace fs = std::filesystem;

const std::string kOldContent("OLD\0\xFF", 5);

// Each test runs in a fresh directory of its own, which is also the current
// directory, as the name box's names are relative to it.
class WriteBinaryTest : public testing::Test {
 protected:
  void SetUp() override { fs::current_path(dir_); }
  void TearDown() override { fs::current_path(old_cwd_); }

  static void Put(const fs::path& path, const std::string& content) {
    test::WriteAll(path, content);
  }
  static std::string Get(const fs::path& path) { return test::ReadAll(path); }
  // Every entry, hidden temporary files included.
  std::set<std::string> Entries(const fs::path& sub = {}) const { return scratch_.Names(sub); }

  test::ScratchDir scratch_;
  const fs::path dir_ = scratch_.path();
  const fs::path old_cwd_ = fs::current_path();
};

// Bytes the file should hold, or the error that must leave every file alone.
struct ListingCase {
  const char* name;
  std::u16string listing;
  std::string bytes;
  std::optional<ProblemCode> error = std::nullopt;
};

void PrintTo(const ListingCase& c, std::ostream* os) { *os << c.name; }

class WriteBinaryListingTest : public WriteBinaryTest,
                               public testing::WithParamInterface<ListingCase> {};

TEST_P(WriteBinaryListingTest, ReplacesOrLeavesOldFile) {
  const ListingCase& c = GetParam();
  for (const std::u16string_view box : {u"  out.bin ", u"", u"new.bin"}) {
    Put("out.bin", kOldContent);
    const std::string name = EncodeUtf8(OutputNameFromBox(box));
    const Result<Unit, WriteBinaryError> result = WriteBinary(c.listing, box);
    if (c.error) {
      ASSERT_FALSE(result.has_value());
      ASSERT_TRUE(std::holds_alternative<Problem>(result.error()));
      EXPECT_EQ(*c.error, std::get<Problem>(result.error()).code);
      EXPECT_EQ(Hex(kOldContent), Hex(Get("out.bin")));
      EXPECT_EQ(std::set<std::string>{"out.bin"}, Entries());
      continue;
    }
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(Hex(c.bytes), Hex(Get(name)));
    EXPECT_EQ((std::set<std::string>{"out.bin", name}), Entries());
    fs::remove(name);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteBinaryListingTest,
    testing::Values(
        ListingCase{"Empty", u"", ""}, ListingCase{"SeparatorsOnly", u" \r\n\u3000", ""},
        ListingCase{"TwoPairs", u"1a 2B", "\x1A\x2B"},
        ListingCase{"BreakInsidePair", u"1\r\nA", "\x1A"},
        ListingCase{"ConvertedListing", u"1A 24\r\n21 34 50 0C01 ", "\x1A\x24\x21\x34\x50\x0C\x01"},
        ListingCase{"OddCount", u"1A 2", "", ProblemCode::kListingOddCount},
        ListingCase{"OddCountWithTab", u"1\t2", "", ProblemCode::kListingOddCount},
        ListingCase{"NotHex", u"1A 2G", "", ProblemCode::kListingNotHex},
        ListingCase{"Tab", u"1\t", "", ProblemCode::kListingNotHex},
        ListingCase{"PassedThroughChar", u"1A \u304B 2", "", ProblemCode::kListingNotHex},
        ListingCase{"LineBreakMarkFromTag", u"12\u9C2F3", "", ProblemCode::kListingNotHex},
        // Far past the first bytes: nothing may have been written yet.
        ListingCase{"BadCharLate", std::u16string(300000, u'5') + u"zz", "",
                    ProblemCode::kListingNotHex}),
    [](const testing::TestParamInfo<ListingCase>& p) { return std::string(p.param.name); });

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
  Put("a.bin", kOldContent);  // matches the wildcard name, which must not expand
  EXPECT_EQ(EncodeUtf8(c.file), EncodeUtf8(OutputNameFromBox(c.box)));
  ASSERT_TRUE(WriteBinary(u"C3", c.box).has_value());
  EXPECT_EQ("\xC3", Get(PathFromUtf8(EncodeUtf8(c.file))));
  EXPECT_EQ(Hex(kOldContent), Hex(Get("a.bin")));
  EXPECT_EQ((std::set<std::string>{"a.bin", EncodeUtf8(c.file)}), Entries());
}

// Windows refuses * and ? in a name (see the failures below), so there the
// name holds brackets, which a shell's pattern matching would expand as well.
#ifdef _WIN32
constexpr char16_t kWildcardName[] = u"[ab].bin";
#else
constexpr char16_t kWildcardName[] = u"*.bin";
#endif

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteBinaryNameTest,
    testing::Values(NameCase{"Trimmed", u"  out.bin  ", u"out.bin"},
                    NameCase{"SpacesOnly", u"   ", u"temp.bin"},
                    NameCase{"EmptyBox", u"", u"temp.bin"},
                    NameCase{"InnerSpacesKept", u" a b.bin ", u"a b.bin"},
                    NameCase{"IdeographicSpaceKept", u"\u3000x.bin", u"\u3000x.bin"},
                    NameCase{"Japanese", u"出力.bin", u"出力.bin"},
                    // Windows refuses wildcards in names; see the failures below.
                    NameCase{"WildcardsLiteral", kWildcardName, kWildcardName}),
    [](const testing::TestParamInfo<NameCase>& p) { return std::string(p.param.name); });

// ---------------------------------------------------------------------------

using Step = test::FileCall;

struct FailureCase {
  const char* name;
  std::u16string box;
  IoErrorCode code;
  Step step = Step::kNone;
  int error = 0;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class WriteBinaryFailureTest : public WriteBinaryTest,
                               public testing::WithParamInterface<FailureCase> {};

TEST_P(WriteBinaryFailureTest, NamesTheFileAndChangesNothing) {
  const FailureCase& c = GetParam();
  Put("out.bin", kOldContent);
  fs::create_directory("sub");
  Put("sub/keep", kOldContent);
  test::FaultyFileOps ops(c.step, 0, c.error);
  const Result<Unit, WriteBinaryError> result = WriteBinary(u"1A 2B 3C", c.box, ops);
  ASSERT_FALSE(result.has_value());
  ASSERT_TRUE(std::holds_alternative<IoError>(result.error()));
  const IoError& error = std::get<IoError>(result.error());
  EXPECT_EQ(c.code, error.code) << EnglishOf(error);
  if (c.step != Step::kNone) {
    EXPECT_EQ(c.error, error.system_error);
  }
  EXPECT_EQ(EncodeUtf8(OutputNameFromBox(c.box)), error.path);
  EXPECT_EQ(Hex(kOldContent), Hex(Get("out.bin")));
  EXPECT_EQ((std::set<std::string>{"out.bin", "sub"}), Entries());
  EXPECT_EQ(std::set<std::string>{"keep"}, Entries("sub"));
}

const FailureCase kFailureCases[] = {

    FailureCase{"MissingDirectory", u"nodir/out.bin", IoErrorCode::kNotFound},
    FailureCase{"DirectoryAsName", u" sub ", IoErrorCode::kIsDirectory},
    FailureCase{"FileAsDirectory", u"sub/keep/out.bin", IoErrorCode::kNotFound},
    FailureCase{"Create", u"out.bin", IoErrorCode::kPermissionDenied, Step::kCreate,
                test::kErrAccess},
    FailureCase{"Write", u"out.bin", IoErrorCode::kDiskFull, Step::kWrite, test::kErrDiskFull},
    FailureCase{"Flush", u"out.bin", IoErrorCode::kOther, Step::kFlush, test::kErrIo},
    FailureCase{"Close", u"out.bin", IoErrorCode::kOther, Step::kClose, test::kErrIo},
    FailureCase{"Rename", u"out.bin", IoErrorCode::kOther, Step::kRename, test::kErrCrossDevice},
    FailureCase{"RenameNewName", u"fresh.bin", IoErrorCode::kOther, Step::kRename,
                test::kErrCrossDevice},
#ifdef _WIN32
    // Names Windows forbids, refused before anything is created.
    FailureCase{"Wildcard", u"*.bin", IoErrorCode::kInvalidName},
    FailureCase{"Colon", u"out.bin:stream", IoErrorCode::kInvalidName},
    FailureCase{"TrailingDot", u"out.bin.", IoErrorCode::kInvalidName},
    FailureCase{"TrailingSpaceInFolder", u"sub /out.bin", IoErrorCode::kInvalidName},
    FailureCase{"Device", u"CON", IoErrorCode::kReservedName},
    FailureCase{"DeviceAnyCase", u"nul.bin", IoErrorCode::kReservedName},
    FailureCase{"DeviceWithExtension", u"Com1.txt", IoErrorCode::kReservedName},
    FailureCase{"DeviceBeforeSpaceAndDot", u"lpt9 .bin", IoErrorCode::kReservedName},
    FailureCase{"DeviceAsFolder", u"aux/out.bin", IoErrorCode::kReservedName},
#endif
};

INSTANTIATE_TEST_SUITE_P(Cases, WriteBinaryFailureTest, testing::ValuesIn(kFailureCases),
                         [](const testing::TestParamInfo<FailureCase>& p) {
                           return std::string(p.param.name);
                         });

}  // namespace
}  // namespace binconv
