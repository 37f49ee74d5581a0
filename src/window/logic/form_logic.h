#pragma once
// What the window does on each of its events, apart from any toolkit: the Qt
// window and the Win32 window both call this and only move text between their
// controls and these functions. Box texts here are as the core sees them, with
// every line break as CR LF.

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/char_table.h"
#include "chartable/game_table.h"
#include "chartable/load.h"
#include "chartable/table_folders.h"
#include "runtime/file.h"
#include "runtime/problem.h"
#include "window/logic/uncoded_marks.h"

namespace binconv::window::logic {

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

// The load event, once the boxes hold their start values (Text1 kText1Start,
// Text2 and Text3 empty): the tables from `dir` and the tooltip of the code
// box's caption, which names their folder without a change to the layout; or
// the dialog text that names the file, the line and the problem (the tooltip
// is then empty).
struct LoadOutcome {
  // The encoding conversion goes through: that of the tables, or of a
  // game's own table given with --tbl FILE, whose file the tooltip names then.
  GameTable encoding;
  std::optional<std::u16string> error_message;
  std::u16string tables_tooltip;
};
// No encoding: what the form holds when none could be loaded.
inline GameTable NoEncoding() { return GameTable(std::vector<GameCode>{}); }
LoadOutcome LoadForm(const std::filesystem::path& dir);
// The same for the folder the table search found, or the dialog text that
// lists where it looked.
LoadOutcome LoadForm(const Result<std::filesystem::path, Problem>& found);
std::u16string TableFolderErrorText(const Problem& error);

// What the window's command line asks for besides --help and --version:
// "--tbl FILE" or "--tbl=FILE" (the last one given) names a game's own
// table; any other argument is refused, so that a typo is not taken for the
// tables the search finds.
struct WindowArgs {
  std::optional<std::filesystem::path> tbl;
  bool tbl_without_file = false;  // "--tbl" last, with no FILE after it
  std::optional<std::u16string> unknown;  // the first argument of neither form
};
// The arguments after the program's name: names in UTF-8 (as Linux passes
// them), or in UTF-16 (as Windows does).
WindowArgs WindowArgsOf(std::span<const std::string_view> args);
WindowArgs WindowArgsOf(std::span<const std::u16string_view> args);

// The load event for the command line: with --tbl FILE, the .tbl FILE and a
// tooltip that names it, or the dialog text that names FILE:LINE for each
// problem; without it, the tables the search from `place` finds.
LoadOutcome LoadForm(const WindowArgs& args, const TableSearchPlace& place);
LoadOutcome LoadGameTblForm(const std::filesystem::path& file);
std::u16string GameTblErrorText(std::span<const Problem> problems);

// A click on Command1: the listing for the input box's text, with the marks of
// the characters it leaves without a code.
struct ConvertOutcome {
  std::u16string listing;
  std::vector<UncodedChar> uncoded;
};
ConvertOutcome ConvertForm(std::u16string_view text3, const GameTable& encoding);

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
// While conversion's `uncoded` marks still stand, nothing is written and the
// writer's bad-character message is shown: the writer would take an uncoded
// hex digit for part of a code. The marks are then held, so that Ctrl+Z
// brings them back with the listing.
WriteOutcome WriteForm(std::u16string_view text2, std::u16string_view text1, UncodedMarks& uncoded,
                       FileOps& ops = SystemFileOps());

// The dialog texts, in Japanese: what failed, the file, the line where there
// is one, and the reason (the system's own words on Windows).
std::u16string TableErrorText(const Problem& error);
std::u16string WriteErrorText(const IoError& error);
// The reason of an I/O error in Japanese.
std::u16string IoReasonText(const IoError& error);

}  // namespace binconv::window::logic
