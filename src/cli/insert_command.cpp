// binconv-cli insert: many texts into their rooms of one game file, all or
// nothing.

#include <algorithm>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/into.h"
#include "cli/io.h"
#include "cli/patch_files.h"
#include "cli/scripts.h"
#include "cli/tables.h"
#include "script/plan.h"
#include "script/script_file.h"
#include "script/script_layout.h"
#include "script/script_plan.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

// GAME patched in place, or ORIGINAL read and OUTPUT (or only PATCH) written.
constexpr OptionSpec kInsertIntoOption = [] {
  OptionSpec into = Related(kIntoOption, "from", "");
  into.required = true;
  into.missing = "insert needs --into GAME or --from ORIGINAL -o OUTPUT";
  return into;
}();

constexpr std::array kInsertOptions{
    kInsertIntoOption,
    OptionSpec{.name = "from",
               .value_name = "ORIGINAL",
               .help = "read ORIGINAL, which stays untouched, and write -o OUTPUT",
               .required = true,
               .needs = "output|patch",
               .misuse = "--from ORIGINAL needs -o OUTPUT or --patch PATCH"},
    OptionSpec{.name = "output",
               .alias = 'o',
               .value_name = "OUTPUT",
               .help = "with --from: the file to write, atomically",
               .needs = "from",
               .misuse = "-o goes with --from ORIGINAL, not with --into"},
    OptionSpec{"patch", 0, "PATCH",
               "also write an IPS or BPS patch from the original to the result"},
    Related(kPatchFormatOption, "", "patch", "--format goes with --patch PATCH"),
    kTablesOption,
    kExactOption,
    OptionSpec{"dry-run", 0, "", "check and lay out everything, but write nothing"},
    OptionSpec{"map", 0, "FILE", "write where every script entry went, as CSV, to FILE"},
    kHelpOption};

constexpr std::string_view kInsertDetails =
    "Puts many texts into one game file. PLAN (UTF-8) holds one entry a line:\n"
    "  OFFSET ROOM FILE [FILL]\n"
    "OFFSET and ROOM are decimal or 0x hex; FILE is a UTF-8 text, found from\n"
    "PLAN's folder (in double quotes if its name has spaces); FILL, two hex\n"
    "digits, fills the rest of the room, which otherwise keeps its bytes. \"#\"\n"
    "starts a comment; blank lines are skipped. Every entry is checked first:\n"
    "the texts exist and every character has a code, every text fits its room,\n"
    "every room lies inside GAME and no two rooms overlap. Every problem is\n"
    "listed and then nothing is written. Otherwise GAME is replaced once,\n"
    "atomically, with every text in place, and each entry's bytes used and\n"
    "room left are shown. PLAN \"-\" reads standard input.\n"
    "\n"
    "Scripts that move (written by dump) take keyword lines in the same plan:\n"
    "  format NAME TYPE [header=N] [base=N] [map=linear|lorom|hirom]\n"
    "         [relative=self|table]\n"
    "  space START..END [fill=XX]\n"
    "  script FILE (table=OFFSET [stride=S] | lo=OFFSET hi=OFFSET) count=N\n"
    "         format=NAME end=XX [text=START..END] [layout=slots|pack]\n"
    "         [align=N] [fill=XX] [skip=V,V...]\n"
    "TYPE is u16le u16be u24le u24be u32le or u32be; a value is\n"
    "map(offset - header) + base, or with relative= the signed distance from\n"
    "the pointer itself or its table. Ranges are inclusive. A space is free\n"
    "room moved texts may take. With layout=slots (the default) a text that\n"
    "fits its room stays; one that doesn't moves to the first space with room\n"
    "at align=, and its old room gets fill= or keeps its bytes. With pack the\n"
    "text= block is laid out again in entry order, and what doesn't fit goes\n"
    "to the spaces. A moved text identical to one already placed is shared.\n"
    "Every pointer to a moved text is rewritten. The script file must come\n"
    "from this game (its #game size and CRC-32): rebuild from the original\n"
    "with --from ORIGINAL -o OUTPUT after each edit. The summary tells per\n"
    "script how many texts stayed and moved, and each space's bytes used and\n"
    "free. --map writes script,index,pointers,old_offset,new_offset,bytes.\n"
    "\n"
    "--patch PATCH also writes a patch from ORIGINAL (or GAME as it was) to the\n"
    "result, IPS or BPS after PATCH's extension or --format; with --from and no\n"
    "-o, only the patch is written. It is applied to the original in memory and\n"
    "compared with the result before anything is written, and PATCH is put in\n"
    "place only once the result is. --dry-run checks it and writes nothing.\n";

