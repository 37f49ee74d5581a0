#include "runtime/windows_names.h"

#include <array>

namespace binconv {
namespace {

char16_t AsciiUpper(char16_t ch) { return ch >= u'a' && ch <= u'z' ? ch - (u'a' - u'A') : ch; }

bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

// Windows also takes the superscript digits 1 to 3 as port numbers.
bool IsPortDigit(char16_t ch) {
  return (ch >= u'1' && ch <= u'9') || ch == u'\u00B9' || ch == u'\u00B2' || ch == u'\u00B3';
}

// The part Windows compares with the device names: up to the first dot, with
// spaces before that dot dropped ("nul .txt" is NUL as well).
bool IsReservedDevice(std::u16string_view name) {
  std::u16string_view base = name.substr(0, name.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  static constexpr std::array<std::u16string_view, 6> kDevices = {u"CON", u"PRN",    u"AUX",
                                                                  u"NUL", u"CONIN$", u"CONOUT$"};
  for (std::u16string_view device : kDevices) {
    if (EqualsAsciiNoCase(base, device)) return true;
  }
  if (base.size() == 4 && IsPortDigit(base[3])) {
    return EqualsAsciiNoCase(base.substr(0, 3), u"COM") ||
           EqualsAsciiNoCase(base.substr(0, 3), u"LPT");
  }
  return false;
}

}  // namespace

std::optional<WindowsNameProblem> CheckWindowsName(std::u16string_view name) {
  if (name == u"." || name == u"..") return std::nullopt;
  for (char16_t ch : name) {
    if (ch < 0x20 || std::u16string_view(u"<>:\"/\\|?*").find(ch) != std::u16string_view::npos) {
      return WindowsNameProblem::kBadCharacter;
    }
  }
  if (!name.empty() && (name.back() == u'.' || name.back() == u' ')) {
    return WindowsNameProblem::kTrailingDotOrSpace;
  }
  if (IsReservedDevice(name)) return WindowsNameProblem::kReservedDevice;
  if (name.size() > kMaxWindowsNameLength) return WindowsNameProblem::kTooLong;
  return std::nullopt;
}

}  // namespace binconv
