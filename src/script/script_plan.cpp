#include "script/script_plan.h"

#include <algorithm>
#include <map>

#include "chartable/byte_reader.h"
#include "script/placement.h"
#include "script/plan.h"

namespace binconv {
namespace {

constexpr std::size_t kWindow = 64 * 1024;

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

std::string DescribeFormatError(const FormatWordError& error,
                                std::span<const std::string_view> words) {
  const std::string word = error.word < words.size() ? std::string(words[error.word]) : "";
  switch (error.code) {
    case FormatWordErrorCode::kNoType:
      return "format NAME needs a TYPE (u16le u16be u24le u24be u32le u32be)";
    case FormatWordErrorCode::kUnknownType:
      return "'" + word + "' is not a TYPE (u16le u16be u24le u24be u32le u32be)";
    case FormatWordErrorCode::kUnknownWord:
      return "'" + word + "' is not header=, base=, map= or relative=";
    case FormatWordErrorCode::kBadNumber:
      return "'" + word + "' needs a decimal or 0x hex number";
    case FormatWordErrorCode::kBadValue:
      return "'" + word + "' is not map=linear|lorom|hirom or relative=self|table";
    case FormatWordErrorCode::kRepeated:
      return "'" + word + "' is given twice";
    case FormatWordErrorCode::kRelativeWith:
      return "relative= counts from the pointer or its table; header=, base= and map= "
             "don't apply with it";
  }
  return "?";
}

struct Parser {
  std::string_view plan_name;
  ScriptPlan& plan;
  std::map<std::string, std::pair<PointerFormat, std::size_t>, std::less<>> formats;

  void Bad(std::size_t line, std::string reason) {
    ScriptProblem p{ScriptProblemCode::kBadLine, std::string(plan_name), line};
    p.reason = std::move(reason);
    plan.problems.push_back(std::move(p));
  }

  void Format(std::size_t line, const std::vector<std::string>& fields) {
    if (fields.size() < 3)
      return Bad(line,
                 "expected format NAME TYPE [header=N] [base=N] "
                 "[map=linear|lorom|hirom] [relative=self|table]");
    std::vector<std::string_view> words(fields.begin() + 2, fields.end());
    auto format = ParsePointerFormat(words);
    if (!format) return Bad(line, DescribeFormatError(format.error(), words));
    if (auto [it, fresh] = formats.try_emplace(fields[1], format.value(), line); !fresh) {
      return Bad(line, "the format '" + fields[1] + "' is already named on line " +
                           std::to_string(it->second.second));
    }
  }

  void Space(std::size_t line, const std::vector<std::string>& fields) {
    if (fields.size() < 2 || fields.size() > 3)
      return Bad(line, "expected space START..END [fill=XX]");
    SpaceSpec space{line};
    const auto range = ParseRange(fields[1]);
    if (!range) return Bad(line, "'" + fields[1] + "' is not a range START..END with START <= END");
    space.range = *range;
    if (fields.size() == 3) {
      if (!fields[2].starts_with("fill=") || !(space.fill = ParseByte(fields[2].substr(5)))) {
        return Bad(line, "'" + fields[2] + "' is not fill=XX, a byte of two hex digits");
      }
    }
    plan.spaces.push_back(space);
  }

