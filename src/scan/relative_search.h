#pragma once
// Relative search: finding a word of a game whose table is unknown. Most
// games give kana codes in one of two orders, one byte each; the word's
// bytes then step as its characters do in that order, whatever code the
// first kana has.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/game_table.h"
#include "runtime/problem.h"
#include "scan/byte_scan.h"

namespace binconv {

enum class KanaOrder {
  kJis,     // Unicode (and JIS) order: ぁあぃい…, dakuten forms beside their base
  kGojuon,  // あいうえお…わをん only; small kana and dakuten forms are elsewhere
};

// "jis", "gojuon"
std::string_view NameOf(KanaOrder order);
// The order of that name; nullopt for none.
std::optional<KanaOrder> KanaOrderNamed(std::string_view name);

// The place of a hiragana or katakana in the order (both scripts share it),
// or nullopt for a character outside it.
std::optional<int> KanaIndex(KanaOrder order, char16_t ch);
// The hiragana (or katakana) at a place of the order.
char16_t KanaAt(KanaOrder order, int index, bool katakana);
// Places 0 .. KanaCount(order) - 1.
int KanaCount(KanaOrder order);
// The place of あ, whose code a match implies.
int IndexOfA(KanaOrder order);

enum class RelativeWordError {
  kTooFewKana,  // fewer than two different kana of the order: every place would match
  kTooWide,     // the kana lie further apart in the order than one byte can step
};

// A word compiled for one order: per character its place, or none (any byte).
struct RelativeWord {
  KanaOrder order;
  std::vector<std::optional<int>> places;
};

Result<RelativeWord, RelativeWordError> RelativeWordOf(std::u16string_view word, KanaOrder order);

// The word in each order a search tries.
struct RelativeQuery {
  std::vector<RelativeWord> words;
  bool katakana = false;  // its first kana is katakana, and so are the kana a match gives
};

// The word in each of the orders; when none takes it, why the first doesn't
// (kKanaTooFew or kKanaTooFar, of that order).
Result<RelativeQuery, Problem> RelativeQueryOf(std::u16string_view word,
                                               std::span<const KanaOrder> orders);

struct RelativeMatch {
  std::uint64_t offset = 0;
  std::size_t word = 0;  // index into the words searched for
  int code_of_a = 0;     // the code the match implies for あ; may lie outside 0..255
};

// Every offset where the bytes step as a word's places do, one byte a
// character, in file order.
Result<Unit, IoError> SearchRelative(const ReadInput& read, std::span<const RelativeWord> words,
                                     std::size_t chunk_size,
                                     const std::function<bool(const RelativeMatch&)>& found,
                                     const ScanProgress& progress = {});

struct RelativeFound {
  std::uint64_t matches = 0;
  // With matches: the word and あ code most matches agree on, of those the
  // one found first; its offset is the first match's.
  RelativeMatch best{};
  std::vector<GameCode> tbl;  // RelativeTblCodes of the best
};

// SearchRelative for the query's words, counting what the matches agree on.
Result<RelativeFound, IoError> SearchRelativeBest(
    const ReadInput& read, const RelativeQuery& query, std::size_t chunk_size,
    const std::function<bool(const RelativeMatch&)>& found, const ScanProgress& progress = {});

// What a match says of the game's kana: the code it gives あ (ア for a
// katakana word; none outside a byte), and the first five plain kana of the
// gojuon, from the word's lowest in its order, that get a code of one byte,
// with their codes.
struct RelativeGuess {
  std::optional<std::uint8_t> code_of_a;
  std::u16string kana;
  std::vector<std::uint8_t> codes;  // one a kana
  KanaOrder order{};
};
RelativeGuess GuessOf(const RelativeQuery& query, const RelativeMatch& match);

// The table a match gives: every kana of its order, in code order, at a code
// of one byte that the table files can hold on page 0 (not reserved: see
// IsReservedByte), to be written by WriteTbl.
std::vector<GameCode> RelativeTblCodes(const RelativeWord& word, int code_of_a, bool katakana);

}  // namespace binconv
