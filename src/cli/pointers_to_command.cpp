// binconv-cli pointers-to: the pointers in a game file to given offsets, or
// with --tables-of the game's likely pointer tables, each as a plan line.

#include <algorithm>
#include <limits>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/game_scan.h"
#include "cli/io.h"
#include "cli/strings_options.h"
#include "runtime/file.h"
#include "codec/text_codec.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"
#include "scan/pointer_tables.h"
#include "script/placement.h"

namespace binconv::cli {
namespace {

constexpr CommandText kPointersToText{
    .name = "pointers-to",
    .summary = "find pointers to offsets in a game file, or its pointer tables",
    .details =
        "Lists every byte offset of GAME whose value, read as the format's TYPE,\n"
        "points at one of the OFFSETs (decimal or 0x hex), in file order:\n"
        "  POINTER_OFFSET<TAB>VALUE<TAB>TARGET\n"
        "all in 0x hex. The format is written with the same words as a plan's\n"
        "format line, after --format:\n"
        "  TYPE [header=N] [base=N] [map=linear|lorom|hirom] [relative=self]\n"
        "An address maps from a file offset o as o - header mapped (linear: as it\n"
        "is; lorom, hirom: the SNES maps) plus base; relative=self counts the\n"
        "value, signed, from the pointer's own offset. The first argument after\n"
        "the words that is not KEY=VALUE of those keys is GAME; \"--\" ends the\n"
        "words. Exit status: 0 something was found, 1 nothing, 2 an error.\n"
        "\n"
        "With --tables-of (and no OFFSET) it lists likely pointer tables: runs of\n"
        "at least 8 values at stride 2, 3, 4 or 8 that all point inside GAME at the\n"
        "start of a string that strings finds (with the same --tables or --tbl,\n"
        "--min and --end). Most entries first, ties in file order. The output is a\n"
        "piece of plan: a format line, then per table a comment with its first targets and\n"
        "its first string, and a script line ready to paste; its end= byte is\n"
        "--end, or else the byte the first strings stop at (with --tbl, none: the\n"
        "table's end tokens end the strings). A table goes on over\n"
        "a gap of entries of one value (a null pointer, a filler) no longer than\n"
        "the entries since the previous gap, and skip= names that value. Entries\n"
        "that all lead to one string are no table, and nor is every second or\n"
        "fourth entry of a table. An entry leading right past the table's last\n"
        "entry is one of it (the first string follows the table). relative=table\n"
        "counts from each table's start here. Only the best 10,000 are listed,\n"
        "then a count of the rest. GAME is read twice, so it must be a file. A\n"
        "GAME of 4 million runs or more (mostly not text) is refused: give --end\n"
        "or a larger --min.\n"
        "\n"
        "GAME is read in pieces, so it may be of any size; a progress bar is shown\n"
        "on a terminal for a GAME over 64 MiB.\n"};

constexpr std::array kPointersToOptions{
    Required(OptionSpec{"format", 0, "TYPE",
                        "the pointers' type: u16le u16be u24le u24be u32le u32be; the format's "
                        "other words follow it"}),
    OptionSpec{"tables-of", 0, "", "list likely pointer tables instead, each as a plan line"},
    Related(kTablesOption, "", "tables-of", "--tables goes with --tables-of"),
    Related(kGameTblOption, "tables", "tables-of"),
    Related(kMinCharsOption, "", "tables-of", "--min goes with --tables-of"),
    Related(kEndByteOption, "", "tables-of", "--end goes with --tables-of"),
    kHelpOption};

// The format's words and OFFSETs stand among the positionals; ParseRequest
// tells them apart and counts them.
constexpr Form kTablesOfForm{.when = "tables-of",
                             .positionals = {.shown = "GAME", .max = kAnyNumber},
                             .order = "tables-of format=… tables|tbl min end @"};

constexpr Usage kPointersToUsage{
    .options = kPointersToOptions,
    .form = {.positionals = {.shown = "[header=N] [base=N] [map=…] [relative=self] GAME "
                                      "OFFSET...",
                             .max = kAnyNumber}},
    .other = &kTablesOfForm,
    .points = HelpPointer::kCommand};

std::string DescribeWordError(FormatWordErrorCode code) {
  switch (code) {
    case FormatWordErrorCode::kNoType:
      return "no TYPE (u16le u16be u24le u24be u32le u32be)";
    case FormatWordErrorCode::kUnknownType:
      return "not a TYPE (u16le u16be u24le u24be u32le u32be)";
    case FormatWordErrorCode::kUnknownWord:
      return "not header=N, base=N, map=…, relative=…, window=LO..HI or bank=N";
    case FormatWordErrorCode::kBadNumber:
      return "not a decimal or 0x hex number";
    case FormatWordErrorCode::kBadValue:
      return "map= takes linear, lorom or hirom; relative= takes self or table";
    case FormatWordErrorCode::kRepeated:
      return "given twice";
    case FormatWordErrorCode::kRelativeWith:
      return "relative= counts from a pointer, so header=, base= and map= don't apply";
    case FormatWordErrorCode::kBadRange:
      return "window= takes LO..HI with LO <= HI; bank= takes a size above 0";
  }
  return "?";
}

std::string DescribeMapError(PointerMapErrorCode code) {
  switch (code) {
    case PointerMapErrorCode::kBelowHeader:
      return "it lies inside the header";
    case PointerMapErrorCode::kDoesNotFit:
      return "its value doesn't fit the type";
    case PointerMapErrorCode::kNotMappedBack:
    case PointerMapErrorCode::kNotAnAddress:
      return "the map has no address for it";
    case PointerMapErrorCode::kBeforeStart:
      return "it lies before the start of the file";
    case PointerMapErrorCode::kPastLastOffset:
      return "it lies past the last offset a file can have";
    case PointerMapErrorCode::kOutsideWindow:
      return "its value lies outside the format's window";
  }
  return "?";
}

struct Request {
  PointerFormat format;
  std::string words;  // as given, for the plan's format line
  std::string game;
  std::vector<std::uint64_t> offsets;
};

// The format's words come after --format, as its value and as the arguments
// of a known KEY=VALUE that follow, up to "--"; then GAME and the OFFSETs.
Reported<Request> ParseRequest(const ParsedArgs& args) {
  const std::optional<std::string> type = args.Value("format");
  std::vector<std::string> words;
  for (std::size_t at = 0; at <= type->size();) {
    const std::size_t space = std::min(type->find(' ', at), type->size());
    if (space > at) words.push_back(type->substr(at, space - at));
    at = space + 1;
  }
  std::size_t i = 0;
  // Only a word of a known key: a game may have "=" in its name, and "--"
  // ends the words.
  for (; i < std::min(args.positionals.size(), args.before_end_of_options) &&
         IsPointerFormatWord(args.positionals[i]);
       ++i) {
    words.push_back(args.positionals[i]);
  }
  std::vector<std::string_view> views(words.begin(), words.end());
  const auto format = ParsePointerFormat(views);
  if (!format) {
    const std::size_t bad = format.error().word;
    PrintError("--format: " + (bad < words.size() ? "'" + words[bad] + "': " : std::string()) +
               DescribeWordError(format.error().code));
    return Failure(kExitError);
  }
  Request request{format.value(), {}, {}, {}};
  for (const std::string& w : words) request.words += (request.words.empty() ? "" : " ") + w;
  if (i == args.positionals.size()) {
    PrintError("pointers-to needs GAME (see binconv-cli pointers-to --help)");
    return Failure(kExitError);
  }
  request.game = args.positionals[i++];
  for (; i < args.positionals.size(); ++i) {
    const auto offset = ParseNumber(args.positionals[i]);
    if (!offset) {
      PrintError("OFFSET '" + args.positionals[i] + "' is not a decimal or 0x hex number");
      return Failure(kExitError);
    }
    request.offsets.push_back(*offset);
  }
  return request;
}

int RunFindPointers(const Request& request) {
  if (request.offsets.empty()) {
    PrintError("pointers-to needs at least one OFFSET, or --tables-of");
    return kExitError;
  }
  if (!CanSearchPointers(request.format)) {
    PrintError("relative=table counts from a table's start, which only --tables-of can find");
    return kExitError;
  }
  GameInput game;
  if (auto opened = game.Open(request.game); !opened) return ToInt(opened.error());
  for (const std::uint64_t offset : request.offsets) {
    const auto value = ValueOfTarget(request.format, offset, PointerSite{});
    if (game.size() && offset >= *game.size()) {
      PrintError("OFFSET " + OffsetHex(offset) + " lies past the end of " + game.name());
    } else if (request.format.relative == PointerBase::kAddress && !value) {
      PrintError("no pointer of this format can point at " + OffsetHex(offset) + ": " +
                 DescribeMapError(value.error()));
    }
  }
  const int digits = static_cast<int>(2 * WidthOf(request.format.type));
  LineOutput out;
  std::uint64_t hits = 0;
  const auto scanned = SearchPointers(
      game.Reader(), request.format, request.offsets, kScanChunkSize,
      [&](const PointerHit& hit) {
        ++hits;
        return out.Add(OffsetHex(hit.offset) + "\t" + HexNumber(hit.value, digits) + "\t" +
                       OffsetHex(hit.target));
      },
      game.Progress());
  if (!scanned) return ReportScanError(scanned.error());
  if (auto finished = out.Finish(); !finished) return ToInt(finished.error());
  return hits != 0 ? kExitOk : kExitRejected;
}

// The starts of GAME's strings, and per string the byte it stops at; only
// the last can stop at the end of the file instead.
struct Strings {
  StringStarts starts;
  std::vector<std::uint8_t> stops;
  bool last_at_end = false;
};

// Past this many strings (5 bytes each) GAME is mostly not text, and the
// pointers to them would not tell a table: --end or --min must narrow them.
constexpr std::size_t kMostStrings = 4'000'000;

Reported<Strings> FindStrings(const std::string& name, const CommandEncoding& encoding,
                              const StringRunOptions& options) {
  GameInput game;
  if (auto opened = game.Open(name); !opened) return Unexpected(opened.error());
  Strings strings;
  AnyStringRunFinder finder(encoding, options);
  ScanWindow current;
  std::uint8_t previous_last = 0;  // the last byte of the previous window
  auto found = [&](const StringRun& run) {
    if (strings.stops.size() == kMostStrings) return;
    strings.starts.Add(run.offset);
    const std::uint64_t stop = options.end ? run.offset + run.length - 1 : run.offset + run.length;
    const std::uint64_t first = current.offset + current.from;
    std::uint8_t byte = 0;
    if (stop >= first && stop < current.offset + current.to) {
      byte = current.bytes[static_cast<std::size_t>(stop - current.offset)];
    } else if (stop + 1 == first) {
      byte = previous_last;
    } else {
      strings.last_at_end = true;
    }
    strings.stops.push_back(byte);
  };
  const auto scanned = ScanWindows(
      game.Reader(), kScanChunkSize, 0, 0,
      [&](const ScanWindow& w) {
        current = w;
        finder.Feed(w.bytes.subspan(w.from, w.to - w.from), found);
        previous_last = w.bytes[w.to - 1];
        return strings.stops.size() < kMostStrings;
      },
      game.Progress());
  if (!scanned) {
    return Failure(ReportScanError(scanned.error()));
  }
  if (strings.stops.size() == kMostStrings) {
    PrintError(
        game.name() + " holds " + std::to_string(kMostStrings) +
        " runs of characters or more: give the byte its strings end with (--end XX) or a larger "
        "--min");
    return Failure(kExitError);
  }
  current = ScanWindow{};
  finder.Finish(found);
  return strings;
}

// The byte most of the candidate's first strings stop at.
std::optional<std::uint8_t> EndByteOf(const TableCandidate& c, const Strings& strings) {
  std::array<int, 256> votes{};
  for (const std::uint64_t t : c.first_targets) {
    const std::optional<std::size_t> at = strings.starts.Find(t);
    if (!at || (strings.last_at_end && *at + 1 == strings.stops.size())) continue;
    ++votes[strings.stops[*at]];
  }
  const auto best = std::max_element(votes.begin(), votes.end());
  if (*best == 0) return std::nullopt;
  return static_cast<std::uint8_t>(best - votes.begin());
}

// The first string of a table as the strings command shows it, cut short
// past kShownBytes.
constexpr std::size_t kShownBytes = 48;

Result<std::string, IoError> FirstTextAt(FileReader& reader, const TextCodec& codec,
                                         std::uint64_t at, std::optional<std::uint8_t> end) {
  std::vector<std::uint8_t> bytes(
      static_cast<std::size_t>(std::min<std::uint64_t>(kShownBytes, reader.size() - at)));
  if (auto read = reader.ReadAt(at, bytes); !read) return Unexpected(read.error());
  DecodeOptions decode_options;
  decode_options.line_break = u"\u23CE";
  StringDecoder decoder(codec, end, decode_options);
  std::u16string text;
  decoder.Feed(bytes, text);
  decoder.Finish(text);
  if (!decoder.ended() && at + bytes.size() < reader.size()) text += u'\u2026';
  std::string shown;
  AppendUtf8(text, shown);
  return shown;
}

// A candidate as a piece of plan: a comment with its first targets and its
// first string, and a script line with the skip= that joins its gaps.
std::vector<std::string> PlanLinesOf(const TableCandidate& c, std::optional<std::uint8_t> end,
                                     int digits, const std::string& first_text) {
  std::string comment = "# " + OffsetHex(c.start) + " stride=" + std::to_string(c.stride) +
                        " count=" + std::to_string(c.count) + ":";
  for (const std::uint64_t t : c.first_targets) comment += " " + OffsetHex(t);
  if (c.count > c.first_targets.size()) comment += " …";
  comment += " first: " + first_text;
  std::string script = "script text_" + HexText(c.start, kOffsetDigits) +
                       ".txt table=" + OffsetHex(c.start) + " stride=" + std::to_string(c.stride) +
                       " count=" + std::to_string(c.count) + " format=ptr" +
                       (end ? " end=" + HexByte(*end) : "");
  for (std::size_t i = 0; i < c.skips.size(); ++i) {
    script += (i == 0 ? " skip=" : ",") + HexNumber(c.skips[i], digits);
  }
  return {comment, script};
}

int RunTablesOf(const ParsedArgs& args, const Request& request) {
  if (!request.offsets.empty()) {
    PrintError("--tables-of takes GAME only, no OFFSET");
    return kExitError;
  }
  const auto size =
      request.game == kStdioName
          ? Result<std::uint64_t, IoError>(Unexpected(IoError{IoErrorCode::kOther, "", 0, ""}))
          : RegularFileSize(PathFromUtf8(request.game));
  if (!size) {
    const IoErrorCode code = size.error().code;
    if (code == IoErrorCode::kNotFound || code == IoErrorCode::kPermissionDenied) {
      PrintError(DescribeIoError(size.error()));
    } else {
      PrintError(
          "--tables-of reads GAME twice, so GAME must be a file, not a pipe, a folder or "
          "standard input: " +
          request.game);
    }
    return kExitError;
  }
  const Reported<StringRunOptions> options = StringRunOptionsOf(args);
  if (!options) return ToInt(options.error());
  CommandEncoding encoding;
  if (auto loaded = LoadCommandEncoding(args, encoding); !loaded) return ToInt(loaded.error());
  const Reported<Strings> strings = FindStrings(request.game, encoding, *options);
  if (!strings) return ToInt(strings.error());
  GameInput game;
  if (auto opened = game.Open(request.game); !opened) return ToInt(opened.error());
  const auto candidates =
      FindPointerTables(game.Reader(), request.format, size.value(), strings->starts,
                        kScanChunkSize, TableSearchOptions{}, game.Progress());
  if (!candidates) return ReportScanError(candidates.error());
  FileReader reader;
  if (auto opened = reader.Open(PathFromUtf8(request.game)); !opened) {
    PrintError(DescribeIoError(opened.error()));
    return kExitError;
  }
  const TextCodec codec = encoding.encoding();
  LineOutput out;
  const std::vector<TableCandidate>& found = candidates->candidates;
  if (!found.empty()) out.Add("format ptr " + request.words);
  for (const TableCandidate& c : found) {
    // A game's own table ends its strings with its end tokens, which the
    // plan line then leaves to it.
    const std::optional<std::uint8_t> end =
        options->end || encoding.game ? options->end : EndByteOf(c, *strings);
    const auto first = FirstTextAt(reader, codec, c.first_targets.front(), end);
    if (!first) return ReportScanError(first.error());
    const int digits = static_cast<int>(2 * WidthOf(request.format.type));
    const std::optional<std::uint8_t> end_word =
        end || !encoding.game ? std::optional<std::uint8_t>(end.value_or(0)) : std::nullopt;
    for (const std::string& line : PlanLinesOf(c, end_word, digits, *first)) out.Add(line);
  }
  if (candidates->left_out != 0) {
    out.Add("# and " + std::to_string(candidates->left_out) + " more candidates, none with more entries");
  }
  if (auto finished = out.Finish(); !finished) return ToInt(finished.error());
  return found.empty() ? kExitRejected : kExitOk;
}

int RunPointersTo(const ParsedArgs& args) {
  const Reported<Request> request = ParseRequest(args);
  if (!request) return ToInt(request.error());
  if (args.Has("tables-of")) return RunTablesOf(args, *request);
  return RunFindPointers(*request);
}

}  // namespace

extern const Command kPointersToCommand{kPointersToText, kPointersToUsage, &RunPointersTo};

}  // namespace binconv::cli
