#pragma once
// Code listing to bytes: spaces (U+0020 and U+3000) and line breaks are
// dropped, every remaining pair of ASCII hex digits becomes one byte.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/hex.h"
#include "runtime/result.h"

namespace binconv {

inline constexpr std::u16string_view kOddCountMessage = u"入力された文字コードが正しくありません";
inline constexpr std::u16string_view kBadCharMessage =
    u"不正な文字コードが見つかったので処理を中断しました";

enum class ListingErrorCode {
  kOddCount,     // an odd number of characters is left once separators are gone
  kNotHexDigit,  // a character other than 0-9, A-F, a-f is left
};

struct ListingError {
  ListingErrorCode code;
  // 1-based line and column (in characters) of the offending character; for
  // kOddCount, of the last character left, the one without a partner.
  std::size_t line = 0;
  std::size_t column = 0;
  char32_t ch = 0;  // the offending character, a whole surrogate pair as one
};

// The writer drops spaces: U+0020 and U+3000, which TextCompare takes for it.
constexpr bool IsListingSeparator(char16_t ch) { return ch == u' ' || ch == u'\u3000'; }

// The window's message for the error.
std::u16string_view MessageFor(ListingErrorCode code);

// Streaming parse. The odd count is decided at the end and wins over a bad
// character, so bytes are only trustworthy once Finish reports no error.
class ListingParser {
 public:
  void Feed(std::u16string_view chunk, std::vector<std::uint8_t>& out);
  std::optional<ListingError> Finish();

 private:
  // Takes the run of hex digits and spaces from `p` on; returns where it
  // stopped.
  const char16_t* Run(const char16_t* p, const char16_t* end, std::vector<std::uint8_t>& out);
  void Unit(char16_t ch, std::vector<std::uint8_t>& out);

  std::size_t kept_ = 0;  // characters left after dropping separators
  std::size_t line_ = 1;
  std::size_t column_ = 0;
  bool after_cr_ = false;
  int pending_nibble_ = -1;
  char16_t pending_high_ = 0;
  std::optional<ListingError> first_bad_;
  ListingError last_kept_{ListingErrorCode::kOddCount};
};

Result<std::vector<std::uint8_t>, ListingError> ParseListing(std::u16string_view listing);

}  // namespace binconv
