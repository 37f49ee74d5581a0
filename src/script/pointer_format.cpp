#include "script/pointer_format.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <utility>

#include "runtime/hex.h"
#include "script/placement.h"

namespace binconv {
namespace {

constexpr std::array<std::string_view, 6> kTypeNames = {"u16le", "u16be", "u24le",
                                                        "u24be", "u32le", "u32be"};
// The words map= and relative= take.
constexpr std::array<std::pair<std::string_view, AddressMap>, 3> kMapNames{
    {{"linear", AddressMap::kLinear},
     {"lorom", AddressMap::kLoRom},
     {"hirom", AddressMap::kHiRom}}};
constexpr std::array<std::pair<std::string_view, PointerBase>, 2> kRelativeNames{
    {{"self", PointerBase::kSelf}, {"table", PointerBase::kTable}}};

// Sets `value` to what `word` names in `names`; false if it names nothing.
template <class T, std::size_t N>
bool SetFromName(const std::array<std::pair<std::string_view, T>, N>& names, std::string_view word,
                 T& value) {
  for (const auto& [name, named] : names) {
    if (name == word) {
      value = named;
      return true;
    }
  }
  return false;
}

bool IsBigEndian(PointerType type) {
  return type == PointerType::kU16be || type == PointerType::kU24be || type == PointerType::kU32be;
}

std::uint64_t Mask(PointerType type) { return (std::uint64_t{1} << (8 * WidthOf(type))) - 1; }

// window=LO..HI or bank=N into `format`; false when it can't be read.
bool ReadBounds(std::string_view name, std::string_view value, PointerFormat& format) {
  if (name == "bank") {
    const auto size = ParseNumber(value);
    if (!size || *size == 0) return false;
    format.bank = *size;
    return true;
  }
  const std::size_t dots = value.find("..");
  if (dots == std::string_view::npos) return false;
  const auto first = ParseNumber(value.substr(0, dots));
  const auto last = ParseNumber(value.substr(dots + 2));
  if (!first || !last || *last < *first) return false;
  format.window_first = *first;
  format.window_last = *last;
  return true;
}

bool InWindow(const PointerFormat& format, std::uint64_t value) {
  return value >= format.window_first && value <= format.window_last;
}

// The address an offset past the header has under a map, before the base.
std::uint64_t MapOffset(AddressMap map, std::uint64_t o) {
  switch (map) {
    case AddressMap::kLinear:
      return o;
    case AddressMap::kLoRom:
      return (o >> 15) << 16 | 0x8000 | (o & 0x7FFF);
    case AddressMap::kHiRom:
      return o | 0xC00000;
  }
  return o;
}

// The one offset a mapped address can come from, if any; MapOffset is the
// rule, this only finds the candidate, which callers map again to confirm.
std::optional<std::uint64_t> UnmapAddress(AddressMap map, std::uint64_t address) {
  switch (map) {
    case AddressMap::kLinear:
      return address;
    case AddressMap::kLoRom:
      if ((address & 0x8000) == 0) return std::nullopt;
      return (address >> 16) << 15 | (address & 0x7FFF);
    case AddressMap::kHiRom:
      if ((address & 0xC00000) != 0xC00000) return std::nullopt;
      return address & ~std::uint64_t{0xC00000};
  }
  return std::nullopt;
}

}  // namespace

unsigned WidthOf(PointerType type) {
  switch (type) {
    case PointerType::kU16le:
    case PointerType::kU16be:
      return 2;
    case PointerType::kU24le:
    case PointerType::kU24be:
      return 3;
    case PointerType::kU32le:
    case PointerType::kU32be:
      return 4;
  }
  return 2;
}

bool IsPointerFormatWord(std::string_view word) {
  const std::string_view key = word.substr(0, word.find('='));
  return key.size() < word.size() &&
         (key == "header" || key == "base" || key == "map" || key == "relative" ||
          key == "window" || key == "bank");
}

GivenFormatWords FormatWordsOf(std::string_view given, std::span<const std::string> more) {
  GivenFormatWords out;
  for (std::size_t at = 0; at <= given.size();) {
    const std::size_t space = std::min(given.find(' ', at), given.size());
    if (space > at) out.words.emplace_back(given.substr(at, space - at));
    at = space + 1;
  }
  for (; out.taken < more.size() && IsPointerFormatWord(more[out.taken]); ++out.taken) {
    out.words.push_back(more[out.taken]);
  }
  return out;
}

std::string GivenFormatWords::text() const {
  std::string joined;
  for (const std::string& w : words) joined += (joined.empty() ? "" : " ") + w;
  return joined;
}

namespace {

// The problem of the word at `index` (none when past the last).
Problem BadWord(ProblemDetail detail, std::span<const std::string_view> words, std::size_t index) {
  Problem problem{ProblemCode::kBadFormatWord};
  problem.detail = detail;
  if (index < words.size()) {
    problem.what = std::string(words[index]);
    problem.number = index + 1;
  }
  return problem;
}

}  // namespace

Result<PointerFormat, Problem> ParsePointerFormat(std::span<const std::string_view> words) {
  if (words.empty()) return Unexpected(BadWord(ProblemDetail::kFormatNoType, words, 0));
  PointerFormat format;
  std::size_t type_index = 0;
  while (type_index < kTypeNames.size() && kTypeNames[type_index] != words[0]) ++type_index;
  if (type_index == kTypeNames.size())
    return Unexpected(BadWord(ProblemDetail::kFormatUnknownType, words, 0));
  format.type = static_cast<PointerType>(type_index);

  enum Seen { kHeader = 1, kBase = 2, kMap = 4, kRelative = 8, kWindow = 16, kBank = 32 };
  unsigned seen = 0;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string_view word = words[i];
    const std::size_t eq = word.find('=');
    if (eq == std::string_view::npos)
      return Unexpected(BadWord(ProblemDetail::kFormatUnknownWord, words, i));
    const std::string_view name = word.substr(0, eq);
    const std::string_view value = word.substr(eq + 1);
    unsigned bit = 0;
    if (name == "header" || name == "base") {
      bit = name == "header" ? kHeader : kBase;
      const auto number = ParseNumber(value);
      if (!number) return Unexpected(BadWord(ProblemDetail::kFormatBadNumber, words, i));
      (name == "header" ? format.header : format.base) = *number;
    } else if (name == "map" || name == "relative") {
      bit = name == "map" ? kMap : kRelative;
      const bool named = name == "map" ? SetFromName(kMapNames, value, format.map)
                                       : SetFromName(kRelativeNames, value, format.relative);
      if (!named) return Unexpected(BadWord(ProblemDetail::kFormatBadValue, words, i));
    } else if (name == "window" || name == "bank") {
      bit = name == "window" ? kWindow : kBank;
      if (!ReadBounds(name, value, format)) {
        return Unexpected(BadWord(ProblemDetail::kFormatBadRange, words, i));
      }
    } else {
      return Unexpected(BadWord(ProblemDetail::kFormatUnknownWord, words, i));
    }
    if (seen & bit) return Unexpected(BadWord(ProblemDetail::kFormatRepeated, words, i));
    seen |= bit;
    // A relative value ignores header, base and map: giving both is a mistake.
    if ((seen & kRelative) && (seen & (kHeader | kBase | kMap)))
      return Unexpected(BadWord(ProblemDetail::kFormatRelativeWith, words, i));
  }
  return format;
}

