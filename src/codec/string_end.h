#pragma once
// Where a string of a game ends and its text, read through its encoding
// (GameTable: a game's own .tbl, or the two table files compiled into it),
// one unit after another, so that no job asks which source it has.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "chartable/game_table.h"
#include "codec/decode.h"
#include "codec/encoder.h"

namespace binconv {

// The bytes a string ends with when a script gives no end of its own: the
// byte `end` when given, else the encoding's first end token; nullopt when
// there is neither.
std::optional<std::vector<std::uint8_t>> EndBytesOf(const GameTable& encoding,
                                                    std::optional<std::uint8_t> end);

// Where a string of a game ends, read as the game reads it, one unit after
// another: at an end token, or at a unit of the byte `end` alone when it is
// given. A control's parameter bytes never end a string, nor does a byte
// that a longer code takes.
class StringEndReader {
 public:
  StringEndReader(const GameTable& encoding, std::optional<std::uint8_t> end);

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
  bool at_unit_start() const { return held_.empty(); }

 private:
  std::optional<Ended> Read(bool at_end);

  GameTable game_;
  std::optional<std::uint8_t> end_;
  std::vector<std::uint8_t> held_;  // a unit not yet known
};

// Decodes one string: its bytes up to its end, as StringEndReader finds it;
// the end and whatever follows it are left out.
class StringDecoder {
 public:
  StringDecoder(const GameTable& encoding, std::optional<std::uint8_t> end,
                DecodeOptions options = {});

  void Feed(std::span<const std::uint8_t> bytes, std::u16string& out);
  void Finish(std::u16string& out);
  // Whether the string's end has been read.
  bool ended() const { return ended_; }

 private:
  void End(StringEndReader::Ended ended, std::u16string& out);

  Decoder decoder_;
  StringEndReader ends_;
  // The last bytes fed, which an end found later may still take.
  std::vector<std::uint8_t> pending_;
  bool ended_ = false;
};

}  // namespace binconv
