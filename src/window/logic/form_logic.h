#pragma once
// What the window does on each of its events, apart from any toolkit: the Qt
// window and the Win32 window both call this and only move text between their
// controls and these functions. Box texts here are as the core sees them, with
// every line break as CR LF.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "chartable/char_table.h"
#include "chartable/load.h"
#include "chartable/table_folders.h"
#include "runtime/file.h"

namespace binconv::window {

inline constexpr char16_t kCaption[] = u"バイナリ変換ツール";

// The form's labels and buttons, and the name box's start value.
inline constexpr char16_t kLabel1Caption[] = u"出力ファイル名：";
inline constexpr char16_t kLabel2Caption[] = u"コード：";
inline constexpr char16_t kLabel3Caption[] = u"日本語：";
inline constexpr char16_t kCommand1Caption[] = u"コード変換";
inline constexpr char16_t kCommand3Caption[] = u"バイナリ出力";
inline constexpr char16_t kText1Start[] = u"temp.bin";

// CR LF, lone CR, lone LF, U+2028 and U+2029 each become one CR LF; every
// other character stays.
std::u16string CoreTextFromBox(std::u16string_view raw);

// Core text for a box whose line break is `line_break` ("\n" for Qt, "\r\n"
// for a Windows edit control): CR LF, lone CR and lone LF each become one.
std::u16string BoxTextFromCore(std::u16string_view text, std::u16string_view line_break);

// True unless ch is an ASCII hex digit, a space (U+0020 or U+3000) or one of
// the line breaks a box may hold (CR, LF, U+2028, U+2029): the characters the
// listing box marks because the writer would stop at them.
bool IsRejectedInListing(char16_t ch);

// The load event: the tables from `dir`, or the dialog text that names the
// file, the line and the problem.
struct LoadOutcome {
  CharTable table;
  std::optional<std::u16string> error_message;
};
LoadOutcome LoadForm(const std::filesystem::path& dir);
// The same for the folder the table search found, or the dialog text that
// lists where it looked.
LoadOutcome LoadForm(const Result<std::filesystem::path, TableFolderError>& found);
std::u16string TableFolderErrorText(const TableFolderError& error);

// A click on Command1: the listing for the input box's text.
std::u16string ConvertForm(std::u16string_view text3, const CharTable& table);

// A click on Command3: what the window shows afterwards.
struct WriteOutcome {
  enum class Kind {
    kWritten,      // the file is in place; the boxes stay as they are
    kBoxMessage,   // `text` replaces the listing as one undoable edit
    kErrorDialog,  // `text` goes into an error dialog; the boxes stay as they are
  };
  Kind kind;
  std::u16string text;
};
WriteOutcome WriteForm(std::u16string_view text2, std::u16string_view text1,
                       FileOps& ops = SystemFileOps());

// The dialog texts, in Japanese: what failed, the file, the line where there
// is one, and the reason (the system's own words on Windows).
std::u16string TableErrorText(const TableError& error);
std::u16string WriteErrorText(const IoError& error);
// The reason of an I/O error in Japanese.
std::u16string IoReasonText(const IoError& error);

}  // namespace binconv::window
