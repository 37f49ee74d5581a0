// examples/ holds exactly the files the test support makes (support/examples.h),
// so that what the README and the manual run on is what a user gets installed.
// With BINCONV_WRITE_EXAMPLES set, the files are written there first: run it so
// after changing them in the support.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "support/examples.h"
#include "support/files.h"

namespace binconv::test {
namespace {

TEST(ExamplesTest, CommittedFilesAreTheGenerated) {
  const fs::path dir = ExamplesDir();
  if (std::getenv("BINCONV_WRITE_EXAMPLES") != nullptr) {
    fs::remove_all(dir);
    for (const ExampleFile& file : ExampleFiles()) {
      fs::create_directories((dir / file.path).parent_path());
      WriteAll(dir / file.path, file.bytes);
    }
  }
  std::map<std::string, std::string> committed;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) {
      committed[fs::relative(entry.path(), dir).generic_string()] = ReadAll(entry.path());
    }
  }
  for (const ExampleFile& file : ExampleFiles()) {
    const auto found = committed.find(file.path);
    if (found == committed.end()) {
      ADD_FAILURE() << "examples/" << file.path << " is missing";
      continue;
    }
    EXPECT_TRUE(found->second == file.bytes) << "examples/" << file.path << " is not the generated";
    committed.erase(found);
  }
  for (const auto& [path, bytes] : committed) ADD_FAILURE() << "examples/" << path << " is made by nothing";
}

}  // namespace
}  // namespace binconv::test
