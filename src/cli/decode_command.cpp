// binconv-cli decode: bytes back to text.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "conversion/decode.h"

namespace binconv::cli {
namespace {

constexpr std::array kDecodeOptions{
    kTablesOption, OptionSpec{"crlf", 0, "", "end lines with CR LF (default: LF)"},
    OptionSpec{"output", 'o', "FILE", "write the text to FILE instead of standard output"},
    kHelpOption};

constexpr std::string_view kDecodeDetails =
    "Turns bytes back into text (UTF-8), the inverse of encode: 24 is a line\n"
    "break, 50 a full-width space, a lead byte (20, 21, 22, 23, 18) and the byte\n"
    "after it the character of that page, any other byte the page 0 character.\n"
    "A code whose character would not encode back to the same bytes (an empty,\n"
    "duplicate or unusable cell, or a lead byte at the end) is written as a tag\n"
    "with its bytes in hex, e.g. <2117>, so encoding the text gives the same\n"
    "bytes again. Use --crlf if the text will be encoded with --exact.\n"
    "BINARY omitted or \"-\" reads standard input.\n";

int RunDecode(const ParsedArgs& args) {
  std::optional<CharTable> table = LoadTables(args);
  if (!table) return kExitError;
  auto opened = OpenOutput(args.Value("output").value_or(kStdioName));
  if (!opened) return ReportOutputError(opened.error());
  OutputSink& sink = *opened.value();
  Utf8Output output(sink);
  DecodeOptions options;
  if (args.Has("crlf")) options.line_break = u"\r\n";
  Decoder decoder(*table, options);
  std::u16string text;

  int status = ReadBytes(InputName(args), [&](std::string_view bytes) {
    text.clear();
    decoder.Feed(Bytes(bytes), text);
    auto written = output.Write(text);
    return written ? kExitOk : ReportOutputError(written.error());
  });
  if (status == kExitOk) {
    text.clear();
    decoder.Finish(text);
    auto done = output.Write(text);
    if (done) done = output.Finish();
    if (done) done = sink.Commit();
    if (!done) status = ReportOutputError(done.error());
  }
  if (status != kExitOk) sink.Abort();
  return status;
}

}  // namespace

extern const Command kDecodeCommand{"decode",
                                    "[--tables DIR] [--crlf] [-o FILE] [BINARY]",
                                    "turn bytes back into text",
                                    kDecodeDetails,
                                    kDecodeOptions,
                                    1,
                                    &RunDecode};

}  // namespace binconv::cli
