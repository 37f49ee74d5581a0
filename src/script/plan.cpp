#include "script/plan.h"

#include <algorithm>
#include <map>
#include <utility>

#include "runtime/file.h"
#include "runtime/hex.h"
#include "runtime/text_file.h"
#include "runtime/utf8.h"

namespace binconv {

namespace detail {

bool SplitPlanFields(std::string_view line, std::vector<std::string>& fields,
                     ProblemDetail& why) {
  std::size_t i = 0;
  auto blank = [&](char c) { return c == ' ' || c == '\t'; };
  while (i < line.size()) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i == line.size() || line[i] == '#') break;
    std::string field;
    if (line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) {
        why = ProblemDetail::kUnclosedQuote;
        return false;
      }
      field = line.substr(i + 1, close - i - 1);
      i = close + 1;
      if (i < line.size() && !blank(line[i])) {
        why = ProblemDetail::kQuoteNotFollowed;
        return false;
      }
    } else {
      while (i < line.size() && !blank(line[i])) field += line[i++];
    }
    fields.push_back(std::move(field));
  }
  return true;
}

}  // namespace detail

namespace {

using Fields = std::vector<std::string>;

// What a line is, by its first field: the one place the keywords are known.
enum class LineKind { kEntry, kFormat, kSpace, kScript, kGrow };

LineKind KindOfLine(std::string_view first) {
  if (first == "format") return LineKind::kFormat;
  if (first == "space") return LineKind::kSpace;
  if (first == "script") return LineKind::kScript;
  if (first == "grow") return LineKind::kGrow;
  return LineKind::kEntry;
}

// Why a line is bad, and the words and numbers that say so.
struct Why {
  ProblemDetail detail;
  std::string what{};
  std::string other_what{};
  std::size_t other_line = 0;
  std::uint64_t number = 0;
  std::uint64_t other_number = 0;
};

Problem BadLine(const std::string& plan_name, std::size_t line, Why why) {
  Problem p{ProblemCode::kBadLine, plan_name, line};
  p.detail = why.detail;
  p.what = std::move(why.what);
  p.other_what = std::move(why.other_what);
  p.other_line = why.other_line;
  p.number = why.number;
  p.other_number = why.other_number;
  return p;
}

// FILE of an entry as messages name it, found from the plan's folder.
std::string ShownTextName(const std::string& plan_name, const std::string& file) {
  if (plan_name == "-" || plan_name.empty()) return file;
  if (PathFromUtf8(file).is_absolute()) return file;
    // Joined as text, so that the name keeps the separators the plan's name has.
#ifdef _WIN32
  const std::size_t end = plan_name.find_last_of("/\\");
#else
  const std::size_t end = plan_name.rfind('/');
#endif
  if (end == std::string::npos) return file;
  return plan_name.substr(0, end + 1) + file;
}

// An OFFSET ROOM FILE [FILL] line into `plan`.
void ReadEntry(std::size_t line, const Fields& fields, const std::string& plan_name, Plan& plan) {
  auto bad = [&](Why why) { plan.entry_problems.push_back(BadLine(plan_name, line, std::move(why))); };
  if (fields.size() < 3 || fields.size() > 4) {
    return bad({.detail = ProblemDetail::kEntryFieldCount, .number = fields.size()});
  }
  const auto offset = ParseNumber(fields[0]);
  const auto room = ParseNumber(fields[1]);
  std::optional<std::uint8_t> fill;
  if (fields.size() == 4) fill = ParseByte(fields[3]);
  if (!offset) return bad({ProblemDetail::kBadOffset, fields[0]});
  if (!room) return bad({ProblemDetail::kBadRoom, fields[1]});
  if (*room == 0) return bad({ProblemDetail::kZeroRoom});
  if (fields.size() == 4 && !fill) return bad({ProblemDetail::kBadFill, fields[3]});
  if (fields[2].empty()) return bad({ProblemDetail::kEmptyFileName});
  // A name is cut at its first NUL by every system call: two names that
  // differ after it would be one file.
  if (fields[2].find('\0') != std::string::npos) return bad({ProblemDetail::kNulInName});
  plan.entries.push_back(
      {line, Placement{*offset, *room, fill}, ShownTextName(plan_name, fields[2])});
}

// FILE of a script line as found from the plan's folder.
std::filesystem::path PathOfScript(const std::string& plan_name, const std::string& file) {
  const std::filesystem::path path = PathFromUtf8(file);
  if (plan_name == "-" || plan_name.empty() || path.is_absolute()) return path;
  return PathFromUtf8(plan_name).parent_path() / path;
}

std::optional<ByteRange> ParseRange(std::string_view text) {
  const std::size_t dots = text.find("..");
  if (dots == std::string_view::npos) return std::nullopt;
  const auto first = ParseNumber(text.substr(0, dots));
  const auto last = ParseNumber(text.substr(dots + 2));
  if (!first || !last || *last < *first || *last == UINT64_MAX) return std::nullopt;
  return ByteRange{*first, *last};
}

// A space's name: ASCII letters, digits, '_' and '-', not starting with a
// digit, so that it reads as neither a number nor a range and a list of
// names splits at its commas.
bool IsSpaceName(std::string_view name) {
  auto allowed = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '-';
  };
  return !name.empty() && !(name[0] >= '0' && name[0] <= '9') &&
         std::all_of(name.begin(), name.end(), allowed);
}

