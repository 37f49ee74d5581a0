// binconv-cli export-tbl: the tables as a hex editor's .tbl file.

#include "chartable/tbl_grid.h"
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/tables.h"
#include "cli/tbl_options.h"
#include "runtime/describe.h"

namespace binconv::cli {
namespace {

constexpr CommandText kExportTblText{
    .name = "export-tbl",
    .summary = Phrase("write the tables as a hex editor's .tbl file"),
    .details =
        Phrase("Writes the tables as a .tbl file for hex editors (ImHex, WindHex,\n"
        "Thingy32): one entry a line, XX=c for a page 0 code and LLXX=c for a code\n"
        "after the lead byte LL, for every code that decode shows as a character,\n"
        "in byte order; the line break as *24 and the space as 50= and U+3000.\n"
        "A page 0 cell at 18, 20-24 or 50 is left out with a warning: those bytes\n"
        "are read as lead bytes, the line break and the space. --encoding cp932\n"
        "(CR LF line ends) serves older Windows editors; a character that code\n"
        "page 932 can't hold is then an error and nothing is written.\n"
        "--tbl FILE writes that game's .tbl in one canonical form instead: UTF-8,\n"
        "one entry a line in the .tbl's own order (which picks the code of a text\n"
        "with two, the end and the line break), upper-case hex, the kind marks\n"
        "/ * $, no comments; read again, it encodes and decodes as the .tbl.\n")};

constexpr std::array kExportTblOptions{
    kTablesOption, kGameTblOption,
    Related(kTblEncodingOption, "tbl", "",
            Phrase("--tbl writes the .tbl in UTF-8; --encoding goes with the tables")),
    OutputOption("FILE", Phrase("write the .tbl to FILE instead of standard output")), kHelpOption};

constexpr Usage kExportTblUsage{.options = kExportTblOptions,
                                .form = {.order = "tables tbl encoding=utf-8|cp932 output"}};

ExitStatus RunExportTbl(const ParsedArgs& args) {
  if (auto spared = RefuseOutputsOverInputs("export-tbl", args); !spared) {
    return spared.error();
  }
  if (const std::optional<std::string> tbl = args.Value("tbl")) {
    const Reported<GameTable> game = LoadCommandGameTable(args.language, *tbl);
    if (!game) return game.error();
    const std::string written = WriteTbl(game->codes(), TblEncoding::kUtf8, game->aliases()).bytes;
    return StatusOf(WriteOutput(args.language, OutputPathOf(args, OutputDefault::kStandardOutput), Bytes(written)));
  }
  const Reported<TblEncoding> encoding = TblEncodingOf(args);
  if (!encoding) return encoding.error();
  const Reported<CommandTables> tables = LoadCommandTables(args);
  if (!tables) return tables.error();
  const CharTable* table = &tables->loaded.table;
  const TblExport exported = ExportTbl(*table, *encoding);
  for (const CellCode& cell : exported.shadowed) {
    PrintLine(messages::Say(args.language, "warning: ") +
              messages::Say(args.language,
                            "{cell} {char} is left out: a reader takes its byte for a lead byte, "
                            "line break or space",
                            {{"cell", DescribeCell(args.language, *table, cell)},
                             {"char", DescribeChar(table->Cell(cell.page, cell.row, cell.column)[0])}}));
  }
  if (!exported.unwritable.empty()) {
    for (const CellCode& cell : exported.unwritable) {
      PrintError(DescribeCell(args.language, *table, cell) + ": " +
                 messages::Say(args.language, "code page 932 can't hold {char}",
                               {{"char", DescribeChar(table->Cell(cell.page, cell.row, cell.column)[0])}}));
    }
    PrintLine(messages::Say(args.language, "nothing written; --encoding utf-8 holds every character"));
    return ExitStatus::kRejected;
  }
  return StatusOf(
      WriteOutput(args.language, OutputPathOf(args, OutputDefault::kStandardOutput),
                  Bytes(exported.bytes)));
}

}  // namespace

extern const Command kExportTblCommand{kExportTblText, kExportTblUsage, &RunExportTbl};

}  // namespace binconv::cli
