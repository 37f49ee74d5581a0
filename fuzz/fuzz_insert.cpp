// A random plan through the real insert command, run by the command-line
// tool's library: it either applies exactly (every text encoded, filled up
// to its room, at its offset, every other byte as it was) or, when any entry
// is wrong, touches nothing: the game file stays byte for byte and no file is
// left behind. The expected outcome is worked out here from the rules alone.

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
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/io.h"
#include "codec/encode.h"
#include "codec/encoder.h"
#include "fuzz_cli_support.h"
#include "runtime/file.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"
#include "support/encoded.h"

namespace binconv::fuzz {
namespace {

namespace fs = std::filesystem;

// Pieces of text: characters with one- and two-byte codes, line breaks,
// spaces, tags, and characters without a code or with a bad tag.
constexpr const char* kPieces[] = {"あ",     "漢", "ア", "\n", "\r\n", " ",    "　",   "<0A>",
                                   "<2101>", "字", "い", "😀",  "<0>",  "<zz>", "\xFF", "ー"};

// Numbers a plan may hold that no game file reaches: the room or offset of an
// entry is sometimes one of these.
constexpr std::uint64_t kHugeNumbers[] = {UINT64_MAX, UINT64_MAX - 1, std::uint64_t{1} << 63,
                                          std::uint64_t{1} << 32, 0xFFFFFFFF};

// Reads the input as a little stream of choices; zeros once it runs out.
class Choices {
 public:
  Choices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  unsigned Next() { return at_ < size_ ? data_[at_++] : 0u; }
  bool empty() const { return at_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

struct Entry {
  std::uint64_t offset;
  std::uint64_t room;
  std::optional<std::uint8_t> fill;
  std::string name;
  std::optional<std::string> text;  // none: the file is missing
};

// In lower case, which a plan may use as well.
std::string LowerHexNumber(std::uint64_t value) {
  return "0x" + HexText(value, 1, HexCase::kLower);
}

}  // namespace
}  // namespace binconv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace binconv::fuzz;
  DefaultTables();
  SetUpCliFolder("binconv-fuzz-insert-");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace binconv;
  using namespace binconv::fuzz;
  ClearCliFolder();
  const CliFolder& folder = TheCliFolder();

  Choices choices(data, size);
  std::string game(choices.Next() % 96, '\0');
  for (std::size_t i = 0; i < game.size(); ++i) game[i] = static_cast<char>(i * 13 + 5);
  std::vector<Entry> entries;
  std::string plan;
  const unsigned count = choices.Next() % 6;
  for (unsigned i = 0; i < count && !choices.empty(); ++i) {
    Entry entry;
    entry.offset = choices.Next() % 100;
    entry.room = 1 + choices.Next() % 24;
    const unsigned flags = choices.Next();
    if (flags & 128) {
      const unsigned pick = choices.Next();
      std::uint64_t& number = pick & 1 ? entry.offset : entry.room;
      number = kHugeNumbers[(pick >> 1) % std::size(kHugeNumbers)];
    }
    if (flags & 1) entry.fill = static_cast<std::uint8_t>(choices.Next());
    entry.name = "t" + std::to_string(i) + ".txt";
    if ((flags & 6) != 6) {
      std::string text;
      for (unsigned n = choices.Next() % 8; n > 0; --n) {
        text += kPieces[choices.Next() % std::size(kPieces)];
      }
      entry.text = text;
      WriteFile(folder.path / entry.name, text);
    }
    // Numbers in decimal or hex, fields apart by spaces or tabs.
    const char* gap = (flags & 8) ? "\t" : "  ";
    plan += ((flags & 16) ? LowerHexNumber(entry.offset) : std::to_string(entry.offset)) + gap +
            ((flags & 32) ? LowerHexNumber(entry.room) : std::to_string(entry.room)) + gap +
            entry.name;
    if (entry.fill) plan += " " + HexByte(*entry.fill);
    plan += (flags & 64) ? "  # entry\r\n" : "\n";
    entries.push_back(std::move(entry));
  }
  const fs::path game_path = folder.path / "game.bin";
  WriteFile(game_path, game);
  WriteFile(folder.path / "plan.txt", plan);
  const std::set<std::string> before = Names(folder.path);

  // What the rules say.
  bool good = true;
  std::string expected = game;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    const bool fits = e.offset <= game.size() && e.room <= game.size() - e.offset;
    if (!fits) good = false;
    auto end_of = [](const Entry& x) {
      return x.room > UINT64_MAX - x.offset ? UINT64_MAX : x.offset + x.room;
    };
    for (std::size_t j = 0; j < i; ++j) {
      const Entry& o = entries[j];
      if (e.offset < end_of(o) && o.offset < end_of(e)) good = false;
    }
    if (!e.text) {
      good = false;
      continue;
    }
    Encoder encoder(DefaultEncoding(), LineBreaks::kAny);
    std::vector<std::uint8_t> bytes;
    const bool utf8 = encoder.FeedUtf8(*e.text, bytes) && encoder.FinishUtf8(bytes);
    if (!utf8 || !encoder.problems().empty() || bytes.size() > e.room) {
      good = false;
      continue;
    }
    if (!good) continue;
    if (e.fill) bytes.resize(e.room, *e.fill);
    if (good) expected.replace(e.offset, bytes.size(), std::string(bytes.begin(), bytes.end()));
  }

  const std::vector<std::string> args{"insert",
                                      "--into",
                                      game_path.string(),
                                      "--tables",
                                      BINCONV_SOURCE_DIR "/tables",
                                      (folder.path / "plan.txt").string()};
  const cli::ExitStatus status = RunCaptured(args);

  const auto after = ReadFileBytes(game_path);
  FUZZ_CHECK(after.has_value(), "the game file is gone");
  const std::string shown = "plan:\n" + plan + "status " + std::to_string(static_cast<int>(status));
  FUZZ_CHECK(Names(folder.path) == before, shown + "\na file was left behind or lost");
  if (good) {
    FUZZ_CHECK(status == cli::ExitStatus::kOk && after.value() == expected,
               shown + "\nwritten  " + Hex(after.value()) + "\nexpected " + Hex(expected));
  } else {
    FUZZ_CHECK(status == cli::ExitStatus::kRejected && after.value() == game,
               shown + "\nwritten  " + Hex(after.value()) + "\nold      " + Hex(game));
  }
  return 0;
}
