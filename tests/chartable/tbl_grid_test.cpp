#include "chartable/tbl_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "chartable/encoding.h"
#include "chartable/load.h"
#include "messages/messages.h"
#include "support/gtest_support.h"

namespace binconv {
namespace {

struct Fault {
  ProblemCode code;
  std::size_t line;
  std::size_t other_line = 0;
  friend bool operator==(const Fault&, const Fault&) = default;
};

void PrintTo(const Fault& f, std::ostream* os) {
  *os << "{code " << static_cast<int>(f.code) << ", line " << f.line << ", other " << f.other_line
      << "}";
}

struct ImportCase {
  std::string_view name;
  std::string tbl;
  std::vector<Fault> faults;
  std::size_t placed = 0;
  TblEncoding encoding = TblEncoding::kUtf8;
};

class ImportTblTest : public testing::TestWithParam<ImportCase> {};

// Reading's problems and the grid's come as one list in line order, each
// entry that can't be placed once, showing the entry; the rest are placed.
TEST_P(ImportTblTest, PlacesAnEntryOrNamesWhatIsWrong) {
  const ImportCase& c = GetParam();
  const TblImport imported = ImportTbl(c.tbl, "in.tbl", c.encoding);
  EXPECT_EQ(c.placed, imported.fit.placed);
  std::vector<std::string> lines;  // every case ends its lines with LF
  for (std::size_t at = 0, end; (end = c.tbl.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(c.tbl.substr(at, end - at));
  }
  std::vector<Fault> faults;
  for (const Problem& p : imported.fit.problems) {
    EXPECT_EQ("in.tbl", p.file);
    EXPECT_EQ(p.code == ProblemCode::kBadUtf8 ? "" : lines.at(p.line - 1), p.what);
    faults.push_back({p.code, p.line, p.other_line});
  }
  EXPECT_EQ(c.faults, faults);
}

using P = ProblemCode;

INSTANTIATE_TEST_SUITE_P(
    Entries, ImportTblTest,
    testing::Values(ImportCase{"LeadCode", "2003=漢\n", {}, 1},
                    ImportCase{"FixedBreakAndSpace", "*24\n50=　\n", {}, 0},
                    ImportCase{"BlankLinesAndCommentsSkipped", "\n \t\n# c\n@id\n00=a\n", {}, 1},
                    ImportCase{"BadUtf8ThenReadOn", "\xFF=a\n00=a\n", {{P::kBadUtf8, 1}}, 1},
                    // A code page 932 file read as UTF-8 is told, not taken as it comes.
                    ImportCase{"Utf8AsAsked", "00=\x82\xA0\n", {{P::kBadUtf8, 1}}, 0},
                    ImportCase{"Cp932AsAsked", "00=\x82\xA0\n", {}, 1, TblEncoding::kCp932},
                    ImportCase{"NoEntries",
                               "0=a\n0g=a\n04=\n$FE=<w>,1\n/FF\n*24=x\n!01=b\n",
                               {{P::kGridNotAnEntry, 1},
                                {P::kGridNotAnEntry, 2},
                                {P::kGridNotAnEntry, 4},
                                {P::kGridNotAnEntry, 5},
                                {P::kGridNotAnEntry, 6},
                                {P::kGridNotAnEntry, 7}}},
                    ImportCase{"NoCells",
                               "18=c\n1922=c\n010203=d\n0102030405=d\n*FE\n01=ab\n02=,\n50=x\n",
                               {{P::kGridReservedByte, 1},
                                {P::kGridNoLeadByte, 2},
                                {P::kGridCodeTooLong, 3},
                                {P::kGridCodeTooLong, 4},
                                {P::kGridOtherBreak, 5},
                                {P::kGridNotOneChar, 6},
                                {P::kGridUnstorable, 7},
                                {P::kGridReservedByte, 8}}},
                    // The grid holds no control code, so what one would hide is no
                    // problem of its own.
                    ImportCase{"HiddenByAControl",
                               "$FE=w,1\nFE01=x\n2001=y\n",
                               {{P::kGridNotAnEntry, 1}, {P::kGridNoLeadByte, 2}},
                               1},
                    ImportCase{"SameCell", "03=c\n03=d\n", {{P::kTblDuplicateCode, 2, 1}}, 1},
                    ImportCase{
                        "SecondBreak", "*24\n00=a\n*24\n", {{P::kTblDuplicateCode, 3, 1}}, 1},
                    ImportCase{"SecondSpace", "50=　\n50=　\n", {{P::kTblDuplicateCode, 2, 1}}, 0}),
    test::CaseName<ImportCase>);

// Random tables, exported and imported in the core: every character whose
// cell a text can be encoded to, and decoding shows, keeps that cell.
TEST(TblRoundTripTest, RandomTablesKeepEveryProducibleCell) {
  std::mt19937 rng(13);
  const std::u16string pool = u"あいうえおアイウエオ漢字ｱｲ０１abcXYZ<>＜＞ 　鰯\r\n=*€😀ÄÖÜ丁七万";
  for (int round = 0; round < 40; ++round) {
    CharTable table;
    for (int i = 0; i < 400; ++i) {
      const int index = static_cast<int>(rng() % kCells);
      const CellCode code = CellCode::FromIndex(index);
      std::u16string cell(1, pool[rng() % pool.size()]);
      if (rng() % 6 == 0) cell = std::u16string(1, static_cast<char16_t>(0x4E00 + rng() % 0x5000));
      if (rng() % 20 == 0) cell += u'x';
      table.SetCell(code.page, code.row, code.column, cell);
    }
    for (const TblEncoding encoding : {TblEncoding::kUtf8, TblEncoding::kCp932}) {
      const TblExport exported = ExportTbl(table, encoding);
      const TblImport imported = ImportTbl(exported.bytes, "t.tbl", encoding);
      EXPECT_TRUE(imported.fit.problems.empty())
          << "round " << round << " line " << imported.fit.problems.front().line;
      // A file name may hold any control character; the comment that names it
      // must still leave the table loadable.
      const TableFiles files = WriteTableFiles(imported.fit.table, u"ran\ndom\r\u2028\u0085\t.tbl");
      auto loaded = LoadCharTablesFromBytes(files.main, files.extended);
      ASSERT_TRUE(loaded.has_value()) << messages::Message(messages::Language::kEnglish, loaded.error());
      const ProducibleCells cells(table);
      int checked = 0;
      for (int index = 0; index < kCells; ++index) {
        const CellCode code = CellCode::FromIndex(index);
        const std::optional<char16_t> ch = cells.CharAt(code);
        if (!ch) continue;
        const bool shadowed = std::find(exported.shadowed.begin(), exported.shadowed.end(), code) !=
                              exported.shadowed.end();
        const bool unwritable = std::find(exported.unwritable.begin(), exported.unwritable.end(),
                                          code) != exported.unwritable.end();
        if (shadowed || unwritable) continue;
        EXPECT_EQ(loaded.value().Find(*ch), code) << "round " << round << " cell " << index;
        ++checked;
      }
      // From 37 to over 50 a round with this seed; fewer means the export or
      // the skips above lose cells without a word.
      EXPECT_GE(checked, 30) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace binconv
