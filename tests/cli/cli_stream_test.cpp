// binconv-cli on texts of several reads: convert and encode take runs of
// plain characters straight from the UTF-8 bytes, and must give exactly the
// listing of the core, and what convert followed by write gives, with the
// same verdicts and places of a bad sequence.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "chartable/encoding.h"
#include "chartable/load.h"
#include "codec/convert.h"
#include "runtime/utf8.h"
#include "support/cli_runner.h"
#include "support/gtest_support.h"

namespace binconv {
namespace {

using namespace binconv::test;

struct Text {
  bool crlf = false;
  bool bom = false;
  bool tags = false;         // tags of raw codes and spaces between the characters
  bool no_code = false;      // one character without a code near the end
  std::size_t bad_utf8 = 0;  // nonzero: a stray continuation byte at about this offset
};

struct Case {
  const char* name;
  Text text;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// About 400 KB: several reads, with characters split across their borders.
std::string MakeText(const Text& shape, unsigned seed, std::size_t* bad_offset) {
  const CharTable& table = DefaultTables();
  std::u16string chars;
  for (int p = 0; p < kPages; ++p) {
    for (int r = 0; r < kRows; ++r) {
      for (int c = 0; c < kColumns; ++c) {
        const std::u16string& cell = table.Cell(p, r, c);
        // Tag marks and spaces are added on purpose below.
        if (cell.size() == 1 && cell != u"<" && cell != u"\uFF1C") chars += cell;
      }
    }
  }
  std::mt19937 rng(seed);
  std::uniform_int_distribution<std::size_t> pick(0, chars.size() - 1);
  std::uniform_int_distribution<int> line_length(10, 60);
  std::uniform_int_distribution<int> percent(0, 99);
  std::u16string text = shape.bom ? u"\uFEFF" : u"";
  while (text.size() < 140000) {
    for (int n = line_length(rng); n > 0; --n) {
      if (shape.tags && percent(rng) < 3) {
        text += percent(rng) < 50 ? u"<0C01>" : u"\u3000 <ff>";
      } else {
        text += chars[pick(rng)];
      }
    }
    text += shape.crlf ? u"\r\n" : u"\n";
  }
  if (shape.no_code) text.insert(text.size() - 100, u"\u5F41");
  std::string bytes = EncodeUtf8(text);
  if (shape.bad_utf8 != 0) {
    std::size_t at = shape.bad_utf8;
    while ((static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80) ++at;
    bytes.insert(at, "\x80");
    *bad_offset = at;
  }
  return bytes;
}

// "LINE:COLUMN" of the byte at `offset`, counted in the text decoded before
// it: lines end at CR LF, a lone CR or a lone LF; a column is a character.
std::string PlaceIn(const std::string& bytes, std::size_t offset) {
  std::u16string text = DecodeUtf8(bytes.substr(0, offset)).value();
  if (!text.empty() && text.front() == u'\uFEFF') text.erase(0, 1);
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      ++line;
      column = 1;
    } else if (text[i] < 0xDC00 || text[i] > 0xDFFF) {
      ++column;
    }
  }
  return std::to_string(line) + ":" + std::to_string(column);
}

class CliStreamTest : public testing::TestWithParam<Case> {
 protected:
  Scratch scratch_;
  const fs::path dir_ = scratch_.work();
};

TEST_P(CliStreamTest, EncodeMatchesConvertThenWrite) {
  const Text& shape = GetParam().text;
  for (unsigned seed = 1; seed <= 2; ++seed) {
    std::size_t bad_offset = 0;
    const fs::path input = dir_ / "input.txt";
    WriteAll(input, MakeText(shape, seed, &bad_offset));
    const std::string tables = DefaultTablesDir().string();

    const Outcome encode_run =
        RunCli(scratch_, {"encode", "--tables", tables, "-o", "encoded.bin", "input.txt"});
    const Outcome convert_run =
        RunCli(scratch_, {"convert", "--tables", tables, "-o", "listing.txt", "input.txt"});
    const int encoded = encode_run.exit_code;
    const int converted = convert_run.exit_code;
    const std::string& encode_err = encode_run.err;
    SCOPED_TRACE("seed " + std::to_string(seed) + ", encode said: " + encode_err.substr(0, 300));

    if (shape.bad_utf8 != 0) {
      EXPECT_EQ(1, encoded);
      EXPECT_EQ(1, converted);
      const std::string expected = "input.txt:" + PlaceIn(ReadAll(input), bad_offset) +
                                   ": not valid UTF-8";
      EXPECT_NE(std::string::npos, encode_err.find(expected));
      EXPECT_EQ(convert_run.err, encode_err);
      EXPECT_FALSE(fs::exists(dir_ / "encoded.bin"));
      continue;
    }
    // A character without a code is told by convert too, with the listing written.
    ASSERT_EQ(shape.no_code ? 1 : 0, converted) << convert_run.err.substr(0, 300);
    {
      // The listing of the text as the core makes it, every line break counting.
      std::u16string text = DecodeUtf8(ReadAll(input)).value();
      if (!text.empty() && text.front() == u'\uFEFF') text.erase(0, 1);
      const std::string expected =
          EncodeUtf8(ConvertToCode(text, GameTableOf(DefaultTables()), LineBreaks::kAny));
      const std::string actual = ReadAll(dir_ / "listing.txt");
      ASSERT_EQ(expected.size(), actual.size());
      EXPECT_TRUE(expected == actual) << "the listings differ";
    }
    const int written = RunCli(scratch_, {"write", "-o", "written.bin", "listing.txt"}).exit_code;
    if (shape.no_code) {
      EXPECT_EQ(1, encoded);
      EXPECT_EQ(1, written);
      EXPECT_NE(std::string::npos, encode_err.find("U+5F41"));
      EXPECT_NE(std::string::npos, convert_run.err.find("U+5F41"));
      EXPECT_FALSE(fs::exists(dir_ / "encoded.bin"));
      continue;
    }
    ASSERT_EQ(0, encoded);
    ASSERT_EQ(0, written);
    const std::string expected = ReadAll(dir_ / "written.bin");
    const std::string actual = ReadAll(dir_ / "encoded.bin");
    EXPECT_GT(actual.size(), 100000u);
    // Compared without printing: the files are large.
    ASSERT_EQ(expected.size(), actual.size());
    EXPECT_TRUE(expected == actual) << "the bytes differ";
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, CliStreamTest,
                         testing::Values(Case{"Lf", {}}, Case{"CrLf", {.crlf = true}},
                                         Case{"ByteOrderMark", {.bom = true}},
                                         Case{"TagsAndSpaces", {.crlf = true, .tags = true}},
                                         Case{"NoCodeNearTheEnd", {.no_code = true}},
                                         Case{"BadUtf8AfterSeveralReads", {.bad_utf8 = 300001}},
                                         Case{"BadUtf8InTheSecondRead",
                                              {.crlf = true, .bad_utf8 = 65540}}),
                         CaseName<Case>);

}  // namespace
}  // namespace binconv
