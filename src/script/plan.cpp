#include "script/plan.h"

#include <algorithm>

#include "codec/encode.h"
#include "runtime/hex.h"
#include "runtime/text_file.h"
#include "runtime/utf8.h"

namespace binconv {
namespace {

// 1-based line and column (in characters, the bytes before `offset` being
// well-formed) of `offset` in `bytes`, lines ending at CR LF, a lone CR or a
// lone LF.
std::pair<std::size_t, std::size_t> LineAndColumnOf(std::string_view bytes, std::size_t offset) {
  std::size_t line = 1;
  std::size_t start = 0;
  for (std::size_t i = 0; i < offset && i < bytes.size(); ++i) {
    if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n'))) {
      ++line;
      start = i + 1;
    }
  }
  return {line, ColumnOfByte(bytes.substr(start), offset - start)};
}

}  // namespace

namespace detail {

bool SplitPlanFields(std::string_view line, std::vector<std::string>& fields, std::string& reason) {
  std::size_t i = 0;
  auto blank = [&](char c) { return c == ' ' || c == '\t'; };
  while (i < line.size()) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i == line.size() || line[i] == '#') break;
    std::string field;
    if (line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) {
        reason = "a quote is not closed";
        return false;
      }
      field = line.substr(i + 1, close - i - 1);
      i = close + 1;
      if (i < line.size() && !blank(line[i])) {
        reason = "a quoted name must be followed by a space";
        return false;
      }
    } else {
      while (i < line.size() && !blank(line[i])) field += line[i++];
    }
    fields.push_back(std::move(field));
  }
  return true;
}

bool IsPlanKeyword(std::string_view field) {
  return field == "format" || field == "space" || field == "script";
}

}  // namespace detail

namespace {

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

// Encodes the text of one entry; its problems are added to `problems`.
void EncodeText(PlanEntry& entry, const CharTable& table, LineBreaks line_breaks,
                std::vector<PlanProblem>& problems) {
  auto problem = [&](PlanProblemCode code) {
    PlanProblem p{code, entry.file};
    p.other_line = entry.line;
    return p;
  };
  auto read = ReadFileBytes(PathFromUtf8(entry.file));
  if (!read) {
    PlanProblem p = problem(PlanProblemCode::kUnreadable);
    p.reason = read.error().reason;
    problems.push_back(std::move(p));
    return;
  }
  const std::string& text = read.value();
  Encoder encoder(table, line_breaks);
  std::vector<std::uint8_t> bytes;
  if (!encoder.FeedUtf8(text, bytes) || !encoder.FinishUtf8(bytes)) {
    PlanProblem p = problem(PlanProblemCode::kBadTextUtf8);
    std::tie(p.line, p.column) = LineAndColumnOf(text, encoder.utf8_error().offset);
    problems.push_back(std::move(p));
    return;
  }
  for (const EncodeProblem& found : encoder.problems()) {
    PlanProblem p =
        problem(found.kind == EncodeProblem::Kind::kNoCode ? PlanProblemCode::kNoCode
                                                           : PlanProblemCode::kNotHexInTag);
    p.line = found.line;
    p.column = found.column;
    p.ch = found.ch;
    problems.push_back(std::move(p));
  }
  if (encoder.odd_count()) problems.push_back(problem(PlanProblemCode::kOddCount));
  if (!encoder.problems().empty() || encoder.odd_count()) return;

  entry.used = bytes.size();
  if (entry.used > *entry.place.room) {
    PlanProblem p = problem(PlanProblemCode::kTooLong);
    p.amount = entry.used;
    p.limit = *entry.place.room;
    auto units = DecodeUtf8Text(text);
    if (auto place = FirstCharPastRoom(units.value(), table, line_breaks, *entry.place.room)) {
      p.line = place->line;
      p.column = place->column;
      p.ch = place->ch;
    }
    problems.push_back(std::move(p));
    return;
  }
  entry.bytes = std::move(bytes);
}

// The plan line a problem belongs to.
std::size_t PlanLineOf(const PlanProblem& p) {
  switch (p.code) {
    case PlanProblemCode::kBadPlanUtf8:
    case PlanProblemCode::kBadLine:
    case PlanProblemCode::kPastEnd:
    case PlanProblemCode::kOverlap:
      return p.line;
    default:
      return p.other_line;  // a problem in a text
  }
}

}  // namespace

