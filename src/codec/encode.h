#pragma once
// Text straight to bytes in one pass: exactly the bytes that ConvertToCode
// followed by ParseListing give, without building the listing. Characters that
// would leave something other than hex digits in the listing are collected as
// problems with their place in the text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chartable/char_table.h"
#include "codec/convert.h"
#include "codec/detail/tag_syntax.h"
#include "codec/listing.h"
#include "runtime/problem.h"

namespace binconv {

struct EncodeProblem {
  // kNoCode: a character outside tags that no cell holds; kNotHexInTag: a
  // character inside a tag that is not a hex digit or separator; a broken
  // tag (detail/tag_syntax.h) at its mark.
  using Kind = ProblemCode;
  Kind kind;
  std::size_t line;    // 1-based line of the text
  std::size_t column;  // 1-based column in characters (BeginsColumn)
  char32_t ch;         // a whole surrogate pair as one character
};

// The problem as every layer reports it, in the text named `file`.
inline Problem ToProblem(const EncodeProblem& found, std::string file) {
  Problem problem{found.kind, std::move(file), found.line, found.column};
  problem.ch = found.ch;
  return problem;
}

// What a text held, counted as it was encoded.
struct EncodeCounts {
  std::array<std::size_t, kPages> by_page{};  // characters that got a code, by its page
  std::size_t line_breaks = 0;
  std::size_t spaces = 0;
  std::size_t tag_digits = 0;  // hex digits written in tags
};

// The table must not change while the encoder is in use.
class Encoder {
 public:
  explicit Encoder(const CharTable& table, LineBreaks line_breaks = LineBreaks::kCrLf);

  void Feed(std::u16string_view chunk, std::vector<std::uint8_t>& out);
  void Finish(std::vector<std::uint8_t>& out);

  // The same for a text in UTF-8; a byte order mark at the start is not part
  // of the text. False at the first sequence that is not well-formed UTF-8,
  // with utf8_error() telling its offset; what came before it is encoded.
  bool FeedUtf8(std::string_view bytes, std::vector<std::uint8_t>& out);
  bool FinishUtf8(std::vector<std::uint8_t>& out);
  Utf8Error utf8_error() const { return input_.error(); }

  // Leaves the character of every problem out, writing what the text without
  // it gives: the bytes of everything else stay as they were (a CR and an LF
  // on either side of it don't become one line break). Problems are still
  // reported.
  void set_drop_problems(bool drop) { drop_problems_ = drop; }
  // Counts what the text holds into `counts` (none: stop counting).
  void set_counts(EncodeCounts* counts) { counts_ = counts; }

  // Problems of the text so far, or of the last finished text; a CR LF inside a
  // tag is reported as kLineBreakMark at the place of its CR. Lines end at
  // CR LF, a lone CR or a lone LF.
  const std::vector<EncodeProblem>& problems() const { return problems_; }
  // Forgets the problems seen so far, once the caller has dealt with them.
  void clear_problems() { problems_.clear(); }
  // True when the digits did not pair up: the listing would have an odd count.
  bool odd_count() const { return odd_count_; }

 private:
  friend struct detail::Utf8RunProbe;
  struct Sink;
  // The fast path straight from UTF-8 bytes: encodes the whole characters at
  // the start of `utf8` that need no state and returns how many bytes they
  // took.
  std::size_t RunUtf8(std::string_view utf8, std::vector<std::uint8_t>& out);
  // Fills code_bytes_ on the first use of a fast path.
  void MakeCodeBytes();
  void StartText();

  detail::EncodingCore core_;
  std::vector<std::uint32_t> code_bytes_;  // for the fast paths, made on their first use
  std::vector<EncodeProblem> problems_;
  bool odd_count_ = false;
  bool finished_ = false;  // the next Feed starts a new text
  int pending_nibble_ = -1;
  detail::TagSyntax tags_;
  bool drop_problems_ = false;
  EncodeCounts* counts_ = nullptr;
  Utf8TextInput input_;
};

}  // namespace binconv
