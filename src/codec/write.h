#pragma once
// The output step: the whole listing is checked first, then the bytes replace
// the named file atomically. A rejected listing or a failed write leaves the
// old file byte for byte.

#include <filesystem>
#include <string>
#include <string_view>
#include <variant>

#include "codec/listing.h"
#include "runtime/file.h"
#include "runtime/result.h"

namespace binconv {

inline constexpr std::u16string_view kDefaultOutputName = u"temp.bin";

// The name box's text trimmed, or "temp.bin" when nothing is left. Wildcards
// are not expanded: the name is one file name.
std::u16string OutputNameFromBox(std::u16string_view box_text);

using WriteBinaryError = std::variant<Problem, IoError>;

// Parses `listing` and, if it is valid, writes its bytes to the file named by
// `name_box` (trimmed, default "temp.bin").
Result<Unit, WriteBinaryError> WriteBinary(std::u16string_view listing, std::u16string_view name_box,
                                           FileOps& ops = SystemFileOps());

}  // namespace binconv
