// surgekit ensemble and hazard as a user runs them, bad input included.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace surge_test {
namespace {

constexpr const char* kStorms =
    "name,pressure_mb,radius_km,rate\n"
    "a,930,30,1e-4\n"
    "b,950,20,4e-4\n"
    "c,975,40,2e-4\n";

class KitHazardTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    write_example_data();
    write_file("sites.csv", sites(0));
    write_file("storms.csv", kStorms);
  }

  // Bridges 1 to 20, 30 km apart, leaving out `skip`.
  static std::string sites(int skip) {
    std::string text = "location,name,alongshore_km,low_chord_m\n";
    for (int k = 1; k <= 20; ++k) {
      if (k != skip) text += std::to_string(k) + ",b" + std::to_string(k) + "," +
                             std::to_string(30 * k) + ",1.5\n";
    }
    return text;
  }

  RunResult kit(std::vector<std::string> args) {
    return run("", RunOptions{.env = {}, .cwd = {}, .timeout_seconds = 30,
                                  .program = SURGEKIT_PROGRAM, .args = std::move(args)});
  }

  // The first line of standard error.
  static std::string first_error(const RunResult& r) { return r.err.substr(0, r.err.find('\n')); }
};

const std::vector<std::string> kEnsemble = {"ensemble", "--landfall-km", "300", "--pressure",
                                            "940", "--radius", "30", "--sd-landfall", "40",
                                            "--sd-pressure", "8", "--sd-radius", "0.2",
                                            "--samples", "20000", "--threshold", "0.5"};

