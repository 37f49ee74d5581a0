// A .tbl read from arbitrary text, then arbitrary bytes decoded through it and
// the text they give encoded again. Parsing must never fail but by listing
// problems; a table that loads must decode and encode exactly as the plain
// longest-match references do, however the input is cut into chunks, and its
// listing must write the same bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/tbl.h"
#include "codec/decode.h"
#include "codec/encoder.h"
#include "codec/convert.h"
#include "fuzz_support.h"
#include "support/encoded.h"
#include "support/reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace binconv;
  // The table's text, then a NUL, then the bytes to decode; no NUL: a table alone.
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = std::min(input.find('\0'), input.size());
  auto table = ParseGameTable(input.substr(0, split), "fuzz.tbl");
  if (!table) {
    FUZZ_CHECK(!table.error().empty(), "a table refused without a problem");
    const std::string_view text = input.substr(0, split);
    const auto lines = 1 + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n') +
                                                    std::count(text.begin(), text.end(), '\r'));
    for (const Problem& problem : table.error()) {
      FUZZ_CHECK(problem.line <= lines, "a problem on a line past the table's end");
    }
    return 0;
  }
  const std::span<const std::uint8_t> bytes =
      split < size ? std::span(data + split + 1, size - split - 1) : std::span<const std::uint8_t>();
  const std::u16string expected = test::ReferenceGameDecode(table.value().codes(), bytes);
  // Chunk lengths from the bytes themselves, so that cuts land everywhere.
  Decoder decoder(table.value());
  std::u16string got;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t n = std::min<std::size_t>(1 + bytes[at] % 7, bytes.size() - at);
    decoder.Feed(bytes.subspan(at, n), got);
    at += n;
  }
  decoder.Finish(got);
  FUZZ_CHECK(got == expected, "the streaming decoder differs from the reference");

  // The decoded text, and the table's own texts among it, encoded in chunks
  // of the lengths the bytes give.
  const LineBreaks breaks = bytes.empty() || bytes[0] % 2 ? LineBreaks::kCrLf : LineBreaks::kAny;
  const test::Encoded plain =
      test::ReferenceGameEncode(table.value().codes(), got, breaks, table.value().aliases());
  Encoder encoder(table.value(), breaks);
  std::size_t next = 0;
  const test::Encoded fed = test::Encode(encoder, got, [&] {
    return bytes.empty() ? got.size() : 1 + bytes[next++ % bytes.size()] % 5;
  });
  FUZZ_CHECK(fed.Describe() == plain.Describe(), "the encoder differs from the reference");

  // Its listing, the marks of its problems taken out, writes the same bytes.
  // A listing keeps a broken tag as typed, for the writer to refuse.
  const auto kept = [](const EncodeProblem& p) { return test::IsKeptAsTyped(p.kind); };
  if (std::any_of(plain.problems.begin(), plain.problems.end(), kept)) return 0;
  std::vector<UncodedChar> marks;
  CodeConverter converter(table.value(), breaks);
  converter.set_uncoded(&marks);
  std::u16string listing;
  converter.Feed(got, listing);
  converter.Finish(listing);
  const auto written = test::BytesWithoutMarks(listing, marks);
  FUZZ_CHECK(written, "the listing without its marks is refused by the writer");
  const std::vector<EncodeProblem>& problems = converter.problems();
  const test::Encoded listed{*written, problems};
  FUZZ_CHECK(listed.Describe() == plain.Describe(),
             "the listing writes other bytes than the encoder");
  FUZZ_CHECK(marks.size() == problems.size(), "a problem without its mark in the listing");
  return 0;
}
