// binconv-cli check-tables: the cells of the tables that don't work as their
// place suggests.

#include <map>
#include <optional>
#include <string_view>

#include "chartable/check.h"
#include "chartable/load.h"
#include "chartable/tbl_grid.h"
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/problems.h"
#include "cli/tables.h"
#include "messages/messages.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "runtime/text_file.h"

namespace binconv::cli {
namespace {

using messages::Language;
using messages::Say;

constexpr CommandText kCheckTablesText{
    .name = "check-tables",
    .summary = Phrase("report unusable cells of the tables"),
    .details =
        Phrase("Loads the tables and lists, with file, line and column, each cell that\n"
        "conversion can never produce (more than one character, a duplicate of an\n"
        "earlier cell, a character taken for a tag mark, space or line break) and\n"
        "each page 0 cell at a byte that a game reads as a lead byte, line break or\n"
        "space; then the cells used on each page and the characters found twice.\n"
        "--tbl FILE checks a game's .tbl instead: each text that more than one code\n"
        "of the same kind has, each second text of a code, and each code that decode\n"
        "never reads because longer codes that begin with it cover every byte that\n"
        "can follow it.\n"
        "Exit status 0: no findings; 1: findings (warnings); 2: the tables don't load.\n")};

constexpr std::array kCheckTablesOptions{kTablesOption, kGameTblOption, kHelpOption};

constexpr Usage kCheckTablesUsage{.options = kCheckTablesOptions,
                                  .form = {.order = "tables tbl"}};

// At most this many findings of a kind are listed; a huge table may have
// millions, which would say no more.
constexpr std::size_t kFindingsOfAKind = 20;

// check-tables --tbl FILE: the file's problems as decode lists them, or its
// findings.
ExitStatus CheckGameTbl(Language language, const std::string& name) {
  const Reported<GameTable> table = LoadCommandGameTable(language, name);
  if (!table) return table.error();
  const GameTableCheck check = CheckGameTable(*table, name, kFindingsOfAKind);
  std::string out = Say(language, "tbl: {file}\n", {{"file", name}});
  const std::string warning = Say(language, "warning: ");
  std::map<ProblemCode, std::size_t> shown;
  for (const Problem& finding : check.findings) {
    out += warning + Describe(language, finding) + "\n";
    // After the last one shown of its kind, how many more there are.
    const std::size_t all = check.counts.at(finding.code);
    if (++shown[finding.code] == kFindingsOfAKind && all > kFindingsOfAKind) {
      const std::string more = std::to_string(all - kFindingsOfAKind);
      out += warning + name + ": " +
             messages::Format(language, "count.more_of_kind",
                              [&](std::string_view key) -> std::optional<std::string> {
                                if (key == "n") return more;
                                return std::nullopt;
                              }) +
             "\n";
    }
  }
  std::size_t findings = 0;
  for (const auto& [code, count] : check.counts) findings += count;
  out += Counted(language, findings, Phrase("{n} finding"), Phrase("{n} findings")) + "\n";
  if (auto written = WriteOutput(language, PathOfArg(kStdioName), Bytes(out)); !written) {
    return written.error();
  }
  return findings == 0 ? ExitStatus::kOk : ExitStatus::kRejected;
}

ExitStatus RunCheckTables(const ParsedArgs& args) {
  const Language language = args.language;
  if (auto spared = RefuseOutputsOverInputs("check-tables", args); !spared) {
    return spared.error();
  }
  if (const std::optional<std::string> tbl = args.Value("tbl")) return CheckGameTbl(language, *tbl);
  const Reported<CommandTables> tables = LoadCommandTables(args);
  if (!tables) return tables.error();
  const std::filesystem::path& dir = tables->folder;
  const TableCheck check = CheckCharTable(tables->loaded.table);
  const std::array<std::string, 2> names{TablePath(dir, kMainTableFile),
                                         TablePath(dir, kExtendedTableFile)};
  std::string out = Say(language, "tables: {folder}\n", {{"folder", PathToUtf8(dir)}});
  for (std::size_t file = 0; file < names.size(); ++file) {
    out += "  " + names[file] + ": " +
           messages::EncodingName(language, tables->loaded.encodings[file]) + "\n";
  }
  const std::string warning = Say(language, "warning: ");
  for (const TableFinding& finding : check.findings) {
    out += warning + messages::Message(language, finding, names) + "\n";
  }
  // Made by import-tbl, the two files carry the same stamp; different ones
  // mean a crash between its two renames left a new file with an old one.
  std::size_t findings = check.findings.size();
  std::array<std::optional<std::string>, 2> stamps;
  for (std::size_t file = 0; file < names.size(); ++file) {
    const auto bytes =
        ReadFileBytes(dir / PathFromUtf8(file == 0 ? kMainTableFile : kExtendedTableFile));
    if (bytes) stamps[file] = ImportStampOf(bytes.value());
  }
  if (stamps[0] && stamps[1] && *stamps[0] != *stamps[1]) {
    out += warning + Say(language,
                         "{first} (import-tbl {first_stamp}) and {second} (import-tbl "
                         "{second_stamp}) come from different imports: run import-tbl again to "
                         "make them a pair\n",
                         {{"first", names[0]},
                          {"first_stamp", *stamps[0]},
                          {"second", names[1]},
                          {"second_stamp", *stamps[1]}});
    ++findings;
  }
  out += Say(language, "cells per page (not empty, of which conversion can produce):\n");
  for (int page = 0; page < kPages; ++page) {
    const PageUsage& usage = check.pages[static_cast<std::size_t>(page)];
    out += "  " + Padded(PageName(language, page), 14) + Padded(std::to_string(usage.used), 5) +
           std::to_string(usage.producible) + "\n";
  }
  if (check.duplicates.empty()) {
    out += Say(language, "no character stands in more than one cell\n");
  } else {
    out += Say(language, "characters in more than one cell (the first one wins):\n");
    for (const DuplicateChar& duplicate : check.duplicates) {
      std::string codes;
      for (const CellCode& code : duplicate.cells) {
        codes += (codes.empty() ? "" : ", ") + DescribeCode(code);
      }
      out += "  " + Say(language, "{char} at {codes}",
                        {{"char", DescribeChar(duplicate.ch)}, {"codes", codes}}) +
             "\n";
    }
  }
  out += Counted(language, findings, Phrase("{n} finding"), Phrase("{n} findings")) + "\n";

  if (auto written = WriteOutput(language, PathOfArg(kStdioName), Bytes(out)); !written) {
    return written.error();
  }
  return findings == 0 ? ExitStatus::kOk : ExitStatus::kRejected;
}

}  // namespace

extern const Command kCheckTablesCommand{kCheckTablesText, kCheckTablesUsage, &RunCheckTables};

}  // namespace binconv::cli
