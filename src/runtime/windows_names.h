#pragma once
// The rules Windows sets for one file or folder name. They live apart from the
// system calls so that they can be checked on any system.

#include <cstddef>
#include <optional>
#include <string_view>

namespace binconv {

enum class WindowsNameProblem {
  kBadCharacter,        // one of < > : " / \ | ? * or a control character
  kTrailingDotOrSpace,  // Windows would drop it and write another file
  kReservedDevice,      // CON, PRN, AUX, NUL, COM1-9, LPT1-9 (any case, any extension)
  kTooLong,             // more than 255 UTF-16 units, the most a folder entry may hold
};

inline constexpr std::size_t kMaxWindowsNameLength = 255;

// The problem of one name (no folder separators), or none. "." and ".." are
// fine; they are not names of files.
std::optional<WindowsNameProblem> CheckWindowsName(std::u16string_view name);

}  // namespace binconv
