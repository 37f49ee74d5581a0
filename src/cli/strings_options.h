#pragma once
// --min N and --end XX, which strings and pointers-to --tables-of share.

#include <optional>

#include "cli/args.h"
#include "cli/io.h"
#include "cli/tables.h"
#include "scan/string_runs.h"

namespace binconv::cli {

inline constexpr OptionSpec kMinCharsOption{"min", 0, "N",
                                            Phrase("a run needs at least N characters (default 4)")};
inline constexpr OptionSpec kEndByteOption{
    "end", 0, "XX", Phrase("a run must end with the byte XX (hex), which always ends it")};

Reported<StringRunOptions> StringRunOptionsOf(const ParsedArgs& args);

}  // namespace binconv::cli
