#include "support/script_game.h"

#include <algorithm>
#include <random>
#include <span>
#include <sstream>
#include <vector>

#include "chartable/encoding.h"
#include "codec/encode.h"
#include "codec/encoder.h"
#include "support/files.h"

namespace binconv::test {
namespace {

constexpr std::size_t kGameSize = 4096;
constexpr std::uint64_t kOutsideTable = 0x20;
constexpr std::uint64_t kInsideTable = 0x500;
constexpr std::uint64_t kBlock = 0x200;
constexpr std::uint64_t kBlockEnd = 0xBFF;  // inclusive
constexpr std::uint64_t kSkip = 0;

struct Format {
  unsigned width = 2;
  bool big = false;
  std::string map = "linear";
  std::string relative;
  std::uint64_t base = 0;
  std::uint64_t header = 0;
};

Format ParseWords(const std::string& words) {
  Format f;
  std::istringstream in(words);
  std::string type;
  in >> type;
  f.width = static_cast<unsigned>(type[1] - '0' == 1 ? 2 : type[1] == '2' ? 3 : 4);
  f.big = type.ends_with("be");
  for (std::string word; in >> word;) {
    const std::size_t eq = word.find('=');
    const std::string name = word.substr(0, eq);
    const std::string value = word.substr(eq + 1);
    if (name == "map") f.map = value;
    if (name == "relative") f.relative = value;
    if (name == "base") f.base = std::stoull(value, nullptr, 0);
    if (name == "header") f.header = std::stoull(value, nullptr, 0);
  }
  return f;
}

// The value a pointer at `site` holds for `target`, by the plain rules.
std::uint64_t ValueFor(const Format& f, std::uint64_t target, std::uint64_t site,
                       std::uint64_t table) {
  const std::uint64_t mask = (std::uint64_t{1} << (8 * f.width)) - 1;
  if (f.relative == "self") return (target - site) & mask;
  if (f.relative == "table") return (target - table) & mask;
  const std::uint64_t o = target - f.header;
  std::uint64_t mapped = o;
  if (f.map == "lorom") mapped = (o >> 15) << 16 | 0x8000 | (o & 0x7FFF);
  if (f.map == "hirom") mapped = o | 0xC00000;
  return (mapped + f.base) & mask;
}

std::string Hex(std::uint64_t value) {
  std::ostringstream out;
  out << "0x" << std::hex << std::uppercase << value;
  return out.str();
}

// Codes as hex, first byte first.
std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  for (const std::uint8_t b : bytes) out += Hex(b).substr(2).insert(0, b < 16 ? "0" : "");
  return out;
}

}  // namespace

