// What exists on Windows alone: sharing violations, file attributes, paths
// past 260 characters and Japanese folder names, through the real system.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "codec/write.h"
#include "messages/messages.h"
#include "runtime/file.h"
#include "runtime/utf8.h"
#include "support/files.h"

namespace binconv {
namespace {

// The error as the CLI words it.
std::string EnglishOf(const IoError& error) {
  return messages::Message(messages::Language::kEnglish, error);
}

namespace fs = std::filesystem;

class Win32Files : public ::testing::Test {
 protected:
  test::ScratchDir scratch_;
  const fs::path dir_ = scratch_.path();
};

// The game or the emulator holds the file open without sharing it.
TEST_F(Win32Files, FileOpenInAnotherProgramIsInUse) {
  const fs::path target = dir_ / "out.bin";
  test::WriteAll(target, "old");
  const HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const auto r = ReplaceFileAtomically(target, std::vector<std::uint8_t>{1, 2});
  CloseHandle(held);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().code, IoErrorCode::kInUse) << EnglishOf(r.error());
  EXPECT_EQ(test::ReadAll(target), "old");
  EXPECT_EQ(scratch_.Names(), std::set<std::string>{"out.bin"});
}

TEST_F(Win32Files, ReadOnlyAttributeIsRefusedAndHiddenIsKept) {
  const fs::path locked = dir_ / "locked.bin";
  const fs::path hidden = dir_ / "hidden.bin";
  test::WriteAll(locked, "old");
  test::WriteAll(hidden, "old");
  SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
  const auto refused = ReplaceFileAtomically(locked, std::vector<std::uint8_t>{1});
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().code, IoErrorCode::kPermissionDenied);
  EXPECT_EQ(test::ReadAll(locked), "old");
  SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(ReplaceFileAtomically(hidden, std::vector<std::uint8_t>{0x41}).has_value());
  EXPECT_EQ(test::ReadAll(hidden), "A");
  EXPECT_TRUE(GetFileAttributesW(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

// A symbolic link stays a link, as on Linux: the file it leads to gets the
// new bytes, and a replaced file keeps its creation time (ReplaceFileW).
TEST_F(Win32Files, LinkIsWrittenThroughAndCreationTimeKept) {
  const fs::path real = dir_ / u8"本物.bin";
  const fs::path link = dir_ / u8"リンク.bin";
  test::WriteAll(real, "old");
  FILETIME old_time{};
  old_time.dwHighDateTime = 0x01D00000;  // early 2015
  {
    const HANDLE file = CreateFileW(real.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileTime(file, &old_time, nullptr, nullptr));
    CloseHandle(file);
  }
  // Wine 8's CreateSymbolicLinkW reports success and makes nothing.
  if (!CreateSymbolicLinkW(link.c_str(), real.c_str(), 0) ||
      GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no symbolic links can be made here";
  }
  ASSERT_TRUE(ReplaceFileAtomically(link, std::vector<std::uint8_t>{0x41, 0x42}).has_value());
  EXPECT_EQ(test::ReadAll(real), "AB");
  EXPECT_TRUE(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(real.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.ftCreationTime.dwHighDateTime, old_time.dwHighDateTime);
  EXPECT_EQ(scratch_.Names(), (std::set<std::string>{"本物.bin", "リンク.bin"}));
}

// Past the classic limit of 260 characters, and in Japanese, from the name box.
TEST_F(Win32Files, LongAndJapanesePaths) {
  std::u16string box = u"フォルダー";
  fs::path folder = fs::absolute(dir_) / PathFromUtf8(EncodeUtf8(box));
  ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder.wstring()).c_str(), nullptr));
  while (folder.native().size() < 300) {
    folder /= std::wstring(40, L'長');
    box += u"/" + std::u16string(40, u'長');
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder.wstring()).c_str(), nullptr))
        << GetLastError();
  }
  const fs::path old_cwd = fs::current_path();
  fs::current_path(dir_);
  const auto r = WriteBinary(u"1A 2B", box + u"/出力.bin");
  fs::current_path(old_cwd);
  ASSERT_TRUE(r.has_value()) << EnglishOf(std::get<IoError>(r.error()));
  const auto bytes = ReadFileBytes(folder / L"出力.bin");
  ASSERT_TRUE(bytes.has_value()) << EnglishOf(bytes.error());
  EXPECT_EQ(bytes.value(), "\x1A\x2B");
}

TEST_F(Win32Files, DeviceNamesAreNeverOpened) {
  for (const char* name : {"CON", "nul.txt", "COM3", "lpt1.ini"}) {
    const auto r = ReadFileBytes(PathFromUtf8(name));
    ASSERT_FALSE(r.has_value()) << name;
    EXPECT_EQ(r.error().code, IoErrorCode::kReservedName) << name;
  }
}

}  // namespace
}  // namespace binconv
