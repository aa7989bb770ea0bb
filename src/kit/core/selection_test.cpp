// Command-line selections: locations and integer ranges.
#include "kit/core/selection.h"

#include <gtest/gtest.h>

#include "kit/core/limits.h"

namespace kit {
namespace {

TEST(Selection, Locations) {
  std::vector<int> v;
  EXPECT_TRUE(parse_locations("all", &v));
  EXPECT_EQ(v.size(), 20u);
  EXPECT_TRUE(parse_locations("7", &v));
  EXPECT_EQ(v, std::vector<int>{7});
  for (const char* bad : {"0", "21", "", "All", "3x", "-1", " 3"}) {
    EXPECT_FALSE(parse_locations(bad, &v)) << bad;
    EXPECT_EQ(v, std::vector<int>{7});
  }
}

TEST(Selection, IntegerRanges) {
  struct Row {
    const char* text;
    bool ok;
    std::vector<int> values;
  };
  const Row rows[] = {
      {"11:14", true, {11, 12, 13, 14}},   {"890:960:30", true, {890, 920, 950, 960}},
      {"890:960:100", true, {890, 960}},   {"890:960:70", true, {890, 960}},
      {"890:960:69", true, {890, 959, 960}}, {"890:960:71", true, {890, 960}},
      {"1:2:1", true, {1, 2}},             {"-5:-1:3", true, {-5, -2, -1}},
      {"5:5", true, {5}},                  {"-2:2:2", true, {-2, 0, 2}},
      {"65:11", false, {}},                {"1:5:0", false, {}},
      {"1:5:-1", false, {}},               {"11-65", false, {}},
      {"1:", false, {}},                   {":5", false, {}},
      {"1:5:2:1", false, {}},              {"0:100000", false, {}},
  };
  for (const Row& r : rows) {
    std::vector<int> v = {99};
    EXPECT_EQ(parse_integer_range(r.text, &v), r.ok) << r.text;
    EXPECT_EQ(v, r.ok ? r.values : std::vector<int>{99}) << r.text;
  }
}

// The option defaults are written by range_text and read by
// parse_integer_range: the text names the limits, and reads back as them.
TEST(Selection, RangeTextReadsBackAsItsLimits) {
  struct Row {
    std::string text;
    const char* expected;
    int first, last;
    size_t count;
  };
  const Row rows[] = {
      {range_text(kFittedRadiusMinKm, kFittedRadiusMaxKm), "11:65", 11, 65, 55},
      {range_text(kFittedPressureMinMb, kFittedPressureMaxMb, 10), "890:960:10", 890, 960, 8},
      {range_text(900, kFittedPressureMaxMb, 30), "900:960:30", 900, 960, 3},
      {range_text(-6, 25), "-6:25", -6, 25, 32},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(r.text, r.expected);
    std::vector<int> v;
    ASSERT_TRUE(parse_integer_range(r.text, &v)) << r.text;
    EXPECT_EQ(v.front(), r.first) << r.text;
    EXPECT_EQ(v.back(), r.last) << r.text;
    EXPECT_EQ(v.size(), r.count) << r.text;
  }
}

}  // namespace
}  // namespace kit
