#pragma once
// The encoding a command works in, from either source: the fixed encoding of
// the two table files, or a game's own .tbl. The dump and insert jobs, decode
// and encode take it and get from it the encoder, the decoder and the reader
// of where a string ends, so that no job asks which source it has.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "chartable/char_table.h"
#include "chartable/game_table.h"
#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/game_encode.h"

namespace binconv {

class TextCodec {
 public:
  // The source must outlive the encoding.
  explicit TextCodec(const CharTable& table) : table_(&table) {}
  explicit TextCodec(const GameTable& game) : game_(&game) {}

  // Exactly one of the two is set.
  const CharTable* table() const { return table_; }
  const GameTable* game() const { return game_; }

  // The bytes a string ends with when a script gives no end of its own: the
  // byte `end` when given, else the .tbl's first end token; nullopt when
  // there is neither.
  std::optional<std::vector<std::uint8_t>> EndBytes(std::optional<std::uint8_t> end) const;

 private:
  const CharTable* table_ = nullptr;
  const GameTable* game_ = nullptr;
};

// Text to bytes in either encoding, as Encoder and GameEncoder do it.
class TextEncoder {
 public:
  TextEncoder(const TextCodec& encoding, LineBreaks line_breaks);

  void Feed(std::u16string_view chunk, std::vector<std::uint8_t>& out);
  void Finish(std::vector<std::uint8_t>& out);
  bool FeedUtf8(std::string_view bytes, std::vector<std::uint8_t>& out);
  bool FinishUtf8(std::vector<std::uint8_t>& out);
  Utf8Error utf8_error() const;
  const std::vector<EncodeProblem>& problems() const;
  void clear_problems();
  // Hex digits that didn't pair up; a .tbl's encoder reports them as a
  // problem of the tag instead.
  bool odd_count() const;
  // As Encoder's; a .tbl's encoder always leaves out a character without a code.
  void set_drop_problems(bool drop);
  // As GameEncoder's; the two table files' encoder keeps none.
  void set_offsets(std::vector<UnitOffset>* offsets);
  // As Encoder's: a .tbl has no pages to count.
  void set_counts(EncodeCounts* counts);

 private:
  std::variant<Encoder, GameEncoder> encoder_;
};

// Bytes to text in either encoding, as Decoder and GameDecoder do it.
class TextDecoder {
 public:
  TextDecoder(const TextCodec& encoding, DecodeOptions options = {});

  void Feed(std::span<const std::uint8_t> bytes, std::u16string& out);
  void Finish(std::u16string& out);

 private:
  std::variant<Decoder, GameDecoder> decoder_;
};

// Where a string of a game ends, read as the game reads it, one unit after
// another: at the byte `end` where a unit starts, or, with a .tbl, at an end
// token, or at a unit of the byte `end` alone when it is given. A control's
// parameter bytes never end a string.
class StringEndReader {
 public:
  StringEndReader(const TextCodec& encoding, std::optional<std::uint8_t> end);

  // The string's next byte. Once the string's end is known, its size and how
  // many of the bytes fed lie past it, for an end that was known only when
  // a longer code could no longer match.
  struct Ended {
    std::size_t size = 0;  // the end unit's bytes
    std::size_t past = 0;  // bytes fed after the end unit
  };
  std::optional<Ended> Feed(std::uint8_t byte);
  // The string's bytes run out: whether what is held ends it.
  std::optional<Ended> Finish();
  // Whether the next byte starts a unit: none is waiting for more bytes.
  bool at_unit_start() const { return game_ == nullptr ? !units_.InsideUnit() : held_.empty(); }

 private:
  std::optional<Ended> Read(bool at_end);

  const GameTable* game_;
  std::optional<std::uint8_t> end_;
  UnitBounds units_;
  std::vector<std::uint8_t> held_;  // a .tbl's unit not yet known
};

// Decodes one string: its bytes up to its end, as StringEndReader finds it;
// the end and whatever follows it are left out.
class StringDecoder {
 public:
  StringDecoder(const TextCodec& encoding, std::optional<std::uint8_t> end,
                DecodeOptions options = {});

  void Feed(std::span<const std::uint8_t> bytes, std::u16string& out);
  void Finish(std::u16string& out);
  // Whether the string's end has been read.
  bool ended() const { return ended_; }

 private:
  void End(StringEndReader::Ended ended, std::u16string& out);

  TextDecoder decoder_;
  StringEndReader ends_;
  // The last bytes fed, which an end found later may still take.
  std::vector<std::uint8_t> pending_;
  bool ended_ = false;
};

}  // namespace binconv
