#include "layout/sizes.h"

#include <gtest/gtest.h>

namespace qx {
namespace {

TEST(Sizes, HeightsAndLargeSizes) {
  struct Case {
    uint8_t code;
    uint8_t height;
    bool large;
  };
  const Case cases[] = {{0, 16, false}, {1, 24, false}, {2, 32, false}, {3, 40, false},
                        {4, 48, true},  {5, 64, true},  {6, 80, true},  {7, 96, true},
                        {8, 24, false}, {200, 24, false}, {255, 24, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(SizeHeight(c.code), c.height) << int(c.code);
    EXPECT_EQ(IsLargeSize(c.code), c.large) << int(c.code);
    EXPECT_EQ(SizeHeight(c.code) % 8, 0);
  }
}

}  // namespace
}  // namespace qx
