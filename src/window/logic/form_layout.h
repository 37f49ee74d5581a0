#pragma once
// The form as it was designed, for both windows: its caption, its client size
// and each control's kind, caption, place and tab index in twips (1/1440 inch),
// the font size and the colours of highlighted characters. A window turns
// twips into its own units; it holds no caption or size of its own.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "codec/write.h"

namespace binconv::window::logic {

inline constexpr std::u16string_view kCaption = u"バイナリ変換ツール";
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kClientWidthTwips = 7020;
inline constexpr int kClientHeightTwips = 4815;
inline constexpr int kFontPoints = 9;
// The name box's start value.
inline constexpr std::u16string_view kText1Start = kDefaultOutputName;

enum class Control { kLabel1, kLabel2, kLabel3, kText1, kText2, kText3, kCommand1, kCommand3 };

enum class ControlKind {
  kLabel,
  kSingleLine,  // a one-line text box
  kMultiLine,   // a multi-line text box without scroll bars
  kScrolled,    // a multi-line text box with a vertical scroll bar
  kButton,
};

struct ControlLayout {
  Control control;
  std::string_view name;  // the control's name, as the form's API knows it
  ControlKind kind;
  std::u16string_view caption;   // of a label or button; empty for a box
  int left, top, width, height;  // twips from the client area's top left corner
  int tab_index;
};

// Top to bottom, as the form reads.
inline constexpr std::array<ControlLayout, 8> kLayout = {{
    {Control::kLabel3, "Label3", ControlKind::kLabel, u"日本語：", 150, 60, 2415, 285, 5},
    {Control::kText3, "Text3", ControlKind::kMultiLine, u"", 150, 300, 6765, 1455, 6},
    {Control::kCommand1, "Command1", ControlKind::kButton, u"コード変換", 2700, 1830, 1515, 345, 7},
    {Control::kLabel2, "Label2", ControlKind::kLabel, u"コード：", 150, 2190, 2325, 255, 4},
    {Control::kText2, "Text2", ControlKind::kScrolled, u"", 150, 2430, 6765, 1335, 1},
    {Control::kLabel1, "Label1", ControlKind::kLabel, u"出力ファイル名：", 150, 3840, 2175, 285, 3},
    {Control::kText1, "Text1", ControlKind::kSingleLine, u"", 150, 4050, 6765, 285, 0},
    {Control::kCommand3, "Command3", ControlKind::kButton, u"バイナリ出力", 2670, 4410, 1515, 375,
     2},
}};

constexpr const ControlLayout& LayoutOf(Control control) {
  return *std::find_if(kLayout.begin(), kLayout.end(),
                       [control](const ControlLayout& c) { return c.control == control; });
}

// The controls in tab-index order, labels included (they take no focus).
constexpr std::array<ControlLayout, kLayout.size()> TabOrder() {
  std::array<ControlLayout, kLayout.size()> order = kLayout;
  std::sort(order.begin(), order.end(), [](const ControlLayout& a, const ControlLayout& b) {
    return a.tab_index < b.tab_index;
  });
  return order;
}

struct Rgb {
  std::uint8_t red, green, blue;
};
// Light red behind a character the writer would stop at.
inline constexpr Rgb kRejectedBackground{255, 196, 196};
// Amber behind a character conversion left without a code: a hex digit among
// them looks like a code, so it must stand out from the codes and the rejects.
inline constexpr Rgb kUncodedBackground{255, 214, 102};

}  // namespace binconv::window::logic
