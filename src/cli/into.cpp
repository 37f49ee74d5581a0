#include "cli/into.h"

#include "cli/common.h"
#include "cli/io.h"
#include "cli/problems.h"
#include "messages/messages.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "runtime/hex.h"

namespace binconv::cli {

using messages::Language;
using messages::Say;

std::string ByteCount(Language language, std::uint64_t n) {
  return messages::CountBytes(language, n);
}

// The summary: each entry's bytes used and left, each script's texts that
// stayed, moved and are unchanged, and each space's bytes used and free.
std::vector<std::string> InsertSummaryLines(Language language, const std::string& plan_name,
                                            const InsertResult& result) {
  std::vector<std::string> lines;
  auto bytes = [language](std::uint64_t n) { return ByteCount(language, n); };
  for (const InsertedEntry& entry : result.entries) {
    lines.push_back(
        plan_name + ":" + std::to_string(entry.line) + ": " +
        Say(language,
            entry.filled ? Phrase("{file} at {at}: {used} used, {left} of {room} left (filled)")
                         : Phrase("{file} at {at}: {used} used, {left} of {room} left"),
            {{"file", entry.file},
             {"at", HexNumber(entry.offset)},
             {"used", bytes(entry.used)},
             {"left", bytes(entry.room - entry.used)},
             {"room", bytes(entry.room)}}));
  }
  for (const InsertedScript& script : result.scripts) {
    lines.push_back(
        script.shown + ": " +
        Say(language,
            script.shared != 0
                ? Phrase("{stayed} stayed, {moved} moved ({shared} onto identical texts), "
                         "{unchanged} unchanged")
                : Phrase("{stayed} stayed, {moved} moved, {unchanged} unchanged"),
            {{"stayed", std::to_string(script.strings - script.moved)},
             {"moved", std::to_string(script.moved)},
             {"shared", std::to_string(script.shared)},
             {"unchanged", std::to_string(script.unchanged)}}));
  }
  for (const SpaceUsed& space : result.spaces) {
    lines.push_back(Say(language, "space {space}: {used} used, {free} free",
                        {{"space", (space.name.empty() ? "" : space.name + " ") +
                                       HexNumber(space.first) + ".." + HexNumber(space.last)},
                         {"used", bytes(space.used)},
                         {"free", bytes(space.free)}}));
  }
  return lines;
}

std::string DescribePastEnd(Language language, const std::string& file, Problem problem) {
  problem.file = file;
  return messages::Message(language, problem);
}

Reported<std::optional<std::uint64_t>> NumberOption(const ParsedArgs& args,
                                                    std::string_view name) {
  const std::optional<std::string> value = args.Value(name);
  if (!value) return std::optional<std::uint64_t>();
  if (const std::optional<std::uint64_t> number = ParseNumber(*value)) return number;
  return Failure(UsageError(
      args.language, Say(args.language, "--{option} '{value}' is not a decimal or 0x hex number",
                         {{"option", std::string(name)}, {"value", *value}})));
}

Reported<std::optional<IntoTarget>> ParseInto(const ParsedArgs& args) {
  // What goes with --into, and --at with it, is checked by the declaration.
  const std::optional<std::string> game = args.Value("into");
  if (!game) return std::optional<IntoTarget>();
  IntoTarget target;
  target.game = PathOfArg(*game);
  const auto offset = NumberOption(args, "at");
  if (!offset) return Unexpected(offset.error());
  const auto room = NumberOption(args, "room");
  if (!room) return Unexpected(room.error());
  target.place.offset = **offset;
  target.place.room = *room;
  if (const auto fill = args.Value("fill")) {
    target.place.fill = ParseByte(*fill);
    if (!target.place.fill) {
      return Failure(UsageError(args.language,
                                Say(args.language, "--fill '{value}' is not a byte of two hex digits",
                                    {{"value", *fill}})));
    }
  }
  auto size = RegularFileSize(target.game);
  if (!size) {
    PrintError(Describe(args.language, size.error()));
    return Failure(ExitStatus::kError);
  }
  target.game_size = size.value();
  if (target.place.room) {
    if (auto error = CheckPlacement(target.place, 0, target.game_size)) {
      PrintError(DescribePastEnd(args.language, *game, *error));
      return Failure(ExitStatus::kRejected);
    }
  }
  return std::optional<IntoTarget>(std::move(target));
}

Reported<> PatchInto(Language language, const IntoTarget& target, std::vector<std::uint8_t> bytes,
                     const std::string& input_name, ProblemDetail what,
                     const std::function<bool(Problem&)>& locate) {
  const std::string game = PathToUtf8(target.game);
  if (auto error = CheckPlacement(target.place, bytes.size(), target.game_size)) {
    if (error->code == ProblemCode::kPlacePastEnd) {
      PrintError(DescribePastEnd(language, game, *error));
    } else {
      Problem& problem = *error;
      problem.file = ShownName(input_name);
      if (locate(problem)) {
        problem.detail = what;
        problem.number = problem.room + 1;  // the pair's number
      }
      PrintError(messages::Describe(language, problem) + Say(language, "; ") +
                 messages::UnchangedMessage(language, game));
    }
    return Failure(ExitStatus::kRejected);
  }
  const std::uint64_t used = bytes.size();
  const FilePatch patch = PatchForRoom(target.place, bytes);
  bool owner_kept = true;
  if (auto patched = PatchFileAtomically(target.game, {&patch, 1}, SystemFileOps(), &owner_kept);
      !patched) {
    return Failure(ReportOutputError(language, patched.error()));
  }
  if (!owner_kept) WarnOwnerChanged(language, game);
  if (target.place.room) {
    PrintLine(game + ": " +
              Say(language,
                  target.place.fill ? Phrase("{used} at {at}, {left} of the room left (filled)")
                                    : Phrase("{used} at {at}, {left} of the room left"),
                  {{"used", ByteCount(language, used)},
                   {"at", HexNumber(target.place.offset)},
                   {"left", ByteCount(language, *target.place.room - used)}}));
  }
  return Unit{};
}

}  // namespace binconv::cli
