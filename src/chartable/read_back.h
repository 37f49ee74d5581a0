#pragma once
// Whether bytes written code after code read back as those codes. Decode
// takes the longest code that matches, so a code whose bytes begin a longer
// code is read as written only while what follows it doesn't complete the
// longer one: with 81=X, 8141=Y and 41=Z, X then Z is written 81 41 and read
// back as Y. Most tables have no such code, and then nothing here costs.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "chartable/game_table.h"

namespace binconv {

// The codes' bytes as decode matches them: every code, and every proper
// start of a longer code.
class ReadBackRule {
 public:
  // The codes must outlive the rule.
  explicit ReadBackRule(std::span<const GameCode> codes);

  // Whether a longer code begins with `bytes` (which may be a code or not).
  bool BeginsLonger(std::span<const std::uint8_t> bytes) const;
  // The code of exactly these bytes; nullptr when none.
  const GameCode* CodeOf(std::span<const std::uint8_t> bytes) const;
  // Whether no code's bytes begin another's: then every code reads back.
  bool none_open() const { return none_open_; }
  // The codes' indexes in order of their bytes: the codes that begin with
  // a code's bytes come right after it.
  std::span<const std::uint32_t> in_byte_order() const { return by_bytes_; }

 private:
  // The first code, in order of bytes, not before `bytes`.
  std::vector<std::uint32_t>::const_iterator Lower(std::span<const std::uint8_t> bytes) const;

  std::span<const GameCode> codes_;
  // The codes in order of their bytes, so that the codes that begin with
  // some bytes come right after them: four bytes a code.
  std::vector<std::uint32_t> by_bytes_;
  bool none_open_ = true;
};

// The units written so far whose reading is not settled yet: each a unit
// whose bytes, with those written after it, still begin a longer code. Empty
// (the common case) when every unit written reads back whatever follows.
class ReadBack {
 public:
  // Writes one unit that decode is meant to read as `unit` itself: its first
  // `chosen` bytes are its code (`code`; nullptr for bytes of no code), the
  // rest (a control's parameters) go with it. False when these bytes make an
  // earlier unit read as a longer code that shows other text; that unit is
  // then let go. A longer code that shows just the text of the codes it
  // takes, and ends where one ends, reads back as typed. Bytes `typed` as
  // hex are what the user asked for: a longer code made of typed bytes
  // alone is no misreading.
  bool AddUnit(const ReadBackRule& rule, std::span<const std::uint8_t> unit, std::size_t chosen,
               const GameCode* code, bool typed = false);
  // Bytes that start no unit of their own (a control's parameters).
  bool AddBytes(const ReadBackRule& rule, std::span<const std::uint8_t> bytes);
  // The end of the bytes (or of a string): every unit reads as written.
  void Settle() { open_.clear(); }
  bool empty() const { return open_.empty(); }
  friend bool operator==(const ReadBack&, const ReadBack&) = default;

 private:
  struct Open {
    std::array<std::uint8_t, kMaxGameCodeBytes> bytes{};
    std::uint8_t size = 0;
    std::uint8_t chosen = 0;
    bool plain = true;    // every unit from it on is a text code
    bool typed = false;   // every unit from it on was typed as hex
    std::u16string text;  // their texts
    friend bool operator==(const Open&, const Open&) = default;
  };
  enum class Step : std::uint8_t { kOpen, kSettled, kMisread };
  // Goes on from an open unit with the bytes of the next unit (`code`, when
  // they are a text code's; else nullptr).
  static Step Extend(const ReadBackRule& rule, Open& open, std::span<const std::uint8_t> bytes,
                     const GameCode* code, bool typed);
  std::vector<Open> open_;
};

}  // namespace binconv
