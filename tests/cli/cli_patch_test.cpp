// diff and patch end to end: patches made are exactly the core's, patches
// applied give the modified file, and every refusal leaves every file as it
// was with nothing new beside them.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "patch/patch_format.h"
#include "runtime/crc32.h"
#include "support/bytes.h"
#include "support/cli_runner.h"
#include "support/files.h"
#include "support/gtest_support.h"

namespace binconv::cli_test {
namespace {

using namespace binconv::test;

std::string Str(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }
std::span<const std::uint8_t> Span(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

const std::string kOriginal = RandomBytes(3000, 1);
const std::string kOther = RandomBytes(3000, 2);
const std::string kModified = [] {
  std::string m = kOriginal;
  m.replace(0, 4, "head");
  m.replace(1000, 8, "ABCDEFGH");
  return m + Repeat("tail", 50);
}();
const std::string kBps = Str(MakeBps(Span(kOriginal), Span(kModified)));
const std::string kIps = Str(MakeIps(Span(kOriginal), Span(kModified)).value());
const std::string kBadBps = [] {
  std::string p = kBps;
  p[p.size() / 2] ^= 1;
  return p;
}();

// What insert makes of kOriginal with the plan below: "AB" and a fill at 0x10.
const std::string kInserted = [] {
  std::string m = kOriginal;
  m.replace(0x10, 4, std::string("AB\0\0", 4));
  return m;
}();
const std::string kInsertedBps = Str(MakeBps(Span(kOriginal), Span(kInserted)));
const std::string kInsertedIps = Str(MakeIps(Span(kOriginal), Span(kInserted)).value());

std::string CrcText(const std::string& bytes) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(Crc32(Span(bytes))));
  return text;
}

struct PatchCliCase {
  const char* name;
  std::vector<std::string> args;
  int exit_code;
  std::map<std::string, std::string> written{};  // files made or replaced, and their bytes
  std::vector<std::string> err_has{};
  const char* applies = nullptr;  // a patch written, which `patch` turns orig.bin into kInserted with
};
void PrintTo(const PatchCliCase& c, std::ostream* os) { *os << c.name; }

class CliPatchTest : public testing::TestWithParam<PatchCliCase> {};

TEST_P(CliPatchTest, WritesExactlyWhatItSaysOrNothing) {
  const PatchCliCase& c = GetParam();
  Scratch scratch;
  std::map<std::string, std::string> files{{"orig.bin", kOriginal}, {"mod.bin", kModified},
                                           {"other.bin", kOther},   {"copy.bin", kOriginal},
                                           {"p.bps", kBps},         {"p.ips", kIps},
                                           {"bad.bps", kBadBps},    {"cut.ips", kIps.substr(0, kIps.size() - 3)},
                                           {"plan.txt", "0x10 4 a.txt 00\n"},  {"a.txt", "<4142>"}};
  for (const auto& [name, bytes] : files) WriteAll(scratch.work() / name, bytes);
  std::set<std::string> names = scratch.Names();
  const Outcome outcome = RunCli(scratch, c.args);
  EXPECT_EQ(outcome.exit_code, c.exit_code) << outcome;
  for (const std::string& part : c.err_has) {
    EXPECT_NE(outcome.err.find(part), std::string::npos) << "no '" << part << "' in\n" << outcome.err;
  }
  for (const auto& [name, bytes] : c.written) {
    files[name] = bytes;
    names.insert(name);
  }
  EXPECT_EQ(scratch.Names(), names) << "a file was left or lost";
  for (const auto& [name, bytes] : files) {
    EXPECT_TRUE(ReadAll(scratch.work() / name) == bytes) << name << " is not as expected";
  }
  if (c.applies != nullptr) {
    const Outcome applied = RunCli(scratch, {"patch", "orig.bin", c.applies, "-o", "applied.bin"});
    EXPECT_EQ(applied.exit_code, 0) << applied;
    EXPECT_TRUE(ReadAll(scratch.work() / "applied.bin") == kInserted);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliPatchTest,
    testing::Values(
        PatchCliCase{"DiffBpsFromTheName",
                     {"diff", "orig.bin", "mod.bin", "-o", "new.bps"},
                     0,
                     {{"new.bps", kBps}},
                     {"new.bps: BPS patch of", "checked"}},
        PatchCliCase{"DiffIpsFromTheOption",
                     {"diff", "orig.bin", "mod.bin", "-o", "new.dat", "--format", "ips"},
                     0,
                     {{"new.dat", kIps}}},
        PatchCliCase{"DiffReplacesAnOldPatch",
                     {"diff", "orig.bin", "mod.bin", "-o", "p.ips", "--format", "bps"},
                     0,
                     {{"p.ips", kBps}}},
        PatchCliCase{"DiffOfTheSameFileSaysSo",
                     {"diff", "orig.bin", "copy.bin", "-o", "same.ips"},
                     0,
                     {{"same.ips", "PATCHEOF"}},
                     {"the two files are the same"}},
        PatchCliCase{"DiffWithoutAFormat",
                     {"diff", "orig.bin", "mod.bin", "-o", "new.dat"},
                     2,
                     {},
                     {"can't tell the patch format", ".ips or .bps"}},
        PatchCliCase{"DiffUnknownFormat",
                     {"diff", "orig.bin", "mod.bin", "-o", "new.bps", "--format", "xdelta"},
                     2},
        PatchCliCase{"DiffMissingOriginal",
                     {"diff", "none.bin", "mod.bin", "-o", "new.bps"},
                     2,
                     {},
                     {"none.bin"}},
        PatchCliCase{"DiffWithoutOutput", {"diff", "orig.bin", "mod.bin"}, 2},
        PatchCliCase{"DiffOverItsInput",
                     {"diff", "orig.bin", "mod.bin", "-o", "./mod.bin", "--format", "bps"},
                     2,
                     {},
                     {"./mod.bin is mod.bin, which would be lost"}},
        PatchCliCase{"PatchOverThePatch", {"patch", "orig.bin", "p.bps", "-o", "p.bps"}, 2},
        PatchCliCase{"PatchToStandardOutput", {"patch", "orig.bin", "p.bps", "-o", "-"}, 2, {},
                     {"not to \"-\""}},
        PatchCliCase{"ApplyBps", {"patch", "orig.bin", "p.bps", "-o", "out.bin"}, 0,
                     {{"out.bin", kModified}}},
        PatchCliCase{"ApplyIps", {"patch", "orig.bin", "p.ips", "-o", "out.bin"}, 0,
                     {{"out.bin", kModified}}},
        PatchCliCase{"ApplyInto", {"patch", "--into", "copy.bin", "p.bps"}, 0,
                     {{"copy.bin", kModified}}},
        PatchCliCase{"WrongOriginalNamesBothCrcs",
                     {"patch", "other.bin", "p.bps", "-o", "out.bin"},
                     1,
                     {},
                     {"other.bin is not the file this patch was made for", CrcText(kOther),
                      CrcText(kOriginal), "nothing written"}},
        PatchCliCase{"WrongOriginalInto",
                     {"patch", "--into", "other.bin", "p.bps"},
                     1,
                     {},
                     {"other.bin is not the file this patch was made for"}},
        PatchCliCase{"DamagedBps",
                     {"patch", "orig.bin", "bad.bps", "-o", "out.bin"},
                     1,
                     {},
                     {"bad.bps: damaged: its CRC-32 is"}},
        PatchCliCase{"IpsWithoutEofIsDamaged",
                     {"patch", "--into", "copy.bin", "cut.ips"},
                     1,
                     {},
                     {"cut.ips: damaged: no \"EOF\" marker"}},
        PatchCliCase{"NotAPatch", {"patch", "orig.bin", "mod.bin", "-o", "out.bin"}, 1, {},
                     {"not an IPS or BPS patch"}},
        PatchCliCase{"PatchWithoutOutput", {"patch", "orig.bin", "p.bps"}, 2},
        PatchCliCase{"PatchWithBothOutputs",
                     {"patch", "orig.bin", "p.bps", "-o", "out.bin", "--into", "copy.bin"},
                     2},
        PatchCliCase{"InsertWritesOnlyThePatch",
                     {"insert", "--from", "orig.bin", "--patch", "ins.bps", "plan.txt"},
                     0,
                     {{"ins.bps", kInsertedBps}},
                     {},
                     "ins.bps"},
        PatchCliCase{"InsertWritesOutputAndPatch",
                     {"insert", "--from", "orig.bin", "-o", "out.bin", "--patch", "ins.dat",
                      "--format", "ips", "plan.txt"},
                     0,
                     {{"out.bin", kInserted}, {"ins.dat", kInsertedIps}},
                     {},
                     "ins.dat"},
        PatchCliCase{"InsertIntoPatchesFromTheGameAsItWas",
                     {"insert", "--into", "copy.bin", "--patch", "ins.ips", "plan.txt"},
                     0,
                     {{"copy.bin", kInserted}, {"ins.ips", kInsertedIps}},
                     {},
                     "ins.ips"},
        PatchCliCase{"InsertUnknownFormat",
                     {"insert", "--into", "copy.bin", "--patch", "ins.bps", "--format", "xdelta",
                      "plan.txt"},
                     2,
                     {},
                     {"--format 'xdelta' is neither ips nor bps"}},
        PatchCliCase{"InsertPatchOverItsOutput",
                     {"insert", "--from", "orig.bin", "-o", "ins.bps", "--patch", "./ins.bps",
                      "plan.txt"},
                     2,
                     {},
                     {"name the same file"}},
        PatchCliCase{"InsertDryRunWritesNoPatch",
                     {"insert", "--dry-run", "--into", "copy.bin", "--patch", "ins.bps",
                      "plan.txt"},
                     0}),
    CaseName<PatchCliCase>);

TEST(CliPatchHelpTest, DescribesBothCommands) {
  Scratch scratch;
  for (const auto& [command, mentions] : std::map<std::string, std::vector<std::string>>{
           {"diff", {"--format ips|bps", "-o, --output PATCH", "16 MiB", "CRC-32"}},
           {"insert", {"--patch PATCH", "--format ips|bps", "only the patch"}},
           {"patch", {"--into FILE", "-o, --output OUTPUT", "\"EOF\"", "CRC-32"}}}) {
    const Outcome outcome = RunCli(scratch, {command, "--help"});
    EXPECT_EQ(outcome.exit_code, 0) << outcome;
    for (const std::string& word : mentions) {
      EXPECT_NE(outcome.out.find(word), std::string::npos) << command << ": no " << word;
    }
  }
}

}  // namespace
}  // namespace binconv::cli_test
