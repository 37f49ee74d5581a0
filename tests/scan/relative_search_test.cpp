// The search for a word by the distances between its kana.

#include <gtest/gtest.h>

#include <tuple>

#include "scan/relative_search.h"
#include "support/bytes.h"
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

}  // namespace
}  // namespace binconv
