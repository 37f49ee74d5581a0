#pragma once
// Text to code listing through a game's own table (a .tbl): the bytes that
// GameEncoder writes, each as its two hex digits and a space, as the listing
// of the tables writes a lead code and its code; a line-break code ends its
// line with CR LF instead of the space. The writer makes exactly those bytes
// of it.
//
// Each problem of the text stays in the listing where it was found, marked
// as the tables' listing marks a character without a code: the character
// itself, or kProblemMark for a problem without one (a control code's missing
// parameter tag, an odd count of hex digits in a tag, a line break with no
// code). A marked listing is not to be written as it is.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/game_table.h"
#include "codec/convert.h"
#include "codec/encode.h"
#include "codec/game_encode.h"
#include "runtime/utf8.h"

namespace binconv {

// Stands in the listing for a problem that has no character of its own; not
// a hex digit, so the writer stops at it.
inline constexpr char16_t kProblemMark = u'\uFF1F';  // ？

// Streaming: feed the text in chunks split anywhere and get the listing of
// the whole text. The table must outlive the converter.
class GameCodeConverter {
 public:
  explicit GameCodeConverter(const GameTable& table, LineBreaks line_breaks = LineBreaks::kCrLf);

  void Feed(std::u16string_view chunk, std::u16string& out);
  // Ends the text; ready for a new text then.
  void Finish(std::u16string& out);
  // The same for a text in UTF-8 with its listing in UTF-8; false at the
  // first sequence that is not well-formed UTF-8.
  bool FeedUtf8(std::string_view bytes, std::string& listing);
  bool FinishUtf8(std::string& listing);
  Utf8Error utf8_error() const { return utf8_.error(); }

  // Appends the mark of every problem to `sink` as the listing is made.
  void set_uncoded(std::vector<UncodedChar>* sink) { uncoded_ = sink; }
  // Problems of the text so far, in the order found.
  const std::vector<EncodeProblem>& problems() const { return encoder_.problems(); }
  void clear_problems();

 private:
  // Lists what the encoder settled since the last step: each problem's mark
  // and each unit's bytes, in the order the encoder settled them.
  void ListSettled(std::u16string& out);
  void PutMark(const EncodeProblem& problem, std::u16string& out);
  void PutBytes(std::span<const std::uint8_t> bytes, std::u16string& out);

  const GameTable& table_;
  GameEncoder encoder_;
  std::vector<std::uint8_t> bytes_;   // of the current step
  std::vector<UnitOffset> offsets_;   // of the current step's units
  std::size_t problems_listed_ = 0;   // of encoder_.problems(), already marked
  std::vector<UncodedChar>* uncoded_ = nullptr;
  std::size_t listed_ = 0;     // listing units written before the current Feed
  std::size_t out_start_ = 0;  // where the current Feed or Finish began in its `out`
  detail::Utf8Listing utf8_;
};

// The listing of a whole text; with `uncoded`, the mark of every problem is
// appended to it, and with `problems`, every problem.
std::u16string ConvertToCode(std::u16string_view text, const GameTable& table,
                             LineBreaks line_breaks = LineBreaks::kCrLf,
                             std::vector<UncodedChar>* uncoded = nullptr,
                             std::vector<EncodeProblem>* problems = nullptr);

}  // namespace binconv
