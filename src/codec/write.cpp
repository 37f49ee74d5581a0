#include "codec/write.h"

#include <string>

#include "runtime/strings.h"
#include "runtime/utf8.h"

namespace binconv {

std::u16string OutputNameFromBox(std::u16string_view box_text) {
  const std::u16string_view name = Trim(box_text);
  return std::u16string(name.empty() ? kDefaultOutputName : name);
}

Result<Unit, WriteBinaryError> WriteBinary(std::u16string_view listing,
                                           std::u16string_view name_box, FileOps& ops) {
  // The whole listing is judged before any file is touched, so a rejected
  // listing never costs the old file.
  Result<std::vector<std::uint8_t>, Problem> bytes = ParseListing(listing);
  if (!bytes) return Unexpected(WriteBinaryError(bytes.error()));
  Result<Unit, IoError> written = ReplaceFileAtomically(
      PathFromUtf8(EncodeUtf8(OutputNameFromBox(name_box))), bytes.value(), ops);
  if (!written) return Unexpected(WriteBinaryError(written.error()));
  return Unit{};
}

}  // namespace binconv
