#include "runtime/text_file.h"

#include <algorithm>

#include "runtime/cp932.h"
#include "runtime/utf8.h"

namespace binconv {

TextEncoding DetectTextEncoding(std::string_view bytes) {
  if (bytes.starts_with(kUtf8ByteOrderMark)) return TextEncoding::kUtf8Bom;
  auto starts_sequence = [](char c) { return static_cast<unsigned char>(c) >= 0xC0; };
  const auto decoded = DecodeUtf8(bytes);
  // Before the first bad sequence the bytes are valid UTF-8, so every byte
  // from 0xC0 up there starts a multi-byte sequence.
  const std::string_view valid =
      decoded.has_value() ? bytes : bytes.substr(0, decoded.error().offset);
  const auto sequences =
      static_cast<std::size_t>(std::count_if(valid.begin(), valid.end(), starts_sequence));
  if (decoded.has_value() ? sequences > 0 : sequences >= kDamagedUtf8Evidence) {
    return TextEncoding::kUtf8;
  }
  return TextEncoding::kCp932;
}

ProblemDetail NotUtf8Detail(std::string_view bytes, std::size_t bad, bool from_start) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  if (from_start && (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))) {
    return ProblemDetail::kLooksUtf16;
  }
  // Text in UTF-16 is mostly characters below U+0100 or kana, whose other
  // byte is 00 or 30: NULs in half of the pairs at least.
  const std::size_t sample = std::min<std::size_t>(bytes.size(), 4096) & ~std::size_t{1};
  std::size_t nul_pairs = 0;
  for (std::size_t i = 0; i < sample; i += 2) nul_pairs += byte(i) == 0 || byte(i + 1) == 0;
  if (sample >= 4 && nul_pairs * 2 >= sample / 2) return ProblemDetail::kLooksUtf16;
  // Text that was UTF-8 before its bad sequence is damaged UTF-8.
  if (std::any_of(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bad),
                  [](char c) { return static_cast<std::uint8_t>(c) >= 0xC0; })) {
    return ProblemDetail::kNone;
  }
  // Code page 932: a lead byte and its trail byte, or a half-width kana.
  bool wide = false;
  const std::size_t end = std::min(bytes.size(), bad + 4096);
  for (std::size_t i = bad; i < end; ++i) {
    const std::uint8_t b = byte(i);
    if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) continue;
    if (!detail::IsCp932LeadByte(b)) return ProblemDetail::kNone;
    if (i + 1 == end) break;  // cut by the sample's end
    const std::uint8_t trail = byte(++i);
    if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return ProblemDetail::kNone;
    wide = true;
  }
  return wide || (bad < bytes.size() && byte(bad) >= 0xA1 && byte(bad) <= 0xDF)
             ? ProblemDetail::kLooksCp932
             : ProblemDetail::kNone;
}

ProblemDetail TextPlaceCounter::NotUtf8DetailOf(std::string_view chunk) const {
  // Read in pieces, only the text's first bytes are sure to be at hand
  // however the pieces fall: its byte order mark alone is told.
  std::string head;
  for (std::size_t k = 0; k < std::min<std::size_t>(count_.fed, 3); ++k) {
    head += static_cast<char>(count_.first >> (8 * (2 - k)) & 0xFF);
  }
  head += chunk.substr(0, 2);
  return NotUtf8Detail(head.substr(0, 2), 0, true) == ProblemDetail::kLooksUtf16
             ? ProblemDetail::kLooksUtf16
             : ProblemDetail::kNone;
}

LineReader::LineReader(std::string_view bytes)
    : rest_(bytes), encoding_(DetectTextEncoding(bytes)) {
  if (encoding_ == TextEncoding::kUtf8Bom) rest_.remove_prefix(kUtf8ByteOrderMark.size());
}

bool TakeLine(std::string_view& rest, std::string_view& line) {
  if (rest.empty()) return false;
  const std::size_t end = std::min(rest.find_first_of("\r\n"), rest.size());
  line = rest.substr(0, end);
  std::size_t skip = end;
  if (end < rest.size()) skip += rest.substr(end).starts_with("\r\n") ? 2 : 1;
  rest.remove_prefix(skip);
  return true;
}

std::pair<std::size_t, std::size_t> LineAndColumnOf(std::string_view bytes, std::size_t offset) {
  return TextPlaceCounter().PlaceOf(offset, bytes);
}

void TextPlaceCounter::Count::Add(std::string_view bytes) {
  if (bytes.empty()) return;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; fed + i < 3 && i < n; ++i)
    first |= std::uint32_t{p[i]} << (8 * (2 - fed - i));
  for (std::size_t i = n - std::min<std::size_t>(n, 4); i < n; ++i) last = (last << 8) | p[i];
  // One pass that vectorises, so that placing costs little beside reading:
  // every CR ends a line, and every LF but one right after a CR.
  std::size_t ends = p[0] == '\r' || (p[0] == '\n' && !after_cr);
  for (std::size_t i = 1; i < n; ++i)
    ends += (p[i] == '\r') | ((p[i] == '\n') & (p[i - 1] != '\r'));
  line += ends;
  // The characters after the last line end, or all of them on the same line.
  std::size_t start = n;
  while (start > 0 && p[start - 1] != '\r' && p[start - 1] != '\n') --start;
  if (start > 0) columns = 0;
  for (std::size_t i = start; i < n; ++i) columns += (p[i] & 0xC0) != 0x80;
  after_cr = p[n - 1] == '\r';
  fed += n;
}

void TextPlaceCounter::Feed(std::string_view bytes) { count_.Add(bytes); }

std::pair<std::size_t, std::size_t> TextPlaceCounter::PlaceOf(std::size_t offset,
                                                              std::string_view chunk) const {
  Count count = count_;
  if (offset > count.fed) count.Add(chunk.substr(0, std::min(chunk.size(), offset - count.fed)));
  std::size_t column = count.columns + 1;
  // A sequence begun in an earlier chunk: its first bytes are counted already.
  for (std::size_t back = count.fed - std::min(offset, count.fed); back > 0 && back <= 3; --back) {
    column -= ((count.last >> (8 * (back - 1))) & 0xC0) != 0x80;
  }
  if (count.line == 1 && offset >= 3 && count.first == 0xEFBBBF) --column;
  return {count.line, column};
}

bool LineReader::Next(std::u16string& line) {
  std::string_view raw;
  if (bad_utf8_ || !TakeLine(rest_, raw)) return false;
  ++line_number_;

  if (encoding_ == TextEncoding::kCp932) {
    line = DecodeCp932(raw);
    return true;
  }
  auto decoded = DecodeUtf8(raw);
  if (!decoded.has_value()) {
    bad_utf8_ = true;
    bad_utf8_column_ = ColumnOfByte(raw, decoded.error().offset);
    line.clear();
    return false;
  }
  line = std::move(decoded).value();
  return true;
}

}  // namespace binconv
