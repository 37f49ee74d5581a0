// binconv-cli insert: many texts into their rooms of one game file, all or
// nothing.

#include <algorithm>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/into.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/patch_files.h"
#include "cli/problems.h"
#include "cli/progress.h"
#include "cli/tables.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "runtime/hex.h"
#include "script/insert.h"
#include "script/plan.h"

namespace binconv::cli {
namespace {

constexpr CommandText kInsertText{
    .name = "insert",
    .summary = "put many texts into their rooms of a game file",
    .details =
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
        "         [relative=self|table] [window=LO..HI] [bank=N]\n"
        "  space START..END [fill=XX]   or   space NAME START..END [fill=XX]\n"
        "  grow SIZE [fill=XX]\n"
        "  script FILE (table=OFFSET [stride=S] | lo=OFFSET hi=OFFSET) count=N\n"
        "         format=NAME end=XX [text=START..END] [layout=slots|pack]\n"
        "         [align=N] [fill=XX] [skip=V,V...] [max=N] [spaces=NAME,...]\n"
        "         [width=N] [lines=M]\n"
        "TYPE is u16le u16be u24le u24be u32le or u32be; a value is\n"
        "map(offset - header) + base, or with relative= the signed distance from\n"
        "the pointer itself or its table. window= is every value the game can\n"
        "follow; a moved text never crosses a bank boundary (bank=, or 32 KiB for\n"
        "lorom, 64 KiB for hirom). Ranges are inclusive. grow makes the result\n"
        "SIZE bytes (fill FF by default). A space is free room moved texts may\n"
        "take; a script with spaces= takes only those it names. With layout=slots\n"
        "(the default) a text that fits its room stays; one that doesn't moves\n"
        "to the first space with room at align=, within reach of its pointers,\n"
        "and its old room gets fill= or keeps its bytes. With pack the text=\n"
        "block is laid out again in the order its strings stand, from the first\n"
        "text that changed on, and what doesn't fit goes to the spaces. A moved\n"
        "text identical to one already placed, or to its tail, is shared; a tail\n"
        "(in= on its @ line) stays while the text it lies in still ends with it.\n"
        "width= and lines= are the game's text box, checked on every text that\n"
        "changed. Every pointer to a moved text is rewritten. The script file\n"
        "must come from this game (its #game size and CRC-32): rebuild from the\n"
        "original with --from ORIGINAL -o OUTPUT after each edit. The summary tells per\n"
        "script how many texts stayed and moved and how many are unchanged from\n"
        "the original, and each space's bytes used and free. --map writes\n"
        "script,index,pointers,old_offset,new_offset,bytes.\n"
        "\n"
        "--patch PATCH also writes a patch from ORIGINAL (or GAME as it was) to the\n"
        "result, IPS or BPS after PATCH's extension or --format; with --from and no\n"
        "-o, only the patch is written. It is applied to the original and compared\n"
        "with the result before anything is written, and PATCH is put in\n"
        "place only once the result is. --dry-run checks it and writes nothing.\n"
        "A progress bar is shown on a terminal for a GAME over 64 MiB.\n"
        "\n"
        "--tbl FILE encodes every text through a game's own table (see encode),\n"
        "and reads the scripts' strings as dump does with it. A script text that\n"
        "ends with an end token ends there; otherwise end= (or, without end=, the\n"
        "table's first end token) is added. A text left as dump wrote it keeps its\n"
        "original bytes, even where the table gives its text more than one code.\n"};

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
    Related(OutputOption("OUTPUT", "with --from: the file to write, atomically"), "", "from",
            "-o goes with --from ORIGINAL, not with --into"),
    OptionSpec{"patch", 0, "PATCH",
               "also write an IPS or BPS patch from the original to the result"},
    Related(kPatchFormatOption, "", "patch", "--format goes with --patch PATCH"),
    kTablesOption,
    kGameTblOption,
    kExactOption,
    OptionSpec{"dry-run", 0, "", "check and lay out everything, but write nothing"},
    OptionSpec{"map", 0, "FILE", "write where every script entry went, as CSV, to FILE"},
    kHelpOption};

constexpr Usage kInsertUsage{.options = kInsertOptions,
                             .form = {.positionals = Exactly(1, "PLAN", "insert needs a PLAN")}};

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
  Result<Unit, IoError> Write(std::span<const GameWrite> writes, std::uint64_t size,
                              bool* owner_kept, FileOps& ops) const {
    return WriteInserted(writes, game, output_name ? &output : nullptr, ops, owner_kept, size);
  }
};

