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
#include "runtime/problem.h"
#include "runtime/result.h"

namespace binconv {

// The writer drops spaces: U+0020 and U+3000, which TextCompare takes for it.
constexpr bool IsListingSeparator(char16_t ch) { return ch == u' ' || ch == u'\u3000'; }

// Streaming parse. The odd count is decided at the end and wins over a bad
// character, so bytes are only trustworthy once Finish reports no error:
// kListingOddCount (an odd number of characters is left once separators are
// gone) or kListingNotHex (a character other than 0-9, A-F, a-f is left), at
// the 1-based line and column (in characters) of the character at fault; for
// kListingOddCount, the last one left, which has no partner. A surrogate
// pair is one character.
class ListingParser {
 public:
  void Feed(std::u16string_view chunk, std::vector<std::uint8_t>& out);
  std::optional<Problem> Finish();

 private:
  // Takes the run of hex digits and spaces from `p` on; returns where it
  // stopped.
  const char16_t* Run(const char16_t* p, const char16_t* end, std::vector<std::uint8_t>& out);
  void Unit(char16_t ch, std::vector<std::uint8_t>& out);

  // A character's place, set for each one kept: a Problem is made only at
  // the end.
  struct Spot {
    std::size_t line = 0;
    std::size_t column = 0;
    char32_t ch = 0;
  };

  std::size_t kept_ = 0;  // characters left after dropping separators
  std::size_t line_ = 1;
  std::size_t column_ = 0;
  bool after_cr_ = false;
  int pending_nibble_ = -1;
  char16_t pending_high_ = 0;
  std::optional<Spot> first_bad_;
  Spot last_kept_;
};

Result<std::vector<std::uint8_t>, Problem> ParseListing(std::u16string_view listing);

}  // namespace binconv
