// The dump job without the CLI: what its summary counts, and the pointers it
// refuses before any script file is written.

#include "script/dump.h"

#include <gtest/gtest.h>

#include "support/script_job.h"

namespace binconv {
namespace {

using namespace binconv::test;
using Lines = ProblemLines;

// The dump's counts, and a pointer the table can't follow.
TEST(DumpJobTest, CountsAndRefusals) {
  std::string game = SmallGame();
  game.replace(4, 2, "\x14\x00", 2);  // a third pointer, to the second string
  JobRun run(game);
  auto dumped = run.Dump("format p u16le\nscript s.txt table=0 count=4 format=p end=FF skip=0\n");
  ASSERT_TRUE(dumped.has_value());
  ASSERT_EQ(dumped.value().size(), 1u);
  EXPECT_EQ(dumped.value()[0].strings, 2u);
  EXPECT_EQ(dumped.value()[0].pointers, 3u);
  EXPECT_EQ(dumped.value()[0].skipped, 1u);

  auto outside = run.Dump(
      "format p u16le\nscript s.txt table=0 count=2 format=p end=FF "
      "text=0x14..0x17\nspace 0x20..0x30\n");
  ASSERT_FALSE(outside.has_value());
  // What lies past the game's end is found before any pointer is read.
  EXPECT_EQ(LinesOf(outside.error()),
            (Lines{{3, ProblemCode::kPastEnd}, {2, ProblemCode::kPointerOutside}}));

  // Two scripts claiming one pointer: insert would refuse them untouched, so
  // dump does, with insert's problem.
  auto twice = run.Dump(
      "format p u16le\nscript s.txt table=0 count=2 format=p end=FF\n"
      "script t.txt table=2 count=1 format=p end=FF\n");
  ASSERT_FALSE(twice.has_value());
  EXPECT_EQ(LinesOf(twice.error()), (Lines{{3, ProblemCode::kOverlap}}));
}

}  // namespace
}  // namespace binconv
