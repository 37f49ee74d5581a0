#include "support/bytes.h"

#include <random>
#include <sstream>

#include "runtime/hex.h"

namespace binconv::test {

std::string Hex(std::u16string_view units) {
  if (units.empty()) return "(empty)";
  std::string out;
  for (const char16_t c : units) {
    AppendHexByte(static_cast<std::uint8_t>(c >> 8), out);
    AppendHexByte(static_cast<std::uint8_t>(c & 0xFF), out);
    out += ' ';
  }
  return out;
}

std::string Hex(std::string_view bytes, std::size_t limit) {
  if (bytes.empty()) return "(empty)";
  std::string out;
  for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
    AppendHexByte(static_cast<std::uint8_t>(bytes[i]), out);
    out += ' ';
  }
  if (bytes.size() > limit) out += "... (" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

std::string Hex(const std::vector<std::uint8_t>& bytes, std::size_t limit) {
  return Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), limit);
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (char& b : bytes) b = static_cast<char>(rng() & 0xFF);
  return bytes;
}

std::vector<std::uint8_t> RandomByteVector(std::size_t size, unsigned seed) {
  const std::string bytes = RandomBytes(size, seed);
  return {bytes.begin(), bytes.end()};
}

std::string Repeat(std::string_view piece, std::size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string TableRow(const std::map<int, std::string>& cells, std::string_view label) {
  std::string line(label);
  for (int column = 0; column < 16; ++column) {
    line += ',';
    if (auto it = cells.find(column); it != cells.end()) line += it->second;
  }
  return line;
}

std::string Utf8TableFile(const std::vector<std::string>& lines) {
  std::string bytes = "\xEF\xBB\xBF";
  for (const std::string& line : lines) bytes += line + "\r\n";
  return bytes;
}

}  // namespace binconv::test