  void Script(std::size_t line, const std::vector<std::string>& fields) {
    if (fields.size() < 2 || fields[1].empty())
      return Bad(line, "expected script FILE and its words");
    ScriptSpec def;
    def.line = line;
    def.file = fields[1];
    def.path = PathOfScript(std::string(plan_name), def.file);
    def.shown = PathToUtf8(def.path);
    std::map<std::string, std::string, std::less<>> words;
    static constexpr std::string_view kNames[] = {"table",  "stride", "lo",   "hi",
                                                  "count",  "format", "end",  "text",
                                                  "layout", "align",  "fill", "skip"};
    for (std::size_t i = 2; i < fields.size(); ++i) {
      const std::size_t eq = fields[i].find('=');
      const std::string name = fields[i].substr(0, eq);
      if (eq == std::string::npos ||
          std::find(std::begin(kNames), std::end(kNames), name) == std::end(kNames)) {
        return Bad(line, "'" + fields[i] +
                             "' is not one of table= stride= lo= hi= count= format= "
                             "end= text= layout= align= fill= skip=");
      }
      if (!words.emplace(name, fields[i].substr(eq + 1)).second) {
        return Bad(line, "'" + name + "=' is given twice");
      }
    }
    auto number = [&](std::string_view name, std::uint64_t& value) {
      auto it = words.find(name);
      if (it == words.end()) return true;
      const auto parsed = ParseNumber(it->second);
      if (!parsed) {
        Bad(line, std::string(name) + "='" + it->second + "' is not a decimal or 0x hex number");
        return false;
      }
      value = *parsed;
      return true;
    };
    const bool has_table = words.count("table") != 0;
    const bool has_lo = words.count("lo") != 0;
    const bool has_hi = words.count("hi") != 0;
    if (has_table == (has_lo || has_hi) || has_lo != has_hi) {
      return Bad(line, "a script needs either table=OFFSET or both lo=OFFSET and hi=OFFSET");
    }
    if (has_lo && words.count("stride") != 0) return Bad(line, "stride= is for table=, not lo/hi");
    def.split = has_lo;
    for (const char* needed : {"count", "format", "end"}) {
      if (words.count(needed) == 0) return Bad(line, std::string("a script needs ") + needed + "=");
    }
    if (!number(def.split ? "lo" : "table", def.table) || !number("hi", def.hi) ||
        !number("count", def.count) || !number("stride", def.stride) ||
        !number("align", def.align)) {
      return;
    }
    def.format_name = words["format"];
    auto format = formats.find(def.format_name);
    if (format == formats.end()) {
      return Bad(line, "no format line names '" + def.format_name + "'");
    }
    def.format = format->second.first;
    const unsigned width = WidthOf(def.format.type);
    if (def.split && width != 2) {
      return Bad(line, "a split lo/hi table needs a 16-bit TYPE; '" + def.format_name + "' is " +
                           std::to_string(8 * width) + "-bit");
    }
    if (!def.split) {
      if (words.count("stride") == 0) def.stride = width;
      if (def.stride < width) {
        return Bad(line, "stride=" + std::to_string(def.stride) +
                             " is less than the pointer's width of " + std::to_string(width));
      }
    }
    if (const auto end = ParseByte(words["end"])) {
      def.end = *end;
    } else {
      return Bad(line, "end='" + words["end"] + "' is not a byte of two hex digits");
    }
    if (auto it = words.find("text"); it != words.end()) {
      def.text = ParseRange(it->second);
      if (!def.text) {
        return Bad(line, "text='" + it->second + "' is not a range START..END with START <= END");
      }
    }
    if (auto it = words.find("layout"); it != words.end()) {
      if (it->second == "pack") {
        def.layout = ScriptLayout::kPack;
      } else if (it->second != "slots") {
        return Bad(line, "layout='" + it->second + "' is not slots or pack");
      }
      if (def.layout == ScriptLayout::kPack && !def.text) {
        return Bad(line, "layout=pack lays out the text= block again; it needs text=START..END");
      }
    }
    if (def.align == 0 || def.align > 0x10000) {
      return Bad(line, "align=" + std::to_string(def.align) + " must be 1 to 65536");
    }
    if (auto it = words.find("fill"); it != words.end()) {
      if (!(def.fill = ParseByte(it->second))) {
        return Bad(line, "fill='" + it->second + "' is not a byte of two hex digits");
      }
    }
    if (auto it = words.find("skip"); it != words.end()) {
      std::string_view rest = it->second;
      while (true) {
        const std::size_t comma = rest.find(',');
        const auto value = ParseNumber(rest.substr(0, comma));
        if (!value) {
          return Bad(line, "skip='" + it->second + "' is not a list of numbers V,V...");
        }
        def.skip.push_back(*value);
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
      }
      std::sort(def.skip.begin(), def.skip.end());
    }
    plan.scripts.push_back(std::move(def));
  }
};

// The same file, whether named alike or not; two names of files that don't
// exist yet are compared as written.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  if (std::filesystem::equivalent(a, b, error)) return true;
  auto full = [](const std::filesystem::path& p) {
    std::error_code e;
    std::filesystem::path absolute = std::filesystem::absolute(p, e);
    if (e) return p.lexically_normal();
    std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, e);
    return e ? absolute.lexically_normal() : canonical;
  };
  return full(a) == full(b);
}

}  // namespace

