// binconv-cli insert: many texts into their rooms of one game file, all or
// nothing.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/insert_outputs.h"
#include "cli/into.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/patch_files.h"
#include "cli/problems.h"
#include "cli/tables.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "script/insert.h"
#include "script/plan.h"

namespace binconv::cli {
namespace {

using messages::Language;
using messages::Say;

constexpr CommandText kInsertText{
    .name = "insert",
    .summary = Phrase("put many texts into their rooms of a game file"),
    .details =
        Phrase("Puts many texts into one game file. PLAN (UTF-8) holds one entry a line:\n"
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
        "original bytes, even where the table gives its text more than one code.\n")};

// GAME patched in place, or ORIGINAL read and OUTPUT (or only PATCH) written.
constexpr OptionSpec kInsertIntoOption = [] {
  OptionSpec into = Related(kIntoOption, "from", "");
  into.required = true;
  into.missing = Phrase("insert needs --into GAME or --from ORIGINAL -o OUTPUT");
  return into;
}();

constexpr std::array kInsertOptions{
    kInsertIntoOption,
    OptionSpec{.name = "from",
               .value_name = "ORIGINAL",
               .help = Phrase("read ORIGINAL, which stays untouched, and write -o OUTPUT"),
               .required = true,
               .needs = "output|patch",
               .misuse = Phrase("--from ORIGINAL needs -o OUTPUT or --patch PATCH")},
    Related(OutputOption("OUTPUT", Phrase("with --from: the file to write, atomically")), "", "from",
            Phrase("-o goes with --from ORIGINAL, not with --into")),
    OptionSpec{"patch", 0, "PATCH",
               Phrase("also write an IPS or BPS patch from the original to the result")},
    Related(kPatchFormatOption, "", "patch", Phrase("--format goes with --patch PATCH")),
    kTablesOption,
    kGameTblOption,
    kExactOption,
    OptionSpec{"dry-run", 0, "", Phrase("check and lay out everything, but write nothing")},
    OptionSpec{"map", 0, "FILE", Phrase("write where every script entry went, as CSV, to FILE")},
    kHelpOption};

constexpr Usage kInsertUsage{.options = kInsertOptions,
                             .form = {.positionals = Exactly(1, "PLAN", Phrase("insert needs a PLAN"))}};

// Every problem in file order, then their count; nothing is written.
Reported<> RejectPlan(Language language, const std::vector<Problem>& problems,
                      const InsertTarget& target) {
  for (const std::string& line : ProblemLinesInFileOrder(language, problems)) PrintError(line);
  PrintLine(Counted(language, problems.size(), Phrase("{n} problem; nothing written to {file}"),
                    Phrase("{n} problems; nothing written to {file}"),
                    {{"file", target.written_name()}}));
  return Failure(ExitStatus::kRejected);
}

// The plan read and the job done: every text encoded and every script laid out.
Reported<InsertResult> PrepareInsert(const ParsedArgs& args, const InsertTarget& target,
                                     const GameTable& encoding, FileReader& game,
                                     JobProgress& progress) {
  const std::string plan_name = InputName(args);
  const Language language = args.language;
  const Reported<std::string> plan_bytes = ReadWholeInput(language, plan_name);
  if (!plan_bytes) return Unexpected(plan_bytes.error());
  const std::string shown_plan = ShownName(plan_name);
  auto plan = ParsePlan(*plan_bytes, shown_plan, EndBytesOf(encoding, std::nullopt).has_value());
  if (!plan) return Unexpected(RejectPlan(language, {plan.error()}, target).error());
  if (auto past = GrowPastPatch(*plan, shown_plan, target)) {
    return Unexpected(RejectPlan(language, {*past}, target).error());
  }
  if (plan->grow && plan->grow->size > game.size()) {
    // Nothing is told before the game is read, so the steps can grow yet.
    PlanInsertProgress(target, args.Has("dry-run"), game.size(), plan->grow->size, progress);
  }
  std::vector<NamedFile> files = FilesOfCommand("insert", args);
  AddScriptFiles(plan.value(), FileUse::kRead, files);
  if (auto spared = RefuseOutputsOverInputs(language, files); !spared) {
    return Unexpected(spared.error());
  }
  auto done = InsertPlan(
      {{plan.value(), shown_plan, encoding, game, target.game}, LineBreaksOf(args)});
  if (done) return std::move(done).value();
  progress.Clear();
  auto reject = [&](const std::vector<Problem>& found) {
    return RejectPlan(language, found, target);
  };
  return Unexpected(ReportJobError(language, done.error(), reject).error());
}

ExitStatus RunInsert(const ParsedArgs& args) {
  const Language language = args.language;
  const Reported<InsertTarget> target = ParseInsertTarget(args);
  if (!target) return target.error();
  CommandEncoding encoding;
  if (auto loaded = LoadCommandEncoding(args, encoding); !loaded) return loaded.error();
  JobProgress progress(language);
  ProgressReader reader(progress.Step(kCrcStep));
  if (auto size = reader.Open(PathFromUtf8(target->game)); !size) {
    PrintError(Describe(language, size.error()));
    return ExitStatus::kError;
  }
  const bool dry_run = args.Has("dry-run");
  PlanInsertProgress(*target, dry_run, reader.size(), reader.size(), progress);
  Reported<InsertResult> prepared =
      PrepareInsert(args, *target, encoding.encoding(), reader, progress);
  if (!prepared) return prepared.error();
  const InsertResult& inserted = prepared.value();
  if (ChangesNothing(*target, inserted, reader.size())) {
    progress.Finish();
    PrintLine(Say(language, "the plan has no entries; {game} is unchanged",
                  {{"game", target->game}}));
    return ExitStatus::kOk;
  }
  auto patch = MakeInsertPatchFile(language, *target, inserted, progress);
  if (!patch) return patch.error();
  auto map = StageInsertMap(args, dry_run, inserted.map);
  if (!map) return map.error();
  if (!dry_run) {
    if (auto written = WriteInsertOutputs(language, *target, inserted, patch.value(), progress);
        !written) {
      return written.error();
    }
  }
  progress.Finish();
  if (patch.value() && !dry_run) {
    ReportPatchWritten(language, *target->patch, target->patch_format, patch.value()->size(),
                       target->game, ResultName(language, *target));
  }
  for (const std::string& line :
       InsertSummaryLines(language, ShownName(InputName(args)), inserted)) {
    PrintLine(line);
  }
  if (*map) {
    if (auto saved = (*map)->Commit(); !saved) return ReportOutputError(language, saved.error());
  }
  if (dry_run) {
    PrintLine(Counted(language, inserted.texts, Phrase("{n} text checked; nothing written (--dry-run)"),
                      Phrase("{n} texts checked; nothing written (--dry-run)")));
  } else {
    PrintLine(Counted(language, inserted.texts, Phrase("{n} text put into {file}"),
                      Phrase("{n} texts put into {file}"), {{"file", target->written_name()}}));
  }
  return ExitStatus::kOk;
}

}  // namespace

extern const Command kInsertCommand{kInsertText, kInsertUsage, &RunInsert};

}  // namespace binconv::cli
