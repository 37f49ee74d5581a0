#pragma once
// GoogleTest helpers shared by the suites.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/bytes.h"

namespace binconv::test {

// Equal UTF-16 texts; otherwise where they part, with the units around it.
// Hex only on failure, so that long texts cost nothing while they pass.
inline testing::AssertionResult SameUnits(std::u16string_view expected,
                                          std::u16string_view actual) {
  if (expected == actual) return testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  const std::size_t from = at < 8 ? 0 : at - 8;
  return testing::AssertionFailure()
         << "first difference at unit " << at << " of " << expected.size() << " and "
         << actual.size() << "\nexpected ..." << Hex(expected.substr(from, 24)) << "\n  actual ..."
         << Hex(actual.substr(from, 24));
}

#define EXPECT_U16_EQ(expected, actual) EXPECT_TRUE(::binconv::test::SameUnits(expected, actual))

// Names a parameterised case by its `name` member.
template <class Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
  return std::string(info.param.name);
}

}  // namespace binconv::test