// The items of a list V,V...; an empty one where two commas meet.
std::vector<std::string_view> SplitAtCommas(std::string_view list) {
  std::vector<std::string_view> items;
  while (true) {
    const std::size_t comma = list.find(',');
    items.push_back(list.substr(0, comma));
    if (comma == std::string_view::npos) return items;
    list.remove_prefix(comma + 1);
  }
}

// The words NAME=VALUE of a script line.
using Words = std::map<std::string, std::string, std::less<>>;

// The keyword lines of one plan; each returns early at its line's first
// problem, so a line gives at most one.
struct KeywordLines {
  const std::string& plan_name;
  Plan& plan;
  bool has_end_token = false;
  std::map<std::string, std::pair<PointerFormat, std::size_t>, std::less<>> formats{};
  std::map<std::string, std::size_t, std::less<>> space_lines{};  // by name
  std::size_t line = 0;

  bool Bad(Why why) {
    plan.script_problems.push_back(BadLine(plan_name, line, std::move(why)));
    return false;
  }

  void Format(const Fields& fields) {
    if (fields.size() < 3) {
      Bad({ProblemDetail::kFormatLine});
      return;
    }
    std::vector<std::string_view> words(fields.begin() + 2, fields.end());
    auto format = ParsePointerFormat(words);
    if (!format) {
      Bad({format.error().detail, format.error().what});
      return;
    }
    if (auto [it, fresh] = formats.try_emplace(fields[1], format.value(), line); !fresh) {
      Bad({.detail = ProblemDetail::kFormatNamedTwice,
           .what = fields[1],
           .other_line = it->second.second});
    }
  }

  void Space(const Fields& fields) {
    // NAME stands first when the line begins with no range and goes on
    // past it with more than a fill=XX.
    const bool ranged = ParseRange(fields.size() > 1 ? fields[1] : "").has_value();
    if (fields.size() < 2 || fields.size() > 4 || (fields.size() == 4 && ranged)) {
      Bad({ProblemDetail::kSpaceLine});
      return;
    }
    SpaceSpec space{line};
    Fields rest = fields;
    if (fields.size() == 4 || (fields.size() == 3 && !ranged && !fields[2].starts_with("fill="))) {
      if (!NameSpace(fields[1], space)) return;
      rest.erase(rest.begin() + 1);
    }
    const auto range = ParseRange(rest[1]);
    if (!range) {
      Bad({ProblemDetail::kBadRange, rest[1]});
      return;
    }
    space.range = *range;
    if (!OptionalFill(rest, space.fill)) return;
    plan.spaces.push_back(space);
  }

