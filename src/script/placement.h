#pragma once
// Putting bytes into an existing file: where they go, the room they may take
// and what fills the rest of it; and, when a text is too long, the first
// character (or listing pair) that no longer fits, so the translator knows
// where to shorten.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "chartable/char_table.h"
#include "codec/convert.h"
#include "codec/string_end.h"
#include "runtime/file.h"
#include "runtime/problem.h"

namespace binconv {

struct Placement {
  std::uint64_t offset = 0;
  std::optional<std::uint64_t> room;  // none: the bytes take what they need
  std::optional<std::uint8_t> fill;   // none: the rest of the room keeps its bytes
};

// Whether `bytes` bytes may go to `place` in a file of `file_size` bytes:
// kPlacePastEnd when the room (or, without one, the bytes) reaches past the
// end of the file, which is reported before kPlaceTooLong.
std::optional<Problem> CheckPlacement(const Placement& place, std::uint64_t bytes,
                                      std::uint64_t file_size);

// The patch that puts `bytes` at the place and, when a room and a fill are
// both given, the fill byte over the rest of the room: a run, never held in
// memory, so a room as large as a number can say costs nothing.
FilePatch PatchForRoom(const Placement& place, std::span<const std::uint8_t> bytes);

// These name a character of a text or listing in a problem: its 1-based
// line and column in characters (BeginsColumn), lines ending at CR LF, a lone
// CR or a lone LF, and the character, a whole surrogate pair as one. Each
// returns false, leaving the problem as it was, when there is none.

// The first character of `text` whose bytes don't all fit into `room` bytes,
// as the encoder encodes it, leaving out characters without a code; a tag's
// bytes are its opening mark's. None when the whole text fits.
bool PlaceFirstCharPastRoom(Problem& problem, std::u16string_view text, const GameTable& encoding,
                            LineBreaks line_breaks, std::uint64_t room);

// The character of `text` whose unit's bytes hold byte `byte` of its
// encoding, from where the encoder said each unit went (Encoder::
// set_offsets); none when no unit's bytes begin at or before it.
bool PlaceByte(Problem& problem, std::u16string_view text, std::span<const UnitOffset> offsets,
               std::size_t byte);

// The first digit of the first pair of a valid listing that doesn't fit into
// `room` bytes; none when the whole listing fits.
bool PlaceFirstPairPastRoom(Problem& problem, std::u16string_view listing, std::uint64_t room);

}  // namespace binconv
