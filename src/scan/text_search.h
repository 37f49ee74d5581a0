#pragma once
// Searching a game for texts. A table of codes for several characters
// (DTE/MTE), of two codes for one text or of aliases writes one text as
// different bytes by its neighbours, so a text is found by decoding: from
// every offset, code by code, while what the codes show still matches.
// Where every text has one spelling, its bytes alone are looked for
// (SearchBytes), which gives the same places faster.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "codec/string_end.h"
#include "runtime/result.h"
#include "scan/byte_scan.h"

namespace binconv {

// Why a text can't be searched for.
struct SearchTextFault {
  enum class Kind {
    kBadUtf8,   // the text is not valid UTF-8
    kProblem,   // a character can't be encoded; `problem` is the first
    kOddCount,  // the hex digits of its tags do not pair up
    kNoBytes,   // it gives no bytes to search for
  };
  Kind kind;
  std::size_t text = 0;  // index into the texts
  std::optional<EncodeProblem> problem{};
};

// The bytes of each text (UTF-8) in the encoding, for SearchBytes; the first
// fault otherwise. Problems that `passes` (text index, problem) lets pass are
// no fault; a text with one may give no bytes.
Result<std::vector<std::vector<std::uint8_t>>, SearchTextFault> EncodeSearchTexts(
    const GameTable& encoding, LineBreaks line_breaks, std::span<const std::string> texts,
    const std::function<bool(std::size_t, const EncodeProblem&)>& passes = {});

class TextSearch;

// Every place where one of the texts occurs, in file order and, at one
// offset, in the texts' order; after_lead as SearchBytes has it. By the
// texts' bytes where they have one spelling, unless `decode_always`.
Result<Unit, IoError> SearchTexts(const ReadInput& read, const TextSearch& search,
                                  std::size_t chunk_size,
                                  const std::function<bool(const ByteMatch&)>& found,
                                  const ScanProgress& progress = {}, bool decode_always = false);

// Texts to search a game for, each split into what the codes must show and
// the bytes its tags stand for.
class TextSearch {
 public:
  // The faults of EncodeSearchTexts, but for a character no code has alone
  // that a code of several shows.
  static Result<TextSearch, SearchTextFault> Of(const GameTable& table, LineBreaks line_breaks,
                                                std::span<const std::string> texts);

  // Whether text `text` occurs at the start of `bytes`: decoding from there,
  // what the codes show holds it, starting within the first code's text and
  // ending within the last one's. `bytes` must run lookahead() bytes on, or
  // to the end of the input.
  bool MatchesAt(std::size_t text, std::span<const std::uint8_t> bytes) const;
  // How many bytes a match and the reading of its last unit may take: each
  // code shows at least one character of a text, so a text of N characters
  // takes at most N of the longest codes, besides its tags' bytes.
  std::size_t lookahead() const { return lookahead_; }
  // Whether each text has one spelling as bytes, which are then all there is
  // to look for.
  bool one_spelling() const { return one_spelling_; }
  std::size_t size() const { return patterns_.size(); }

 private:
  // A stretch of a text: characters the codes must show (UTF-16 units, and
  // GameTextIndex::kBreakUnit for a line break), or a run of tags' bytes.
  struct Piece {
    std::u32string text;
    std::vector<std::uint8_t> bytes;
  };
  struct Pattern {
    std::vector<Piece> pieces;
    std::array<bool, 256> first_bytes{};  // what a match can begin with
    // The first two bytes a match can begin with, a bit for each pair: a
    // first code of one byte passes only before a code that may go on from
    // it, which spares decoding at most of a common letter's bytes.
    std::vector<std::uint64_t> first_pairs;
    std::vector<bool> starts;  // per code: may begin a match
  };
  // What each code may show: its text and its aliases' (none: a tag).
  struct Shown {
    std::uint32_t from = 0;
    std::uint32_t size = 0;
  };

  explicit TextSearch(const GameTable& table) : table_(table) {}
  std::span<const Shown> ShownBy(std::uint32_t code) const;
  bool Rest(const Pattern& pattern, std::span<const std::uint8_t> bytes, std::size_t at,
            std::size_t piece, std::size_t done) const;
  // A text split into its pieces: runs of characters, and runs of tags
  // as the bytes the encoder writes for them.
  static Pattern PatternOf(const GameTable& table, LineBreaks line_breaks,
                           std::u16string_view units);
  void FindStarts(Pattern& pattern) const;
  std::array<bool, 256> FollowBytes(const Pattern& pattern, std::size_t done) const;

  GameTable table_;
  std::u32string shown_units_;
  std::vector<Shown> shown_;
  std::vector<std::uint32_t> shown_of_;  // per code and one past, where its texts begin in shown_
  std::vector<Pattern> patterns_;
  std::vector<std::vector<std::uint8_t>> bytes_;
  std::size_t lookahead_ = 0;
  bool one_spelling_ = false;
  friend Result<Unit, IoError> SearchTexts(const ReadInput&, const TextSearch&, std::size_t,
                                           const std::function<bool(const ByteMatch&)>&,
                                           const ScanProgress&, bool);
};

}  // namespace binconv
