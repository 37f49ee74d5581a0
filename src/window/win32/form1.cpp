#include "window/win32/form1.h"

#include <commctrl.h>
#include <richedit.h>
#include <richole.h>
#include <tom.h>

#include <array>
#include <string_view>

#include "window/logic/form_layout.h"
#include "window/logic/form_logic.h"

namespace binconv::window::win32 {
namespace {

constexpr wchar_t kClassName[] = L"binconv.Form1";
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr UINT_PTR kBoxSubclass = 1;
constexpr COLORREF ColorOf(logic::Rgb rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }
// {8CC497C0-A1DF-11CE-8098-00AA0047BE5D}
constexpr GUID kIidTextDocument = {
    0x8CC497C0, 0xA1DF, 0x11CE, {0x80, 0x98, 0x00, 0xAA, 0x00, 0x47, 0xBE, 0x5D}};

int FromTwips(int twips, UINT dpi) {
  return MulDiv(twips, static_cast<int>(dpi), logic::kTwipsPerInch);
}

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string Core(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

bool FaceInstalled(const wchar_t* face) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(
      dc, &wanted,
      [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found_flag) -> int {
        *reinterpret_cast<bool*>(found_flag) = true;
        return 0;
      },
      reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

// "ＭＳ ゴシック" 9 pt in the Shift_JIS character set, as the form was laid out;
// where it is missing, the system's Japanese UI font.
HFONT MakeFont(UINT dpi) {
  static constexpr const wchar_t* kFaces[] = {L"ＭＳ ゴシック", L"MS Gothic",    L"Yu Gothic UI",
                                              L"Meiryo UI",     L"MS UI Gothic", L"IPAGothic"};
  LOGFONTW font{};
  for (const wchar_t* face : kFaces) {
    if (FaceInstalled(face)) {
      lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
      break;
    }
  }
  if (font.lfFaceName[0] == L'\0') {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    lstrcpynW(font.lfFaceName, metrics.lfMessageFont.lfFaceName, LF_FACESIZE);
  }
  font.lfHeight = -MulDiv(logic::kFontPoints, static_cast<int>(dpi), 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = SHIFTJIS_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  return CreateFontIndirectW(&font);
}

// The state of one box's subclass: Text2 swallows the click that gave it the
// focus, whose caret placement would undo SelectAllCode.
struct BoxState {
  bool select_all_on_focus = false;
  bool swallowing_click = false;
};

// Text2 and Text3 let Tab move the focus on, as in a form; Text2 selects its
// whole listing whenever it receives the focus, by keyboard or by mouse.
LRESULT CALLBACK BoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                         DWORD_PTR data) {
  auto* state = reinterpret_cast<BoxState*>(data);
  switch (message) {
    case WM_GETDLGCODE: {
      LRESULT code = DefSubclassProc(box, message, wparam, lparam);
      const MSG* msg = reinterpret_cast<const MSG*>(lparam);
      if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB) {
        code &= ~(DLGC_WANTTAB | DLGC_WANTALLKEYS);
      }
      // The dialog manager would select everything on Tab for any box; only
      // Text2 does that, through SelectAllCode.
      return code & ~DLGC_HASSETSEL;
    }
    case WM_SETFOCUS: {
      const LRESULT result = DefSubclassProc(box, message, wparam, lparam);
      if (state->select_all_on_focus) SendMessageW(box, EM_SETSEL, 0, -1);  // SelectAllCode
      return result;
    }
    case WM_LBUTTONDOWN:
      if (state->select_all_on_focus && GetFocus() != box) {
        SetFocus(box);
        state->swallowing_click = true;
        SetCapture(box);
        return 0;
      }
      break;
    case WM_MOUSEMOVE:
      if (state->swallowing_click) return 0;
      break;
    case WM_LBUTTONUP:
      if (state->swallowing_click) {
        state->swallowing_click = false;
        ReleaseCapture();
        return 0;
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(box, BoxProc, kBoxSubclass);
      delete state;
      break;
    default:
      break;
  }
  return DefSubclassProc(box, message, wparam, lparam);
}

// Holds a Rich Edit box's undo collection while the highlighting changes
// formats, so that Ctrl+Z steps through the user's edits only.
class UndoPause {
 public:
  explicit UndoPause(HWND box) {
    IRichEditOle* ole = nullptr;
    if (SendMessageW(box, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(&ole)) && ole) {
      ole->QueryInterface(kIidTextDocument, reinterpret_cast<void**>(&document_));
      ole->Release();
    }
    if (document_) document_->Undo(tomSuspend, nullptr);
  }
  ~UndoPause() {
    if (document_) {
      document_->Undo(tomResume, nullptr);
      document_->Release();
    }
  }
  UndoPause(const UndoPause&) = delete;
  UndoPause& operator=(const UndoPause&) = delete;

 private:
  ITextDocument* document_ = nullptr;
};

}  // namespace

ControlId IdOf(logic::Control control) {
  switch (control) {
    case logic::Control::kLabel1:
      return kLabel1;
    case logic::Control::kLabel2:
      return kLabel2;
    case logic::Control::kLabel3:
      return kLabel3;
    case logic::Control::kText1:
      return kText1;
    case logic::Control::kText2:
      return kText2;
    case logic::Control::kText3:
      return kText3;
    case logic::Control::kCommand1:
      return kCommand1;
    case logic::Control::kCommand3:
      return kCommand3;
  }
  return kLabel1;
}

RECT PixelsFromTwips(const logic::ControlLayout& place, UINT dpi) {
  const int left = FromTwips(place.left, dpi);
  const int top = FromTwips(place.top, dpi);
  return {left, top, left + FromTwips(place.width, dpi), top + FromTwips(place.height, dpi)};
}

std::wstring GetText(HWND box) {
  const int length = GetWindowTextLengthW(box);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int n = GetWindowTextW(box, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return text;
}

void ReplaceTextUndoable(HWND box, const std::wstring& text) {
  SETTEXTEX how{ST_KEEPUNDO | ST_UNICODE, 1200};
  SendMessageW(box, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how),
               reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageW(box, EM_SETSEL, 0, 0);
}

Form1::~Form1() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  if (font_ != nullptr) DeleteObject(font_);
  if (icon_big_ != nullptr) DestroyIcon(icon_big_);
  if (icon_small_ != nullptr) DestroyIcon(icon_small_);
}

bool Form1::Create(HINSTANCE instance) {
  instance_ = instance;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kClassName;
  RegisterClassExW(&window_class);
  const std::wstring caption = Wide(logic::kCaption);
  hwnd_ = CreateWindowExW(0, kClassName, caption.c_str(), kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
  if (hwnd_ == nullptr) return false;
  dpi_ = GetDpiForWindow(hwnd_);
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance, nullptr);
  CreateControls();
  ApplyFont();
  Layout();
  return true;
}

void Form1::CreateControls() {
  const auto make = [this](const wchar_t* kind, const std::wstring& text, DWORD style,
                           DWORD ex_style, ControlId id) {
    return CreateWindowExW(ex_style, kind, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                           hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                           nullptr);
  };
  // SS_NOTIFY lets a label's tooltip see the mouse. A label's rectangle may
  // reach into the box below it (コード： does by 15 twips): every label goes
  // under the other controls, and WS_CLIPSIBLINGS keeps its background off
  // their borders. Labels take no focus, so the tab order stays.
  const DWORD label = SS_LEFT | SS_NOPREFIX | SS_NOTIFY | WS_CLIPSIBLINGS;
  const DWORD multi_line = ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_TABSTOP;
  HWND text2 = nullptr;
  HWND text3 = nullptr;
  // Created in the tab order, which the dialog manager follows.
  for (const logic::ControlLayout& place : logic::TabOrder()) {
    const ControlId id = IdOf(place.control);
    const std::wstring caption = Wide(place.caption);
    switch (place.kind) {
      case logic::ControlKind::kLabel:
        make(L"STATIC", caption, label, 0, id);
        break;
      case logic::ControlKind::kSingleLine:
        make(L"EDIT", caption, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, id);
        break;
      case logic::ControlKind::kMultiLine:
        text3 = make(L"EDIT", caption, multi_line, WS_EX_CLIENTEDGE, id);
        break;
      case logic::ControlKind::kScrolled:
        text2 = make(MSFTEDIT_CLASS, caption,
                     multi_line | WS_VSCROLL | ES_DISABLENOSCROLL | ES_NOOLEDRAGDROP,
                     WS_EX_CLIENTEDGE, id);
        break;
      case logic::ControlKind::kButton:
        make(L"BUTTON", caption, BS_PUSHBUTTON | WS_TABSTOP, 0, id);
        break;
    }
  }

  for (const logic::ControlLayout& place : logic::kLayout) {
    if (place.kind != logic::ControlKind::kLabel) continue;
    SetWindowPos(control(IdOf(place.control)), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }

  // Plain text in, the highlight the only format; EN_CHANGE drives it.
  SendMessageW(text2, EM_SETEVENTMASK, 0, ENM_CHANGE);
  SendMessageW(text2, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
  SendMessageW(text2, EM_SETTEXTMODE, TM_RICHTEXT | TM_MULTILEVELUNDO, 0);
  SetWindowSubclass(text2, BoxProc, kBoxSubclass, reinterpret_cast<DWORD_PTR>(new BoxState{true}));
  SetWindowSubclass(text3, BoxProc, kBoxSubclass, reinterpret_cast<DWORD_PTR>(new BoxState{}));
  SendMessageW(control(kText3), EM_SETLIMITTEXT, 0, 0);
}

void Form1::ApplyFont() {
  HFONT old = font_;
  font_ = MakeFont(dpi_);
  for (const logic::ControlLayout& place : logic::kLayout) {
    SendMessageW(control(IdOf(place.control)), WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  }
  // Rich Edit takes its default format, not WM_SETFONT alone, for new text.
  LOGFONTW face{};
  GetObjectW(font_, sizeof face, &face);
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_FACE | CFM_SIZE | CFM_CHARSET;
  format.yHeight = logic::kFontPoints * 20;
  format.bCharSet = SHIFTJIS_CHARSET;
  lstrcpynW(format.szFaceName, face.lfFaceName, LF_FACESIZE);
  SendMessageW(control(kText2), EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
  if (old != nullptr) DeleteObject(old);

  if (icon_big_ != nullptr) DestroyIcon(icon_big_);
  if (icon_small_ != nullptr) DestroyIcon(icon_small_);
  const auto icon = [this](int metric) {
    const int size = GetSystemMetricsForDpi(metric, dpi_);
    return static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  };
  icon_big_ = icon(SM_CXICON);
  icon_small_ = icon(SM_CXSMICON);
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_big_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_small_));
}

void Form1::Layout() {
  for (const logic::ControlLayout& place : logic::kLayout) {
    const RECT r = PixelsFromTwips(place, dpi_);
    SetWindowPos(control(IdOf(place.control)), nullptr, r.left, r.top, r.right - r.left,
                 r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT frame{0, 0, FromTwips(logic::kClientWidthTwips, dpi_),
             FromTwips(logic::kClientHeightTwips, dpi_)};
  AdjustWindowRectExForDpi(&frame, kFormStyle, FALSE, 0, dpi_);
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Form1::Load(const Result<std::filesystem::path, Problem>& found) {
  return Start(logic::LoadForm(found));
}

bool Form1::Load(const logic::WindowArgs& args, const TableSearchPlace& place) {
  return Start(logic::LoadForm(args, place));
}

bool Form1::Start(logic::LoadOutcome loaded) {
  SetWindowTextW(control(kText1), Wide(logic::kText1Start).c_str());
  SetWindowTextW(control(kText2), L"");
  SetWindowTextW(control(kText3), L"");
  encoding_ = std::move(loaded.encoding);
  // The code box's caption names the tables' folder (or the .tbl) in its tooltip.
  std::wstring tip = Wide(loaded.tables_tooltip);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(control(kLabel2));
  tool.lpszText = tip.data();
  SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  if (!tip.empty()) SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  if (loaded.error_message) {
    MessageBoxW(nullptr, Wide(*loaded.error_message).c_str(), Wide(logic::kCaption).c_str(),
                MB_OK | MB_ICONERROR);
    return false;
  }
  return true;
}

void Form1::Show(int show_command) {
  ShowWindow(hwnd_, show_command);
  UpdateWindow(hwnd_);
  SetFocus(control(kText1));
}

int Form1::Run() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (PreTranslate(msg) || IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

bool Form1::PreTranslate(const MSG& msg) {
  // Enter on a focused button presses it, as in a form.
  if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN) return false;
  for (ControlId id : {kCommand1, kCommand3}) {
    if (msg.hwnd == control(id)) {
      SendMessageW(msg.hwnd, BM_CLICK, 0, 0);
      return true;
    }
  }
  return false;
}

void Form1::ConvertToCode() {
  const logic::ConvertOutcome outcome =
      logic::ConvertForm(logic::CoreTextFromBox(Core(GetText(control(kText3)))), encoding_);
  uncoded_.Set(outcome.listing, outcome.uncoded);
  showing_listing_ = true;
  ReplaceTextUndoable(control(kText2), Wide(logic::BoxTextFromCore(outcome.listing, u"\r\n")));
  showing_listing_ = false;
  HighlightMarks(false);
}

void Form1::WriteBinary() {
  const logic::WriteOutcome outcome =
      logic::WriteForm(logic::CoreTextFromBox(Core(GetText(control(kText2)))),
                       Core(GetText(control(kText1))), uncoded_);
  switch (outcome.kind) {
    case logic::WriteOutcome::Kind::kWritten:
      break;
    case logic::WriteOutcome::Kind::kBoxMessage:
      ReplaceTextUndoable(control(kText2), Wide(outcome.text));
      break;
    case logic::WriteOutcome::Kind::kErrorDialog:
      MessageBoxW(hwnd_, Wide(outcome.text).c_str(), Wide(logic::kCaption).c_str(),
                  MB_OK | MB_ICONERROR);
      break;
  }
}

void Form1::HighlightMarks(bool track_edit) {
  HWND box = control(kText2);
  // Positions as Rich Edit counts them: one CR for each line break.
  GETTEXTLENGTHEX length_query{GTL_NUMCHARS | GTL_PRECISE, 1200};
  const LRESULT length =
      SendMessageW(box, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length_query), 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GETTEXTEX text_query{static_cast<DWORD>(text.size() * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr,
                       nullptr};
  const LRESULT got = SendMessageW(box, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&text_query),
                                   reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  const std::u16string now = Core(text);
  if (track_edit) {
    // An edit that touches an uncoded character takes its mark away; Ctrl+Z
    // after a writer message brings the listing back with its marks.
    uncoded_.Edit(shown_, now);
    if (uncoded_.holding() && uncoded_.empty()) uncoded_.RestoreIf(logic::CoreTextFromBox(now));
  }
  shown_ = now;

  highlighting_ = true;
  UndoPause pause(box);
  SendMessageW(box, WM_SETREDRAW, FALSE, 0);
  CHARRANGE kept{};
  SendMessageW(box, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&kept));
  CHARFORMAT2W plain{};
  plain.cbSize = sizeof plain;
  plain.dwMask = CFM_BACKCOLOR;
  plain.dwEffects = CFE_AUTOBACKCOLOR;
  SendMessageW(box, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&plain));
  CHARFORMAT2W marked = plain;
  marked.dwEffects = 0;
  marked.crBackColor = ColorOf(logic::kRejectedBackground);
  const auto paint = [box](std::size_t start, std::size_t end, const CHARFORMAT2W& format) {
    CHARRANGE run{static_cast<LONG>(start), static_cast<LONG>(end)};
    SendMessageW(box, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&run));
    SendMessageW(box, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  };
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    if (!logic::IsRejectedInListing(static_cast<char16_t>(text[i]))) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < n && logic::IsRejectedInListing(static_cast<char16_t>(text[end]))) ++end;
    paint(i, end, marked);
    i = end;
  }
  CHARFORMAT2W uncoded = plain;
  uncoded.dwEffects = 0;
  uncoded.crBackColor = ColorOf(logic::kUncodedBackground);
  for (const logic::UncodedMark& mark : uncoded_.marks()) {
    paint(mark.start, mark.start + mark.length, uncoded);
  }
  SendMessageW(box, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&kept));
  SendMessageW(box, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(box, nullptr, TRUE);
  highlighting_ = false;
}

LRESULT CALLBACK Form1::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    form->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return form != nullptr ? form->Handle(message, wparam, lparam)
                         : DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT Form1::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == kCommand1) {
        ConvertToCode();
        return 0;
      }
      if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == kCommand3) {
        WriteBinary();
        return 0;
      }
      if (HIWORD(wparam) == EN_CHANGE && LOWORD(wparam) == kText2 && !highlighting_ &&
          !showing_listing_) {
        HighlightMarks(true);
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wparam);
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyFont();
      Layout();
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      // The window still exists for this last message: DefWindowProcW gets
      // its handle, and only then does the form forget it.
      const HWND hwnd = hwnd_;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

}  // namespace binconv::window::win32
