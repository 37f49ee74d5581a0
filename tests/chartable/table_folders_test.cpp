#include "chartable/table_folders.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "chartable/load.h"
#include "messages/messages.h"
#include "support/temp_dir.h"

namespace binconv {
namespace {

namespace fs = std::filesystem;

// Candidate folders, in order, for places given outright.
struct CandidatesCase {
  const char* name;
  TableSearchPlace place;
  std::vector<fs::path> expected;
};

class TableFolderCandidatesTest : public testing::TestWithParam<CandidatesCase> {};

TEST_P(TableFolderCandidatesTest, InOrder) {
#ifdef _WIN32
  // "/cfg" and the like are not absolute on Windows, so the POSIX cases mean
  // something else there.
  if (!GetParam().place.windows) GTEST_SKIP() << "a POSIX place";
#endif
  EXPECT_EQ(TableFolderCandidates(GetParam().place), GetParam().expected);
}

TableSearchPlace Linux(std::optional<fs::path> xdg, std::optional<fs::path> home,
                       fs::path exe = "/usr/bin/binconv") {
  return {"/work/game", std::move(exe), std::move(xdg), std::move(home), std::nullopt, false};
}

INSTANTIATE_TEST_SUITE_P(
    Places, TableFolderCandidatesTest,
    testing::Values(
        CandidatesCase{"XdgConfigHome",
                       Linux("/cfg", "/home/u"),
                       {"/work/game", "/cfg/binconv", "/usr/share/binconv/tables"}},
        CandidatesCase{"HomeWhenXdgUnset",
                       Linux(std::nullopt, "/home/u"),
                       {"/work/game", "/home/u/.config/binconv", "/usr/share/binconv/tables"}},
        CandidatesCase{"HomeWhenXdgEmpty",
                       Linux("", "/home/u"),
                       {"/work/game", "/home/u/.config/binconv", "/usr/share/binconv/tables"}},
        // The XDG rules call a relative path invalid.
        CandidatesCase{"HomeWhenXdgRelative",
                       Linux("cfg", "/home/u"),
                       {"/work/game", "/home/u/.config/binconv", "/usr/share/binconv/tables"}},
        CandidatesCase{"NoUserFolderWithoutHome",
                       Linux(std::nullopt, std::nullopt),
                       {"/work/game", "/usr/share/binconv/tables"}},
        CandidatesCase{"LocalPrefix",
                       Linux("/cfg", "/home/u", "/opt/bc/bin/binconv-cli"),
                       {"/work/game", "/cfg/binconv", "/opt/bc/share/binconv/tables"}},
        CandidatesCase{"NoExecutable", Linux("/cfg", "/h", ""), {"/work/game", "/cfg/binconv"}},
        // Started in the installed tables' folder: tried once.
        CandidatesCase{
            "NoRepeats",
            {"/usr/share/binconv/tables", "/usr/bin/binconv", "/cfg", "/h", std::nullopt, false},
            {"/usr/share/binconv/tables", "/cfg/binconv"}},
        CandidatesCase{"Windows",
                       {"/work/game", "/apps/binconv/binconv.exe", "/cfg", "/h", "/roaming", true},
                       {"/work/game", "/roaming/binconv", "/apps/binconv"}}),
    [](const testing::TestParamInfo<CandidatesCase>& p) { return std::string(p.param.name); });

// Real folders: cwd, config/binconv and prefix/share/binconv/tables, with the
// program at prefix/bin.
class FindTableFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = test::MakeTempDir("binconv-folders");
    ASSERT_FALSE(root_.empty());
    for (const fs::path& dir : {Cwd(), User(), Installed()}) fs::create_directories(dir);
    place_ = {
        Cwd(), root_ / "prefix" / "bin" / "binconv", root_ / "config", std::nullopt, std::nullopt,
        false};
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path Cwd() const { return root_ / "cwd"; }
  fs::path User() const { return root_ / "config" / "binconv"; }
  fs::path Installed() const { return root_ / "prefix" / "share" / "binconv" / "tables"; }
  static void Put(const fs::path& dir, const char* name) {
    std::ofstream(dir / name) << "/ table\r\n";
  }

  fs::path root_;
  TableSearchPlace place_;
};

TEST_F(FindTableFolderTest, FirstFolderWithTheMainFileWins) {
  Put(Installed(), kMainTableFile);
  EXPECT_EQ(FindTableFolder(place_).value(), Installed());
  Put(User(), kMainTableFile);
  EXPECT_EQ(FindTableFolder(place_).value(), User());
  Put(Cwd(), kMainTableFile);
  EXPECT_EQ(FindTableFolder(place_).value(), Cwd());
}

// The extended file alone doesn't make a folder the one, and a main file
// without its extended file is not completed from a later folder.
TEST_F(FindTableFolderTest, BothFilesFromTheSameFolder) {
  Put(Cwd(), kExtendedTableFile);
  Put(User(), kMainTableFile);
  Put(Installed(), kMainTableFile);
  Put(Installed(), kExtendedTableFile);
  auto found = FindTableFolder(place_);
  ASSERT_TRUE(found);
  EXPECT_EQ(found.value(), User());
  auto loaded = LoadCharTables(found.value());
  ASSERT_FALSE(loaded);
  EXPECT_EQ(loaded.error().file, PathToUtf8(User() / kExtendedTableFile));
}

TEST_F(FindTableFolderTest, ErrorListsEveryFolderTried) {
  fs::create_directory(User() / kMainTableFile);  // a folder of that name is no table file
  auto found = FindTableFolder(place_);
  ASSERT_FALSE(found);
  EXPECT_EQ(found.error().code, ProblemCode::kNoTableFolder);
  EXPECT_EQ(found.error().files, (std::vector<std::string>{PathToUtf8(Cwd()), PathToUtf8(User()),
                                                           PathToUtf8(Installed())}));
  EXPECT_EQ(messages::Message(messages::Language::kEnglish, found.error()),
            "no folder holds Zezovar.ini; looked in:\n  " + Cwd().string() + "\n  " +
                User().string() + "\n  " + Installed().string());
}

}  // namespace
}  // namespace binconv
