// Reading simulated surges: each fault located at its line and column, with
// the limits on pressure, radius, distance and weight pinned at their edges.
#include "kit/files/simulations.h"

#include <gtest/gtest.h>

#include <string>

namespace kit {
namespace {

constexpr const char* kHeader = "location,pressure_mb,radius_km,distance_km,surge_m\n";

std::vector<std::string> errors_of(const std::string& text, SimulationSet* set = nullptr) {
  SimulationSet local;
  std::vector<Finding> findings;
  read_simulations("sims.csv", text, set != nullptr ? set : &local, &findings);
  std::vector<std::string> out;
  for (const Finding& f : findings) out.push_back(format_finding(f));
  return out;
}

TEST(SimulationsTest, ReadsRowsInAnyColumnOrderWithOtherColumnsIgnored) {
  SimulationSet set;
  EXPECT_TRUE(errors_of("run,surge_m,\"dist,ance\",location,radius_km,pressure_mb,distance_km\n"
                        "a,1.25,x,7,30,950,60\n"
                        "\n"
                        "\"b,c\",0.5,y,19,11.5,890,1E-3\n",
                        &set)
                  .empty());
  ASSERT_EQ(set.rows.size(), 2u);
  EXPECT_EQ(set.rows[0].location, 7);
  EXPECT_EQ(set.rows[0].pressure_mb, 950);
  EXPECT_EQ(set.rows[0].radius_km, 30);
  EXPECT_EQ(set.rows[0].distance_km, 60);
  EXPECT_EQ(set.rows[0].surge_m, 1.25);
  EXPECT_EQ(set.rows[0].weight, 1);
  EXPECT_EQ(set.rows[0].line, 2u);
  EXPECT_EQ(set.rows[1].line, 4u);
  EXPECT_EQ(set.rows[1].distance_km, 0.001);
  EXPECT_EQ(set.sha256.size(), 64u);
}

TEST(SimulationsTest, EachFaultIsLocatedAtItsField) {
  struct Case {
    const char* row;
    const char* error;  // "" when the row is accepted
  } cases[] = {
      {"7,1012.9,30,60,1", ""},
      {"7,1013,30,60,1",
       "sims.csv:2:3: error: pressure_mb: \"1013\" is not a pressure above 0 and below 1013 mb"},
      {"7,NaN,30,60,1",
       "sims.csv:2:3: error: pressure_mb: \"NaN\" is not a pressure above 0 and below 1013 mb"},
      {"7,950,0.001,60,1", ""},
      {"7,950,0,60,1", "sims.csv:2:7: error: radius_km: \"0\" is not a positive radius"},
      {"7,950,-Infinity,60,1", "sims.csv:2:7: error: radius_km: \"-Infinity\" is not a positive radius"},
      {"7,950,30,Infinity,1", "sims.csv:2:10: error: distance_km: \"Infinity\" is not a finite distance"},
      {"17,950,30,-60,1", ""},
      {"18,950,30,0.001,1", ""},
      {"1,950,30,60,1", ""},
      {"20,950,30,60,1", ""},
      {"18,950,30,0,1",
       "sims.csv:2:11: error: distance_km: location 18 takes only a positive distance (landfall "
       "west of the bridge)"},
      {"7,950,30,60,NaN", "sims.csv:2:13: error: surge_m: \"NaN\" is not a finite surge"},
      {"7,950,30,60,abc", "sims.csv:2:13: error: surge_m: \"abc\" is not a number"},
      {"0,950,30,60,1", "sims.csv:2:1: error: location: \"0\" is not a location number 1 to 20"},
      {"21,950,30,60,1", "sims.csv:2:1: error: location: \"21\" is not a location number 1 to 20"},
      {"7.5,950,30,60,1", "sims.csv:2:1: error: location: \"7.5\" is not a location number 1 to 20"},
      {"20,950,30,60",
       "sims.csv:2: error: surge_m: missing field (the row has 4 fields where the header has 5)"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> errors = errors_of(std::string(kHeader) + c.row + "\n");
    if (c.error[0] == '\0') {
      EXPECT_TRUE(errors.empty()) << c.row << ": " << (errors.empty() ? "" : errors[0]);
    } else {
      ASSERT_EQ(errors.size(), 1u) << c.row;
      EXPECT_EQ(errors[0], c.error);
    }
  }
}

TEST(SimulationsTest, ColumnsCountQuotedCommasAsText) {
  EXPECT_EQ(errors_of("id,location,pressure_mb,radius_km,distance_km,surge_m\n"
                      "\"a,b\",7,950,x,60,1\n"),
            std::vector<std::string>{"sims.csv:2:13: error: radius_km: \"x\" is not a number"});
}

TEST(SimulationsTest, AWeightMustBeFiniteAndPositive) {
  const std::string header = "location,pressure_mb,radius_km,distance_km,surge_m,weight\n";
  SimulationSet set;
  EXPECT_TRUE(errors_of(header + "7,950,30,60,1,2.5\n", &set).empty());
  EXPECT_EQ(set.rows[0].weight, 2.5);
  EXPECT_EQ(errors_of(header + "7,950,30,60,1,0\n"),
            std::vector<std::string>{"sims.csv:2:15: error: weight: \"0\" is not a finite weight above 0"});
}

TEST(SimulationsTest, HeaderFaultsAndEmptyFiles) {
  EXPECT_EQ(errors_of("location,pressure_mb,radius_km,distance_km\n7,950,30,60\n"),
            std::vector<std::string>{
                "sims.csv:1: error: the header has no column surge_m (it needs "
                "location,pressure_mb,radius_km,distance_km,surge_m in any order; it has "
                "\"location\", \"pressure_mb\", \"radius_km\", \"distance_km\")"});
  EXPECT_EQ(errors_of("location,pressure_mb,radius_km,distance_km,surge_m,surge_m\n"),
            std::vector<std::string>{
                "sims.csv:1:52: error: the header names twice the column surge_m"});
  EXPECT_EQ(errors_of(""), std::vector<std::string>{"sims.csv:1: error: the file is empty: no header row"});
  EXPECT_EQ(errors_of(kHeader),
            std::vector<std::string>{"sims.csv: error: the file holds no rows of simulations"});
}

TEST(SimulationsTest, RowErrorsBeyondTheLimitAreCounted) {
  std::string text = kHeader;
  for (size_t i = 0; i < kRowErrorsShown + 3; ++i) text += "7,1020,30,60,1\n";
  const std::vector<std::string> errors = errors_of(text);
  ASSERT_EQ(errors.size(), kRowErrorsShown + 1);
  EXPECT_EQ(errors.back(), "sims.csv: error: 3 more rows could not be used (23 in all)");
}

}  // namespace
}  // namespace kit
