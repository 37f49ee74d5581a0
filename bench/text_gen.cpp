#include "bench/text_gen.h"

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <utility>

#include "chartable/encoding.h"
#include "codec/convert.h"
#include "runtime/cp932.h"

namespace binconv::bench {
namespace {

// splitmix64: the same stream on every platform, unlike the standard
// distributions.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
  bool Chance(double p) { return static_cast<double>(Next() >> 11) * 0x1.0p-53 < p; }

 private:
  std::uint64_t state_;
};

std::vector<bool> Cp932Chars() {
  std::vector<bool> in(0x10000, false);
  std::string bytes;
  for (int b = 0x20; b < 0x100; ++b) {
    if (detail::IsCp932LeadByte(static_cast<std::uint8_t>(b))) {
      for (int t = 0x40; t <= 0xFC; ++t) {
        if (t == 0x7F) continue;
        bytes += static_cast<char>(b);
        bytes += static_cast<char>(t);
      }
    } else if (b != 0x7F) {
      bytes += static_cast<char>(b);
    }
  }
  for (const char16_t c : DecodeCp932(bytes)) in[c] = true;
  return in;
}

std::size_t Utf8Length(char16_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : 3; }

}  // namespace

std::vector<char16_t> EncodableChars(const CharTable& table, bool cp932_only) {
  const std::vector<bool> cp932 = cp932_only ? Cp932Chars() : std::vector<bool>();
  std::vector<char16_t> chars;
  for (int p = 0; p < kPages; ++p) {
    for (int r = 0; r < kRows; ++r) {
      for (int c = 0; c < kColumns; ++c) {
        const std::u16string& cell = table.Cell(p, r, c);
        if (cell.size() != 1) continue;
        const char16_t ch = cell[0];
        const std::optional<CellCode> first = table.Find(ch);
        if (!first ||
            first->index() != CellCode{static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(r),
                                       static_cast<std::uint8_t>(c)}
                                  .index()) {
          continue;
        }
        if (detail::ClassifySpecial(ch) != detail::Special::kNone) continue;
        if (ch == u'\r' || ch == u'\n' || IsHighSurrogate(ch) || IsLowSurrogate(ch)) {
          continue;
        }
        if (cp932_only && !cp932[ch]) continue;
        chars.push_back(ch);
      }
    }
  }
  return chars;
}

std::u16string GenerateText(const CharTable& table, std::size_t utf8_bytes, const TextMix& mix,
                            std::uint32_t seed) {
  const std::vector<char16_t> encodable = EncodableChars(table, mix.cp932_only);
  std::vector<char16_t> missing;
  if (mix.no_code > 0) {
    const std::vector<bool> cp932 = mix.cp932_only ? Cp932Chars() : std::vector<bool>();
    for (char16_t c = u'\u4E00'; c <= u'\u9FA5'; ++c) {
      if (table.Find(c) || c == kLineBreakMark || (mix.cp932_only && !cp932[c])) continue;
      missing.push_back(c);
    }
  }
  static constexpr std::array<char16_t, 16> kHex = HexDigits;

  Rng rng(seed);
  std::u16string text;
  text.reserve(utf8_bytes / 3 + 64);
  std::size_t size = 0;
  auto put = [&](char16_t c) {
    text += c;
    size += Utf8Length(c);
  };
  while (size < utf8_bytes) {
    for (std::size_t n = 10 + rng.Below(51); n > 0 && size < utf8_bytes; --n) {
      if (mix.tags > 0 && rng.Chance(mix.tags)) {
        put(u'<');
        for (std::size_t digits = 2 + 2 * rng.Below(2); digits > 0; --digits) {
          put(kHex[rng.Below(16)]);
        }
        put(u'>');
      } else if (!missing.empty() && rng.Chance(mix.no_code)) {
        put(missing[rng.Below(missing.size())]);
      } else {
        put(encodable[rng.Below(encodable.size())]);
      }
    }
    for (const char16_t c : mix.line_break) put(c);
  }
  return text;
}

std::vector<GameCode> MakeGameCodes(const CharTable& table, std::size_t entries,
                                    std::size_t pairs, std::size_t controls) {
  std::vector<GameCode> codes;
  auto add = [&](std::vector<std::uint8_t> bytes, GameCodeKind kind, std::u16string text,
                 std::uint8_t params = 0) {
    codes.push_back({std::move(bytes), kind, std::move(text), params, codes.size() + 1});
  };
  const ProducibleCells cells(table);
  std::vector<std::pair<CellCode, char16_t>> cell_chars;
  for (int index = 0; index < kCells; ++index) {
    const CellCode code = CellCode::FromIndex(index);
    if (const std::optional<char16_t> ch = cells.CharAt(code)) cell_chars.emplace_back(code, *ch);
  }
  // The rest go on two-byte codes after page-0 bytes from FF down, whose
  // characters move there too, so that no code begins another and the bytes
  // read back as the text.
  const std::size_t rest = entries - std::min(entries, cell_chars.size() + 2);
  std::vector<std::uint8_t> prefixes;
  for (int b = 255; b >= 0 && prefixes.size() * 255 < rest; --b) {
    if (!IsReservedByte(static_cast<std::uint8_t>(b))) {
      prefixes.push_back(static_cast<std::uint8_t>(b));
    }
  }
  std::size_t next = 0;
  auto next_code = [&] {
    const std::uint8_t prefix = prefixes[next / 256 % prefixes.size()];
    return std::vector<std::uint8_t>{prefix, static_cast<std::uint8_t>(next++ % 256)};
  };
  std::vector<char16_t> moved;
  for (const auto& [code, ch] : cell_chars) {
    const bool prefix = code.page == 0 && std::find(prefixes.begin(), prefixes.end(),
                                                     code.byte()) != prefixes.end();
    if (prefix) {
      moved.push_back(ch);
    } else if (code.page == 0) {
      add({code.byte()}, GameCodeKind::kText, std::u16string(1, ch));
    } else {
      add({kLeadBytes[code.page], code.byte()}, GameCodeKind::kText, std::u16string(1, ch));
    }
  }
  add({kLineBreakByte}, GameCodeKind::kLineBreak, u"");
  add({kSpaceByte}, GameCodeKind::kText, u"\u3000");
  for (const char16_t ch : moved) add(next_code(), GameCodeKind::kText, std::u16string(1, ch));
  const std::vector<char16_t> chars = EncodableChars(table, false);
  std::set<std::u16string> texts;
  for (std::size_t k = 0; texts.size() < pairs && k < chars.size() * chars.size(); ++k) {
    std::u16string pair{chars[k * 37 % chars.size()], chars[(k * 101 + 7) % chars.size()]};
    if (texts.insert(pair).second) add(next_code(), GameCodeKind::kText, std::move(pair));
  }
  for (std::size_t k = 0; k < controls; ++k) {
    const std::string label = "<c" + std::to_string(k) + ">";
    add(next_code(), GameCodeKind::kControl, std::u16string(label.begin(), label.end()),
        static_cast<std::uint8_t>(k % 4));
  }
  for (char16_t c = u'\u4E00'; codes.size() < entries && c <= u'\u9FA5'; ++c) {
    if (table.Find(c)) continue;
    add(next_code(), GameCodeKind::kText, std::u16string(1, c));
  }
  return codes;
}

}  // namespace binconv::bench