PreparedPlan PreparePlan(std::string_view plan_bytes, const std::string& plan_name,
                         const CharTable& table, LineBreaks line_breaks, std::uint64_t game_size) {
  PreparedPlan plan;
  if (plan_bytes.starts_with(kUtf8ByteOrderMark))
    plan_bytes.remove_prefix(kUtf8ByteOrderMark.size());
  if (auto decoded = DecodeUtf8(plan_bytes); !decoded) {
    PlanProblem p{PlanProblemCode::kBadPlanUtf8, plan_name};
    std::tie(p.line, p.column) = LineAndColumnOf(plan_bytes, decoded.error().offset);
    plan.problems.push_back(std::move(p));
    return plan;
  }

  std::size_t line_number = 0;
  std::string_view line;
  while (TakeLine(plan_bytes, line)) {
    ++line_number;

    std::vector<std::string> fields;
    std::string reason;
    auto bad = [&](std::string why) {
      PlanProblem p{PlanProblemCode::kBadLine, plan_name, line_number};
      p.reason = std::move(why);
      plan.problems.push_back(std::move(p));
    };
    if (!detail::SplitPlanFields(line, fields, reason)) {
      bad(reason);
      continue;
    }
    // Keyword lines belong to scripts (script/script_plan.h).
    if (fields.empty() || detail::IsPlanKeyword(fields[0])) continue;
    if (fields.size() < 3 || fields.size() > 4) {
      bad("expected OFFSET ROOM FILE [FILL], found " + std::to_string(fields.size()) +
          (fields.size() == 1 ? " field" : " fields"));
      continue;
    }
    PlanEntry entry;
    entry.line = line_number;
    const auto offset = ParseNumber(fields[0]);
    const auto room = ParseNumber(fields[1]);
    std::optional<std::uint8_t> fill;
    if (fields.size() == 4) fill = ParseByte(fields[3]);
    if (!offset) {
      bad("the offset '" + fields[0] + "' is not a decimal or 0x hex number");
    } else if (!room) {
      bad("the room '" + fields[1] + "' is not a decimal or 0x hex number");
    } else if (*room == 0) {
      bad("the room is 0 bytes");
    } else if (fields.size() == 4 && !fill) {
      bad("the fill '" + fields[3] + "' is not a byte of two hex digits");
    } else if (fields[2].empty()) {
      bad("the file name is empty");
    } else {
      entry.place = Placement{*offset, *room, fill};
      entry.file = ShownTextName(plan_name, fields[2]);
      if (auto error = CheckPlacement(entry.place, 0, game_size)) {
        // Rejected: its text is not even read.
        PlanProblem p{PlanProblemCode::kPastEnd, plan_name, line_number};
        p.amount = error->end;
        p.limit = error->limit;
        plan.problems.push_back(std::move(p));
        continue;
      }
      EncodeText(entry, table, line_breaks, plan.problems);
      plan.entries.push_back(std::move(entry));
    }
  }

  // Each room against the one reaching farthest among those that start
  // before it: every room that overlaps another is reported at least once.
  std::vector<const PlanEntry*> by_offset;
  for (const PlanEntry& entry : plan.entries) by_offset.push_back(&entry);
  std::stable_sort(by_offset.begin(), by_offset.end(), [](const PlanEntry* a, const PlanEntry* b) {
    return a->place.offset < b->place.offset;
  });
  const PlanEntry* farthest = nullptr;
  auto end_of = [](const PlanEntry* e) {
    const std::uint64_t room = *e->place.room;
    return room > UINT64_MAX - e->place.offset ? UINT64_MAX : e->place.offset + room;
  };
  std::vector<PlanProblem> overlaps;
  for (const PlanEntry* entry : by_offset) {
    if (farthest != nullptr && entry->place.offset < end_of(farthest)) {
      const bool later = entry->line > farthest->line;
      PlanProblem p{PlanProblemCode::kOverlap, plan_name, later ? entry->line : farthest->line};
      p.other_line = later ? farthest->line : entry->line;
      overlaps.push_back(std::move(p));
    }
    if (farthest == nullptr || end_of(entry) > end_of(farthest)) farthest = entry;
  }
  // Problems of the plan's lines in line order, each before those of its text.
  plan.problems.insert(plan.problems.end(), overlaps.begin(), overlaps.end());
  std::stable_sort(
      plan.problems.begin(), plan.problems.end(),
      [](const PlanProblem& a, const PlanProblem& b) { return PlanLineOf(a) < PlanLineOf(b); });
  return plan;
}

Result<Unit, IoError> ApplyPlan(const PreparedPlan& plan, const std::filesystem::path& game,
                                FileOps& ops, bool* owner_kept) {
  std::vector<FilePatch> patches;
  patches.reserve(plan.entries.size());
  for (const PlanEntry& entry : plan.entries) {
    patches.push_back(PatchForRoom(entry.place, entry.bytes));
  }
  return PatchFileAtomically(game, patches, ops, owner_kept);
}

}  // namespace binconv
