#pragma once
// UTF-8 at the edges of the program (CLI input and output, file names).

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/block_size.h"
#include "runtime/result.h"

namespace binconv {

// The byte order mark a UTF-8 file may start with: U+FEFF encoded.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

struct Utf8Error {
  std::size_t offset;  // byte offset of the first byte of the bad sequence
};

// Strict: overlong forms, surrogates and values above U+10FFFF are errors.
// Characters above U+FFFF become surrogate pairs. A byte order mark is kept as
// U+FEFF; whether to drop it is the caller's call.
Result<std::u16string, Utf8Error> DecodeUtf8(std::string_view bytes);

// A whole text file: as DecodeUtf8, but a byte order mark at the very start is
// not part of the text. Error offsets count from the file's first byte.
Result<std::u16string, Utf8Error> DecodeUtf8Text(std::string_view bytes);

// Streaming form of DecodeUtf8 for input of any size; a sequence may be split
// across chunks.
class Utf8Decoder {
 public:
  // Appends the decoded units of `chunk` to `out`. Returns false on the first
  // bad sequence; error() then tells where.
  bool Feed(std::string_view chunk, std::u16string& out);
  // False when the input ended inside a sequence.
  bool Finish();
  Utf8Error error() const { return error_; }

  // Continuation bytes still to come for the character begun at the end of
  // the last chunk; 0 between characters.
  std::size_t missing() const {
    return needed_ == 0 ? 0 : static_cast<std::size_t>(needed_ - seen_);
  }
  // Counts bytes that a caller decoded itself as whole characters, between
  // characters of this decoder, so that later error offsets stay right.
  void Skip(std::size_t bytes) { consumed_ += bytes; }

 private:
  // Takes one byte through the state machine, writing a finished character at
  // `w`; false on a bad sequence.
  bool Step(std::uint8_t b, std::size_t offset, char16_t*& w);
  // Records the current sequence as the bad one; always returns false.
  bool Fail();

  bool failed_ = false;
  char32_t partial_ = 0;
  int needed_ = 0;
  int seen_ = 0;
  char32_t min_ = 0;
  std::size_t consumed_ = 0;
  std::size_t sequence_start_ = 0;
  Utf8Error error_{0};
};

namespace detail {

// The eight bytes at `p`, the first in the low eight bits.
inline std::uint64_t LoadLittleEndian64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, p, sizeof v);
  } else {
    for (int k = 0; k < 8; ++k) v |= std::uint64_t{p[k]} << (8 * k);
  }
  return v;
}

// The unit of a three-byte sequence held in the low 24 bits of `v`.
constexpr std::uint32_t ThreeByteUnit(std::uint64_t v) {
  return static_cast<std::uint32_t>((v & 0x0Fu) << 12 | (v >> 2 & 0x0FC0u) | (v >> 16 & 0x3Fu));
}

// Bit 0 is set when a three-byte unit is overlong (top five bits 0) or a
// surrogate (top five bits 11011).
constexpr std::uint32_t BadThreeByteBits(std::uint32_t c) { return 0x08000001u >> (c >> 11); }

struct ShortSequence {
  char16_t unit;
  unsigned length;  // 0: not a whole, well-formed sequence of one to three bytes
};

// The sequence at the start of the bytes of `v` (the first in the low eight
// bits) when it is a whole, well-formed sequence of one to three bytes.
constexpr ShortSequence DecodeShortSequence(std::uint64_t v) {
  if ((v & 0xC0C0F0u) == 0x8080E0u) {
    const std::uint32_t c = ThreeByteUnit(v);
    if (BadThreeByteBits(c) & 1u) return {0, 0};
    return {static_cast<char16_t>(c), 3};
  }
  if ((v & 0x80u) == 0) return {static_cast<char16_t>(v & 0x7Fu), 1};
  if ((v & 0xC0E0u) == 0x80C0u && (v & 0x1Eu) != 0) {
    return {static_cast<char16_t>((v & 0x1Fu) << 6 | (v >> 8 & 0x3Fu)), 2};
  }
  return {0, 0};
}