std::string Where(const PlanProblem& p) {
  if (p.line == 0) return p.file + ": ";
  if (p.column == 0) return p.file + ":" + std::to_string(p.line) + ": ";
  return Position(p.file, p.line, p.column);
}

std::string Describe(const PlanProblem& p) {
  const std::string entry = " (plan line " + std::to_string(p.other_line) + ")";
  switch (p.code) {
    case PlanProblemCode::kBadPlanUtf8:
      return "not valid UTF-8";
    case PlanProblemCode::kBadLine:
      return p.reason;
    case PlanProblemCode::kUnreadable:
      return p.reason + entry;
    case PlanProblemCode::kBadTextUtf8:
      return "not valid UTF-8" + entry;
    case PlanProblemCode::kNoCode:
      return "no code for " + DescribeChar(p.ch) + entry;
    case PlanProblemCode::kNotHexInTag:
      return "not a hex digit in a tag " + DescribeChar(p.ch) + entry;
    case PlanProblemCode::kOddCount:
      return "the hex digits in tags do not pair up" + entry;
    case PlanProblemCode::kTooLong:
      return DescribeTooLong(p.amount, p.limit) + "; " + DescribeChar(p.ch) +
             " is the first character that does not fit" + entry;
    case PlanProblemCode::kPastEnd:
      return "the room ends at " + HexNumber(p.amount) + ", past the end of the game file (" +
             ByteCount(p.limit) + ")";
    case PlanProblemCode::kOverlap:
      return "the room overlaps the room of line " + std::to_string(p.other_line);
  }
  return "?";
}

// Where the result goes: GAME patched in place, or OUTPUT written as a
// patched copy of ORIGINAL, and a patch from the original to it. One more way
// to write is one more case here.
struct InsertTarget {
  std::string game_name;  // the game read: GAME or ORIGINAL, as given
  std::filesystem::path game;
  std::optional<std::string> output_name;  // with --from
  std::filesystem::path output;
  bool in_place = false;                  // --into
  std::optional<std::string> patch_name;  // --patch
  PatchFormat patch_format = PatchFormat::kBps;

  // False for --from ORIGINAL --patch PATCH alone, which writes only the patch.
  bool writes_game() const { return in_place || output_name; }
  const std::string& written_name() const {
    if (output_name) return *output_name;
    return in_place ? game_name : *patch_name;
  }
  // The result as the patch message names it.
  std::string result_name() const {
    if (output_name) return *output_name;
    return in_place ? game_name + " with the texts" : "the result";
  }
  Result<Unit, IoError> Write(std::span<const FilePatch> patches, bool* owner_kept) const {
    if (output_name) return PatchCopyAtomically(game, output, patches);
    return PatchFileAtomically(game, patches, SystemFileOps(), owner_kept);
  }
};

// Whether two names lead to one file; neither need exist yet, so the names
// are compared as well as the files.
bool NameTheSameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  auto full = [](const std::filesystem::path& name) -> std::optional<std::filesystem::path> {
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(name, error);
    if (!error) path = std::filesystem::weakly_canonical(path, error);
    if (error) return std::nullopt;
    return path;
  };
  const std::optional<std::filesystem::path> a_full = full(a);
  if (a_full && a_full == full(b)) return true;
  std::error_code error;
  return std::filesystem::equivalent(a, b, error);
}

