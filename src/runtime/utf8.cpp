#include "runtime/utf8.h"

#include <cstdint>

#include "runtime/utf16.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace binconv {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool IsContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

// Decodes the whole one-, two- and three-byte sequences from `i` on and
// returns where it stopped: at a sequence it leaves to the state machine (four
// bytes, a bad one, or one near the end of the chunk).
std::size_t DecodeWhole(const std::uint8_t* p, std::size_t i, std::size_t n, char16_t*& out) {
  char16_t* w = out;
  bool blocked = false;
  i = detail::WalkUtf8(
      p, i, n, n, blocked,
      [&w](char16_t c0, char16_t c1) {
        w[0] = c0;
        w[1] = c1;
        w += 2;
        return true;
      },
      [&w](char16_t unit, unsigned length, const std::uint8_t*) {
        *w++ = unit;
        return std::size_t{length};
      });
  out = w;
  return i;
}

constexpr std::size_t kAsciiBlock = 16;

// Writes the block as bytes if every unit of it is ASCII.
bool NarrowAscii(const char16_t* units, char* out) {
#if defined(__SSE2__)
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 8));
  const __m128i high = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(-0x80));
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF) return false;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(a, b));
  return true;
#else
  char16_t any = 0;
  for (std::size_t k = 0; k < kAsciiBlock; ++k) any |= units[k];
  if (any >= 0x80) return false;
  for (std::size_t k = 0; k < kAsciiBlock; ++k) out[k] = static_cast<char>(units[k]);
  return true;
#endif
}

}  // namespace

Result<std::u16string, Utf8Error> DecodeUtf8(std::string_view bytes) {
  std::u16string out;
  Utf8Decoder decoder;
  if (!decoder.Feed(bytes, out) || !decoder.Finish()) return Unexpected(decoder.error());
  return out;
}

bool Utf8Decoder::Feed(std::string_view chunk, std::u16string& out) {
  if (failed_) return false;
  const auto* p = reinterpret_cast<const std::uint8_t*>(chunk.data());
  const std::size_t n = chunk.size();
  // A byte gives at most one unit, except that the end of a sequence begun in
  // the last chunk may give two.
  const std::size_t base = out.size();
  out.resize(base + n + 1);
  char16_t* const first = out.data();
  char16_t* w = first + base;
  std::size_t i = 0;
  while (i < n) {
    if (needed_ == 0) {
      i = DecodeWhole(p, i, n, w);
      if (i == n) break;
    }
    if (!Step(p[i], consumed_ + i, w)) {
      out.resize(static_cast<std::size_t>(w - first));
      return false;
    }
    ++i;
  }
  out.resize(static_cast<std::size_t>(w - first));
  consumed_ += n;
  return true;
}

bool Utf8Decoder::Step(std::uint8_t b, std::size_t offset, char16_t*& w) {
  if (needed_ == 0) {
    sequence_start_ = offset;
    if (b < 0x80) {
      *w++ = b;
      return true;
    }
    if (b >= 0xC2 && b <= 0xDF) {
      needed_ = 1;
      partial_ = b & 0x1Fu;
      min_ = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      needed_ = 2;
      partial_ = b & 0x0Fu;
      min_ = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      needed_ = 3;
      partial_ = b & 0x07u;
      min_ = 0x10000;
    } else {
      return Fail();
    }
    seen_ = 0;
    return true;
  }
  if (!IsContinuation(b)) return Fail();
  partial_ = (partial_ << 6) | (b & 0x3Fu);
  if (++seen_ < needed_) return true;
  needed_ = 0;
  if (partial_ < min_ || partial_ > 0x10FFFF || IsSurrogate(partial_)) {
    return Fail();
  }
  PutCodePoint(partial_, w);
  return true;
}

bool Utf8Decoder::Finish() {
  if (failed_) return false;
  if (needed_ != 0) {
    Fail();
    return false;
  }
  return true;
}

bool Utf8Decoder::Fail() {
  failed_ = true;
  needed_ = 0;
  error_ = Utf8Error{sequence_start_};
  return false;
}

bool Utf8TextInput::Finish() {
  failed_ = !decoder_.Finish();
  if (failed_) error_ = decoder_.error();
  decoder_ = Utf8Decoder();
  at_start_ = true;
  return !failed_;
}

void AppendUtf8(std::u16string_view text, std::string& out) {
  const std::size_t n = text.size();
  // Exact but for surrogate pairs, which take four bytes rather than six.
  std::size_t size = n;
  for (const char16_t c : text) size += (c >= 0x80) + (c >= 0x800);
  const std::size_t base = out.size();
  out.resize(base + size);
  char* const first = out.data();
  char* w = first + base;
  for (std::size_t i = 0; i < n; ++i) {
    // Listings are mostly ASCII: whole blocks of it are narrowed at once.
    while (n - i >= kAsciiBlock && NarrowAscii(text.data() + i, w)) {
      w += kAsciiBlock;
      i += kAsciiBlock;
    }
    if (i == n) break;
    char32_t c = text[i];
    if (c < 0x80) {
      *w++ = static_cast<char>(c);
      continue;
    }
    if (IsSurrogate(c)) {
      if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(text[i + 1])) {
        c = CombineSurrogates(text[i], text[i + 1]);
        ++i;
      } else {
        c = kReplacement;
      }
    }
    if (c < 0x800) {
      w[0] = static_cast<char>(0xC0 | (c >> 6));
      w[1] = static_cast<char>(0x80 | (c & 0x3F));
      w += 2;
    } else if (c < 0x10000) {
      w[0] = static_cast<char>(0xE0 | (c >> 12));
      w[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      w[2] = static_cast<char>(0x80 | (c & 0x3F));
      w += 3;
    } else {
      w[0] = static_cast<char>(0xF0 | (c >> 18));
      w[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      w[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      w[3] = static_cast<char>(0x80 | (c & 0x3F));
      w += 4;
    }
  }
  out.resize(static_cast<std::size_t>(w - first));
}

std::string EncodeUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendUtf8(text, out);
  return out;
}

Result<std::u16string, Utf8Error> DecodeUtf8Text(std::string_view bytes) {
  const std::size_t skip = bytes.starts_with(kUtf8ByteOrderMark) ? kUtf8ByteOrderMark.size() : 0;
  auto text = DecodeUtf8(bytes.substr(skip));
  if (!text) return Unexpected(Utf8Error{text.error().offset + skip});
  return text;
}

}  // namespace binconv
