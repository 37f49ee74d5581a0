// Arbitrary text as a code listing. It gives bytes or exactly one of the two
// messages; bytes printed back as hex are the listing without its separators,
// up to case; a message points at the character that caused it; and writing
// through the file seam touches nothing unless the listing is good.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "codec/convert.h"
#include "codec/listing.h"
#include "codec/write.h"
#include "fuzz_support.h"

namespace binconv::fuzz {
namespace {

bool IsSeparator(char16_t c) { return c == u' ' || c == u'\u3000' || c == u'\r' || c == u'\n'; }

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

std::string Describe(const Problem& e) {
  return "error " + std::to_string(static_cast<int>(e.code)) + " at " + std::to_string(e.line) +
         ":" + std::to_string(e.column) + " char " + std::to_string(e.ch);
}

bool Same(const Problem& a, const Problem& b) {
  return a.code == b.code && a.line == b.line && a.column == b.column && a.ch == b.ch;
}

}  // namespace
}  // namespace binconv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace binconv;
  using namespace binconv::fuzz;
  if (size == 0) return 0;
  // Odd first byte: the rest is UTF-16; even: each byte is one character, so
  // that hand-written ASCII listings are easy to reach.
  std::u16string text;
  if ((data[0] & 1) != 0) {
    text = Utf16FromBytes(data + 1, size - 1);
  } else {
    text.assign(data + 1, data + size);
  }
  const std::string shown = "listing " + Hex(text);

  const auto parsed = ParseListing(text);

  ListingParser parser;
  std::vector<std::uint8_t> streamed;
  std::size_t from = 0;
  for (const std::size_t to : ChunkEnds(text.size(), data[0])) {
    parser.Feed(std::u16string_view(text).substr(from, to - from), streamed);
    from = to;
  }
  const std::optional<Problem> streamed_error = parser.Finish();
  FUZZ_CHECK(parsed.has_value() != streamed_error.has_value(), shown);
  if (streamed_error) FUZZ_CHECK(Same(*streamed_error, parsed.error()), shown);

  std::u16string stripped;
  for (const char16_t c : text) {
    if (!IsSeparator(c)) stripped += c;
  }
  std::size_t first_bad = stripped.size();
  for (std::size_t i = 0; i < stripped.size() && first_bad == stripped.size(); ++i) {
    if (HexValue(stripped[i]) < 0) first_bad = i;
  }

  MemoryFileOps ops;
  const auto written = WriteBinary(text, kMemoryTarget, ops);
  const std::string target = PathFromUtf8(EncodeUtf8(kMemoryTarget)).string();

  if (parsed.has_value()) {
    const std::vector<std::uint8_t>& bytes = parsed.value();
    FUZZ_CHECK(streamed == bytes,
               shown + "\nwhole    " + Hex(bytes) + "\nstreamed " + Hex(streamed));
    std::u16string printed;
    for (const std::uint8_t b : bytes) {
      printed += HexDigits[b >> 4];
      printed += HexDigits[b & 0xF];
    }
    std::u16string upper = stripped;
    for (char16_t& c : upper) c = Upper(c);
    FUZZ_CHECK(printed == upper, shown + "\nbytes " + Hex(bytes));
    FUZZ_CHECK(written.has_value(), shown + "\na good listing did not write");
    const std::vector<std::uint8_t>* file = ops.File(target);
    FUZZ_CHECK(file != nullptr && *file == bytes, shown);
    FUZZ_CHECK(ops.open_count() == 0, shown + "\na temporary file is left");
    return 0;
  }

  const Problem& error = parsed.error();
  if (error.code == ProblemCode::kListingOddCount) {
    FUZZ_CHECK(stripped.size() % 2 == 1, shown + "\n" + Describe(error));
  } else {
    FUZZ_CHECK(error.code == ProblemCode::kListingNotHex, shown + "\n" + Describe(error));
    FUZZ_CHECK(stripped.size() % 2 == 0 && first_bad < stripped.size(),
               shown + "\n" + Describe(error));
  }
  // The place named is the first bad character, or for an odd count the last
  // character kept.
  const std::size_t at = Places(text).At(error.line, error.column);
  FUZZ_CHECK(at != std::u16string::npos && !IsSeparator(text[at]), shown + "\n" + Describe(error));
  const char32_t there = CharAt(text, at);
  FUZZ_CHECK(there == error.ch || text[at] == error.ch,
             shown + "\n" + Describe(error) + " but the text has " + std::to_string(there));
  if (error.code == ProblemCode::kListingNotHex) {
    std::size_t kept_before = 0;
    for (std::size_t i = 0; i < at; ++i) kept_before += IsSeparator(text[i]) ? 0 : 1;
    FUZZ_CHECK(kept_before == first_bad, shown + "\n" + Describe(error));
  } else {
    std::size_t kept_after = 0;
    for (std::size_t i = at + 1; i < text.size(); ++i) kept_after += IsSeparator(text[i]) ? 0 : 1;
    const bool low_of_pair = kept_after == 1 && there > 0xFFFF;
    FUZZ_CHECK(kept_after == 0 || low_of_pair, shown + "\n" + Describe(error));
  }

  FUZZ_CHECK(!written.has_value(), shown + "\na rejected listing was written");
  FUZZ_CHECK(std::holds_alternative<Problem>(written.error()) &&
                 Same(std::get<Problem>(written.error()), error),
             shown);
  FUZZ_CHECK(ops.calls() == 0, shown + "\na rejected listing touched a file");
  return 0;
}
