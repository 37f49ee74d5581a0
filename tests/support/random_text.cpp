#include "support/random_text.h"

#include <iterator>

namespace binconv::test {

std::u16string RandomText(std::mt19937& rng, std::span<const std::u16string_view> pieces,
                          bool long_text) {
  static constexpr std::u16string_view kStateless[] = {u"\u3042", u"\u30A2", u"x",      u"z",
                                                       u" ",      u"\u3000", u">",      u"\r\n",
                                                       u"\u9C2F", u"Q",      u"\uFF21", u"\uFF1E"};
  std::uniform_int_distribution<int> length(long_text ? 15000 : 0, long_text ? 25000 : 40);
  std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
  std::uniform_int_distribution<std::size_t> stateless(0, std::size(kStateless) - 1);
  std::uniform_int_distribution<int> percent(0, 99);
  std::u16string text;
  for (int n = length(rng); n > 0; --n) {
    text += long_text && percent(rng) < 97 ? kStateless[stateless(rng)] : pieces[piece(rng)];
  }
  return text;
}

}  // namespace binconv::test
