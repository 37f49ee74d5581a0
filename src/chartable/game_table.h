#pragma once
// Any game's encoding, as the table files of hex editors and script tools
// write it: codes of 1 to 32 bytes for one character or several (DTE/MTE),
// end tokens, line-break codes and control codes with parameter bytes. The
// two table files compile into it too (GameTableOf, chartable/encoding.h), so
// every reader of a game's bytes reads them by the longest code that matches.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/problem.h"
#include "runtime/result.h"

namespace binconv {

enum class GameCodeKind : std::uint8_t {
  kText,       // HEX=TEXT
  kEnd,        // /HEX or /HEX=TEXT
  kLineBreak,  // *HEX or *HEX=TEXT: the text, then a line break
  kControl,    // $HEX=LABEL,N: the label, then N parameter bytes
};

inline constexpr std::size_t kMaxGameCodeBytes = 32;
inline constexpr std::size_t kMaxControlParams = 8;
// The most bytes one unit takes: the longest code and the most parameters.
inline constexpr std::size_t kMaxGameUnitBytes = kMaxGameCodeBytes + kMaxControlParams;
// A unit's size is one byte, and a code's length one bit of 32.
static_assert(kMaxGameUnitBytes <= UINT8_MAX && kMaxGameCodeBytes <= 32);

// A code's bytes. Up to kInline of them, which most codes are, are held in
// place: a table of a million codes is then not a million blocks of the
// heap. Longer ones take a block, its address kept in the same place.
class CodeBytes {
 public:
  CodeBytes() = default;
  CodeBytes(std::span<const std::uint8_t> bytes) { Assign(bytes); }
  CodeBytes(std::initializer_list<std::uint8_t> bytes) : CodeBytes(std::span(bytes)) {}
  CodeBytes(const std::vector<std::uint8_t>& bytes) : CodeBytes(std::span(bytes)) {}
  CodeBytes(const CodeBytes& other) { Assign(other); }
  CodeBytes(CodeBytes&& other) noexcept { Take(other); }
  CodeBytes& operator=(const CodeBytes& other) {
    if (this != &other) {
      Free();
      Assign(other);
    }
    return *this;
  }
  CodeBytes& operator=(CodeBytes&& other) noexcept {
    if (this != &other) {
      Free();
      Take(other);
    }
    return *this;
  }
  ~CodeBytes() { Free(); }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const std::uint8_t* data() const { return size_ <= kInline ? place_ : Block(); }
  const std::uint8_t* begin() const { return data(); }
  const std::uint8_t* end() const { return data() + size_; }
  std::uint8_t operator[](std::size_t i) const { return data()[i]; }
  std::uint8_t front() const { return data()[0]; }
  std::uint8_t back() const { return data()[size_ - 1]; }
  // A copy for code that keeps bytes of its own.
  operator std::vector<std::uint8_t>() const { return {begin(), end()}; }
  void push_back(std::uint8_t byte) {
    std::vector<std::uint8_t> longer = *this;
    longer.push_back(byte);
    *this = CodeBytes(longer);
  }
  friend bool operator==(const CodeBytes& a, const CodeBytes& b) {
    return std::ranges::equal(a, b);
  }

 private:
  // With the size, 15 bytes: GameCode's kind fits in beside them.
  static constexpr std::size_t kInline = 14;

  std::uint8_t* Block() const {
    std::uint8_t* block = nullptr;
    std::memcpy(&block, place_, sizeof block);
    return block;
  }
  // Sets the bytes of an empty one.
  void Assign(std::span<const std::uint8_t> bytes) {
    size_ = static_cast<std::uint8_t>(bytes.size());
    if (bytes.size() <= kInline) {
      std::copy(bytes.begin(), bytes.end(), place_);
      return;
    }
    auto* block = new std::uint8_t[bytes.size()];
    std::copy(bytes.begin(), bytes.end(), block);
    std::memcpy(place_, &block, sizeof block);
  }
  // Takes the bytes and the block of `other` into an empty one, leaving it empty.
  void Take(CodeBytes& other) {
    size_ = other.size_;
    std::memcpy(place_, other.place_, kInline);
    other.size_ = 0;
  }
  void Free() {
    if (size_ > kInline) delete[] Block();
    size_ = 0;
  }