// The fast way through UTF-8: walks the whole, well-formed sequences of one to
// three bytes from `i` on while eight bytes are left to read, for at most
// `steps` units: each call of `one` counts one unit, each call of `pair` two,
// so a caller's buffer of `steps` times its most per unit always suffices.
// Two three-byte sequences in a row, the bulk of Japanese text, are offered
// to `pair(c0, c1)` at once when two units are left; it returns false to
// have them taken one by one. `one(unit, length, at)` takes the unit of the
// `length`-byte sequence at `at` and returns how many bytes it consumed, 0 to
// stop there.
// Returns where the walk stopped; `blocked` is set when a sequence it can't
// take or a callback stopped it. Anything it leaves goes to Utf8Decoder, the
// plain rule, which it is tested against.
template <class Pair, class One>
inline std::size_t WalkUtf8(const std::uint8_t* p, std::size_t i, std::size_t n,
                            std::size_t steps, bool& blocked, Pair&& pair, One&& one) {
  constexpr std::uint64_t kMask = 0xC0C0F0u;
  constexpr std::uint64_t kPattern = 0x8080E0u;
  for (std::size_t k = 0; k < steps && n - i >= 8; ++k) {
    const std::uint64_t v = LoadLittleEndian64(p + i);
    if (steps - k >= 2 && (v & (kMask << 24 | kMask)) == (kPattern << 24 | kPattern)) {
      const std::uint32_t c0 = ThreeByteUnit(v);
      const std::uint32_t c1 = ThreeByteUnit(v >> 24);
      if (((BadThreeByteBits(c0) | BadThreeByteBits(c1)) & 1u) == 0 &&
          pair(static_cast<char16_t>(c0), static_cast<char16_t>(c1))) {
        i += 6;
        ++k;
        continue;
      }
    }
    const ShortSequence sequence = DecodeShortSequence(v);
    const std::size_t taken = sequence.length == 0 ? 0 : one(sequence.unit, sequence.length, p + i);
    if (taken == 0) {
      blocked = true;
      return i;
    }
    i += taken;
  }
  return i;
}

}  // namespace detail

// Text read from UTF-8 bytes in pieces of any size, for a streaming
// converter: a byte order mark at the very start is dropped, and between
// characters the converter may take a run of bytes straight (`run(bytes)`
// returns how many it took, or kRunClosed) before the rest is decoded and handed to
// `feed(units)`. The error offset counts from the first byte of the text.
class Utf8TextInput {
 public:
  // What `run` returns when it can take nothing for a while (the text is
  // short yet, or it is turned off): the whole piece is then decoded.
  static constexpr std::size_t kRunClosed = static_cast<std::size_t>(-1);

  template <class Run, class Feed>
  bool Take(std::string_view bytes, Run&& run, Feed&& feed) {
    failed_ = false;
    while (!bytes.empty()) {
      bool closed = at_start_;
      if (!at_start_ && decoder_.missing() == 0) {
        const std::size_t taken = run(bytes);
        closed = taken == kRunClosed;
        if (!closed) {
          decoder_.Skip(taken);
          bytes.remove_prefix(taken);
          if (bytes.empty()) break;
        }
      }
      // Once the direct way has stopped, a short stretch is decoded before
      // it is offered the rest again.
      const std::size_t step = closed ? bytes.size() : std::min(bytes.size(), kDecodeStep);
      units_.clear();
      const bool good = decoder_.Feed(bytes.substr(0, step), units_);
      bytes.remove_prefix(step);
      std::u16string_view text = units_;
      if (at_start_ && !text.empty()) {
        at_start_ = false;
        if (text.front() == u'\uFEFF') text.remove_prefix(1);
      }
      // What came before a bad sequence is still handed on.
      if (!text.empty()) feed(text);
      if (!good) return false;
    }
    return true;
  }
  // False when the text ended inside a sequence; ready for a new text then.
  bool Finish();
  Utf8Error error() const { return failed_ ? error_ : decoder_.error(); }

 private:
  Utf8Decoder decoder_;
  bool failed_ = false;  // the last text ended inside a sequence
  Utf8Error error_{0};
  bool at_start_ = true;
  std::u16string units_;
};

// The 1-based column of the byte at `at` of a line of UTF-8 that is
// well-formed before it: the characters before it, plus one, as ColumnOf
// counts them in UTF-16.
inline std::size_t ColumnOfByte(std::string_view line, std::size_t at) {
  std::size_t column = 1;
  for (std::size_t i = 0; i < at && i < line.size(); ++i) {
    column += (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80;
  }
  return column;
}

// Lone surrogates become U+FFFD.
std::string EncodeUtf8(std::u16string_view text);
void AppendUtf8(std::u16string_view text, std::string& out);

}  // namespace binconv
