// binconv-cli strings: the runs of characters in a game file.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/game_scan.h"
#include "cli/into.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/strings_options.h"
#include "cli/tables.h"
#include "codec/string_end.h"
#include "codec/decode.h"
#include "runtime/utf8.h"
#include "script/placement.h"

namespace binconv::cli {
namespace {

constexpr CommandText kStringsText{
    .name = "strings",
    .summary = Phrase("list the runs of characters in a game file"),
    .details =
        Phrase("Lists every run of at least N characters (default 4) in GAME as decode\n"
        "reads its bytes: a lead byte (20, 21, 22, 23, 18) and the byte after it\n"
        "are one character, 24 (line break) and 50 (space) count as characters,\n"
        "and a code decode would write as a tag ends a run. One line per run:\n"
        "  OFFSET<TAB>LENGTH<TAB>TEXT\n"
        "OFFSET in 0x hex, LENGTH in bytes (a plan's ROOM), line breaks shown as ⏎.\n"
        "With --end XX a run must end with the byte XX, which ends it even where\n"
        "the tables give XX a character; LENGTH counts it, TEXT doesn't show it.\n"
        "The TEXT of a run longer than 1 MiB shows its first MiB and then …\n"
        "With the default tables every byte is a character, so a game's own tables\n"
        "are wanted here. GAME is read in pieces; \"-\" reads standard input.\n"
        "--tbl FILE reads GAME through a game's own table (see decode): a run is\n"
        "codes of the table (a control code with its parameters and a line break\n"
        "count as one character each), a byte of no code ends it, and an end token\n"
        "ends it as --end XX does.\n")};

constexpr std::array kStringsOptions{kTablesOption, kGameTblOption, kMinCharsOption, kEndByteOption,
                                     kHelpOption};

constexpr Usage kStringsUsage{.options = kStringsOptions,
                              .form = {.positionals = Exactly(1, "GAME", Phrase("strings needs GAME"))}};

ExitStatus RunStrings(const ParsedArgs& args) {
  if (auto spared = RefuseOutputsOverInputs("strings", args); !spared) return spared.error();
  const Reported<StringRunOptions> options = StringRunOptionsOf(args);
  if (!options) return options.error();
  CommandEncoding encoding;
  if (auto loaded = LoadCommandEncoding(args, encoding); !loaded) return loaded.error();
  GameInput game;
  if (auto opened = game.Open(args.language, args.positionals.front()); !opened) {
    return opened.error();
  }
  StringRunFinder finder(encoding.encoding(), *options);
  DecodeOptions decode_options;
  decode_options.line_break = u"\u23CE";
  LineOutput out(args.language, game.ProgressEraser());
  // One decoder for every run: Finish leaves it ready for the next.
  Decoder decoder(encoding.encoding(), decode_options);
  std::u16string text;
  std::string line;
  bool writing = true;
  auto found = [&](const StringRun& run) {
    text.clear();
    decoder.Feed(run.bytes, text);
    decoder.Finish(text);
    if (run.cut) text += u'\u2026';
    line = OffsetHex(run.offset);
    line += '\t';
    line += std::to_string(run.length);
    line += '\t';
    AppendUtf8(text, line);
    writing = writing && out.Add(line);
  };
  const auto scanned = ScanWindows(
      game.Reader(), kScanChunkSize, 0, 0,
      [&](const ScanWindow& w) {
        finder.Feed(w.bytes.subspan(w.from, w.to - w.from), found);
        return writing;
      },
      game.Progress());
  if (!scanned) return ReportScanError(args.language, scanned.error());
  finder.Finish(found);
  return out.Finish() && writing ? ExitStatus::kOk : ExitStatus::kError;
}

}  // namespace

extern const Command kStringsCommand{kStringsText, kStringsUsage, &RunStrings};

}  // namespace binconv::cli
