// binconv-cli convert: text to code listing.

#include <utility>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/problems.h"
#include "cli/tables.h"
#include "codec/game_listing.h"
#include "runtime/describe.h"

namespace binconv::cli {
namespace {

constexpr CommandText kConvertText{
    .name = "convert",
    .summary = "convert text into a code listing",
    .details =
        "Converts Japanese text (UTF-8) into a code listing: each character becomes\n"
        "its lead code (pages 1-5) and its two hex digits, each followed by a space;\n"
        "a line break becomes \"24\" and CR LF, a full-width or plain space \"50\".\n"
        "Characters the tables don't hold stay in the listing as they are, and text\n"
        "between \"<\" and \">\" is copied unchanged. The listing is written as UTF-8.\n"
        "Each character without a code (a lone CR or LF with --exact too) is listed\n"
        "on standard error with its line and column, and the exit status is then 1:\n"
        "write would take such a hex digit for part of a code, or drop such a line\n"
        "break, without a word.\n"
        "INPUT omitted or \"-\" reads standard input.\n"
        "\n"
        "--tbl FILE converts through a game's own table, as encode --tbl encodes:\n"
        "each byte of a code becomes its two hex digits and a space, and a line-break\n"
        "code ends its line with CR LF. Each problem (a character without a code, a\n"
        "control code without its parameter tag, a tag character that is not a hex\n"
        "digit) is listed on standard error with its line and column and stays in the\n"
        "listing where it was found: the character itself, or \"？\" where it has\n"
        "none. The exit status is then 1.\n"};

constexpr std::array kConvertOptions{
    kTablesOption, kGameTblOption, kExactOption,
    OutputOption("FILE", "write the listing to FILE instead of standard output"), kHelpOption};

constexpr Usage kConvertUsage{.options = kConvertOptions,
                              .form = {.positionals = OptionalInput("[INPUT]")}};

// The listing streamed through `converter`, each problem told as it is found
// (so that memory stays bounded by a chunk) by `tell`, which returns how
// many it told; then how many there were: "3 `one``left`".
template <class Converter, class Tell>
ExitStatus StreamListing(const ParsedArgs& args, Converter& converter, Tell&& tell, std::string_view one,
                  std::string_view left) {
  std::size_t told = 0;
  const std::string input_name = ShownName(InputName(args));
  TextPlaceCounter places;
  const auto told_then = [&](bool good, std::string_view chunk) -> Reported<> {
    told += tell(input_name);
    // The listing of the text before a bad sequence is written all the same.
    if (!good) return RejectBadUtf8(input_name, places, converter.utf8_error().offset, chunk);
    places.Feed(chunk);
    return Unit{};
  };
  const Reported<> streamed = StreamToOutput(
      args,
      [&](std::string_view bytes, std::string& listing) {
        return told_then(converter.FeedUtf8(bytes, listing), bytes);
      },
      [&](std::string& listing) { return told_then(converter.FinishUtf8(listing), {}); });
  if (!streamed) return streamed.error();
  if (told == 0) return ExitStatus::kOk;
  PrintLine(input_name + ": " + Counted(told, one) + std::string(left));
  return ExitStatus::kRejected;
}

ExitStatus ConvertWithTables(const ParsedArgs& args) {
  const Reported<CommandTables> tables = LoadCommandTables(args);
  if (!tables) return tables.error();
  CodeConverter converter(tables->loaded.table, LineBreaksOf(args));
  std::vector<UncodedChar> uncoded;
  converter.set_uncoded(&uncoded);
  const auto tell = [&](const std::string& input_name) {
    for (const UncodedChar& u : uncoded) {
      ReportProblem(ToProblem({u.kind, u.line, u.column, u.ch}, input_name));
    }
    return std::exchange(uncoded, {}).size();
  };
  return StreamListing(args, converter, tell, "character", " without a code left in the listing");
}

ExitStatus ConvertWithGameTbl(const ParsedArgs& args, const std::string& tbl) {
  const Reported<GameTable> table = LoadCommandGameTable(tbl);
  if (!table) return table.error();
  GameCodeConverter converter(*table, LineBreaksOf(args));
  const auto tell = [&](const std::string& input_name) {
    for (const EncodeProblem& problem : converter.problems()) {
      ReportProblem(ToProblem(problem, input_name));
    }
    const std::size_t found = converter.problems().size();
    converter.clear_problems();
    return found;
  };
  return StreamListing(args, converter, tell, "problem", " marked in the listing");
}

ExitStatus RunConvert(const ParsedArgs& args) {
  if (auto spared = RefuseOutputsOverInputs("convert", args); !spared) {
    return spared.error();
  }
  if (const std::optional<std::string> tbl = args.Value("tbl"))
    return ConvertWithGameTbl(args, *tbl);
  return ConvertWithTables(args);
}

}  // namespace

extern const Command kConvertCommand{kConvertText, kConvertUsage, &RunConvert};

}  // namespace binconv::cli
