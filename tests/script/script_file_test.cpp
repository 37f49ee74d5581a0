// The script file: its escapes read back exactly, and what a file that is
// not one dump wrote gives.

#include "script/script_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "chartable/encoding.h"
#include "codec/encode.h"
#include "codec/encoder.h"
#include "codec/string_end.h"
#include "chartable/tbl.h"
#include "runtime/crc32.h"
#include "runtime/file.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"
#include "support/bytes.h"
#include "support/files.h"
#include "support/gtest_support.h"

namespace binconv {
namespace {

using test::DefaultTables;

std::vector<std::uint8_t> CodeOf(std::u16string_view ch) {
  Encoder encoder(GameTableOf(DefaultTables()));
  std::vector<std::uint8_t> bytes;
  encoder.Feed(ch, bytes);
  encoder.Finish(bytes);
  return bytes;
}

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> bytes;
  for (const auto& part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
  return bytes;
}

std::vector<std::string> Lines(std::vector<std::uint8_t> bytes) {
  std::vector<std::string> lines;
  Decoder decoder(test::DefaultEncoding());
  for (const std::u16string& line : ScriptLinesOf(bytes, test::DefaultEncoding(), decoder)) {
    lines.push_back(EncodeUtf8(line));
  }
  return lines;
}

TEST(ScriptLinesTest, EscapesWhatWouldReadOtherwise) {
  const std::vector<std::uint8_t> semicolon = CodeOf(u";");
  const std::vector<std::uint8_t> at = CodeOf(u"@");
  using L = std::vector<std::string>;
  EXPECT_EQ(Lines({}), L{});
  EXPECT_EQ(Lines({0x56, 0x24, 0x58}), (L{"あ", "い"}));
  EXPECT_EQ(Lines({0x56, 0x24}), L{"あ<24>"});
  EXPECT_EQ(Lines({0x24}), L{"<24>"});
  EXPECT_EQ(Lines({0x24, 0x24}), (L{"", "<24>"}));
  EXPECT_EQ(Lines({0x24, 0x56}), (L{"", "あ"}));
  EXPECT_EQ(Lines({0x20}), L{"<20>"});
  // A lead byte takes the 24 after it: no line break there.
  EXPECT_EQ(Lines({0x20, 0x24}).size(), 1u);
  const std::string hex = "0123456789ABCDEF";
  std::string tag = "<";
  for (const std::uint8_t b : semicolon) tag += std::string{hex[b >> 4], hex[b & 15]};
  tag += ">";
  EXPECT_EQ(Lines(Join({semicolon, semicolon, {0x24, 0x56}, semicolon})), (L{tag + ";", "あ;"}));
  EXPECT_EQ(Lines(Join({{0x56, 0x24}, at})).back().substr(0, 1), "<");
}

// Any string without its end byte at a character boundary comes back from
// its lines exactly, through the script file.
TEST(ScriptLinesTest, ReadBackGivesTheSameBytes) {
  std::mt19937 random(11);
  const std::uint8_t end = 0xFF;
  std::vector<std::uint8_t> interesting = {0x24, 0x50, 0x20, 0x21, 0x22, 0x23, 0x18};
  for (const char16_t* mark : {u";", u"@", u"#", u"<", u">"}) {
    const std::vector<std::uint8_t> code = CodeOf(mark);
    interesting.insert(interesting.end(), code.begin(), code.end());
  }
  for (int round = 0; round < 400; ++round) {
    std::vector<std::uint8_t> bytes;
    for (int n = static_cast<int>(random() % 12); n > 0; --n) {
      std::uint8_t b = random() % 2 ? interesting[random() % interesting.size()]
                                    : static_cast<std::uint8_t>(random());
      if (b == end) continue;
      bytes.push_back(b);
      if (PageOfLeadByte(b) != 0) bytes.push_back(static_cast<std::uint8_t>(random()));
    }
    if (!bytes.empty() && PageOfLeadByte(bytes.back()) != 0 &&
        (bytes.size() < 2 || PageOfLeadByte(bytes[bytes.size() - 2]) == 0)) {
      bytes.pop_back();  // a lone lead byte at the end would take the end byte
    }
    std::string file = "#binconv script 1\n#game g size=1 crc32=00000000\n\n@0\n";
    for (const std::string& line : Lines(bytes)) file += line + "\r\n";
    file += "\n\n";
    std::vector<Problem> problems;
    const ScriptFileContents contents = ParseScriptFile(file, "s.txt", problems);
    ASSERT_TRUE(problems.empty()) << file;
    ASSERT_EQ(contents.entries.size(), 1u);
    const auto encoded =
        EncodeScriptEntry(contents.entries[0], test::DefaultEncoding(), end, "s.txt", problems);
    ASSERT_TRUE(encoded) << file << (problems.empty() ? -1 : static_cast<int>(problems[0].detail));
    std::vector<std::uint8_t> expected = bytes;
    expected.push_back(end);
    // Bytes after a lead byte at the end read as its pair; compare as read.
    ASSERT_EQ(test::Hex(*encoded), test::Hex(expected)) << file;
  }
}

// What a file read gives, one string: the game, then each entry as
// "@N:LINE" and its text lines as " LINE=TEXT".
std::string ContentsOf(const ScriptFileContents& contents) {
  std::string out;
  if (contents.game) {
    out += "[" + contents.game->name + "|" + std::to_string(contents.game->size) + "|" +
           HexText(contents.game->crc32, 8, HexCase::kUpper) + "]";
  }
  for (const ScriptFileEntry& entry : contents.entries) {
    out += "@" + std::to_string(entry.index) + ":" + std::to_string(entry.line);
    for (const ScriptTextLine& line : entry.lines) {
      out += " " + std::to_string(line.line) + "=" + std::string(line.text);
    }
    out += ";";
  }
  return out;
}

struct FileCase {
  const char* name;
  std::string file;
  std::string contents;
  std::vector<std::pair<ProblemCode, std::size_t>> problems{};  // code, line
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class ParseScriptFileTest : public testing::TestWithParam<FileCase> {};

TEST_P(ParseScriptFileTest, EntriesAndProblems) {
  const FileCase& c = GetParam();
  std::vector<Problem> problems;
  EXPECT_EQ(ContentsOf(ParseScriptFile(c.file, "s.txt", problems)), c.contents);
  std::vector<std::pair<ProblemCode, std::size_t>> found;
  for (const Problem& p : problems) found.emplace_back(p.code, p.line);
  EXPECT_EQ(found, c.problems);
}

constexpr char kMark[] = "#binconv script 1\n";
const std::string kGame = std::string(kMark) + "#game g size=32 crc32=0a0b0c0d\n";

INSTANTIATE_TEST_SUITE_P(
    Files, ParseScriptFileTest,
    testing::Values(
        // ";" lines, CRs and the empty lines at an entry's end are not its text;
        // after the first @ a "#" line is text.
        FileCase{
            "HeaderAndEntries",
            kGame + "#plan p s.txt\n\n@3 ptr=0x0 at=0x10 room=2\n;old\nnew\n\n#x\n\n\n@1\r\nb\r\n",
            "[g|32|0A0B0C0D]@3:5 7=new 8= 9=#x;@1:12 13=b;"},
        FileCase{"ByteOrderMark", "\xEF\xBB\xBF" + std::string(kMark) + "@0\n", "@0:2;"},
        // The job tells a repeated entry; the file keeps both, in order.
        FileCase{"RepeatedEntries", std::string(kMark) + "@0\na\n@0\nb", "@0:2 3=a;@0:4 5=b;"},
        FileCase{"NotAScript", "#binconv script 2\n@0\nx\n", "", {{ProblemCode::kNotScript, 1}}},
        FileCase{"Empty", "", "", {{ProblemCode::kNotScript, 0}}},
        FileCase{"NotUtf8", std::string(kMark) + "@0\n\xFF\n", "", {{ProblemCode::kBadUtf8, 3}}},
        FileCase{"BadGameLines",
                 std::string(kMark) +
                     "#game g size=x crc32=00000000\n#game g size=1 crc32=0000000\n"
                     "#game g crc32=00000000\n#game g size=1 crc32=0000000G\n",
                 "",
                 {{ProblemCode::kBadHeader, 2},
                  {ProblemCode::kBadHeader, 3},
                  {ProblemCode::kBadHeader, 4},
                  {ProblemCode::kBadHeader, 5}}},
        // The text after an @ line that can't be read belongs to no entry.
        FileCase{"BadFirstEntryLineThenText",
                 kGame + "@x\ntext\n@\n@12345678901234567890\nmore\n@2\ny\n",
                 "[g|32|0A0B0C0D]@2:8 9=y;",
                 {{ProblemCode::kBadEntryLine, 3},
                  {ProblemCode::kBadEntryLine, 5},
                  {ProblemCode::kBadEntryLine, 6}}},
        // A full-width space typed after the index, on the first @ line.
        FileCase{"FullWidthSpaceAfterTheFirstIndex",
                 kGame + "@0　ptr=0x10 at=0x40 room=8\nあい\n@1 ptr=0x12\nう\n",
                 "[g|32|0A0B0C0D]@1:5 6=う;",
                 {{ProblemCode::kBadEntryLine, 3}}},
        // A ";" line after a text line would silently drop a line of it.
        FileCase{"CommentInsideTheText",
                 kGame + "@0\n;old\nnew\n;note\nmore\n",
                 "[g|32|0A0B0C0D]@0:3 5=new 7=more;",
                 {{ProblemCode::kBadEntryLine, 6}}},
        // ; lines after a blank line: the @ line of an entry was deleted,
        // said once.
        FileCase{"EntryLineDeleted",
                 kGame + "@0\n;a\na\n\n;b\n;c\nb\n",
                 "[g|32|0A0B0C0D]@0:3 5=a 6= 9=b;",
                 {{ProblemCode::kBadEntryLine, 7}}},
        FileCase{"TextBeforeTheFirstEntry",
                 kGame + "hello\n@0\n",
                 "[g|32|0A0B0C0D]@0:4;",
                 {{ProblemCode::kBadEntryLine, 3}}}),
    test::CaseName<FileCase>);

// --exact holds for script texts as for plain entries: only CR LF, which
// joins the lines, is a line break; a lone CR inside a line has no code.
TEST(EncodeScriptEntryTest, ExactTakesOnlyTheLineJoinAsABreak) {
  std::vector<Problem> problems;
  const std::string file = kGame + "@0\nあ\rい\nう\n";  // outlives the entry's lines
  const ScriptFileContents contents = ParseScriptFile(file, "s.txt", problems);
  ASSERT_TRUE(problems.empty());
  const ScriptFileEntry& entry = contents.entries.at(0);
  const std::vector<std::uint8_t> any =
      Join({CodeOf(u"あ"), {0x24}, CodeOf(u"い"), {0x24}, CodeOf(u"う"), {0xFF}});
  const auto loose = EncodeScriptEntry(entry, test::DefaultEncoding(), 0xFF, "s.txt", problems);
  ASSERT_TRUE(loose);
  EXPECT_EQ(test::Hex(*loose), test::Hex(any));
  EXPECT_FALSE(EncodeScriptEntry(entry, test::DefaultEncoding(), 0xFF, "s.txt", problems,
                                 LineBreaks::kCrLf));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].code, ProblemCode::kNoCode);
  EXPECT_EQ(std::pair(problems[0].line, problems[0].column),
            std::pair(std::size_t{4}, std::size_t{2}));
}

// The header dump writes reads back as the same game, a name with spaces
// or control bytes too; its CRC is the whole game's, read in pieces.
TEST(ParseScriptFileTest, HeaderReadsBack) {
  test::ScratchDir scratch;
  const std::vector<std::uint8_t> bytes = test::RandomByteVector((1u << 20) + 5, 3);
  test::WriteAll(scratch.path() / "game", std::string(bytes.begin(), bytes.end()));
  FileReader reader;
  ASSERT_TRUE(reader.Open(scratch.path() / "game").has_value());
  const std::uint32_t crc = GameCrc32(reader).value();
  EXPECT_EQ(crc, Crc32(bytes));
  // Control bytes, and the backslash that escapes them, read back as they were.
  for (const char* name : {"g", "my game.bin", " size=1 crc32=00000000", "ga\nme.bin",
                           "a\\x41\r\x7F\x01.bin"}) {
    std::vector<Problem> problems;
    const std::string header = ScriptHeaderText({name, bytes.size(), crc}, "p", "s.txt");
    const ScriptFileContents contents = ParseScriptFile(header, "s.txt", problems);
    EXPECT_TRUE(problems.empty());
    ASSERT_TRUE(contents.game);
    EXPECT_EQ(contents.game->name, name);
    EXPECT_EQ(contents.game->size, bytes.size());
    EXPECT_EQ(contents.game->crc32, crc);
  }
}

// --- what dump writes, read back ---------------------------------------------

ScriptSpec TableOf(bool split) {
  ScriptSpec def;
  def.shown = "s.txt";
  def.split = split;
  def.table = 0x100;
  def.hi = 0x180;
  def.stride = split ? 0 : 3;
  def.count = 16;
  def.end = 0xFF;
  return def;
}

struct WrittenEntry {
  const char* name;
  bool split = false;
  ScriptString string;
  // The @ line's fields when not those dump writes for the string.
  std::optional<EntryFields> fields{};
};

ScriptString StringOf(std::size_t index, std::vector<std::size_t> pointers, std::uint64_t at,
                      std::uint64_t room, std::optional<std::uint64_t> inside,
                      std::vector<std::uint8_t> bytes, std::vector<std::uint8_t> end = {0xFF}) {
  return {index, std::move(pointers), at, bytes.size() + end.size(), room, inside,
          std::move(bytes), std::move(end)};
}

// Every entry, written after the header and read back in one file: the same
// index, fields and text, so that no field or line runs into the next entry.
TEST(ScriptEntryTest, WrittenEntriesReadBack) {
  const std::vector<std::uint8_t> semicolon = CodeOf(u";");
  const std::vector<WrittenEntry> table = {
      {"OnePointer", false, StringOf(0, {0}, 0x400, 3, std::nullopt, {0x56, 0x57})},
      {"SeveralPointers", false, StringOf(1, {1, 4, 15}, 0x410, 12, std::nullopt, {0x56})},
      {"SplitTable", true, StringOf(2, {2, 9}, 0x420, 5, std::nullopt, {0x58})},
      {"Tail", false, StringOf(3, {3}, 0x411, 0, 0x410, {0x57})},
      {"EmptyText", false, StringOf(5, {5}, 0x430, 1, std::nullopt, {})},
      {"LinesAndAFinalBreak", false, StringOf(6, {6}, 0x440, 9, std::nullopt, {0x56, 0x24, 0x24})},
      {"LinesThatLookLikeMarks", false,
       StringOf(7, {7}, 0x450, 9, std::nullopt, Join({semicolon, {0x24}, semicolon}))},
      {"OtherEndKeptInTheText", false, StringOf(8, {8}, 0x460, 3, std::nullopt, {0x56}, {0x00})},
      {"HugeNumbers", false,
       StringOf(10, {10}, 0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF, 0x8000000000000000, {0x56})},
      {"NoFields", false, StringOf(11, {11}, 0x470, 2, std::nullopt, {0x56}), EntryFields{}},
      {"OnlySomeFields", true, StringOf(12, {12, 13}, 0x480, 2, std::nullopt, {0x56}),
       EntryFields{std::vector<std::size_t>{13}, std::nullopt, 7, std::nullopt}},
  };
  std::string file = ScriptHeaderText({"g", 1, 0}, "p", "s.txt");
  Decoder decoder(test::DefaultEncoding());
  for (const WrittenEntry& c : table) {
    const ScriptSpec def = TableOf(c.split);
    if (!c.fields) {
      AppendScriptEntry(def, c.string, test::DefaultEncoding(), decoder, file);
      continue;
    }
    file += EntryLineOf(def, c.string.index, *c.fields) + "\n";
    for (const std::u16string& line : DumpedLinesOf(def, c.string, test::DefaultEncoding(), decoder)) {
      file += EncodeUtf8(line) + "\n";
    }
  }
  std::vector<Problem> problems;
  const ScriptFileContents contents = ParseScriptFile(file, "s.txt", problems);
  ASSERT_TRUE(problems.empty()) << file;
  ASSERT_EQ(contents.entries.size(), table.size()) << file;
  for (std::size_t k = 0; k < table.size(); ++k) {
    const WrittenEntry& c = table[k];
    SCOPED_TRACE(c.name);
    const ScriptSpec def = TableOf(c.split);
    const ScriptFileEntry& entry = contents.entries[k];
    EXPECT_EQ(entry.index, c.string.index);
    const std::optional<EntryFields> fields = ReadEntryFields(entry, def, problems);
    ASSERT_TRUE(fields) << static_cast<int>(problems.at(0).detail);
    EXPECT_EQ(*fields, c.fields.value_or(FieldsOf(c.string)));
    std::vector<std::string> lines;
    for (const ScriptTextLine& line : entry.lines) lines.emplace_back(line.text);
    std::vector<std::string> written;
    for (const std::u16string& line : DumpedLinesOf(def, c.string, test::DefaultEncoding(), decoder)) {
      written.push_back(EncodeUtf8(line));
    }
    EXPECT_EQ(lines, written);
    if (c.string.end != std::vector<std::uint8_t>{0xFF}) continue;
    // The text itself comes back as the bytes the game had.
    const auto encoded = EncodeScriptEntry(entry, test::DefaultEncoding(), def.end, "s.txt", problems);
    ASSERT_TRUE(encoded);
    EXPECT_EQ(test::Hex(*encoded), test::Hex(Join({c.string.bytes, c.string.end})));
  }
}

// --- a game's own table -------------------------------------------------------

constexpr std::string_view kGameTbl =
    "10=あ\n11=い\n12=う\n30=です\n8141=勇\n$FE=<wait>,1\n/FF=<end>\n/FB=<stop>\n"
    "*FD\n*FC=<page>\nFF01=X\n/E0E1E2E3E4E5E6E7E8E9=<fin>\n";

const GameTable& OwnTable() {
  static const GameTable table = ParseGameTable(kGameTbl, "g.tbl").value();
  return table;
}

struct OwnEntryCase {
  const char* name;
  std::string lines;  // the entry's text lines, LF between them
  std::optional<std::uint8_t> end;
  std::string bytes;        // hex of the bytes insert writes, or empty for a problem
  ProblemCode problem{};    // when refused
  std::size_t line = 0;     // of the problem, in the script file
  std::size_t column = 0;
};

void PrintTo(const OwnEntryCase& c, std::ostream* os) { *os << c.name; }

class OwnEntryTest : public testing::TestWithParam<OwnEntryCase> {};

TEST_P(OwnEntryTest, EncodesOrNamesThePlace) {
  const OwnEntryCase& c = GetParam();
  const std::string file = "#binconv script 1\n#game g size=1 crc32=00000000\n\n@0\n" + c.lines + "\n";
  std::vector<Problem> problems;
  const ScriptFileContents contents = ParseScriptFile(file, "s.txt", problems);
  ASSERT_TRUE(problems.empty());
  const GameTable& codec = OwnTable();
  const auto encoded = EncodeScriptEntry(contents.entries.at(0), codec, c.end, "s.txt", problems);
  if (!c.bytes.empty()) {
    ASSERT_TRUE(encoded) << (problems.empty() ? -1 : static_cast<int>(problems[0].detail));
    EXPECT_EQ(test::Hex(*encoded), c.bytes + " ");
    return;
  }
  ASSERT_FALSE(encoded);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].code, c.problem);
  EXPECT_EQ(problems[0].line, c.line);
  EXPECT_EQ(problems[0].column, c.column);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OwnEntryTest,
    testing::Values(
        OwnEntryCase{"FirstEndTokenAdded", "あです", std::nullopt, "10 30 FF"},
        OwnEntryCase{"EndByteOfThePlan", "あ", 0xFB, "10 FB"},
        OwnEntryCase{"LinesJoinedByTheBreakWithoutText", "あ\nい", std::nullopt, "10 FD 11 FF"},
        OwnEntryCase{"BreakWithTextKept", "あ<page>\nい", std::nullopt, "10 FC 11 FF"},
        OwnEntryCase{"ControlWithTheEndAsParameter", "<wait><FF>勇", std::nullopt, "FE FF 81 41 FF"},
        // A text that ends with an end token ends there: nothing is added.
        OwnEntryCase{"OwnEndToken", "あ<stop>", std::nullopt, "10 FB"},
        OwnEntryCase{"OwnEndTokenAsTag", "あ<FB>", 0xFF, "10 FB"},
        OwnEntryCase{"EndInsideTheText", "あ\nい<end>う", std::nullopt, "", ProblemCode::kEndInText, 6, 2},
        // A control's parameters or a longer code would take the end.
        OwnEntryCase{"ControlWithoutParameters", "あ<FE>", std::nullopt, "", ProblemCode::kEndsInLead, 5, 0},
        OwnEntryCase{"ControlLabelWithoutTag", "い<wait>", std::nullopt, "", ProblemCode::kNoParams, 5, 2},
        OwnEntryCase{"NoCodeOnTheSecondLine", "あ\nか", std::nullopt, "", ProblemCode::kNoCode, 6, 1},
        // A line's start is no file's start: U+FEFF there is a character.
        OwnEntryCase{"ByteOrderMarkStartingALine", "\xEF\xBB\xBF\xE3\x81\x82", std::nullopt, "",
                     ProblemCode::kNoCode, 5, 1},
        OwnEntryCase{"TagLeftOpenAtTheEnd", "あ<", std::nullopt, "", ProblemCode::kUnclosedTag, 5, 2}));