ScriptPlan ParseScriptPlan(std::string_view plan_bytes, const std::string& plan_name) {
  ScriptPlan plan;
  Parser parser{plan_name, plan, {}};
  // Formats may be named after the scripts that use them: read them first.
  for (int pass = 0; pass < 2; ++pass) {
    std::size_t line_number = 0;
    std::size_t at = 0;
    while (at < plan_bytes.size()) {
      std::size_t end = plan_bytes.find_first_of("\r\n", at);
      if (end == std::string_view::npos) end = plan_bytes.size();
      const std::string_view line = plan_bytes.substr(at, end - at);
      at = end + 1;
      if (end + 1 < plan_bytes.size() && plan_bytes[end] == '\r' && plan_bytes[end + 1] == '\n') {
        ++at;
      }
      ++line_number;
      std::vector<std::string> fields;
      std::string reason;
      // A bad quote is PreparePlan's to report; it reads every line too.
      if (!detail::SplitPlanFields(line, fields, reason) || fields.empty()) continue;
      if (pass == 0 && fields[0] == "format") parser.Format(line_number, fields);
      if (pass == 1 && fields[0] == "space") parser.Space(line_number, fields);
      if (pass == 1 && fields[0] == "script") parser.Script(line_number, fields);
    }
  }
  const std::filesystem::path plan_path = PathFromUtf8(plan_name);
  for (std::size_t i = 0; i < plan.scripts.size(); ++i) {
    const ScriptSpec& def = plan.scripts[i];
    ScriptProblem p{ScriptProblemCode::kSameFile, plan_name, def.line};
    if (plan_name != "-" && SameFile(def.path, plan_path)) {
      plan.problems.push_back(p);
      continue;
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (SameFile(def.path, plan.scripts[j].path)) {
        p.other_line = plan.scripts[j].line;
        plan.problems.push_back(p);
        break;
      }
    }
  }
  std::stable_sort(plan.problems.begin(), plan.problems.end(),
                   [](const ScriptProblem& a, const ScriptProblem& b) { return a.line < b.line; });
  return plan;
}

std::vector<ByteRange> PointerRangesOf(const ScriptSpec& def) {
  if (def.count == 0) return {};
  if (def.split) {
    return {ByteRange{def.table, def.table + def.count - 1},
            ByteRange{def.hi, def.hi + def.count - 1}};
  }
  return {ByteRange{def.table,
                    def.table + (def.count - 1) * def.stride + WidthOf(def.format.type) - 1}};
}

void CheckScriptPlanInGame(ScriptPlan& plan, const std::string& plan_name,
                           std::uint64_t game_size) {
  auto past = [&](std::size_t line, std::string what, std::uint64_t first, std::uint64_t length) {
    if (first <= game_size && length <= game_size - first) return false;
    ScriptProblem p{ScriptProblemCode::kPastEnd, plan_name, line};
    p.amount = length > UINT64_MAX - first ? UINT64_MAX : first + length;
    p.limit = game_size;
    p.reason = std::move(what);
    plan.problems.push_back(std::move(p));
    return true;
  };
  std::vector<ScriptSpec> kept;
  for (ScriptSpec& def : plan.scripts) {
    bool bad = false;
    const unsigned width = WidthOf(def.format.type);
    if (def.split) {
      bad |= past(def.line, "the lo= table", def.table, def.count);
      bad |= past(def.line, "the hi= table", def.hi, def.count);
    } else if (def.count != 0) {
      // count * stride checked against the game before it is multiplied.
      const std::uint64_t room = game_size > def.table ? game_size - def.table : 0;
      const bool fits = room >= width && (def.count - 1) <= (room - width) / def.stride;
      if (!fits) {
        ScriptProblem p{ScriptProblemCode::kPastEnd, plan_name, def.line};
        const std::uint64_t headroom =
            def.table > UINT64_MAX - width ? 0 : UINT64_MAX - def.table - width;
        p.amount = (def.count - 1) > headroom / def.stride
                       ? UINT64_MAX
                       : def.table + (def.count - 1) * def.stride + width;
        p.limit = game_size;
        p.reason = "the pointer table";
        plan.problems.push_back(std::move(p));
        bad = true;
      }
    }
    if (def.text)
      bad |= past(def.line, "text=", def.text->first, def.text->last - def.text->first + 1);
    if (!bad) kept.push_back(std::move(def));
  }
  plan.scripts = std::move(kept);
  for (const SpaceSpec& space : plan.spaces) {
    past(space.line, "the space", space.range.first, space.range.last - space.range.first + 1);
  }
  std::stable_sort(plan.problems.begin(), plan.problems.end(),
                   [](const ScriptProblem& a, const ScriptProblem& b) { return a.line < b.line; });
}

PointerSite SiteOf(const ScriptSpec& def, std::uint64_t i) {
  return PointerSite{def.split ? def.table + i : def.table + i * def.stride, def.table};
}

bool GameBytes::ByteAt(std::uint64_t offset, std::uint8_t& byte) {
  if (offset >= reader_.size()) {
    // Callers check first; a read past the end is never sized by it.
    error_ = IoError{IoErrorCode::kOutOfRange, "", 0, "Read past the end of the game"};
    return false;
  }
  if (offset < window_start_ || offset - window_start_ >= window_.size()) {
    window_start_ = offset;
    const std::uint64_t left = reader_.size() - offset;
    window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, left)));
    if (auto read = reader_.ReadAt(offset, window_); !read) {
      window_.clear();
      error_ = read.error();
      return false;
    }
  }
  byte = window_[static_cast<std::size_t>(offset - window_start_)];
  return true;
}

