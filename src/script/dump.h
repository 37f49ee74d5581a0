#pragma once
// The dump job: every script of a plan read out of a game through its
// pointer table, as the script files that insert reads back.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "chartable/char_table.h"
#include "script/job.h"
#include "script/plan.h"
#include "runtime/file.h"

namespace binconv {

struct DumpInput {
  const Plan& plan;
  const std::string& plan_name;  // as messages name it
  const CharTable& table;
  FileReader& game;
  const std::string& game_name;  // the game's file name, for the #game line
};

// One script file to write, and what its summary says.
struct DumpedScript {
  std::filesystem::path path{};
  std::string shown{};
  std::string text{};
  std::size_t strings = 0;
  std::size_t pointers = 0;  // those not skipped
  std::uint64_t skipped = 0;
};

// Every script of the plan, in plan order; or every problem found (the plan's
// keyword lines are taken as already checked), or the game's read error.
Result<std::vector<DumpedScript>, JobError> DumpPlan(const DumpInput& input);

}  // namespace binconv
