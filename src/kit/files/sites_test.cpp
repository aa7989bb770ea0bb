// Reading and checking the bridge sites file.
#include "kit/files/sites.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kit {
namespace {

// A sites file with rows for locations 1 to 20, leaving out `skip`.
std::string sites_file(int skip = 0, const std::string& header = "location,name,alongshore_km") {
  std::string text = header + "\n";
  for (int k = 1; k <= 20; ++k) {
    if (k != skip) text += std::to_string(k) + ",b" + std::to_string(k) + "," +
                           std::to_string(10 * k) + "\n";
  }
  return text;
}

// The findings of reading `text`, each formatted; the sites on success.
std::vector<std::string> read(const std::string& text, std::vector<Site>* sites = nullptr) {
  std::FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  std::vector<Site> got;
  std::vector<std::string> out;
  for (const Finding& f : read_sites(in, "sites.csv", &got)) out.push_back(format_finding(f));
  std::fclose(in);
  if (sites != nullptr) *sites = got;
  return out;
}

TEST(Sites, ReadsEveryLocationInOrder) {
  std::string text = "name,alongshore_km,location,low_chord_m\r\n";
  for (int k = 20; k >= 1; --k) {
    text += "\"Bridge, " + std::to_string(k) + "\"," + std::to_string(k) + ".5," +
            std::to_string(k) + "," + (k == 3 ? "" : "4.25") + "\r\n";
  }
  std::vector<Site> sites;
  EXPECT_EQ(read(text, &sites), std::vector<std::string>{});
  ASSERT_EQ(sites.size(), 20u);
  EXPECT_EQ(sites[0].location, 1);
  EXPECT_EQ(sites[0].name, "Bridge, 1");
  EXPECT_EQ(sites[19].alongshore_km, 20.5);
  EXPECT_TRUE(sites[0].has_low_chord);
  EXPECT_EQ(sites[0].low_chord_m, 4.25);
  EXPECT_FALSE(sites[2].has_low_chord);
}

TEST(Sites, NamesEachFaultWithItsLineAndField) {
  struct Row {
    std::string text;
    std::vector<std::string> findings;
  } rows[] = {
      {sites_file(7), {"sites.csv: error: location 7 is missing"}},
      {sites_file(0, "location,alongshore_km"),
       {"sites.csv:1: error: the header has no column 'name'"}},
      {sites_file(0, "location,name,alongshore_km,depth"),
       {"sites.csv:1: warning: column 'depth' is not used",
        "sites.csv:2: error: the row has 3 fields; the header has 4",
        "sites.csv:3: error: the row has 3 fields; the header has 4"}},
      {sites_file(20) + "21,x,5\n",
       {"sites.csv:21: error: location: '21' is not a location number 1 to 20",
        "sites.csv: error: location 20 is missing"}},
      {sites_file(20) + "3,x,5\n",
       {"sites.csv:21: error: location 3 is given again (first on line 4)",
        "sites.csv: error: location 20 is missing"}},
      {sites_file(20) + "20,x,east\n",
       {"sites.csv:21: error: alongshore_km: 'east' is not a finite number",
        "sites.csv: error: location 20 is missing"}},
      {"", {"sites.csv: error: the file is empty: it needs a header row and one row per location"}},
  };
  for (const Row& r : rows) {
    std::vector<std::string> got = read(r.text);
    // Only the first findings matter for the longer files.
    if (got.size() > r.findings.size()) got.resize(r.findings.size());
    EXPECT_EQ(got, r.findings) << r.text;
  }
}

TEST(Sites, LeavesAMissingFileToItsUsersAndRefusesToLoadIt) {
  EXPECT_TRUE(check_sites_file("/nonexistent-folder").empty());
  std::vector<Site> sites;
  std::vector<Finding> findings;
  EXPECT_FALSE(load_sites("/nonexistent-folder", &sites, &findings));
}

// Rows 1 to 20 with the datum offset and tide amplitude of row 20 given as `last`.
std::string water_file(const std::string& last) {
  std::string text = "location,name,alongshore_km,datum_offset_m,tide_amplitude_m\n";
  for (int k = 1; k < 20; ++k) text += std::to_string(k) + ",b,0,0.25,0.5\n";
  return text + "20,b,0," + last + "\n";
}

TEST(Sites, ReadsTheDatumOffsetAndTideAmplitude) {
  struct Row {
    std::string last;
    bool has_offset;
    double offset, amplitude;
  } rows[] = {
      {"-0.125,0", true, -0.125, 0}, {",0.75", false, 0, 0.75}, {"1.5,", true, 1.5, 0},
      {" , ", false, 0, 0},
  };
  for (const Row& r : rows) {
    std::vector<Site> sites;
    EXPECT_EQ(read(water_file(r.last), &sites), std::vector<std::string>{}) << r.last;
    ASSERT_EQ(sites.size(), 20u);
    EXPECT_EQ(sites[19].has_datum_offset, r.has_offset) << r.last;
    EXPECT_EQ(sites[19].datum_offset_m, r.offset) << r.last;
    EXPECT_EQ(sites[19].tide_amplitude_m, r.amplitude) << r.last;
    EXPECT_TRUE(sites[0].has_datum_offset);
    EXPECT_EQ(sites[0].tide_amplitude_m, 0.5);
  }
  // Without the columns nothing is known and there is no tide.
  std::vector<Site> sites;
  EXPECT_EQ(read(sites_file(), &sites), std::vector<std::string>{});
  EXPECT_FALSE(sites[3].has_datum_offset);
  EXPECT_EQ(sites[3].tide_amplitude_m, 0);
}

TEST(Sites, RefusesABadDatumOffsetOrAmplitudeWithItsLine) {
  struct Row {
    std::string last, finding;
  } rows[] = {
      {"nan,0.5", "sites.csv:21: error: datum_offset_m: 'nan' is not a finite number (leave it "
                  "empty when unknown)"},
      {"Infinity,0.5", "sites.csv:21: error: datum_offset_m: 'Infinity' is not a finite number "
                       "(leave it empty when unknown)"},
      {"0,-0.001", "sites.csv:21: error: tide_amplitude_m: '-0.001' is below 0: it is half the "
                   "tidal range"},
      {"0,inf", "sites.csv:21: error: tide_amplitude_m: 'inf' is not a finite number (leave it "
                "empty for no tide)"},
      {"0,high", "sites.csv:21: error: tide_amplitude_m: 'high' is not a finite number (leave it "
                 "empty for no tide)"},
  };
  for (const Row& r : rows) {
    const std::vector<std::string> got = read(water_file(r.last));
    ASSERT_FALSE(got.empty()) << r.last;
    EXPECT_EQ(got[0], r.finding);
  }
  // An amplitude of exactly 0 is no tide, and is accepted.
  EXPECT_EQ(read(water_file("0,0")), std::vector<std::string>{});
}

}  // namespace
}  // namespace kit
