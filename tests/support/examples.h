#pragma once
// The files of examples/, which the README and the manual work through and
// which are installed with the program: made here, from the same games the
// tests use, so that the committed copies can be checked against them.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace binconv::test {

struct ExampleFile {
  std::string path;  // relative to examples/, with '/'
  std::string bytes;
};

// Every file examples/ holds, in a fixed order.
const std::vector<ExampleFile>& ExampleFiles();
// The bytes of one of them; an unknown path throws.
const std::string& ExampleBytes(std::string_view path);
// The repository's examples/ folder.
std::filesystem::path ExamplesDir();

}  // namespace binconv::test
