// binconv-textgen: writes seeded Japanese text as UTF-8 for the whole-process
// comparison, and with --tbl a game's own table that encodes the same text.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bench/text_gen.h"
#include "chartable/tbl.h"
#include "chartable/load.h"
#include "messages/messages.h"
#include "runtime/utf8.h"

namespace {

constexpr char kUsage[] =
    "usage: binconv-textgen [--tables DIR] [--gaps] [--cp932] [--crlf] [--seed N] [--tbl FILE] "
    "MEGABYTES OUTPUT\n";
// Large texts are made block by block so that memory stays small.
constexpr std::size_t kBlockBytes = std::size_t{8} << 20;

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

bool WriteFile(const std::string& path, std::string_view bytes) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  const bool written =
      out != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (out == nullptr || std::fclose(out) != 0 || !written) {
    std::perror(path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string tables = ".";
  std::string tbl;
  binconv::bench::TextMix mix;
  mix.line_break = u"\n";
  unsigned long seed = 1;
  std::string positional[2];
  int positionals = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--tables" && i + 1 < argc) {
      tables = argv[++i];
    } else if (arg == "--tbl" && i + 1 < argc) {
      tbl = argv[++i];
    } else if (arg == "--seed" && i + 1 < argc) {
      seed = std::strtoul(argv[++i], nullptr, 10);
    } else if (arg == "--gaps") {
      mix.no_code = binconv::bench::kWithGapsAndTags.no_code;
      mix.tags = binconv::bench::kWithGapsAndTags.tags;
    } else if (arg == "--cp932") {
      mix.cp932_only = true;
    } else if (arg == "--crlf") {
      mix.line_break = u"\r\n";
    } else if (positionals < 2 && !arg.starts_with("--")) {
      positional[positionals++] = std::string(arg);
    } else {
      return Usage();
    }
  }
  if (positionals != 2) return Usage();
  const double megabytes = std::strtod(positional[0].c_str(), nullptr);
  if (!(megabytes > 0)) return Usage();

  auto table = binconv::LoadCharTables(tables);
  if (!table) {
    std::fprintf(
        stderr, "binconv-textgen: %s\n",
        binconv::messages::Message(binconv::messages::Language::kEnglish, table.error()).c_str());
    return 2;
  }
  if (!tbl.empty()) {
    const std::string tbl_bytes = binconv::WriteTbl(binconv::bench::MakeGameCodes(*table)).bytes;
    if (!WriteFile(tbl, tbl_bytes)) return 2;
  }
  std::FILE* out = std::fopen(positional[1].c_str(), "wb");
  if (out == nullptr) {
    std::perror(positional[1].c_str());
    return 2;
  }
  const auto total = static_cast<std::size_t>(megabytes * 1024 * 1024);
  std::string utf8;
  std::uint32_t block = 0;
  for (std::size_t written = 0; written < total; ++block) {
    const std::size_t want = std::min(kBlockBytes, total - written);
    const std::u16string text = binconv::bench::GenerateText(
        table.value(), want, mix, static_cast<std::uint32_t>(seed * 100003 + block));
    utf8.clear();
    binconv::AppendUtf8(text, utf8);
    if (std::fwrite(utf8.data(), 1, utf8.size(), out) != utf8.size()) {
      std::perror(positional[1].c_str());
      return 2;
    }
    written += utf8.size();
  }
  if (std::fclose(out) != 0) {
    std::perror(positional[1].c_str());
    return 2;
  }
  return 0;
}
