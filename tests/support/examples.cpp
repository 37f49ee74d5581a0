#include "support/examples.h"

#include <stdexcept>

#include "support/script_game.h"

namespace binconv::test {
namespace {

// The plan of game.bin: two strings behind four u16le pointers, one skipped.
constexpr char kPlan[] =
    "format nes u16le base=0x8000\n"
    "space  0x80..0x8F\n"
    "script s.txt table=0x10 count=4 format=nes end=FF text=0x40..0x4F skip=0xFFFF\n";

// The same game read through a bank of 256 bytes, grown to 384 with a space
// in the grown part that the bank can't reach.
constexpr char kBigPlan[] =
    "format nes u16le base=0x8000 window=0x8000..0x80FF\n"
    "grow   0x180\n"
    "space  0x100..0x17F\n"
    "space  0x80..0x8F\n"
    "script s.txt table=0x10 count=4 format=nes end=FF text=0x40..0x4F skip=0xFFFF\n";

// A game's own table: one-byte letters, two-byte codes under 81, DTE and MTE,
// a control code with one parameter, an end token and a line-break code.
constexpr char kGameTbl[] =
    "# Letters, one byte each\n10=あ\n11=い\n12=う\n13=か\n14=き\n15=は\n16=を\n"
    "17=た\n18=お\n19=し\n# Two-byte codes\n8141=勇\n8142=者\n8143=剣\n8144=手\n"
    "8145=入\n8146=れ\n# DTE and MTE: one code, several letters\n30=です\n31=ゆうしゃ\n"
    "32=した\n$FE=<wait>,1\n/FF=<end>\n*FD\n";

constexpr char kTblPlan[] =
    "format gba u16le base=0x8000\n"
    "space  0x60..0x7F\n"
    "script s.txt table=0x10 count=2 format=gba text=0x40..0x5F\n";

// Two strings through game.tbl at 0x40 and 0x50 behind u16le pointers at
// 0x10; the second's wait takes the end byte as its parameter.
std::string TblGame() {
  std::string game(0x80, '\0');
  game.replace(0x10, 4, "\x40\x80\x50\x80");
  game.replace(0x40, 11, "\x31\x15\xFE\x1E\xFD\x81\x41\x81\x42\x30\xFF");
  game.replace(0x50, 13, "\x81\x43\x16\xFE\xFF\x81\x44\x81\x45\x81\x46\x32\xFF");
  game.replace(0x60, 0x20, std::string(0x20, '\xFF'));
  return game;
}

// A game whose table nobody has told us: eight names ended by 00, kana in
// JIS order from あ=35, and u16le pointers to them at 0x40 with the bank at
// 0x8000, as on the NES.
std::string UnknownGame() {
  static constexpr const char16_t* kWords[] = {u"ゆうしゃ", u"まおう",       u"おうさま", u"ひめ",
                                               u"まほうつかい", u"やどや", u"どうぐや", u"ぶきや"};
  std::string game(0x200, '\xFF');
  std::size_t at = 0x100;
  std::size_t pointer = 0x40;
  for (const char16_t* word : kWords) {
    const unsigned value = 0x8000 + static_cast<unsigned>(at);
    game[pointer++] = static_cast<char>(value & 0xFF);
    game[pointer++] = static_cast<char>(value >> 8);
    for (const char16_t* c = word; *c != 0; ++c) game[at++] = static_cast<char>(0x35 + *c - u'あ');
    game[at++] = '\0';
  }
  return game;
}

}  // namespace

const std::vector<ExampleFile>& ExampleFiles() {
  static const std::vector<ExampleFile> files = {
      {"game.bin", ExampleScriptGame()},
      {"plan.txt", kPlan},
      {"big.txt", kBigPlan},
      {"line.txt", "ゆうしゃは手入れした\n"},
      {"tbl/game.tbl", kGameTbl},
      {"tbl/game.bin", TblGame()},
      {"tbl/plan.txt", kTblPlan},
      {"unknown.bin", UnknownGame()},
  };
  return files;
}

const std::string& ExampleBytes(std::string_view path) {
  for (const ExampleFile& file : ExampleFiles()) {
    if (file.path == path) return file.bytes;
  }
  throw std::invalid_argument("no example file " + std::string(path));
}

std::filesystem::path ExamplesDir() { return std::filesystem::path(BINCONV_SOURCE_DIR) / "examples"; }

}  // namespace binconv::test
