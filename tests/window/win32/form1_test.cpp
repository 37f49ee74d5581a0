// The Win32 window against the one layout table: each control inside the
// client area without overlaps, its caption, the tables-folder tooltip, and
// the game's own table given with --tbl.

#include "window/win32/form1.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"
#include "window/logic/form_layout.h"
#include "window/logic/form_logic.h"

namespace binconv::window::win32 {
namespace {

namespace fs = std::filesystem;

// Wine creates no window without an X display; Windows always has a desktop.
bool UnderWineWithoutDisplay() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  return wine && GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0;
}

class Win32FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadLibraryExW(L"Msftedit.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    dir_ = test::MakeTempDir("binconv-win32-form");
    for (const char* name : {"Zezovar.ini", "Zezovar_ex.ini"}) {
      fs::copy_file(fs::path(BINCONV_SOURCE_DIR) / "tables" / name, dir_ / name);
    }
    if (UnderWineWithoutDisplay()) {
      GTEST_SKIP() << "Wine has no display here; tools/win32-window-test.sh runs this with one";
    }
    ASSERT_TRUE(form_.Create(GetModuleHandleW(nullptr)));
    ASSERT_TRUE(form_.Load(Result<fs::path, Problem>(dir_)));
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  fs::path dir_;
  Form1 form_;
};

// Every control lies whole inside the client area, and none that takes input
// overlaps another: a label may reach under a box (see below).
TEST_F(Win32FormTest, EveryControlFitsTheClientAreaWithoutOverlaps) {
  RECT client{};
  GetClientRect(form_.hwnd(), &client);
  std::vector<std::pair<std::string, RECT>> inputs;
  for (const logic::ControlLayout& place : logic::kLayout) {
    SCOPED_TRACE(std::string(place.name));
    HWND control = form_.control(IdOf(place.control));
    ASSERT_NE(control, nullptr);
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, form_.hwnd(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_TRUE(r.left < r.right && r.top < r.bottom);
    EXPECT_TRUE(r.left >= client.left && r.top >= client.top && r.right <= client.right &&
                r.bottom <= client.bottom);
    if (place.kind != logic::ControlKind::kLabel) inputs.emplace_back(std::string(place.name), r);
    const std::wstring text = GetText(control);
    const std::u16string_view caption =
        place.control == logic::Control::kText1 ? logic::kText1Start : place.caption;
    EXPECT_EQ(text, std::wstring(caption.begin(), caption.end()));
  }
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    for (std::size_t j = i + 1; j < inputs.size(); ++j) {
      RECT common{};
      EXPECT_FALSE(IntersectRect(&common, &inputs[i].second, &inputs[j].second))
          << inputs[i].first << " overlaps " << inputs[j].first;
    }
  }
}

// A label whose rectangle reaches into another control (コード： into the
// listing box) lies under it and clips it out, so that its background never
// covers the control's border.
TEST_F(Win32FormTest, NoLabelPaintsOverAControlItOverlaps) {
  auto rect_of = [](const logic::ControlLayout& c) {
    return RECT{c.left, c.top, c.left + c.width, c.top + c.height};
  };
  int overlaps = 0;
  for (const logic::ControlLayout& label : logic::kLayout) {
    if (label.kind != logic::ControlKind::kLabel) continue;
    HWND label_window = form_.control(IdOf(label.control));
    for (const logic::ControlLayout& other : logic::kLayout) {
      RECT common{};
      const RECT a = rect_of(label);
      const RECT b = rect_of(other);
      if (&other == &label || !IntersectRect(&common, &a, &b)) continue;
      SCOPED_TRACE(std::string(label.name) + " over " + std::string(other.name));
      ++overlaps;
      EXPECT_NE(GetWindowLongW(label_window, GWL_STYLE) & WS_CLIPSIBLINGS, 0);
      HWND below = form_.control(IdOf(other.control));
      while (below != nullptr && below != label_window) below = GetWindow(below, GW_HWNDNEXT);
      EXPECT_EQ(below, label_window) << "the label is above the control";
    }
  }
  EXPECT_GT(overlaps, 0);
}

// The tooltip of the code box's caption; empty when it has none.
std::wstring TooltipOfCodeCaption(const Form1& form) {
  HWND tooltip = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr);
  while (tooltip != nullptr && GetWindow(tooltip, GW_OWNER) != form.hwnd()) {
    tooltip = FindWindowExW(nullptr, tooltip, TOOLTIPS_CLASSW, nullptr);
  }
  if (tooltip == nullptr) return L"<no tooltip window>";
  wchar_t shown[1024] = {};
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = form.hwnd();
  tool.uId = reinterpret_cast<UINT_PTR>(form.control(kLabel2));
  tool.lpszText = shown;
  SendMessageW(tooltip, TTM_GETTEXTW, std::size(shown), reinterpret_cast<LPARAM>(&tool));
  return shown;
}

TEST_F(Win32FormTest, CodeCaptionTellsTheTablesFolder) {
  const std::wstring expected = L"文字テーブル：" + fs::absolute(dir_).lexically_normal().wstring();
  EXPECT_EQ(TooltipOfCodeCaption(form_), expected);
}

// With --tbl FILE (a UTF-16 name, as Windows passes it) コード変換 goes through
// the game's own table and the tooltip names the file; a bad .tbl is refused.
TEST_F(Win32FormTest, GameTblFromTheCommandLine) {
  const fs::path tbl = dir_ / L"ゲーム.tbl";
  {
    std::ofstream(tbl, std::ios::binary) << "82A0=\xE3\x81\x82\n*0A\n$FE=<wait>,1\n";
  }
  const std::wstring name = tbl.wstring();
  const std::u16string_view args[] = {u"--tbl",
                                      {reinterpret_cast<const char16_t*>(name.c_str()), name.size()}};
  ASSERT_TRUE(form_.Load(logic::WindowArgsOf(args), TableSearchPlace{}));
  EXPECT_EQ(TooltipOfCodeCaption(form_),
            L"ゲームのテーブル：" + fs::absolute(tbl).lexically_normal().wstring());
  SetWindowTextW(form_.control(kText3), L"あx\r\n<wait><1E>");
  SendMessageW(form_.control(kCommand1), BM_CLICK, 0, 0);
  EXPECT_EQ(GetText(form_.control(kText2)), L"82 A0 x 0A\r\nFE 1E ");
  { std::ofstream(tbl, std::ios::binary) << "41=A\n/41=B\n"; }
  // The message box of a bad .tbl is closed as soon as it shows.
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
    if (HWND box = FindWindowW(L"#32770", nullptr)) PostMessageW(box, WM_CLOSE, 0, 0);
  });
  EXPECT_FALSE(form_.Load(logic::WindowArgsOf(args), TableSearchPlace{}));
  KillTimer(nullptr, timer);
  EXPECT_EQ(TooltipOfCodeCaption(form_), L"");
}

}  // namespace
}  // namespace binconv::window::win32
