// binconv-cli convert: text to code listing.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "cli/outputs.h"
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
        "INPUT omitted or \"-\" reads standard input.\n"};

constexpr std::array kConvertOptions{
    kTablesOption, kExactOption,
    OutputOption("FILE", "write the listing to FILE instead of standard output"), kHelpOption};

constexpr Usage kConvertUsage{.options = kConvertOptions,
                              .form = {.positionals = OptionalInput("[INPUT]")}};

int RunConvert(const ParsedArgs& args) {
  if (auto spared = RefuseOutputsOverInputs("convert", args); !spared) {
    return ToInt(spared.error());
  }
  const Reported<CommandTables> tables = LoadCommandTables(args);
  if (!tables) return ToInt(tables.error());
  const CharTable* table = &tables->loaded.table;
  CodeConverter converter(*table, LineBreaksOf(args));
  std::vector<UncodedChar> uncoded;
  converter.set_uncoded(&uncoded);
  std::size_t uncoded_total = 0;
  const std::string input_name = ShownName(InputName(args));
  // Told as they are found, so that memory stays bounded by a chunk.
  auto tell = [&](bool good) -> Reported<> {
    for (const UncodedChar& u : uncoded) {
      PrintProblem(input_name, {EncodeProblem::Kind::kNoCode, u.line, u.column, u.ch});
    }
    uncoded_total += uncoded.size();
    uncoded.clear();
    // The listing of the text before a bad sequence is written all the same.
    if (good) return Unit{};
    return Failure(ReportInvalidUtf8(input_name, converter.utf8_error().offset));
  };
  const Reported<> streamed = StreamToOutput(
      args,
      [&](std::string_view bytes, std::string& listing) {
        return tell(converter.FeedUtf8(bytes, listing));
      },
      [&](std::string& listing) { return tell(converter.FinishUtf8(listing)); });
  if (!streamed) return ToInt(streamed.error());
  if (uncoded_total == 0) return kExitOk;
  PrintLine(input_name + ": " + Counted(uncoded_total, "character") +
            " without a code left in the listing");
  return kExitRejected;
}

}  // namespace

extern const Command kConvertCommand{kConvertText, kConvertUsage, &RunConvert};

}  // namespace binconv::cli
