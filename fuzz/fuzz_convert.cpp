// Arbitrary UTF-16 text on the default tables. The streamed converter and the
// one-pass encoder must agree with the whole-text listing and its parse, every
// problem the encoder reports must point at the character it names, and the
// same text with every character made encodable must write exactly the bytes
// of its codes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "chartable/char_table.h"
#include "codec/convert.h"
#include "codec/encode.h"
#include "codec/encoder.h"
#include "codec/listing.h"
#include "codec/write.h"
#include "fuzz_support.h"
#include "runtime/block_size.h"
#include "support/encoded.h"
#include "support/reference.h"

namespace binconv::fuzz {
namespace {

using detail::Special;

// Line breaks fed first, enough to start the text anywhere in a block of
// the fast path; they leave no state behind, so the text after them must
// come out as it does alone.
constexpr std::size_t kFillerLines = kEncodeBlock / 2 + 1808;

using test::Encoded;

Encoded EncodeInChunks(std::u16string_view text, LineBreaks breaks,
                       const std::vector<std::size_t>& ends) {
  std::size_t from = 0;
  auto end = ends.begin();
  return test::Encode(DefaultEncoding(), breaks, text, [&] {
    const std::size_t n = *end++ - from;
    from += n;
    return n;
  });
}

std::u16string ConvertInChunks(std::u16string_view text, LineBreaks breaks,
                               const std::vector<std::size_t>& ends) {
  CodeConverter converter(DefaultEncoding(), breaks);
  std::u16string listing;
  std::size_t from = 0;
  for (const std::size_t to : ends) {
    converter.Feed(text.substr(from, to - from), listing);
    from = to;
  }
  converter.Finish(listing);
  return listing;
}

// The conversion rules written out plainly, as the oracle; long texts take
// other paths through the converter than short ones.
test::ReferenceModel& Reference() {
  static test::ReferenceModel model(DefaultTables());
  return model;
}

std::u16string ReferenceListing(std::u16string_view text, LineBreaks breaks) {
  return Reference().Convert(text, breaks);
}

std::string Describe(const EncodeProblem& p) {
  return "problem kind " + std::to_string(static_cast<int>(p.kind)) + " at " +
         std::to_string(p.line) + ":" + std::to_string(p.column) + " U+" +
         Hex(std::u16string(1, static_cast<char16_t>(p.ch))) + "(" + std::to_string(p.ch) + ")";
}

void CheckAfterLongStart(std::u16string_view text, LineBreaks breaks,
                         const std::vector<std::size_t>& ends, const std::u16string& listing,
                         const Encoded& encoded) {
  static const std::u16string filler = [] {
    std::u16string breaks_only;
    for (std::size_t i = 0; i < kFillerLines; ++i) breaks_only += u"\r\n";
    return breaks_only;
  }();
  const auto shown = [&] { return "after a long start, text " + Hex(text); };

  CodeConverter converter(DefaultEncoding(), breaks);
  std::u16string filler_listing;
  converter.Feed(filler, filler_listing);
  std::u16string after;
  Encoder encoder(DefaultEncoding(), breaks);
  std::vector<std::uint8_t> filler_bytes;
  encoder.Feed(filler, filler_bytes);
  std::vector<std::uint8_t> bytes;
  std::size_t from = 0;
  for (const std::size_t to : ends) {
    converter.Feed(text.substr(from, to - from), after);
    encoder.Feed(text.substr(from, to - from), bytes);
    from = to;
  }
  converter.Finish(after);
  encoder.Finish(bytes);
  FUZZ_CHECK(after == listing, shown() + "\nalone " + Hex(listing) + "\nafter " + Hex(after));
  FUZZ_CHECK(bytes == encoded.bytes &&
                 encoder.problems().size() == encoded.problems.size(),
             shown() + "\nalone " + Hex(encoded.bytes) + "\nafter " + Hex(bytes));
  for (std::size_t i = 0; i < encoded.problems.size(); ++i) {
    const EncodeProblem& p = encoded.problems[i];
    const EncodeProblem& q = encoder.problems()[i];
    FUZZ_CHECK(
        p.kind == q.kind && p.line + kFillerLines == q.line && p.column == q.column && p.ch == q.ch,
        shown() + "\nalone " + Describe(p) + "\nafter " + Describe(q));
  }
}

bool IsHexDigit(char32_t c) { return c < 0x80 && HexValue(static_cast<char16_t>(c)) >= 0; }

void CheckRawText(std::u16string_view text, LineBreaks breaks, std::uint32_t seed) {
  const GameTable& table = DefaultEncoding();
  const auto shown = [&] { return "text " + Hex(text); };
  const std::u16string listing = ConvertToCode(text, table, breaks);
  const std::u16string reference = ReferenceListing(text, breaks);
  FUZZ_CHECK(listing == reference,
             shown() + "\nlisting   " + Hex(listing) + "\nreference " + Hex(reference));
  const std::vector<std::size_t> ends = ChunkEnds(text.size(), seed);
  const std::u16string streamed = ConvertInChunks(text, breaks, ends);
  FUZZ_CHECK(streamed == listing,
             shown() + "\nwhole    " + Hex(listing) + "\nstreamed " + Hex(streamed));

  const Encoded whole = EncodeInChunks(text, breaks, {text.size()});
  const Encoded chunked = EncodeInChunks(text, breaks, ends);
  CheckAfterLongStart(text, breaks, ends, listing, whole);
  FUZZ_CHECK(whole.bytes == chunked.bytes &&
                 whole.problems.size() == chunked.problems.size(),
             shown() + "\nwhole   " + Hex(whole.bytes) + "\nchunked " + Hex(chunked.bytes));

  bool only_benign_problems = true;
  bool odd = false;  // a tag of half a byte, whose digit the listing pairs with the next
  bool dropped_digit = false;  // a hex digit without a code: the listing keeps it
  const Places places(text);
  for (std::size_t i = 0; i < whole.problems.size(); ++i) {
    const EncodeProblem& p = whole.problems[i];
    const EncodeProblem& q = chunked.problems[i];
    FUZZ_CHECK(p.kind == q.kind && p.line == q.line && p.column == q.column && p.ch == q.ch,
               shown() + "\n" + Describe(p) + " vs " + Describe(q));
    const std::size_t at = places.At(p.line, p.column);
    FUZZ_CHECK(at != std::u16string_view::npos, shown() + "\n" + Describe(p));
    const char32_t there = CharAt(text, at);
    // A line break copied into a tag is named by the mark that stands for it.
    const bool break_in_tag = p.ch == kLineBreakMark && (there == u'\r' || there == u'\n');
    // Half a byte in a tag is named at the tag's mark.
    if (p.kind == EncodeProblem::Kind::kOddCount) {
      FUZZ_CHECK(detail::ClassifySpecial(text[at]) == detail::Special::kTagOpen,
                 shown() + "\n" + Describe(p) + " is not at a tag mark");
      odd = true;
      continue;
    }
    // A pair one of whose units has a code of its own; the other shares its column.
    const bool pair_split = p.ch == text[at] || (at + 1 < text.size() && p.ch == text[at + 1] &&
                                                 IsHighSurrogate(text[at]));
    FUZZ_CHECK(there == p.ch || break_in_tag || pair_split,
               shown() + "\n" + Describe(p) + " but the text has " + std::to_string(there));
    // A character without a code that the writer reads as a digit or drops
    // as a line break leaves the listing writable; so does a tag's broken
    // shape, which the listing keeps as typed and encode names at its mark.
    if (test::IsTagShape(p.kind)) {
      FUZZ_CHECK(detail::ClassifySpecial(text[at]) == detail::Special::kTagOpen ||
                     detail::ClassifySpecial(text[at]) == detail::Special::kTagClose,
                 shown() + "\n" + Describe(p) + " is not at a tag mark");
    } else if (p.kind != EncodeProblem::Kind::kNoCode ||
               !(IsHexDigit(p.ch) || p.ch == U'\r' || p.ch == U'\n')) {
      only_benign_problems = false;
    } else {
      dropped_digit = dropped_digit || IsHexDigit(p.ch);
    }
  }

  // The listing parses unless it keeps what the writer can't read, or its
  // digits don't pair up; a text without such problems parses to the bytes
  // the encoder writes.
  const auto parsed = ParseListing(listing);
  FUZZ_CHECK(only_benign_problems || !parsed.has_value(),
             shown() + "\nlisting " + Hex(listing) + " parses despite the encoder's problems");
  if (only_benign_problems && !odd && !dropped_digit) {
    FUZZ_CHECK(parsed.has_value(), shown() + "\nlisting " + Hex(listing) + " does not parse");
    FUZZ_CHECK(parsed.value() == whole.bytes, shown() + "\nconvert+parse " + Hex(parsed.value()) +
                                                  "\nencoder       " + Hex(whole.bytes));
  }
}

// Every character is turned into one that has a code (or a line break or a
// space), tags aside; the bytes then follow from the table alone.
void CheckEncodableText(std::u16string_view raw, LineBreaks breaks) {
  const GameTable& table = DefaultEncoding();
  static const std::vector<char16_t> encodable = [&] {
    std::vector<char16_t> chars;
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
      const auto ch = static_cast<char16_t>(c);
      if (Reference().Lookup(ch) && detail::ClassifySpecial(ch) == Special::kNone)
        chars.push_back(ch);
    }
    return chars;
  }();
  FUZZ_CHECK(!encodable.empty(), "the default tables hold no character");

