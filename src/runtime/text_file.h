#pragma once
// Line reader for table files: UTF-8 when the file starts with a UTF-8 byte
// order mark, or when the whole file is valid UTF-8 and holds at least one
// multi-byte sequence (as modern editors save it); code page 932 otherwise.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/problem.h"

namespace binconv {

enum class TextEncoding {
  kCp932,    // the default: no mark, and not UTF-8 as below, or plain ASCII
  kUtf8,     // no mark, but valid UTF-8 with at least one multi-byte sequence,
             // or valid for kDamagedUtf8Evidence multi-byte sequences at first
  kUtf8Bom,  // starts with a UTF-8 byte order mark
};

// A file whose first this many multi-byte sequences are valid UTF-8 is UTF-8
// even when a bad sequence follows: reading it in code page 932 would turn
// every cell into mojibake without a word, while reading it as UTF-8 stops at
// the bad sequence and names its line and column. Code page 932 text doesn't
// get that far: random kana and kanji strings of sixteen characters were never
// valid UTF-8 in a test of 100,000.
inline constexpr std::size_t kDamagedUtf8Evidence = 16;

// The encoding a file of these bytes is read in. Code page 932 text with kana
// or kanji is practically never valid UTF-8: its most common lead bytes,
// 0x81-0x9F, can only continue a UTF-8 sequence. Plain ASCII reads the same
// either way and is called code page 932.
TextEncoding DetectTextEncoding(std::string_view bytes);

// What text that is not UTF-8 looks like, so that its message can say how to
// save it: kLooksUtf16 (a UTF-16 byte order mark, or NULs in every other
// byte), kLooksCp932 (the bytes from the bad one on are code page 932 with
// kana or kanji), else kNone. `bytes` hold the bad sequence at `bad`;
// `from_start` when they begin the text.
ProblemDetail NotUtf8Detail(std::string_view bytes, std::size_t bad, bool from_start);


// Takes the next line off the front of `rest` into `line`, without its line
// end. Lines end at CR LF, a lone CR or a lone LF; a last line without a line
// end counts as well, so false only once `rest` is empty.
bool TakeLine(std::string_view& rest, std::string_view& line);

// The 1-based line, as TakeLine counts them, and column in characters of the
// byte at `offset`, the bytes before it being well-formed UTF-8: where a
// message puts a bad sequence.
std::pair<std::size_t, std::size_t> LineAndColumnOf(std::string_view bytes, std::size_t offset);

// The same count for a text read in chunks, so that a bad sequence the
// decoder stops at is placed without holding the text: Feed each chunk the
// decoder took whole, then ask PlaceOf with the chunk it stopped in. A byte
// order mark at the start is not a character of the text.
class TextPlaceCounter {
 public:
  void Feed(std::string_view bytes);
  // The line and column of the byte at `offset` (from the text's first
  // byte): in `chunk`, the bytes that follow those fed, or in the character
  // cut at their end.
  std::pair<std::size_t, std::size_t> PlaceOf(std::size_t offset, std::string_view chunk) const;
  // What the text looks like, from what is sure to be at hand however it
  // is cut: a UTF-16 byte order mark at its start (`chunk` as PlaceOf's).
  ProblemDetail NotUtf8DetailOf(std::string_view chunk) const;

 private:
  struct Count {
    std::size_t line = 1;
    std::size_t columns = 0;  // characters on the line so far
    bool after_cr = false;
    std::size_t fed = 0;
    std::uint32_t first = 0;  // the first three bytes, to find a mark
    std::uint32_t last = 0;   // the last four bytes, to step back into a cut character
    void Add(std::string_view bytes);
  };
  Count count_;
};

// Splits as TakeLine does. The bytes must outlive the reader.
class LineReader {
 public:
  explicit LineReader(std::string_view bytes);

  TextEncoding encoding() const { return encoding_; }

  // Reads the next line without its line end. Returns false at the end.
  // In UTF-8 mode an invalid sequence makes Next return false with
  // bad_utf8() true; bad_utf8_column() then gives the 1-based column of
  // its first byte, in characters, counted after the byte order mark.
  bool Next(std::u16string& line);

  // 1-based number of the line last returned by Next, or of the line that
  // holds the bad sequence once bad_utf8() is true.
  std::size_t line_number() const { return line_number_; }
  bool bad_utf8() const { return bad_utf8_; }
  std::size_t bad_utf8_column() const { return bad_utf8_column_; }

 private:
  std::string_view rest_;
  TextEncoding encoding_ = TextEncoding::kCp932;
  std::size_t line_number_ = 0;
  bool bad_utf8_ = false;
  std::size_t bad_utf8_column_ = 0;
};

}  // namespace binconv
