// Table files as strangers on forums write them: NUL bytes, huge lines, a
// character cut off at the end, old Mac line ends, nothing but comments,
// random noise. Each loads with a known result or stops with a typed error
// that names a line inside the file.

#include <functional>
#include <random>
#include <string>

#include "chartable/load.h"
#include "messages/messages.h"
#include "support/bytes.h"
#include "support/cli_runner.h"
#include "support/gtest_support.h"

namespace binconv::hostile {
namespace {

using namespace binconv::test;

using namespace std::string_view_literals;

// Bytes of a data line: a label and 16 ASCII cells, "0" to "f" by default.
std::string Row(std::string_view label = "r", std::string_view cells = "0123456789abcdef") {
  std::string line(label);
  for (const char c : cells) (line += ',') += c;
  return line;
}

std::string Rows(int count, std::string_view end = "\r\n") {
  std::string text;
  for (int i = 0; i < count; ++i) (text += Row()) += end;
  return text;
}

std::size_t LinesIn(std::string_view bytes) {
  std::size_t lines = 0;
  for (std::size_t i = 0; i < bytes.size(); ++lines) {
    while (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n') ++i;
    if (i < bytes.size()) i += bytes.substr(i, 2) == "\r\n" ? 2 : 1;
  }
  return lines;
}

using Loaded = Result<CharTable, Problem>;

struct TableCase {
  const char* name;
  std::function<std::string()> main;
  std::function<std::string()> extended;
  std::function<void(const Loaded&, const std::string& main, const std::string& extended)> check;
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

std::string Describe(const Loaded& loaded) {
  return loaded ? std::string("loaded")
                : messages::Message(messages::Language::kEnglish, loaded.error());
}

auto Default() {
  return [] { return std::string(); };
}

// A typed error on `line` of the file `file` (0: main, 1: extended).
auto FailsAt(ProblemCode code, std::size_t line, int file = 0) {
  return [=](const Loaded& loaded, const std::string&, const std::string&) {
    ASSERT_FALSE(loaded.has_value()) << "expected an error on line " << line;
    EXPECT_EQ(loaded.error().code, code) << Describe(loaded);
    EXPECT_EQ(loaded.error().line, line) << Describe(loaded);
    EXPECT_TRUE(loaded.error().file.ends_with(file == 0 ? kMainTableFile : kExtendedTableFile))
        << Describe(loaded);
  };
}

const std::u16string& CellOf(const Loaded& loaded, int page, int row, int column) {
  return loaded.value().Cell(page, row, column);
}

class HostileTableTest : public testing::TestWithParam<TableCase> {};

TEST_P(HostileTableTest, LoadsOrNamesTheLine) {
  const TableCase& c = GetParam();
  Scratch scratch;
  const std::string main = c.main();
  const std::string extended = c.extended();
  WriteAll(scratch.work() / kMainTableFile, main);
  WriteAll(scratch.work() / kExtendedTableFile, extended);
  const Loaded loaded = LoadCharTables(scratch.work());
  if (!loaded) {
    // Whatever the case expects, the error must name a line of its file.
    const std::string& bytes = loaded.error().file.ends_with(kMainTableFile) ? main : extended;
    EXPECT_GE(loaded.error().line, 1u) << Describe(loaded);
    EXPECT_LE(loaded.error().line, LinesIn(bytes)) << Describe(loaded);
  }
  c.check(loaded, main, extended);
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostileTableTest,
    testing::Values(
        TableCase{
            "NulBytesAreCharacters",
            [] { return std::string("/\0 comment\r\n", 12) + Row("\0"sv, "\0bcdefghijklmnop"sv); },
            Default(),
            [](const Loaded& loaded, const std::string&, const std::string&) {
              ASSERT_TRUE(loaded.has_value()) << Describe(loaded);
              EXPECT_EQ(CellOf(loaded, 0, 0, 0), std::u16string(1, u'\0'));
              EXPECT_EQ(loaded.value().Find(u'\0'), (CellCode{0, 0, 0}));
              EXPECT_EQ(CellOf(loaded, 0, 0, 15), u"p");
            }},
        TableCase{"LineOfNulsIsOneField", [] { return Rows(2) + std::string(40, '\0') + "\r\n"; },
                  Default(),
                  [](const Loaded& loaded, const std::string& m, const std::string& e) {
                    FailsAt(ProblemCode::kTableFewFields, 3)(loaded, m, e);
                    EXPECT_EQ(loaded.error().number, 1u);
                  }},
        TableCase{"MegabyteCell",
                  [] {
                    return Rows(1) + "r,a,b," + std::string(1 << 20, 'x') +
                           ",d,e,f,g,h,i,j,k,l,m,n,o,p";
                  },
                  Default(),
                  [](const Loaded& loaded, const std::string&, const std::string&) {
                    ASSERT_TRUE(loaded.has_value()) << Describe(loaded);
                    EXPECT_EQ(CellOf(loaded, 0, 1, 2).size(), std::size_t{1} << 20);
                    EXPECT_FALSE(loaded.value().Find(u'x').has_value());
                    EXPECT_EQ(CellOf(loaded, 0, 1, 15), u"p");
                  }},
        TableCase{"MegabyteLineWithoutCommas",
                  [] {
                    std::string kana;
                    while (kana.size() < (1 << 20)) kana += "\x82\xA0";  // hiragana a
                    return "/ header\r\n" + kana + "\r\n" + Row();
                  },
                  Default(),
                  [](const Loaded& loaded, const std::string& m, const std::string& e) {
                    FailsAt(ProblemCode::kTableFewFields, 2)(loaded, m, e);
                    EXPECT_EQ(loaded.error().number, 1u);
                  }},
        TableCase{"HundredThousandFields",
                  [] {
                    std::string line = "label";
                    for (int i = 0; i < 100000; ++i) line += "," + std::to_string(i % 10);
                    return line + "\r\n" + Row();
                  },
                  Default(),
                  [](const Loaded& loaded, const std::string&, const std::string&) {
                    ASSERT_TRUE(loaded.has_value()) << Describe(loaded);
                    EXPECT_EQ(CellOf(loaded, 0, 0, 0), u"0");
                    EXPECT_EQ(CellOf(loaded, 0, 0, 15), u"5");
                    EXPECT_EQ(CellOf(loaded, 0, 1, 15), u"f");
                    EXPECT_EQ(loaded.value().Find(u'9'), (CellCode{0, 0, 9}));
                  }},
        TableCase{"HundredThousandFullWidthCommas",
                  [] {
                    std::string line = "label";
                    for (int i = 0; i < 100000; ++i) line += "\x81\x43z";  // U+FF0C then z
                    return line;
                  },
                  Default(),
                  [](const Loaded& loaded, const std::string&, const std::string&) {
                    ASSERT_TRUE(loaded.has_value()) << Describe(loaded);
                    EXPECT_EQ(CellOf(loaded, 0, 0, 7), u"z");
                  }},
        TableCase{"DoubleByteCutAtTheEnd", [] { return Row("r", "0123456789abcde") + ",\x82"; },
                  Default(),
                  [](const Loaded& loaded, const std::string&, const std::string&) {
                    ASSERT_TRUE(loaded.has_value()) << Describe(loaded);
                    // Windows gives its default character for the stray lead byte.
                    EXPECT_EQ(CellOf(loaded, 0, 0, 15), u"\u30FB");
                  }},
        TableCase{"DoubleByteCutBeforeALineEnd",
                  [] { return Row("r", "0123456789abcde") + ",\x82\r\n" + Row(); }, Default(),
                  [](const Loaded& loaded, const std::string&, const std::string&) {
                    ASSERT_TRUE(loaded.has_value()) << Describe(loaded);
                    EXPECT_EQ(CellOf(loaded, 0, 0, 15), u"\u30FB");
                    EXPECT_EQ(CellOf(loaded, 0, 1, 15), u"f");
                  }},
        TableCase{"DoubleByteCutInTheExtendedFile", Default(), [] { return Row() + "\r\n\x9F"; },
                  [](const Loaded& loaded, const std::string& m, const std::string& e) {
                    FailsAt(ProblemCode::kTableFewFields, 2, 1)(loaded, m, e);
                  }},
        TableCase{
            "CrWithoutLf",
            [] { return "/ comment\r" + Rows(3, "\r") + "\r  \r" + Row("r", "ABCDEFGHIJKLMNOP"); },
            Default(),
            [](const Loaded& loaded, const std::string&, const std::string&) {
              ASSERT_TRUE(loaded.has_value()) << Describe(loaded);
              EXPECT_EQ(CellOf(loaded, 0, 2, 15), u"f");
              EXPECT_EQ(CellOf(loaded, 0, 3, 0), u"A");
              EXPECT_EQ(loaded.value().Origin(0, 3, 0).line, 7u);
              EXPECT_TRUE(CellOf(loaded, 0, 4, 0).empty());
            }},
        TableCase{"CrWithoutLfErrorLine", [] { return Rows(4, "\r") + "short,line\r" + Rows(1); },
                  Default(), FailsAt(ProblemCode::kTableFewFields, 5)},
        TableCase{"OnlyComments",
                  [] { return std::string("/ one\r\n\x81\x5E two\r\n   \r\n\r\n/"); },
                  [] { return std::string("/ only a comment, without a line end"); },
                  [](const Loaded& loaded, const std::string&, const std::string&) {
                    ASSERT_TRUE(loaded.has_value()) << Describe(loaded);
                    for (int page = 0; page < kPages; ++page) {
                      EXPECT_TRUE(CellOf(loaded, page, 0, 0).empty()) << "page " << page;
                    }
                  }},
        TableCase{"EmptyFiles", Default(), Default(),
                  [](const Loaded& loaded, const std::string&, const std::string&) {
                    EXPECT_TRUE(loaded.has_value()) << Describe(loaded);
                  }},
        TableCase{"CommentsPastTheLastRowAreHarmless",
                  [] { return Rows(96) + "/ trailing\r\n  \r\n"; }, Default(),
                  [](const Loaded& loaded, const std::string&, const std::string&) {
                    EXPECT_TRUE(loaded.has_value()) << Describe(loaded);
                  }},
        TableCase{"TenMegabytesOfRandomBytes", [] { return RandomBytes(10 << 20, 1); }, Default(),
                  [](const Loaded& loaded, const std::string&, const std::string&) {
                    ASSERT_FALSE(loaded.has_value());
                    EXPECT_EQ(loaded.error().code, ProblemCode::kTableFewFields)
                        << Describe(loaded);
                  }},
        TableCase{"TenMegabytesOfRandomBytesAsUtf8",
                  [] { return "\xEF\xBB\xBF" + RandomBytes(10 << 20, 2); }, Default(),
                  [](const Loaded& loaded, const std::string&, const std::string&) {
                    ASSERT_FALSE(loaded.has_value());
                    EXPECT_EQ(loaded.error().code, ProblemCode::kTableBadUtf8Marked)
                        << Describe(loaded);
                    EXPECT_GE(loaded.error().column, 1u);
                  }},
        TableCase{"TenMegabytesOfRandomBytesInTheExtendedFile", Default(),
                  [] { return RandomBytes(10 << 20, 3); },
                  [](const Loaded& loaded, const std::string&, const std::string&) {
                    ASSERT_FALSE(loaded.has_value());
                    EXPECT_TRUE(loaded.error().file.ends_with(kExtendedTableFile))
                        << Describe(loaded);
                  }},
        TableCase{"RandomBytesWithEnoughCommas",
                  [] {
                    // Noise in which commas and line ends are common enough to
                    // make data lines, and far too many of them.
                    std::string noise = RandomBytes(1 << 20, 4);
                    std::mt19937 rng(5);
                    for (char& b : noise) {
                      const unsigned r = rng() % 256;
                      if (r < 64) b = ',';
                      if (r == 64) b = '\n';
                    }
                    return noise;
                  },
                  Default(),
                  [](const Loaded& loaded, const std::string&, const std::string&) {
                    ASSERT_FALSE(loaded.has_value());
                    EXPECT_TRUE(loaded.error().code == ProblemCode::kTableFewFields ||
                                loaded.error().code == ProblemCode::kTableManyLines)
                        << Describe(loaded);
                  }}),
    CaseName<TableCase>);

TEST(HostileTableFileTest, DirectoryInPlaceOfATable) {
  Scratch scratch;
  fs::remove(scratch.work() / kExtendedTableFile);
  fs::create_directory(scratch.work() / kExtendedTableFile);
  const Loaded loaded = LoadCharTables(scratch.work());
  ASSERT_FALSE(loaded.has_value());
  EXPECT_EQ(loaded.error().code, ProblemCode::kTableUnreadable);
  EXPECT_NE(
      messages::Message(messages::Language::kEnglish, loaded.error()).find(kExtendedTableFile),
      std::string::npos)
      << messages::Message(messages::Language::kEnglish, loaded.error());
  EXPECT_NE(messages::Message(messages::Language::kEnglish, loaded.error()).find("Is a directory"),
            std::string::npos);
}

// Ten megabytes of "a," on one line: loading keeps only the pieces it stores.
TEST(HostileTableFileTest, TenMegabyteLineInBoundedMemory) {
  Scratch scratch;
  WriteAll(scratch.work() / kMainTableFile, "L" + Repeat(",a", 5'000'000) + "\r\n" + Rows(1));
  const Outcome outcome = RunCli(scratch, {"check-tables", "--tables", "."});
  EXPECT_NE(outcome.exit_code, 2) << outcome;
  EXPECT_NE(outcome.out.find("'a' (U+0061) at 00, 01,"), std::string::npos) << outcome.out;
  RecordProperty("max_rss_kb", std::to_string(outcome.max_rss_kb));
  // The file and its UTF-16 text take 30 MB; keeping every piece took 164 MB.
  // Counted past what the program takes at start, which a sanitizer makes
  // larger (near 58 MB).
  EXPECT_LT(outcome.max_rss_kb - StartRssKb(), 96 * 1024)
      << "peak memory grows with the pieces of a line";
}

}  // namespace
}  // namespace binconv::hostile
