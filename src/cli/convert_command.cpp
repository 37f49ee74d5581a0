// binconv-cli convert: text to code listing.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"

namespace binconv::cli {
namespace {

constexpr std::array kConvertOptions{
    kTablesOption, kExactOption,
    OptionSpec{"output", 'o', "FILE", "write the listing to FILE instead of standard output"},
    kHelpOption};

constexpr std::string_view kConvertDetails =
    "Converts Japanese text (UTF-8) into a code listing: each character becomes\n"
    "its lead code (pages 1-5) and its two hex digits, each followed by a space;\n"
    "a line break becomes \"24\" and CR LF, a full-width or plain space \"50\".\n"
    "Characters the tables don't hold stay in the listing as they are, and text\n"
    "between \"<\" and \">\" is copied unchanged. The listing is written as UTF-8.\n"
    "INPUT omitted or \"-\" reads standard input.\n";

int RunConvert(const ParsedArgs& args) {
  std::optional<CommandTables> tables = LoadCommandTables(args);
  if (!tables) return kExitError;
  const CharTable* table = &tables->loaded.table;
  CodeConverter converter(*table, LineBreaksOf(args));
  const std::string input_name = ShownName(InputName(args));
  // The listing of the text before a bad sequence is written all the same.
  auto invalid = [&] { return ReportInvalidUtf8(input_name, converter.utf8_error().offset); };
  return StreamToOutput(
      args,
      [&](std::string_view bytes, std::string& listing) {
        return converter.FeedUtf8(bytes, listing) ? kExitOk : invalid();
      },
      [&](std::string& listing) { return converter.FinishUtf8(listing) ? kExitOk : invalid(); });
}

}  // namespace

extern const Command kConvertCommand{"convert",
                                     "[--tables DIR] [--exact] [-o FILE] [INPUT]",
                                     "convert text into a code listing",
                                     kConvertDetails,
                                     kConvertOptions,
                                     1,
                                     &RunConvert};

}  // namespace binconv::cli
