#include "codec/listing.h"

#include <array>
#include <cstdint>
#include <utility>

#include "runtime/block_size.h"
#include "runtime/utf16.h"

namespace binconv {
namespace {

constexpr int kSpace = 16;
constexpr int kOther = -1;

// Hex digit values, kSpace for a separator, kOther for everything else.
constexpr std::array<std::int8_t, 128> kAscii = [] {
  std::array<std::int8_t, 128> table{};
  for (char16_t ch = 0; ch < table.size(); ++ch) {
    const int value = HexValue(ch);
    table[ch] = static_cast<std::int8_t>(value >= 0               ? value
                                         : IsListingSeparator(ch) ? kSpace
                                                                  : kOther);
  }
  return table;
}();

}  // namespace

void ListingParser::Feed(std::u16string_view chunk, std::vector<std::uint8_t>& out) {
  const char16_t* p = chunk.data();
  const char16_t* const end = p + chunk.size();
  while (p != end) {
    if (pending_high_ == 0 && !after_cr_) {
      p = Run(p, end, out);
      if (p == end) break;
    }
    Unit(*p++, out);
  }
}

const char16_t* ListingParser::Run(const char16_t* p, const char16_t* const end,
                                   std::vector<std::uint8_t>& out) {
  // Bytes are gathered here so that the vector is grown once per block.
  // At most kBlock digits make a byte each two, one more with a digit left
  // over from before.
  constexpr std::size_t kBlock = kListingBlock;
  std::uint8_t buffer[kBlock / 2 + 1];
  // Kept in locals: stores through the byte buffer could alias the members.
  std::size_t column = column_;
  std::size_t kept = kept_;
  int nibble = pending_nibble_;
  const bool counting_only = first_bad_.has_value();
  std::size_t last_column = 0;
  char16_t last = 0;
  bool blocked = false;
  while (!blocked && p != end) {
    std::uint8_t* w = buffer;
    const char16_t* const stop = end - p > static_cast<std::ptrdiff_t>(kBlock) ? p + kBlock : end;
    for (; p != stop; ++p) {
      const char16_t ch = *p;
      // One load instead of a chain of range tests that digits and letters
      // would keep mispredicting.
      const int value = ch < kAscii.size() ? kAscii[ch] : IsListingSeparator(ch) ? kSpace : kOther;
      if (value == kOther) {
        blocked = true;
        break;
      }
      ++column;
      if (value == kSpace) continue;
      ++kept;
      last_column = column;
      last = ch;
      // After a bad character only the count matters.
      if (counting_only) continue;
      if (nibble < 0) {
        nibble = value;
      } else {
        *w++ = static_cast<std::uint8_t>(nibble * 16 + value);
        nibble = -1;
      }
    }
    out.insert(out.end(), buffer, w);
  }
  if (last != 0) last_kept_ = {line_, last_column, last};
  column_ = column;
  kept_ = kept;
  pending_nibble_ = nibble;
  return p;
}

void ListingParser::Unit(char16_t ch, std::vector<std::uint8_t>& out) {
  if (ch == u'\r' || ch == u'\n') {
    // The LF of a CR LF, even one split across chunks, ends no second line.
    if (!(ch == u'\n' && after_cr_)) {
      ++line_;
      column_ = 0;
    }
    after_cr_ = ch == u'\r';
    pending_high_ = 0;
    return;
  }
  after_cr_ = false;
  column_ += BeginsColumn(pending_high_, ch);
  const char16_t previous_high = pending_high_;
  pending_high_ = IsHighSurrogate(ch) ? ch : char16_t{0};
  if (IsListingSeparator(ch)) return;

  ++kept_;
  const bool completes_pair = previous_high != 0 && IsLowSurrogate(ch);
  if (completes_pair) {
    // Reported as one character at the place of its first unit.
    last_kept_.ch = CombineSurrogates(previous_high, ch);
    if (first_bad_ && first_bad_->line == line_ && first_bad_->column == column_) {
      first_bad_->ch = last_kept_.ch;
    }
  } else {
    last_kept_ = {line_, column_, ch};
  }
  if (first_bad_) return;

  const int value = HexValue(ch);
  if (value < 0) {
    first_bad_ = Spot{line_, column_, ch};
    return;
  }
  if (pending_nibble_ < 0) {
    pending_nibble_ = value;
  } else {
    out.push_back(static_cast<std::uint8_t>(pending_nibble_ * 16 + value));
    pending_nibble_ = -1;
  }
}

std::optional<Problem> ListingParser::Finish() {
  std::optional<Problem> error;
  const bool odd = kept_ % 2 != 0;
  if (odd || first_bad_) {
    const Spot& spot = odd ? last_kept_ : *first_bad_;
    error = Problem{odd ? ProblemCode::kListingOddCount : ProblemCode::kListingNotHex};
    error->line = spot.line;
    error->column = spot.column;
    error->ch = spot.ch;
  }
  *this = ListingParser();
  return error;
}

Result<std::vector<std::uint8_t>, Problem> ParseListing(std::u16string_view listing) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(listing.size() / 2);
  ListingParser parser;
  parser.Feed(listing, bytes);
  if (std::optional<Problem> error = parser.Finish()) return Unexpected(std::move(*error));
  return bytes;
}

}  // namespace binconv
