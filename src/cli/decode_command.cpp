// binconv-cli decode: bytes back to text.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "conversion/decode.h"
#include "runtime/utf8.h"

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
  std::optional<CommandTables> tables = LoadCommandTables(args);
  if (!tables) return kExitError;
  const CharTable* table = &tables->loaded.table;
  DecodeOptions options;
  if (args.Has("crlf")) options.line_break = u"\r\n";
  // Made for a UTF-8 file, the text holds no lone surrogate.
  Decoder decoder(*table, options);
  std::u16string text;
  return StreamToOutput(
      args,
      [&](std::string_view bytes, std::string& out) {
        text.clear();
        decoder.Feed(Bytes(bytes), text);
        AppendUtf8(text, out);
        return kExitOk;
      },
      [&](std::string& out) {
        text.clear();
        decoder.Finish(text);
        AppendUtf8(text, out);
        return kExitOk;
      });
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