GameTableStrings MakeGameTableStrings(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  struct Entry {
    std::vector<std::uint8_t> bytes;
    std::string line;
    std::size_t params = 0;
  };
  std::vector<Entry> units;  // what a string may hold
  std::string tbl = "# random\n";
  static constexpr const char* kTexts[] = {"あ", "い", "う", "か", "き", "勇", "者", "剣",
                                           ";",  "@",  "#",  "ア", "ー", "　", "は", "を"};
  auto text_of = [&] {
    std::string text;
    for (std::size_t n = below(4) == 0 ? 2 + below(3) : 1; n > 0; --n) text += kTexts[below(16)];
    return text;
  };
  // One-byte codes 10..5F, some missing (bytes of no code); two-byte codes
  // under 80..83; three and four bytes under 84 and 85; 81 alone too, so
  // that a longer code must win over it.
  for (int b = 0x10; b < 0x60; ++b) {
    if (below(6) != 0) units.push_back({{static_cast<std::uint8_t>(b)}, text_of()});
  }
  units.push_back({{0x81}, text_of()});
  for (int n = 0; n < 24; ++n) {
    std::vector<std::uint8_t> code{static_cast<std::uint8_t>(0x80 + below(4)),
                                   static_cast<std::uint8_t>(0x40 + below(64))};
    if (below(4) == 0) code = {0x84, static_cast<std::uint8_t>(below(4)), 0x40};
    if (below(6) == 0) code = {0x85, 0x01, static_cast<std::uint8_t>(below(3)), 0x7F};
    const bool taken = std::any_of(units.begin(), units.end(),
                                   [&](const Entry& e) { return e.bytes == code; });
    // A text twice: the dump shows one code's text for both.
    if (!taken) units.push_back({code, below(5) == 0 ? units[below(units.size())].line : text_of()});
  }
  for (Entry& e : units) {
    e.line = e.line.empty() ? HexBytes(e.bytes) + "=" + text_of() : e.line;
    if (e.line.find('=') == std::string::npos) e.line = HexBytes(e.bytes) + "=" + e.line;
  }
  for (int n = 0; n < 4; ++n) {
    const std::size_t params = static_cast<std::size_t>(n);
    Entry control{{static_cast<std::uint8_t>(0xE0 + n)},
                  "$" + HexBytes({static_cast<std::uint8_t>(0xE0 + n)}) + "=<c" +
                      std::to_string(n) + ">," + std::to_string(params),
                  params};
    units.push_back(control);
  }
  units.push_back({{0xFD}, "*FD"});
  units.push_back({{0xFC}, "*FC=<page>"});
  for (const Entry& e : units) tbl += e.line + "\n";
  const std::vector<std::vector<std::uint8_t>> ends = {{0xFF}, {0xFE}, {0xFB, 0x00}};
  tbl += "/FF=<end>\n/FE\n/FB00=<stop>\n";

  GameTableStrings out{tbl, {}, below(2) == 0};
  for (std::size_t k = 0; k < count; ++k) {
    std::string s;
    for (std::size_t n = below(8); n > 0; --n) {
      const Entry& e = units[below(units.size())];
      s.append(e.bytes.begin(), e.bytes.end());
      // Parameters take any byte, an end token's too.
      for (std::size_t p = 0; p < e.params; ++p) {
        s += static_cast<char>(below(3) == 0 ? 0xFF : random());
      }
      // A byte of no code now and then (6x).
      if (below(10) == 0) s += static_cast<char>(0x60 + below(16));
    }
    const std::vector<std::uint8_t>& end = ends[below(5) == 0 ? 1 + below(2) : 0];
    s.append(end.begin(), end.end());
    out.strings.push_back(std::move(s));
  }
  return out;
}

