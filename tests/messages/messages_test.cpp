#include "messages/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "runtime/utf8.h"

namespace binconv::messages {
namespace {

constexpr Language kLanguages[] = {Language::kEnglish, Language::kJapanese};

// The values a key's placeholders are filled from, by the family of the key.
Values ValuesFor(std::string_view key, Language language) {
  static const Problem problem{ProblemCode::kNoCode};
  if (key.starts_with("SpaceFree")) {
    return [](std::string_view name) -> std::optional<std::string> {
      if (name == "space" || name == "free") return "1";
      return std::nullopt;
    };
  }
  if (key.starts_with("count.")) {
    return [](std::string_view name) -> std::optional<std::string> {
      if (name == "n") return "2";
      return std::nullopt;
    };
  }
  if (key.starts_with("IoErrorCode.")) return [](std::string_view) { return std::nullopt; };
  if (key.starts_with("IoDetail.") || key.starts_with("IoError.")) {
    static const IoError io_error{IoErrorCode::kOther, "a", 0, "why"};
    return ValuesOf(language, io_error);
  }
  return ValuesOf(language, problem);  // "k...", "Problem.", "ProblemDetail."
}

// The names of a text's placeholders, each once.
std::set<std::string> PlaceholdersOf(std::string_view text) {
  std::set<std::string> names;
  for (std::size_t open = text.find('{'); open != std::string_view::npos;
       open = text.find('{', open + 1)) {
    names.emplace(text.substr(open + 1, text.find('}', open) - open - 1));
  }
  return names;
}

// Keys whose functions fill their values themselves (pointers-to, --into):
// checked below through those functions.
bool FilledByItsFunction(std::string_view key) {
  return key.starts_with("PointerMapErrorCode.") || key.starts_with("UnreachableTarget") ||
         key.starts_with("TableFinding.");
}

// Each message has both languages, and every placeholder of each has a
// value: a misspelt one in a translation would show its braces to the user.
// Both languages name the same values, but where the window shows more.
TEST(Catalogue, EveryKeyHasBothLanguagesAndEveryPlaceholderAValue) {
  const std::span<const Entry> catalogue = Catalogue();
  ASSERT_FALSE(catalogue.empty());
  // Lookups search it in key order.
  EXPECT_TRUE(std::ranges::is_sorted(catalogue, std::less<>(), &Entry::key));
  EXPECT_EQ(std::ranges::adjacent_find(catalogue, {}, &Entry::key), catalogue.end());
  for (const Entry& entry : catalogue) {
    EXPECT_FALSE(entry.english.empty()) << entry.key;
    EXPECT_FALSE(entry.japanese.empty()) << entry.key;
    if (entry.key != "kBadUtf8") {
      EXPECT_EQ(PlaceholdersOf(entry.english), PlaceholdersOf(entry.japanese)) << entry.key;
    }
    // Keyed by its English, a text is filled where the code says it.
    if (FilledByItsFunction(entry.key) || entry.key == entry.english) continue;
    for (Language language : kLanguages) {
      const std::string text = Format(language, entry.key, ValuesFor(entry.key, language));
      EXPECT_EQ(text.find('{'), std::string::npos) << entry.key << ": " << text;
    }
  }
}

// Every problem, in each of the forms its values choose, has a message: one
// without would show its key.
TEST(Catalogue, EveryProblemCodeHasAKey) {
  const auto has = [](std::string_view key) {
    return std::ranges::binary_search(Catalogue(), key, std::less<>(), &Entry::key);
  };
  for (int n = 0; n <= static_cast<int>(kLastProblemCode); ++n) {
    const auto code = static_cast<ProblemCode>(n);
    ASSERT_FALSE(KeyOf(code).empty()) << n;
    for (int form = 0; form < 8; ++form) {
      Problem problem{code};
      problem.other_line = form & 1;
      problem.ch = form & 1 ? U'x' : 0;
      problem.what = form & 2 ? "spaces" : "";
      if (form & 1) problem.spaces.push_back({});
      problem.at = form & 1 ? 8 : 0;
      problem.game_size = 8;
      problem.map_error = static_cast<PointerMapErrorCode>(form % 7);
      EXPECT_TRUE(has(KeyOf(problem))) << KeyOf(problem);
    }
    // Some codes choose their words by their detail.
    for (int d = 0; d <= static_cast<int>(kLastProblemDetail); ++d) {
      Problem problem{code};
      problem.detail = static_cast<ProblemDetail>(d);
      EXPECT_TRUE(has(KeyOf(problem))) << KeyOf(problem);
    }
  }
  for (int n = 1; n <= static_cast<int>(kLastProblemDetail); ++n) {
    EXPECT_TRUE(has(KeyOf(static_cast<ProblemDetail>(n)))) << n;
  }
  // The parts of a plan a problem names, worded in each language.
  for (int n = 1; n <= static_cast<int>(kLastPlanPartKind); ++n) {
    for (Language language : kLanguages) {
      const std::string word = Word(language, {static_cast<PlanPartKind>(n), 1, 2});
      EXPECT_TRUE(!word.empty() && !word.starts_with("PlanPart.") &&
                  word.find('{') == std::string::npos)
          << n << ": " << word;
    }
  }
  for (IoErrorCode code : {IoErrorCode::kNotFound, IoErrorCode::kOther})
    EXPECT_TRUE(has(KeyOf(code)));
  for (int n = 1; n <= static_cast<int>(kLastIoDetail); ++n) {
    EXPECT_TRUE(has(KeyOf(static_cast<IoDetail>(n)))) << n;
  }
}

// The messages of pointers-to and --into, through the functions that fill
// them: every code has its text and every placeholder its value.
TEST(Catalogue, PointersToAndIntoFillEveryPlaceholder) {
  for (Language language : kLanguages) {
    std::vector<std::string> texts;
    for (int n = 0; n <= static_cast<int>(PointerMapErrorCode::kOutsideWindow); ++n)
      texts.push_back(Message(language, static_cast<PointerMapErrorCode>(n)));
    texts.push_back(Message(language, UnreachableTarget{16, PointerMapErrorCode::kDoesNotFit}, "g"));
    texts.push_back(Message(language, UnreachableTarget{16, std::nullopt}, "g"));
    // Every finding of check-tables, with each thing it names.
    for (int kind = 0; kind <= static_cast<int>(TableFindingKind::kReservedByte); ++kind) {
      for (const char16_t* cell : {u"<", u"\u3000", u"\u9C2F", u"a"}) {
        const TableFinding finding{
            static_cast<TableFindingKind>(kind), CellCode{0, 2, 1}, {0, 2, 3}, cell};
        texts.push_back(Message(language, finding, {"m", "e"}));
      }
    }
    texts.push_back(UnchangedMessage(language, "g"));
    for (const std::string& text : texts) {
      EXPECT_FALSE(text.empty());
      EXPECT_EQ(text.find('{'), std::string::npos) << text;
      EXPECT_FALSE(text.find("Code.") != std::string::npos) << text;  // a key, not its text
    }
  }
}

// A value is put in as it is: braces in a file name or a reason are not
// placeholders.
// The locale's variables as gettext reads them, in their order.
struct LocaleCase {
  std::map<std::string, std::string> set;
  std::optional<Language> language;
};

void PrintTo(const LocaleCase& c, std::ostream* os) {
  for (const auto& [name, value] : c.set) *os << name << "=" << value << " ";
}

class LanguageOfEnvironmentTest : public testing::TestWithParam<LocaleCase> {};

TEST_P(LanguageOfEnvironmentTest, TheFirstVariableSetDecides) {
  const auto variable = [&](std::string_view name) -> std::optional<std::string> {
    const auto found = GetParam().set.find(std::string(name));
    if (found == GetParam().set.end()) return std::nullopt;
    return found->second;
  };
  EXPECT_EQ(LanguageOfEnvironment(variable), GetParam().language);
}

INSTANTIATE_TEST_SUITE_P(
    Variables, LanguageOfEnvironmentTest,
    testing::Values(
        LocaleCase{{}, std::nullopt}, LocaleCase{{{"LANG", ""}}, std::nullopt},
        LocaleCase{{{"LANG", "ja_JP.UTF-8"}}, Language::kJapanese},
        LocaleCase{{{"LANG", "C.UTF-8"}}, Language::kEnglish},
        LocaleCase{{{"LC_MESSAGES", "ja_JP.eucJP@x"}, {"LANG", "en_US"}}, Language::kJapanese},
        LocaleCase{{{"LC_ALL", "en_GB.UTF-8"}, {"LC_MESSAGES", "ja_JP"}}, Language::kEnglish},
        // LANGUAGE is a list of preferences; the first one spoken wins, and
        // one that names none spoken means the untranslated English.
        LocaleCase{{{"LANGUAGE", "fr:ja"}, {"LANG", "C"}}, Language::kJapanese},
        LocaleCase{{{"LANGUAGE", "ja"}, {"LC_ALL", "C"}}, Language::kJapanese},
        LocaleCase{{{"LANGUAGE", "fr_FR"}, {"LANG", "ja_JP.UTF-8"}}, Language::kEnglish},
        LocaleCase{{{"LANGUAGE", ""}, {"LANG", "ja"}}, Language::kJapanese}));

TEST(Format, ValuesAreNotFilledAgain) {
  Problem problem{ProblemCode::kBadLine, "{line}.txt", 3};
  problem.detail = ProblemDetail::kBadRange;
  problem.what = "{file} {line}";
  EXPECT_EQ(Describe(Language::kEnglish, problem),
            "{line}.txt:3: '{file} {line}' is not a range START..END with START <= END");
}

// A name from the system that is not UTF-8 is shown byte by byte in the
// window, and only its own line is.
TEST(Format, NotUtf8StaysWithinItsOwnValueAndLine) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows names folders in UTF-16: no name is not UTF-8 there";
#endif
  Problem error{ProblemCode::kNoTableFolder, "Zezovar.ini"};
  error.files = {"/\xFF", "/表"};
  const std::u16string text = MessageUtf16(Language::kJapanese, error);
  EXPECT_TRUE(text.starts_with(u"文字テーブルが見つかりませんでした。\n"));
  EXPECT_TRUE(text.ends_with(u"\n  /\xFFFF\n  /表")) << EncodeUtf8(text);
}

// English takes the system's reason; where there is none, the catalogue's.
TEST(IoReason, TheSystemsWordsFirst) {
  EXPECT_EQ(Message(Language::kEnglish, IoError{IoErrorCode::kNotFound, "a", 2, "No such file"}),
            "a: No such file");
  EXPECT_EQ(Message(Language::kEnglish, IoError{IoErrorCode::kNotFound, "a", 0, ""}),
            "a: No such file or folder");
}

// The words of a problem that says what it found against what it expected:
// the two numbers, and the files it names, each in its own place.
struct FoundCase {
  const char* name;
  ProblemCode code;
  ProblemDetail detail;
  std::string english;
};

class FoundAgainstExpectedTest : public testing::TestWithParam<FoundCase> {};

TEST_P(FoundAgainstExpectedTest, EachNumberAndFileInItsPlace) {
  Problem problem{GetParam().code, "p.bps"};
  problem.what = "o";
  problem.other_what = "m";
  problem.at = 0x10;
  problem.number = 0xABC;
  problem.other_number = 0x12;
  problem.bytes = 9;
  problem.room = 4;
  problem.detail = GetParam().detail;
  EXPECT_EQ(Message(Language::kEnglish, problem), GetParam().english);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FoundAgainstExpectedTest,
    testing::Values(
        FoundCase{"NotReproduced", ProblemCode::kNotReproduced, ProblemDetail::kNone,
                  "the patch made would not give back m (it differs from byte 0x10 on); it was "
                  "not written"},
        FoundCase{"BadTruncation", ProblemCode::kPatchBadTruncation, ProblemDetail::kNone,
                  "p.bps: damaged: it truncates the result to 18 bytes at byte 0x10, but the "
                  "result has only 2748 bytes"},
        FoundCase{"Incomplete", ProblemCode::kPatchIncomplete, ProblemDetail::kNone,
                  "p.bps: damaged: its actions end after 18 bytes of the 2748 bytes of the result"},
        FoundCase{"PatchCrc", ProblemCode::kPatchCrc, ProblemDetail::kNone,
                  "p.bps: damaged: its CRC-32 is 0x00000012 but it records 0x00000ABC"},
        FoundCase{"SourceSize", ProblemCode::kPatchSourceSize, ProblemDetail::kNone,
                  "o is not the file this patch was made for: it has 18 bytes, the patch expects "
                  "2748 bytes"},
        FoundCase{"TargetCrc", ProblemCode::kPatchTargetCrc, ProblemDetail::kNone,
                  "p.bps is damaged: the result's CRC-32 is 0x00000012 but the patch promises "
                  "0x00000ABC (o is the right file: its CRC-32 matched)"},
        FoundCase{"PairPastRoom", ProblemCode::kPlaceTooLong, ProblemDetail::kFirstPairPast,
                  "5 bytes too long for the room of 4 bytes (9 bytes in all); pair 2748, which "
                  "starts here, is the first that does not fit"}),
    [](const testing::TestParamInfo<FoundCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace binconv::messages
