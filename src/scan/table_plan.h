#pragma once
// pointers-to --tables-of as a job: a game's strings found, the pointer
// tables that lead to their starts, and each table as a piece of plan to
// paste: a comment with its first targets and its first string, and a
// script line.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "codec/string_end.h"
#include "runtime/file.h"
#include "runtime/problem.h"
#include "runtime/result.h"
#include "scan/byte_scan.h"
#include "scan/string_runs.h"
#include "script/pointer_format.h"

namespace binconv {

// Past this many strings (5 bytes each) a game is mostly not text, and the
// pointers to them would not tell a table: --end or --min must narrow them.
inline constexpr std::size_t kMostStrings = 4'000'000;

struct TablePlanInput {
  const PointerFormat& format;
  std::string_view format_words;  // as given, for the plan's format line
  const GameTable& codec;
  const StringRunOptions& options;
};

// kTooManyStrings (or kTooManyEndedStrings) when the game holds
// kMostStrings strings or more.
using TablePlanError = std::variant<IoError, Problem>;

// The plan's lines: its format line, two lines per table, most entries
// first, and a count of the candidates left out; none when no table was
// found. The game is read from its start twice, each pass told through what
// `start_pass` gives, and then at each table's first string.
Result<std::vector<std::string>, TablePlanError> PlanPointerTables(
    const TablePlanInput& input, const std::filesystem::path& game,
    const std::function<ScanProgress()>& start_pass = {});

}  // namespace binconv
