// The jobs on a game report through the wrappers one count that only grows
// and reaches the whole.

#include "cli/progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "patch/patch_format.h"
#include "script/dump.h"
#include "support/files.h"
#include "support/gtest_support.h"
#include "support/script_job.h"

namespace binconv::cli {
namespace {

using test::fs::path;

// A game of a little over 3 MiB, so that the CRC-32 and the copies take
// several pieces: the small game's script and zeros after it.
std::string BigGame() {
  std::string game = test::SmallGame();
  game.resize((std::size_t{3} << 20) + 77);
  return game;
}

std::span<const std::uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Each job plans its steps as its command does and runs on `game` (BigGame)
// in `dir`; it returns the counts the reports may have reached before Finish.
struct JobCase {
  const char* name;
  std::vector<std::uint64_t> (*run)(const path& game, const path& dir, JobProgress& progress);
};

class JobProgressTest : public testing::TestWithParam<JobCase> {};

TEST_P(JobProgressTest, ReportsAGrowingCountThatReachesTheWhole) {
  test::ScratchDir dir;
  const path game = dir.path() / "game.bin";
  test::WriteAll(game, BigGame());
  std::vector<std::uint64_t> told;
  JobProgress progress(messages::Language::kEnglish, [&](std::uint64_t done) { told.push_back(done); });
  const std::vector<std::uint64_t> reached = GetParam().run(game, dir.path(), progress);
  ASSERT_FALSE(told.empty());
  EXPECT_TRUE(std::is_sorted(told.begin(), told.end()) &&
              std::adjacent_find(told.begin(), told.end()) == told.end());
  EXPECT_TRUE(std::find(reached.begin(), reached.end(), told.back()) != reached.end())
      << told.back();
  progress.Finish();
  EXPECT_EQ(progress.total(), told.back());
}

std::vector<std::uint64_t> RunRule(const path&, const path&, JobProgress& progress) {
  // Steps count up to their size; a step heard from ends those before it,
  // which are not heard again; an empty step counts nothing.
  progress.Plan(1, {{10}, {0}, {5}});
  progress.Step(0)(4);
  progress.Step(0)(30);
  progress.Step(2)(2);
  progress.Step(0)(7);
  progress.Step(1)(3);
  return {12};
}

std::vector<std::uint64_t> RunDump(const path& game, const path&, JobProgress& progress) {
  ProgressReader reader(progress.Step(0));
  const std::uint64_t size = reader.Open(game).value();
  progress.Plan(size, {{size}});
  const Plan plan = ParsePlan(test::kScriptLines, "plan.txt").value();
  EXPECT_TRUE(DumpPlan({plan, "plan.txt", test::DefaultEncoding(), reader, "game.bin"}).has_value());
  return {size};
}

// The result read through, as diff and insert --patch make and check a patch.
std::vector<std::uint64_t> RunMakePatch(const path& game, const path&, JobProgress& progress) {
  FileReader reader;
  const std::uint64_t size = reader.Open(game).value();
  const std::uint64_t whole = PassesOverModified(PatchFormat::kBps) * size;
  progress.Plan(size, {{whole}});
  const std::uint8_t changed[] = {0x58, 0x56};
  const FilePatch patch{0x10, changed};
  FileInput original(reader);
  FileInput result_input(reader, {&patch, 1});
  ProgressInput result(result_input, progress.Step(0));
  EXPECT_TRUE(MakeVerifiedPatchFrom(PatchFormat::kBps, original, result).has_value());
  return {whole};
}

// insert -o: the game copied, then its writes; a reflink copies nothing.
std::vector<std::uint64_t> RunWriteCopy(const path& game, const path& dir, JobProgress& progress) {
  const std::uint64_t size = test::fs::file_size(game);
  progress.Plan(size, {{size + 2}});
  ProgressFileOps ops(progress.Step(0));
  const std::uint8_t changed[] = {0x58, 0x56};
  const FilePatch patch{0x10, changed};
  EXPECT_TRUE(PatchCopyAtomically(game, dir / "out.bin", {&patch, 1}, ops).has_value());
  return {size + 2, 2};
}

// patch with a BPS patch: the result built whole.
std::vector<std::uint64_t> RunApplyBps(const path& game, const path& dir, JobProgress& progress) {
  std::string modified = BigGame();
  modified[0x10] = '\x58';
  modified.append(1000, '\x01');
  const std::vector<std::uint8_t> bps = MakeBps(AsBytes(BigGame()), AsBytes(modified));
  progress.Plan(modified.size(), {{modified.size()}});
  ProgressFileOps ops(progress.Step(0));
  EXPECT_TRUE(ApplyPatchToFile(game, bps, dir / "out.bin", ops).has_value());
  EXPECT_EQ(modified, test::ReadAll(dir / "out.bin"));
  return {modified.size()};
}

INSTANTIATE_TEST_SUITE_P(Jobs, JobProgressTest,
                         testing::Values(JobCase{"rule", RunRule}, JobCase{"dump", RunDump},
                                         JobCase{"make_patch", RunMakePatch},
                                         JobCase{"write_copy", RunWriteCopy},
                                         JobCase{"apply_bps", RunApplyBps}),
                         test::CaseName<JobCase>);

}  // namespace
}  // namespace binconv::cli