namespace {

Result<std::uint64_t, PointerMapErrorCode> ValueOfTargetAnywhere(const PointerFormat& format,
                                                                std::uint64_t target,
                                                                const PointerSite& site) {
  const unsigned bits = 8 * WidthOf(format.type);
  if (format.relative != PointerBase::kAddress) {
    const std::uint64_t from =
        format.relative == PointerBase::kSelf ? site.offset : site.table_start;
    // The distance must lie in the type's signed range, -2^(bits-1) ..
    // 2^(bits-1) - 1; computed without overflow on either side.
    const std::uint64_t half = std::uint64_t{1} << (bits - 1);
    if (target >= from) {
      if (target - from >= half) return Unexpected(PointerMapErrorCode::kDoesNotFit);
      return target - from;
    }
    if (from - target > half) return Unexpected(PointerMapErrorCode::kDoesNotFit);
    return (~(from - target) + 1) & Mask(format.type);
  }
  if (target < format.header) return Unexpected(PointerMapErrorCode::kBelowHeader);
  const std::uint64_t o = target - format.header;
  // Offsets past 2^40 have no address in any 32-bit map; stopping there keeps
  // the map's shifts clear of overflow.
  if (o >> 40) return Unexpected(PointerMapErrorCode::kDoesNotFit);
  const std::uint64_t mapped = MapOffset(format.map, o);
  if (UnmapAddress(format.map, mapped) != o) return Unexpected(PointerMapErrorCode::kNotMappedBack);
  if (mapped > Mask(format.type) || format.base > Mask(format.type) - mapped)
    return Unexpected(PointerMapErrorCode::kDoesNotFit);
  return mapped + format.base;
}

}  // namespace

