#include "conversion/listing.h"

#include "conversion/convert.h"

namespace binconv {

std::u16string_view MessageFor(ListingErrorCode code) {
  switch (code) {
    case ListingErrorCode::kOddCount:
      return kOddCountMessage;
    case ListingErrorCode::kNotHexDigit:
      return kBadCharMessage;
  }
  return kBadCharMessage;
}

void ListingParser::Feed(std::u16string_view chunk, std::vector<std::uint8_t>& out) {
  for (const char16_t ch : chunk) {
    if (ch == u'\r' || ch == u'\n') {
      // The LF of a CR LF, even one split across chunks, ends no second line.
      if (!(ch == u'\n' && after_cr_)) {
        ++line_;
        column_ = 0;
      }
      after_cr_ = ch == u'\r';
      pending_high_ = 0;
      continue;
    }
    after_cr_ = false;
    ++column_;
    const char16_t previous_high = pending_high_;
    pending_high_ = detail::IsHighSurrogate(ch) ? ch : char16_t{0};
    if (ch == u' ' || ch == u'\u3000') continue;

    ++kept_;
    const bool completes_pair = previous_high != 0 && detail::IsLowSurrogate(ch);
    if (completes_pair) {
      // Reported as one character at the place of its first unit.
      last_kept_.ch = detail::CombineSurrogates(previous_high, ch);
      if (first_bad_ && first_bad_->line == line_ && first_bad_->column + 1 == column_) {
        first_bad_->ch = last_kept_.ch;
      }
    } else {
      last_kept_ = {ListingErrorCode::kOddCount, line_, column_, ch};
    }
    if (first_bad_) continue;

    const int value = detail::HexValue(ch);
    if (value < 0) {
      first_bad_ = ListingError{ListingErrorCode::kNotHexDigit, line_, column_, ch};
      continue;
    }
    if (pending_nibble_ < 0) {
      pending_nibble_ = value;
    } else {
      out.push_back(static_cast<std::uint8_t>(pending_nibble_ * 16 + value));
      pending_nibble_ = -1;
    }
  }
}

std::optional<ListingError> ListingParser::Finish() {
  std::optional<ListingError> error;
  if (kept_ % 2 != 0) {
    error = last_kept_;
  } else {
    error = first_bad_;
  }
  *this = ListingParser();
  return error;
}

Result<std::vector<std::uint8_t>, ListingError> ParseListing(std::u16string_view listing) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(listing.size() / 2);
  ListingParser parser;
  parser.Feed(listing, bytes);
  if (std::optional<ListingError> error = parser.Finish()) return *error;
  return bytes;
}

}  // namespace binconv
