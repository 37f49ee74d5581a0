#include "script/script_plan.h"

#include <algorithm>

#include "codec/string_end.h"
#include "chartable/encoding.h"
#include "runtime/hex.h"
#include "script/placement.h"

namespace binconv {
namespace {

constexpr std::size_t kWindow = 64 * 1024;

Problem PastEnd(const std::string& plan_name, std::size_t line, PlanPartKind part,
                std::uint64_t end, std::uint64_t game_size) {
  Problem p{ProblemCode::kPastEnd, plan_name, line};
  p.part.kind = part;
  p.end = end;
  p.game_size = game_size;
  return p;
}

}  // namespace

std::vector<ByteRange> PointerRangesOf(const ScriptSpec& def) {
  if (def.count == 0) return {};
  if (def.split) {
    return {ByteRange{def.table, def.table + def.count - 1},
            ByteRange{def.hi, def.hi + def.count - 1}};
  }
  return {ByteRange{def.table,
                    def.table + (def.count - 1) * def.stride + WidthOf(def.format.type) - 1}};
}

void CheckScriptsInGame(std::vector<ScriptSpec>& scripts, const std::vector<SpaceSpec>& spaces,
                        const std::string& plan_name, std::uint64_t game_size,
                        std::vector<Problem>& problems, std::uint64_t grown_size) {
  auto past_of = [&](std::uint64_t size) {
    return [&, size](std::size_t line, PlanPartKind part, std::uint64_t first,
                     std::uint64_t length) {
      if (first <= size && length <= size - first) return false;
      // The last byte, as the plan writes its ranges.
      problems.push_back(PastEnd(plan_name, line, part,
                                 length > UINT64_MAX - first ? UINT64_MAX : first + length - 1,
                                 size));
      return true;
    };
  };
  auto past = past_of(game_size);
  std::vector<ScriptSpec> kept;
  for (ScriptSpec& def : scripts) {
    bool bad = false;
    const unsigned width = WidthOf(def.format.type);
    if (def.split) {
      bad |= past(def.line, PlanPartKind::kLoTable, def.table, def.count);
      bad |= past(def.line, PlanPartKind::kHiTable, def.hi, def.count);
    } else if (def.count != 0) {
      // count * stride checked against the game before it is multiplied.
      const std::uint64_t room = game_size > def.table ? game_size - def.table : 0;
      const bool fits = room >= width && (def.count - 1) <= (room - width) / def.stride;
      if (!fits) {
        const std::uint64_t headroom =
            def.table > UINT64_MAX - width ? 0 : UINT64_MAX - def.table - width;
        const std::uint64_t end = (def.count - 1) > headroom / def.stride
                                      ? UINT64_MAX
                                      : def.table + (def.count - 1) * def.stride + width - 1;
        problems.push_back(
            PastEnd(plan_name, def.line, PlanPartKind::kPointerTable, end, game_size));
        bad = true;
      }
    }
    if (def.text)
      bad |= past(def.line, PlanPartKind::kTextRange, def.text->first,
                  def.text->last - def.text->first + 1);
    if (!bad) kept.push_back(std::move(def));
  }
  scripts = std::move(kept);
  auto past_grown = past_of(std::max(game_size, grown_size));
  for (const SpaceSpec& space : spaces) {
    past_grown(space.line, PlanPartKind::kSpace, space.range.first,
               space.range.last - space.range.first + 1);
  }
  SortByLine(problems);
}

bool IsAsInGame(const ScriptString& string, std::span<const std::uint8_t> bytes) {
  return string.length != 0 && bytes.size() == string.bytes.size() + string.end.size() &&
         std::equal(string.bytes.begin(), string.bytes.end(), bytes.begin()) &&
         std::equal(string.end.begin(), string.end.end(), bytes.begin() + string.bytes.size());
}

PointerSite SiteOf(const ScriptSpec& def, std::uint64_t i) {
  return PointerSite{def.split ? def.table + i : def.table + i * def.stride, def.table};
}

bool GameBytes::ByteAt(std::uint64_t offset, std::uint8_t& byte) {
  if (offset >= reader_.size()) {
    // Callers check first; a read past the end is never sized by it.
    error_ = DetailedIoError(IoErrorCode::kOutOfRange, "", IoDetail::kReadPastGame);
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

namespace {

// A problem of pointer `i` of `def`'s table.
Problem PointerProblem(ProblemCode code, const ScriptSpec& def, const std::string& plan_name,
                       std::size_t i) {
  Problem p{code, plan_name, def.line};
  p.pointer = i;
  p.pointer_at = SiteOf(def, i).offset;
  return p;
}

using Targets = std::vector<std::pair<std::uint64_t, std::size_t>>;

// (target, pointer index) of every pointer that is not skipped, in pointer
// order; a problem for each that leads nowhere the script may read.
Result<Targets, IoError> ReadTargets(const ScriptSpec& def, GameBytes& game,
                                     const std::string& plan_name, std::vector<Problem>& problems) {
  const unsigned width = WidthOf(def.format.type);
  Targets targets;
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
    const auto index = static_cast<std::size_t>(i);
    const auto target = TargetOfValue(def.format, value, site);
    if (!target) {
      Problem p = PointerProblem(ProblemCode::kPointerUnmapped, def, plan_name, index);
      p.value = value;
      p.map_error = target.error();
      problems.push_back(std::move(p));
      continue;
    }
    const std::uint64_t t = target.value();
    if (t >= game.size() || (def.text && (t < def.text->first || t > def.text->last))) {
      Problem p = PointerProblem(ProblemCode::kPointerOutside, def, plan_name, index);
      p.at = t;
      p.game_size = game.size();
      problems.push_back(std::move(p));
      continue;
    }
    targets.emplace_back(t, index);
  }
  return targets;
}

// Where a string's end unit is, if it has one before its scan stopped.
struct StringEnd {
  std::optional<std::uint64_t> end;  // the offset after the end unit
  std::size_t end_size = 0;
  bool capped = false;  // stopped by the length cap, not by the end of text= or the game
};

// The end of every string starting at `starts` (ascending), read as the
// game does, one unit after another (StringEndReader). A string stops at its
// end, `limit`, or `cap` bytes after its start. Read from the last to the
// first: a scan that reaches the next start at a unit boundary goes on as
// that string's scan did, so pointers packed into bytes without an end cost
// one pass rather than one pass each.
Result<std::vector<StringEnd>, IoError> FindStringEnds(const std::vector<std::uint64_t>& starts,
                                                       GameBytes& game, const GameTable& encoding,
                                                       std::optional<std::uint8_t> end_byte,
                                                       std::uint64_t limit, std::uint64_t cap) {
  std::vector<StringEnd> ends(starts.size());
  for (std::size_t k = starts.size(); k-- > 0;) {
    const std::uint64_t at = starts[k];
    const std::uint64_t stop = at + std::min(cap, limit - at);
    StringEnd& found = ends[k];
    StringEndReader reader(encoding, end_byte);
    std::size_t next = k + 1;
    std::uint64_t p = at;
    for (; p < stop; ++p) {
      while (next < starts.size() && starts[next] < p) ++next;
      if (reader.at_unit_start() && next < starts.size() && starts[next] == p) {
        const StringEnd& later = ends[next];
        if (later.end && *later.end <= stop) found = later;
        break;
      }
      std::uint8_t b = 0;
      if (!game.ByteAt(p, b)) return Unexpected(game.error());
      if (const std::optional<StringEndReader::Ended> ended = reader.Feed(b)) {
        found.end = p + 1 - ended->past;
        found.end_size = ended->size;
        break;
      }
    }
    if (p == stop && !found.end) {
      if (const std::optional<StringEndReader::Ended> ended = reader.Finish()) {
        found.end = p - ended->past;
        found.end_size = ended->size;
      }
    }
    found.capped = !found.end && stop < limit;
  }
  return ends;
}

// The string each target leads to, in target order; a problem for each that
// has no end byte, is longer than the cap, or runs into another string or a
// table.
Result<std::vector<ScriptString>, IoError> ReadStrings(const ScriptSpec& def,
                                                       const GameTable& encoding,
                                                       GameBytes& game, const Targets& targets,
                                                       bool keep_bytes,
                                                       const std::string& plan_name,
                                                       std::vector<Problem>& problems) {
  const std::vector<ByteRange> tables = PointerRangesOf(def);
  const std::uint64_t limit = def.text ? def.text->end() : game.size();
  std::vector<ScriptString> strings;
  std::vector<std::uint64_t> starts;
  for (std::size_t k = 0; k < targets.size();) {
    ScriptString s;
    s.at = targets[k].first;
    while (k < targets.size() && targets[k].first == s.at) s.pointers.push_back(targets[k++].second);
    s.index = s.pointers.front();
    starts.push_back(s.at);
    strings.push_back(std::move(s));
  }
  auto ends = FindStringEnds(starts, game, encoding, def.end, limit, def.max_string);
  if (!ends) return Unexpected(ends.error());
  std::vector<ScriptString> read;
  for (std::size_t k = 0; k < strings.size(); ++k) {
    ScriptString& s = strings[k];
    // Strings that start inside this one and end where it ends are its
    // tails: they share its bytes and don't end its room.
    const std::optional<std::uint64_t> own_end = ends.value()[k].end;
    std::size_t j = k + 1;
    for (; !s.inside && own_end && j < starts.size() && starts[j] < *own_end &&
           ends.value()[j].end == own_end;
         ++j) {
      strings[j].inside = s.at;
    }
    std::uint64_t next = j < starts.size() ? starts[j] : limit;
    // A room also ends where the table itself stands inside the block.
    for (const ByteRange& table : tables) {
      if (table.first > s.at) next = std::min(next, table.first);
    }
    auto problem = [&](ProblemCode code, std::uint64_t end) {
      Problem p = PointerProblem(code, def, plan_name, s.index);
      p.at = s.at;
      p.end = end;
      problems.push_back(std::move(p));
    };
    const StringEnd& end = ends.value()[k];
    if (!end.end) {
      if (end.capped) {
        problem(ProblemCode::kStringTooLong, s.at + def.max_string);
      } else {
        problem(ProblemCode::kNoTerminator, limit);
      }
      continue;
    }
    s.length = *end.end - s.at;
    const bool into_table = std::any_of(tables.begin(), tables.end(), [&](const ByteRange& t) {
      return s.at <= t.last && t.first < s.at + s.length;
    });
    if (into_table) {
      problem(ProblemCode::kIntoTable, 0);
      continue;
    }
    if (!s.inside && s.length > next - s.at) {
      problem(ProblemCode::kStringsOverlap, next);
      continue;
    }
    s.room = def.text && !s.inside ? next - s.at : s.length;
    if (keep_bytes) {
      s.bytes.resize(static_cast<std::size_t>(s.length));
      for (std::size_t i = 0; i < s.bytes.size(); ++i) {
        if (!game.ByteAt(s.at + i, s.bytes[i])) return Unexpected(game.error());
      }
      const auto text_size = static_cast<std::ptrdiff_t>(s.bytes.size() - end.end_size);
      s.end.assign(s.bytes.begin() + text_size, s.bytes.end());
      s.bytes.resize(static_cast<std::size_t>(text_size));
    }
    read.push_back(std::move(s));
  }
  return read;
}

}  // namespace

Result<ScriptTableResult, IoError> ReadScriptTable(const ScriptSpec& def,
                                                   const GameTable& encoding, GameBytes& game,
                                                   bool keep_bytes, const std::string& plan_name,
                                                   std::vector<Problem>& problems) {
  ScriptTableResult result;
  const std::size_t problems_before = problems.size();
  auto targets = ReadTargets(def, game, plan_name, problems);
  if (!targets) return Unexpected(targets.error());
  if (problems.size() != problems_before) return result;
  std::sort(targets.value().begin(), targets.value().end());
  auto strings = ReadStrings(def, encoding, game, targets.value(), keep_bytes, plan_name, problems);
  if (!strings) return Unexpected(strings.error());
  if (problems.size() != problems_before) return result;
  result.strings = std::move(strings).value();
  std::sort(result.strings.begin(), result.strings.end(),
            [](const ScriptString& a, const ScriptString& b) { return a.index < b.index; });
  result.ok = true;
  return result;
}

}  // namespace binconv
