#pragma once
// The runs of characters in a game file, as decode reads its bytes: a run is
// units that decode shows as text, a line break or a control code with its
// parameters counting as one character each; a code that decode would write
// as a tag ends it, and an end token (or a unit of options.end alone) ends
// it with the end counted in its length. Fed in chunks of any size, so a
// file of any size is read with flat memory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "chartable/game_table.h"

namespace binconv {

// Whether decode writes the unit as text rather than a tag. A text that
// starts with U+FEFF is taken for a tag everywhere, as a run's text may
// begin with it. The plain rule; the scanner's byte classes are derived
// from it.
bool IsCharacterUnit(const GameTable& table, const GameTableUnit& unit);

namespace detail {

// What a unit that begins with a byte is, where one or two bytes tell it.
enum class ByteClass : std::uint8_t {
  kNone,       // decode writes it as a tag: it ends a run
  kCharacter,  // one character
  kLead,       // the first of two bytes; the next decides (ByteClasses::trail)
  kEnd,        // an end: a run ends with it
};

// What a byte does between runs, where only a row of min_chars characters
// matters: an end or a tag ends the row as a character that is too few
// would, a lead byte after which no pair makes a character or an end takes
// the next byte into its tag, and any other lead byte needs the whole rule.
enum SkipClass : std::uint8_t { kSkipNone = 0, kSkipCharacter = 1, kSkipDeadLead = 2, kSkipStop = 3 };

// The plain rule's answers for a table whose every unit is told by its first
// byte, or by its first two: each byte alone is a whole unit, or begins only
// units of two bytes. Other tables are read by the plain rule itself.
struct ByteClasses {
  std::array<ByteClass, 256> first{};
  // Per lead byte, its row in trail: what the pair with each next byte is
  // (kNone, kCharacter or kEnd).
  std::array<std::uint16_t, 256> row_of{};
  std::vector<std::array<ByteClass, 256>> trail;
  // For the walk between runs (SkipClass): what a byte does there.
  std::array<std::uint8_t, 256> skip{};
};

// The classes of `table` with the end byte `end`; nullopt when some unit
// needs more than two bytes to tell, or a byte is a unit alone before some
// bytes and the start of a longer one before others.
std::optional<ByteClasses> DeriveByteClasses(const GameTable& table,
                                             std::optional<std::uint8_t> end);

}  // namespace detail

struct StringRunOptions {
  std::size_t min_chars = 4;  // a run needs at least this many characters
  // When set, a run must end with an end; this byte alone is one, even if
  // the table gives it a character. The run's length counts the end, its
  // bytes don't hold it.
  std::optional<std::uint8_t> end;
  // At most this many of a run's bytes are kept for its text; a longer run
  // (a whole file of characters, say) is still found and measured in full.
  std::size_t keep_bytes = std::size_t{1} << 20;
};

struct StringRun {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;  // in bytes, the end included
  std::uint64_t chars = 0;
  std::span<const std::uint8_t> bytes;  // the run's first bytes, without the end
  bool cut = false;                     // bytes holds less than the run
};

class StringRunFinder {
 public:
  using Found = std::function<void(const StringRun&)>;

  StringRunFinder(GameTable table, StringRunOptions options);

  void Feed(std::span<const std::uint8_t> bytes, const Found& found);
  // Ends the input: a run still open ends there.
  void Finish(const Found& found);

 private:
  // The walk through the byte classes.
  void FeedByClass(std::span<const std::uint8_t> bytes, const Found& found);
  // The plain rule's walk, a unit at a time.
  void FeedByRule(std::span<const std::uint8_t> bytes, const Found& found);
  // Reads the units at the front of `bytes`, which start at `at` in the
  // input; unless `at_end`, stops where more bytes may still change the
  // unit. Returns how many bytes it read.
  std::size_t ReadUnits(std::span<const std::uint8_t> bytes, std::uint64_t at, bool at_end,
                        const Found& found);
  void Close(std::uint64_t end, std::size_t end_size, const Found& found);
  void Keep(const std::uint8_t* from, const std::uint8_t* to);
  // From byte i, outside a run: the first byte the full walk must read, the
  // start of a row of min_chars characters or of the row before a lead byte
  // that may begin a character, or n less the row the chunk ends in.
  std::size_t SkipToRun(const std::uint8_t* data, std::size_t i, std::size_t n) const;

  GameTable table_;
  StringRunOptions options_;
  std::optional<detail::ByteClasses> classes_;
  std::uint64_t position_ = 0;  // of the next byte fed
  bool in_run_ = false;
  std::uint64_t run_start_ = 0;
  std::uint64_t chars_ = 0;
  std::vector<std::uint8_t> kept_;  // at most keep_bytes
  // The walk by class: a lead byte waiting for its second byte.
  std::optional<std::uint8_t> pending_lead_;
  // The walk by rule: the unit a chunk's end cut, with what the next chunks
  // add to it until it can be read: a few bytes, not a chunk.
  std::vector<std::uint8_t> held_;
  std::uint64_t read_at_ = 0;  // the offset of the next byte to read
};

}  // namespace binconv
