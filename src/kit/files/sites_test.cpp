// Reading and checking the bridge sites file.
#include "kit/files/sites.h"

#include <gtest/gtest.h>

#include <cmath>
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
    bool first_only = false;  // the findings begin so; more follow
  } rows[] = {
      {sites_file(7), {"sites.csv: error: location 7 is missing"}},
      {sites_file(0, "location,alongshore_km"),
       {"sites.csv:1: error: the header has no column name (it needs location,name,alongshore_km "
        "in any order; it has \"location\", \"alongshore_km\")"}},
      {sites_file(0, "location;name;alongshore_km"),
       {"sites.csv:1: error: the header has no columns location, name and alongshore_km (it needs "
        "location,name,alongshore_km in any order; it has \"location;name;alongshore_km\"; "
        "columns are separated by commas, not semicolons)"}},
      {sites_file(0, "location,name,alongshore_km,depth"),
       {"sites.csv:1:29: warning: column \"depth\" is not used",
        "sites.csv:2: error: the row has 3 fields where the header has 4",
        "sites.csv:3: error: the row has 3 fields where the header has 4"},
       true},
      {sites_file(20) + "21,x,5\n",
       {"sites.csv:21:1: error: location: \"21\" is not a location number 1 to 20",
        "sites.csv: error: location 20 is missing"}},
      {sites_file(20) + "3,x,5\n",
       {"sites.csv:21:1: error: location 3 is given again (first on line 4)",
        "sites.csv: error: location 20 is missing"}},
      // A refused row whose location reads gives that location: it is not
      // also missing.
      {sites_file(20) + "20,x,east\n",
       {"sites.csv:21:6: error: alongshore_km: \"east\" is not a finite number"}},
      {sites_file(20) + "20,x,\"5\",6\n",
       {"sites.csv:21: error: the row has 4 fields where the header has 3"}},
      {sites_file(20) + "20,\"x\ny\",Infinity\n",
       {"sites.csv:22:4: error: alongshore_km: \"Infinity\" is not a finite number"}},
      {sites_file(20) + "20,x,east\n20,y,5\n",
       {"sites.csv:21:6: error: alongshore_km: \"east\" is not a finite number",
        "sites.csv:22:1: error: location 20 is given again (first on line 21)"}},
      {"", {"sites.csv: error: the file is empty: it needs a header row and one row per location"}},
  };
  for (const Row& r : rows) {
    std::vector<std::string> got = read(r.text);
    if (r.first_only && got.size() > r.findings.size()) got.resize(r.findings.size());
    EXPECT_EQ(got, r.findings) << r.text;
  }
}

// The location is a whole number 1 to 20 and a low chord, when given, 0 or
// more: each limit with the values on both of its sides.
TEST(Sites, TakesEachFieldUpToItsLimits) {
  const std::string header = "location,name,alongshore_km,low_chord_m\n";
  auto rows_without = [](int skip) {
    std::string text;
    for (int k = 1; k <= 20; ++k) {
      if (k != skip) text += std::to_string(k) + ",b," + std::to_string(k) + ",\n";
    }
    return text;
  };
  struct Row {
    std::string row;    // the row that gives location 7
    std::string error;  // "" when accepted
    double low_chord = 0;  // when accepted; NaN: none given
    bool location_lost = false;  // refused with its location: location 7 is missing too
  } rows[] = {
      {"7,b,7,0", "", 0},
      {"7,b,7,0.001", "", 0.001},
      {"7,b,7,  ", "", std::nan("")},
      {"7,b,7,-0.001",
       "sites.csv:21:7: error: low_chord_m: \"-0.001\" is below 0: a low chord lies above the "
       "site's datum"},
      {"7,b,7,NaN",
       "sites.csv:21:7: error: low_chord_m: \"NaN\" is not a finite number (leave it empty when "
       "unknown)"},
      {"7.0,b,7,", "", std::nan("")},
      {"7.5,b,7,", "sites.csv:21:1: error: location: \"7.5\" is not a location number 1 to 20", 0,
       true},
      {"6.999,b,7,", "sites.csv:21:1: error: location: \"6.999\" is not a location number 1 to 20",
       0, true},
  };
  for (const Row& r : rows) {
    std::vector<Site> sites;
    const std::vector<std::string> findings = read(header + rows_without(7) + r.row + "\n", &sites);
    if (r.error.empty()) {
      EXPECT_EQ(findings, std::vector<std::string>{}) << r.row;
      ASSERT_EQ(sites.size(), 20u) << r.row;
      EXPECT_EQ(sites[6].location, 7);
      EXPECT_EQ(sites[6].has_low_chord, !std::isnan(r.low_chord)) << r.row;
      if (sites[6].has_low_chord) {
        EXPECT_EQ(sites[6].low_chord_m, r.low_chord) << r.row;
      }
    } else {
      std::vector<std::string> expected{r.error};
      if (r.location_lost) expected.push_back("sites.csv: error: location 7 is missing");
      EXPECT_EQ(findings, expected) << r.row;
      EXPECT_TRUE(sites.empty()) << r.row;
    }
  }
  // Locations 1 and 20 are read; 0 and 21 are not.
  std::vector<Site> sites;
  EXPECT_EQ(read(header + rows_without(0), &sites), std::vector<std::string>{});
  ASSERT_EQ(sites.size(), 20u);
  EXPECT_EQ(sites.front().location, 1);
  EXPECT_EQ(sites.back().location, 20);
  for (const char* location : {"0", "21"}) {
    EXPECT_EQ(read(header + rows_without(0) + location + ",b,1,\n")[0],
              "sites.csv:22:1: error: location: \"" + std::string(location) +
                  "\" is not a location number 1 to 20");
  }
}

