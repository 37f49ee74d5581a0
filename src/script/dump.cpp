#include "script/dump.h"

#include "codec/decode.h"
#include "script/plan.h"
#include "script/script_file.h"
#include "script/script_layout.h"
#include "script/script_plan.h"

namespace binconv {

Result<std::vector<DumpedScript>, JobError> DumpPlan(const JobInput& input) {
  std::vector<ScriptSpec> scripts = input.plan.scripts;
  std::vector<Problem> problems;
  // A plan insert refuses is refused here too; spaces may lie in a grown part.
  const std::uint64_t grown = GrownSizeOf(input.plan, input.plan_name, input.game_name,
                                          input.game.size(), problems);
  CheckScriptsInGame(scripts, input.plan.spaces, input.plan_name, input.game.size(), problems,
                     grown);
  ScriptGame header{input.game_name, input.game.size()};
  if (!scripts.empty()) {
    auto crc = GameCrc32(input.game);
    if (!crc) return Unexpected(JobError(crc.error()));
    header.crc32 = crc.value();
  }
  GameBytes game(input.game);
  const std::string plan_file = PathToUtf8(PathFromUtf8(input.plan_name).filename());
  std::vector<ScriptTexts> read_scripts;
  for (const ScriptSpec& def : scripts) {
    auto read = ReadScriptTable(def, input.encoding, game, true, input.plan_name, problems);
    if (!read) return Unexpected(JobError(read.error()));
    if (read.value().ok) read_scripts.push_back({&def, std::move(read.value().strings), {}, {}});
  }
  // Rooms end where another script's string or table starts, and a string
  // inside another's is its tail, before the @ lines say so. A plan that
  // insert would refuse untouched, for bytes two of its scripts, spaces or
  // entries claim, is refused here.
  EndRoomsAtOtherStrings(read_scripts);
  if (problems.empty()) {
    CheckScriptClaims(read_scripts, input.plan.spaces, FixedRoomsOf(input.plan, grown),
                      input.plan_name, problems);
  }
  if (!problems.empty()) return Unexpected(JobError(std::move(problems)));
  std::vector<DumpedScript> dumped;
  for (const ScriptTexts& read : read_scripts) {
    const ScriptSpec& def = *read.def;
    DumpedScript out{def.path, def.shown, ScriptHeaderText(header, plan_file, def.file)};
    Decoder decoder(input.encoding);
    for (const ScriptString& string : read.strings) {
      AppendScriptEntry(def, string, input.encoding, decoder, out.text);
      out.pointers += string.pointers.size();
    }
    out.strings = read.strings.size();
    out.skipped = def.count - out.pointers;
    dumped.push_back(std::move(out));
  }
  return dumped;
}

}  // namespace binconv