Result<ScriptTableResult, IoError> ReadScriptTable(const ScriptSpec& def, GameBytes& game,
                                                   bool keep_bytes, const std::string& plan_name,
                                                   std::vector<ScriptProblem>& problems) {
  ScriptTableResult result;
  const std::size_t problems_before = problems.size();
  auto problem = [&](ScriptProblemCode code, std::size_t i, std::uint64_t amount) {
    ScriptProblem p{code, plan_name, def.line};
    p.index = i;
    p.offset = SiteOf(def, i).offset;
    p.amount = amount;
    return p;
  };
  const unsigned width = WidthOf(def.format.type);
  const std::vector<ByteRange> tables = PointerRangesOf(def);
  // (target, pointer index) of every pointer that is not skipped.
  std::vector<std::pair<std::uint64_t, std::size_t>> targets;
  for (std::uint64_t i = 0; i < def.count; ++i) {
    const PointerSite site = SiteOf(def, i);
    std::uint8_t raw[4] = {};
    if (def.split) {
      if (!game.ByteAt(def.table + i, raw[0]) || !game.ByteAt(def.hi + i, raw[1])) {
        return Unexpected(game.error());
      }
      // lo | hi << 8, whatever the TYPE's byte order says.
      const std::uint8_t lo = raw[0];
      const std::uint8_t hi = raw[1];
      WritePointer(def.format.type, std::uint64_t{lo} | std::uint64_t{hi} << 8, raw);
    } else {
      for (unsigned k = 0; k < width; ++k) {
        if (!game.ByteAt(site.offset + k, raw[k])) return Unexpected(game.error());
      }
    }
    const std::uint64_t value = ReadPointer(def.format.type, raw);
    if (std::binary_search(def.skip.begin(), def.skip.end(), value)) continue;
    const auto target = TargetOfValue(def.format, value, site);
    if (!target) {
      ScriptProblem p = problem(ScriptProblemCode::kPointerUnmapped, i, value);
      p.reason = target.error() == PointerMapErrorCode::kBeforeStart
                     ? "it points before the start of the file"
                     : "it is not an address the format can produce";
      problems.push_back(std::move(p));
      continue;
    }
    const std::uint64_t t = target.value();
    if (t >= game.size() || (def.text && (t < def.text->first || t > def.text->last))) {
      ScriptProblem p = problem(ScriptProblemCode::kPointerOutside, i, t);
      p.reason = t >= game.size() ? "past the end of the game" : "outside text=";
      problems.push_back(std::move(p));
      continue;
    }
    targets.emplace_back(t, static_cast<std::size_t>(i));
  }
  if (problems.size() != problems_before) return result;
  std::sort(targets.begin(), targets.end());

  const std::uint64_t limit = def.text ? def.text->end() : game.size();
  for (std::size_t k = 0; k < targets.size();) {
    ScriptString s;
    s.at = targets[k].first;
    while (k < targets.size() && targets[k].first == s.at)
      s.pointers.push_back(targets[k++].second);
    s.index = s.pointers.front();
    std::uint64_t next = k < targets.size() ? targets[k].first : limit;
    // A room also ends where the table itself stands inside the block.
    for (const ByteRange& table : tables) {
      if (table.first > s.at) next = std::min(next, table.first);
    }
    // Read as the game does: a lead byte takes the byte after it.
    std::uint64_t p = s.at;
    bool ended = false;
    UnitBounds units;
    for (; p < limit; ++p) {
      std::uint8_t b = 0;
      if (!game.ByteAt(p, b)) return Unexpected(game.error());
      if (units.Feed(b) && b == def.end) {
        ended = true;
        break;
      }
      if (keep_bytes) s.bytes.push_back(b);
    }
    if (!ended) {
      ScriptProblem problem_found = problem(ScriptProblemCode::kNoTerminator, s.index, s.at);
      problem_found.limit = limit;
      problems.push_back(std::move(problem_found));
      continue;
    }
    s.length = p + 1 - s.at;
    const bool into_table = std::any_of(tables.begin(), tables.end(), [&](const ByteRange& t) {
      return s.at <= t.last && t.first < s.at + s.length;
    });
    if (into_table) {
      problems.push_back(problem(ScriptProblemCode::kIntoTable, s.index, s.at));
      continue;
    }
    if (s.length > next - s.at) {
      ScriptProblem found = problem(ScriptProblemCode::kStringsOverlap, s.index, s.at);
      found.limit = next;
      problems.push_back(std::move(found));
      continue;
    }
    s.room = def.text ? next - s.at : s.length;
    result.strings.push_back(std::move(s));
  }
  if (problems.size() != problems_before) return result;
  std::sort(result.strings.begin(), result.strings.end(),
            [](const ScriptString& a, const ScriptString& b) { return a.index < b.index; });
  result.ok = true;
  return result;
}

}  // namespace binconv