  bool NameSpace(const std::string& name, SpaceSpec& space) {
    if (!IsSpaceName(name)) {
      return Bad({ProblemDetail::kBadSpaceName, name});
    }
    if (auto [it, fresh] = space_lines.try_emplace(name, line); !fresh) {
      return Bad(
          {.detail = ProblemDetail::kSpaceNamedTwice, .what = name, .other_line = it->second});
    }
    space.name = name;
    return true;
  }

  // The fill=XX that may end a space or grow line; false when it is not one.
  bool OptionalFill(const Fields& fields, std::optional<std::uint8_t>& fill) {
    if (fields.size() < 3) return true;
    if (!fields[2].starts_with("fill=") || !(fill = ParseByte(fields[2].substr(5)))) {
      return Bad({ProblemDetail::kBadFillWord, fields[2]});
    }
    return true;
  }

  void Grow(const Fields& fields) {
    if (fields.size() < 2 || fields.size() > 3) {
      Bad({ProblemDetail::kGrowLine});
      return;
    }
    if (plan.grow) {
      Bad({.detail = ProblemDetail::kGrownTwice, .other_line = plan.grow->line});
      return;
    }
    GrowSpec grow{line};
    const auto size = ParseNumber(fields[1]);
    if (!size) {
      Bad({ProblemDetail::kBadSize, fields[1]});
      return;
    }
    grow.size = *size;
    std::optional<std::uint8_t> fill;
    if (!OptionalFill(fields, fill)) return;
    grow.fill = fill.value_or(grow.fill);
    plan.grow = grow;
  }

  void Script(const Fields& fields) {
    if (fields.size() < 2 || fields[1].empty()) {
      Bad({ProblemDetail::kScriptLine});
      return;
    }
    if (fields[1].find('\0') != std::string::npos) {
      Bad({ProblemDetail::kNulInName});
      return;
    }
    ScriptSpec def;
    def.line = line;
    def.file = fields[1];
    def.path = PathOfScript(plan_name, def.file);
    def.shown = PathToUtf8(def.path);
    Words words;
    if (ReadWords(fields, words) && ReadTable(words, def) && ReadOptions(words, def) &&
        ReadSpaces(words, def)) {
      plan.scripts.push_back(std::move(def));
    }
  }

  bool ReadWords(const Fields& fields, Words& words) {
    static constexpr std::string_view kNames[] = {"table",  "stride", "lo",   "hi",
                                                  "count",  "format", "end",  "text",
                                                  "layout", "align",  "fill", "skip", "max",
                                                  "width",  "lines",  "spaces"};
    for (std::size_t i = 2; i < fields.size(); ++i) {
      const std::size_t eq = fields[i].find('=');
      const std::string name = fields[i].substr(0, eq);
      if (eq == std::string::npos ||
          std::find(std::begin(kNames), std::end(kNames), name) == std::end(kNames)) {
        return Bad({ProblemDetail::kUnknownScriptWord, fields[i]});
      }
      if (!words.emplace(name, fields[i].substr(eq + 1)).second) {
        return Bad({ProblemDetail::kScriptWordTwice, name});
      }
    }
    return true;
  }

  bool Number(const Words& words, std::string_view name, std::uint64_t& value) {
    auto it = words.find(name);
    if (it == words.end()) return true;
    const auto parsed = ParseNumber(it->second);
    if (!parsed) {
      return Bad({ProblemDetail::kBadNumberWord, std::string(name), it->second});
    }
    value = *parsed;
    return true;
  }

