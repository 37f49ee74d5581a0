// Arbitrary bytes decoded on the default tables or on a table built from the
// input (duplicates, two-unit cells, intercepted characters, CR, LF,
// surrogates and a byte order mark are all likely). Encoding the text must
// give the bytes back, the text must survive UTF-8, streaming must not change
// it, and a code must come back as a tag exactly when its character alone
// would not encode to the same bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "chartable/char_table.h"
#include "chartable/encoding.h"
#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/listing.h"
#include "fuzz_support.h"
#include "runtime/utf8.h"
#include "support/encoded.h"
#include "support/reference.h"

namespace binconv::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char16_t kAlphabet[] =
    u"ab\u3042\u30A2A1< >\u3000\uFF1C\uFF1E\u9C2F\r\n\uFEFF\xD83D\xDE00";
constexpr std::size_t kAlphabetSize = std::size(kAlphabet) - 1;

// Each record of three bytes sets one cell: page, byte, content. Contents
// from 0xF0 on hold two units.
CharTable TableFromRecords(std::span<const std::uint8_t> records) {
  CharTable table;
  for (std::size_t i = 0; i + 2 < records.size(); i += 3) {
    const int page = records[i] % kPages;
    const int byte = records[i + 1];
    const std::uint8_t content = records[i + 2];
    std::u16string cell(1, kAlphabet[content % kAlphabetSize]);
    if (content >= 0xF0) cell += kAlphabet[(content >> 1) % kAlphabetSize];
    if (content >= 0x80 && content < 0xF0) cell[0] = static_cast<char16_t>(0x4E00 + content);
    table.SetCell(page, byte >> 4, byte & 15, cell);
  }
  return table;
}

// The bytes of a text by the conversion rules written out plainly, then the
// writer's: an oracle independent of the model decode reads through.
std::optional<Bytes> Encode(std::u16string_view text, const CharTable& table, LineBreaks breaks) {
  auto bytes = ParseListing(test::ReferenceConvert(text, table, breaks));
  if (!bytes) return std::nullopt;
  return std::move(bytes).value();
}

void CheckRoundTrip(const Bytes& bytes, const CharTable& table, DecodeOptions options,
                    LineBreaks breaks) {
  const std::u16string text = test::DecodeBytes(bytes, table, options);
  const std::optional<Bytes> back = Encode(text, table, breaks);
  FUZZ_CHECK(back == bytes, "bytes " + Hex(bytes) + "\ntext  " + Hex(text) + "\nback  " +
                                (back ? Hex(*back) : std::string("(refused)")));
}

void CheckBytes(const Bytes& bytes, const CharTable& table, std::uint32_t seed) {
  CheckRoundTrip(bytes, table, {}, LineBreaks::kAny);
  CheckRoundTrip(bytes, table, {u"\r\n", true}, LineBreaks::kCrLf);
  CheckRoundTrip(bytes, table, {u"\n", false}, LineBreaks::kAny);

  const std::u16string text = test::DecodeBytes(bytes, table);
  auto reread = DecodeUtf8(EncodeUtf8(text));
  FUZZ_CHECK(reread.has_value() && reread.value() == text,
             "text " + Hex(text) + " is not UTF-8 safe");
  FUZZ_CHECK(text.empty() || text[0] != u'\uFEFF', "text starts with a byte order mark");

  const GameTable game = GameTableOf(table);
  Decoder decoder(game);
  std::u16string streamed;
  std::size_t from = 0;
  for (const std::size_t to : ChunkEnds(bytes.size(), seed)) {
    decoder.Feed(std::span(bytes).subspan(from, to - from), streamed);
    from = to;
  }
  decoder.Finish(streamed);
  FUZZ_CHECK(streamed == text, "whole    " + Hex(text) + "\nstreamed " + Hex(streamed));

  // Each unit on its own: a character exactly when the cell encodes back.
  Decoder alone(game, {u"\n", false});
  for (std::size_t i = 0; i < bytes.size() && i < 64;) {
    const int page = PageOfLeadByte(bytes[i]);
    const std::size_t width = page != 0 && i + 1 < bytes.size() ? 2 : 1;
    const Bytes unit(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                     bytes.begin() + static_cast<std::ptrdiff_t>(i + width));
    i += width;
    if (width == 1 && (page != 0 || IsReservedByte(unit[0]))) continue;
    const std::uint8_t b = unit.back();
    const std::u16string& cell = table.Cell(page, b >> 4, b & 15);
    const bool encodes_back = cell.size() == 1 && Encode(cell, table, LineBreaks::kAny) == unit;
    std::u16string got;
    alone.Feed(unit, got);
    alone.Finish(got);
    FUZZ_CHECK(encodes_back == (got == cell),
               "unit " + Hex(unit) + " cell " + Hex(cell) + " decoded " + Hex(got));
  }
}

}  // namespace
}  // namespace binconv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  binconv::fuzz::DefaultTables();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace binconv;
  if (size == 0) return 0;
  // The first byte gives the number of cell records; none means the default tables.
  const std::size_t records = std::min<std::size_t>(data[0] * 3u, size - 1);
  const std::vector<std::uint8_t> bytes(data + 1 + records, data + size);
  if (records == 0) {
    fuzz::CheckBytes(bytes, fuzz::DefaultTables(), data[0]);
  } else {
    fuzz::CheckBytes(bytes, fuzz::TableFromRecords(std::span(data + 1, records)), data[0]);
  }
  return 0;
}
