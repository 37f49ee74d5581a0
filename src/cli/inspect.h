#pragma once
// The commands that look at encoded bytes and tables rather than make them:
// decode (bytes back to text), check-tables, and encode's coverage report.

#include <array>
#include <filesystem>
#include <string_view>

#include "chartable/char_table.h"
#include "cli/args.h"
#include "cli/commands.h"
#include "cli/tables.h"

namespace binconv::cli {

int RunDecode(const ParsedArgs& args);
int RunCheckTables(const ParsedArgs& args);
// encode with --report or --keep-going, once the tables and the output path
// are known; the whole text is read before anything is written.
// `tables_folder` is where the tables were read, for the report.
int RunEncodeWithReport(const ParsedArgs& args, const CharTable& table,
                        const std::filesystem::path& tables_folder,
                        const std::filesystem::path& output);

inline constexpr OptionSpec kReportOption{
    "report", 0, "", "print what was converted, by page, and each character without a code"};
inline constexpr OptionSpec kKeepGoingOption{
    "keep-going", 0, "", "write the file anyway, leaving out each character without a code"};

inline constexpr std::array kDecodeOptions{
    kTablesOption, OptionSpec{"crlf", 0, "", "end lines with CR LF (default: LF)"},
    OptionSpec{"output", 'o', "FILE", "write the text to FILE instead of standard output"},
    OptionSpec{"help", 'h', "", "show this help and exit"}};
inline constexpr std::array kCheckTablesOptions{
    OptionSpec{"tables", 0, "DIR", "read Zezovar.ini and Zezovar_ex.ini from DIR (default: .)"},
    OptionSpec{"help", 'h', "", "show this help and exit"}};

inline constexpr std::string_view kDecodeDetails =
    "Turns bytes back into text (UTF-8), the inverse of encode: 24 is a line\n"
    "break, 50 a full-width space, a lead byte (20, 21, 22, 23, 18) and the byte\n"
    "after it the character of that page, any other byte the page 0 character.\n"
    "A code whose character would not encode back to the same bytes (an empty,\n"
    "duplicate or unusable cell, or a lead byte at the end) is written as a tag\n"
    "with its bytes in hex, e.g. <2117>, so encoding the text gives the same\n"
    "bytes again. Use --crlf if the text will be encoded with --exact.\n"
    "BINARY omitted or \"-\" reads standard input.\n";
inline constexpr std::string_view kCheckTablesDetails =
    "Loads the tables and lists, with file, line and column, each cell that\n"
    "conversion can never produce (more than one character, a duplicate of an\n"
    "earlier cell, a character taken for a tag mark, space or line break) and\n"
    "each page 0 cell at a byte that a game reads as a lead byte, line break or\n"
    "space; then the cells used on each page and the characters found twice.\n"
    "It first says which folder it read and the encoding of each file.\n"
    "Exit status 0: no findings; 1: findings (warnings); 2: the tables don't load.\n";

inline constexpr Command kDecodeCommand{"decode",
                                        "[--tables DIR] [--crlf] [-o FILE] [BINARY]",
                                        "turn bytes back into text",
                                        kDecodeDetails,
                                        kDecodeOptions,
                                        1,
                                        &RunDecode};
inline constexpr Command kCheckTablesCommand{
    "check-tables",      "[--tables DIR]",    "report unusable cells of the tables",
    kCheckTablesDetails, kCheckTablesOptions, 0,
    &RunCheckTables};

}  // namespace binconv::cli
