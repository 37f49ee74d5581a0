#include "script/placement.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "chartable/encoding.h"
#include "codec/encode.h"
#include "codec/encoder.h"
#include "codec/listing.h"
#include "support/encoded.h"

namespace binconv {
namespace {

// The index of the first unit of the character at a place; the text's size
// when there is none.
std::size_t IndexOf(std::u16string_view text, const Problem& place) {
  const std::size_t at = test::Places(text).At(place.line, place.column);
  return at == std::u16string_view::npos ? text.size() : at;
}

std::size_t EncodedSize(const CharTable& table, LineBreaks breaks, std::u16string_view text) {
  Encoder encoder(GameTableOf(table), breaks);
  std::vector<std::uint8_t> bytes;
  encoder.Feed(text, bytes);
  encoder.Finish(bytes);
  return bytes.size();
}

// Random texts of one- and two-byte characters, line breaks and tags, in
// rooms of every size: the text up to the character named fits, and with it
// (and the LF of its CR LF, the rest of its tag) it doesn't.
TEST(PlaceFirstCharPastRoomTest, NamesTheCharacterWhereTheRoomRunsOut) {
  CharTable table;
  table.SetCell(0, 1, 10, u"あ");
  table.SetCell(2, 3, 4, u"ア");
  // Each half of a pair has a code of its own.
  table.SetCell(5, 0, 0, u"\xD83D");
  table.SetCell(1, 0, 0, u"\xDE00");
  const GameTable codec = GameTableOf(table);
  const std::u16string pool[] = {u"あ",   u"ア",      u"\r\n",         u"\r",     u"\n",    u" ",
                                 u"<01>", u"<0A 23>", u"\xD83D\xDE00", u"\xD83D", u"\u9C2F"};
  std::mt19937 rng(5);
  int checked = 0;
  for (int round = 0; round < 300; ++round) {
    std::u16string text;
    const std::size_t length = rng() % 30;
    for (std::size_t i = 0; i < length; ++i) text += pool[rng() % std::size(pool)];
    const LineBreaks breaks = round % 2 == 0 ? LineBreaks::kAny : LineBreaks::kCrLf;
    Encoder check(GameTableOf(table), breaks);
    std::vector<std::uint8_t> all;
    check.Feed(text, all);
    check.Finish(all);
    if (!check.problems().empty()) continue;
    ++checked;
    for (std::uint64_t room = 0; room <= all.size(); ++room) {
      Problem place{ProblemCode::kTooLong};
      const bool found = PlaceFirstCharPastRoom(place, text, codec, breaks, room);
      if (room == all.size()) {
        EXPECT_FALSE(found) << "round " << round;
        continue;
      }
      ASSERT_TRUE(found) << "round " << round << " room " << room;
      const std::size_t at = IndexOf(text, place);
      ASSERT_LT(at, text.size()) << "round " << round;
      std::size_t through = at + 1;
      if (text[at] == u'\r' && through < text.size() && text[through] == u'\n') ++through;
      if (place.ch > 0xFFFF) ++through;
      // A tag's bytes are its opening mark's.
      if (text[at] == u'<') through = text.find(u'>', at) + 1;
      EXPECT_LE(EncodedSize(table, breaks, text.substr(0, at)), room) << "round " << round;
      EXPECT_GT(EncodedSize(table, breaks, text.substr(0, through)), room) << "round " << round;
    }
  }
  EXPECT_GT(checked, 60) << "too few texts without problems to tell anything";
}

struct PairCase {
  const char* listing;
  std::uint64_t room;
  std::optional<std::pair<std::size_t, std::size_t>> place;
};

class PlaceFirstPairPastRoomTest : public testing::TestWithParam<PairCase> {};

TEST_P(PlaceFirstPairPastRoomTest, NamesThePairsFirstDigit) {
  const PairCase& c = GetParam();
  const std::u16string listing(c.listing, c.listing + std::char_traits<char>::length(c.listing));
  Problem place{ProblemCode::kPlaceTooLong};
  ASSERT_EQ(PlaceFirstPairPastRoom(place, listing, c.room), c.place.has_value());
  if (c.place) {
    EXPECT_EQ(place.line, c.place->first);
    EXPECT_EQ(place.column, c.place->second);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaceFirstPairPastRoomTest,
    testing::Values(PairCase{"01 02 03", 3, std::nullopt}, PairCase{"01 02 03", 2, {{1, 7}}},
                    PairCase{"01 02 03", 0, {{1, 1}}}, PairCase{"", 0, std::nullopt},
                    PairCase{"0102\r\n0\r\n3", 2, {{2, 1}}}, PairCase{"01 0\n2 03", 1, {{1, 4}}},
                    PairCase{"  \r\n\r\n 0A", 0, {{3, 2}}}));

TEST(CheckPlacementTest, RoomBeforeLength) {
  const Placement in_room{4, 4, std::nullopt};
  EXPECT_FALSE(CheckPlacement(in_room, 4, 8));
  const auto too_long = CheckPlacement(in_room, 5, 8);
  ASSERT_TRUE(too_long);
  EXPECT_EQ(too_long->code, ProblemCode::kPlaceTooLong);
  const auto outside = CheckPlacement(in_room, 5, 7);
  ASSERT_TRUE(outside);
  EXPECT_EQ(outside->code, ProblemCode::kPlacePastEnd);
  EXPECT_EQ(outside->end, 7u);  // the last byte
  const auto wraps = CheckPlacement(Placement{2, UINT64_MAX, std::nullopt}, 0, 8);
  ASSERT_TRUE(wraps);
  EXPECT_EQ(wraps->end, UINT64_MAX);
  EXPECT_FALSE(CheckPlacement(Placement{8, std::nullopt, std::nullopt}, 0, 8));
  EXPECT_TRUE(CheckPlacement(Placement{9, std::nullopt, std::nullopt}, 0, 8));
}

}  // namespace
}  // namespace binconv
