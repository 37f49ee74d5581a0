// binconv-patchpair: writes a translated pair (see tests/support/patch_pairs.h)
// for the comparison of patch sizes and times with other tools.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/file.h"
#include "support/files.h"
#include "support/patch_pairs.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fputs("usage: binconv-patchpair MEGABYTES SPANS SEED ORIGINAL MODIFIED\n", stderr);
    return 2;
  }
  const std::size_t megabytes = std::strtoull(argv[1], nullptr, 10);
  const std::size_t spans = std::strtoull(argv[2], nullptr, 10);
  const auto seed = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
  const binconv::test::PatchPair pair =
      binconv::test::TranslatedPair(megabytes << 20, spans, seed);
  auto text = [](const std::vector<std::uint8_t>& bytes) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  };
  binconv::test::WriteAll(binconv::PathFromUtf8(argv[4]), text(pair.original));
  binconv::test::WriteAll(binconv::PathFromUtf8(argv[5]), text(pair.modified));
  return 0;
}
