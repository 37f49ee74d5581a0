#pragma once
// UTF-8 at the edges of the program (CLI input and output, file names).

#include <cstddef>
#include <cstdint>
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

// Lone surrogates become U+FFFD.
std::string EncodeUtf8(std::u16string_view text);
void AppendUtf8(std::u16string_view text, std::string& out);

}  // namespace binconv
