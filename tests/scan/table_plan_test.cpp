// --tables-of as a job: the game read twice from its start, the plan's lines
// with the end byte given, and a game that can't be read told as an error,
// not as a game without tables.

#include "scan/table_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "support/files.h"

namespace binconv {
namespace {

TEST(PlanPointerTablesTest, LinesOfATableAndAMissingGame) {
  // Ten strings of five kana at 0x100, each ended by 02, the pointers to them
  // at 0x40.
  std::string game(0x200, '\x02');
  for (int i = 0; i < 10; ++i) {
    const int at = 0x100 + 6 * i;
    for (int k = 0; k < 5; ++k)
      game[static_cast<std::size_t>(at + k)] = static_cast<char>(0x56 + k);
    game[static_cast<std::size_t>(0x40 + 2 * i)] = static_cast<char>(at & 0xFF);
    game[static_cast<std::size_t>(0x41 + 2 * i)] = static_cast<char>(at >> 8);
  }
  test::ScratchDir scratch;
  test::WriteAll(scratch.path() / "game.bin", game);
  PointerFormat format;
  format.type = PointerType::kU16le;
  StringRunOptions options;
  options.end = 0x02;
  std::size_t passes = 0;
  const auto plan = PlanPointerTables({format, "u16le", test::DefaultEncoding(), options},
                                      scratch.path() / "game.bin", [&] {
                                        ++passes;
                                        return ScanProgress();
                                      });
  ASSERT_TRUE(plan.has_value());
  ASSERT_EQ(plan->size(), 3u);
  EXPECT_EQ((*plan)[0], "format ptr u16le");
  EXPECT_EQ((*plan)[2],
            "script text_0000040.txt table=0x0000040 stride=2 count=10 format=ptr end=02");
  EXPECT_EQ(passes, 2u);

  const auto missing = PlanPointerTables({format, "u16le", test::DefaultEncoding(), options},
                                         scratch.path() / "none.bin");
  ASSERT_FALSE(missing.has_value());
  EXPECT_TRUE(std::holds_alternative<IoError>(missing.error()));
}

}  // namespace
}  // namespace binconv
