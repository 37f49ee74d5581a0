#include "script/placement.h"

#include <algorithm>
#include <iterator>

#include "chartable/encoding.h"
#include "codec/encoder.h"
#include "codec/encode.h"
#include "codec/listing.h"
#include "runtime/utf16.h"

namespace binconv {
namespace {

// The smallest prefix length k in [0, n] for which `past(k)` holds, given that
// it holds for n and, once it holds, for every longer prefix.
template <class Past>
std::size_t SmallestPrefix(std::size_t n, Past past) {
  std::size_t low = 0;
  std::size_t high = n;
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (past(mid)) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  return low;
}

bool PlaceUnit(Problem& problem, std::u16string_view text, std::size_t index) {
  const char16_t ch = text[index];
  // The LF of a CR LF belongs to the line break at its CR, the low half of a
  // pair to its high half.
  if ((ch == u'\n' && index > 0 && text[index - 1] == u'\r') ||
      (IsLowSurrogate(ch) && index > 0 && IsHighSurrogate(text[index - 1]))) {
    return PlaceUnit(problem, text, index - 1);
  }
  std::size_t line = 1;
  std::size_t column = 0;
  for (std::size_t i = 0; i < index; ++i) {
    const char16_t before = text[i];
    if (before == u'\n' && i > 0 && text[i - 1] == u'\r') continue;
    if (before == u'\r' || before == u'\n') {
      ++line;
      column = 0;
    } else {
      column += BeginsColumn(i > 0 ? text[i - 1] : char16_t{0}, before);
    }
  }
  problem.line = line;
  problem.column = column + 1;
  problem.ch = ch;
  if (IsHighSurrogate(ch) && index + 1 < text.size() && IsLowSurrogate(text[index + 1])) {
    problem.ch = CombineSurrogates(ch, text[index + 1]);
  }
  return true;
}

// The unit of `text` at `place`, as the encoder counts places; the text's
// size when no unit is there.
std::size_t UnitAtPlace(std::u16string_view text, detail::TextPlace place) {
  detail::TextPlace at;
  char16_t last = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t ch = text[i];
    if (ch == u'\n' && i > 0 && text[i - 1] == u'\r') continue;  // its CR's line break
    const detail::TextPlace here = detail::StepPlace(at, last, ch);
    if (here.line == place.line && here.column == place.column) return i;
  }
  return text.size();
}

}  // namespace

bool PlaceByte(Problem& problem, std::u16string_view text, std::span<const UnitOffset> offsets,
               std::size_t byte) {
  // The last unit whose bytes begin at or before `byte`.
  const auto after = std::upper_bound(offsets.begin(), offsets.end(), byte,
                                      [](std::size_t b, const UnitOffset& o) { return b < o.byte; });
  if (after == offsets.begin()) return false;
  const std::size_t unit = UnitAtPlace(text, std::prev(after)->place);
  if (unit >= text.size()) return false;
  return PlaceUnit(problem, text, unit);
}

std::optional<Problem> CheckPlacement(const Placement& place, std::uint64_t bytes,
                                      std::uint64_t file_size) {
  const std::uint64_t length = place.room.value_or(bytes);
  if (place.offset > file_size || length > file_size - place.offset) {
    // The last byte, as a plan writes a range; past 2^64 the largest value,
    // which no file reaches. An empty range names its start.
    const std::uint64_t end = length > UINT64_MAX - place.offset ? UINT64_MAX
                              : length == 0                       ? place.offset
                                                                  : place.offset + length - 1;
    Problem problem{ProblemCode::kPlacePastEnd};
    problem.at = place.offset;
    problem.end = end;
    problem.game_size = file_size;
    return problem;
  }
  if (place.room && bytes > *place.room) {
    Problem problem{ProblemCode::kPlaceTooLong};
    problem.bytes = bytes;
    problem.room = *place.room;
    return problem;
  }
  return std::nullopt;
}

FilePatch PatchForRoom(const Placement& place, std::span<const std::uint8_t> bytes) {
  FilePatch patch{place.offset, bytes};
  if (place.room && place.fill && bytes.size() < *place.room) {
    patch.fill_count = *place.room - bytes.size();
    patch.fill = *place.fill;
  }
  return patch;
}

bool PlaceFirstCharPastRoom(Problem& problem, std::u16string_view text, const GameTable& encoding,
                            LineBreaks line_breaks, std::uint64_t room) {
  // Each unit's bytes are known from one encoding: a code, or a tag whole.
  Encoder encoder(encoding, line_breaks);
  std::vector<UnitOffset> offsets;
  encoder.set_offsets(&offsets);
  std::vector<std::uint8_t> bytes;
  encoder.Feed(text, bytes);
  encoder.Finish(bytes);
  if (bytes.size() <= room) return false;
  return PlaceByte(problem, text, offsets, static_cast<std::size_t>(room));
}

bool PlaceFirstPairPastRoom(Problem& problem, std::u16string_view listing, std::uint64_t room) {
  // Digits kept by a prefix: a half pair counts as one, so the shortest
  // prefix with more than 2 * room digits ends on the pair's first digit.
  std::vector<std::uint8_t> bytes;
  auto digits = [&](std::size_t k) {
    ListingParser parser;
    bytes.clear();
    parser.Feed(listing.substr(0, k), bytes);
    const std::optional<Problem> error = parser.Finish();
    return 2 * static_cast<std::uint64_t>(bytes.size()) +
           (error && error->code == ProblemCode::kListingOddCount ? 1 : 0);
  };
  if (digits(listing.size()) <= 2 * room) return false;
  const std::size_t k =
      SmallestPrefix(listing.size(), [&](std::size_t n) { return digits(n) > 2 * room; });
  return PlaceUnit(problem, listing, k - 1);
}

}  // namespace binconv
