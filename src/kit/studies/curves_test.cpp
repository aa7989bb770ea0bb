// The distance grid of curves.
#include "kit/studies/curves.h"

#include <gtest/gtest.h>

#include "kit/core/number.h"

namespace kit {
namespace {

// Grid distances are the doubles of the decimals they print as.
TEST(Curves, GridDistancesPrintAsDecimals) {
  const std::vector<double> d = grid_distances(DistanceGrid{-0.3, 0.3, 0.1});
  ASSERT_EQ(d.size(), 7u);
  std::string text;
  for (double v : d) {
    append_shortest(&text, v);
    text += ' ';
  }
  EXPECT_EQ(text, "-0.3 -0.2 -0.1 0 0.1 0.2 0.3 ");
  EXPECT_EQ(grid_distances(DistanceGrid{5, 5, 1}).size(), 1u);
}

}  // namespace
}  // namespace kit