Reported<InsertTarget> ParseTarget(const ParsedArgs& args) {
  const std::optional<std::string> into = args.Value("into");
  const std::optional<std::string> from = args.Value("from");
  const std::optional<std::string> output = args.Value("output");
  auto misuse = [](const std::string& message) { return Failure(UsageError(message)); };
  const std::optional<std::string> patch = args.Value("patch");
  InsertTarget target;
  target.game_name = into ? *into : *from;
  target.game = PathFromUtf8(target.game_name);
  target.in_place = into.has_value();
  if (patch) {
    if (patch->empty()) return misuse("the --patch name is empty");
    const Reported<PatchFormat> format = ChoosePatchFormat(args.Value("format"), *patch);
    if (!format) return Unexpected(format.error());
    if (auto spared = CheckOutputSparesInput(*patch, target.game_name); !spared) {
      return Unexpected(spared.error());
    }
    if (output && NameTheSameFile(PathFromUtf8(*patch), PathFromUtf8(*output))) {
      return misuse("--patch PATCH and -o OUTPUT name the same file");
    }
    target.patch_name = *patch;
    target.patch_format = *format;
  }
  if (output) {
    target.output_name = *output;
    target.output = PathFromUtf8(*output);
    // Only an existing ORIGINAL: a missing one is told as a file not found.
    if (AreOneExistingFile(target.game, target.output)) {
      return misuse("-o OUTPUT is ORIGINAL itself; use --into to patch it in place");
    }
  }
  return target;
}

// Every problem, then their count; nothing is written.
Reported<> RejectPlan(const std::vector<Problem>& problems, const InsertTarget& target) {
  for (const Problem& problem : problems) {
    PrintError(Describe(problem) + (FoundNoRoom(problem.code)
                                        ? "; " + target.game_name + " is unchanged"
                                        : ""));
  }
  PrintLine(Counted(problems.size(), "problem") + "; nothing written to " + target.written_name());
  return Failure(kExitRejected);
}

// Where the time goes on a big game, in order: its CRC-32 (when the plan has
// scripts), the patch made and checked (the result read more than once), and
// the game copied to the result, of `result` bytes (the game's size, or what
// the plan grows it to).
enum InsertStep : std::size_t { kCrcStep, kPatchStep, kWriteStep };

void PlanInsertProgress(const InsertTarget& target, bool dry_run, std::uint64_t game,
                        std::uint64_t result, JobProgress& progress) {
  const std::uint64_t patch = target.patch_name ? PassesOverModified(target.patch_format) : 0;
  const std::uint64_t write = target.writes_game() && !dry_run ? 1 : 0;
  progress.Plan(game, {game, patch * result, write * result});
}