  std::uint8_t size_ = 0;
  std::uint8_t place_[kInline] = {};
};

struct GameCode {
  CodeBytes bytes;  // 1 to kMaxGameCodeBytes
  GameCodeKind kind = GameCodeKind::kText;
  std::u16string text;     // what it shows; a control code's label
  std::uint8_t params = 0;  // parameter bytes after a control code
  std::size_t line = 0;     // in the .tbl, for messages
};

// A code's text without the line breaks that end it (a .tbl's "\n"): its
// label, as typed.
inline std::u16string_view WithoutBreaks(std::u16string_view text) {
  while (text.ends_with(u'\n')) text.remove_suffix(1);
  return text;
}

// The line breaks decode shows at the end of a code: those that end its text
// (U+000A, a .tbl's "\n"), and one more for a line-break code.
inline std::size_t BreaksAfterText(const GameCode& code) {
  std::size_t breaks = code.kind == GameCodeKind::kLineBreak ? 1 : 0;
  for (auto i = code.text.rbegin(); i != code.text.rend() && *i == u'\n'; ++i) ++breaks;
  return breaks;
}

// Another text typed for a code: encoding writes the code for it, while
// decode shows the code's own text. Its own text wins over another code's
// alias of the same text.
struct GameTextAlias {
  std::u16string text;
  std::uint32_t code = 0;  // index into the codes
  std::size_t line = 0;    // a second entry for the code in the .tbl; 0 when none
};

enum class GameUnitKind : std::uint8_t {
  kCode,    // the code `code` of the table, with its parameters if a control
  kNoCode,  // one byte that starts no code
  kCut,     // the bytes end where a longer code or a control's parameters may go on
};

// The same shape as GameUnit of ReadUnit: what the unit is and its bytes.
struct GameTableUnit {
  GameUnitKind kind = GameUnitKind::kCut;
  std::uint32_t code = 0;  // index into GameTable::codes(), for kCode
  std::uint8_t size = 0;   // bytes taken; for kCut, all there were
  friend bool operator==(const GameTableUnit&, const GameTableUnit&) = default;
};

namespace detail {

// Codes' bytes in an order that keeps their length: the shorter first, then
// byte by byte. Sorting by it puts a code's entries together.
bool CodeBytesBefore(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

// The plain rule of reading a unit: the codes by their bytes, found by
// halving, so that a table of thousands of codes costs no more than a few.
class GameCodeKeys {
 public:
  // `codes` must outlive the keys.
  explicit GameCodeKeys(std::span<const GameCode> codes);

  // See GameTable::ReadUnit.
  GameTableUnit ReadUnit(std::span<const std::uint8_t> bytes, bool at_end) const;

 private:
  // Codes of up to this many bytes are keyed by one number, which most
  // tables' codes all are; a longer one by its bytes.
  static constexpr std::size_t kPackedBytes = 4;
  static constexpr std::uint32_t kNone = UINT32_MAX;

  // A code's bytes as one number, the first byte highest, and its index.
  struct Key {
    std::uint32_t bytes;
    std::uint32_t code;
  };

  // The index of the code of exactly these bytes; kNone when there is none.
  std::uint32_t Find(std::span<const std::uint8_t> bytes) const;
  // Whether a code of `length` bytes begins with the shorter `bytes`.
  bool Continues(std::span<const std::uint8_t> bytes, std::size_t length) const;
  // The first of the codes of `length` bytes, in order, that is not before `bytes`.
  std::vector<std::uint32_t>::const_iterator LowerLong(std::span<const std::uint8_t> bytes,
                                                       std::size_t length) const;

  std::span<const GameCode> codes_;
  // Per length less one, every short code's key, in order.
  std::array<std::vector<Key>, kPackedBytes> keys_{};
  // Per length from kPackedBytes + 1 on, the longer codes' indexes, in order of their bytes.
  std::array<std::vector<std::uint32_t>, kMaxGameCodeBytes - kPackedBytes> long_keys_{};
  // Per first byte, bit L-1 set when some code of L bytes begins with it.
  std::array<std::uint32_t, 256> lengths_{};
};

}  // namespace detail

// GameCodeKeys::ReadUnit's answers worked out once, by asking it, for every
// first byte and, where the first byte alone can't tell, for every second
// byte after it: most units then cost a load or two. A prefix that ReadUnit
// does not leave cut is read the same whatever follows it, which is what
// makes a table of prefixes exact. Longer units go to the plain rule itself.
class GameUnitReader {
 public:
  // The keys must outlive the reader.
  explicit GameUnitReader(const detail::GameCodeKeys& keys);

  // What keys.ReadUnit(bytes, at_end) answers.
  GameTableUnit ReadUnit(std::span<const std::uint8_t> bytes, bool at_end) const {
    const GameTableUnit& first = first_[bytes[0]];
    if (first.kind != GameUnitKind::kCut) return first;
    const std::uint32_t row = rows_of_[bytes[0]];
    if (bytes.size() >= 2 && row != kNoRow) {
      const GameTableUnit& second = rows_[row + bytes[1]];
      if (second.kind != GameUnitKind::kCut) return second;
    }
    return keys_.ReadUnit(bytes, at_end);
  }

 private:
  static constexpr std::uint32_t kNoRow = UINT32_MAX;

  const detail::GameCodeKeys& keys_;
  std::array<GameTableUnit, 256> first_{};
  // Per first byte left cut, where its 256 answers start in rows_.
  std::array<std::uint32_t, 256> rows_of_{};
  std::vector<GameTableUnit> rows_;
};

class GameTextIndex;

// A game's encoding: its codes, and everything reading and writing them
// needs, made once when the table is made and never changed after. Copies
// share it, so a table is cheap to pass and to hold, and an encoder or a
// decoder costs nothing to make.
class GameTable {
 public:
  // Codes are checked by ParseGameTable: no two alike, none unreachable.
  explicit GameTable(std::vector<GameCode> codes, std::vector<GameTextAlias> aliases = {});

  std::span<const GameCode> codes() const;
  // The other texts typed for codes, in the order they were given.
  std::span<const GameTextAlias> aliases() const;

  // The unit at the start of `bytes` (not empty): the longest code that
  // matches. Unless `at_end`, bytes that a longer code or a control's
  // parameters may still continue are kCut, to be read again with more; at
  // the end the longest code within them wins, and a control takes the
  // parameter bytes there are. The plain rule, which reader() is built from.
  GameTableUnit ReadUnit(std::span<const std::uint8_t> bytes, bool at_end) const;

  // The same answers, through the tables derived from the rule.
  const GameUnitReader& reader() const;
  // Which code each text is written as (chartable/text_index.h).
  const GameTextIndex& text_index() const;
  // The first end token in the order of the file, which a string ends with
  // when nothing else says how; nullptr when there is none.
  const GameCode* first_end() const;

 private:
  struct Model;
  std::shared_ptr<const Model> model_;
};

}  // namespace binconv
