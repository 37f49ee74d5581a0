#include "cli/into.h"

#include "cli/common.h"
#include "cli/io.h"
#include "cli/problems.h"
#include "messages/messages.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "runtime/hex.h"

namespace binconv::cli {

std::string ByteCount(std::uint64_t n) { return Counted(n, "byte"); }

// The summary: each entry's bytes used and left, each script's texts that
// stayed, moved and are unchanged, and each space's bytes used and free.
std::vector<std::string> InsertSummaryLines(const std::string& plan_name,
                                            const InsertResult& result) {
  std::vector<std::string> lines;
  auto bytes = [](std::uint64_t n) { return ByteCount(n); };
  for (const InsertedEntry& entry : result.entries) {
    lines.push_back(plan_name + ":" + std::to_string(entry.line) + ": " + entry.file + " at " +
                    HexNumber(entry.offset) + ": " + bytes(entry.used) + " used, " +
                    bytes(entry.room - entry.used) + " of " + bytes(entry.room) + " left" +
                    (entry.filled ? " (filled)" : ""));
  }
  for (const InsertedScript& script : result.scripts) {
    lines.push_back(script.shown + ": " + std::to_string(script.strings - script.moved) +
                    " stayed, " + std::to_string(script.moved) + " moved" +
                    (script.shared != 0
                         ? " (" + std::to_string(script.shared) + " onto identical texts)"
                         : "") +
                    ", " + std::to_string(script.unchanged) + " unchanged");
  }
  for (const SpaceUsed& space : result.spaces) {
    lines.push_back("space " + (space.name.empty() ? "" : space.name + " ") +
                    HexNumber(space.first) + ".." + HexNumber(space.last) + ": " +
                    bytes(space.used) + " used, " + bytes(space.free) + " free");
  }
  return lines;
}

std::string DescribePastEnd(const std::string& file, Problem problem) {
  problem.file = file;
  return messages::Message(messages::Language::kEnglish, problem);
}

Reported<std::optional<std::uint64_t>> NumberOption(const ParsedArgs& args,
                                                    std::string_view name) {
  const std::optional<std::string> value = args.Value(name);
  if (!value) return std::optional<std::uint64_t>();
  if (const std::optional<std::uint64_t> number = ParseNumber(*value)) return number;
  return Failure(
      UsageError("--" + std::string(name) + " '" + *value + "' is not a decimal or 0x hex number"));
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
      return Failure(UsageError("--fill '" + *fill + "' is not a byte of two hex digits"));
    }
  }
  auto size = RegularFileSize(target.game);
  if (!size) {
    PrintError(Describe(size.error()));
    return Failure(ExitStatus::kError);
  }
  target.game_size = size.value();
  if (target.place.room) {
    if (auto error = CheckPlacement(target.place, 0, target.game_size)) {
      PrintError(DescribePastEnd(*game, *error));
      return Failure(ExitStatus::kRejected);
    }
  }
  return std::optional<IntoTarget>(std::move(target));
}

Reported<> PatchInto(const IntoTarget& target, std::vector<std::uint8_t> bytes,
                     const std::string& input_name, ProblemDetail what,
                     const std::function<bool(Problem&)>& locate) {
  const std::string game = PathToUtf8(target.game);
  if (auto error = CheckPlacement(target.place, bytes.size(), target.game_size)) {
    if (error->code == ProblemCode::kPlacePastEnd) {
      PrintError(DescribePastEnd(game, *error));
    } else {
      Problem& problem = *error;
      problem.file = ShownName(input_name);
      if (locate(problem)) {
        problem.detail = what;
        problem.number = problem.room + 1;  // the pair's number
      }
      PrintError(messages::Describe(messages::Language::kEnglish, problem) + "; " +
                 messages::UnchangedMessage(messages::Language::kEnglish, game));
    }
    return Failure(ExitStatus::kRejected);
  }
  const std::uint64_t used = bytes.size();
  const FilePatch patch = PatchForRoom(target.place, bytes);
  bool owner_kept = true;
  if (auto patched = PatchFileAtomically(target.game, {&patch, 1}, SystemFileOps(), &owner_kept);
      !patched) {
    return Failure(ReportOutputError(patched.error()));
  }
  if (!owner_kept) WarnOwnerChanged(game);
  if (target.place.room) {
    PrintLine(game + ": " + ByteCount(used) + " at " + HexNumber(target.place.offset) + ", " +
              ByteCount(*target.place.room - used) + " of the room left" +
              (target.place.fill ? " (filled)" : ""));
  }
  return Unit{};
}

}  // namespace binconv::cli
