#include "support/encoded.h"

#include <algorithm>
#include <cstdio>

#include "chartable/encoding.h"
#include "codec/listing.h"
#include "runtime/hex.h"

namespace binconv::test {

std::string Encoded::Describe() const {
  std::string out = "bytes";
  char buf[64];
  for (const std::uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, " %02X", b);
    out += buf;
  }
  for (const EncodeProblem& p : problems) {
    using K = EncodeProblem::Kind;
    const std::string kind = p.kind == K::kNoCode            ? "nocode"
                             : p.kind == K::kNotHexInTag     ? "intag"
                             : p.kind == K::kLineBreakInTag  ? "break-in-tag"
                             : p.kind == K::kUnclosedTag     ? "unclosed"
                             : p.kind == K::kNestedTag       ? "nested"
                             : p.kind == K::kEmptyTag        ? "empty"
                             : p.kind == K::kStrayTagClose   ? "stray"
                             : p.kind == K::kOddCount        ? "odd"
                             : p.kind == K::kUnknownLabel    ? "label"
                                                             : "#" + std::to_string(static_cast<int>(p.kind));
    std::snprintf(buf, sizeof buf, " | %s %zu:%zu U+%04X", kind.c_str(), p.line, p.column,
                  static_cast<unsigned>(p.ch));
    out += buf;
  }
  return out;
}

namespace {

Encoded FeedAll(Encoder& encoder, std::u16string_view text,
                const std::function<std::size_t()>& next_size) {
  Encoded outcome;
  while (!text.empty()) {
    const std::size_t n = next_size ? std::min(next_size(), text.size()) : text.size();
    encoder.Feed(text.substr(0, n), outcome.bytes);
    text.remove_prefix(n);
  }
  encoder.Finish(outcome.bytes);
  outcome.problems = encoder.problems();
  return outcome;
}

}  // namespace

Encoded Encode(const GameTable& table, LineBreaks line_breaks, std::u16string_view text,
               const std::function<std::size_t()>& next_size) {
  Encoder encoder(table, line_breaks);
  return FeedAll(encoder, text, next_size);
}

Encoded Encode(Encoder& encoder, std::u16string_view text,
               const std::function<std::size_t()>& next_size) {
  Encoded outcome = FeedAll(encoder, text, next_size);
  encoder.clear_problems();
  return outcome;
}

char32_t CharAt(std::u16string_view text, std::size_t at) {
  const char16_t c = text[at];
  if (c >= 0xD800 && c <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
      text[at + 1] <= 0xDFFF) {
    return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[at + 1] - 0xDC00u);
  }
  return c;
}

std::u16string DecodeBytes(std::span<const std::uint8_t> bytes, const CharTable& table,
                           DecodeOptions options) {
  std::u16string out;
  Decoder decoder(GameTableOf(table), options);
  decoder.Feed(bytes, out);
  decoder.Finish(out);
  return out;
}

std::optional<std::vector<std::uint8_t>> BytesWithoutMarks(std::u16string_view listing,
                                                           std::span<const UncodedChar> marks) {
  std::u16string unmarked(listing);
  for (auto m = marks.rbegin(); m != marks.rend(); ++m) {
    if (m->offset + m->length >= unmarked.size() || unmarked[m->offset + m->length] != u' ') {
      return std::nullopt;
    }
    unmarked.erase(m->offset, m->length + 1);
  }
  auto bytes = ParseListing(unmarked);
  if (!bytes) return std::nullopt;
  return std::move(bytes).value();
}

}  // namespace binconv::test