std::optional<InsertTarget> ParseTarget(const ParsedArgs& args) {
  const std::optional<std::string> into = args.Value("into");
  const std::optional<std::string> from = args.Value("from");
  const std::optional<std::string> output = args.Value("output");
  auto misuse = [](const std::string& message) {
    UsageError(message);
    return std::nullopt;
  };
  const std::optional<std::string> patch = args.Value("patch");
  InsertTarget target;
  target.game_name = into ? *into : *from;
  target.game = PathFromUtf8(target.game_name);
  target.in_place = into.has_value();
  if (patch) {
    if (patch->empty()) return misuse("the --patch name is empty");
    const Reported<PatchFormat> format = ChoosePatchFormat(args.Value("format"), *patch);
    if (!format) return std::nullopt;
    if (!CheckOutputSparesInput(*patch, target.game_name)) return std::nullopt;
    if (output && NameTheSameFile(PathFromUtf8(*patch), PathFromUtf8(*output))) {
      return misuse("--patch PATCH and -o OUTPUT name the same file");
    }
    target.patch_name = *patch;
    target.patch_format = *format;
  }
  if (output) {
    target.output_name = *output;
    target.output = PathFromUtf8(*output);
    std::error_code error;
    if (std::filesystem::equivalent(target.game, target.output, error)) {
      return misuse("-o OUTPUT is ORIGINAL itself; use --into to patch it in place");
    }
  }
  return target;
}

// The scripts of a plan read, checked and laid out.
struct InsertScripts {
  std::vector<ScriptTexts> texts;
  std::vector<ScriptProblem> problems;
  ScriptLayoutResult layout;
};

void PrepareScripts(const ScriptPlan& plan, const std::string& plan_name, const CharTable& table,
                    FileReader& reader, const std::string& game_name,
                    const std::vector<FixedRoom>& fixed, InsertScripts& out, int& status) {
  out.problems = plan.problems;
  if (plan.scripts.empty() && plan.spaces.empty()) return;
  std::optional<std::uint32_t> crc;
  if (!plan.scripts.empty()) {
    const Reported<std::uint32_t> game_crc = GameCrc32(reader);
    if (game_crc) crc = *game_crc;
    if (!crc) {
      status = kExitError;
      return;
    }
  }
  GameBytes game(reader);
  for (const ScriptSpec& def : plan.scripts) {
    const std::size_t before = out.problems.size();
    auto file = ReadFileBytes(def.path);
    if (!file) {
      ScriptProblem p{ScriptProblemCode::kUnreadable, def.shown};
      p.reason = file.error().reason;
      out.problems.push_back(std::move(p));
      continue;
    }
    const ScriptFileContents contents = ParseScriptFile(file.value(), def.shown, out.problems);
    if (out.problems.size() != before) continue;
    if (!contents.game) {
      ScriptProblem p{ScriptProblemCode::kGameChanged, def.shown};
      p.reason = "no #game line says which game the script was dumped from; dump it again";
      out.problems.push_back(std::move(p));
      continue;
    }
    if (contents.game->size != reader.size() || contents.game->crc32 != *crc) {
      ScriptProblem p{ScriptProblemCode::kGameChanged, def.shown};
      const std::string found = HexText(*crc, 8, HexCase::kLower);
      const std::string wanted = HexText(contents.game->crc32, 8, HexCase::kLower);
      p.reason = "dumped from " + contents.game->name + " (" + ByteCount(contents.game->size) +
                 ", CRC-32 " + wanted + "), but " + game_name + " has " + ByteCount(reader.size()) +
                 " and CRC-32 " + found +
                 "; build from the original with --from ORIGINAL -o OUTPUT";
      out.problems.push_back(std::move(p));
      continue;
    }
    auto read = ReadScriptTable(def, game, false, plan_name, out.problems);
    if (!read) {
      PrintError(DescribeIoError(read.error()));
      status = kExitError;
      return;
    }
    if (!read.value().ok) continue;
    ScriptTexts texts;
    texts.def = &def;
    texts.strings = std::move(read.value().strings);
    texts.bytes.resize(texts.strings.size());
    texts.lines.resize(texts.strings.size());
    std::vector<bool> seen(texts.strings.size(), false);
    for (const ScriptFileEntry& entry : contents.entries) {
      auto it = std::lower_bound(
          texts.strings.begin(), texts.strings.end(), entry.index,
          [](const ScriptString& s, std::size_t index) { return s.index < index; });
      ScriptProblem p{ScriptProblemCode::kUnknownEntry, def.shown, entry.line};
      p.index = entry.index;
      if (it == texts.strings.end() || it->index != entry.index) {
        out.problems.push_back(std::move(p));
        continue;
      }
      const auto k = static_cast<std::size_t>(it - texts.strings.begin());
      if (seen[k]) {
        p.code = ScriptProblemCode::kRepeatedEntry;
        p.other_line = texts.lines[k];
        out.problems.push_back(std::move(p));
        continue;
      }
      seen[k] = true;
      texts.lines[k] = entry.line;
      if (auto bytes = EncodeScriptEntry(entry, table, def.end, def.shown, out.problems)) {
        texts.bytes[k] = std::move(*bytes);
      }
    }
    for (std::size_t k = 0; k < seen.size(); ++k) {
      if (seen[k]) continue;
      ScriptProblem p{ScriptProblemCode::kMissingEntry, def.shown};
      p.index = texts.strings[k].index;
      p.amount = texts.strings[k].at;
      out.problems.push_back(std::move(p));
    }
    if (out.problems.size() == before) out.texts.push_back(std::move(texts));
  }
  if (!out.problems.empty()) return;
  out.layout = LayOutScripts(out.texts, plan.spaces, fixed, plan_name);
  out.problems = std::move(out.layout.problems);
}

