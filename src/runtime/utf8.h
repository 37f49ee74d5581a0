#pragma once
// UTF-8 at the edges of the program (CLI input and output, file names).

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/result.h"

namespace binconv {

struct Utf8Error {
  std::size_t offset;  // byte offset of the first byte of the bad sequence
};

// Strict: overlong forms, surrogates and values above U+10FFFF are errors.
// Characters above U+FFFF become surrogate pairs. A byte order mark is kept as
// U+FEFF; whether to drop it is the caller's call.
Result<std::u16string, Utf8Error> DecodeUtf8(std::string_view bytes);

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
  // Counts bytes that the caller decoded itself as whole characters, between
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

}  // namespace detail

// Lone surrogates become U+FFFD.
std::string EncodeUtf8(std::u16string_view text);
void AppendUtf8(std::u16string_view text, std::string& out);

}  // namespace binconv