  std::u16string text;
  std::vector<std::uint8_t> expected;
  for (const char16_t unit : raw) {
    char16_t ch = unit;
    const Special special = detail::ClassifySpecial(ch);
    if (unit == u'\r' || unit == u'\n' || special == Special::kLineBreak) {
      text += unit == kLineBreakMark ? std::u16string(1, unit) : std::u16string(u"\r\n");
      expected.push_back(0x24);
      continue;
    }
    if (special == Special::kSpace) {
      text += ch;
      expected.push_back(0x50);
      continue;
    }
    if (special != Special::kNone || !Reference().Lookup(ch))
      ch = encodable[unit % encodable.size()];
    text += ch;
    test::ReferenceModel::AppendBytes(*Reference().Lookup(ch), expected);
  }

  const auto shown = [&] { return "encodable text " + Hex(text); };
  const std::u16string listing = ConvertToCode(text, table, breaks);
  const auto parsed = ParseListing(listing);
  FUZZ_CHECK(parsed.has_value(), shown() + "\nlisting " + Hex(listing));
  FUZZ_CHECK(parsed.value() == expected,
             shown() + "\nwritten  " + Hex(parsed.value()) + "\nexpected " + Hex(expected));

  MemoryFileOps ops;
  const auto written = WriteBinary(listing, kMemoryTarget, ops);
  FUZZ_CHECK(written.has_value(), shown() + "\nthe listing did not write");
  const std::vector<std::uint8_t>* file =
      ops.File(PathFromUtf8(EncodeUtf8(kMemoryTarget)).string());
  FUZZ_CHECK(file != nullptr && *file == expected,
             shown() + "\nfile " + (file ? Hex(*file) : std::string("missing")));
  FUZZ_CHECK(ops.open_count() == 0, shown() + "\na temporary file is left");

  const Encoded encoded = EncodeInChunks(text, breaks, {text.size()});
  FUZZ_CHECK(encoded.problems.empty() && encoded.bytes == expected,
             shown() + "\nencoder " + Hex(encoded.bytes) + " problems " +
                 std::to_string(encoded.problems.size()));
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
  // The first byte chooses the line-break rule, how the text is cut up and
  // whether it is also tried at length.
  const LineBreaks breaks = (data[0] & 1) != 0 ? LineBreaks::kAny : LineBreaks::kCrLf;
  const std::u16string text = fuzz::Utf16FromBytes(data + 1, size - 1);
  fuzz::CheckRawText(text, breaks, data[0]);
  fuzz::CheckEncodableText(text, breaks);

  return 0;
}
