// binconv-cli import-tbl: a hex editor's .tbl file as the two table files.

#include <chrono>
#include <cstdio>
#include <ctime>

#include "chartable/load.h"
#include "chartable/tbl_grid.h"
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/problems.h"
#include "cli/tbl_options.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

constexpr CommandText kImportTblText{
    .name = "import-tbl",
    .summary = Phrase("make the table files from a hex editor's .tbl file"),
    .details =
        Phrase("Reads a .tbl file of a hex editor (XX=c and LLXX=c entries, LL one of the\n"
        "lead bytes 20, 21, 22, 23, 18; with or without a byte order mark) and\n"
        "writes Zezovar.ini (pages 0-4) and Zezovar_ex.ini (page 5) into DIR, in\n"
        "code page 932 when every character fits, else UTF-8 with a byte order\n"
        "mark. *24 and 50= with a space are the fixed line break and space. Every\n"
        "entry that can't be placed is listed with its line (another lead byte, a\n"
        "code of more than two bytes, a value of more than one character, a page 0\n"
        "code at 18, 20-24 or 50, a line break other than *24, a second entry for\n"
        "a code, a comma or space);\n"
        "then nothing is written, unless --keep-going leaves them out. TBL \"-\"\n"
        "reads standard input.\n")};

constexpr std::array kImportTblOptions{
    kTblEncodingOption,
    OptionSpec{"keep-going", 0, "", Phrase("write the tables anyway, leaving out the entries listed")},
    OutputOption("DIR", Phrase("write Zezovar.ini and Zezovar_ex.ini into DIR (default: .)")), kHelpOption};

constexpr Usage kImportTblUsage{
    .options = kImportTblOptions,
    .form = {.positionals = Exactly(1, "TBL", Phrase("import-tbl needs a TBL file")),
             .order = "encoding=utf-8|cp932 keep-going output @"}};

// When this import ran, to the millisecond (UTC): both files carry it, so
// that check-tables can tell a pair torn by a crash between the two renames.
std::string ImportStamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::gmtime(&seconds));
  char fraction[8] = {};
  std::snprintf(fraction, sizeof fraction, ".%03dZ", static_cast<int>(millis));
  return std::string(text) + fraction;
}

ExitStatus RunImportTbl(const ParsedArgs& args) {
  if (auto spared = RefuseOutputsOverInputs("import-tbl", args); !spared) {
    return spared.error();
  }
  const Reported<TblEncoding> encoding = TblEncodingOf(args);
  if (!encoding) return encoding.error();
  const std::string tbl_name = InputName(args);
  const Reported<std::string> bytes = ReadWholeInput(args.language, tbl_name);
  if (!bytes) return bytes.error();
  const TblImport imported = ImportTbl(*bytes, ShownName(tbl_name), *encoding);
  const std::vector<Problem>& problems = imported.fit.problems;
  for (const Problem& problem : problems) {
    ReportProblem(args.language, problem, problem.what.empty() ? "" : ": " + problem.what);
  }
  const bool keep_going = args.Has("keep-going");
  if (!problems.empty() && !keep_going) {
    PrintLine(Counted(args.language, problems.size(),
                      Phrase("{n} entry can't be placed; nothing written"),
                      Phrase("{n} entries can't be placed; nothing written")));
    // Codes of other lengths, DTE or control codes: a game's own table, which
    // the commands that take --tbl read as it is.
    if (imported.game_table) {
      PrintLine(messages::Say(args.language,
                              "it reads as a game's own table: give it with --tbl {file} to "
                              "decode, encode, check-tables or export-tbl instead",
                              {{"file", ShownName(tbl_name)}}));
    }
    return ExitStatus::kRejected;
  }

  auto source = DecodeUtf8(tbl_name);
  const std::u16string source16 = source ? source.value() : u"?";
  const TableFiles files = WriteTableFiles(imported.fit.table, source16, ImportStamp());
  const std::filesystem::path dir = OutputPathOf(args, OutputDefault::kCurrentFolder);
  const std::filesystem::path main_path = dir / PathFromUtf8(kMainTableFile);
  const std::filesystem::path extended_path = dir / PathFromUtf8(kExtendedTableFile);
  // The two files define one encoding: they are replaced together or not at all.
  if (auto replaced = ReplaceFilePairAtomically({main_path, Bytes(files.main)},
                                                {extended_path, Bytes(files.extended)});
      !replaced) {
    return ReportOutputError(args.language, replaced.error());
  }
  PrintLine(messages::Say(args.language,
                          problems.empty()
                              ? Phrase("{placed} entries placed into {main} and {extended}")
                              : Phrase("{placed} entries placed into {main} and {extended}; "
                                       "{left} left out"),
                          {{"placed", std::to_string(imported.fit.placed)},
                           {"main", PathToUtf8(main_path)},
                           {"extended", PathToUtf8(extended_path)},
                           {"left", std::to_string(problems.size())}}));
  return ExitStatus::kOk;
}

}  // namespace

Reported<TblEncoding> TblEncodingOf(const ParsedArgs& args) {
  const std::string name = args.Value("encoding").value_or("utf-8");
  if (name == "utf-8" || name == "UTF-8" || name == "utf8") return TblEncoding::kUtf8;
  if (name == "cp932" || name == "CP932") return TblEncoding::kCp932;
  return Failure(UsageError(args.language,
                            messages::Say(args.language, "--encoding '{value}' is neither utf-8 nor cp932",
                                          {{"value", name}})));
}

std::string DescribeCell(messages::Language language, const CharTable& table, CellCode cell) {
  std::string text = PageName(language, cell.page) + messages::Say(language, " code ");
  text += HexDigit(cell.row);
  text += HexDigit(cell.column);
  const CellOrigin& origin = table.Origin(cell.page, cell.row, cell.column);
  if (origin.line != 0) {
    text += std::string(" (") + (origin.file == 0 ? kMainTableFile : kExtendedTableFile) + ":" +
            std::to_string(origin.line) + ":" + std::to_string(origin.column) + ")";
  }
  return text;
}

extern const Command kImportTblCommand{kImportTblText, kImportTblUsage, &RunImportTbl};

}  // namespace binconv::cli
