// The per-unit action table and the long-run paths of CodeConverter and
// Encoder that use it, on the default tables and on tables that put the
// delimiters and line-break characters into cells.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "chartable/load.h"
#include "codec/convert.h"
#include "codec/encode.h"
#include "codec/listing.h"
#include "runtime/compare.h"
#include "runtime/utf8.h"
#include "support/bytes.h"
#include "support/files.h"
#include "support/gtest_support.h"
#include "support/reference.h"

namespace binconv {
namespace {

using detail::UnitActions;
using test::DefaultTables;
using test::Hex;
using test::ReferenceConvert;
using test::SameUnits;

// Cells holding what conversion treats specially, duplicates across pages,
// surrogates and cells of more than one unit.
CharTable TrickyTable() {
  CharTable t;
  t.SetCell(0, 0, 1, u"<");
  t.SetCell(0, 0, 2, u"\uFF1E");
  t.SetCell(0, 0, 3, u"\u3000");
  t.SetCell(0, 0, 4, u" ");
  t.SetCell(0, 0, 5, u"\r");
  t.SetCell(0, 0, 6, u"\n");
  t.SetCell(0, 0, 7, u"\u9C2F");
  t.SetCell(0, 1, 10, u"\u3042");
  t.SetCell(3, 4, 5, u"\u3042");
  t.SetCell(5, 15, 15, u"\u30A2");
  t.SetCell(2, 0, 0, u"\u30A2");
  t.SetCell(4, 2, 9, u"\xD83D");
  t.SetCell(1, 7, 7, u"\xDE00");
  t.SetCell(1, 7, 8, u"ab");
  t.SetCell(1, 9, 9, u"b");
  t.SetCell(0, 0, 0, u"\uFFFF");
  t.SetCell(5, 0, 0, u"\u0000");
  return t;
}

struct TableCase {
  const char* name;
  CharTable (*make)();
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

const TableCase kTables[] = {{"Default", [] { return CharTable(DefaultTables()); }},
                             {"Tricky", &TrickyTable}};

// ---------------------------------------------------------------------------

class UnitActionsTest : public testing::TestWithParam<TableCase> {};

// Every unit, against the lookups the unit-by-unit path makes.
TEST_P(UnitActionsTest, AgreesWithClassifyAndFindForEveryUnit) {
  const CharTable table = GetParam().make();
  const UnitActions actions(table);
  for (std::uint32_t u = 0; u <= 0xFFFF; ++u) {
    const auto ch = static_cast<char16_t>(u);
    const std::uint16_t action = actions[ch];
    UnitActions::Kind kind = UnitActions::kNoCode;
    std::optional<CellCode> code;
    if (ch == u'\r') {
      kind = UnitActions::kCr;
    } else if (ch == u'\n') {
      kind = UnitActions::kLf;
    } else {
      switch (detail::ClassifySpecial(ch)) {
        case detail::Special::kTagOpen:
          kind = UnitActions::kTagOpen;
          break;
        case detail::Special::kTagClose:
          kind = UnitActions::kTagClose;
          break;
        case detail::Special::kLineBreak:
          kind = UnitActions::kLineBreak;
          break;
        case detail::Special::kSpace:
          kind = UnitActions::kSpace;
          break;
        case detail::Special::kNone:
          code = table.Find(ch);
          if (code) kind = IsSurrogate(ch) ? UnitActions::kSurrogateCode : UnitActions::kCode;
      }
    }
    ASSERT_EQ(kind, UnitActions::KindOf(action)) << "unit " << Hex(std::u16string(1, ch));
    if (kind == UnitActions::kCode) {
      ASSERT_EQ(code->page, UnitActions::PageOf(action)) << "unit " << Hex(std::u16string(1, ch));
      ASSERT_EQ(code->byte(), UnitActions::ByteOf(action)) << "unit " << Hex(std::u16string(1, ch));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, UnitActionsTest, testing::ValuesIn(kTables),
                         [](const testing::TestParamInfo<TableCase>& p) { return p.param.name; });

// ---------------------------------------------------------------------------
// Long texts: mostly characters with codes, with every kind of interruption.

// With `clean`, only interruptions that leave nothing but digits and
// separators in the listing.
std::u16string LongText(const CharTable& table, std::mt19937& rng, std::size_t units, bool clean,
                        LineBreaks line_breaks) {
  std::vector<std::u16string> coded;
  for (int p = 0; p < kPages; ++p) {
    for (int r = 0; r < kRows; ++r) {
      for (int c = 0; c < kColumns; ++c) {
        if (table.Cell(p, r, c).size() == 1) coded.push_back(table.Cell(p, r, c));
      }
    }
  }
  static const std::u16string_view kClean[] = {
      u"\r\n", u"\r\n", u"\u3000", u" ", u"\u9C2F", u"<0C01>", u"<12>", u"\uFF1C3A\uFF1E"};
  static const std::u16string_view kLoneBreaks[] = {u"\n", u"\r"};
  static const std::u16string_view kDirty[] = {
      u">", u"\uFF1E", u"<", u"\uFF1C", u"<12",    u"\u5F41",   u"\t",         u"1",
      u"a", u"\xD83D", u"\xDE00", u"<\xD83D>", u"\U0001F600", u"\U0001F9A0"};
  std::vector<std::u16string_view> interruptions(std::begin(kClean), std::end(kClean));
  if (!clean || line_breaks == LineBreaks::kAny) {
    interruptions.insert(interruptions.end(), std::begin(kLoneBreaks), std::end(kLoneBreaks));
  }
  if (!clean) interruptions.insert(interruptions.end(), std::begin(kDirty), std::end(kDirty));

  std::uniform_int_distribution<std::size_t> pick_coded(0, coded.size() - 1);
  std::uniform_int_distribution<std::size_t> pick_other(0, interruptions.size() - 1);
  std::uniform_int_distribution<int> percent(0, 99);
  std::u16string text;
  while (text.size() < units) {
    const std::u16string_view piece = percent(rng) < 92
                                          ? std::u16string_view(coded[pick_coded(rng)])
                                          : interruptions[pick_other(rng)];
    // A cell of a tag mark would open a tag that nothing closes, or close none.
    if (clean && piece.size() == 1 &&
        (detail::ClassifySpecial(piece[0]) == detail::Special::kTagOpen ||
         detail::ClassifySpecial(piece[0]) == detail::Special::kTagClose)) {
      continue;
    }
    text += piece;
  }
  return text;
}

// How a text is cut into chunks.
enum class Plan {
  kWhole,
  kOneByOneUntilTableThenWhole,  // crosses to the action table mid-text, in any state
  kTiny,                         // 1 to 7 units
  kLarge,                        // up to 5000 units
};

std::vector<std::u16string_view> Cut(std::u16string_view text, Plan plan, std::mt19937& rng) {
  std::vector<std::u16string_view> chunks;
  std::uniform_int_distribution<std::size_t> tiny(1, 7);
  std::uniform_int_distribution<std::size_t> large(0, 5000);
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t n = text.size();
    switch (plan) {
      case Plan::kWhole:
        break;
      case Plan::kOneByOneUntilTableThenWhole:
        n = at + 1 < detail::kUnitActionsAfter ? 1 : text.size();
        break;
      case Plan::kTiny:
        n = tiny(rng);
        break;
      case Plan::kLarge:
        n = large(rng);
        break;
    }
    n = std::min(n, text.size() - at);
    chunks.push_back(text.substr(at, n));
    at += n;
  }
  return chunks;
}

struct StreamCase {
  const char* name;
  LineBreaks line_breaks;
  Plan plan;
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class LongTextTest : public testing::TestWithParam<std::tuple<TableCase, StreamCase>> {
 protected:
  void SetUp() override { table_ = std::get<0>(GetParam()).make(); }
  LineBreaks line_breaks() const { return std::get<1>(GetParam()).line_breaks; }
  Plan plan() const { return std::get<1>(GetParam()).plan; }

  CharTable table_;
};

TEST_P(LongTextTest, ConverterMatchesReference) {
  for (unsigned seed = 1; seed <= 2; ++seed) {
    std::mt19937 rng(seed);
    const std::u16string text =
        LongText(table_, rng, detail::kUnitActionsAfter + 3000 * seed, false, line_breaks());
    CodeConverter converter(table_, line_breaks());
    std::u16string listing;
    for (const std::u16string_view chunk : Cut(text, plan(), rng)) converter.Feed(chunk, listing);
    converter.Finish(listing);
    ASSERT_TRUE(SameUnits(ReferenceConvert(text, table_, line_breaks()), listing))
        << "seed " << seed;
  }
}

std::string Describe(const std::vector<EncodeProblem>& problems) {
  std::string out;
  char buf[48];
  for (const EncodeProblem& p : problems) {
    std::snprintf(buf, sizeof buf, "%zu:%zu U+%04X kind %d\n", p.line, p.column,
                  static_cast<unsigned>(p.ch), static_cast<int>(p.kind));
    out += buf;
  }
  return out;
}

// Bytes, odd count, problems and (when given) counts, so that both sides
// print readably.
std::string Describe(const Encoder& encoder, const std::vector<std::uint8_t>& bytes,
                     const EncodeCounts* counts = nullptr) {
  std::string out = encoder.odd_count() ? "odd\n" : "";
  char buf[48];
  if (counts != nullptr) {
    for (const std::size_t n : counts->by_page) out += std::to_string(n) + ' ';
    out += std::to_string(counts->line_breaks) + ' ' + std::to_string(counts->spaces) + ' ' +
           std::to_string(counts->tag_digits) + '\n';
  }
  out += Describe(encoder.problems());
  for (const std::uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    out += buf;
  }
  return out;
}

std::string Encode(const CharTable& table, LineBreaks line_breaks,
                   const std::vector<std::u16string_view>& chunks, bool counting = false) {
  Encoder encoder(table, line_breaks);
  EncodeCounts counts;
  if (counting) encoder.set_counts(&counts);
  std::vector<std::uint8_t> bytes;
  for (const std::u16string_view chunk : chunks) encoder.Feed(chunk, bytes);
  encoder.Finish(bytes);
  return Describe(encoder, bytes, counting ? &counts : nullptr);
}

// Every plan mixes the unit-by-unit path and the long runs differently; the
// one-by-one plan takes its first units entirely unit by unit.
TEST_P(LongTextTest, EncoderAgreesWithOneByOneFeeding) {
  for (unsigned seed = 1; seed <= 2; ++seed) {
    std::mt19937 rng(seed);
    const std::u16string text =
        LongText(table_, rng, detail::kUnitActionsAfter + 3000 * seed, false, line_breaks());
    const auto one_by_one = Cut(text, Plan::kOneByOneUntilTableThenWhole, rng);
    const auto chunks = Cut(text, plan(), rng);
    ASSERT_EQ(Encode(table_, line_breaks(), one_by_one), Encode(table_, line_breaks(), chunks))
        << "seed " << seed;
    // Counting takes the same paths with the counts kept.
    ASSERT_EQ(Encode(table_, line_breaks(), one_by_one, true),
              Encode(table_, line_breaks(), chunks, true))
        << "seed " << seed;
  }
}

TEST_P(LongTextTest, EncoderGivesTheListingsBytes) {
  for (unsigned seed = 1; seed <= 2; ++seed) {
    std::mt19937 rng(seed);
    const std::u16string text =
        LongText(table_, rng, detail::kUnitActionsAfter + 3000 * seed, true, line_breaks());
    auto parsed = ParseListing(ReferenceConvert(text, table_, line_breaks()));
    ASSERT_TRUE(parsed.has_value()) << "seed " << seed;
    const Encoder no_problems(table_, line_breaks());
    ASSERT_EQ(Describe(no_problems, parsed.value()),
              Encode(table_, line_breaks(), Cut(text, plan(), rng)))
        << "seed " << seed;
  }
}

// The listing notes every character without a code where the encoder
// reports it, whichever path took the units around it.
TEST_P(LongTextTest, ConverterNotesWhereTheEncoderReports) {
  for (unsigned seed = 1; seed <= 2; ++seed) {
    std::mt19937 rng(seed);
    std::u16string text =
        LongText(table_, rng, detail::kUnitActionsAfter + 3000 * seed, false, line_breaks());
    // In the tricky table, a high unit with a code and a low one without.
    for (std::size_t at = detail::kUnitActionsAfter; at < text.size(); at += 1999) {
      text.insert(at, u"\U0001F680");
    }
    std::vector<UncodedChar> uncoded;
    CodeConverter converter(table_, line_breaks());
    converter.set_uncoded(&uncoded);
    std::u16string listing;
    for (const std::u16string_view chunk : Cut(text, plan(), rng)) converter.Feed(chunk, listing);
    converter.Finish(listing);
    Encoder encoder(table_, line_breaks());
    std::vector<std::uint8_t> bytes;
    encoder.Feed(text, bytes);
    encoder.Finish(bytes);
    std::vector<EncodeProblem> noted;
    for (const UncodedChar& u : uncoded) {
      noted.push_back({u.kind, u.line, u.column, u.ch});
    }
    std::vector<EncodeProblem> reported = encoder.problems();
    std::erase_if(reported, [](const EncodeProblem& p) {
      return p.kind != ProblemCode::kNoCode && p.kind != ProblemCode::kLineBreakInTag;
    });
    ASSERT_EQ(Describe(reported), Describe(noted)) << "seed " << seed;
  }
}

// UTF-8 in pieces of any size: between characters the fast path takes what it
// can, then the decoder and Feed take a short stretch, and so on. The result
// must be that of Feed on the whole text.
TEST_P(LongTextTest, Utf8InputMatchesFeed) {
  for (unsigned seed = 1; seed <= 2; ++seed) {
    for (const bool clean : {true, false}) {
      std::mt19937 rng(seed);
      // Lone surrogates don't survive UTF-8; the text is what the bytes say.
      const std::string utf8 = EncodeUtf8(
          LongText(table_, rng, detail::kUnitActionsAfter + 3000 * seed, clean, line_breaks()));
      const std::u16string text = DecodeUtf8(utf8).value();

      Encoder encoder(table_, line_breaks());
      CodeConverter converter(table_, line_breaks());
      std::vector<std::uint8_t> bytes;
      std::string listing;
      const std::u16string wide(utf8.begin(), utf8.end());  // to cut bytes with Cut
      for (const std::u16string_view piece : Cut(wide, plan(), rng)) {
        const std::string_view read = std::string_view(utf8).substr(
            static_cast<std::size_t>(piece.data() - wide.data()), piece.size());
        ASSERT_TRUE(encoder.FeedUtf8(read, bytes));
        ASSERT_TRUE(converter.FeedUtf8(read, listing));
      }
      ASSERT_TRUE(encoder.FinishUtf8(bytes));
      ASSERT_TRUE(converter.FinishUtf8(listing));
      ASSERT_EQ(Encode(table_, line_breaks(), {text}), Describe(encoder, bytes))
          << "seed " << seed << " clean " << clean;
      ASSERT_TRUE(
          SameUnits(ConvertToCode(text, table_, line_breaks()), DecodeUtf8(listing).value()))
          << "seed " << seed << " clean " << clean;
    }
  }
}

}  // namespace

// The fast paths on their own, without the decoder around them.
struct detail::Utf8RunProbe {
  static std::size_t Run(Encoder& encoder, std::string_view utf8, std::vector<std::uint8_t>& out) {
    return encoder.RunUtf8(utf8, out);
  }
  static std::size_t Run(CodeConverter& converter, std::string_view utf8, std::string& out) {
    return converter.RunUtf8(utf8, out);
  }
};

namespace {

struct StopCase {
  const char* name;
  std::string after;  // what follows a run of plain characters
  LineBreaks line_breaks = LineBreaks::kAny;
  bool converter_takes = false;  // a character the listing keeps as it is
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class Utf8RunStopTest : public testing::TestWithParam<std::tuple<TableCase, StopCase>> {};

// The direct paths stop right before what they must leave to the decoder and
// Feed, whatever follows; the tricky table holds U+0000 and U+D83D, which
// an overlong sequence and an encoded surrogate would otherwise give.
TEST_P(Utf8RunStopTest, StopsBeforeWhatItCannotTake) {
  const StopCase& c = std::get<1>(GetParam());
  const CharTable table = std::get<0>(GetParam()).make();
  // A long run of every character with a code, of one to three bytes.
  const UnitActions actions(table);
  std::u16string plain;
  for (std::uint32_t u = 1; u <= 0xFFFF; ++u) {
    const auto ch = static_cast<char16_t>(u);
    if (UnitActions::KindOf(actions[ch]) == UnitActions::kCode && !IsHighSurrogate(ch) &&
        !IsLowSurrogate(ch)) {
      plain += ch;
    }
  }
  while (plain.size() < 3 * detail::kUnitActionsAfter) plain += plain;
  const std::string run = EncodeUtf8(plain);
  Encoder reference(table, c.line_breaks);
  std::vector<std::uint8_t> expected;
  reference.Feed(plain, expected);

  Encoder encoder(table, c.line_breaks);
  std::vector<std::uint8_t> bytes;
  const std::string input = run + c.after + "\xE3\x81\x82\xE3\x81\x82\xE3\x81\x82";
  EXPECT_EQ(run.size(), detail::Utf8RunProbe::Run(encoder, input, bytes));
  EXPECT_TRUE(expected == bytes) << "the bytes of the run differ";

  // The converter takes what has no code too, and two of the three
  // characters after it: reading eight bytes at a time, it leaves the last
  // three to the decoder.
  CodeConverter converter(table, c.line_breaks);
  std::string listing;
  const std::size_t taken = detail::Utf8RunProbe::Run(converter, input, listing);
  EXPECT_EQ(c.converter_takes ? run.size() + c.after.size() + 6 : run.size(), taken);
  const std::u16string text = DecodeUtf8(input.substr(0, taken)).value();
  EXPECT_TRUE(SameUnits(ConvertToCode(text, table, c.line_breaks), DecodeUtf8(listing).value()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8RunStopTest,
    testing::Combine(testing::ValuesIn(kTables),
                     testing::Values(StopCase{"Overlong3", "\xE0\x80\x80"},
                                     StopCase{"Overlong3High", "\xE0\x9F\xBF"},
                                     StopCase{"Surrogate", "\xED\xA0\xBD"},
                                     StopCase{"Overlong2", "\xC1\xBF"},
                                     StopCase{"StrayContinuation", "\x80"},
                                     StopCase{"FourBytes", "\xF0\x9F\x98\x80"},
                                     StopCase{"BadLead", "\xFF"}, StopCase{"TagOpen", "<"},
                                     StopCase{"FullWidthTagOpen", "\xEF\xBC\x9C"},
                                     StopCase{"NoCode", "\xE5\xBD\x81", LineBreaks::kAny, true},
                                     StopCase{"LoneLfExact", "\n", LineBreaks::kCrLf},
                                     StopCase{"LoneCrExact", "\rX", LineBreaks::kCrLf},
                                     StopCase{"Tab", "\t", LineBreaks::kAny, true})),
    [](const testing::TestParamInfo<std::tuple<TableCase, StopCase>>& p) {
      return std::string(std::get<0>(p.param).name) + std::get<1>(p.param).name;
    });

const StreamCase kStreams[] = {
    {"CrLfWhole", LineBreaks::kCrLf, Plan::kWhole},
    {"AnyWhole", LineBreaks::kAny, Plan::kWhole},
    {"CrLfOneByOneThenWhole", LineBreaks::kCrLf, Plan::kOneByOneUntilTableThenWhole},
    {"AnyOneByOneThenWhole", LineBreaks::kAny, Plan::kOneByOneUntilTableThenWhole},
    {"CrLfTiny", LineBreaks::kCrLf, Plan::kTiny},
    {"AnyTiny", LineBreaks::kAny, Plan::kTiny},
    {"CrLfLarge", LineBreaks::kCrLf, Plan::kLarge},
    {"AnyLarge", LineBreaks::kAny, Plan::kLarge},
};

INSTANTIATE_TEST_SUITE_P(Streams, LongTextTest,
                         testing::Combine(testing::ValuesIn(kTables), testing::ValuesIn(kStreams)),
                         [](const testing::TestParamInfo<std::tuple<TableCase, StreamCase>>& p) {
                           return std::string(std::get<0>(p.param).name) +
                                  std::get<1>(p.param).name;
                         });

}  // namespace
}  // namespace binconv
