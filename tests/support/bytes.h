#pragma once
// Printing and making bytes and text for tests and fuzz targets.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace binconv::test {

// "3042 000A " per UTF-16 unit; "(empty)" for nothing, in all three.
std::string Hex(std::u16string_view units);
// "1A 2B " per byte; past `limit` bytes, only how many there are.
std::string Hex(std::string_view bytes, std::size_t limit = SIZE_MAX);
std::string Hex(const std::vector<std::uint8_t>& bytes, std::size_t limit = SIZE_MAX);

// `size` bytes of noise, the same for the same seed.
std::string RandomBytes(std::size_t size, unsigned seed);
std::vector<std::uint8_t> RandomByteVector(std::size_t size, unsigned seed);

std::string Repeat(std::string_view piece, std::size_t times);

// Lines without their LF.
std::vector<std::string> Lines(const std::string& text);

// A table data line: a label and 16 cells, column -> text, the rest empty.
// With the columns before a cell empty, the cell at column c starts at
// character column 3 + c.
std::string TableRow(const std::map<int, std::string>& cells = {}, std::string_view label = "L");
// A UTF-8 table file (its byte order mark says so), lines ended by CR LF.
std::string Utf8TableFile(const std::vector<std::string>& lines);

}  // namespace binconv::test