// The ptr= list of a string, items apart by `separator`.
std::string PointerList(const ScriptSpec& def, const ScriptString& string, char separator) {
  std::string list;
  for (const std::size_t i : string.pointers) {
    if (!list.empty()) list += separator;
    list += def.split ? HexNumber(def.table + i) + "/" + HexNumber(def.hi + i)
                      : HexNumber(SiteOf(def, i).offset);
  }
  return list;
}

std::string MapCsv(const InsertScripts& scripts) {
  std::string csv = "script,index,pointers,old_offset,new_offset,bytes\n";
  for (std::size_t s = 0; s < scripts.texts.size(); ++s) {
    const ScriptTexts& texts = scripts.texts[s];
    std::string name = texts.def->file;
    if (name.find_first_of(",\"\r\n") != std::string::npos) {
      std::string quoted = "\"";
      for (const char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
      name = quoted + "\"";
    }
    for (std::size_t i = 0; i < texts.strings.size(); ++i) {
      const ScriptString& string = texts.strings[i];
      csv += name + "," + std::to_string(string.index) + "," +
             PointerList(*texts.def, string, ';') + "," + HexNumber(string.at) + "," +
             HexNumber(scripts.layout.placed[s][i].offset) + "," +
             std::to_string(texts.bytes[i].size()) + "\n";
    }
  }
  return csv;
}

int RunInsert(const ParsedArgs& args) {
  const std::optional<InsertTarget> target = ParseTarget(args);
  if (!target) return kExitError;
  const Reported<CommandTables> tables = LoadCommandTables(args);
  if (!tables) return ToInt(tables.error());
  const CharTable* table = &tables->loaded.table;
  FileReader reader;
  auto size = reader.Open(target->game);
  if (!size) {
    PrintError(DescribeIoError(size.error()));
    return kExitError;
  }
  const std::string plan_name = InputName(args);
  const Reported<std::string> plan_read = ReadWholeInput(plan_name);
  if (!plan_read) return ToInt(plan_read.error());
  const std::string& plan_bytes = *plan_read;
  const std::string& game = target->game_name;
  const std::string& written = target->written_name();

  const PreparedPlan plan =
      PreparePlan(plan_bytes, ShownName(plan_name), *table, LineBreaksOf(args), size.value());
  // Keyword lines only when the plan is UTF-8; PreparePlan reports it if not.
  std::string_view plan_text = plan_bytes;
  if (plan_text.starts_with(kUtf8ByteOrderMark)) plan_text.remove_prefix(kUtf8ByteOrderMark.size());
  const bool utf8 =
      plan.problems.empty() || plan.problems.front().code != PlanProblemCode::kBadPlanUtf8;
  ScriptPlan script_plan = utf8 ? ParseScriptPlan(plan_text, ShownName(plan_name)) : ScriptPlan{};
  CheckScriptPlanInGame(script_plan, ShownName(plan_name), size.value());
  std::vector<FixedRoom> fixed;
  for (const PlanEntry& entry : plan.entries) {
    fixed.push_back({entry.line, entry.place.offset, entry.place.room.value_or(0)});
  }
  InsertScripts scripts;
  int status = kExitOk;
  if (script_plan.problems.empty()) {
    PrepareScripts(script_plan, ShownName(plan_name), *table, reader, game, fixed, scripts, status);
    if (status != kExitOk) return status;
  } else {
    scripts.problems = script_plan.problems;
  }
  const std::size_t problem_count = plan.problems.size() + scripts.problems.size();
  if (problem_count != 0) {
    for (const PlanProblem& problem : plan.problems) PrintError(Where(problem) + Describe(problem));
    for (const ScriptProblem& problem : scripts.problems) {
      PrintError(DescribeScriptProblem(problem) +
                 (problem.code == ScriptProblemCode::kNoRoom ? "; " + game + " is unchanged" : ""));
    }
    PrintLine(std::to_string(problem_count) + (problem_count == 1 ? " problem" : " problems") +
              "; nothing written to " + written);
    return kExitRejected;
  }
  const bool dry_run = args.Has("dry-run");
  if (plan.entries.empty() && scripts.texts.empty() && target->in_place && !target->patch_name) {
    // Nothing to change: the game file is not even copied.
    PrintLine("the plan has no entries; " + game + " is unchanged");
    return kExitOk;
  }

  // Fills first, written as runs; then texts, then pointers and the fixed
  // entries.
  std::vector<FilePatch> patches;
  for (const FillRun& run : scripts.layout.fills) {
    patches.push_back({run.offset, {}, run.length, run.byte});
  }
  for (const ScriptLayoutResult::TextWrite& text : scripts.layout.texts) {
    patches.push_back({text.offset, scripts.texts[text.script].bytes[text.string]});
  }
  // Pointers side by side in a table go out as one run, not one write each.
  std::vector<PointerWrite>& pointers = scripts.layout.pointers;
  std::sort(pointers.begin(), pointers.end(),
            [](const PointerWrite& a, const PointerWrite& b) { return a.offset < b.offset; });
  std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> runs;
  for (const PointerWrite& pointer : pointers) {
    if (runs.empty() || runs.back().first + runs.back().second.size() != pointer.offset) {
      runs.emplace_back(pointer.offset, std::vector<std::uint8_t>());
    }
    runs.back().second.insert(runs.back().second.end(), pointer.bytes,
                              pointer.bytes + pointer.size);
  }
  for (const auto& [offset, bytes] : runs) patches.push_back({offset, bytes});
  for (const PlanEntry& entry : plan.entries) {
    patches.push_back(PatchForRoom(entry.place, entry.bytes));
  }
  // The patch is made and checked from the original as read now, before GAME
  // is replaced; it goes in place only after the result, so that a failure
  // leaves neither.
  std::optional<std::vector<std::uint8_t>> patch_bytes;
  if (target->patch_name) {
    const Reported<std::string> original = ReadInputFile(game);
    if (!original) return ToInt(original.error());
    const std::span<const std::uint8_t> original_bytes = Bytes(*original);
    std::vector<std::uint8_t> result(original_bytes.begin(), original_bytes.end());
    if (!ApplyFilePatchesInMemory(result, patches)) {
      PrintError(game + " changed while the texts were being laid out; nothing written");
      return kExitError;
    }
    auto made = MakeReportedPatch(game, original_bytes, target->result_name(), result,
                                  *target->patch_name, target->patch_format);
    if (!made) return ToInt(made.error());
    patch_bytes = std::move(made).value();
  }
  if (!dry_run) {
    AtomicFileWriter patch_writer;
    if (patch_bytes) {
      auto sealed = patch_writer.Open(PathFromUtf8(*target->patch_name));
      if (sealed) sealed = patch_writer.Write(*patch_bytes);
      if (sealed) sealed = patch_writer.Seal();
      if (!sealed) return ReportOutputError(sealed.error());
    }
    if (target->writes_game()) {
      bool owner_kept = true;
      if (auto applied = target->Write(patches, &owner_kept); !applied) {
        return ReportOutputError(applied.error());
      }
      if (!owner_kept) WarnOwnerChanged(written);
    }
    if (patch_bytes) {
      if (auto committed = patch_writer.Commit(); !committed) {
        return ReportOutputError(committed.error());
      }
      ReportPatchWritten(*target->patch_name, target->patch_format, patch_bytes->size(), game,
                         target->result_name());
    }
  }
  for (const PlanEntry& entry : plan.entries) {
    PrintLine(ShownName(plan_name) + ":" + std::to_string(entry.line) + ": " + entry.file + " at " +
              HexNumber(entry.place.offset) + ": " + ByteCount(entry.used) + " used, " +
              ByteCount(*entry.place.room - entry.used) + " of " + ByteCount(*entry.place.room) +
              " left" + (entry.place.fill ? " (filled)" : ""));
  }
  std::size_t text_count = plan.entries.size();
  for (std::size_t s = 0; s < scripts.texts.size(); ++s) {
    std::size_t moved = 0;
    std::size_t shared = 0;
    for (const PlacedString& placed : scripts.layout.placed[s]) {
      moved += placed.moved ? 1 : 0;
      shared += placed.shared ? 1 : 0;
    }
    const std::size_t count = scripts.texts[s].strings.size();
    text_count += count;
    PrintLine(scripts.texts[s].def->shown + ": " + std::to_string(count - moved) + " stayed, " +
              std::to_string(moved) + " moved" +
              (shared != 0 ? " (" + std::to_string(shared) + " onto identical texts)" : ""));
  }
  for (std::size_t k = 0; k < script_plan.spaces.size() && k < scripts.layout.spaces.size(); ++k) {
    const SpaceSpec& space = script_plan.spaces[k];
    PrintLine("space " + HexNumber(space.range.first) + ".." + HexNumber(space.range.last) + ": " +
              ByteCount(scripts.layout.spaces[k].used) + " used, " +
              ByteCount(scripts.layout.spaces[k].free) + " free");
  }
  if (const auto map = args.Value("map")) {
    const std::string csv = MapCsv(scripts);
    if (auto saved = ReplaceFileAtomically(PathFromUtf8(*map), Bytes(csv)); !saved) {
      return ReportOutputError(saved.error());
    }
  }
  PrintLine(std::to_string(text_count) + (text_count == 1 ? " text" : " texts") +
            (dry_run ? " checked; nothing written (--dry-run)" : " put into " + written));
  return kExitOk;
}

}  // namespace

extern const Command kInsertCommand{
    .name = "insert",
    .summary = "put many texts into their rooms of a game file",
    .details = kInsertDetails,
    .usage = {.options = kInsertOptions,
              .form = {.positionals = {
                           .shown = "PLAN", .min = 1, .max = 1, .needs = "insert needs a PLAN"}}},
    .run = &RunInsert};

}  // namespace binconv::cli
