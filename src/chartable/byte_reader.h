#pragma once
// How a game reads its bytes: one unit at a time, each a code of a cell, a
// line break or a space. Decode, the script dump and its checks, strings and
// search all walk a game's bytes through ReadUnit, so where a unit ends is
// decided here alone; a caller takes the unit's size from it rather than
// counting bytes itself, so codes of other widths can come in through it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "chartable/char_table.h"
#include "chartable/encoding.h"

namespace binconv {

enum class UnitKind : std::uint8_t {
  kCode,       // a cell, in `code`
  kLineBreak,  // 24
  kSpace,      // 50
  kCut,        // the bytes end inside the unit: a lead byte with nothing after it
};

struct GameUnit {
  UnitKind kind = UnitKind::kCut;
  // The cell the unit's bytes name; for a line break or a space, the page 0
  // cell of its byte, which no reader shows. Empty for kCut.
  CellCode code{};
  // The bytes the unit takes; for kCut, all the bytes there were. One byte
  // wide, so that a unit fits a register in the loops that read every byte.
  std::uint8_t size = 0;
  friend bool operator==(const GameUnit&, const GameUnit&) = default;
};

// The most bytes a unit takes, and so the most that kCut can hold back.
inline constexpr std::size_t kMaxUnitBytes = 2;

namespace detail {

constexpr CellCode CellOfByte(int page, std::uint8_t byte) {
  return {static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(byte >> 4),
          static_cast<std::uint8_t>(byte & 0x0F)};
}

// The plain rule: a lead byte takes the byte after it as a cell of its page;
// 24 and 50 are a line break and a space; any other byte is a cell of page 0.
constexpr GameUnit ReadUnitByRule(std::span<const std::uint8_t> bytes) {
  const std::uint8_t first = bytes[0];
  if (first == kLineBreakByte) return {UnitKind::kLineBreak, CellOfByte(0, first), 1};
  if (first == kSpaceByte) return {UnitKind::kSpace, CellOfByte(0, first), 1};
  const int page = PageOfLeadByte(first);
  if (page == 0) return {UnitKind::kCode, CellOfByte(0, first), 1};
  if (bytes.size() < 2) return {UnitKind::kCut, {}, static_cast<std::uint8_t>(bytes.size())};
  return {UnitKind::kCode, CellOfByte(page, bytes[1]), 2};
}

// What a unit that begins with each byte is: its kind, page and size, the
// cell byte being its last. Found from the plain rule, and tested to read
// every pair of bytes as it does.
struct UnitStart {
  UnitKind kind;
  std::uint8_t page;
  std::uint8_t size;
};

inline constexpr std::array<UnitStart, 256> kUnitStarts = [] {
  std::array<UnitStart, 256> starts{};
  for (int b = 0; b < 256; ++b) {
    const std::array<std::uint8_t, kMaxUnitBytes> whole{static_cast<std::uint8_t>(b)};
    const GameUnit unit = ReadUnitByRule(whole);
    starts[b] = {unit.kind, unit.code.page, unit.size};
  }
  return starts;
}();

}  // namespace detail

// The unit at the start of `bytes`, which must not be empty; read through
// the table above, as a file's every byte goes through here.
inline GameUnit ReadUnit(std::span<const std::uint8_t> bytes) {
  const detail::UnitStart start = detail::kUnitStarts[bytes[0]];
  if (bytes.size() < start.size) {
    return {UnitKind::kCut, {}, static_cast<std::uint8_t>(bytes.size())};
  }
  return {start.kind, detail::CellOfByte(start.page, bytes[start.size - 1]), start.size};
}

// Where units begin in bytes that come one at a time (a game read byte by
// byte, a string checked before it is written).
class UnitBounds {
 public:
  // Takes the next byte: true when it begins a unit.
  bool Feed(std::uint8_t next) {
    const bool begins = held_ == 0;
    bytes_[held_++] = next;
    if (ReadUnit(std::span(bytes_.data(), held_)).kind != UnitKind::kCut) held_ = 0;
    return begins;
  }
  // Whether the bytes so far end inside a unit.
  bool InsideUnit() const { return held_ != 0; }

 private:
  std::array<std::uint8_t, kMaxUnitBytes> bytes_{};
  std::size_t held_ = 0;
};

}  // namespace binconv
