// What a moving text's pointers reach, window, header and map included,
// which the message of a text with no space in reach names.

#include "script/space_reach.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "runtime/hex.h"
#include "support/gtest_support.h"

namespace binconv {
namespace {

struct ReachCase {
  const char* name;
  std::vector<std::string_view> words;  // the format
  std::uint64_t table;                  // of its one pointer
  std::uint64_t at;                     // the string's start
  const char* reach;
};

void PrintTo(const ReachCase& c, std::ostream* os) { *os << c.name; }

class ReachOfTest : public testing::TestWithParam<ReachCase> {};

TEST_P(ReachOfTest, IsTheRunOfTargetsThePointerCanHold) {
  const ReachCase& c = GetParam();
  ScriptSpec def;
  def.table = c.table;
  def.count = 1;
  def.format = ParsePointerFormat(c.words).value();
  ScriptString string;
  string.pointers = {0};
  string.at = c.at;
  const ByteRange reach = ReachOf(def, string);
  EXPECT_EQ(HexNumber(reach.first) + ".." + HexNumber(reach.last), c.reach);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ReachOfTest,
    testing::Values(
        // A Game Boy bank past a header: the window is the bank.
        ReachCase{"HeaderAndWindow",
                  {"u16le", "header=0x34000", "base=0x4000", "window=0x4000..0x7FFF"},
                  0x34000, 0x35000, "0x34000..0x37FFF"},
        ReachCase{"LoRomWindow",
                  {"u24le", "map=lorom", "base=0x800000", "window=0x818000..0x81FFFF"},
                  0, 0x9000, "0x8000..0xFFFF"},
        ReachCase{"RelativeSelf", {"u16be", "relative=self"}, 0x10, 0x40, "0x0..0x800F"}),
    test::CaseName<ReachCase>);

}  // namespace
}  // namespace binconv
