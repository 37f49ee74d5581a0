// Texts found by what the codes show, whatever bytes their neighbours chose,
// fed through reads of every small size so that chunk borders fall
// everywhere; and, where each text has one spelling, the same places as its
// bytes alone.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

#include "chartable/tbl.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"
#include "scan/text_search.h"
#include "support/scan_input.h"

namespace binconv {
namespace {

using test::kScanChunks;
using test::ReaderOf;

using Found = std::vector<std::tuple<std::uint64_t, std::size_t, bool>>;

Found Search(const TextSearch& search, const std::vector<std::uint8_t>& data, std::size_t chunk,
             bool decode_always) {
  Found got;
  const auto scanned = SearchTexts(
      ReaderOf(data, chunk, 7), search, chunk,
      [&](const ByteMatch& m) {
        got.emplace_back(m.offset, m.pattern, m.after_lead);
        return true;
      },
      {}, decode_always);
  EXPECT_TRUE(scanned.has_value());
  return got;
}

// DTE codes beside single letters, one text twice, an alias, a control and
// an end token.
constexpr std::string_view kDteTbl =
    "61=t\n62=h\n63=e\n64=r\n65=o\n66= \n"
    "A0=th\nA1=e \nA2=he\nA3=ro\nA4= t\n"
    "27=’\n28=’\n30=x\n30=X\n*24\n$FE=<w>,1\n/00=<end>\nA5=qu\n";

struct DteCase {
  std::string name;
  std::vector<std::string> texts;
  std::vector<std::uint8_t> bytes;
  std::vector<std::pair<std::uint64_t, std::size_t>> found;  // offset, text
};

class TextSearchDteTest : public testing::TestWithParam<DteCase> {};

TEST_P(TextSearchDteTest, FindsEveryOffsetWhoseCodesShowTheText) {
  const DteCase& c = GetParam();
  const GameTable table = ParseGameTable(kDteTbl, "dte.tbl").value();
  const auto search = TextSearch::Of(table, LineBreaks::kAny, c.texts);
  ASSERT_TRUE(search.has_value());
  EXPECT_FALSE(search->one_spelling());
  for (const std::size_t chunk : kScanChunks) {
    std::vector<std::pair<std::uint64_t, std::size_t>> got;
    for (const auto& [offset, text, after_lead] : Search(*search, c.bytes, chunk, false)) {
      got.emplace_back(offset, text);
    }
    EXPECT_EQ(c.found, got) << "chunk " << chunk;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextSearchDteTest,
    testing::Values(
        // th|e |h|e|ro, t|he| |h|e|ro, and a stray "the he" cut short.
        DteCase{"AcrossDteBoundaries",
                {"the hero"},
                {0xA0, 0xA1, 0x62, 0x63, 0xA3, 0x61, 0xA2, 0x66, 0x62, 0x63, 0xA3, 0xA0, 0xA1, 0xA2},
                {{0, 0}, {5, 0}}},
        // " t" then "he": found at the code that holds its first letter.
        DteCase{"StartsAndEndsInsideCodes", {"the", "e  th"}, {0xA1, 0xA4, 0xA2}, {{0, 1}, {1, 0}}},
        DteCase{"InsideOneCode", {"h", "th"}, {0x61, 0xA0, 0x62}, {{1, 0}, {1, 1}, {2, 0}}},
        // No code has "q" or "u" alone.
        DteCase{"OnlyInsideOneCode", {"q", "uo"}, {0xA5, 0x65, 0xA5}, {{0, 0}, {0, 1}, {2, 0}}},
        DteCase{"TwoCodesForOneText", {"’x"}, {0x27, 0x30, 0x28, 0x30, 0x28}, {{0, 0}, {2, 0}}},
        DteCase{"Alias", {"X", "x"}, {0x30, 0x61, 0x30}, {{0, 0}, {0, 1}, {2, 0}, {2, 1}}},
        // A tag is its bytes, and no code's text runs into it.
        DteCase{"Tags",
                {"e<w><05>th", "h<FE05>", "<A0>e"},
                {0xA2, 0xFE, 0x05, 0xA0, 0x63, 0x61, 0x62, 0x63},
                {{0, 0}, {3, 2}}},
        DteCase{"LineBreak", {"e\nt"}, {0xA1, 0x63, 0x24, 0x61, 0x63, 0x24, 0xA0}, {{1, 0}, {4, 0}}},
        // A match is as long as the codes it takes: bytes that start in the
        // middle of one are read from there.
        DteCase{"EveryOffsetStarts", {"rot"}, {0xA3, 0xA0, 0x64, 0x65, 0x61}, {{0, 0}, {2, 0}}}),
    [](const testing::TestParamInfo<DteCase>& p) { return p.param.name; });

// A table where each text has one spelling: single characters of one or two
// bytes, no code's bytes beginning another's, an alias or two.
GameTable OneSpellingTable(std::mt19937& rng, std::vector<GameCode>& codes) {
  codes.clear();
  std::vector<GameTextAlias> aliases;
  std::vector<std::uint8_t> firsts(256);
  for (std::size_t b = 0; b < 256; ++b) firsts[b] = static_cast<std::uint8_t>(b);
  std::shuffle(firsts.begin(), firsts.end(), rng);
  char16_t letter = u'a';
  for (std::size_t i = 0; i < 6; ++i) {
    GameCode code;
    code.bytes = {firsts[i]};
    code.text = std::u16string(1, letter++);
    if (i == 5) code.kind = GameCodeKind::kLineBreak, code.text.clear();
    codes.push_back(code);
  }
  for (std::size_t lead = 6; lead < 8; ++lead) {
    for (std::size_t j = 0; j < 3; ++j) {
      codes.push_back(GameCode{{firsts[lead], firsts[j + rng() % 4]}, GameCodeKind::kText,
                               std::u16string(1, letter++)});
    }
  }
  std::sort(codes.begin() + 6, codes.end(),
            [](const GameCode& a, const GameCode& b) {
              return std::ranges::lexicographical_compare(a.bytes, b.bytes);
            });
  codes.erase(std::unique(codes.begin() + 6, codes.end(),
                          [](const GameCode& a, const GameCode& b) { return a.bytes == b.bytes; }),
              codes.end());
  aliases.push_back({u"Z", static_cast<std::uint32_t>(rng() % 5)});
  return GameTable(codes, aliases);
}

TEST(TextSearchTest, DecodingFindsWhatTheBytesFindWhereTextsHaveOneSpelling) {
  std::size_t matches = 0;  // so that agreeing on nothing can't pass
  for (unsigned seed = 1; seed <= 30; ++seed) {
    std::mt19937 rng(seed);
    std::vector<GameCode> codes;
    const GameTable table = OneSpellingTable(rng, codes);
    // Codes one after another, with a few stray bytes between.
    std::vector<std::uint8_t> data;
    while (data.size() < 300) {
      if (rng() % 8 == 0) {
        data.push_back(static_cast<std::uint8_t>(rng()));
        continue;
      }
      const GameCode& code = codes[rng() % codes.size()];
      data.insert(data.end(), code.bytes.begin(), code.bytes.end());
    }
    // Texts of one to three codes, some with one as a hex tag, some the alias.
    std::vector<std::string> texts;
    for (int n = 0; n < 6; ++n) {
      std::string text;
      const std::size_t length = 1 + rng() % 3;
      for (std::size_t k = 0; k < length; ++k) {
        const GameCode& code = codes[rng() % codes.size()];
        if (rng() % 5 == 0) {
          text += "<";
          for (const std::uint8_t b : code.bytes) text += HexByte(b);
          text += ">";
        } else if (code.kind == GameCodeKind::kLineBreak) {
          text += "\n";
        } else {
          text += EncodeUtf8(code.text);
        }
      }
      texts.push_back(text);
    }
    texts.push_back("Z");
    const auto search = TextSearch::Of(table, LineBreaks::kAny, texts);
    ASSERT_TRUE(search.has_value()) << "seed " << seed;
    ASSERT_TRUE(search->one_spelling()) << "seed " << seed;
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{5}, kScanChunkSize}) {
      const Found by_bytes = Search(*search, data, chunk, false);
      EXPECT_EQ(by_bytes, Search(*search, data, chunk, true))
          << "seed " << seed << ", chunk " << chunk;
      matches += by_bytes.size();
    }
  }
  EXPECT_GT(matches, 1000u);
}

}  // namespace
}  // namespace binconv
