#pragma once
// What the one-pass encoder makes of a text, in one comparable value.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/convert.h"
#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/encoder.h"

namespace binconv::test {

// A problem of a tag's shape (unclosed, nested, empty, a ">" alone): at its
// mark, which the listing keeps as typed.
inline bool IsTagShape(ProblemCode kind) {
  return kind == ProblemCode::kUnclosedTag || kind == ProblemCode::kNestedTag ||
         kind == ProblemCode::kEmptyTag || kind == ProblemCode::kStrayTagClose;
}

// A problem inside a tag or of its shape: a listing keeps such a tag as
// typed, for the writer to read, where the encoder refuses it.
inline bool IsKeptAsTyped(ProblemCode kind) {
  return IsTagShape(kind) || kind == ProblemCode::kNotHexInTag || kind == ProblemCode::kOddCount ||
         kind == ProblemCode::kLineBreakInTag || kind == ProblemCode::kUnknownLabel;
}

struct Encoded {
  std::vector<std::uint8_t> bytes;
  std::vector<EncodeProblem> problems = {};

  // "bytes 1A 2B | odd | nocode 1:2 U+03A9 | intag 2:3 U+0047" on one line,
  // so that failures show both sides; other kinds by number ("#3 1:1").
  std::string Describe() const;
};

// Feeds `text` in pieces as long as `next_size` says (all of it at once when
// it is empty), then finishes.
Encoded Encode(const GameTable& table, LineBreaks line_breaks, std::u16string_view text,
               const std::function<std::size_t()>& next_size = {});

// The same through a game's table, with `encoder` (its problems then
// cleared, so that it is ready for the next text).
Encoded Encode(Encoder& encoder, std::u16string_view text,
               const std::function<std::size_t()>& next_size = {});

// The bytes the writer makes of a listing once the marks of its problems are
// taken out, each with the space after it; nullopt when a mark lacks its
// space or the writer refuses what is left.
std::optional<std::vector<std::uint8_t>> BytesWithoutMarks(std::u16string_view listing,
                                                           std::span<const UncodedChar> marks);

// The text of a whole byte string, decoded in one go.
std::u16string DecodeBytes(std::span<const std::uint8_t> bytes, const CharTable& table,
                           DecodeOptions options = {});

// Where a problem points: the first unit of the character at a 1-based line
// and column, lines ending at CR LF, a lone CR or a lone LF, columns counting
// every character of the line (a surrogate pair as one), its line end too.
class Places {
 public:
  explicit Places(std::u16string_view text) : text_(text), size_(text.size()) {
    starts_.push_back(0);
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
      if (text[i] == u'\r' || text[i] == u'\n') starts_.push_back(i + 1);
    }
    starts_.push_back(size_);
  }

  // npos when there is no such unit.
  std::size_t At(std::size_t line, std::size_t column) const {
    if (line == 0 || column == 0 || line >= starts_.size()) return std::u16string_view::npos;
    std::size_t seen = 0;
    for (std::size_t at = starts_[line - 1]; at < starts_[line]; ++at) {
      const bool pair_end = at > starts_[line - 1] && text_[at] >= 0xDC00 && text_[at] <= 0xDFFF &&
                            text_[at - 1] >= 0xD800 && text_[at - 1] <= 0xDBFF;
      if (!pair_end && ++seen == column) return at;
    }
    return std::u16string_view::npos;
  }

 private:
  std::u16string_view text_;
  std::size_t size_;
  std::vector<std::size_t> starts_;
};

// The unit at `at`, joined with a following low surrogate when it is a high one.
char32_t CharAt(std::u16string_view text, std::size_t at);

}  // namespace binconv::test
