// binconv-cli convert: text to code listing.

#include <utility>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/problems.h"
#include "cli/tables.h"
#include "codec/convert.h"
#include "runtime/describe.h"

namespace binconv::cli {
namespace {

constexpr CommandText kConvertText{
    .name = "convert",
    .summary = Phrase("convert text into a code listing"),
    .details =
        Phrase("Converts Japanese text (UTF-8) into a code listing: each character becomes\n"
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
        "code ends its line with CR LF; a tag that is a label of the table becomes its\n"
        "code, and any other tag is copied unchanged. Each problem (a character\n"
        "without a code, a control code without its parameter tag) is listed on\n"
        "standard error with its line and column and stays in the listing where it\n"
        "was found: the character itself, or \"？\" where it has none. The exit\n"
        "status is then 1.\n")};

constexpr std::array kConvertOptions{
    kTablesOption, kGameTblOption, kExactOption,
    OutputOption("FILE", Phrase("write the listing to FILE instead of standard output")), kHelpOption};

constexpr Usage kConvertUsage{.options = kConvertOptions,
                              .form = {.positionals = OptionalInput("[INPUT]")}};

// The listing streamed through the converter, each problem told as it is
// found, so that memory stays bounded by a chunk; then how many there were.
ExitStatus RunConvert(const ParsedArgs& args) {
  if (auto spared = RefuseOutputsOverInputs("convert", args); !spared) {
    return spared.error();
  }
  CommandEncoding encoding;
  if (auto loaded = LoadCommandEncoding(args, encoding); !loaded) return loaded.error();
  CodeConverter converter(encoding.encoding(), LineBreaksOf(args));
  std::vector<UncodedChar> uncoded;
  converter.set_uncoded(&uncoded);
  std::size_t told = 0;
  bool all_characters = true;  // each one a character the tables have no code for
  const std::string input_name = ShownName(InputName(args));
  TextPlaceCounter places;
  const auto told_then = [&](bool good, std::string_view chunk) -> Reported<> {
    for (const UncodedChar& u : uncoded) {
      ReportProblem(args.language, ToProblem({u.kind, u.line, u.column, u.ch}, input_name));
      all_characters = all_characters && (u.kind == ProblemCode::kNoCode ||
                                          u.kind == ProblemCode::kLineBreakInTag);
    }
    told += std::exchange(uncoded, {}).size();
    converter.clear_problems();
    // The listing of the text before a bad sequence is written all the same.
    if (!good) {
      return RejectBadUtf8(args.language, input_name, places, converter.utf8_error().offset, chunk);
    }
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
  PrintLine(input_name + ": " +
            (all_characters ? Counted(args.language, told,
                                      Phrase("{n} character without a code left in the listing"),
                                      Phrase("{n} characters without a code left in the listing"))
                            : Counted(args.language, told, Phrase("{n} problem marked in the listing"),
                                      Phrase("{n} problems marked in the listing"))));
  return ExitStatus::kRejected;
}

}  // namespace

extern const Command kConvertCommand{kConvertText, kConvertUsage, &RunConvert};

}  // namespace binconv::cli