  // Where the pointers stand and how they are read.
  bool ReadTable(Words& words, ScriptSpec& def) {
    const bool has_table = words.count("table") != 0;
    const bool has_lo = words.count("lo") != 0;
    const bool has_hi = words.count("hi") != 0;
    if (has_table == (has_lo || has_hi) || has_lo != has_hi) {
      return Bad({ProblemDetail::kNoTable});
    }
    if (has_lo && words.count("stride") != 0) return Bad({ProblemDetail::kStrideWithLoHi});
    def.split = has_lo;
    for (const char* needed : {"count", "format", "end"}) {
      if (words.count(needed) == 0 && !(needed == std::string_view("end") && has_end_token)) {
        return Bad({ProblemDetail::kScriptNeeds, needed});
      }
    }
    if (!Number(words, def.split ? "lo" : "table", def.table) || !Number(words, "hi", def.hi) ||
        !Number(words, "count", def.count) || !Number(words, "stride", def.stride) ||
        !Number(words, "align", def.align) || !Number(words, "max", def.max_string)) {
      return false;
    }
    def.format_name = words["format"];
    auto format = formats.find(def.format_name);
    if (format == formats.end()) return Bad({ProblemDetail::kUnknownFormat, def.format_name});
    def.format = format->second.first;
    const unsigned width = WidthOf(def.format.type);
    if (def.split && width != 2) {
      return Bad({.detail = ProblemDetail::kSplitNeeds16,
                  .what = def.format_name,
                  .number = 8 * width});
    }
    if (!def.split) {
      if (words.count("stride") == 0) def.stride = width;
      if (def.stride < width) {
        return Bad({.detail = ProblemDetail::kStrideTooSmall,
                    .number = def.stride,
                    .other_number = width});
      }
    }
    if (words.count("end") == 0) return true;
    const auto end = ParseByte(words["end"]);
    if (!end) return Bad({ProblemDetail::kBadByteWord, "end", words["end"]});
    def.end = *end;
    return true;
  }

  // The text block, how it is laid out, and the skipped values.
  bool ReadOptions(const Words& words, ScriptSpec& def) {
    if (auto it = words.find("text"); it != words.end()) {
      def.text = ParseRange(it->second);
      if (!def.text) {
        return Bad({ProblemDetail::kBadRangeWord, "text", it->second});
      }
    }
    if (auto it = words.find("layout"); it != words.end()) {
      if (it->second == "pack") {
        def.layout = ScriptLayout::kPack;
      } else if (it->second != "slots") {
        return Bad({ProblemDetail::kBadLayout, it->second});
      }
      if (def.layout == ScriptLayout::kPack && !def.text) {
        return Bad({ProblemDetail::kPackNeedsText});
      }
    }
    if (def.align == 0 || def.align > 0x10000) {
      return Bad({.detail = ProblemDetail::kBadAlign, .number = def.align});
    }
    if (def.max_string == 0) return Bad({ProblemDetail::kZeroMax});
    const std::pair<std::string_view, std::uint64_t*> limits[] = {{"width", &def.width},
                                                                  {"lines", &def.lines}};
    for (const auto& [name, limit] : limits) {
      if (!Number(words, name, *limit)) return false;
      if (words.find(name) != words.end() && *limit == 0) {
        return Bad({ProblemDetail::kZeroLimit, std::string(name)});
      }
    }
    if (auto it = words.find("fill"); it != words.end()) {
      if (!(def.fill = ParseByte(it->second))) {
        return Bad({ProblemDetail::kBadByteWord, "fill", it->second});
      }
    }
    if (auto it = words.find("skip"); it != words.end()) {
      for (const std::string_view item : SplitAtCommas(it->second)) {
        const auto value = ParseNumber(item);
        if (!value) return Bad({ProblemDetail::kBadSkip, it->second});
        def.skip.push_back(*value);
      }
      std::sort(def.skip.begin(), def.skip.end());
    }
    return true;
  }

  // spaces=NAME,NAME: every name one a space line gives, wherever it stands.
  bool ReadSpaces(const Words& words, ScriptSpec& def) {
    const auto it = words.find("spaces");
    if (it == words.end()) return true;
    for (const std::string_view name : SplitAtCommas(it->second)) {
      if (name.empty()) return Bad({ProblemDetail::kBadSpacesList, it->second});
      if (space_lines.find(name) == space_lines.end()) {
        return Bad({ProblemDetail::kUnknownSpace, std::string(name)});
      }
      def.spaces.emplace_back(name);
    }
    std::sort(def.spaces.begin(), def.spaces.end());
    def.spaces.erase(std::unique(def.spaces.begin(), def.spaces.end()), def.spaces.end());
    return true;
  }
};

