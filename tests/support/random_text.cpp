#include "support/random_text.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "chartable/tbl.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"

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

std::string RandomGameTbl(std::mt19937& rng, bool one_code_per_text, bool prefix_free) {
  prefix_free = prefix_free || one_code_per_text;
  // Tag marks only where a tag can't take them, for a text to come back.
  const std::u16string_view chars = one_code_per_text ? u"ab>\u3042" : u"ab<>\u3042";
  std::string tbl;
  std::vector<std::u16string> texts;
  for (int i = 0; i < 12; ++i) {
    std::u16string text;
    for (std::size_t n = 1 + rng() % 3; n > 0; --n) text += chars[rng() % chars.size()];
    const std::size_t kind = rng() % 6;  // text thrice as often as each other kind
    if (kind == 4) {
      // A label holds no tag mark, which would end its tag early.
      std::erase_if(text, [](char16_t ch) { return ch == u'<' || ch == u'>'; });
      text = u"<" + text + u">";
    }
    if (one_code_per_text) {
      if (std::find(texts.begin(), texts.end(), text) != texts.end()) continue;
      texts.push_back(text);
    }
    std::string code;
    // Now and then a code longer than the fast path writes; with one code
    // per text it begins with its own length, so that none is the start of
    // another.
    const bool long_code = rng() % 6 == 0;
    std::size_t length = prefix_free ? 2 : 1 + rng() % 2;
    if (long_code) {
      length = 5 + rng() % (kMaxGameCodeBytes - 4);
      if (prefix_free) AppendHexByte(static_cast<std::uint8_t>(0x80 + length--), code);
    }
    for (std::size_t n = length; n > 0; --n) {
      AppendHexByte(static_cast<std::uint8_t>(rng() % (one_code_per_text ? 16 : 5)), code);
    }
    const std::string line = std::string(kind == 3   ? "*"
                                         : kind == 4 ? "$"
                                         : kind == 5 ? "/"
                                                     : "") +
                             code + "=" + EncodeUtf8(text) +
                             // Now and then a text ends in line breaks, "\n".
                             (kind != 4 && rng() % 5 == 0 ? (rng() % 2 ? "\\n" : "\\n\\n") : "") +
                             (kind == 4 ? "," + std::to_string(rng() % 3) : "");
    if (ParseGameTable(tbl + line + "\n", "r.tbl")) tbl += line + "\n";
  }
  return tbl;
}

std::u16string RandomGameText(std::mt19937& rng) {
  static constexpr std::u16string_view kPieces[] = {
      u"a",  u"b",  u"<",    u">", u"\uFF1E",     u"\u3042", u"0",      u"f",
      u"\r", u"\n", u"\r\n", u" ", u"\U0001F600", u"\xD800", u"\xDC00", u"x"};
  std::u16string text;
  for (std::size_t n = rng() % 30; n > 0; --n) text += kPieces[rng() % std::size(kPieces)];
  return text;
}

}  // namespace binconv::test