TEST_F(KitHazardTest, BadInputGivesItsLineAndStatusOne) {
  struct Row {
    std::string storms;  // replaces storms.csv when not empty
    std::vector<std::string> args;
    std::string error;
    int status = 1;
  } rows[] = {
      {"pressure_mb,radius_km,rate\n930,30,1e-4\n950,20,-0.1\n",
       {"hazard", "storms.csv", "--coast", "0:600"},
       "storms.csv:3:8: error: rate: \"-0.1\" is not a rate of zero or more"},
      {"pressure_mb,radius_km\n930,30\n",
       {"hazard", "storms.csv", "--coast", "0:600"},
       "storms.csv:1: error: the header has no column rate (it needs pressure_mb,radius_km,rate "
       "in any order; it has \"pressure_mb\", \"radius_km\")"},
      {"",
       {"hazard", "storms.csv", "--coast", "600:100"},
       "surgekit hazard: error: --coast \"600:100\" is an empty coast range: FROM must lie below TO",
       2},
      {"",
       {"hazard", "storms.csv"},
       "surgekit hazard: error: the storm set has no landfall_km column: give the coast to "
       "integrate over with --coast FROM:TO"},
      {"pressure_mb,radius_km,rate,landfall_km\n930,0,1e-4,5\n",
       {"hazard", "storms.csv"},
       "storms.csv:2:5: error: radius_km: \"0\" is not a positive radius"},
  };
  for (const Row& r : rows) {
    write_file("storms.csv", r.storms.empty() ? kStorms : r.storms);
    RunResult result = kit(r.args);
    EXPECT_EQ(result.status, r.status) << r.error;
    EXPECT_NE(result.err.find(r.error + "\n"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
}

TEST_F(KitHazardTest, SitesWithoutALocationStopBothCommands) {
  write_file("sites.csv", sites(7));
  for (const auto& args :
       {kEnsemble, std::vector<std::string>{"hazard", "storms.csv", "--coast", "0:600"}}) {
    RunResult result = kit(args);
    EXPECT_EQ(result.status, 1) << args[0];
    EXPECT_EQ(first_error(result), "sites.csv: error: location 7 is missing") << args[0];
    EXPECT_EQ(result.out, "");
  }
  write_file("sites.csv", sites(0) + "7,again,5,\n");
  RunResult result = kit(kEnsemble);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(first_error(result), "sites.csv:22:1: error: location 7 is given again (first on line 8)");
}

TEST_F(KitHazardTest, SameBytesForOneThreadOrTwo) {
  for (auto args :
       {kEnsemble, std::vector<std::string>{"hazard", "storms.csv", "--coast", "0:600",
                                            "--sigma-m", "0.05", "--curve", "curve.csv"}}) {
    args.push_back("--threads");
    args.push_back("1");
    RunResult one = kit(args);
    const std::string curve_one = args[0] == "hazard" ? read_file("curve.csv") : "";
    args.back() = "2";
    RunResult two = kit(args);
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out, two.out);
    EXPECT_EQ(one.out.substr(0, one.out.find('\n')),
              args[0] == "hazard"
                  ? "location,name,surge_10y_m,surge_25y_m,surge_50y_m,surge_100y_m,surge_200y_m,"
                    "surge_500y_m,rate_per_year,left_out_share"
                  : "location,name,samples_kept,left_out_share,surge_median_m,surge_p10_m,"
                    "surge_p90_m,p_surge_above_0.5_m,low_chord_m,p_surge_over_low_chord");
    if (args[0] == "hazard") {
      EXPECT_EQ(curve_one, read_file("curve.csv"));
    }
  }
}

TEST_F(KitHazardTest, NamesStormsOutsideTheFittedRanges) {
  RunResult r = kit({"hazard", "storms.csv", "--coast", "0:600", "--return-period", "1000"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err,
            "storms.csv:4: warning: storm \"c\" lies outside the fitted ranges: pressure 975 mb "
            "(fitted 890 to 960)\n"
            "surgekit hazard: note: 1 of 3 storm rows lies outside the fitted ranges (pressure 890 "
            "to 960 mb, radius 11 to 65 km)\n"
            "surgekit hazard: warning: the coast range 0:600 km cuts into the landfalls that "
            "reach bridges 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 "
            "within the fitted curves; their levels leave those storms out (--coast -1004:717 "
            "covers every bridge)\n");
  EXPECT_NE(r.out.find(",surge_1000y_m,"), std::string::npos);
  // Of 0.42 storms a year over the 600 km, location 20 at 600 km leaves out storm b's
  // landfalls within 83 km of the coast's start (beyond the 20 km storm's reach,
  // 20 (25 + 0.834) km): 0.0332, a share of 0.0790476. Location 19 at 570 km also
  // leaves out every landfall east of it (30 km) and 53 km of storm b's: 0.100476.
  EXPECT_NE(r.out.find(",0.100476\n20,b20,"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(",0.0790476\n"), std::string::npos) << r.out;
}

TEST_F(KitHazardTest, ReportShowsReturnLevelsAndAepPlots) {
  RunResult r = kit({"report", "-o", "page.html", "--storms", "storms.csv", "--coast", "0:600"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string page = read_file("page.html");
  const size_t section = page.find("<h2>Return-period surge</h2>");
  ASSERT_NE(section, std::string::npos);
  const std::string hazard = page.substr(section);
  EXPECT_NE(hazard.find("<th>100-year</th>"), std::string::npos);
  EXPECT_NE(hazard.find("<td class=\"text\">b19</td>"), std::string::npos);
  // One plot per bridge, its probability axis in powers of ten.
  size_t plots = 0;
  for (size_t at = hazard.find("<svg"); at != std::string::npos; at = hazard.find("<svg", at + 1)) {
    ++plots;
  }
  EXPECT_EQ(plots, 20u);
  EXPECT_NE(hazard.find(">10⁻²</text>"), std::string::npos);
  EXPECT_NE(hazard.find(">annual exceedance probability</text>"), std::string::npos);

  // Without --storms there is no such section; with a bad storm set, status 1.
  ASSERT_EQ(kit({"report", "-o", "plain.html"}).status, 0);
  EXPECT_EQ(read_file("plain.html").find("Return-period surge"), std::string::npos);
  write_file("storms.csv", "pressure_mb,radius_km,rate\n930,30,-1\n");
  r = kit({"report", "-o", "bad.html", "--storms", "storms.csv", "--coast", "0:600"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(first_error(r), "storms.csv:2:8: error: rate: \"-1\" is not a rate of zero or more");
}

// Bridges 1 to 20 as sites(0) does, each with a datum offset of 0.25 m and a
// tide amplitude of 0.4 m; bridge `no_chord`, when given, without a low chord.
std::string tidal_sites(int no_chord = 0) {
  std::string text = "location,name,alongshore_km,low_chord_m,datum_offset_m,tide_amplitude_m\n";
  for (int k = 1; k <= 20; ++k) {
    text += std::to_string(k) + ",b" + std::to_string(k) + "," + std::to_string(30 * k) +
            (k == no_chord ? "," : ",1.5") + ",0.25,0.4\n";
  }
  return text;
}

// The fields of location `location`'s row of a CSV output.
std::vector<std::string> row_fields(const std::string& out, int location) {
  const std::string start = "\n" + std::to_string(location) + ",";
  const size_t row = out.find(start);
  std::vector<std::string> fields;
  if (row == std::string::npos) return fields;
  std::stringstream line(out.substr(row + 1, out.find('\n', row + 1) - row - 1));
  for (std::string field; std::getline(line, field, ',');) fields.push_back(field);
  if (out[out.find('\n', row + 1) - 1] == ',') fields.push_back("");
  return fields;
}

const std::vector<std::string> kTotalHazard = {"hazard", "storms.csv", "--coast", "0:600",
                                               "--total-water"};

TEST_F(KitHazardTest, TotalWaterIsRefusedWithoutDatumOffsets) {
  std::vector<std::string> ensemble = kEnsemble;
  ensemble.push_back("--total-water");
  for (const auto& args :
       {kTotalHazard, ensemble,
        std::vector<std::string>{"report", "-o", "p.html", "--storms", "storms.csv", "--coast",
                                 "0:600", "--total-water"}}) {
    RunResult r = kit(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(first_error(r),
              "surgekit " + args[0] + ": error: --total-water needs the height of mean sea level "
              "above each site's datum (column datum_offset_m) in sites.csv; no location has one");
    EXPECT_EQ(r.out, "");
  }
  std::string some = tidal_sites();
  for (const char* row : {"\n3,b3,90,1.5,0.25,0.4\n", "\n17,b17,510,1.5,0.25,0.4\n"}) {
    const std::string with = row;
    some.replace(some.find(with), with.size(), "\n" + with.substr(1, with.find(",0.25") - 1) +
                                                   ",,0.4\n");
  }
  write_file("sites.csv", some);
  RunResult r = kit(kTotalHazard);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(first_error(r),
            "surgekit hazard: error: --total-water needs the height of mean sea level above each "
            "site's datum (column datum_offset_m) in sites.csv; locations 3, 17 have none");
}

TEST_F(KitHazardTest, BadWaterOptionsAreCommandLineFaults) {
  write_file("sites.csv", tidal_sites());
  struct Row {
    std::vector<std::string> extra;
    int status;
  } rows[] = {
      {{"--wave-setup", "-0.1"}, 2}, {{"--wave-setup", "nan"}, 2},
      {{"--wave-setup", "inf"}, 2},  {{"--sea-level-rise", "Infinity"}, 2},
      {{"--wave-setup", "0"}, 0},    {{"--wave-setup", "0.2", "--sea-level-rise", "-0.1"}, 0},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = kTotalHazard;
    args.insert(args.end(), row.extra.begin(), row.extra.end());
    EXPECT_EQ(kit(args).status, row.status) << row.extra[0] << " " << row.extra[1];
  }
  // The water options need --total-water; the two tides exclude each other.
  for (const auto& args :
       {std::vector<std::string>{"hazard", "storms.csv", "--coast", "0:600", "--wave-setup", "0.1"},
        std::vector<std::string>{"hazard", "storms.csv", "--coast", "0:600", "--sea-level-rise",
                                 "0.5"}}) {
    EXPECT_EQ(kit(args).status, 2) << args[4];
  }
  std::vector<std::string> ensemble = kEnsemble;
  ensemble.push_back("--tide-m");
  ensemble.push_back("0.3");
  EXPECT_EQ(kit(ensemble).status, 2);  // without --total-water
  ensemble.push_back("--total-water");
  EXPECT_EQ(kit(ensemble).status, 0);
  for (const char* range : {"0:1", "1:0", "a:1", "nan:1"}) {
    std::vector<std::string> args = kEnsemble;
    args.insert(args.end(), {"--total-water", "--tide-range", range});
    EXPECT_EQ(kit(args).status, std::string(range) == "0:1" ? 0 : 2) << range;
    args.insert(args.end(), {"--tide-m", "0.3"});
    EXPECT_EQ(kit(args).status, 2) << range;
  }
  // A negative amplitude in the sites file is a data fault with its line.
  std::string bad = tidal_sites();
  bad.replace(bad.find("\n5,b5,150,1.5,0.25,0.4"), 22, "\n5,b5,150,1.5,0.25,-0.4");
  write_file("sites.csv", bad);
  RunResult r = kit(kTotalHazard);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(first_error(r),
            "sites.csv:6:19: error: tide_amplitude_m: \"-0.4\" is below 0: it is half the tidal range");
}

TEST_F(KitHazardTest, TotalWaterGivesLevelsInTheDatumAndClearances) {
  write_file("sites.csv", tidal_sites());
  RunResult r = kit(kTotalHazard);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
            "location,name,total_water_10y_m,total_water_25y_m,total_water_50y_m,"
            "total_water_100y_m,total_water_200y_m,total_water_500y_m,low_chord_m,"
            "clearance_10y_m,clearance_25y_m,clearance_50y_m,clearance_100y_m,clearance_200y_m,"
            "clearance_500y_m,rate_per_year,left_out_share");
  // Bridge 10's levels, each at least its datum offset 0.25 m, and clearances add up
  // to its low chord of 1.5 m.
  const size_t row = r.out.find("\n10,b10,");
  ASSERT_NE(row, std::string::npos);
  std::vector<std::string> f;
  std::stringstream line(r.out.substr(row + 1, r.out.find('\n', row + 1) - row - 1));
  for (std::string field; std::getline(line, field, ',');) f.push_back(field);
  ASSERT_EQ(f.size(), 17u);
  EXPECT_EQ(f[8], "1.500");
  for (int i = 2; i < 8; ++i) {
    EXPECT_GE(std::stod(f[i]), 0.25);
    EXPECT_NEAR(std::stod(f[i]) + std::stod(f[i + 7]), 1.5, 1e-9) << i;
  }
  // The report names the water and gives the clearance table.
  r = kit({"report", "-o", "page.html", "--storms", "storms.csv", "--coast", "0:600",
           "--total-water", "--sea-level-rise", "0.3"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string page = read_file("page.html");
  EXPECT_NE(page.find("<h2>Return-period total water level</h2>"), std::string::npos);
  EXPECT_NE(page.find("Clearance (low chord - total water level, m) at each bridge"),
            std::string::npos);
  EXPECT_NE(page.find(">total water level above the site's datum (m)</text>"),
            std::string::npos);
}

// Bridge 5 has no low chord: each mode leaves its own columns empty, exactly
// those, and a note names them.
TEST_F(KitHazardTest, EveryEmptyFieldIsNamedWithItsReason) {
  write_file("sites.csv", tidal_sites(5));
  std::vector<std::string> hazard_1000 = kTotalHazard, ensemble_total = kEnsemble;
  hazard_1000.insert(hazard_1000.end(), {"--return-period", "1000"});
  ensemble_total.push_back("--total-water");
  const std::string no_chord = ": note: location 5: sites.csv gives no low chord, so low_chord_m and ";
  const std::string mixed =
      "surgekit ensemble: note: p_surge_over_low_chord compares the surge above mean sea level "
      "with the low chord above the site's datum; sites.csv gives the datum offsets, so "
      "--total-water gives the chance that the total water level in that datum exceeds the low "
      "chord\n";
  struct Row {
    std::vector<std::string> args;
    std::vector<size_t> empty;  // the fields of bridge 5's row that are empty
    std::string notes;          // standard error from the first note on
  } rows[] = {
      {kTotalHazard, {8, 9, 10, 11, 12, 13, 14},
       "surgekit hazard" + no_chord + "clearance_10y_m to clearance_500y_m are empty\n"},
      {hazard_1000, {9, 10, 11, 12, 13, 14, 15, 16},
       "surgekit hazard" + no_chord + "clearance_10y_m to clearance_1000y_m are empty\n"},
      {ensemble_total, {8, 10, 11, 12, 13},
       "surgekit ensemble" + no_chord +
           "p_total_water_over_low_chord, clearance_p10_m, clearance_p50_m and clearance_p90_m "
           "are empty\n"},
      {kEnsemble, {8, 9}, "surgekit ensemble" + no_chord + "p_surge_over_low_chord are empty\n" + mixed},
  };
  for (const Row& row : rows) {
    const RunResult r = kit(row.args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string header = r.out.substr(0, r.out.find('\n'));
    const std::vector<std::string> fields = row_fields(r.out, 5);
    ASSERT_EQ(fields.size(), static_cast<size_t>(std::count(header.begin(), header.end(), ',') + 1))
        << header;
    for (size_t i = 0; i < fields.size(); ++i) {
      const bool empty = std::find(row.empty.begin(), row.empty.end(), i) != row.empty.end();
      EXPECT_EQ(fields[i].empty(), empty) << header << " field " << i;
    }
    const size_t first = r.err.find(row.notes.substr(0, row.notes.find(':')) + ": note: location");
    ASSERT_NE(first, std::string::npos) << r.err;
    EXPECT_EQ(r.err.substr(first), row.notes);
  }
  // The report lists the bridge in its clearance table and says why it has none.
  ASSERT_EQ(kit({"report", "-o", "page.html", "--storms", "storms.csv", "--coast", "0:600",
                 "--total-water"}).status, 0);
  std::string page = read_file("page.html");
  EXPECT_NE(page.find("<tr><td>5</td><td class=\"text\">b5</td><td>none given</td><td></td>"),
            std::string::npos);
  EXPECT_NE(page.find("<p class=\"note\">Bridge 5 has no low chord in sites.csv, so the table "
                      "gives no clearance there.</p>"),
            std::string::npos);
  EXPECT_EQ(page.find("The low chord marked on each plot is above the site's datum"),
            std::string::npos);
  // Without the total water the page says which datum each height is in.
  ASSERT_EQ(kit({"report", "-o", "page.html", "--storms", "storms.csv", "--coast", "0:600"}).status,
            0);
  page = read_file("page.html");
  EXPECT_NE(page.find("<p class=\"note\">The low chord marked on each plot is above the site's "
                      "datum, the surge above mean sea level;"),
            std::string::npos);
}

}  // namespace
}  // namespace surge_test
