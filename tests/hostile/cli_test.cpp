// binconv-cli against hostile names, inputs and standard streams, and a
// 100 MB listing that must pass through in flat memory. Every run has a time
// limit: a hang fails the test instead of stalling the suite.

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/cli_runner.h"
#include "support/gtest_support.h"
#include "support/script_game.h"

namespace binconv::hostile {
namespace {

using namespace binconv::test;

constexpr std::string_view kOld = "old contents";

// The files every case starts with, and what they hold.
std::map<std::string, std::string> StartingFiles() {
  return {{"old.bin", std::string(kOld)},
          {"temp.bin", std::string(kOld)},
          {"a1b2.bin", "a glob would match this"},
          {"x.bin", "and this"}};
}

void Populate(const Scratch& scratch) {
  for (const auto& [name, bytes] : StartingFiles()) WriteAll(scratch.work() / name, bytes);
  fs::create_directory(scratch.work() / "adir");
}

// The named files still hold what they held before, except `changed`.
void ExpectUntouched(const Scratch& scratch, const std::string& changed = {}) {
  for (const auto& [name, bytes] : StartingFiles()) {
    if (name == changed) continue;
    EXPECT_EQ(ReadAll(scratch.work() / name), bytes) << name << " was changed";
  }
}

struct Command {
  std::vector<std::string> args;  // the output name follows
  std::string input;
  std::string bytes;  // what a successful run writes
};

const Command kWrite{{"write", "-o"}, "1a 2B", "\x1A\x2B"};
const Command kEncode{{"encode", "-o"}, "あい", "\x56\x58"};

struct NameCase {
  const char* name;
  std::string output;             // as given after -o
  std::string written;            // the file that appears; empty when the name is refused
  std::vector<std::string> said;  // on standard error when refused
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class HostileOutputNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(HostileOutputNameTest, WritesThatFileOrSaysWhy) {
  const NameCase& c = GetParam();
  for (const Command& command : {kWrite, kEncode}) {
    Scratch scratch;
    Populate(scratch);
    const std::set<std::string> before = scratch.Names();
    std::vector<std::string> args = command.args;
    args.push_back(c.output);
    RunOptions options;
    options.input = command.input;
    const Outcome outcome = RunCli(scratch, args, options);
    const std::string context = args.front() + " -o '" + c.output + "'";

    if (c.written.empty()) {
      EXPECT_EQ(outcome.exit_code, 2) << context << "\n" << outcome;
      EXPECT_TRUE(outcome.err.starts_with("binconv-cli: ")) << context << "\n" << outcome;
      for (const std::string& part : c.said) {
        EXPECT_NE(outcome.err.find(part), std::string::npos)
            << context << " does not say '" << part << "'\n"
            << outcome;
      }
      EXPECT_EQ(scratch.Names(), before) << context;
      ExpectUntouched(scratch);
    } else {
      EXPECT_EQ(outcome.exit_code, 0) << context << "\n" << outcome;
      std::set<std::string> expected = before;
      expected.insert(c.written);
      EXPECT_EQ(scratch.Names(), expected) << context;
      EXPECT_EQ(Hex(ReadAll(scratch.work() / c.written)), Hex(command.bytes)) << context;
      ExpectUntouched(scratch, c.written);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostileOutputNameTest,
    testing::Values(
        NameCase{"Empty", "", "temp.bin", {}}, NameCase{"SpacesOnly", "    ", "temp.bin", {}},
        NameCase{"SpacesAround", "  new.bin ", "new.bin", {}},
        NameCase{"DotDot", "..", "", {"..: ", "directory"}},
        NameCase{"Dot", ".", "", {".: ", "directory"}},
        NameCase{"Directory", "adir", "", {"adir: Is a directory"}},
        NameCase{"DirectoryWithSlash", "adir/", "", {"adir/: "}},
        NameCase{"MissingFolderWithSlash", "nodir/", "", {"nodir/: "}},
        NameCase{"RootFolder", "/", "", {"/: "}},
        NameCase{"ThreeHundredCharacters", std::string(300, 'n'), "", {"File name too long"}},
        NameCase{"LongestAllowed", std::string(255, 'n'), std::string(255, 'n'), {}},
        NameCase{"Japanese", "出力ファイル.bin", "出力ファイル.bin", {}},
        NameCase{"JapaneseLongestAllowed", Repeat("長", 85), Repeat("長", 85), {}},
        NameCase{"JapaneseTooLong", Repeat("長", 100), "", {"File name too long"}},
        NameCase{"Asterisk", "*.bin", "*.bin", {}},
        NameCase{"QuestionMarks", "a?b?.bin", "a?b?.bin", {}},
        NameCase{"OnlyAnAsterisk", "*", "*", {}},
        NameCase{"InMissingFolder", "nodir/out.bin", "", {"nodir/out.bin: No such file"}},
        NameCase{"FileAsFolder", "old.bin/out.bin", "", {"old.bin/out.bin: Not a directory"}}),
    CaseName<NameCase>);

struct InputCase {
  const char* name;
  std::vector<std::string> args;
  Stdin stdin_kind;
  Stdout stdout_kind;
  std::vector<std::string> said;
};

void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }

class HostileInputTest : public testing::TestWithParam<InputCase> {};

TEST_P(HostileInputTest, SaysWhyAndWritesNothing) {
  const InputCase& c = GetParam();
  Scratch scratch;
  Populate(scratch);
  const std::set<std::string> before = scratch.Names();
  RunOptions options;
  options.stdin_kind = c.stdin_kind;
  options.input = "1A";
  options.stdout_kind = c.stdout_kind;
  const Outcome outcome = RunCli(scratch, c.args, options);
  EXPECT_EQ(outcome.exit_code, 2) << outcome;
  EXPECT_EQ(outcome.out, "");
  for (const std::string& part : c.said) {
    EXPECT_NE(outcome.err.find(part), std::string::npos) << "does not say '" << part << "'\n"
                                                         << outcome;
  }
  EXPECT_EQ(scratch.Names(), before);
  ExpectUntouched(scratch);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, HostileInputTest,
    testing::Values(InputCase{"ConvertDirectory",
                              {"convert", "adir"},
                              Stdin::kFile,
                              Stdout::kFile,
                              {"adir: Is a directory"}},
                    InputCase{"WriteDirectory",
                              {"write", "-o", "old.bin", "adir"},
                              Stdin::kFile,
                              Stdout::kFile,
                              {"adir: Is a directory"}},
                    InputCase{"EncodeDirectory",
                              {"encode", "-o", "old.bin", "adir"},
                              Stdin::kFile,
                              Stdout::kFile,
                              {"adir: Is a directory"}},
                    InputCase{"EncodeDirectoryAsStdin",
                              {"encode", "-o", "old.bin"},
                              Stdin::kFolder,
                              Stdout::kFile,
                              {"-: Is a directory"}},
                    // Readable by nobody, root included: reading fails with EIO.
                    InputCase{"WriteUnreadableFile",
                              {"write", "-o", "old.bin", "/proc/self/mem"},
                              Stdin::kFile,
                              Stdout::kFile,
                              {"/proc/self/mem: Input/output error"}},
                    InputCase{"EncodeUnreadableFile",
                              {"encode", "-o", "old.bin", "/proc/self/mem"},
                              Stdin::kFile,
                              Stdout::kFile,
                              {"/proc/self/mem: Input/output error"}},
                    InputCase{"ConvertStdinClosed",
                              {"convert"},
                              Stdin::kClosed,
                              Stdout::kFile,
                              {"-: Bad file descriptor"}},
                    InputCase{"WriteStdinClosed",
                              {"write", "-o", "old.bin"},
                              Stdin::kClosed,
                              Stdout::kFile,
                              {"-: Bad file descriptor"}},
                    InputCase{"WriteNewFileStdinClosed",
                              {"write", "-o", "new.bin"},
                              Stdin::kClosed,
                              Stdout::kFile,
                              {"-: Bad file descriptor"}},
                    InputCase{"EncodeStdinClosed",
                              {"encode"},
                              Stdin::kClosed,
                              Stdout::kFile,
                              {"-: Bad file descriptor"}},
                    InputCase{"ConvertStdoutClosed",
                              {"convert"},
                              Stdin::kFile,
                              Stdout::kClosed,
                              {"<stdout>: Bad file descriptor"}}),
    CaseName<InputCase>);

// An output that is an input by another way than its name: standard output
// redirected onto an input, which would grow while it is read, or a hard link.
struct SameFileCase {
  const char* name;
  std::string setup;    // shell lines that must succeed; $CLI is the program
  std::string command;  // refused: exit status 2, and every file as it was
  std::string said;
};

void PrintTo(const SameFileCase& c, std::ostream* os) { *os << c.name; }

class HostileSameFileTest : public testing::TestWithParam<SameFileCase> {};

TEST_P(HostileSameFileTest, RefusedBeforeAnythingIsWritten) {
  const SameFileCase& c = GetParam();
  Scratch scratch;
  WriteAll(scratch.work() / "in.txt", "あい");
  WriteAll(scratch.work() / "in.bin", "\x56\x58");
  WriteAll(scratch.work() / "game.tbl", "56=あ\n58=い\n");
  WriteAll(scratch.work() / "game.bin", ExampleScriptGame());
  WriteAll(scratch.work() / "plan.txt",
           "format nes u16le base=0x8000\nscript s.txt table=0x10 count=4 format=nes end=FF "
           "text=0x40..0x4F skip=0xFFFF\n");
  const std::string head = "cd '" + scratch.work().native() + "'\nCLI='" +
                           test::ProgramUnderTest() + "'\n";
  WriteAll(scratch.path() / "setup.sh", "set -e\n" + head + c.setup);
  ASSERT_EQ(std::system(("bash '" + (scratch.path() / "setup.sh").native() + "'").c_str()), 0);
  std::map<std::string, std::string> before;
  for (const std::string& name : scratch.Names()) before[name] = ReadAll(scratch.work() / name);
  WriteAll(scratch.path() / "run.sh", head + c.command + " 2>'" +
                                          (scratch.path() / "err").native() + "'");
  const int status = std::system(("bash '" + (scratch.path() / "run.sh").native() + "'").c_str());
  const std::string err = ReadAll(scratch.path() / "err");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << c.command << "\n" << err;
  EXPECT_NE(err.find(c.said), std::string::npos) << "does not say '" << c.said << "'\n" << err;
  for (const auto& [name, bytes] : before) {
    EXPECT_EQ(ReadAll(scratch.work() / name), bytes) << name << " was changed";
  }
  EXPECT_EQ(scratch.Names().size(), before.size());
}

INSTANTIATE_TEST_SUITE_P(
    Redirections, HostileSameFileTest,
    testing::Values(
        SameFileCase{"DecodeAppendedToItsInput", "", "\"$CLI\" decode in.bin >>in.bin",
                     "BINARY in.bin: input file is output file"},
        SameFileCase{"ConvertAppendedToItsInput", "", "\"$CLI\" convert in.txt >>in.txt",
                     "INPUT in.txt: input file is output file"},
        SameFileCase{"DecodeAppendedToItsTbl", "",
                     "\"$CLI\" decode --tbl game.tbl in.bin >>game.tbl",
                     "--tbl FILE game.tbl: input file is output file"},
        SameFileCase{"StandardInputIsStandardOutput", "", "\"$CLI\" decode <in.bin >>in.bin",
                     "standard input: input file is output file"},
        SameFileCase{"AppendedThroughAHardLink", "ln in.bin link.bin",
                     "\"$CLI\" decode in.bin >>link.bin", "input file is output file"},
        SameFileCase{"StringsAppendedToTheGame", "", "\"$CLI\" strings in.bin >>in.bin",
                     "GAME in.bin: input file is output file"},
        SameFileCase{"CheckTablesAppendedToTheTbl", "",
                     "\"$CLI\" check-tables --tbl game.tbl >>game.tbl",
                     "input file is output file"},
        SameFileCase{"InsertOutputToStandardOutputTwice", "",
                     "\"$CLI\" insert --from game.bin -o - --map - plan.txt",
                     "name the same file"},
        // A hard link is one file whichever command writes it.
        SameFileCase{"DumpScriptHardLinkedToTheTables", "ln Zezovar.ini s.txt",
                     "\"$CLI\" dump --force --from game.bin plan.txt", "which would be lost"},
        SameFileCase{"InsertOutputHardLinkedToAScript",
                     "\"$CLI\" dump --from game.bin plan.txt 2>/dev/null && ln s.txt out.bin",
                     "\"$CLI\" insert --from game.bin -o out.bin plan.txt",
                     "which would be lost"}),
    CaseName<SameFileCase>);

// "-o -" is standard output for insert too, never a file named "-".
TEST(HostileInsertTest, DashIsStandardOutput) {
  Scratch scratch;
  WriteAll(scratch.work() / "game.bin", std::string(8, '\0'));
  WriteAll(scratch.work() / "a.txt", "あい");
  WriteAll(scratch.work() / "plan.txt", "2 2 a.txt\n");
  const Outcome outcome = RunCli(scratch, {"insert", "--from", "game.bin", "-o", "-", "plan.txt"});
  EXPECT_EQ(outcome.exit_code, 0) << outcome;
  EXPECT_EQ(Hex(outcome.out), Hex(std::string("\0\0\x56\x58", 4) + std::string(4, '\0')));
  EXPECT_FALSE(fs::exists(scratch.work() / "-"));
}

TEST(HostileInputFileTest, UnreadableByMode) {
  Scratch scratch;
  Populate(scratch);
  const fs::path secret = scratch.work() / "secret.txt";
  WriteAll(secret, "1A");
  ::chmod(secret.c_str(), 0);
  if (::access(secret.c_str(), R_OK) == 0) GTEST_SKIP() << "running as root: mode 000 is readable";
  const Outcome outcome = RunCli(scratch, {"write", "-o", "old.bin", "secret.txt"});
  EXPECT_EQ(outcome.exit_code, 2) << outcome;
  EXPECT_NE(outcome.err.find("secret.txt: Permission denied"), std::string::npos) << outcome;
  ExpectUntouched(scratch);
}

// A closed standard error must not let a message end up in the output file,
// which would otherwise be the next descriptor opened.
TEST(HostileInputFileTest, StderrClosedKeepsTheOutputClean) {
  for (const Command& command : {kWrite, kEncode}) {
    Scratch scratch;
    Populate(scratch);
    std::vector<std::string> args = command.args;
    args.push_back("old.bin");
    RunOptions options;
    options.input = command.input;
    options.close_stderr = true;
    const Outcome outcome = RunCli(scratch, args, options);
    EXPECT_EQ(outcome.exit_code, 0) << args.front() << "\n" << outcome;
    EXPECT_EQ(Hex(ReadAll(scratch.work() / "old.bin")), Hex(command.bytes)) << args.front();
  }
}

// 100 MB of hex digits on one line, sent through a pipe while the program
// runs, so that neither side ever holds the whole listing.
TEST(HostileHugeListingTest, HundredMegabytesInFlatMemory) {
  constexpr std::size_t kBlockBytes = 512 * 1024;  // one block is 1 MiB of digits
  constexpr int kBlocks = 100;
  std::mt19937 rng(42);
  std::string block(kBlockBytes, '\0');
  for (char& b : block) b = static_cast<char>(rng() & 0xFF);
  std::string digits;
  static constexpr char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < block.size(); ++i) {
    const auto b = static_cast<unsigned char>(block[i]);
    // Both cases, as hand-edited listings have them.
    digits += i % 2 == 0 ? kDigits[b >> 4] : static_cast<char>(std::toupper(kDigits[b >> 4]));
    digits += kDigits[b & 0xF];
  }

  Scratch scratch;
  int sent = 0;
  RunOptions options;
  options.stdin_kind = Stdin::kPipe;
  options.timeout = std::chrono::seconds(300);
  options.feed = [&](std::string& piece) {
    if (sent == kBlocks) return false;
    ++sent;
    piece = digits;
    return true;
  };
  const Outcome outcome = RunCli(scratch, {"write", "-o", "huge.bin"}, options);
  ASSERT_EQ(outcome.exit_code, 0) << outcome;
  EXPECT_EQ(sent, kBlocks);
  RecordProperty("max_rss_kb", std::to_string(outcome.max_rss_kb));
  std::printf("peak memory of binconv-cli: %ld KB\n", outcome.max_rss_kb);
  EXPECT_LT(outcome.max_rss_kb - StartRssKb(), 64 * 1024)
      << "peak memory grows with the listing";

  std::ifstream in(scratch.work() / "huge.bin", std::ios::binary);
  std::string chunk(kBlockBytes, '\0');
  for (int i = 0; i < kBlocks; ++i) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    ASSERT_EQ(static_cast<std::size_t>(in.gcount()), chunk.size()) << "block " << i;
    ASSERT_TRUE(chunk == block) << "block " << i << " differs: " << Hex(chunk, 64);
  }
  EXPECT_EQ(in.get(), std::char_traits<char>::eof()) << "bytes beyond the listing";
  EXPECT_EQ(scratch.Names(), (std::set<std::string>{"Zezovar.ini", "Zezovar_ex.ini", "huge.bin"}));
}

// A long text of which no character has a code: the problems are listed up to
// a limit and the reading stops there, so memory and output stay bounded.
TEST(HostileEncodeTest, TenMegabytesWithoutASingleCode) {
  Scratch scratch;
  Populate(scratch);
  int sent = 0;
  RunOptions options;
  options.stdin_kind = Stdin::kPipe;
  options.timeout = std::chrono::seconds(300);
  options.feed = [&](std::string& piece) {
    if (sent++ == 10) return false;
    piece = Repeat("Ω", 1 << 19);  // 1 MiB
    return true;
  };
  const Outcome outcome = RunCli(scratch, {"encode", "-o", "old.bin"}, options);
  EXPECT_EQ(outcome.exit_code, 1) << outcome.exit_code;
  EXPECT_LT(outcome.max_rss_kb - StartRssKb(), 64 * 1024)
      << "peak memory grows with the problems";
  EXPECT_LT(outcome.err.size(), 100000u) << "every problem of ten megabytes was listed";
  EXPECT_TRUE(outcome.err.starts_with("binconv-cli: -:1:1: no code for 'Ω' (U+03A9)\n"))
      << outcome.err.substr(0, 200);
  ExpectUntouched(scratch);
}

struct LimitCase {
  const char* name;
  int characters;  // without a code, one per line
  std::size_t listed;
  bool stopped;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class HostileEncodeLimitTest : public testing::TestWithParam<LimitCase> {};

TEST_P(HostileEncodeLimitTest, ListsUpToTheLimit) {
  const LimitCase& c = GetParam();
  Scratch scratch;
  Populate(scratch);
  RunOptions options;
  options.input = Repeat("Ω\n", c.characters);
  const Outcome outcome = RunCli(scratch, {"encode", "-o", "old.bin"}, options);
  EXPECT_EQ(outcome.exit_code, 1) << outcome;
  std::size_t listed = 0;
  for (std::size_t at = outcome.err.find("no code for"); at != std::string::npos;
       at = outcome.err.find("no code for", at + 1)) {
    ++listed;
  }
  EXPECT_EQ(listed, c.listed);
  const std::string last = "-:" + std::to_string(c.listed) + ":1: no code for";
  EXPECT_NE(outcome.err.find(last), std::string::npos) << "the last one listed is not " << last;
  const bool stopped =
      outcome.err.find("binconv-cli: -: more than 1000 problems; stopped reading") !=
      std::string::npos;
  EXPECT_EQ(stopped, c.stopped) << outcome.err.substr(outcome.err.size() - 200);
  ExpectUntouched(scratch);
}

INSTANTIATE_TEST_SUITE_P(Counts, HostileEncodeLimitTest,
                         testing::Values(LimitCase{"AtTheLimit", 1000, 1000, false},
                                         LimitCase{"OnePast", 1001, 1000, true},
                                         LimitCase{"FarPast", 100000, 1000, true}),
                         CaseName<LimitCase>);

// Plans whose numbers are as large as a number can be: a room past the end is
// refused before its text is read, and a fill is written as a run, so that
// memory follows the texts, not the numbers.
struct RoomCase {
  const char* name;
  std::uint64_t game_size;  // a sparse file of this size
  std::string plan;
  int exit_code;
  std::vector<std::string> said;
  std::string not_said = {};
  std::uint64_t filled = 0;  // bytes of 0x5A expected from offset 2 on
  std::vector<std::string> patch = {};  // --patch NAME, with --into
};

void PrintTo(const RoomCase& c, std::ostream* os) { *os << c.name; }

class HostileRoomTest : public testing::TestWithParam<RoomCase> {};

TEST_P(HostileRoomTest, MemoryFollowsTheTextsNotTheNumbers) {
  const RoomCase& c = GetParam();
  Scratch scratch;
  const fs::path game = scratch.work() / "game.bin";
  WriteAll(game, "");
  fs::resize_file(game, c.game_size);
  WriteAll(scratch.work() / "a.txt", "あい");
  WriteAll(scratch.work() / "plan.txt", c.plan);
  std::vector<std::string> args = {"insert", "--into", "game.bin", "plan.txt"};
  args.insert(args.end(), c.patch.begin(), c.patch.end());
  const Outcome outcome = RunCli(scratch, args);
  EXPECT_EQ(outcome.exit_code, c.exit_code) << outcome;
  for (const std::string& part : c.said) {
    EXPECT_NE(outcome.err.find(part), std::string::npos) << "does not say '" << part << "'\n"
                                                         << outcome;
  }
  if (!c.not_said.empty()) {
    EXPECT_EQ(outcome.err.find(c.not_said), std::string::npos) << outcome;
  }
  EXPECT_LT(outcome.max_rss_kb - StartRssKb(), 64 * 1024)
      << "peak memory grows with the room";
  EXPECT_EQ(fs::file_size(game), c.game_size);
  std::ifstream in(game, std::ios::binary);
  std::string head(2, '\0');
  in.read(head.data(), 2);
  EXPECT_EQ(Hex(head), c.filled != 0 ? "56 58 " : "00 00 ");
  std::string chunk(1 << 20, '\0');
  for (std::uint64_t left = c.filled; left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
    in.read(chunk.data(), static_cast<std::streamsize>(n));
    ASSERT_EQ(chunk.substr(0, n), std::string(n, '\x5A')) << c.filled - left << " bytes in";
    left -= n;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Plans, HostileRoomTest,
    testing::Values(
        RoomCase{"RoomOfTheLargestNumber",
                 16,
                 "0 0xFFFFFFFFFFFFFFFF a.txt 5A\n",
                 1,
                 {"plan.txt:1: the room ends at 0xFFFFFFFFFFFFFFFE, past the end"}},
        RoomCase{"OffsetOfTheLargestNumber",
                 16,
                 "0xFFFFFFFFFFFFFFFF 1 a.txt\n",
                 1,
                 {"plan.txt:1: the room ends at 0xFFFFFFFFFFFFFFFF, past the end"}},
        // Refused: its text is never read.
        RoomCase{"PastTheEndNotRead",
                 16,
                 "0 17 missing.txt 5A\n",
                 1,
                 {"plan.txt:1: the room ends at 0x10"},
                 "missing.txt"},
        RoomCase{
            "LargeRoomFilled", 160u << 20, "0 0xA000000 a.txt 5A\n", 0, {}, {}, (160u << 20) - 2},
        // Past what the patch can give back: told at the grow line, before any work.
        RoomCase{"GrowPastWhatABpsPatchHolds",
                 16,
                 "grow 0x100000001\n0 2 a.txt\n",
                 1,
                 {"plan.txt:1: grow 4294967297 is past 4 GiB"},
                 "differs",
                 0,
                 {"--patch", "p.bps"}},
        RoomCase{"GrowPastWhatAnIpsPatchReaches",
                 16,
                 "grow 0x2000000\n0 2 a.txt\n",
                 1,
                 {"plan.txt:1: grow 33554432 is past 16 MiB"},
                 "differs",
                 0,
                 {"--patch", "p.ips"}}),
    CaseName<RoomCase>);

}  // namespace
}  // namespace binconv::hostile
