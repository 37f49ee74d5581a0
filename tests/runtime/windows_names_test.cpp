#include "runtime/windows_names.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace binconv {
namespace {

struct NameCase {
  std::u16string name;
  std::optional<WindowsNameProblem> problem;
};

class WindowsNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(WindowsNameTest, Judges) {
  EXPECT_EQ(CheckWindowsName(GetParam().name), GetParam().problem)
      << std::string(GetParam().name.begin(), GetParam().name.end());
}

constexpr auto kBad = WindowsNameProblem::kBadCharacter;
constexpr auto kEnd = WindowsNameProblem::kTrailingDotOrSpace;
constexpr auto kDevice = WindowsNameProblem::kReservedDevice;

INSTANTIATE_TEST_SUITE_P(
    Names, WindowsNameTest,
    ::testing::Values(
        NameCase{u"temp.bin", std::nullopt}, NameCase{u"出力ファイル.bin", std::nullopt},
        NameCase{u".hidden", std::nullopt}, NameCase{u".", std::nullopt},
        NameCase{u"..", std::nullopt}, NameCase{u"a b.bin", std::nullopt},
        // Near misses of device names are ordinary names.
        NameCase{u"CONSOLE", std::nullopt}, NameCase{u"COM10", std::nullopt},
        NameCase{u"LPT", std::nullopt}, NameCase{u"NULL.bin", std::nullopt},
        NameCase{u"xCON", std::nullopt}, NameCase{u"COM0x", std::nullopt},
        NameCase{u"ＣＯＮ", std::nullopt}, NameCase{u"a<b", kBad}, NameCase{u"a>b", kBad},
        NameCase{u"a:b", kBad}, NameCase{u"a\"b", kBad}, NameCase{u"a|b", kBad},
        NameCase{u"a?b", kBad}, NameCase{u"*.bin", kBad}, NameCase{u"a\\b", kBad},
        NameCase{u"a/b", kBad}, NameCase{u"tab\there", kBad},
        NameCase{std::u16string(u"nul\0x", 5), kBad}, NameCase{u"out.", kEnd},
        NameCase{u"out ", kEnd}, NameCase{u"CON.", kEnd}, NameCase{u"CON", kDevice},
        NameCase{u"con", kDevice}, NameCase{u"Prn.txt", kDevice}, NameCase{u"AUX.tar.gz", kDevice},
        NameCase{u"nul", kDevice}, NameCase{u"COM1", kDevice}, NameCase{u"com9.bin", kDevice},
        NameCase{u"LPT1", kDevice}, NameCase{u"lpt9.x", kDevice}, NameCase{u"COM\u00B9", kDevice},
        NameCase{u"CON .bin", kDevice}, NameCase{u"CONIN$", kDevice},
        NameCase{u"conout$.txt", kDevice}, NameCase{std::u16string(255, u'n'), std::nullopt},
        NameCase{std::u16string(256, u'n'), WindowsNameProblem::kTooLong}));

}  // namespace
}  // namespace binconv
