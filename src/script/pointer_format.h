#pragma once
// How a game stores the address of a text: a 2-, 3- or 4-byte number, little
// or big endian, that maps to a file offset through a header, a base and an
// address map (linear, or one of the two SNES maps), or that counts from the
// pointer itself or from its table. Every conversion is checked both ways: a
// value that doesn't fit its type, or doesn't map back to the same offset, is
// an error, never wrapped.
//
// A format is written as words, the same in a plan's `format` line and on the
// command line: TYPE [header=N] [base=N] [map=linear|lorom|hirom]
// [relative=self|table] [window=LO..HI] [bank=N], TYPE one of u16le u16be
// u24le u24be u32le u32be.
//
// A window bounds the values the game can follow (a Game Boy bank's 4000..7FFF):
// a value outside it is no pointer. A bank is a block of the file, counted
// past the header, that a moved text never crosses: 32 KiB under lorom,
// 64 KiB under hirom, bank=N for any map.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/problem.h"
#include "runtime/result.h"

namespace binconv {

enum class PointerType { kU16le, kU16be, kU24le, kU24be, kU32le, kU32be };
enum class AddressMap { kLinear, kLoRom, kHiRom };
enum class PointerBase {
  kAddress,  // the value is an address: map(offset - header) + base
  kSelf,     // the value is the signed distance from the pointer's own offset
  kTable,    // the value is the signed distance from the start of its table
};

struct PointerFormat {
  PointerType type = PointerType::kU16le;
  std::uint64_t header = 0;
  std::uint64_t base = 0;
  AddressMap map = AddressMap::kLinear;
  PointerBase relative = PointerBase::kAddress;
  std::uint64_t window_first = 0;  // the values the game follows, inclusive
  std::uint64_t window_last = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t bank = 0;  // 0: the map's own (none for linear)
};

// Bytes a pointer of `type` takes: 2, 3 or 4.
unsigned WidthOf(PointerType type);

// Whether `word` is KEY=VALUE with one of the format's keys (header, base,
// map, relative, window, bank), whatever its value: a word that follows TYPE.
bool IsPointerFormatWord(std::string_view word);

// The words of a format given as arguments: those of `given`, split at its
// spaces, then each of `more` that is a format word, up to the first that
// is not (a game's name may hold "="); `taken` counts those of `more`.
struct GivenFormatWords {
  std::vector<std::string> words;
  std::size_t taken = 0;
  std::string text() const;  // the words, one space between them
};
GivenFormatWords FormatWordsOf(std::string_view given, std::span<const std::string> more);

// Reads a format from its words, TYPE first; kBadFormatWord names the word
// at fault, if any, and why (a kFormat... detail).
Result<PointerFormat, Problem> ParsePointerFormat(std::span<const std::string_view> words);

// Where a pointer stands: what a relative value counts from.
struct PointerSite {
  std::uint64_t offset = 0;       // the pointer's own offset in the file
  std::uint64_t table_start = 0;  // the start of its table
};

// The value a pointer at `site` holds to point at file offset `target`.
Result<std::uint64_t, PointerMapErrorCode> ValueOfTarget(const PointerFormat& format,
                                                         std::uint64_t target,
                                                         const PointerSite& site);
// The file offset a value `value` held at `site` points at.
Result<std::uint64_t, PointerMapErrorCode> TargetOfValue(const PointerFormat& format,
                                                         std::uint64_t value,
                                                         const PointerSite& site);

// The size of the format's banks; 0 when it has none.
std::uint64_t BankSizeOf(const PointerFormat& format);

// Whether `size` bytes at file offset `at` would cross a bank boundary.
bool CrossesBank(const PointerFormat& format, std::uint64_t at, std::uint64_t size);

// The first offset of the bank after the one holding `at` (`at` past the
// header, in a format with banks).
std::uint64_t NextBankStart(const PointerFormat& format, std::uint64_t at);

// Reads or writes a pointer's bytes; `bytes` holds WidthOf(type) bytes.
std::uint64_t ReadPointer(PointerType type, const std::uint8_t* bytes);
// `value` must fit the type (ValueOfTarget guarantees it).
void WritePointer(PointerType type, std::uint64_t value, std::uint8_t* bytes);

}  // namespace binconv