Result<std::uint64_t, PointerMapErrorCode> ValueOfTarget(const PointerFormat& format,
                                                         std::uint64_t target,
                                                         const PointerSite& site) {
  auto value = ValueOfTargetAnywhere(format, target, site);
  if (value && !InWindow(format, *value)) return Unexpected(PointerMapErrorCode::kOutsideWindow);
  return value;
}

// The last offset a sum of the mapping may reach; past it, it would wrap.
constexpr std::uint64_t kLastOffset = std::numeric_limits<std::uint64_t>::max();

Result<std::uint64_t, PointerMapErrorCode> TargetOfValue(const PointerFormat& format,
                                                         std::uint64_t value,
                                                         const PointerSite& site) {
  if (value > Mask(format.type)) return Unexpected(PointerMapErrorCode::kDoesNotFit);
  if (!InWindow(format, value)) return Unexpected(PointerMapErrorCode::kOutsideWindow);
  if (format.relative != PointerBase::kAddress) {
    const std::uint64_t from =
        format.relative == PointerBase::kSelf ? site.offset : site.table_start;
    const unsigned bits = 8 * WidthOf(format.type);
    const bool negative = (value >> (bits - 1)) & 1;
    if (!negative) {
      if (value > kLastOffset - from) return Unexpected(PointerMapErrorCode::kPastLastOffset);
      return from + value;
    }
    const std::uint64_t back = (Mask(format.type) - value) + 1;
    if (back > from) return Unexpected(PointerMapErrorCode::kBeforeStart);
    return from - back;
  }
  if (value < format.base) return Unexpected(PointerMapErrorCode::kNotAnAddress);
  const auto o = UnmapAddress(format.map, value - format.base);
  if (!o || MapOffset(format.map, *o) != value - format.base)
    return Unexpected(PointerMapErrorCode::kNotAnAddress);
  if (*o > kLastOffset - format.header) return Unexpected(PointerMapErrorCode::kPastLastOffset);
  return *o + format.header;
}

std::uint64_t BankSizeOf(const PointerFormat& format) {
  if (format.bank != 0) return format.bank;
  switch (format.map) {
    case AddressMap::kLinear:
      return 0;
    case AddressMap::kLoRom:
      return std::uint64_t{1} << 15;
    case AddressMap::kHiRom:
      return std::uint64_t{1} << 16;
  }
  return 0;
}

bool CrossesBank(const PointerFormat& format, std::uint64_t at, std::uint64_t size) {
  const std::uint64_t bank = BankSizeOf(format);
  if (bank == 0 || size == 0 || at < format.header) return false;
  const std::uint64_t o = at - format.header;
  return size - 1 > std::numeric_limits<std::uint64_t>::max() - o ||
         o / bank != (o + size - 1) / bank;
}

std::uint64_t NextBankStart(const PointerFormat& format, std::uint64_t at) {
  const std::uint64_t bank = BankSizeOf(format);
  const std::uint64_t o = at - format.header;
  const std::uint64_t next = (o / bank + 1) * bank;
  // Past 2^64 there is no next bank: the last offset stands for it.
  if (next < o || next > std::numeric_limits<std::uint64_t>::max() - format.header) {
    return std::numeric_limits<std::uint64_t>::max();
  }
  return next + format.header;
}

std::uint64_t ReadPointer(PointerType type, const std::uint8_t* bytes) {
  const unsigned width = WidthOf(type);
  std::uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) {
    const unsigned k = IsBigEndian(type) ? i : width - 1 - i;
    value = value << 8 | bytes[k];
  }
  return value;
}

void WritePointer(PointerType type, std::uint64_t value, std::uint8_t* bytes) {
  const unsigned width = WidthOf(type);
  for (unsigned i = 0; i < width; ++i) {
    const unsigned k = IsBigEndian(type) ? width - 1 - i : i;
    bytes[k] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

}  // namespace binconv
