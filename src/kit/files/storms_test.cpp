// Reading a storm set: each range at its limits, and faults at their fields.
#include "kit/files/storms.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kit {
namespace {

// The findings of reading `text`, each formatted; the set on success.
std::vector<std::string> read(const std::string& text, StormSet* set = nullptr) {
  std::FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  StormSet got;
  std::vector<std::string> out;
  for (const Finding& f : read_storms(in, "storms.csv", &got)) out.push_back(format_finding(f));
  std::fclose(in);
  if (set != nullptr) *set = got;
  return out;
}

TEST(Storms, TakesEachFieldUpToItsLimits) {
  struct Row {
    std::string row;      // pressure_mb,radius_km,rate,landfall_km
    std::string finding;  // "" when read without a word
    bool read;            // the set is read
  } rows[] = {
      {"930,30,0,5", "", true},
      {"930,30,1e-300,5", "", true},
      {"930,30,-0.001,5", "storms.csv:2:8: error: rate: \"-0.001\" is not a rate of zero or more",
       false},
      {"930,30,Infinity,5",
       "storms.csv:2:8: error: rate: \"Infinity\" is not a rate of zero or more", false},
      {"1012.999,30,1,5",
       "storms.csv:2: warning: the storm lies outside the fitted ranges: pressure 1012.999 mb "
       "(fitted 890 to 960)",
       true},
      {"1013,30,1,5",
       "storms.csv:2:1: error: pressure_mb: \"1013\" is not a pressure above 0 and below 1013 mb",
       false},
      {"0,30,1,5",
       "storms.csv:2:1: error: pressure_mb: \"0\" is not a pressure above 0 and below 1013 mb",
       false},
      {"9x0,30,1,5", "storms.csv:2:1: error: pressure_mb: \"9x0\" is not a number", false},
      {"960,11,1,5", "", true},
      {"890,65,1,5", "", true},
      {"960.001,30,1,5",
       "storms.csv:2: warning: the storm lies outside the fitted ranges: pressure 960.001 mb "
       "(fitted 890 to 960)",
       true},
      {"930,0.001,1,5",
       "storms.csv:2: warning: the storm lies outside the fitted ranges: radius 0.001 km "
       "(fitted 11 to 65)",
       true},
      {"930,0,1,5", "storms.csv:2:5: error: radius_km: \"0\" is not a positive radius", false},
      {"930,30,1,NaN", "storms.csv:2:10: error: landfall_km: \"NaN\" is not a finite number", false},
      {"930,30,1", "storms.csv:2: error: landfall_km: missing field (the row has 3 fields where "
                   "the header has 4)", false},
  };
  for (const Row& r : rows) {
    StormSet set;
    const std::vector<std::string> findings =
        read("pressure_mb,radius_km,rate,landfall_km\n" + r.row + "\n", &set);
    EXPECT_EQ(findings, r.finding.empty() ? std::vector<std::string>{}
                                          : std::vector<std::string>{r.finding})
        << r.row;
    EXPECT_EQ(set.storms.size(), r.read ? 1u : 0u) << r.row;
    if (r.read) {
      EXPECT_TRUE(set.has_landfall);
      EXPECT_EQ(set.storms[0].line, 2u);
      EXPECT_EQ(set.storms[0].landfall_km, 5);
    }
  }
  StormSet set;
  EXPECT_EQ(read("pressure_mb,radius_km,rate\n930,30,0\n", &set), std::vector<std::string>{});
  ASSERT_EQ(set.storms.size(), 1u);
  EXPECT_EQ(set.storms[0].rate, 0);
}

TEST(Storms, ToleratesHeaderSpellingAndNamesWhatItFound) {
  StormSet set;
  EXPECT_EQ(read("\n\nName, Pressure_MB ,RADIUS_KM,rate,gust\nc,975,30,0.1\n", &set),
            (std::vector<std::string>{
                "storms.csv:3:35: warning: column \"gust\" is not used",
                "storms.csv:4: error: the row has 4 fields where the header has 5"}));
  EXPECT_EQ(read("\n\nName, Pressure_MB ,RADIUS_KM,rate,gust\nc,975,30,0.1,x\n", &set),
            (std::vector<std::string>{
                "storms.csv:3:35: warning: column \"gust\" is not used",
                "storms.csv:4: warning: storm \"c\" lies outside the fitted ranges: pressure "
                "975 mb (fitted 890 to 960)"}));
  EXPECT_EQ(set.storms.size(), 1u);
  EXPECT_FALSE(set.has_landfall);
  EXPECT_EQ(read("pressure_mb\tradius_km\trate\n930\t30\t1\n"),
            std::vector<std::string>{
                "storms.csv:1: error: the header has no columns pressure_mb, radius_km and rate "
                "(it needs pressure_mb,radius_km,rate in any order; it has "
                "\"pressure_mb\tradius_km\trate\"; columns are separated by commas, not tabs)"});
  EXPECT_EQ(read(" \n"),
            std::vector<std::string>{"storms.csv: error: the storm set is empty: it needs a header row"});
  EXPECT_EQ(read("pressure_mb,radius_km,rate\n\n"),
            std::vector<std::string>{"storms.csv: error: the storm set has no storms"});
}

}  // namespace
}  // namespace kit
