#pragma once
// Searching a game for texts: each text encoded as the game holds it, then
// found as bytes (SearchBytes).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "codec/string_end.h"
#include "runtime/result.h"

namespace binconv {

// Why a text can't be searched for.
struct SearchTextFault {
  enum class Kind {
    kBadUtf8,   // the text is not valid UTF-8
    kProblem,   // a character can't be encoded; `problem` is the first
    kOddCount,  // the hex digits of its tags do not pair up
    kNoBytes,   // it gives no bytes to search for
  };
  Kind kind;
  std::size_t text = 0;  // index into the texts
  std::optional<EncodeProblem> problem{};
};

// The bytes of each text (UTF-8) in the encoding, for SearchBytes; the first
// fault otherwise.
Result<std::vector<std::vector<std::uint8_t>>, SearchTextFault> EncodeSearchTexts(
    const GameTable& encoding, LineBreaks line_breaks, std::span<const std::string> texts);

}  // namespace binconv
