#pragma once
// The runs of characters in a game file, as decode reads its bytes: a lead
// byte and the byte after it are one character of its page, 24 (line break)
// and 50 (space) are characters, and a code that decode would write as a tag
// ends a run. Fed in chunks of any size, so a file of any size is read with
// flat memory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "chartable/byte_reader.h"
#include "chartable/char_table.h"
#include "chartable/encoding.h"
#include "chartable/game_table.h"
#include "codec/text_codec.h"

namespace binconv {

// Whether decode writes the unit as a character rather than a tag. U+FEFF is
// taken for a tag everywhere: a run's text may begin with it. The plain rule;
// the scanner's byte classes are derived from it.
bool IsCharacterUnit(const ProducibleCells& cells, const GameUnit& unit);

namespace detail {

// What a byte does where a unit begins.
enum class ByteClass : std::uint8_t {
  kNone,       // decode writes it as a tag: it ends a run
  kCharacter,  // one byte, one character (24 and 50 included)
  kLead,       // the first of two bytes; the next decides
  kEnd,        // the --end byte: a run ends with it
};

// What a byte does between runs, where only a row of min_chars characters
// matters: an end byte or a tag ends the row as a character that is too few
// would, a lead byte of a page without characters takes the next byte into
// its tag, and one of a page with characters needs the whole rule.
enum SkipClass : std::uint8_t { kSkipNone = 0, kSkipCharacter = 1, kSkipDeadLead = 2, kSkipStop = 3 };

struct ByteClasses {
  std::array<ByteClass, 256> first{};
  // Per page, whether the byte after its lead byte makes a character.
  std::array<std::array<bool, 256>, kPages> trail{};
  std::array<std::uint8_t, 256> page_of_lead{};
  // For the walk between runs (SkipClass): what a byte does there.
  std::array<std::uint8_t, 256> skip{};
};

ByteClasses DeriveByteClasses(const ProducibleCells& cells, std::optional<std::uint8_t> end);

}  // namespace detail

struct StringRunOptions {
  std::size_t min_chars = 4;  // a run needs at least this many characters
  // When set, a run must end with this byte, which ends it where a unit
  // begins even if the tables give it a character; the run's length counts
  // it, its bytes don't hold it.
  std::optional<std::uint8_t> end;
  // At most this many of a run's bytes are kept for its text; a longer run
  // (a whole file of characters, say) is still found and measured in full.
  std::size_t keep_bytes = std::size_t{1} << 20;
};

struct StringRun {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;  // in bytes, the end byte included
  std::uint64_t chars = 0;
  std::span<const std::uint8_t> bytes;  // the run's first bytes, without the end byte
  bool cut = false;                     // bytes holds less than the run
};

class StringRunFinder {
 public:
  using Found = std::function<void(const StringRun&)>;

  StringRunFinder(const CharTable& table, StringRunOptions options);

  void Feed(std::span<const std::uint8_t> bytes, const Found& found);
  // Ends the input: a run still open ends there.
  void Finish(const Found& found);

 private:
  void Close(std::uint64_t end, bool with_end_byte, const Found& found);
  void Keep(const std::uint8_t* from, const std::uint8_t* to);
  // From byte i, outside a run: the first byte the full walk must read, the
  // start of a row of min_chars characters or of the row before a lead byte
  // that may begin a character, or n less the row the chunk ends in.
  std::size_t SkipToRun(const std::uint8_t* data, std::size_t i, std::size_t n) const;
  StringRunOptions options_;
  detail::ByteClasses classes_;
  std::uint64_t position_ = 0;  // of the next byte fed
  bool in_run_ = false;
  std::uint64_t run_start_ = 0;
  std::uint64_t chars_ = 0;
  std::uint8_t pending_page_ = 0;   // a lead byte waits for its second byte
  std::vector<std::uint8_t> kept_;  // at most keep_bytes
};

// The same through a game's own table (a .tbl): a run is units that are
// codes of the table, a control code with its parameters and a line break
// counting as one character each; a byte of no code ends it, and an end token
// (or a unit of options.end alone) ends it with the end counted in its
// length. With options.end a run must end so.
class GameStringRunFinder {
 public:
  using Found = StringRunFinder::Found;

  // The table must outlive the finder.
  GameStringRunFinder(const GameTable& table, StringRunOptions options);

  void Feed(std::span<const std::uint8_t> bytes, const Found& found);
  void Finish(const Found& found);

 private:
  // Reads the units at the front of `bytes`, which start at `at` in the
  // input; unless `at_end`, stops where more bytes may still change the
  // unit. Returns how many bytes it read.
  std::size_t ReadUnits(std::span<const std::uint8_t> bytes, std::uint64_t at, bool at_end,
                        const Found& found);
  void Close(std::uint64_t end, std::size_t end_size, const Found& found);

  const GameTable& table_;
  const GameUnitReader& reader_;
  StringRunOptions options_;
  // The unit a chunk's end cut, with what the next chunks add to it until it
  // can be read: a few bytes, not a chunk.
  std::vector<std::uint8_t> held_;
  std::uint64_t held_at_ = 0;  // the offset of the next byte to read
  bool in_run_ = false;
  std::uint64_t run_start_ = 0;
  std::uint64_t chars_ = 0;
  std::vector<std::uint8_t> kept_;
};

// The run finder of either kind of encoding: a .tbl's, or else the table
// files'. The encoding's tables must outlive it.
class AnyStringRunFinder {
 public:
  AnyStringRunFinder(const TextCodec& encoding, const StringRunOptions& options);
  void Feed(std::span<const std::uint8_t> bytes, const StringRunFinder::Found& found);
  void Finish(const StringRunFinder::Found& found);

 private:
  std::variant<StringRunFinder, GameStringRunFinder> finder_;
};

}  // namespace binconv
