// dump and insert of a script of 20,000 strings in a 64 MB game, through the
// command-line tool's library as binconv-cli runs them. Peak memory is
// measured on the program itself (README: /usr/bin/time -v with the game
// that binconv-scriptgen writes).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/script_game.h"
#include "cli/cli.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Folder() {
  static const fs::path folder = [] {
    fs::path dir = fs::temp_directory_path() / ("binconv-script-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    if (!binconv::bench::WriteBigScriptGame(dir, 64, 20000)) std::abort();
    return dir;
  }();
  return folder;
}

int Run(std::vector<std::string> args) {
  // The summaries go to standard error; the timing is what matters here.
  std::FILE* saved = std::freopen("/dev/null", "w", stderr);
  (void)saved;
  return static_cast<int>(binconv::cli::RunCli(args));
}

const std::string kTables = BINCONV_SOURCE_DIR "/tables";

void BM_DumpScript(benchmark::State& state) {
  const fs::path dir = Folder();
  for (auto _ : state) {
    const int status = Run({"dump", "--from", (dir / "game.bin").string(), "--tables", kTables,
                            "--force", (dir / "plan.txt").string()});
    if (status != 0) state.SkipWithError("dump failed");
  }
}
BENCHMARK(BM_DumpScript)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_InsertScript(benchmark::State& state) {
  const fs::path dir = Folder();
  Run({"dump", "--from", (dir / "game.bin").string(), "--tables", kTables, "--force",
       (dir / "plan.txt").string()});
  for (auto _ : state) {
    const int status =
        Run({"insert", "--from", (dir / "game.bin").string(), "-o", (dir / "out.bin").string(),
             "--tables", kTables, (dir / "plan.txt").string()});
    if (status != 0) state.SkipWithError("insert failed");
  }
}
BENCHMARK(BM_InsertScript)->Unit(benchmark::kMillisecond)->Iterations(3);

// The dumped script with every text changed but not its length (each line's
// characters turned by one), so that insert encodes all 20,000 of them.
std::string EditedScript(const fs::path& script) {
  std::ifstream in(script, std::ios::binary);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    const bool text = !line.empty() && line[0] != ';' && line[0] != '@' && line[0] != '#';
    // Kana are three bytes of UTF-8 each.
    if (text && line.size() >= 6 && line.size() % 3 == 0) {
      std::rotate(line.begin(), line.begin() + 3, line.end());
    }
    out += line + "\n";
  }
  return out;
}

// A game's table of 7,000 entries: the default tables' own codes as a .tbl,
// and two-byte codes for pairs of kanji up to that count, which the
// encoder must look past for every text.
fs::path BigTbl(const fs::path& dir) {
  const fs::path tbl = dir / "big.tbl";
  fs::remove(tbl);
  if (Run({"export-tbl", "--tables", kTables, "-o", tbl.string()}) != 0) std::abort();
  std::ifstream in(tbl, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t entries = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  for (unsigned code = 0xE000; entries < 7000; ++code, ++entries) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X=", code);
    std::u16string pair = {static_cast<char16_t>(0x4E00 + (code & 0xFFF)),
                           static_cast<char16_t>(0x4E00 + (code >> 4 & 0xFF))};
    text += hex;
    for (const char16_t ch : pair) {  // CJK: three bytes of UTF-8
      text += static_cast<char>(0xE0 | ch >> 12);
      text += static_cast<char>(0x80 | (ch >> 6 & 0x3F));
      text += static_cast<char>(0x80 | (ch & 0x3F));
    }
    text += '\n';
  }
  std::ofstream(tbl, std::ios::binary | std::ios::trunc) << text;
  return tbl;
}

// Insert of 20,000 edited texts, through the default tables (0) or through
// a 7,000-entry .tbl of the same codes (1): the two should cost about alike.
void BM_InsertEditedScript(benchmark::State& state) {
  const fs::path dir = Folder();
  std::vector<std::string> encoding = {"--tables", kTables};
  if (state.range(0) == 1) encoding = {"--tbl", BigTbl(dir).string()};
  auto with = [&](std::vector<std::string> args) {
    args.insert(args.begin() + 1, encoding.begin(), encoding.end());
    return Run(args);
  };
  if (with({"dump", "--from", (dir / "game.bin").string(), "--force",
            (dir / "plan.txt").string()}) != 0) {
    state.SkipWithError("dump failed");
    return;
  }
  const std::string edited = EditedScript(dir / "dialog.txt");
  std::ofstream(dir / "dialog.txt", std::ios::binary | std::ios::trunc) << edited;
  for (auto _ : state) {
    const int status = with({"insert", "--from", (dir / "game.bin").string(), "-o",
                             (dir / "out.bin").string(), (dir / "plan.txt").string()});
    if (status != 0) state.SkipWithError("insert failed");
  }
}
BENCHMARK(BM_InsertEditedScript)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// 10,000 script lines of one string each: every check across the scripts
// (their files, the outputs) must stay near-linear.
const fs::path& ManyScriptsFolder() {
  static const fs::path folder = [] {
    constexpr std::size_t kScripts = 10000;
    fs::path dir = Folder() / "many";
    fs::create_directories(dir);
    std::string game(4 * kScripts, '\xEE');
    std::string plan = "format f u16le\n";
    for (std::size_t i = 0; i < kScripts; ++i) {
      const std::size_t at = 2 * kScripts + 2 * i;
      game[2 * i] = static_cast<char>(at & 0xFF);
      game[2 * i + 1] = static_cast<char>(at >> 8);
      game.replace(at, 2, "\x56\xFF");
      plan += "script s" + std::to_string(i) + ".txt table=" + std::to_string(2 * i) +
              " count=1 format=f end=FF\n";
    }
    for (const auto& [name, bytes] : {std::pair{"game.bin", game}, std::pair{"plan.txt", plan}}) {
      std::FILE* file = std::fopen((dir / name).c_str(), "wb");
      if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::abort();
      }
      std::fclose(file);
    }
    return dir;
  }();
  return folder;
}

void BM_DumpAndInsertManyScripts(benchmark::State& state) {
  const fs::path dir = ManyScriptsFolder();
  const std::string game = (dir / "game.bin").string();
  const std::string plan = (dir / "plan.txt").string();
  for (auto _ : state) {
    if (Run({"dump", "--from", game, "--tables", kTables, "--force", plan}) != 0 ||
        Run({"insert", "--from", game, "-o", (dir / "out.bin").string(), "--tables", kTables,
             plan}) != 0) {
      state.SkipWithError("dump or insert failed");
    }
  }
}
BENCHMARK(BM_DumpAndInsertManyScripts)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(Folder());
  return 0;
}
