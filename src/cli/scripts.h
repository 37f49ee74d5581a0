#pragma once
// What dump and insert share about scripts: the messages of their problems
// and the game's size and CRC-32, which a script's #game line records.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/io.h"
#include "script/script_plan.h"
#include "runtime/file.h"

namespace binconv::cli {

// "FILE:LINE:COLUMN: message", "FILE:LINE: message" or "FILE: message".
std::string DescribeScriptProblem(const ScriptProblem& problem);

// Prints every problem; returns how many there were.
std::size_t PrintScriptProblems(const std::vector<ScriptProblem>& problems);

// The CRC-32 of the whole file, read in pieces.
Reported<std::uint32_t> GameCrc32(FileReader& game);

// The plan's bytes, checked to be UTF-8 and without a byte order mark.
Reported<std::string> ReadPlanText(const std::string& plan_name);

}  // namespace binconv::cli
