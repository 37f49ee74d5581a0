#pragma once
// What export-tbl and import-tbl share.

#include <optional>
#include <string>

#include "chartable/char_table.h"
#include "chartable/tbl.h"
#include "cli/args.h"
#include "cli/io.h"

namespace binconv::cli {

inline constexpr OptionSpec kTblEncodingOption{"encoding", 0, "ENC",
                                               Phrase("the .tbl's encoding: utf-8 (default) or cp932")};

// The --encoding asked for; a misuse when it is neither.
Reported<TblEncoding> TblEncodingOf(const ParsedArgs& args);

// "page 2 (21) code 17 'X' (U+XXXX) (Zezovar.ini:12:5)"
std::string DescribeCell(messages::Language language, const CharTable& table, CellCode cell);

}  // namespace binconv::cli