// Where a string of the game ends, one byte at a time, against the longest
// match read by hand.
struct EndCase {
  const char* name;
  bool own;  // the .tbl above, else the default tables
  std::vector<std::uint8_t> bytes;
  std::optional<std::uint8_t> end;
  std::optional<std::size_t> end_at;  // the end unit's first byte
  std::size_t end_size = 1;
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

// 45 characters, then the end token of 10 bytes, then a character.
std::vector<std::uint8_t> LongEnded() {
  std::vector<std::uint8_t> bytes(45, 0x10);
  for (std::uint8_t b = 0xE0; b <= 0xE9; ++b) bytes.push_back(b);
  bytes.push_back(0x11);
  return bytes;
}

class StringEndTest : public testing::TestWithParam<EndCase> {};

TEST_P(StringEndTest, EndsWhereTheGameStops) {
  const EndCase& c = GetParam();
  const GameTable codec = c.own ? OwnTable() : GameTableOf(test::DefaultTables());
  StringEndReader reader(codec, c.end);
  std::optional<std::size_t> at;
  std::size_t size = 0;
  for (std::size_t i = 0; i < c.bytes.size() && !at; ++i) {
    if (auto ended = reader.Feed(c.bytes[i])) {
      at = i + 1 - ended->past - ended->size;
      size = ended->size;
    }
  }
  if (!at) {
    if (auto ended = reader.Finish()) {
      at = c.bytes.size() - ended->past - ended->size;
      size = ended->size;
    }
  }
  EXPECT_EQ(at, c.end_at);
  if (at) {
    EXPECT_EQ(size, c.end_size);
  }
  // StringDecoder shows what comes before the end, whatever follows it.
  StringDecoder decoder(codec, c.end);
  std::u16string cut;
  for (const std::uint8_t b : c.bytes) decoder.Feed(std::span(&b, 1), cut);
  decoder.Finish(cut);
  Decoder whole(codec);
  std::u16string before;
  whole.Feed(std::span(c.bytes).first(at.value_or(c.bytes.size())), before);
  whole.Finish(before);
  EXPECT_EQ(EncodeUtf8(cut), EncodeUtf8(before));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StringEndTest,
    testing::Values(
        EndCase{"DefaultAtAUnitStart", false, {0x56, 0xFF, 0x58}, 0xFF, 1},
        EndCase{"DefaultLeadByteTakesTheEnd", false, {0x20, 0xFF, 0x58, 0xFF}, 0xFF, 3},
        EndCase{"DefaultNoEnd", false, {0x56, 0x57}, 0xFF, std::nullopt},
        EndCase{"OwnEndToken", true, {0x10, 0xFB, 0x11}, std::nullopt, 1},
        EndCase{"OwnParameterIsNoEnd", true, {0xFE, 0xFF, 0x10, 0xFF}, std::nullopt, 3},
        // FF01 is a longer code: FF is an end only where 01 doesn't follow.
        EndCase{"OwnLongerCodeWins", true, {0xFF, 0x01, 0x10, 0xFF, 0x02}, std::nullopt, 3},
        EndCase{"OwnEndKnownAtTheLastByte", true, {0x10, 0xFF}, std::nullopt, 1},
        EndCase{"OwnPlanByte", true, {0x10, 0x11, 0x12}, 0x11, 1},
        EndCase{"OwnPlanByteInsideACode", true, {0x81, 0x41, 0x10}, 0x41, std::nullopt},
        // A long end token after more bytes than a unit holds.
        EndCase{"OwnLongEndToken", true, LongEnded(), std::nullopt, 45, 10}));

}  // namespace
}  // namespace binconv
