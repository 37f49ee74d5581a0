// dump and insert, the real commands run by the command-line tool's library,
// on random games and plans (every pointer type and map, split tables,
// shared and skipped pointers, slots and pack). The oracle is the round
// trip: dump followed by insert --from -o gives the game back byte for byte.
// Then a script edited as by hand (pieces of text, tags and full-width
// spaces, @ lines and # lines) is inserted: it either applies or is refused
// with the original untouched and no file left behind.

#include <fcntl.h>
#include <sanitizer/common_interface_defs.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/io.h"
#include "fuzz_cli_support.h"
#include "runtime/file.h"
#include "support/script_game.h"

namespace binconv::fuzz {
namespace {

namespace fs = std::filesystem;

// Formats and how they go with split tables and pack.
constexpr const char* kFormats[] = {
    "u16le base=0x8000",   "u16be base=0x8000",   "u16le relative=self",   "u16be relative=table",
    "u24le map=lorom",     "u24be map=hirom",     "u32le base=0x08000000", "u32be map=lorom",
    "u24le relative=self", "u32be relative=table"};

// Pieces a translator might type into a text, good and bad.
constexpr const char* kEdits[] = {"あ", "うう", "<FF>", "<20>", "<2400>", ";",     "@",  "#",
                                  "漢", "<0",   "\n",   "\n\n", "　",     "ア",     "ーー", "<>",
                                  "<ＦＦ>", "＜FF＞", "<24>", "　;",   "<wait>", "\r"};

// What a hand edit makes of an @ line's head (its "@N"), such as a
// full-width space typed after the index.
constexpr const char* kEntryHeads[] = {"@0　", "@x",  "@ 0", "@0ptr=", "@-1", "@99999999999999999999",
                                       "@",    "@１", "＠0", "@0\t",   "@00", "@1"};

// What a hand edit makes of a # line of the header.
constexpr const char* kHeaderLines[] = {"#game",    "#game x size=1 crc32=00000000",
                                        "#binconv script 2", "",
                                        "#plan",    "text before the first entry",
                                        "#",        "　#game",
                                        "@0",       "#game \\x0A size=1 crc32=0"};

// The first line from `from` on that `wanted` accepts; lines.size() if none.
template <class Wanted>
std::size_t LineFrom(const std::vector<std::string>& lines, std::size_t from, Wanted wanted) {
  while (from < lines.size() && !wanted(lines[from])) ++from;
  return from;
}

// The script edited as by hand, three input bytes an edit: where, what kind
// (a piece of text, an @ line's head, a # line) and which shape.
std::string EditByHand(const std::string& script, const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at <= script.size();) {
    const std::size_t end = std::min(script.find('\n', at), script.size());
    lines.push_back(script.substr(at, end - at));
    at = end + 1;
  }
  for (std::size_t i = 0; i + 2 < size; i += 3) {
    const std::size_t line = data[i] * lines.size() / 256;
    const unsigned shape = data[i + 2];
    if (data[i + 1] % 3 == 0) {
      const std::size_t at = LineFrom(lines, line, [](const std::string& l) {
        return !l.starts_with('@') && !l.starts_with('#');
      });
      if (at < lines.size()) lines[at].insert(0, kEdits[shape % std::size(kEdits)]);
    } else if (data[i + 1] % 3 == 1) {
      const std::size_t at =
          LineFrom(lines, line, [](const std::string& l) { return l.starts_with('@'); });
      if (at < lines.size()) {
        lines[at].replace(0, std::min(lines[at].find(' '), lines[at].size()),
                          kEntryHeads[shape % std::size(kEntryHeads)]);
      }
    } else {
      const std::size_t at =
          LineFrom(lines, 0, [](const std::string& l) { return l.starts_with('#'); });
      const std::size_t nth = std::min<std::size_t>(at + line % 3, lines.size() - 1);
      lines[nth] = kHeaderLines[shape % std::size(kHeaderLines)];
    }
  }
  std::string edited;
  for (std::size_t i = 0; i < lines.size(); ++i) edited += (i == 0 ? "" : "\n") + lines[i];
  return edited;
}

}  // namespace
}  // namespace binconv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace binconv::fuzz;
  DefaultTables();
  SetUpCliFolder("binconv-fuzz-script-");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace binconv;
  using namespace binconv::fuzz;
  if (size < 6) return 0;
  ClearCliFolder();
  const CliFolder& folder = TheCliFolder();

  test::ScriptGameSpec def;
  const unsigned format = data[0] % std::size(kFormats);
  def.format = kFormats[format];
  def.split = (data[1] & 1) != 0 && format < 4;  // split tables hold 16-bit values
  def.pack = (data[1] & 2) != 0;
  def.text_block = def.pack || (data[1] & 4) != 0;
  def.strings = 1 + data[2] % 12;
  def.pointers = def.strings + data[3] % 8;
  def.game_table = (data[1] & 8) != 0;
  def.tails = (data[1] & 16) != 0 ? 1 + data[3] % 4 : 0;
  // Two pack scripts over one block can't both lay it out: dump refuses
  // that. Split tables don't interleave.
  def.second = (data[1] & 32) != 0 && !def.pack && !def.split;
  const unsigned seed = data[4] | data[5] << 8;
  const test::ScriptGameFiles files = test::MakeScriptGame(def, seed);
  const fs::path game = folder.path / "game.bin";
  const fs::path plan = folder.path / "plan.txt";
  const fs::path script = folder.path / "script.txt";
  const fs::path out = folder.path / "out.bin";
  WriteFile(game, files.game);
  WriteFile(plan, files.plan + "space 0xF00..0xFFF\n");
  const std::string tables = BINCONV_SOURCE_DIR "/tables";
  // The game's own .tbl, or the tables.
  std::vector<std::string> encoding = {"--tables", tables};
  if (def.game_table) {
    WriteFile(folder.path / "game.tbl", files.tbl);
    encoding = {"--tbl", (folder.path / "game.tbl").string()};
  }
  auto with_encoding = [&](std::vector<std::string> args) {
    args.insert(args.begin() + 1, encoding.begin(), encoding.end());
    return args;
  };

  const cli::ExitStatus dumped =
      RunCaptured(with_encoding({"dump", "--from", game.string(), plan.string()}));
  FUZZ_CHECK(dumped == cli::ExitStatus::kOk, files.plan + CapturedErr());
  const cli::ExitStatus inserted = RunCaptured(
      with_encoding({"insert", "--from", game.string(), "-o", out.string(), plan.string()}));
  FUZZ_CHECK(inserted == cli::ExitStatus::kOk, files.plan + CapturedErr());
  auto rebuilt = ReadFileBytes(out);
  FUZZ_CHECK(rebuilt.has_value() && rebuilt.value() == files.game,
             files.plan + "round trip differs\nwritten  " + Hex(rebuilt.value()) + "\nexpected " +
                 Hex(files.game));

  // Edits by hand; the rest of the input picks them.
  auto text = ReadFileBytes(script);
  FUZZ_CHECK(text.has_value(), "no script");
  const std::string edited = EditByHand(text.value(), data + 6, size - 6);
  WriteFile(script, edited);
  fs::remove(out);
  const std::set<std::string> before = Names(folder.path);
  const cli::ExitStatus status = RunCaptured(
      with_encoding({"insert", "--from", game.string(), "-o", out.string(), plan.string()}));
  auto original = ReadFileBytes(game);
  FUZZ_CHECK(original.has_value() && original.value() == files.game, "the original changed");
  if (status == cli::ExitStatus::kOk) {
    auto written = ReadFileBytes(out);
    FUZZ_CHECK(written.has_value() && written.value().size() == files.game.size(),
               "the output is not a whole game");
  } else {
    FUZZ_CHECK(status == cli::ExitStatus::kRejected, files.plan + edited + CapturedErr());
    FUZZ_CHECK(Names(folder.path) == before, "a file was left behind");
  }
  return 0;
}
