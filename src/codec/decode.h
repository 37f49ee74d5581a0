#pragma once
// Bytes back to text, the inverse of the encoder: for every byte string b,
// encoding the decoded text gives b again. A code is written as its text
// only where encoding that text gives back exactly the same bytes; every
// other code is written as a tag holding its bytes in hex, e.g. <2117>.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/game_table.h"
#include "chartable/text_index.h"

namespace binconv {

struct DecodeOptions {
  // What byte 0x24 becomes; CR LF keeps the round trip when only CR LF counts
  // as a line break.
  std::u16string_view line_break = u"\n";
  // The text goes to a UTF-8 file, which can't hold a lone surrogate and
  // whose readers drop a leading byte order mark: such codes become tags.
  bool utf8_file = true;
};

// Appends the tag of bytes that have no character: "<", their hex, ">".
void AppendHexTag(std::span<const std::uint8_t> bytes, std::u16string& out);

// Streaming decoder: feed the bytes in chunks of any size and get exactly the
// text of the whole string; a unit cut by the end of a chunk waits for the
// next one. Each unit shows as the table shows it, the longest code first; a line-break code ends the line after its text, a
// control code is its label and then its parameter bytes as one tag, and a
// byte that starts no code is a tag. A code whose text would be typed back
// as other bytes (a tag mark in it, another code for the same text, an end
// token without text) is a tag of its bytes too, so that nothing shown is
// lost when the text is encoded again.
class Decoder {
 public:
  explicit Decoder(GameTable table, DecodeOptions options = {});

  void Feed(std::span<const std::uint8_t> bytes, std::u16string& out);
  // Reads what the last chunk left waiting as the end of the bytes; what is
  // fed next goes on the same string.
  void Flush(std::u16string& out);
  // The same, and the string ends: ready for a new one.
  void Finish(std::u16string& out);

 private:
  void Write(GameTableUnit unit, std::span<const std::uint8_t> bytes, std::u16string& out);
  // Reads units off the front of `bytes` until it is empty or, unless
  // `at_end`, what is left must wait for more; returns the bytes read.
  std::size_t ReadUnits(std::span<const std::uint8_t> bytes, bool at_end, std::u16string& out);

  GameTable table_;
  const GameUnitReader& reader_;
  const GameTextIndex& index_;
  DecodeOptions options_;
  std::vector<std::uint8_t> held_;  // the last chunk's end, which more bytes may continue
  bool at_start_ = true;
};

}  // namespace binconv