// Blank lines before the header, and header names in another case with
// blanks around them.
TEST(Sites, ToleratesBlankLinesAndHeaderSpelling) {
  std::vector<Site> sites;
  EXPECT_EQ(read("\n  \n" + sites_file(0, " Location ,NAME,\tAlongshore_KM"), &sites),
            std::vector<std::string>{});
  ASSERT_EQ(sites.size(), 20u);
  EXPECT_EQ(sites[19].alongshore_km, 200);
  EXPECT_EQ(read("\n\n"), std::vector<std::string>{"sites.csv: error: the file is empty: it needs "
                                                   "a header row and one row per location"});
}

TEST(Sites, LeavesAMissingFileToItsUsersAndRefusesToLoadIt) {
  EXPECT_TRUE(check_sites_file("/nonexistent-folder").empty());
  std::vector<Site> sites;
  std::vector<Finding> findings;
  std::string unreadable;
  EXPECT_FALSE(load_sites("/nonexistent-folder", &sites, &findings, &unreadable));
  EXPECT_EQ(unreadable, "cannot read /nonexistent-folder/sites.csv: No such file or directory");
  EXPECT_TRUE(findings.empty());
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
      // The limits themselves are taken.
      {"-1000,20", true, -1000, 20}, {"1000,19.999", true, 1000, 19.999},
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
      {"nan,0.5", "sites.csv:21:8: error: datum_offset_m: \"nan\" is not a finite number (leave "
                  "it empty when unknown)"},
      {"Infinity,0.5", "sites.csv:21:8: error: datum_offset_m: \"Infinity\" is not a finite "
                       "number (leave it empty when unknown)"},
      {"0,-0.001", "sites.csv:21:10: error: tide_amplitude_m: \"-0.001\" is below 0: it is half "
                   "the tidal range"},
      {"0,inf", "sites.csv:21:10: error: tide_amplitude_m: \"inf\" is not a finite number (leave "
                "it empty for no tide)"},
      {"0,high", "sites.csv:21:10: error: tide_amplitude_m: \"high\" is not a finite number "
                 "(leave it empty for no tide)"},
      // Just past each limit, and far past it.
      {"0,20.001", "sites.csv:21:10: error: tide_amplitude_m: \"20.001\" is above 20 m: half "
                   "the largest tidal range on Earth is about 8 m"},
      {"0,1e300", "sites.csv:21:10: error: tide_amplitude_m: \"1e300\" is above 20 m: half "
                  "the largest tidal range on Earth is about 8 m"},
      {"1000.001,0", "sites.csv:21:8: error: datum_offset_m: \"1000.001\" is beyond -1000 to "
                     "1000 m: mean sea level lies within tens of metres of any vertical datum"},
      {"-1000.001,0", "sites.csv:21:8: error: datum_offset_m: \"-1000.001\" is beyond -1000 to "
                      "1000 m: mean sea level lies within tens of metres of any vertical datum"},
      {"1e308,0", "sites.csv:21:8: error: datum_offset_m: \"1e308\" is beyond -1000 to 1000 m: "
                  "mean sea level lies within tens of metres of any vertical datum"},
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
