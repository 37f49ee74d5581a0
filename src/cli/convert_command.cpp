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
  std::optional<CharTable> table = LoadTables(args);
  if (!table) return kExitError;
  auto opened = OpenOutput(args.Value("output").value_or(kStdioName));
  if (!opened) return ReportOutputError(opened.error());
  OutputSink& sink = *opened.value();
  CodeConverter converter(*table, LineBreaksOf(args));
  const std::string input_name = InputName(args);
  std::string listing;

  auto write = [&]() -> int {
    auto written = sink.Write(Bytes(listing));
    listing.clear();
    return written ? kExitOk : ReportOutputError(written.error());
  };
  int status = ReadBytes(input_name, [&](std::string_view bytes) {
    const bool good = converter.FeedUtf8(bytes, listing);
    // The listing of the text before a bad sequence is written all the same.
    if (int written = write(); written != kExitOk) return written;
    return good ? kExitOk : ReportInvalidUtf8(ShownName(input_name), converter.utf8_error().offset);
  });
  if (status == kExitOk) {
    const bool good = converter.FinishUtf8(listing);
    status = write();
    if (status == kExitOk && !good) {
      status = ReportInvalidUtf8(ShownName(input_name), converter.utf8_error().offset);
    }
    if (status == kExitOk) {
      if (auto done = sink.Commit(); !done) status = ReportOutputError(done.error());
    }
  }
  if (status != kExitOk) sink.Abort();
  return status;
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
