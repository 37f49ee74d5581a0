// End-to-end tests of binconv-cli: the built binary runs in a scratch
// directory holding the default tables, with its standard streams captured.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "runtime/version.h"
#include "support/bytes.h"
#include "support/cli_runner.h"
#include "support/gtest_support.h"

namespace {

using namespace binconv::test;

constexpr std::string_view kOddCountMessage = "入力された文字コードが正しくありません";
constexpr std::string_view kBadCharMessage = "不正な文字コードが見つかったので処理を中断しました";

// --- convert ---------------------------------------------------------------

struct ConvertCase {
  const char* name;
  std::vector<std::string> args;
  std::string input;
  std::string listing;
  // Each character without a code is told, and the status is then 1.
  std::vector<std::string> uncoded = {};
};

class CliConvertTest : public testing::TestWithParam<ConvertCase> {};

TEST_P(CliConvertTest, WritesTheListing) {
  const ConvertCase& c = GetParam();
  Scratch fixture;
  std::vector<std::string> args{"convert"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  Outcome outcome = RunCli(fixture, args, {.input = c.input});
  EXPECT_EQ(outcome.exit_code, c.uncoded.empty() ? 0 : 1) << outcome.err;
  EXPECT_EQ(Lines(outcome.err), c.uncoded) << outcome.err;
  EXPECT_EQ(Hex(outcome.out), Hex(c.listing)) << outcome.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliConvertTest,
    testing::Values(
        ConvertCase{"Greeting", {}, "こんにちは、世界！", "67 A7 7F 75 83 00 21 1D 21 34 08 "},
        ConvertCase{"PagesAndLeadCodes", {}, "日本語A", "20 97 20 A0 21 C3 20 08 "},
        ConvertCase{"Empty", {}, "", ""},
        ConvertCase{"ByteOrderMarkSkipped",
                    {},
                    "\xEF\xBB\xBF"
                    "あい",
                    "56 58 "},
        ConvertCase{"OnlyLeadingMarkSkipped",
                    {},
                    "あ\xEF\xBB\xBF",
                    "56 \xEF\xBB\xBF ",
                    {"binconv-cli: -:1:2: no code for '\xEF\xBB\xBF' (U+FEFF)",
                     "-: 1 character without a code left in the listing"}},
        ConvertCase{"SpacesTagsAndUnknown",
                    {},
                    "あ 　<0C01>Ω😀",
                    "56 50 50 0C01 \xCE\xA9 😀 ",
                    {"binconv-cli: -:1:10: no code for 'Ω' (U+03A9)", "binconv-cli: -:1:11: no code for '😀' (U+1F600)",
                     "-: 2 characters without a code left in the listing"}},
        ConvertCase{"AnyLineBreakByDefault",
                    {},
                    "あ\nい\r\nう\rえ\r\n",
                    "56 24\r\n58 24\r\n5A 24\r\n5C 24\r\n"},
        // Write would drop them as line breaks without a word.
        ConvertCase{"ExactKeepsLoneBreaks",
                    {"--exact"},
                    "あ\nい\r\nう\rえ",
                    "56 \n 58 24\r\n5A \r 5C ",
                    {"binconv-cli: -:1:2: no code for '\xEF\xBF\xBD' (U+000A)",
                     "binconv-cli: -:3:2: no code for '\xEF\xBF\xBD' (U+000D)",
                     "-: 2 characters without a code left in the listing"}},
        ConvertCase{"LineBreakMarkTyped", {"--exact"}, "あ鰯い", "56 24\r\n58 "},
        ConvertCase{"DashIsStdin", {"-"}, "カタカナ", "B2 C6 B2 D1 "}),
    CaseName<ConvertCase>);

TEST(CliConvertFileTest, ReadsNamedFileAndWritesOutputFile) {
  Scratch fixture;
  WriteAll(fixture.work() / "in.txt", "カタカナ\n語字");
  WriteAll(fixture.work() / "out.txt", "old");
  Outcome outcome = RunCli(fixture, {"convert", "-o", "out.txt", "in.txt"}, {.input = "ignored"});
  EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(Hex(ReadAll(fixture.work() / "out.txt")), Hex("B2 C6 B2 D1 24\r\n21 C3 22 7B "));
}

// A text spanning many read chunks, with three-byte characters cut at every
// chunk boundary, gives the same listing as its lines one by one.
TEST(CliConvertFileTest, LongInputAcrossChunks) {
  Scratch fixture;
  std::string input;
  std::string expected;
  for (int i = 0; i < 40000; ++i) {
    input += i % 2 == 0 ? "あいう\n" : "日本\r\n";
    expected += i % 2 == 0 ? "56 58 5A 24\r\n" : "20 97 20 A0 24\r\n";
  }
  Outcome outcome = RunCli(fixture, {"convert"}, {.input = input});
  EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
  ASSERT_EQ(outcome.out.size(), expected.size());
  EXPECT_TRUE(outcome.out == expected);
}

TEST(CliConvertFileTest, ClosedPipeEndsQuietly) {
  Scratch fixture;
  std::string input;
  for (int i = 0; i < 100000; ++i) input += "あいう\n";
  Outcome outcome =
      RunCli(fixture, {"convert"}, {.input = input, .stdout_kind = Stdout::kUnreadPipe});
  EXPECT_EQ(outcome.signal, 0);
  EXPECT_NE(outcome.exit_code, 0);
  EXPECT_EQ(outcome.err, "");
}

// --- errors with exit status 2 ---------------------------------------------

struct FailureCase {
  const char* name;
  std::vector<std::string> args;
  std::string input;
  std::vector<std::string> stderr_has;  // every one must appear on stderr
};

class CliFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(CliFailureTest, ExitsWithTwoAndSaysWhy) {
  const FailureCase& c = GetParam();
  Scratch fixture;
  fs::create_directory(fixture.work() / "adir");
  WriteAll(fixture.work() / "old.bin", "old");
  const std::set<std::string> before = fixture.Names();
  Outcome outcome = RunCli(fixture, c.args, {.input = c.input});
  EXPECT_EQ(outcome.exit_code, 2);
  EXPECT_EQ(outcome.err.rfind("binconv-cli: ", 0), 0u) << outcome.err;
  for (const std::string& part : c.stderr_has) {
    EXPECT_NE(outcome.err.find(part), std::string::npos) << "missing '" << part << "' in\n"
                                                         << outcome.err;
  }
  EXPECT_EQ(Lines(outcome.err).size(), 1u) << outcome.err;
  EXPECT_EQ(fixture.Names(), before);
  EXPECT_EQ(ReadAll(fixture.work() / "old.bin"), "old");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliFailureTest,
    testing::Values(
        FailureCase{"MissingTables", {"convert", "--tables", "nowhere"}, "", {"Zezovar.ini"}},
        FailureCase{"MissingTablesEncode",
                    {"encode", "--tables", "adir", "-o", "old.bin"},
                    "あ",
                    {"adir", "Zezovar.ini"}},
        FailureCase{"MissingInput", {"convert", "absent.txt"}, "", {"absent.txt"}},
        FailureCase{"DirectoryAsInput", {"write", "-o", "old.bin", "adir"}, "", {"adir"}},
        FailureCase{"OutputInMissingDir", {"write", "-o", "nodir/x.bin"}, "1A", {"nodir/x.bin"}},
        FailureCase{"DirectoryAsOutputName", {"write", "-o", "adir"}, "1A", {"adir"}},
        FailureCase{"EncodeToMissingDir", {"encode", "-o", "nodir/x.bin"}, "あ", {"nodir/x.bin"}},
        FailureCase{"ConvertToMissingDir", {"convert", "-o", "nodir/x.txt"}, "あ", {"nodir/x.txt"}},
        FailureCase{"NoCommand", {}, "", {"--help"}},
        FailureCase{"UnknownCommand", {"frobnicate"}, "", {"frobnicate", "--help"}},
        FailureCase{"UnknownOption", {"convert", "--fast"}, "", {"--fast", "--help"}},
        FailureCase{"MissingValue", {"convert", "--tables"}, "", {"--tables", "--help"}},
        FailureCase{"FlagWithValue", {"encode", "--exact=1"}, "", {"--exact"}},
        FailureCase{"TwoInputs", {"write", "a", "b"}, "", {"'b'"}},
        // --lang chooses the language wherever it stands, and only ja or en.
        FailureCase{"UnknownCommandInJapanese",
                    {"frobnicate", "--lang", "ja"},
                    "",
                    {"「frobnicate」というコマンドはありません（binconv-cli --help を参照）"}},
        FailureCase{"UnknownLanguage", {"--lang=fr", "convert"}, "", {"'fr'", "ja", "en"}}),
    CaseName<FailureCase>);

// --- the same fault in every command that reads it ------------------------

// A text the user gave, which every command that reads it must refuse with
// status 1 and the same words: "binconv-cli: FILE:LINE:COLUMN: what".
struct Fault {
  const char* name;
  std::string text;
  std::string said;  // after "in.txt:"
  bool in_listing = true;  // a fault of a listing too
};

const Fault kFaults[] = {
    {"BadByte", "あい\r\nう\xFF" "え", "2:2: not valid UTF-8"},
    {"AfterMark", "\xEF\xBB\xBF" "あ\xC0\x80", "1:2: not valid UTF-8"},
    {"TruncatedAtEnd", "あ\n\xE3\x81", "2:1: not valid UTF-8"},
    {"Surrogate", "\rあ\xED\xA0\x80", "2:2: not valid UTF-8"},
    {"FirstByte", "\xF8", "1:1: not valid UTF-8"},
    // Text saved as UTF-16 says so and how to save it.
    {"Utf16", "\xFF\xFE\x42\x30\x44\x30", "1:1: not valid UTF-8; it looks like UTF-16"},
    {"NoCode", "あ\r\n\r\nいΩ", "3:2: no code for 'Ω' (U+03A9)", false},
};

struct Reader {
  const char* name;
  std::vector<std::string> args;  // in.txt is the text; game.bin the file --into changes
  bool listing = false;           // reads in.txt as a listing
};

class CliSameFaultTest : public testing::TestWithParam<Reader> {};

TEST_P(CliSameFaultTest, RefusedWithOneStatusAndOneForm) {
  const Reader& reader = GetParam();
  for (const Fault& fault : kFaults) {
    if (reader.listing && !fault.in_listing) continue;
    SCOPED_TRACE(fault.name);
    Scratch fixture;
    WriteAll(fixture.work() / "in.txt", fault.text);
    WriteAll(fixture.work() / "plan.txt", "0 32 in.txt\n");
    WriteAll(fixture.work() / "game.bin", std::string(64, '\x11'));
    const Outcome outcome = RunCli(fixture, reader.args);
    EXPECT_EQ(outcome.exit_code, 1) << outcome.err;
    const std::string line = "binconv-cli: in.txt:" + fault.said;
    const std::vector<std::string> lines = Lines(outcome.err);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [&](const std::string& l) { return l.starts_with(line); }))
        << "no line starting '" << line << "' in\n" << outcome.err;
    EXPECT_EQ(ReadAll(fixture.work() / "game.bin"), std::string(64, '\x11'));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliSameFaultTest,
    testing::Values(Reader{"Encode", {"encode", "-o", "out.bin", "in.txt"}},
                    Reader{"EncodeInto", {"encode", "--into", "game.bin", "--at", "0", "in.txt"}},
                    Reader{"Convert", {"convert", "-o", "out.txt", "in.txt"}},
                    Reader{"Write", {"write", "-o", "out.bin", "in.txt"}, true},
                    Reader{"WriteInto", {"write", "--into", "game.bin", "--at", "0", "in.txt"}, true},
                    Reader{"Insert", {"insert", "--into", "game.bin", "plan.txt"}}),
    CaseName<Reader>);

// --- write -----------------------------------------------------------------

struct WriteCase {
  const char* name;
  std::vector<std::string> args;
  std::string listing;
  const char* file;  // where the bytes must land
  std::string bytes;
};

class CliWriteTest : public testing::TestWithParam<WriteCase> {};

TEST_P(CliWriteTest, WritesTheBytes) {
  const WriteCase& c = GetParam();
  Scratch fixture;
  WriteAll(fixture.work() / c.file, "previous contents");
  std::vector<std::string> args{"write"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  Outcome outcome = RunCli(fixture, args, {.input = c.listing});
  EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_EQ(outcome.out + outcome.err, "");
  EXPECT_EQ(Hex(ReadAll(fixture.work() / c.file)), Hex(c.bytes));
  std::set<std::string> expected_names{"Zezovar.ini", "Zezovar_ex.ini", c.file};
  EXPECT_EQ(fixture.Names(), expected_names);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliWriteTest,
    testing::Values(
        WriteCase{"Pairs", {"-o", "out.bin"}, "1a 2B", "out.bin", "\x1A\x2B"},
        WriteCase{"DefaultName", {}, "00 FF\r\n7f", "temp.bin", std::string("\x00\xFF\x7F", 3)},
        WriteCase{"BlankNameIsDefault", {"-o", "   "}, "41", "temp.bin", "A"},
        WriteCase{"NameTrimmed", {"--output", "  a b.bin  "}, "41", "a b.bin", "A"},
        WriteCase{"JapaneseName", {"-o", "出力.bin"}, "42", "出力.bin", "B"},
        WriteCase{"EmptyListingEmptiesFile", {"-o", "out.bin"}, " \r\n\n\r", "out.bin", ""},
        WriteCase{"BreaksInsidePair", {"-oout.bin"}, "1\nA\r2\r\nb", "out.bin", "\x1A\x2B"},
        WriteCase{"MarkAndFullWidthSpace",
                  {"-o", "out.bin"},
                  "\xEF\xBB\xBF"
                  "20　21",
                  "out.bin",
                  " !"}),
    CaseName<WriteCase>);

struct RejectCase {
  const char* name;
  std::string listing;
  std::string_view message;
  std::string position;  // the second line, after "LISTING:"
};

class CliWriteRejectTest : public testing::TestWithParam<RejectCase> {};

// Both from standard input and from a named file: the message, the place, and
// neither the old file nor any new file touched.
TEST_P(CliWriteRejectTest, ReportsAndLeavesFilesAlone) {
  const RejectCase& c = GetParam();
  for (const std::string source : {"-", "listing.txt"}) {
    SCOPED_TRACE(source);
    Scratch fixture;
    WriteAll(fixture.work() / "listing.txt", c.listing);
    WriteAll(fixture.work() / "temp.bin", "old");
    WriteAll(fixture.work() / "out.bin", "older");
    const std::set<std::string> before = fixture.Names();
    for (const std::vector<std::string>& args : {std::vector<std::string>{"write", source},
                                                 {"write", "-o", "out.bin", source},
                                                 {"write", "-o", "new.bin", source}}) {
      Outcome outcome = RunCli(fixture, args, {.input = c.listing});
      EXPECT_EQ(outcome.exit_code, 1);
      std::vector<std::string> lines = Lines(outcome.err);
      ASSERT_EQ(lines.size(), 2u) << outcome.err;
      EXPECT_EQ(lines[0], c.message);
      EXPECT_EQ(lines[1], source + ":" + c.position);
      EXPECT_EQ(fixture.Names(), before);
      EXPECT_EQ(ReadAll(fixture.work() / "temp.bin"), "old");
      EXPECT_EQ(ReadAll(fixture.work() / "out.bin"), "older");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliWriteRejectTest,
    testing::Values(
        RejectCase{"OddCount", "1A 2", kOddCountMessage, "1:4: '2' (U+0032)"},
        RejectCase{"OddWinsOverBadChar", "ZZ\r\n1A 2", kOddCountMessage, "2:4: '2' (U+0032)"},
        RejectCase{"OddCountLastIsBad", "1A\r\n\r\n あ", kOddCountMessage, "3:2: 'あ' (U+3042)"},
        RejectCase{"BadChar", "1A\r\nZZ", kBadCharMessage, "2:1: 'Z' (U+005A)"},
        RejectCase{"TabIsBad", "1A\t2", kBadCharMessage, "1:3: '\xEF\xBF\xBD' (U+0009)"},
        RejectCase{"PassedThrough", "56 Ω 7", kBadCharMessage, "1:4: 'Ω' (U+03A9)"},
        RejectCase{"BeyondBmp", "😀12", kBadCharMessage, "1:1: '😀' (U+1F600)"}),
    CaseName<RejectCase>);

// --- encode ----------------------------------------------------------------

// The same text through encode, and through convert followed by write, gives
// the same bytes. Seeded random texts mix kana, kanji, ASCII, spaces, line
// breaks and tags holding hex; lone CR and LF only where they are line breaks.
class CliEncodeMatchesTest : public testing::TestWithParam<unsigned> {};

TEST_P(CliEncodeMatchesTest, SameBytesAsConvertThenWrite) {
  std::mt19937 random(GetParam());
  std::vector<std::string> pieces{"あ", "ん", "ア",  "ヶ",     "、",   "。",     "ー",
                                  "日", "本", "語",  "獲",     "A",    "z",      "0",
                                  "!",  "~",  "ａ",  "９",     " ",    "　",     "\r\n",
                                  "鰯", "<ff＞",  "＜0 1＞", "＜1f＞", "<a1>", "<0C01>", "<ff>"};
  Scratch fixture;
  for (const bool exact : {true, false}) {
    if (!exact) pieces.insert(pieces.end(), {"\n", "\r", "\n\r"});
    std::string text = random() % 2 == 0 ? "\xEF\xBB\xBF" : "";
    const std::size_t length = random() % 300;
    for (std::size_t i = 0; i < length; ++i) text += pieces[random() % pieces.size()];
    SCOPED_TRACE(testing::Message() << "exact " << exact << ": " << text);

    std::vector<std::string> convert_args{"convert", "-o", "listing.txt"};
    std::vector<std::string> encode_args{"encode", "-o", "encoded.bin"};
    if (exact) {
      convert_args.push_back("--exact");
      encode_args.push_back("--exact");
    }
    Outcome converted = RunCli(fixture, convert_args, {.input = text});
    ASSERT_EQ(converted.exit_code, 0) << converted.err;
    Outcome written = RunCli(fixture, {"write", "-o", "written.bin", "listing.txt"});
    ASSERT_EQ(written.exit_code, 0) << written.err;
    Outcome encoded = RunCli(fixture, encode_args, {.input = text});
    EXPECT_EQ(encoded.exit_code, 0) << encoded.err;
    EXPECT_EQ(encoded.err, "");
    EXPECT_EQ(Hex(ReadAll(fixture.work() / "encoded.bin")),
              Hex(ReadAll(fixture.work() / "written.bin")));
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, CliEncodeMatchesTest, testing::Range(1u, 13u));

struct EncodeRejectCase {
  const char* name;
  std::string text;
  std::vector<std::string> stderr_lines;
};

class CliEncodeRejectTest : public testing::TestWithParam<EncodeRejectCase> {};

TEST_P(CliEncodeRejectTest, ListsEveryProblemAndWritesNothing) {
  const EncodeRejectCase& c = GetParam();
  Scratch fixture;
  WriteAll(fixture.work() / "temp.bin", "old");
  const std::set<std::string> before = fixture.Names();
  for (const bool to_default : {true, false}) {
    std::vector<std::string> args{"encode"};
    if (!to_default) args.insert(args.end(), {"-o", "fresh.bin"});
    Outcome outcome = RunCli(fixture, args, {.input = c.text});
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(Lines(outcome.err), c.stderr_lines) << outcome.err;
    EXPECT_EQ(fixture.Names(), before);
    EXPECT_EQ(ReadAll(fixture.work() / "temp.bin"), "old");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliEncodeRejectTest,
    testing::Values(
        EncodeRejectCase{"EveryUnknownCharacter",
                         "aΩb\r\nあβ\nγδ",
                         {"binconv-cli: -:1:2: no code for 'Ω' (U+03A9)", "binconv-cli: -:2:2: no code for 'β' (U+03B2)",
                          "binconv-cli: -:3:1: no code for 'γ' (U+03B3)", "binconv-cli: -:3:2: no code for 'δ' (U+03B4)"}},
        EncodeRejectCase{"NotHexInTag",
                         "あ<0G0>\r\n<zz>",
                         {"binconv-cli: -:1:4: not a hex digit in a tag 'G' (U+0047)",
                          "binconv-cli: -:2:2: not a hex digit in a tag 'z' (U+007A)",
                          "binconv-cli: -:2:3: not a hex digit in a tag 'z' (U+007A)"}},
        // Each tag pairs its own digits: a half byte would shift every code
        // after it.
        EncodeRejectCase{"OddDigitsInTags",
                         "<0>あ<1A>",
                         {"binconv-cli: -:1:1: the hex digits in tags do not pair up",
                          std::string(kOddCountMessage), "-: the hex digits do not pair up"}},
        EncodeRejectCase{"OddTagsThatPairTogether",
                         "<0>あ<1>",
                         {"binconv-cli: -:1:1: the hex digits in tags do not pair up",
                          "binconv-cli: -:1:5: the hex digits in tags do not pair up",
                          std::string(kOddCountMessage), "-: the hex digits do not pair up"}},
        EncodeRejectCase{"ProblemsThenOddCount",
                         "Ω<0>",
                         {"binconv-cli: -:1:1: no code for 'Ω' (U+03A9)",
                          "binconv-cli: -:1:2: the hex digits in tags do not pair up",
                          std::string(kOddCountMessage), "-: the hex digits do not pair up"}},
        EncodeRejectCase{"BeyondBmp", "😀", {"binconv-cli: -:1:1: no code for '😀' (U+1F600)"}}),
    CaseName<EncodeRejectCase>);

TEST(CliEncodeFileTest, NamesTheInputFileInProblems) {
  Scratch fixture;
  WriteAll(fixture.work() / "story.txt", "あ\r\nいΩβ");
  Outcome outcome = RunCli(fixture, {"encode", "story.txt"});
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(outcome.err,
            "binconv-cli: story.txt:2:2: no code for 'Ω' (U+03A9)\n"
            "binconv-cli: story.txt:2:3: no code for 'β' (U+03B2)\n");
  EXPECT_FALSE(fs::exists(fixture.work() / "temp.bin"));
}

// --- help ------------------------------------------------------------------

// Every command the program runs is in the overview, and each command's
// --help names every option its parser takes: in the synopsis (but --help)
// and in the list of options.
TEST(CliHelpCoverageTest, NamesEveryCommandAndEveryOption) {
  Scratch fixture;
  const std::string overview = RunCli(fixture, {"--help"}).out;
  for (const binconv::cli::Command& command : binconv::cli::Commands()) {
    const std::string name(command.name);
    EXPECT_NE(overview.find("\n  " + name + " "), std::string::npos) << name << " not in\n"
                                                                      << overview;
    const Outcome help = RunCli(fixture, {name, "--help"});
    EXPECT_EQ(help.exit_code, 0) << name;
    const std::string synopsis = help.out.substr(0, help.out.find('\n'));
    EXPECT_TRUE(synopsis.starts_with("Usage: binconv-cli " + name + " ")) << synopsis;
    const std::size_t list = help.out.find("\nOptions:\n");
    ASSERT_NE(list, std::string::npos) << name;
    // The flag whole: --tables is not named by --tables-of.
    const auto names = [](const std::string& text, const std::string& flag, std::size_t from) {
      for (std::size_t at = text.find(flag, from); at != std::string::npos;
           at = text.find(flag, at + 1)) {
        const char next = at + flag.size() < text.size() ? text[at + flag.size()] : ' ';
        if (next != '-' && (next < 'a' || next > 'z')) return true;
      }
      return false;
    };
    for (const binconv::cli::OptionSpec& option : command.usage.options) {
      const std::string flag = "--" + std::string(option.name);
      const std::string shown = option.alias != 0 ? std::string{'-', option.alias} : flag;
      if (option.name != "help") {
        EXPECT_TRUE(names(synopsis, shown, 0)) << shown << " not in " << synopsis;
      }
      EXPECT_TRUE(names(help.out, flag, list)) << name << ": no " << flag;
    }
  }
}

struct HelpCase {
  std::vector<std::string> args;
  std::vector<std::string> mentions;
  bool command_list = false;  // whose summaries must line up
};

class CliHelpTest : public testing::TestWithParam<HelpCase> {};

TEST_P(CliHelpTest, DescribesEveryOption) {
  Scratch fixture;
  Outcome outcome = RunCli(fixture, GetParam().args);
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(outcome.err, "");
  for (const std::string& word : GetParam().mentions) {
    EXPECT_NE(outcome.out.find(word), std::string::npos) << "no '" << word << "' in\n"
                                                         << outcome.out;
  }
  if (GetParam().args == std::vector<std::string>{"--version"}) {
    EXPECT_EQ(outcome.out, GetParam().mentions.front());
  }
  if (!GetParam().command_list) return;
  // One column for every summary: 16, or two spaces after the longest name.
  const std::vector<std::string> lines = Lines(outcome.out);
  auto line = std::find(lines.begin(), lines.end(), "Commands:");
  ASSERT_NE(line, lines.end()) << outcome.out;
  std::set<std::size_t> columns;
  std::size_t expected = 16;
  for (++line; line != lines.end() && !line->empty(); ++line) {
    const std::size_t name_end = line->find(' ', 2);
    ASSERT_NE(name_end, std::string::npos) << *line;
    expected = std::max(expected, name_end + 2);
    columns.insert(line->find_first_not_of(' ', name_end));
  }
  EXPECT_EQ(columns, std::set<std::size_t>{expected}) << outcome.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliHelpTest,
    testing::Values(HelpCase{{"--help"},
                             {"convert", "write", "encode", "insert", "dump", "decode", "check-tables",
                              "export-tbl", "import-tbl", "search", "strings", "pointers-to",
                              "Exit status", "--version",
                              "$XDG_CONFIG_HOME/binconv", "../share/binconv/tables"},
                             true},
                    HelpCase{{"--version"},
                             {std::string("binconv-cli ") + binconv::kVersion + "\n"}},
                    HelpCase{{"write", "--help"},
                             {"--into GAME", "--at OFFSET", "--room N", "--fill XX"}},
                    HelpCase{{"encode", "--help"},
                             {"--into GAME", "--at OFFSET", "--room N", "--fill XX"}},
                    HelpCase{{"insert", "--help"},
                             {"--into GAME", "--tables DIR", "--exact", "PLAN",
                              "OFFSET ROOM FILE", "--from ORIGINAL", "-o, --output OUTPUT",
                              "--dry-run", "--map FILE", "format NAME TYPE", "space START..END",
                              "script FILE", "layout=slots|pack"}},
                    HelpCase{{"--lang", "ja", "insert", "--help"},
                             {"使い方: binconv-cli insert", "--into GAME", "オプション:"}},
                    HelpCase{{"dump", "--help"},
                             {"--from GAME", "--tables DIR", "--force", "PLAN", "#binconv script 1"}},
                    HelpCase{{"decode", "--help"}, {"--at OFFSET", "--length N"}},
                    HelpCase{{"export-tbl", "--help"},
                             {"--tables DIR", "--encoding ENC", "cp932", "-o, --output FILE",
                              "--tbl FILE", "canonical"}},
                    HelpCase{{"import-tbl", "--help"},
                             {"--encoding ENC", "--keep-going", "-o, --output DIR", "TBL"}},
                    HelpCase{{"convert", "--help"},
                             {"--tables DIR", "--exact", "-o, --output FILE", "INPUT", "--help",
                              "--tbl FILE", "line-break"}},
                    HelpCase{{"write", "-h"}, {"-o, --output NAME", "temp.bin", "LISTING"}},
                    HelpCase{{"search", "--help"},
                             {"--count", "--relative", "--order ORDER", "--save-tbl FILE",
                              "(after a lead byte)", "gojuon"}},
                    HelpCase{{"strings", "--help"}, {"--min N", "--end XX", "⏎", "LENGTH"}},
                    HelpCase{{"pointers-to", "--help"},
                             {"--format TYPE", "--tables-of", "relative=self", "POINTER_OFFSET",
                              "script"}},
                    HelpCase{{"encode", "--tables", "x", "--help"},
                             {"--tables DIR", "--exact", "-o, --output NAME", "INPUT"}}));

}  // namespace
