// binconv-cli decode: bytes back to text.

#include <optional>
#include <variant>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/into.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/tables.h"
#include "codec/decode.h"
#include "codec/string_end.h"
#include "runtime/hex.h"
#include "script/placement.h"
#include "runtime/file.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

constexpr std::array kDecodeOptions{
    kTablesOption,
    kGameTblOption,
    OptionSpec{"crlf", 0, "", Phrase("end lines with CR LF (default: LF)")},
    OptionSpec{"output", 'o', "FILE", Phrase("write the text to FILE instead of standard output")},
    OptionSpec{"at", 0, "OFFSET", Phrase("decode from byte OFFSET on (decimal or 0x hex; default 0)")},
    OptionSpec{"length", 0, "N", Phrase("decode N bytes only (default: to the end)")},
    OptionSpec{"end", 0, "XX|token", Phrase("stop at the end byte XX (or, with --tbl, an end token)")},
    kHelpOption};

constexpr std::string_view kDecodeDetails =
    Phrase("Turns bytes back into text (UTF-8), the inverse of encode: 24 is a line\n"
    "break, 50 a full-width space, a lead byte (20, 21, 22, 23, 18) and the byte\n"
    "after it the character of that page, any other byte the page 0 character.\n"
    "A code whose character would not encode back to the same bytes (an empty,\n"
    "duplicate or unusable cell, or a lead byte at the end) is written as a tag\n"
    "with its bytes in hex, e.g. <2117>, so encoding the text gives the same\n"
    "bytes again. Use --crlf if the text will be encoded with --exact.\n"
    "BINARY omitted or \"-\" reads standard input. --at and --length decode one\n"
    "range, such as a room filled by insert; a range past the end is refused.\n"
    "--tbl FILE reads a game's own encoding from a .tbl instead: HEX=TEXT (a\n"
    "code of 1-32 bytes for one or more characters), /HEX=TEXT (an end token),\n"
    "*HEX=TEXT (a line break), $HEX=LABEL,N (a control code and N parameter\n"
    "bytes, shown as one tag); the longest code wins, a byte of no code is a tag.\n"
    "--end XX stops the text before the first byte XX that starts a unit, as a\n"
    "game reads a string; a lead byte's or a control code's bytes never end it.\n"
    "With --tbl an end token ends it too, and --end token stops at end tokens\n"
    "only.\n");

struct Range {
  std::uint64_t at = 0;
  std::optional<std::uint64_t> length;
};

Reported<Range> ParseRange(const ParsedArgs& args) {
  const auto at = NumberOption(args, "at");
  if (!at) return Unexpected(at.error());
  const auto length = NumberOption(args, "length");
  if (!length) return Unexpected(length.error());
  return Range{at->value_or(0), *length};
}

// The end --end names: a byte, or with a .tbl none beside its end tokens.
Reported<std::optional<std::uint8_t>> EndOption(const ParsedArgs& args) {
  const std::optional<std::string> end = args.Value("end");
  if (!end || (*end == "token" && args.Has("tbl"))) return std::optional<std::uint8_t>();
  if (const std::optional<std::uint8_t> byte = ParseByte(*end)) return byte;
  PrintError(messages::Say(args.language,
                           args.Has("tbl")
                               ? Phrase("--end '{value}' is not a byte of two hex digits or the "
                                        "word token")
                               : Phrase("--end '{value}' is not a byte of two hex digits"),
                           {{"value", *end}}));
  return Failure(ExitStatus::kError);
}

ExitStatus RunDecode(const ParsedArgs& args) {
  if (auto spared = RefuseOutputsOverInputs("decode", args); !spared) {
    return spared.error();
  }
  CommandEncoding encoding;
  if (auto loaded = LoadCommandEncoding(args, encoding); !loaded) return loaded.error();
  const Reported<std::optional<std::uint8_t>> end_byte = EndOption(args);
  if (!end_byte) return end_byte.error();
  DecodeOptions options;
  if (args.Has("crlf")) options.line_break = u"\r\n";
  // Made for a UTF-8 file, the text holds no lone surrogate.
  const GameTable& codec = encoding.encoding();
  Decoder whole(codec, options);
  std::optional<StringDecoder> string;
  if (args.Has("end")) string.emplace(codec, *end_byte, options);
  auto feed = [&](std::span<const std::uint8_t> part, std::u16string& out) {
    if (string) {
      string->Feed(part, out);
    } else {
      whole.Feed(part, out);
    }
  };
  const Reported<Range> range = ParseRange(args);
  if (!range) return range.error();
  const std::string input_name = InputName(args);
  const Placement place{range->at, range->length, std::nullopt};
  auto past_end = [&](std::uint64_t size) {
    const auto error = CheckPlacement(place, 0, size);
    if (!error) return false;
    PrintError(DescribePastEnd(args.language, ShownName(input_name), *error));
    return true;
  };
  // A file's size is known before any text is written; standard input's only
  // at its end.
  if (input_name != kStdioName) {
    auto size = RegularFileSize(PathOfArg(input_name));
    if (size && past_end(size.value())) return ExitStatus::kRejected;
  }
  std::uint64_t position = 0;  // of the chunk's first byte in the input
  std::u16string text;
  const Reported<> streamed = StreamToOutput(
      args,
      [&](std::string_view bytes, std::string& out) -> Reported<> {
        const std::uint64_t start = position;
        position += bytes.size();
        const std::uint64_t end = range->length && *range->length <= UINT64_MAX - range->at
                                      ? range->at + *range->length
                                      : UINT64_MAX;
        if (position <= range->at || start >= end) return Unit{};
        const std::uint64_t from = range->at > start ? range->at - start : 0;
        const std::uint64_t to = std::min<std::uint64_t>(bytes.size(), end - start);
        text.clear();
        const auto part = Bytes(bytes.substr(from, to - from));
        feed(part, text);
        AppendUtf8(text, out);
        return Unit{};
      },
      [&](std::string& out) -> Reported<> {
        // A range past the end is a problem of the input, as for --into.
        if ((range->at != 0 || range->length) && past_end(position)) return Failure(ExitStatus::kRejected);
        text.clear();
        if (string) {
          string->Finish(text);
        } else {
          whole.Finish(text);
        }
        AppendUtf8(text, out);
        return Unit{};
      });
  return StatusOf(streamed);
}

}  // namespace

extern const Command kDecodeCommand{
    {.name = "decode", .summary = Phrase("turn bytes back into text"), .details = kDecodeDetails},
    {.options = kDecodeOptions,
     .form = {.positionals = OptionalInput("[BINARY]"), .order = "tables tbl crlf at length end output @"}},
    &RunDecode};

}  // namespace binconv::cli