// A script's file must be neither the plan nor another script's file. The
// names are compared by full name through a map, so that thousands of
// scripts take no longer than sorting them.
void CheckScriptFiles(const std::string& plan_name, Plan& plan) {
  const std::filesystem::path plan_path = PathFromUtf8(plan_name);
  std::map<std::filesystem::path, std::size_t> first_lines;  // line 0: the plan
  if (plan_name != "-") first_lines.emplace(FullFileName(plan_path), 0);
  for (const ScriptSpec& def : plan.scripts) {
    Problem p{ProblemCode::kSameFile, plan_name, def.line};
    const auto [first, added] = first_lines.emplace(FullFileName(def.path), def.line);
    if (!added) {
      p.other_line = first->second;
      plan.script_problems.push_back(p);
    } else if (plan_name != "-" && AreOneExistingFile(def.path, plan_path)) {
      plan.script_problems.push_back(p);
    }
  }
}

}  // namespace

Result<Plan, Problem> ParsePlan(std::string_view plan_bytes, const std::string& plan_name,
                                bool has_end_token) {
  if (plan_bytes.starts_with(kUtf8ByteOrderMark)) {
    plan_bytes.remove_prefix(kUtf8ByteOrderMark.size());
  }
  if (auto decoded = DecodeUtf8(plan_bytes); !decoded) {
    Problem p{ProblemCode::kBadUtf8, plan_name};
    std::tie(p.line, p.column) = LineAndColumnOf(plan_bytes, decoded.error().offset);
    p.detail = NotUtf8Detail(plan_bytes, decoded.error().offset, true);
    return Unexpected(std::move(p));
  }
  Plan plan;
  std::vector<std::pair<std::size_t, Fields>> keyword_lines;
  std::size_t line_number = 0;
  std::string_view line;
  while (TakeLine(plan_bytes, line)) {
    ++line_number;
    Fields fields;
    ProblemDetail why = ProblemDetail::kNone;
    if (!detail::SplitPlanFields(line, fields, why)) {
      plan.entry_problems.push_back(BadLine(plan_name, line_number, {why}));
    } else if (!fields.empty() && KindOfLine(fields[0]) == LineKind::kEntry) {
      ReadEntry(line_number, fields, plan_name, plan);
    } else if (!fields.empty()) {
      keyword_lines.emplace_back(line_number, std::move(fields));
    }
  }
  KeywordLines keywords{plan_name, plan, has_end_token};
  // Formats and spaces may be named after the scripts that use them: read
  // them first.
  for (const auto& [number, fields] : keyword_lines) {
    keywords.line = number;
    if (KindOfLine(fields[0]) == LineKind::kFormat) keywords.Format(fields);
    if (KindOfLine(fields[0]) == LineKind::kSpace) keywords.Space(fields);
  }
  for (const auto& [number, fields] : keyword_lines) {
    keywords.line = number;
    if (KindOfLine(fields[0]) == LineKind::kScript) keywords.Script(fields);
    if (KindOfLine(fields[0]) == LineKind::kGrow) keywords.Grow(fields);
  }
  CheckScriptFiles(plan_name, plan);
  SortByLine(plan.script_problems);
  return plan;
}

std::uint64_t GrownSizeOf(const Plan& plan, const std::string& plan_name,
                          const std::string& game_name, std::uint64_t game_size,
                          std::vector<Problem>& problems) {
  if (!plan.grow) return game_size;
  if (plan.grow->size >= game_size) return plan.grow->size;
  Problem p = BadLine(plan_name, plan.grow->line,
                      {.detail = ProblemDetail::kGrowCuts, .what = game_name, .number = plan.grow->size});
  p.game_size = game_size;
  problems.push_back(std::move(p));
  return game_size;
}

}  // namespace binconv
