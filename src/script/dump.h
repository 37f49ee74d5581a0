#pragma once
// The dump job: every script of a plan read out of a game through its
// pointer table, as the script files that insert reads back.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "script/job.h"

namespace binconv {

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
Result<std::vector<DumpedScript>, JobError> DumpPlan(const JobInput& input);

}  // namespace binconv
