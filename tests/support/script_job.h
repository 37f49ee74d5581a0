#pragma once
// The dump and insert jobs run without the CLI, on a small game in a scratch
// folder: what the tests of dump, insert and the script tables share.

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "script/dump.h"
#include "script/insert.h"
#include "support/files.h"

namespace binconv::test {

// A game of 32 bytes: a u16le table at 0 of two pointers, to あ (56) at 0x10
// and い (58) at 0x14, each ended by FF; the rest is 00.
std::string SmallGame();

// The small game's script: its format, a space after the texts and the table.
inline constexpr char kScriptLines[] =
    "format p u16le\nspace 0x18..0x1F\nscript s.txt table=0 count=2 format=p end=FF "
    "text=0x10..0x17\n";

// The files a plan names, by name.
using Files = std::map<std::string, std::string>;

// Runs a job on a game kept in a scratch folder; a game that won't open is
// the job's IoError.
class JobRun {
 public:
  explicit JobRun(const std::string& game);
  fs::path path() const { return scratch_.path() / "game.bin"; }

  Result<std::vector<DumpedScript>, JobError> Dump(const std::string& plan_text);
  Result<InsertResult, JobError> Insert(const std::string& plan_text, const Files& files);

 private:
  ScratchDir scratch_;
  std::string plan_name_ = "plan.txt";
  std::string game_name_ = "game.bin";
  Plan plan_;
};

// The plan line each problem belongs to (its own line when it has no plan
// line), and its code; a job's IoError throws.
using ProblemLines = std::vector<std::pair<std::size_t, ProblemCode>>;
ProblemLines LinesOf(const JobError& error);

}  // namespace binconv::test
