#pragma once
// Where insert puts its result, for the command: --into GAME, or --from
// ORIGINAL with -o OUTPUT, --patch PATCH or both, read and checked; the steps
// of the progress bar over the game; and the patch, the map and the result
// written in their order, each trouble reported.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "cli/args.h"
#include "cli/io.h"
#include "cli/progress.h"
#include "script/insert.h"

namespace binconv::cli {

Reported<InsertTarget> ParseInsertTarget(const ParsedArgs& args);

// The result as the patch's messages name it: OUTPUT, "GAME with the texts",
// or "the result" when only the patch is written.
std::string ResultName(messages::Language language, const InsertTarget& target);

// Where the time goes on a big game, in order: its CRC-32 (when the plan has
// scripts), the patch made and checked (the result read more than once), and
// the game copied to the result, of `result` bytes (the game's size, or what
// the plan grows it to).
enum InsertStep : std::size_t { kCrcStep, kPatchStep, kWriteStep };
void PlanInsertProgress(const InsertTarget& target, bool dry_run, std::uint64_t game,
                        std::uint64_t result, JobProgress& progress);

// The patch from the original, read again now, to the result; none without
// --patch.
Reported<std::optional<std::vector<std::uint8_t>>> MakeInsertPatchFile(messages::Language language,
                                                                       const InsertTarget& target,
                                                                       const InsertResult& inserted,
                                                                       JobProgress& progress);

// The --map output, staged with the CSV in it before anything is replaced,
// so that a map that can't be written leaves every file as it was; null
// without --map, and in a dry run unless it goes to standard output.
Reported<std::unique_ptr<OutputSink>> StageInsertMap(const ParsedArgs& args, bool dry_run,
                                                     const std::vector<MapRow>& rows);

// The patch and the result written: the patch goes in place only after the
// result, so that a failure leaves neither. The caller tells of the patch,
// once the progress bar is gone.
Reported<> WriteInsertOutputs(messages::Language language, const InsertTarget& target, const InsertResult& inserted,
                              const std::optional<std::vector<std::uint8_t>>& patch,
                              JobProgress& progress);

}  // namespace binconv::cli
