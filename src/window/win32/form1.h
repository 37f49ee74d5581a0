#pragma once
// The tool's one window on Windows, in plain Win32: the same form as the Qt
// window, built from the same layout table and calling the same form logic.
// Sizes are in twips and follow the window's DPI.

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

#include "chartable/char_table.h"
#include "chartable/game_table.h"
#include "chartable/table_folders.h"
#include "window/logic/form_layout.h"
#include "window/logic/form_logic.h"
#include "window/logic/uncoded_marks.h"

namespace binconv::window::win32 {

// The controls' IDs, named as the controls are.
enum ControlId : int {
  kLabel1 = 101,
  kLabel2 = 102,
  kLabel3 = 103,
  kText1 = 201,
  kText2 = 202,
  kText3 = 203,
  kCommand1 = 301,
  kCommand3 = 303,
};

// The control of the layout table, and its place in pixels at `dpi`.
ControlId IdOf(logic::Control control);
RECT PixelsFromTwips(const logic::ControlLayout& place, UINT dpi);

class Form1 {
 public:
  Form1() = default;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  ~Form1();

  // Creates the window, hidden, with its controls and their start values.
  bool Create(HINSTANCE instance);
  // The start-up sequence: the boxes get their start values, then the tables
  // are read from `dir`. On failure the message box has been shown.
  bool Load(const Result<std::filesystem::path, Problem>& found);
  // The same as the command line says: with --tbl FILE, that game's own
  // table, named in the tooltip; else the tables the search from `place` finds.
  bool Load(const logic::WindowArgs& args, const TableSearchPlace& place);
  // Shows the window with the focus in Text1.
  void Show(int show_command);
  // Runs the message loop until the window closes; returns the exit status.
  int Run();

  HWND hwnd() const { return hwnd_; }
  HWND control(ControlId id) const { return GetDlgItem(hwnd_, id); }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  void Layout();
  void ApplyFont();
  // The boxes get their start values, then the outcome of the load event.
  bool Start(logic::LoadOutcome loaded);
  void ConvertToCode();
  void WriteBinary();
  // Colours the characters the writer would stop at and the uncoded ones;
  // with `track_edit`, first moves the uncoded marks with the user's edit.
  void HighlightMarks(bool track_edit);
  // Whether `msg` was a key the form handles itself (Enter on a button).
  bool PreTranslate(const MSG& msg);

  HINSTANCE instance_ = nullptr;
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  HICON icon_big_ = nullptr;
  HICON icon_small_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  HWND tooltip_ = nullptr;
  bool highlighting_ = false;
  bool showing_listing_ = false;
  logic::UncodedMarks uncoded_;
  std::u16string shown_;  // Text2 as the last highlighting saw it
  GameTable encoding_ = logic::NoEncoding();  // of the tables, or of --tbl FILE
};

// The box texts as they are, and set as one undoable edit.
std::wstring GetText(HWND box);
void ReplaceTextUndoable(HWND box, const std::wstring& text);

}  // namespace binconv::window::win32