// The plan read and the job done: every text encoded and every script laid out.
Reported<InsertResult> PrepareInsert(const ParsedArgs& args, const InsertTarget& target,
                                     const TextCodec& encoding, FileReader& game,
                                     JobProgress& progress) {
  const std::string plan_name = InputName(args);
  const Reported<std::string> plan_bytes = ReadWholeInput(plan_name);
  if (!plan_bytes) return Unexpected(plan_bytes.error());
  const std::string shown_plan = ShownName(plan_name);
  auto plan = ParsePlan(*plan_bytes, shown_plan, encoding.EndBytes(std::nullopt).has_value());
  if (!plan) return Unexpected(RejectPlan({plan.error()}, target).error());
  if (plan->grow && plan->grow->size > game.size()) {
    // Nothing is told before the game is read, so the steps can grow yet.
    PlanInsertProgress(target, args.Has("dry-run"), game.size(), plan->grow->size, progress);
  }
  std::vector<NamedFile> files = FilesOfCommand("insert", args);
  AddScriptFiles(plan.value(), FileUse::kRead, files);
  if (auto spared = RefuseOutputsOverInputs(files); !spared) return Unexpected(spared.error());
  auto done = InsertPlan(
      {{plan.value(), shown_plan, encoding, game, target.game_name}, LineBreaksOf(args)});
  if (done) return std::move(done).value();
  progress.Clear();
  auto reject = [&](const std::vector<Problem>& found) { return RejectPlan(found, target); };
  return Unexpected(ReportJobError(done.error(), reject).error());
}

// The patch from the original to the result, made and checked from the
// original as read now, before GAME is replaced; none without --patch.
Reported<std::optional<std::vector<std::uint8_t>>> MakeInsertPatch(
    const InsertTarget& target, std::span<const GameWrite> writes, std::uint64_t size,
    JobProgress& progress) {
  if (!target.patch_name) return std::optional<std::vector<std::uint8_t>>();
  const std::string& game = target.game_name;
  FileReader reader;
  if (auto opened = OpenInputFile(game, reader); !opened) return Unexpected(opened.error());
  // The result is the original read with the writes laid over it.
  const std::vector<FilePatch> patches = PatchesOf(writes);
  if (size < reader.size() || !FilePatchesFit(size, patches)) {
    progress.Clear();
    PrintError(game + " changed while the texts were being laid out; nothing written");
    return Unexpected(ExitStatus::kError);
  }
  FileInput original(reader);
  FileInput result_input(reader, patches, size);
  ProgressInput result(result_input, progress.Step(kPatchStep));
  auto made = MakeVerifiedPatchFrom(target.patch_format, original, result);
  if (!made) {
    progress.Clear();
    return Failure(
        ReportPatchFileError(made.error(), *target.patch_name, game, target.result_name()));
  }
  return std::optional(std::move(made).value());
}

// The patch and the result written; the patch goes in place only after the
// result, so that a failure leaves neither. The caller tells of the patch,
// once the progress bar is gone.
Reported<> WriteInsert(const InsertTarget& target, std::span<const GameWrite> writes,
                       std::uint64_t size, const std::optional<std::vector<std::uint8_t>>& patch,
                       JobProgress& progress) {
  auto failed = [&progress](const IoError& error) {
    progress.Clear();
    return Unexpected(static_cast<ExitStatus>(ReportOutputError(error)));
  };
  AtomicFileWriter patch_writer;
  if (patch) {
    auto sealed = patch_writer.Open(PathFromUtf8(*target.patch_name));
    if (sealed) sealed = patch_writer.Write(*patch);
    if (sealed) sealed = patch_writer.Seal();
    if (!sealed) return failed(sealed.error());
  }
  if (target.writes_game()) {
    bool owner_kept = true;
    ProgressFileOps ops(progress.Step(kWriteStep));
    if (auto applied = target.Write(writes, size, &owner_kept, ops); !applied) {
      return failed(applied.error());
    }
    if (!owner_kept) {
      progress.Finish();
      WarnOwnerChanged(target.written_name());
    }
  }
  if (patch) {
    if (auto committed = patch_writer.Commit(); !committed) return failed(committed.error());
  }
  return Unit{};
}