ScriptGameFiles MakeScriptGame(const ScriptGameSpec& def, unsigned seed) {
  std::mt19937 random(seed);
  auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  const Format format = ParseWords(def.format);
  const std::uint64_t table = def.table_in_block ? kInsideTable : kOutsideTable;
  std::string game(kGameSize, '\0');
  for (char& c : game) c = static_cast<char>(random());

  static constexpr std::uint8_t kEnds[] = {0xFF, 0x00, 0x01, 0x7F};
  const std::uint8_t end = kEnds[below(std::size(kEnds))];
  // Bytes worth seeing often: breaks, spaces, lead bytes, ; @ # < >.
  std::vector<std::uint8_t> interesting = {kLineBreakByte, kSpaceByte};
  for (int page = 1; page < kPages; ++page) interesting.push_back(kLeadBytes[page]);
  for (const char16_t* mark : {u";", u"@", u"#", u"<", u">"}) {
    Encoder encoder(GameTableOf(DefaultTables()));
    std::vector<std::uint8_t> bytes;
    encoder.Feed(mark, bytes);
    encoder.Finish(bytes);
    interesting.insert(interesting.end(), bytes.begin(), bytes.end());
  }
  std::vector<std::string> strings(def.strings);
  GameTableStrings own;
  if (def.game_table) {
    own = MakeGameTableStrings(def.strings, seed);
    strings = own.strings;
  }
  std::vector<std::vector<std::size_t>> unit_starts(strings.size());
  for (std::size_t k = 0; k < (def.game_table ? 0 : strings.size()); ++k) {
    std::string& s = strings[k];
    for (std::size_t units = below(10); units > 0; --units) {
      if (!s.empty()) unit_starts[k].push_back(s.size());
      std::uint8_t b = below(3) == 0 ? interesting[below(interesting.size())]
                                     : static_cast<std::uint8_t>(random());
      if (b == end) continue;
      s += static_cast<char>(b);
      // A lead byte takes any byte after it, the end byte too.
      if (PageOfLeadByte(b) != 0) s += static_cast<char>(below(4) == 0 ? end : random());
    }
  }

  // Targets: the strings, then tails (a string and a code's start in it).
  std::vector<std::pair<std::size_t, std::size_t>> tails;
  for (std::size_t t = 0; t < def.tails; ++t) {
    const std::size_t k = below(strings.size());
    if (!unit_starts[k].empty()) tails.push_back({k, unit_starts[k][below(unit_starts[k].size())]});
  }
  const std::size_t targets = def.strings + tails.size();
  // Every target gets a pointer; the rest are shared or skipped.
  std::vector<std::ptrdiff_t> target_of(std::max(def.pointers, targets), -1);
  for (std::size_t k = 0; k < targets; ++k) target_of[k] = static_cast<std::ptrdiff_t>(k);
  for (std::size_t i = targets; i < target_of.size(); ++i) {
    target_of[i] = below(4) == 0 ? -1 : static_cast<std::ptrdiff_t>(below(targets));
  }
  std::shuffle(target_of.begin(), target_of.end(), random);
  // Entry order: by each string's first pointer.
  std::vector<std::size_t> order;
  for (const std::ptrdiff_t t : target_of) {
    if (t >= 0 && static_cast<std::size_t>(t) < def.strings &&
        std::find(order.begin(), order.end(), static_cast<std::size_t>(t)) == order.end()) {
      order.push_back(static_cast<std::size_t>(t));
    }
  }
  std::shuffle(order.begin(), order.end(), random);
  std::vector<std::uint64_t> at(targets);
  std::uint64_t cursor = kBlock;
  for (const std::size_t k : order) {
    cursor += below(4);  // bytes between strings belong to the room before
    at[k] = cursor;
    game.replace(cursor, strings[k].size(), strings[k]);
    cursor += strings[k].size();
    if (!def.game_table) game[cursor++] = static_cast<char>(end);
  }
  for (std::size_t t = 0; t < tails.size(); ++t) at[def.strings + t] = at[tails[t].first] + tails[t].second;

  const std::size_t count = target_of.size();
  const std::uint64_t stride =
      def.split ? 1 : def.second ? 2 * format.width + below(2) : format.width + below(2);
  auto write_table = [&](std::uint64_t first) {
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t site = first + i * stride;
      const std::uint64_t value =
          target_of[i] < 0
              ? kSkip
              : ValueFor(format, at[static_cast<std::size_t>(target_of[i])], site, first);
      if (def.split) {
        game[first + i] = static_cast<char>(value & 0xFF);
        game[first + count + i] = static_cast<char>(value >> 8);
        continue;
      }
      for (unsigned b = 0; b < format.width; ++b) {
        const unsigned shift = 8 * (format.big ? format.width - 1 - b : b);
        game[site + b] = static_cast<char>(value >> shift);
      }
    }
  };
  write_table(table);

  auto script_line = [&](const std::string& file, std::uint64_t first) {
    std::string line = "script " + file + " ";
    line += def.split ? "lo=" + Hex(first) + " hi=" + Hex(first + count)
                      : "table=" + Hex(first) + " stride=" + std::to_string(stride);
    line += " count=" + std::to_string(count) + " format=f";
    if (!def.game_table) {
      line += " end=" + Hex(end).substr(2).insert(0, end < 16 ? "0" : "");
    } else if (own.end_given) {
      line += " end=FF";
    }
    if (def.text_block) line += " text=" + Hex(kBlock) + ".." + Hex(kBlockEnd);
    line += def.pack ? " layout=pack" : " layout=slots";
    // A fill that an untouched text's room keeps out of.
    if (below(2) == 0) line += " fill=AA";
    // Every other seed keeps the scripts to the space named below, by the
    // seed rather than a draw, so that the games stay as they were.
    if (seed % 2 != 0) line += " spaces=free";
    return line + " skip=" + std::to_string(kSkip) + "\n";
  };
  std::vector<std::string> lines = {script_line("script.txt", table)};
  if (def.second) {
    // The same strings through other pointers, between the first's.
    std::shuffle(target_of.begin(), target_of.end(), random);
    write_table(table + format.width);
    lines.push_back(script_line("second.txt", table + format.width));
    std::shuffle(lines.begin(), lines.end(), random);
  }
  std::string plan = "format f " + std::string(def.format) + "\n";
  if (def.grow != 0) {
    plan += "grow " + Hex(kGameSize + def.grow) + " fill=EE\nspace " + Hex(kGameSize) + ".." +
            Hex(kGameSize + def.grow - 1) + "\n";
  }
  plan += seed % 2 != 0 ? "space free 0xC00..0xEFF" : "space 0xC00..0xEFF";
  // A fill that a space no text takes keeps out of.
  plan += seed % 3 == 0 ? " fill=DD\n" : "\n";
  for (const std::string& line : lines) plan += line;
  return {game, plan, own.tbl};
}

