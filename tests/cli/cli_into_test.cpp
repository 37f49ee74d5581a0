// Putting text into an existing game file, end to end through binconv-cli:
// write and encode with --into, insert with a plan, decode of a range, and
// the .tbl exchange. Whatever is refused leaves the game file byte for byte
// and no temporary file behind.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "chartable/encoding.h"
#include "runtime/utf8.h"
#include "support/bytes.h"
#include "support/cli_runner.h"
#include "support/encoded.h"
#include "support/files.h"
#include "support/gtest_support.h"

namespace binconv::cli_test {
namespace {

using namespace binconv::test;

constexpr std::size_t kGameSize = 64;

// Seven folders of Japanese names, more than 260 UTF-16 units in all: Windows
// takes such a path only in its \\?\ form, and a name that passed through a
// narrow string would be mangled. kUp leads from the deepest back to work/.
const std::string kLongDir = [] {
  std::string dir;
  for (int i = 0; i < 7; ++i)
    dir += "日本語の長いフォルダー名日本語の長いフォルダー名日本語の長い名前" + std::to_string(i) +
           "/";
  return dir;
}();
const std::string kUp = "../../../../../../../";

// The CLI under test is binconv-cli.exe under Wine (tools/wine-cli.sh).
bool UnderWine() {
  return std::string_view(test::ProgramUnderTest()).find("wine") != std::string_view::npos;
}
// The system's own words for a missing file.
const std::string kNotFound = UnderWine() ? "File not found" : "No such file or directory";

// Byte i of the game is i * 7 + 3, so every byte differs from its neighbours.
std::string Game() {
  std::string game(kGameSize, '\0');
  for (std::size_t i = 0; i < game.size(); ++i) game[i] = static_cast<char>(i * 7 + 3);
  return game;
}

std::string Bytes(std::initializer_list<unsigned> values) {
  std::string bytes;
  for (const unsigned v : values) bytes += static_cast<char>(v);
  return bytes;
}

// The bytes of a text in the default tables.
std::string Enc(std::u16string_view text) {
  const std::vector<std::uint8_t> bytes = Encode(DefaultEncoding(), LineBreaks::kAny, text).bytes;
  return std::string(bytes.begin(), bytes.end());
}

struct Patch {
  std::size_t at;
  std::string bytes;
};

// The game with the patches applied.
std::string Patched(const std::vector<Patch>& patches) {
  std::string game = Game();
  for (const Patch& p : patches) game.replace(p.at, p.bytes.size(), p.bytes);
  return game;
}

struct IntoCase {
  const char* name;
  std::vector<std::string> args;
  std::map<std::string, std::string> files;  // put into the work folder first
  std::string input;                         // standard input
  int exit_code;
  std::vector<Patch> patches;  // none: the game stays as it was
  std::vector<std::string> err_has{};
};

void PrintTo(const IntoCase& c, std::ostream* os) { *os << c.name; }

class CliIntoTest : public testing::TestWithParam<IntoCase> {};

TEST_P(CliIntoTest, PatchesExactlyOrTouchesNothing) {
  const IntoCase& c = GetParam();
  Scratch scratch;
  WriteAll(scratch.work() / "game.bin", Game());
  for (const auto& [name, bytes] : c.files) {
    fs::create_directories((scratch.work() / name).parent_path());
    WriteAll(scratch.work() / name, bytes);
  }
  const std::set<std::string> before = scratch.Names();
  RunOptions options;
  options.input = c.input;
  const Outcome outcome = RunCli(scratch, c.args, options);
  EXPECT_EQ(outcome.exit_code, c.exit_code) << outcome;
  for (const std::string& part : c.err_has) {
    EXPECT_NE(outcome.err.find(part), std::string::npos) << "no '" << part << "' in\n"
                                                         << outcome.err;
  }
  EXPECT_EQ(Hex(ReadAll(scratch.work() / "game.bin"), kGameSize),
            Hex(Patched(c.patches), kGameSize));
  EXPECT_EQ(scratch.Names(), before) << "a file was left or lost";
}

std::vector<std::string> Args(std::initializer_list<std::string> args) { return args; }

// --- write and encode --into -------------------------------------------------

INSTANTIATE_TEST_SUITE_P(
    WriteAndEncode, CliIntoTest,
    testing::Values(
        IntoCase{"WriteAtHexOffset",
                 Args({"write", "--into", "game.bin", "--at", "0x10"}),
                 {},
                 "0A 0b\r\n0C",
                 0,
                 {{16, Bytes({0x0A, 0x0B, 0x0C})}}},
        IntoCase{"JapaneseLongPaths",
                 Args({"encode", "--into", kLongDir + kUp + "game.bin", "--at", "0x10",
                       kLongDir + "テキスト.txt"}),
                 {{kLongDir + "テキスト.txt", "あい"}},
                 "",
                 0,
                 {{16, Enc(u"あい")}}},
        IntoCase{"WriteUpToTheLastByte",
                 Args({"write", "--into", "game.bin", "--at", "62"}),
                 {},
                 "FF FE",
                 0,
                 {{62, Bytes({0xFF, 0xFE})}}},
        IntoCase{"WritePastTheEnd",
                 Args({"write", "--into", "game.bin", "--at", "63"}),
                 {},
                 "FF FE",
                 1,
                 {},
                 {"game.bin: bytes 0x3F to 0x40 reach past its end (64 bytes)"}},
        IntoCase{"WriteRoomKeepsTheRest",
                 Args({"write", "--into", "game.bin", "--at", "8", "--room", "6"}),
                 {},
                 "01 02",
                 0,
                 {{8, Bytes({1, 2})}},
                 {"2 bytes at 0x8, 4 bytes of the room left"}},
        IntoCase{"WriteRoomFilled",
                 Args({"write", "--into", "game.bin", "--at", "8", "--room", "5", "--fill", "ff"}),
                 {},
                 "01 02",
                 0,
                 {{8, Bytes({1, 2, 0xFF, 0xFF, 0xFF})}}},
        IntoCase{"WriteExactlyTheRoom",
                 Args({"write", "--into", "game.bin", "--at", "0", "--room", "2", "--fill", "00"}),
                 {},
                 "01 02",
                 0,
                 {{0, Bytes({1, 2})}}},
        IntoCase{"WriteTooLongNamesThePair",
                 Args({"write", "--into", "game.bin", "--at", "0", "--room", "3"}),
                 {},
                 "01 02\r\n0 3 04 05",
                 1,
                 {},
                 {"-:2:5: 2 bytes too long for the room of 3 bytes (5 bytes in all); pair 4",
                  "game.bin is unchanged"}},
        IntoCase{"WriteBadListingTouchesNothing",
                 Args({"write", "--into", "game.bin", "--at", "0"}),
                 {},
                 "01 0G",
                 1,
                 {},
                 {"-:1:5:"}},
        IntoCase{"EncodeText",
                 Args({"encode", "--into", "game.bin", "--at", "4", "t.txt"}),
                 {{"t.txt", "あ字\nう"}},
                 "",
                 0,
                 {{4, Enc(u"あ字\nう")}}},
        IntoCase{
            "EncodeWithFillAndBom",
            Args({"encode", "--into", "game.bin", "--at", "60", "--room", "4", "--fill", "50"}),
            {},
            "\xEF\xBB\xBF字",
            0,
            {{60, Enc(u"字") + "\x50\x50"}}},
        IntoCase{"EncodeTooLongNamesTheCharacter",
                 Args({"encode", "--into", "game.bin", "--at", "4", "--room", "4", "t.txt"}),
                 {{"t.txt", "ああ\nあ字う"}},
                 "",
                 1,
                 {},
                 {"t.txt:2:2: 3 bytes too long for the room of 4 bytes (7 bytes in all)",
                  "'字' (U+5B57) is the first character"}},
        IntoCase{"EncodeTooLongAtALineBreak",
                 Args({"encode", "--into", "game.bin", "--at", "4", "--room", "2", "--fill", "00"}),
                 {},
                 "ああ\r\nあ",
                 1,
                 {},
                 {"-:1:3: 2 bytes too long for the room of 2 bytes"}},
        IntoCase{"EncodeTooLongInATag",
                 Args({"encode", "--into", "game.bin", "--at", "4", "--room", "2"}),
                 {},
                 "あ<0102>",
                 1,
                 {},
                 {"-:1:2: 1 byte too long", "'<' (U+003C)"}},
        IntoCase{"EncodeTblFillsTheRoom",
                 Args({"encode", "--tbl", "g.tbl", "--into", "game.bin", "--at", "4", "--room", "4",
                       "--fill", "FF"}),
                 {{"g.tbl", "82A0=\xE3\x81\x82\n"}},
                 "あ",
                 0,
                 {{4, "\x82\xA0\xFF\xFF"}}},
        IntoCase{
            "EncodeTblTooLongNamesTheCharacter",
            Args({"encode", "--tbl", "g.tbl", "--into", "game.bin", "--at", "4", "--room", "3"}),
            {{"g.tbl", "82A0=\xE3\x81\x82\n"}},
            "ああ",
            1,
            {},
            {"-:1:2: 1 byte too long for the room of 3 bytes",
             "'\xE3\x81\x82' (U+3042) is the first character"}},
        IntoCase{"EncodeNoCodeTouchesNothing",
                 Args({"encode", "--into", "game.bin", "--at", "4", "--room", "9"}),
                 {},
                 "あ\U0001F600",
                 1,
                 {},
                 {"-:1:2: no code for"}},
        IntoCase{"EncodeKeepGoingLeavesOut",
                 Args({"encode", "--keep-going", "--into", "game.bin", "--at", "4"}),
                 {},
                 "あ\U0001F600い",
                 0,
                 {{4, Enc(u"あい")}},
                 {"WITHOUT"}},
        IntoCase{"RoomPastTheEnd",
                 Args({"encode", "--into", "game.bin", "--at", "60", "--room", "5"}),
                 {},
                 "あ",
                 1,
                 {},
                 {"bytes 0x3C to 0x40 reach past its end"}},
        IntoCase{
            "HugeRoomDoesNotWrap",
            Args({"encode", "--into", "game.bin", "--at", "0x10", "--room", "0xFFFFFFFFFFFFFFFF"}),
            {},
            "あ",
            1,
            {},
            {"reach past its end"}},
        IntoCase{"IntoAndOutputExclude",
                 Args({"encode", "--into", "game.bin", "--at", "0", "-o", "x.bin"}),
                 {},
                 "あ",
                 2,
                 {},
                 {"--into and -o exclude each other"}},
        // The command table says what a command needs before it runs.
        IntoCase{"InsertNeedsAPlan",
                 Args({"insert", "--into", "game.bin"}),
                 {},
                 "",
                 2,
                 {},
                 {"insert needs a PLAN (see binconv-cli --help)"}},
        IntoCase{"IntoNeedsAt",
                 Args({"write", "--into", "game.bin"}),
                 {},
                 "00",
                 2,
                 {},
                 {"--into needs --at OFFSET"}},
        IntoCase{"AtNeedsInto",
                 Args({"write", "--at", "3"}),
                 {},
                 "00",
                 2,
                 {},
                 {"--at needs --into GAME"}},
        IntoCase{"FillNeedsRoom",
                 Args({"write", "--into", "game.bin", "--at", "0", "--fill", "00"}),
                 {},
                 "00",
                 2,
                 {},
                 {"--fill needs --room N"}},
        IntoCase{"BadNumbers",
                 Args({"write", "--into", "game.bin", "--at", "0x", "--room", "1"}),
                 {},
                 "00",
                 2,
                 {},
                 {"--at '0x' is not a decimal or 0x hex number"}},
        IntoCase{"BadFill",
                 Args({"write", "--into", "game.bin", "--at", "0", "--room", "1", "--fill", "100"}),
                 {},
                 "00",
                 2,
                 {},
                 {"--fill '100' is not a byte of two hex digits"}},
        IntoCase{"MissingGame",
                 Args({"write", "--into", "none.bin", "--at", "0"}),
                 {},
                 "00",
                 2,
                 {},
                 {"none.bin: " + kNotFound}},
        IntoCase{"GameIsAFolder",
                 Args({"write", "--into", ".", "--at", "0"}),
                 {},
                 "00",
                 2,
                 {},
                 {"Is a directory"}}),
    CaseName<IntoCase>);

// --- insert ------------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(
    Insert, CliIntoTest,
    testing::Values(
        IntoCase{"SeveralEntries",
                 Args({"insert", "--into", "game.bin", "texts/plan.txt"}),
                 {{"texts/plan.txt",
                   "\xEF\xBB\xBF# offset room file fill\r\n"
                   "0x10 4 a.txt 00   # filled\r\n"
                   "\r\n"
                   "  2 3 \"b c.txt\"\n"
                   "40\t2\tsub/d.txt # a comment\n"
                   "20 4 a.txt FF"},
                  {"texts/a.txt", "あい"},
                  {"texts/b c.txt", "う"},
                  {"texts/sub/d.txt", "字"}},
                 "",
                 0,
                 {{16, Enc(u"あい") + Bytes({0, 0})},
                  {2, Enc(u"う")},
                  {40, Enc(u"字")},
                  {20, Enc(u"あい") + Bytes({0xFF, 0xFF})}},
                 {"plan.txt:2: texts/a.txt at 0x10: 2 bytes used, 2 bytes of 4 bytes left",
                  "4 texts put into game.bin"}},
        IntoCase{"JapaneseLongPaths",
                 Args({"insert", "--into", kLongDir + kUp + "game.bin", kLongDir + "計画.txt"}),
                 {{kLongDir + "計画.txt", "0x10 4 テキスト.txt 00\n8 2 下/字.txt"},
                  {kLongDir + "テキスト.txt", "あい"},
                  {kLongDir + "下/字.txt", "字"}},
                 "",
                 0,
                 {{16, Enc(u"あい") + Bytes({0, 0})}, {8, Enc(u"字")}},
                 {"2 texts put into"}},
        IntoCase{"EveryProblemListed",
                 Args({"insert", "--into", "game.bin", "plan.txt"}),
                 {{"plan.txt",
                   "0 4 ok.txt\n"
                   "8 2 long.txt\n"
                   "16 4 nocode.txt\n"
                   "24 4 missing.txt\n"
                   "30 4\n"
                   "0x 4 ok.txt\n"
                   "60 8 ok.txt\n"
                   "40 4 ok.txt 0\n"
                   "1 2 ok.txt\n"},
                  {"ok.txt", "あ"},
                  {"long.txt", "あ\nいう"},
                  {"nocode.txt", "x\U0001F600"}},
                 "",
                 1,
                 {},
                 {"binconv-cli: long.txt:2:1: 2 bytes too long for the room of 2 bytes (4 bytes in "
                  "all); 'い' (U+3044) is the first character that does not fit (plan line 2)",
                  "binconv-cli: nocode.txt:1:2: no code for", "(plan line 3)",
                  "binconv-cli: missing.txt: " + kNotFound + " (plan line 4)",
                  "binconv-cli: plan.txt:5: expected OFFSET ROOM FILE [FILL], found 2 fields",
                  "binconv-cli: plan.txt:6: the offset '0x' is not",
                  "binconv-cli: plan.txt:7: the room ends at 0x43, past the end of the game file",
                  "binconv-cli: plan.txt:8: the fill '0' is not a byte",
                  "binconv-cli: plan.txt:9: the room overlaps the room of line 1",
                  "problems; nothing written to game.bin"}},
        IntoCase{"OverlapsAcrossAnEntry",
                 Args({"insert", "--into", "game.bin", "plan.txt"}),
                 {{"plan.txt", "0 20 a.txt\n30 2 a.txt\n5 2 a.txt\n19 4 a.txt\n20 10 a.txt\n"},
                  {"a.txt", "あ"}},
                 "",
                 1,
                 {},
                 {"plan.txt:3: the room overlaps the room of line 1",
                  "plan.txt:4: the room overlaps the room of line 1"}},
        IntoCase{"BadPlanUtf8",
                 Args({"insert", "--into", "game.bin", "plan.txt"}),
                 {{"plan.txt", "0 4 a.txt\n1 \xFF"}},
                 "",
                 1,
                 {},
                 {"plan.txt:2:3: not valid UTF-8"}},
        // Columns count characters: the emoji is one.
        IntoCase{"BadTextUtf8ColumnInCharacters",
                 Args({"insert", "--into", "game.bin", "plan.txt"}),
                 {{"plan.txt", "0 4 bad.txt\n"}, {"bad.txt", "\U0001F600\u3042\xFF"}},
                 "",
                 1,
                 {},
                 {"bad.txt:1:3: not valid UTF-8 (plan line 1)"}},
        // A text read whole is told as Shift_JIS when it looks so.
        IntoCase{"ShiftJisTextIsNamed",
                 Args({"insert", "--into", "game.bin", "plan.txt"}),
                 {{"plan.txt", "0 4 sj.txt\n"}, {"sj.txt", "ok\r\n\x82\xA0\x82\xA2"}},
                 "",
                 1,
                 {},
                 {"sj.txt:2:1: not valid UTF-8; it looks like Shift_JIS (code page 932)"}},
        IntoCase{"ExactTakesOnlyCrLf",
                 Args({"insert", "--exact", "--into", "game.bin", "plan.txt"}),
                 {{"plan.txt", "0 4 a.txt"}, {"a.txt", "あ\nい"}},
                 "",
                 1,
                 {},
                 {"a.txt:1:2: no code for"}},
        IntoCase{"NeedsInto",
                 Args({"insert", "plan.txt"}),
                 {{"plan.txt", ""}},
                 "",
                 2,
                 {},
                 {"insert needs --into GAME"}},
        IntoCase{"FromNeedsOutput",
                 Args({"insert", "--from", "game.bin", "plan.txt"}),
                 {{"plan.txt", ""}},
                 "",
                 2,
                 {},
                 {"--from ORIGINAL needs -o OUTPUT"}},
        IntoCase{"OutputGoesWithFrom",
                 Args({"insert", "--into", "game.bin", "-o", "out.bin", "plan.txt"}),
                 {{"plan.txt", ""}},
                 "",
                 2,
                 {},
                 {"-o goes with --from ORIGINAL, not with --into"}},
        IntoCase{"OutputIsTheOriginal",
                 Args({"insert", "--from", "game.bin", "-o", "./game.bin", "plan.txt"}),
                 {{"plan.txt", "0 2 a.txt"}, {"a.txt", "あ"}},
                 "",
                 2,
                 {},
                 {"-o OUTPUT is ORIGINAL itself"}},
        IntoCase{"EmptyPlanChangesNothing",
                 Args({"insert", "--into", "game.bin", "plan.txt"}),
                 {{"plan.txt", "# nothing yet\n"}},
                 "",
                 0,
                 {},
                 {"the plan has no entries; game.bin is unchanged"}}),
    CaseName<IntoCase>);

// --- decode of a range ---------------------------------------------------------

// Insert a text into a room, then decode that range: the text comes back,
// followed by the fill bytes as decode shows them on their own, and encoding
// the decoded range gives the room's bytes again.
TEST(CliDecodeRangeTest, InsertThenDecodeTheRoom) {
  Scratch scratch;
  const std::string text = "あ字ー\nアう";
  const std::string used = Enc(u"あ字ー\nアう");
  ASSERT_LT(used.size(), 15u);
  WriteAll(scratch.work() / "a.txt", text);
  for (const char* fill : {"00", "20", "24", "50", "FF", "18"}) {
    WriteAll(scratch.work() / "game.bin", Game());
    WriteAll(scratch.work() / "plan.txt", std::string("0x0B 15 a.txt ") + fill);
    const Outcome inserted = RunCli(scratch, {"insert", "--into", "game.bin", "plan.txt"});
    ASSERT_EQ(inserted.exit_code, 0) << inserted;
    const std::string fill_bytes(15 - used.size(), static_cast<char>(std::stoi(fill, nullptr, 16)));
    WriteAll(scratch.work() / "fill.bin", fill_bytes);
    const Outcome fill_alone = RunCli(scratch, {"decode", "fill.bin"});
    const Outcome range =
        RunCli(scratch, {"decode", "--at", "11", "--length", "0xF", "-o", "room.txt", "game.bin"});
    ASSERT_EQ(range.exit_code, 0) << range;
    EXPECT_EQ(ReadAll(scratch.work() / "room.txt"), text + fill_alone.out) << "fill " << fill;
    const Outcome back = RunCli(scratch, {"encode", "-o", "back.bin", "room.txt"});
    ASSERT_EQ(back.exit_code, 0) << back;
    EXPECT_EQ(Hex(ReadAll(scratch.work() / "back.bin")),
              Hex(ReadAll(scratch.work() / "game.bin").substr(11, 15)))
        << "fill " << fill;
  }
}

struct RangeCase {
  const char* name;
  std::vector<std::string> args;
  std::size_t at;  // the range that must come out, on success
  std::size_t length;
  int exit_code;
  std::string err_has;
};

class CliDecodeRangeCases : public testing::TestWithParam<RangeCase> {};

// Six bytes with a lead byte and its code at 1 and 2; a range decodes as
// those bytes alone would.
TEST_P(CliDecodeRangeCases, DecodesOnlyTheRange) {
  const RangeCase& c = GetParam();
  Scratch scratch;
  const std::string bytes = Bytes({0x56, kLeadBytes[3], 0x7B, kLineBreakByte, 0x5A, 0x58});
  WriteAll(scratch.work() / "game.bin", bytes);
  fs::create_directories(scratch.work() / kLongDir);
  WriteAll(scratch.work() / kLongDir / "ゲーム.bin", bytes);
  std::vector<std::string> args{"decode"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  RunOptions options;
  options.input = bytes;
  const Outcome outcome = RunCli(scratch, args, options);
  EXPECT_EQ(outcome.exit_code, c.exit_code) << outcome;
  if (c.exit_code == 0) {
    const std::string range = bytes.substr(c.at, c.length);
    const std::u16string text = DecodeBytes(
        {reinterpret_cast<const std::uint8_t*>(range.data()), range.size()}, DefaultTables());
    EXPECT_EQ(outcome.out, EncodeUtf8(text));
  }
  EXPECT_NE(outcome.err.find(c.err_has), std::string::npos) << outcome.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliDecodeRangeCases,
    testing::Values(
        RangeCase{"Whole", {"game.bin"}, 0, 6, 0, ""},
        RangeCase{"FromAnOffset", {"--at", "3", "game.bin"}, 3, 3, 0, ""},
        RangeCase{"ALength", {"--at", "1", "--length", "2", "game.bin"}, 1, 2, 0, ""},
        RangeCase{"CutAfterALeadByte", {"--at", "1", "--length", "1", "game.bin"}, 1, 1, 0, ""},
        RangeCase{"StartAfterALeadByte", {"--at", "2", "game.bin"}, 2, 4, 0, ""},
        RangeCase{"EmptyAtTheEnd", {"--at", "6", "game.bin"}, 6, 0, 0, ""},
        RangeCase{"FromStandardInput", {"--at", "4", "--length", "1"}, 4, 1, 0, ""},
        RangeCase{"JapaneseLongPath",
                  {"--at", "1", "--length", "2", kLongDir + "ゲーム.bin"},
                  1,
                  2,
                  0,
                  ""},
        RangeCase{"JapaneseLongPathPastTheEnd",
                  {"--at", "7", kLongDir + "ゲーム.bin"},
                  0,
                  0,
                  1,
                  "ゲーム.bin: bytes 0x7 to 0x7 reach past its end (6 bytes)"},
        RangeCase{"PastTheEnd",
                  {"--at", "7", "game.bin"},
                  0,
                  0,
                  1,
                  "game.bin: bytes 0x7 to 0x7 reach past its end (6 bytes)"},
        RangeCase{"LengthPastTheEnd",
                  {"--at", "2", "--length", "5", "game.bin"},
                  0,
                  0,
                  1,
                  "bytes 0x2 to 0x6 reach past its end"},
        RangeCase{"StandardInputTooShort",
                  {"--at", "2", "--length", "5"},
                  0,
                  0,
                  1,
                  "-: bytes 0x2 to 0x6 reach past its end (6 bytes)"},
        RangeCase{"BadNumber", {"--length", "-1", "game.bin"}, 0, 0, 2, "--length '-1' is not"}),
    CaseName<RangeCase>);

// --- .tbl ----------------------------------------------------------------------

// Every character the default tables can encode, each on its own line.
std::string EveryCharacter() {
  std::u16string text;
  for (char32_t c = 0x21; c <= 0xFFFF; ++c) {
    const auto ch = static_cast<char16_t>(c);
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    if (!DefaultTables().Find(ch)) continue;
    const Encoded encoded = Encode(DefaultEncoding(), LineBreaks::kAny, std::u16string(1, ch));
    if (encoded.problems.empty() && !encoded.bytes.empty()) text += ch + std::u16string(u"\n");
  }
  return EncodeUtf8(text);
}

// export-tbl then import-tbl: the new tables, and encode --tbl with the .tbl,
// encode every character to the same bytes as the default ones, in either
// encoding of the .tbl.
TEST(CliTblTest, ExportThenImportEncodesTheSame) {
  Scratch scratch;
  WriteAll(scratch.work() / "all.txt", EveryCharacter());
  const Outcome original = RunCli(scratch, {"encode", "-o", "original.bin", "all.txt"});
  ASSERT_EQ(original.exit_code, 0) << original;
  for (const char* encoding : {"utf-8", "cp932"}) {
    const Outcome exported =
        RunCli(scratch, {"export-tbl", "--encoding", encoding, "-o", "game.tbl"});
    ASSERT_EQ(exported.exit_code, 0) << exported;
    fs::create_directory(scratch.work() / encoding);
    const Outcome imported =
        RunCli(scratch, {"import-tbl", "--encoding", encoding, "-o", encoding, "game.tbl"});
    ASSERT_EQ(imported.exit_code, 0) << imported;
    // The imported tables, and the .tbl itself through encode --tbl.
    for (const std::string option : {"--tables", "--tbl"}) {
      const std::string from = option == "--tbl" ? "game.tbl" : encoding;
      const Outcome again = RunCli(scratch, {"encode", option, from, "-o", "again.bin", "all.txt"});
      ASSERT_EQ(again.exit_code, 0) << again;
      EXPECT_EQ(Hex(ReadAll(scratch.work() / "again.bin"), 256),
                Hex(ReadAll(scratch.work() / "original.bin"), 256))
          << encoding << " " << option;
      EXPECT_TRUE(ReadAll(scratch.work() / "again.bin") ==
                  ReadAll(scratch.work() / "original.bin"));
    }
    // The default tables hold only code page 932 characters, so the files are too.
    EXPECT_FALSE(ReadAll(scratch.work() / encoding / "Zezovar.ini").starts_with("\xEF\xBB\xBF"));
  }
}

struct ImportCase {
  const char* name;
  std::vector<std::string> args;
  std::string tbl;
  int exit_code;
  std::vector<std::string> err_has;
  std::string written;  // the tables' first page 0 row as decode shows it; "" when none
};

class CliImportTblTest : public testing::TestWithParam<ImportCase> {};

TEST_P(CliImportTblTest, PlacesOrListsEveryEntry) {
  const ImportCase& c = GetParam();
  Scratch scratch;
  WriteAll(scratch.work() / "in.tbl", c.tbl);
  fs::create_directory(scratch.work() / "out");
  std::vector<std::string> args{"import-tbl", "-o", "out", "in.tbl"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const Outcome outcome = RunCli(scratch, args);
  EXPECT_EQ(outcome.exit_code, c.exit_code) << outcome;
  for (const std::string& part : c.err_has) {
    EXPECT_NE(outcome.err.find(part), std::string::npos) << "no '" << part << "' in\n"
                                                         << outcome.err;
  }
  if (c.written.empty()) {
    EXPECT_TRUE(fs::is_empty(scratch.work() / "out"));
    return;
  }
  WriteAll(scratch.work() / "row.bin", Bytes({0x00, 0x01, 0x02, 0x20, 0x03, 0x24, 0x50}));
  const Outcome decoded = RunCli(scratch, {"decode", "--tables", "out", "row.bin"});
  EXPECT_EQ(decoded.exit_code, 0) << decoded;
  EXPECT_EQ(decoded.out, c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliImportTblTest,
    testing::Values(
        ImportCase{"Utf8WithBom",
                   {},
                   "\xEF\xBB\xBF"
                   "00=a\r\n01==\r\n\r\n2003=漢\r\n*24\r\n50=　\r\n",
                   0,
                   {"3 entries placed"},
                   "a=<02>漢\n　"},
        ImportCase{"Cp932",
                   {"--encoding", "cp932"},
                   "00=\x82\xA0\n2003=\x8A\xBF\n",
                   0,
                   {},
                   "あ<01><02>漢\n　"},
        ImportCase{"NotInCp932GoesUtf8", {}, "00=\xE2\x82\xAC\n", 0, {}, "€<01><02><2003>\n　"},
        ImportCase{
            "EveryBadEntry",
            {},
            "20=a\n2101=b\n1922=c\n010203=d\n01=ab\n02=,\nzz\n*25\n50=x\n03=c\n03=d\n04=\n"
            "05= \n",
            1,
            {"in.tbl:1: a page 0 code at 18, 20-24 or 50",
             "in.tbl:3: the code's first byte is not a lead byte",
             "in.tbl:4: a code of more than two bytes", "in.tbl:5: the value is not one",
             "in.tbl:6: a comma, space or line end", "in.tbl:7: not an entry",
             "in.tbl:8: a page 0 code", "in.tbl:9: a page 0 code",
             "in.tbl:11: a second entry for the code of line 10",
             "in.tbl:13: a comma, space", "10 entries can't be placed; nothing written"},
            ""},
        ImportCase{"GameTableNamesTbl",
                   {},
                   "41=A\n4142=AB\n$FE=<w>,1\n",
                   1,
                   {"in.tbl:2: the code's first byte is not a lead byte", "in.tbl:3: not an entry",
                    "2 entries can't be placed; nothing written",
                    "give it with --tbl in.tbl to decode, encode"},
                   ""},
        ImportCase{"KeepGoingSkips",
                   {"--keep-going"},
                   "00=a\n01=ab\n20=x\n02=c\n",
                   0,
                   {"in.tbl:2:", "in.tbl:3:", "2 entries placed", "2 left out"},
                   "a<01>c<2003>\n　"},
        ImportCase{"BadEncodingName",
                   {"--encoding", "latin1"},
                   "00=a\n",
                   2,
                   {"--encoding 'latin1' is neither utf-8 nor cp932"},
                   ""}),
    CaseName<ImportCase>);

// export-tbl -o and import-tbl -o with Japanese names deep in a long path: the
// imported tables decode as the default ones.
TEST(CliTblPathsTest, JapaneseLongPaths) {
  Scratch scratch;
  fs::create_directories(scratch.work() / kLongDir / "出力");
  const Outcome exported = RunCli(scratch, {"export-tbl", "-o", kLongDir + "表.tbl"});
  ASSERT_EQ(exported.exit_code, 0) << exported;
  const Outcome imported =
      RunCli(scratch, {"import-tbl", "-o", kLongDir + "出力", kLongDir + "表.tbl"});
  ASSERT_EQ(imported.exit_code, 0) << imported;
  const std::string row = Bytes({0x00, 0x01, 0x02, 0x20, 0x03, 0x24, 0x50, 0x18, 0x41});
  WriteAll(scratch.work() / "row.bin", row);
  const Outcome decoded = RunCli(scratch, {"decode", "--tables", kLongDir + "出力", "row.bin"});
  EXPECT_EQ(decoded.exit_code, 0) << decoded;
  const Outcome expected = RunCli(scratch, {"decode", "row.bin"});
  EXPECT_EQ(decoded.out, expected.out);
}

// A pair torn by a crash between import-tbl's two renames: check-tables shows
// that the two files come from different imports.
TEST(CliTblPathsTest, CheckTablesShowsATornPair) {
  Scratch scratch;
  WriteAll(scratch.work() / "in.tbl", "00=a\n2003=漢\n");
  for (const char* dir : {"first", "second"}) {
    fs::create_directory(scratch.work() / dir);
    ASSERT_EQ(RunCli(scratch, {"import-tbl", "-o", dir, "in.tbl"}).exit_code, 0);
  }
  const Outcome pair = RunCli(scratch, {"check-tables", "--tables", "first"});
  EXPECT_EQ(pair.out.find("different imports"), std::string::npos) << pair;
  fs::copy_file(scratch.work() / "second" / "Zezovar_ex.ini",
                scratch.work() / "first" / "Zezovar_ex.ini", fs::copy_options::overwrite_existing);
  const Outcome torn = RunCli(scratch, {"check-tables", "--tables", "first"});
  EXPECT_EQ(torn.exit_code, 1) << torn;
  EXPECT_NE(torn.out.find("come from different imports: run import-tbl again"), std::string::npos)
      << torn;
}

// Whatever a command meets, it ends with a message and a status, never an
// abort: a room the size of a number once escaped as length_error.
TEST(CliNeverAborts, HostilePlanEndsWithAStatus) {
  Scratch scratch;
  WriteAll(scratch.work() / "game.bin", Game());
  WriteAll(scratch.work() / "a.txt", "あ");
  WriteAll(scratch.work() / "plan.txt", "0 0xFFFFFFFFFFFFFFFF a.txt 00\n");
  const Outcome outcome = RunCli(scratch, {"insert", "--into", "game.bin", "plan.txt"});
  EXPECT_EQ(outcome.signal, 0) << outcome;
  EXPECT_TRUE(outcome.exit_code == 1 || outcome.exit_code == 2) << outcome;
  EXPECT_NE(outcome.err.find("binconv-cli: "), std::string::npos) << outcome;
  EXPECT_EQ(ReadAll(scratch.work() / "game.bin"), Game());
  EXPECT_EQ(scratch.Names(), (std::set<std::string>{"Zezovar.ini", "Zezovar_ex.ini", "game.bin",
                                                    "a.txt", "plan.txt"}));
}

// --- outputs that are not plain files (POSIX) ---------------------------------

struct StreamOutputCase {
  const char* name;
  std::string command;   // a shell command line; $CLI is the program
  std::string expected;  // out.bin afterwards
};

class CliStreamOutputTest : public testing::TestWithParam<StreamOutputCase> {};

// Standard output named as a file is written through, never replaced: an
// appending redirection keeps the old bytes and a pipe works. A replaced
// file keeps its owner and group; a name that is not UTF-8 is a name.
TEST_P(CliStreamOutputTest, WritesThroughTheOpenDescriptor) {
  if (UnderWine()) GTEST_SKIP() << "POSIX names";
  const StreamOutputCase& c = GetParam();
  Scratch scratch;
  WriteAll(scratch.work() / "in.txt", "あい");
  WriteAll(scratch.work() / "out.bin", "OLD");
  WriteAll(scratch.path() / "run.sh", "set -e\ncd '" + scratch.work().native() + "'\nCLI='" +
                                          test::ProgramUnderTest() + "'\n" + c.command);
  const std::string command = "bash '" + (scratch.path() / "run.sh").native() + "'";
  const int status = std::system(command.c_str());
  // 77: what the case needs (root, a user "nobody") is not to be had here.
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "not possible here";
  ASSERT_EQ(status, 0) << c.command;
  EXPECT_EQ(Hex(ReadAll(scratch.work() / "out.bin")), Hex(c.expected));
  EXPECT_EQ(scratch.Names(),
            (std::set<std::string>{"Zezovar.ini", "Zezovar_ex.ini", "in.txt", "out.bin"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliStreamOutputTest,
    testing::Values(
        StreamOutputCase{"DevStdoutAppends", "\"$CLI\" encode -o /dev/stdout in.txt >>out.bin",
                         "OLD" + Enc(u"あい")},
        StreamOutputCase{"DevFdAppends", "\"$CLI\" write -o /dev/fd/3 3>>out.bin <<<'41 42'",
                         "OLDAB"},
        StreamOutputCase{"ProcSelfFdAppends",
                         "\"$CLI\" convert -o /proc/self/fd/1 in.txt >>out.bin", "OLD56 58 "},
        StreamOutputCase{"LinkToDevStdout",
                         "ln -s /dev/stdout link && \"$CLI\" encode -o link in.txt >>out.bin && "
                         "test -L link && rm link",
                         "OLD" + Enc(u"あい")},
        StreamOutputCase{"Pipe", "\"$CLI\" encode -o /dev/stdout in.txt | cat >out.bin",
                         Enc(u"あい")},
        StreamOutputCase{"Dash", "\"$CLI\" encode -o - in.txt >out.bin", Enc(u"あい")},
        // A device is written to, never replaced: /dev/null takes a trial run.
        StreamOutputCase{"DevNull",
                         "\"$CLI\" encode -o /dev/null in.txt && \"$CLI\" convert -o /dev/null "
                         "in.txt && test -c /dev/null",
                         "OLD"},
        StreamOutputCase{"DecodeToDevStdout",
                         "printf '\\x05' | \"$CLI\" decode -o /dev/stdout >>out.bin",
                         "OLD\xE3\x80\x8D"},
        StreamOutputCase{"NonUtf8Name",
                         "\"$CLI\" encode -o $'\\xff.bin' in.txt\n"
                         "\"$CLI\" write -o $'\\xfe.bin' <<<'41'\n"
                         "test \"$(cat $'\\xfe.bin')\" = A\n"
                         "mv $'\\xff.bin' out.bin && rm $'\\xfe.bin'",
                         Enc(u"あい")},
        StreamOutputCase{"KeepsOwnerAndGroup",
                         "chown 4321:8765 out.bin 2>/dev/null || exit 77; \"$CLI\" encode -o "
                         "out.bin in.txt && \"$CLI\" encode --into out.bin --at 0 in.txt && "
                         "test \"$(stat -c %u:%g out.bin)\" = 4321:8765",
                         Enc(u"あい")},
        // A member of the file's group (here: nobody, in nogroup) may not give
        // the new file to its owner: the group stays and a warning says so.
        StreamOutputCase{
            "OwnerLostIsSaid",
            "chown 4321:65534 out.bin 2>/dev/null && chmod 664 out.bin && "
            "chmod o+x .. && chmod 777 . || exit 77\n"
            "as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups \"$@\"; }\n"
            "as_nobody \"$CLI\" --version >/dev/null 2>&1 && as_nobody test -r in.txt "
            "|| exit 77\n"
            "as_nobody \"$CLI\" encode -o out.bin in.txt 2>../err.txt\n"
            "test \"$(stat -c %u:%g out.bin)\" = 65534:65534\n"
            "grep -q 'out.bin now belongs to you, not to its owner' ../err.txt",
            Enc(u"あい")}),
    CaseName<StreamOutputCase>);

}  // namespace
}  // namespace binconv::cli_test
