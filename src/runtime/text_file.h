#pragma once
// Line reader for table files: code page 932 by default, UTF-8 when the file
// starts with a UTF-8 byte order mark.

#include <cstddef>
#include <string>
#include <string_view>

namespace binconv {

enum class TextEncoding { kCp932, kUtf8 };

// Splits at CR LF, a lone CR or a lone LF; a last line without a line end is
// read as well. The bytes must outlive the reader.
class LineReader {
 public:
  explicit LineReader(std::string_view bytes);

  TextEncoding encoding() const { return encoding_; }

  // Reads the next line without its line end. Returns false at the end.
  // In UTF-8 mode an invalid sequence makes Next return false with
  // bad_utf8() true; bad_utf8_column() then gives the 1-based byte column,
  // counted after the byte order mark on the first line.
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
