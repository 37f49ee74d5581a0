// The search for a word by the distances between its kana.

#include "scan/relative_search.h"

#include <gtest/gtest.h>

#include <tuple>

#include "chartable/encoding.h"
#include "messages/messages.h"
#include "support/bytes.h"
#include "support/gtest_support.h"
#include "support/scan_input.h"

namespace binconv {
namespace {

using test::kScanChunks;
using test::RandomByteVector;
using test::ReaderOf;

TEST(SearchRelativeTest, FindsAWordInEitherOrderWhereverTheChunksEnd) {
  std::vector<std::uint8_t> data = RandomByteVector(1200, 9);
  const std::u16string word = u"ゆうしゃ";  // ゃ lies outside the gojuon order
  const auto jis = RelativeWordOf(word, KanaOrder::kJis);
  const auto gojuon = RelativeWordOf(word, KanaOrder::kGojuon);
  ASSERT_TRUE(jis.has_value() && gojuon.has_value());
  for (std::size_t i = 0; i < word.size(); ++i) {
    data[500 + i] = static_cast<std::uint8_t>(0x35 - 1 + *KanaIndex(KanaOrder::kJis, word[i]));
    if (auto g = KanaIndex(KanaOrder::kGojuon, word[i]))
      data[1000 + i] = static_cast<std::uint8_t>(0x80 + *g);
  }
  const std::vector<RelativeWord> words = {jis.value(), gojuon.value()};
  for (const std::size_t chunk : kScanChunks) {
    std::vector<std::tuple<std::uint64_t, std::size_t, int>> got;
    const auto scanned =
        SearchRelative(ReaderOf(data, chunk, 1), words, chunk, [&](const RelativeMatch& m) {
          got.emplace_back(m.offset, m.word, m.code_of_a);
          return true;
        });
    ASSERT_TRUE(scanned.has_value());
    const std::vector<std::tuple<std::uint64_t, std::size_t, int>> expected = {{500, 0, 0x35},
                                                                               {1000, 1, 0x80}};
    EXPECT_EQ(expected, got) << "chunk " << chunk;
  }
  EXPECT_FALSE(RelativeWordOf(u"ああー", KanaOrder::kJis).has_value());
}


struct QueryCase {
  std::string_view name;
  std::u16string word;
  std::vector<KanaOrder> orders;
  std::size_t words = 0;  // the orders that take it; 0: refused with `why`
  bool katakana = false;
  std::string why{};
};

class RelativeQueryTest : public testing::TestWithParam<QueryCase> {};

// Each order that takes the word is searched; when none does, the first
// order's reason is given, whatever the second's.
TEST_P(RelativeQueryTest, TakesTheOrdersThatCanStepThroughTheWord) {
  const QueryCase& c = GetParam();
  const auto query = RelativeQueryOf(c.word, c.orders);
  if (c.words == 0) {
    ASSERT_FALSE(query.has_value());
    EXPECT_EQ(c.why, messages::Message(messages::Language::kEnglish, query.error()));
    return;
  }
  ASSERT_TRUE(query.has_value()) << static_cast<int>(query.error().code);
  EXPECT_EQ(c.words, query->words.size());
  EXPECT_EQ(c.katakana, query->katakana);
}

constexpr KanaOrder kJis = KanaOrder::kJis;
constexpr KanaOrder kGojuon = KanaOrder::kGojuon;

INSTANTIATE_TEST_SUITE_P(
    Words, RelativeQueryTest,
    testing::Values(
        QueryCase{"BothOrders", u"ゆうしゃ", {kJis, kGojuon}, 2},
        // The first kana tells the script; "ー" and "x" are outside both orders.
        QueryCase{"KatakanaAfterOthers", u"xーユウ", {kJis, kGojuon}, 2, true},
        // ゃ is outside the gojuon, which then has one kana only.
        QueryCase{"OneOrderTakesIt", u"ゃあ", {kGojuon, kJis}, 1},
        QueryCase{"TooFewKana", u"ああー", {kJis, kGojuon}, 0, false,
                  "needs at least two different kana of the jis order"},
        QueryCase{"OnlyTheFirstReason", u"ゃゃ", {kGojuon, kJis}, 0, false,
                  "needs at least two different kana of the gojuon order"}),
    test::CaseName<QueryCase>);

// The best match is the word and あ code most matches agree on; of two with
// as many, the one whose first match came first, even when the other reached
// that many first. Its .tbl leaves out the codes the tables reserve.
TEST(SearchRelativeBestTest, MostVotesThenTheEarliestFirstMatch) {
  const RelativeQuery query = RelativeQueryOf(u"あい", std::vector{kJis}).value();
  // あい in JIS order is a byte and the one two above it: B gives あ 0x51, A 0x11.
  const std::vector<std::uint8_t> data = {0x51, 0x53, 0, 0x11, 0x13, 0, 0x11, 0x13, 0, 0x51, 0x53};
  const auto found = SearchRelativeBest(ReaderOf(data, 64, 3), query, 64,
                                        [](const RelativeMatch&) { return true; });
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(4u, found->matches);
  EXPECT_EQ(0u, found->best.offset);
  EXPECT_EQ(0x51, found->best.code_of_a);
  ASSERT_FALSE(found->tbl.empty());
  for (const GameCode& code : found->tbl) {
    ASSERT_EQ(1u, code.bytes.size());
    EXPECT_FALSE(IsReservedByte(code.bytes[0])) << static_cast<int>(code.bytes[0]);
  }
  // ぁ would take 0x50, the space.
  EXPECT_EQ(u"\u3042", found->tbl.front().text);
  EXPECT_EQ(0x51, found->tbl.front().bytes[0]);
}

}  // namespace
}  // namespace binconv
