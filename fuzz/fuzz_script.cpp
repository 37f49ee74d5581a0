// dump and insert, the real commands run by the command-line tool's library,
// on random games and plans (every pointer type and map, split tables,
// shared and skipped pointers, slots and pack). The oracle is the round
// trip: dump followed by insert --from -o gives the game back byte for byte.
// Then a randomly edited script is inserted: it either applies or is
// refused with the original untouched and no file left behind.

#include <fcntl.h>
#include <sanitizer/common_interface_defs.h>
#include <sys/mman.h>
#include <unistd.h>

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

// Pieces a translator might type, good and bad.
constexpr const char* kEdits[] = {"あ", "うう", "<FF>", "<20>", "<2400>", ";",  "@",   "#",
                                  "漢", "<0",   "\n",   "\n\n", "　",     "ア", "ーー"};

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

  const int dumped =
      RunCaptured(with_encoding({"dump", "--from", game.string(), plan.string()}));
  FUZZ_CHECK(dumped == cli::kExitOk, files.plan + CapturedErr());
  const int inserted = RunCaptured(
      with_encoding({"insert", "--from", game.string(), "-o", out.string(), plan.string()}));
  FUZZ_CHECK(inserted == cli::kExitOk, files.plan + CapturedErr());
  auto rebuilt = ReadFileBytes(out);
  FUZZ_CHECK(rebuilt.has_value() && rebuilt.value() == files.game,
             files.plan + "round trip differs\nwritten  " + Hex(rebuilt.value()) + "\nexpected " +
                 Hex(files.game));

  // Edits at random text lines; the rest of the input picks them.
  auto text = ReadFileBytes(script);
  FUZZ_CHECK(text.has_value(), "no script");
  std::string edited = text.value();
  for (std::size_t i = 6; i + 1 < size; i += 2) {
    std::size_t at = edited.find("\n@", (data[i] * edited.size()) / 256);
    if (at == std::string::npos) break;
    at = edited.find('\n', at + 1);  // the end of the @ line
    if (at == std::string::npos) break;
    edited.insert(at + 1, kEdits[data[i + 1] % std::size(kEdits)]);
  }
  WriteFile(script, edited);
  fs::remove(out);
  const std::set<std::string> before = Names(folder.path);
  const int status = RunCaptured(
      with_encoding({"insert", "--from", game.string(), "-o", out.string(), plan.string()}));
  auto original = ReadFileBytes(game);
  FUZZ_CHECK(original.has_value() && original.value() == files.game, "the original changed");
  if (status == cli::kExitOk) {
    auto written = ReadFileBytes(out);
    FUZZ_CHECK(written.has_value() && written.value().size() == files.game.size(),
               "the output is not a whole game");
  } else {
    FUZZ_CHECK(status == cli::kExitRejected, files.plan + edited + CapturedErr());
    FUZZ_CHECK(Names(folder.path) == before, "a file was left behind");
  }
  return 0;
}
