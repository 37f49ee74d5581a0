#include "runtime/utf8.h"

#include <cstdint>

namespace binconv {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool IsContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

void AppendCodePoint(char32_t c, std::u16string& out) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// Length of the sequence a lead byte starts and the range its second byte must
// lie in; 0 for a byte that cannot start a sequence.
struct LeadInfo {
  int length;
  std::uint8_t low;
  std::uint8_t high;
};

LeadInfo InfoForLead(std::uint8_t b) {
  if (b < 0x80) return {1, 0, 0};
  if (b < 0xC2) return {0, 0, 0};
  if (b < 0xE0) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b < 0xF0) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b < 0xF4) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

Result<std::u16string, Utf8Error> DecodeUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t n = bytes.size();
  std::u16string out;
  out.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const std::uint8_t b = p[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    const LeadInfo info = InfoForLead(b);
    const auto length = static_cast<std::size_t>(info.length);
    if (length == 0 || n - i < length || p[i + 1] < info.low || p[i + 1] > info.high) {
      return Utf8Error{i};
    }
    char32_t c = b & (0xFFu >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) {
      if (!IsContinuation(p[i + k])) return Utf8Error{i};
      c = (c << 6) | (p[i + k] & 0x3Fu);
    }
    AppendCodePoint(c, out);
    i += length;
  }
  return out;
}

bool Utf8Decoder::Feed(std::string_view chunk, std::u16string& out) {
  if (failed_) return false;
  const auto* p = reinterpret_cast<const std::uint8_t*>(chunk.data());
  for (std::size_t i = 0; i < chunk.size(); ++i) {
    const std::uint8_t b = p[i];
    if (needed_ == 0) {
      if (b < 0x80) {
        out.push_back(b);
        continue;
      }
      sequence_start_ = consumed_ + i;
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
      continue;
    }
    if (!IsContinuation(b)) return Fail();
    partial_ = (partial_ << 6) | (b & 0x3Fu);
    if (++seen_ < needed_) continue;
    needed_ = 0;
    if (partial_ < min_ || partial_ > 0x10FFFF || (partial_ >= 0xD800 && partial_ <= 0xDFFF)) {
      return Fail();
    }
    AppendCodePoint(partial_, out);
  }
  consumed_ += chunk.size();
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

void AppendUtf8(std::u16string_view text, std::string& out) {
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDFFF) {
      const bool pair = c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
      if (pair) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
        ++i;
      } else {
        c = kReplacement;
      }
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
}

std::string EncodeUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendUtf8(text, out);
  return out;
}

}  // namespace binconv
