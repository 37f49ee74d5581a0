#include "runtime/result.h"

#include <gtest/gtest.h>

#include <string>

namespace binconv {
namespace {

struct Oops {
  int code;
};

Result<std::string, Oops> Make(bool good) {
  if (!good) return Unexpected(Oops{7});
  return "abc";
}

// What std::expected does with a value and with an error, member for member.
TEST(ResultTest, ActsAsExpected) {
  Result<std::string, Oops> good = Make(true);
  ASSERT_TRUE(good.has_value());
  EXPECT_TRUE(static_cast<bool>(good));
  EXPECT_EQ(*good, "abc");
  EXPECT_EQ(good->size(), 3u);
  EXPECT_EQ(good.value_or("x"), "abc");
  EXPECT_EQ(std::move(good).value(), "abc");

  const Result<std::string, Oops> bad = Make(false);
  ASSERT_FALSE(bad.has_value());
  EXPECT_FALSE(static_cast<bool>(bad));
  EXPECT_EQ(bad.error().code, 7);
  EXPECT_EQ(bad.value_or("x"), "x");
  try {
    (void)bad.value();
    ADD_FAILURE() << "value() of an error returned";
  } catch (const BadResultAccess<Oops>& e) {
    EXPECT_EQ(e.error().code, 7);
  }
}

}  // namespace
}  // namespace binconv