std::string MapCsv(const std::vector<MapRow>& rows) {
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

// The --map output, opened with the CSV in it before anything is replaced,
// so that a map that can't be written leaves every file as it was; null
// without --map, and in a dry run unless it goes to standard output.
Reported<std::unique_ptr<OutputSink>> OpenMap(const ParsedArgs& args, bool dry_run,
                                              const std::vector<MapRow>& rows) {
  const std::optional<std::string> name = args.Value("map");
  if (!name || (dry_run && !NamesOpenStream(PathFromUtf8(*name)))) {
    return std::unique_ptr<OutputSink>();
  }
  auto opened = OpenOutput(PathFromUtf8(*name), OutputHold::kUntilCommit);
  if (!opened) return Failure(ReportOutputError(opened.error()));
  const std::string csv = MapCsv(rows);
  if (auto written = opened.value()->Write(Bytes(csv)); !written) {
    return Failure(ReportOutputError(written.error()));
  }
  return std::move(opened).value();
}

void PrintSummary(const std::string& plan_name, const InsertResult& inserted) {
  for (const InsertedEntry& entry : inserted.entries) {
    PrintLine(plan_name + ":" + std::to_string(entry.line) + ": " + entry.file + " at " +
              HexNumber(entry.offset) + ": " + ByteCount(entry.used) + " used, " +
              ByteCount(entry.room - entry.used) + " of " + ByteCount(entry.room) + " left" +
              (entry.filled ? " (filled)" : ""));
  }
  for (const InsertedScript& script : inserted.scripts) {
    PrintLine(script.shown + ": " + std::to_string(script.strings - script.moved) + " stayed, " +
              std::to_string(script.moved) + " moved" +
              (script.shared != 0 ? " (" + std::to_string(script.shared) + " onto identical texts)"
                                  : "") +
              ", " + std::to_string(script.unchanged) + " unchanged");
  }
  for (const SpaceUsed& space : inserted.spaces) {
    PrintLine("space " + (space.name.empty() ? "" : space.name + " ") + HexNumber(space.first) +
              ".." + HexNumber(space.last) + ": " +
              ByteCount(space.used) + " used, " + ByteCount(space.free) + " free");
  }
}

int RunInsert(const ParsedArgs& args) {
  const Reported<InsertTarget> target = ParseTarget(args);
  if (!target) return ToInt(target.error());
  CommandEncoding encoding;
  if (auto loaded = LoadCommandEncoding(args, encoding); !loaded) return ToInt(loaded.error());
  JobProgress progress;
  ProgressReader reader(progress.Step(kCrcStep));
  if (auto size = reader.Open(target->game); !size) {
    PrintError(DescribeIoError(size.error()));
    return kExitError;
  }
  const bool dry_run = args.Has("dry-run");
  PlanInsertProgress(*target, dry_run, reader.size(), reader.size(), progress);
  Reported<InsertResult> prepared =
      PrepareInsert(args, *target, encoding.encoding(), reader, progress);
  if (!prepared) return ToInt(prepared.error());
  const InsertResult& inserted = prepared.value();
  if (inserted.entries.empty() && inserted.scripts.empty() && target->in_place &&
      !target->patch_name && inserted.size == reader.size()) {
    // Nothing to change: the game file is not even copied.
    progress.Finish();
    PrintLine("the plan has no entries; " + target->game_name + " is unchanged");
    return kExitOk;
  }
  auto patch = MakeInsertPatch(*target, inserted.writes, inserted.size, progress);
  if (!patch) return ToInt(patch.error());
  auto map = OpenMap(args, dry_run, inserted.map);
  if (!map) return ToInt(map.error());
  if (!dry_run) {
    if (auto written =
            WriteInsert(*target, inserted.writes, inserted.size, patch.value(), progress);
        !written) {
      return ToInt(written.error());
    }
  }
  progress.Finish();
  if (patch.value() && !dry_run) {
    ReportPatchWritten(*target->patch_name, target->patch_format, patch.value()->size(),
                       target->game_name, target->result_name());
  }
  PrintSummary(ShownName(InputName(args)), inserted);
  if (*map) {
    if (auto saved = (*map)->Commit(); !saved) return ReportOutputError(saved.error());
  }
  PrintLine(Counted(inserted.texts, "text") + (dry_run ? " checked; nothing written (--dry-run)"
                                                       : " put into " + target->written_name()));
  return kExitOk;
}

}  // namespace

extern const Command kInsertCommand{kInsertText, kInsertUsage, &RunInsert};

}  // namespace binconv::cli
