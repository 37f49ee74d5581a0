#include "script/insert.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <utility>

#include "codec/encode.h"
#include "patch/patch_input.h"
#include "runtime/describe.h"
#include "runtime/hex.h"
#include "runtime/text_file.h"
#include "runtime/utf8.h"
#include "script/placement.h"
#include "script/script_file.h"
#include "script/script_layout.h"
#include "script/text_box.h"

namespace binconv {
namespace {

// An OFFSET ROOM FILE entry whose room lies inside the game, with its text's
// bytes when they fit.
struct EncodedEntry {
  const PlanEntry* entry = nullptr;
  std::vector<std::uint8_t> bytes{};
  std::uint64_t used = 0;  // the text's own bytes
};

// Encodes the text of one entry; its problems are added to `problems`.
void EncodeText(const InsertInput& input, EncodedEntry& encoded, std::vector<Problem>& problems) {
  const PlanEntry& entry = *encoded.entry;
  auto problem = [&](ProblemCode code) {
    Problem p{code, entry.file};
    p.plan_line = entry.line;
    return p;
  };
  auto read = input.read_file(PathFromUtf8(entry.file));
  if (!read) {
    Problem p = problem(ProblemCode::kUnreadable);
    p.io = read.error();
    problems.push_back(std::move(p));
    return;
  }
  const std::string& text = read.value();
  Encoder encoder(input.encoding, input.line_breaks);
  std::vector<std::uint8_t> bytes;
  if (!encoder.FeedUtf8(text, bytes) || !encoder.FinishUtf8(bytes)) {
    Problem p = problem(ProblemCode::kBadUtf8);
    std::tie(p.line, p.column) = LineAndColumnOf(text, encoder.utf8_error().offset);
    p.detail = NotUtf8Detail(text, encoder.utf8_error().offset, true);
    problems.push_back(std::move(p));
    return;
  }
  for (const EncodeProblem& found : encoder.problems()) {
    Problem p = ToProblem(found, entry.file);
    p.plan_line = entry.line;
    problems.push_back(std::move(p));
  }
  if (!encoder.problems().empty()) return;

  encoded.used = bytes.size();
  const std::uint64_t room = *entry.place.room;
  if (encoded.used > room) {
    Problem p = problem(ProblemCode::kTooLong);
    p.bytes = encoded.used;
    p.room = room;
    auto units = DecodeUtf8Text(text);
    PlaceFirstCharPastRoom(p, units.value(), input.encoding, input.line_breaks, room);
    problems.push_back(std::move(p));
    return;
  }
  encoded.bytes = std::move(bytes);
}

// Each room against the one reaching farthest among those that start
// before it: every room that overlaps another is reported at least once.
void CheckRoomOverlaps(const std::string& plan_name, const std::vector<EncodedEntry>& entries,
                       std::vector<Problem>& problems) {
  std::vector<const PlanEntry*> by_offset;
  for (const EncodedEntry& encoded : entries) by_offset.push_back(encoded.entry);
  std::stable_sort(by_offset.begin(), by_offset.end(), [](const PlanEntry* a, const PlanEntry* b) {
    return a->place.offset < b->place.offset;
  });
  const PlanEntry* farthest = nullptr;
  auto end_of = [](const PlanEntry* e) {
    const std::uint64_t room = *e->place.room;
    return room > UINT64_MAX - e->place.offset ? UINT64_MAX : e->place.offset + room;
  };
  for (const PlanEntry* entry : by_offset) {
    if (farthest != nullptr && entry->place.offset < end_of(farthest)) {
      const bool later = entry->line > farthest->line;
      Problem p{ProblemCode::kOverlap, plan_name, later ? entry->line : farthest->line};
      p.other_line = later ? farthest->line : entry->line;
      p.part.kind = PlanPartKind::kRoom;
      p.other_part.kind = PlanPartKind::kRoom;
      problems.push_back(std::move(p));
    }
    if (farthest == nullptr || end_of(entry) > end_of(farthest)) farthest = entry;
  }
}

// The entries whose rooms lie inside the game, their texts encoded; the
// problems of every entry added after those of the plan's lines, all in the
// order of the plan's lines, each line's before those of its text.
std::vector<EncodedEntry> EncodeEntries(const InsertInput& input, std::uint64_t size,
                                        std::vector<Problem>& problems) {
  std::vector<EncodedEntry> entries;
  for (const PlanEntry& entry : input.plan.entries) {
    if (auto error = CheckPlacement(entry.place, 0, size)) {
      // Rejected: its text is not even read.
      Problem p{ProblemCode::kRoomPastEnd, input.plan_name, entry.line};
      p.end = error->end;
      p.game_size = error->game_size;
      problems.push_back(std::move(p));
      continue;
    }
    EncodedEntry encoded{&entry};
    EncodeText(input, encoded, problems);
    entries.push_back(std::move(encoded));
  }
  CheckRoomOverlaps(input.plan_name, entries, problems);
  auto plan_line = [](const Problem& p) { return p.plan_line != 0 ? p.plan_line : p.line; };
  std::stable_sort(problems.begin(), problems.end(),
                   [&](const Problem& a, const Problem& b) { return plan_line(a) < plan_line(b); });
  return entries;
}

// Whether a script file was dumped from this game, by its #game line.
std::optional<Problem> CheckScriptGame(const InsertInput& input, const ScriptSpec& def,
                                       const ScriptFileContents& contents, std::uint32_t crc) {
  Problem p{ProblemCode::kGameChanged, def.shown, contents.game_line};
  if (!contents.game) {
    p.detail = ProblemDetail::kNoGameLine;
    return p;
  }
  const ScriptGame& dumped = *contents.game;
  if (dumped.size == input.game.size() && dumped.crc32 == crc) return std::nullopt;
  p.detail = ProblemDetail::kOtherGame;
  p.what = dumped.name;
  p.number = dumped.size;
  p.value = dumped.crc32;
  p.other_what = input.game_name;
  p.game_size = input.game.size();
  p.other_number = crc;
  return p;
}

// A problem for each string with a pointer that no entry took: named by that
// pointer, the string's first when none of them was.
void AddMissingEntries(const ScriptSpec& def, const std::vector<ScriptString>& read,
                       const std::vector<std::size_t>& line_of, const ScriptFileContents& contents,
                       std::vector<Problem>& problems) {
  for (const ScriptString& string : read) {
    for (const std::size_t i : string.pointers) {
      if (line_of[i] != 0) continue;
      // Named where it belongs: at the entry after it in the file, or the end.
      Problem p{ProblemCode::kMissingEntry, def.shown, contents.last_line};
      for (const ScriptFileEntry& entry : contents.entries) {
        if (entry.index > i) {
          p.line = entry.line;
          break;
        }
      }
      p.entry = i;
      p.at = string.at;
      problems.push_back(std::move(p));
      break;
    }
  }
}

// The strings of a script in @N order, with their bytes and lines.
void SortByIndex(ScriptTexts& texts) {
  std::vector<std::size_t> order(texts.strings.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return texts.strings[a].index < texts.strings[b].index;
  });
  ScriptTexts sorted{texts.def, {}, {}, {}};
  for (const std::size_t k : order) {
    sorted.strings.push_back(std::move(texts.strings[k]));
    sorted.bytes.push_back(std::move(texts.bytes[k]));
    sorted.lines.push_back(texts.lines[k]);
  }
  texts = std::move(sorted);
}

// The text lines dump writes for `string`, UTF-8.
std::vector<std::string> DumpedUtf8Lines(const ScriptSpec& def, const ScriptString& string,
                                         const GameTable& encoding, Decoder& decoder) {
  std::vector<std::string> lines;
  for (const std::u16string& line : DumpedLinesOf(def, string, encoding, decoder)) {
    AppendUtf8(line, lines.emplace_back());
  }
  return lines;
}

// How many of `lines` come first in `dumped` as they stand there.
std::size_t SameLinesAhead(std::span<const ScriptTextLine> lines,
                           std::span<const std::string> dumped) {
  std::size_t k = 0;
  while (k < lines.size() && k < dumped.size() && lines[k].text == dumped[k]) ++k;
  return k;
}

// An entry whose ";" lines are not what the game holds: a translation typed
// there would be lost, for insert never reads them. The line named is the
// first that differs (or the last ";" line, when only lines are missing).
std::optional<std::size_t> EditedOriginalLine(const ScriptFileEntry& entry,
                                              std::span<const std::string> dumped) {
  if (entry.original.empty()) return std::nullopt;  // taken out: nothing to lose
  const std::size_t same = SameLinesAhead(entry.original, dumped);
  if (same == entry.original.size() && same == dumped.size()) return std::nullopt;
  return entry.original[std::min(same, entry.original.size() - 1)].line;
}

// The bytes an entry's text is written as, with the problems of its lines
// and its text box; nothing when its ; lines were edited.
std::optional<std::vector<std::uint8_t>> EntryBytes(const InsertInput& input,
                                                    const ScriptSpec& def,
                                                    const ScriptFileEntry& entry,
                                                    const ScriptString& string, Decoder& decoder,
                                                    std::vector<Problem>& problems) {
  const std::vector<std::string> dumped = DumpedUtf8Lines(def, string, input.encoding, decoder);
  if (const std::optional<std::size_t> line = EditedOriginalLine(entry, dumped)) {
    problems.push_back({ProblemCode::kOriginalEdited, def.shown, *line});
    problems.back().entry = entry.index;
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  const std::size_t box_problems_at = problems.size();
  if (entry.lines.size() == dumped.size() && SameLinesAhead(entry.lines, dumped) == dumped.size()) {
    // A .tbl may give one text several codes, or split it so that the
    // longest match fails: a text left as dumped keeps the bytes it had,
    // so dump then insert changes nothing.
    bytes = string.bytes;
    bytes.insert(bytes.end(), string.end.begin(), string.end.end());
  } else if (auto encoded = EncodeScriptEntry(entry, input.encoding, def.end, def.shown, problems,
                                              input.line_breaks)) {
    bytes = std::move(*encoded);
  }
  // The text box is the translation's limit: a text the game already
  // holds, as it holds it, fits the game's box whatever width= says.
  if (!IsAsInGame(string, bytes)) {
    std::vector<Problem> box;
    CheckTextBox(entry, {def.width, def.lines}, input.encoding, def.shown, box);
    problems.insert(problems.begin() + static_cast<std::ptrdiff_t>(box_problems_at), box.begin(),
                    box.end());
  }
  return bytes;
}

// Whether an entry's fields can stand for `string`; false with why in
// `refused`. ptr= picks which pointers of the string take this entry's
// text; the other fields are checked against the string.
bool FieldsStand(const ScriptSpec& def, const ScriptFileEntry& entry, const EntryFields& fields,
                 const ScriptString& string, const std::vector<std::size_t>& pointers,
                 const std::vector<std::size_t>& string_of,
                 const std::vector<std::size_t>& line_of, Problem& refused) {
  refused.at = SiteOf(def, entry.index).offset;
  if (pointers.front() != entry.index) {
    refused.detail = ProblemDetail::kPtrNotOwn;
    return false;
  }
  for (const std::size_t p : pointers) {
    refused.value = SiteOf(def, p).offset;
    if (string_of[p] != string_of[entry.index]) {
      refused.detail = ProblemDetail::kPtrOtherString;
      return false;
    }
    if (line_of[p] != 0) {
      refused.detail = ProblemDetail::kPointerTwice;
      refused.other_line = line_of[p];
      return false;
    }
  }
  refused.at = 0;
  refused.value = 0;
  return FieldsAgainstString(fields, string, refused);
}

// Each entry of the script file matched to the pointers it gives its text
// (a string's all, or those of its ptr=, so that one pointer of a shared
// string can have a text of its own), and encoded; a problem for an entry
// the table lacks, one given twice, fields that can't stand and a pointer
// without an entry.
void MatchEntries(const InsertInput& input, const ScriptFileContents& contents, ScriptTexts& texts,
                  std::vector<Problem>& problems) {
  const ScriptSpec& def = *texts.def;
  const std::vector<ScriptString> read = std::move(texts.strings);
  const std::size_t none = read.size();
  std::vector<std::size_t> string_of(static_cast<std::size_t>(def.count), none);
  for (std::size_t k = 0; k < read.size(); ++k) {
    for (const std::size_t p : read[k].pointers) string_of[p] = k;
  }
  std::vector<std::size_t> line_of(string_of.size(), 0);  // the entry that took each pointer
  std::vector<std::size_t> entry_line(string_of.size(), 0);  // by @N
  texts = ScriptTexts{&def, {}, {}, {}};
  Decoder decoder(input.encoding);
  for (const ScriptFileEntry& entry : contents.entries) {
    Problem p{ProblemCode::kUnknownEntry, def.shown, entry.line};
    p.entry = entry.index;
    if (entry.index >= string_of.size() || string_of[entry.index] == none) {
      problems.push_back(std::move(p));
      continue;
    }
    if (entry_line[entry.index] != 0) {
      p.code = ProblemCode::kRepeatedEntry;
      p.other_line = entry_line[entry.index];
      problems.push_back(std::move(p));
      continue;
    }
    entry_line[entry.index] = entry.line;
    const ScriptString& string = read[string_of[entry.index]];
    // An entry refused for its fields is not missing as well.
    const std::size_t taken = line_of[entry.index];
    if (taken == 0) line_of[entry.index] = entry.line;
    const std::optional<EntryFields> fields = ReadEntryFields(entry, def, problems);
    if (!fields) continue;
    // Without ptr=, @N of a string takes all its pointers; of a pointer that
    // shares its string with earlier ones, that pointer alone.
    std::vector<std::size_t> pointers = fields->pointers.value_or(
        entry.index == string.index ? string.pointers : std::vector<std::size_t>{entry.index});
    std::sort(pointers.begin(), pointers.end());
    line_of[entry.index] = taken;  // its own pointer, checked like the others
    if (!FieldsStand(def, entry, *fields, string, pointers, string_of, line_of, p)) {
      p.code = ProblemCode::kBadEntryLine;
      problems.push_back(std::move(p));
      if (line_of[entry.index] == 0) line_of[entry.index] = entry.line;
      continue;
    }
    for (const std::size_t k : pointers) line_of[k] = entry.line;
    ScriptString own = string;
    own.index = entry.index;
    own.pointers = std::move(pointers);
    std::optional<std::vector<std::uint8_t>> bytes =
        EntryBytes(input, def, entry, string, decoder, problems);
    if (!bytes) continue;
    texts.strings.push_back(std::move(own));
    texts.bytes.push_back(std::move(*bytes));
    texts.lines.push_back(entry.line);
  }
  AddMissingEntries(def, read, line_of, contents, problems);
  SortByIndex(texts);
}

// The scripts of a plan read, checked and laid out.
struct PreparedScripts {
  std::vector<ScriptTexts> texts{};
  ScriptLayoutResult layout;
};

Result<PreparedScripts, IoError> PrepareScripts(const InsertInput& input,
                                                const std::vector<ScriptSpec>& scripts,
                                                const std::vector<FixedRoom>& fixed,
                                                std::vector<Problem>& problems) {
  PreparedScripts out;
  if (scripts.empty() && input.plan.spaces.empty()) return out;
  std::uint32_t crc = 0;
  if (!scripts.empty()) {
    auto found = GameCrc32(input.game);
    if (!found) return Unexpected(found.error());
    crc = found.value();
  }
  GameBytes game(input.game);
  // Every table is read before any entry is matched: rooms end at other
  // scripts' strings, and tails are found across scripts, as dump found them.
  std::deque<std::string> files;  // the entries' text points into them
  std::vector<ScriptFileContents> contents;
  for (const ScriptSpec& def : scripts) {
    const std::size_t before = problems.size();
    auto file = input.read_file(def.path);
    if (!file) {
      Problem p{ProblemCode::kUnreadable, def.shown};
      p.io = file.error();
      problems.push_back(std::move(p));
      continue;
    }
    files.push_back(std::move(file).value());
    ScriptFileContents parsed = ParseScriptFile(files.back(), def.shown, problems);
    if (problems.size() != before) continue;
    if (auto changed = CheckScriptGame(input, def, parsed, crc)) {
      problems.push_back(std::move(*changed));
      continue;
    }
    // The strings' bytes are kept: a .tbl's text left as dumped keeps them,
    // and the summary counts the texts left as they were.
    auto read = ReadScriptTable(def, input.encoding, game, true, input.plan_name, problems);
    if (!read) return Unexpected(read.error());
    if (!read.value().ok) continue;
    out.texts.push_back({&def, std::move(read.value().strings), {}, {}});
    contents.push_back(std::move(parsed));
  }
  EndRoomsAtOtherStrings(out.texts);
  for (std::size_t k = 0; k < out.texts.size(); ++k) {
    MatchEntries(input, contents[k], out.texts[k], problems);
  }
  if (!problems.empty()) return out;
  out.layout = LayOutScripts(out.texts, input.plan.spaces, fixed, input.plan_name);
  problems = std::move(out.layout.problems);
  return out;
}

// Fills first, written as runs; then texts, then pointers.
void AddScriptWrites(PreparedScripts& scripts, std::vector<GameWrite>& writes) {
  for (const FillRun& run : scripts.layout.fills) {
    writes.push_back({run.offset, {}, run.length, run.byte});
  }
  for (const ScriptLayoutResult::TextWrite& text : scripts.layout.texts) {
    writes.push_back({text.offset, scripts.texts[text.script].bytes[text.string]});
  }
  // Pointers side by side in a table go out as one run, not one write each.
  std::vector<PointerWrite>& pointers = scripts.layout.pointers;
  std::sort(pointers.begin(), pointers.end(),
            [](const PointerWrite& a, const PointerWrite& b) { return a.offset < b.offset; });
  const std::size_t first_run = writes.size();
  for (const PointerWrite& pointer : pointers) {
    if (writes.size() == first_run ||
        writes.back().offset + writes.back().bytes.size() != pointer.offset) {
      writes.push_back({pointer.offset, {}});
    }
    writes.back().bytes.insert(writes.back().bytes.end(), pointer.bytes,
                               pointer.bytes + pointer.size);
  }
}

// What the summary and the map say of each script and space.
void SummarizeScripts(const PreparedScripts& scripts, const std::vector<SpaceSpec>& spaces,
                      InsertResult& result) {
  for (std::size_t s = 0; s < scripts.texts.size(); ++s) {
    const ScriptTexts& texts = scripts.texts[s];
    InsertedScript summary{texts.def->shown, texts.strings.size()};
    for (std::size_t i = 0; i < texts.strings.size(); ++i) {
      const PlacedString& placed = scripts.layout.placed[s][i];
      summary.moved += placed.moved ? 1 : 0;
      summary.shared += placed.shared ? 1 : 0;
      const ScriptString& string = texts.strings[i];
      summary.unchanged += IsAsInGame(string, texts.bytes[i]) ? 1 : 0;
      result.map.push_back({texts.def->file, string.index, PointerListOf(*texts.def, string, ';'),
                            string.at, placed.offset, texts.bytes[i].size()});
    }
    result.texts += summary.strings;
    result.scripts.push_back(std::move(summary));
  }
  for (std::size_t k = 0; k < spaces.size() && k < scripts.layout.spaces.size(); ++k) {
    result.spaces.push_back({spaces[k].name, spaces[k].range.first, spaces[k].range.last,
                             scripts.layout.spaces[k].used, scripts.layout.spaces[k].free});
  }
}


}  // namespace

Result<InsertResult, JobError> InsertPlan(const InsertInput& input) {
  std::vector<Problem> problems = input.plan.entry_problems;
  std::vector<Problem> script_problems = input.plan.script_problems;
  const std::uint64_t size = GrownSizeOf(input.plan, input.plan_name, input.game_name,
                                         input.game.size(), script_problems);
  std::vector<EncodedEntry> entries = EncodeEntries(input, size, problems);
  std::vector<ScriptSpec> scripts = input.plan.scripts;
  // Spaces may lie in the grown part; scripts still check against the game.
  CheckScriptsInGame(scripts, input.plan.spaces, input.plan_name, input.game.size(),
                     script_problems, size);
  const std::vector<FixedRoom> fixed = FixedRoomsOf(input.plan, size);
  PreparedScripts prepared;
  if (script_problems.empty()) {
    auto done = PrepareScripts(input, scripts, fixed, script_problems);
    if (!done) return Unexpected(JobError(done.error()));
    prepared = std::move(done).value();
  }
  problems.insert(problems.end(), script_problems.begin(), script_problems.end());
  if (!problems.empty()) return Unexpected(JobError(std::move(problems)));

  InsertResult result;
  result.size = size;
  if (size > input.game.size()) {
    result.writes.push_back({input.game.size(), {}, size - input.game.size(), input.plan.grow->fill});
  }
  AddScriptWrites(prepared, result.writes);
  for (const EncodedEntry& encoded : entries) {
    const PlanEntry& entry = *encoded.entry;
    const FilePatch patch = PatchForRoom(entry.place, encoded.bytes);
    result.writes.push_back({patch.offset, encoded.bytes, patch.fill_count, patch.fill});
    result.entries.push_back({entry.line, entry.file, entry.place.offset, encoded.used,
                              *entry.place.room, entry.place.fill.has_value()});
  }
  result.texts = entries.size();
  SummarizeScripts(prepared, input.plan.spaces, result);
  return result;
}

std::vector<FilePatch> PatchesOf(std::span<const GameWrite> writes) {
  std::vector<FilePatch> patches;
  patches.reserve(writes.size());
  for (const GameWrite& write : writes) {
    patches.push_back({write.offset, write.bytes, write.fill_count, write.fill});
  }
  return patches;
}

Result<Unit, IoError> WriteInserted(std::span<const GameWrite> writes,
                                    const std::filesystem::path& game,
                                    const std::filesystem::path* output, FileOps& ops,
                                    bool* owner_kept, std::uint64_t size) {
  const std::vector<FilePatch> patches = PatchesOf(writes);
  if (output != nullptr) return PatchCopyAtomically(game, *output, patches, ops, size);
  return PatchFileAtomically(game, patches, ops, owner_kept, size);
}

const std::string& InsertTarget::written_name() const {
  if (output) return *output;
  return in_place ? game : *patch;
}

bool ChangesNothing(const InsertTarget& target, const InsertResult& result,
                    std::uint64_t game_size) {
  return result.entries.empty() && result.scripts.empty() && target.in_place && !target.patch &&
         result.size == game_size;
}

Result<std::vector<std::uint8_t>, PatchFileError> MakeInsertPatch(
    PatchFormat format, FileReader& original, std::span<const GameWrite> writes, std::uint64_t size,
    std::function<void(std::uint64_t)> progress) {
  // The result is the original read with the writes laid over it.
  const std::vector<FilePatch> patches = PatchesOf(writes);
  if (size < original.size() || !FilePatchesFit(size, patches)) {
    return Unexpected(PatchFileError(Problem{ProblemCode::kChangedSinceRead}));
  }
  FileInput from(original);
  FileInput to(original, patches, size);
  ProgressInput result(to, std::move(progress));
  auto made = MakeVerifiedPatchFrom(format, from, result);
  if (!made) return Unexpected(made.error());
  return std::move(made).value();
}

std::optional<Problem> GrowPastPatch(const Plan& plan, const std::string& plan_name,
                                     const InsertTarget& target) {
  if (!plan.grow || !target.patch) return std::nullopt;
  const std::uint64_t largest = LargestPatchTarget(target.patch_format);
  if (plan.grow->size <= largest) return std::nullopt;
  Problem p{ProblemCode::kGrowPastPatch, plan_name, plan.grow->line};
  p.bytes = plan.grow->size;
  p.room = largest;
  p.what = target.patch_format == PatchFormat::kIps ? "IPS" : "BPS";
  return p;
}

Result<Unit, IoError> WriteInsert(const InsertTarget& target, std::span<const GameWrite> writes,
                                  std::uint64_t size,
                                  const std::optional<std::vector<std::uint8_t>>& patch,
                                  FileOps& ops, bool* owner_kept) {
  AtomicFileWriter patch_writer;
  if (patch) {
    auto sealed = patch_writer.Open(PathFromUtf8(*target.patch));
    if (sealed) sealed = patch_writer.Write(*patch);
    if (sealed) sealed = patch_writer.Seal();
    if (!sealed) return sealed;
  }
  if (target.writes_game()) {
    std::filesystem::path output;
    if (target.output) output = PathFromUtf8(*target.output);
    auto applied = WriteInserted(writes, PathFromUtf8(target.game),
                                 target.output ? &output : nullptr, ops, owner_kept, size);
    if (!applied) return applied;
  }
  if (patch) return patch_writer.Commit();
  return Unit{};
}

std::string InsertMapCsv(std::span<const MapRow> rows) {
  std::string csv = "script,index,pointers,old_offset,new_offset,bytes\n";
  for (const MapRow& row : rows) {
    std::string name = row.script;
    if (name.find_first_of(",\"\r\n") != std::string::npos) {
      std::string quoted = "\"";
      for (const char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
      name = quoted + "\"";
    }
    csv += name + "," + std::to_string(row.index) + "," + row.pointers + "," +
           HexNumber(row.old_offset) + "," + HexNumber(row.new_offset) + "," +
           std::to_string(row.bytes) + "\n";
  }
  return csv;
}

}  // namespace binconv