std::uint64_t TargetOfPointer(const std::string& game, const std::string& format,
                              const std::string& item, std::uint64_t table) {
  const Format f = ParseWords(format);
  auto byte = [&](std::uint64_t at) { return std::uint64_t{static_cast<std::uint8_t>(game[at])}; };
  const std::size_t slash = item.find('/');
  const std::uint64_t site = std::stoull(item.substr(0, slash), nullptr, 0);
  std::uint64_t value = 0;
  if (slash != std::string::npos) {
    value = byte(site) | byte(std::stoull(item.substr(slash + 1), nullptr, 0)) << 8;
  } else {
    for (unsigned b = 0; b < f.width; ++b) {
      value |= byte(site + b) << 8 * (f.big ? f.width - 1 - b : b);
    }
  }
  const unsigned bits = 8 * f.width;
  const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
  // A relative value is a signed distance.
  const std::uint64_t distance = value >> (bits - 1) ? value | ~mask : value;
  if (f.relative == "self") return site + distance;
  if (f.relative == "table") return table + distance;
  const std::uint64_t mapped = (value - f.base) & mask;
  std::uint64_t o = mapped;
  if (f.map == "lorom") o = (mapped >> 16) << 15 | (mapped & 0x7FFF);
  if (f.map == "hirom") o = mapped & 0x3FFFFF;
  return o + f.header;
}

// Pointers at 0x10 (u16le, base 0x8000) to "あい" at 0x40 (twice) and "う"
// at 0x48, and a skipped 0xFFFF; with `split`, low bytes at 0x10 and high
// bytes at 0x18. あ い う are 56 58 5A in the default tables.
std::string ExampleScriptGame(bool split, unsigned last) {
  std::string game(0x100, '\0');
  for (std::size_t i = 0; i < game.size(); ++i) game[i] = static_cast<char>(i * 7 + 3);
  const unsigned values[] = {0x8040, 0x8048, 0x8040, last};
  for (std::size_t i = 0; i < 4; ++i) {
    if (split) {
      game[0x10 + i] = static_cast<char>(values[i] & 0xFF);
      game[0x18 + i] = static_cast<char>(values[i] >> 8);
    } else {
      game[0x10 + 2 * i] = static_cast<char>(values[i] & 0xFF);
      game[0x11 + 2 * i] = static_cast<char>(values[i] >> 8);
    }
  }
  game.replace(0x40, 3, "\x56\x58\xFF");
  game.replace(0x48, 2, "\x5A\xFF");
  return game;
}

}  // namespace binconv::test
