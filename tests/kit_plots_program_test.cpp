// Whole-program runs of surgekit curve, worst, envelope and report on the
// example coefficient set: statuses, CSV shapes, agreement between the
// subcommands, and the files they draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace {

using surge_test::ProgramTest;
using surge_test::RunOptions;
using surge_test::RunResult;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
  return fields;
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class KitPlotsTest : public ProgramTest {
 protected:
  // surgekit with the arguments as given.
  RunResult kit_raw(std::vector<std::string> args) {
    RunOptions options;
    options.program = SURGEKIT_PROGRAM;
    options.args = std::move(args);
    return run("", options);
  }
  // surgekit on the example data: --data after the subcommand's name.
  RunResult kit(std::vector<std::string> args) {
    args.insert(args.begin() + 1, {"--data", SURGE_EXAMPLES_DIR});
    return kit_raw(std::move(args));
  }
};

// Each run: its arguments, exit status, the header line and the count of
// lines on stdout (0: stdout not checked), and a pattern every data line matches.
TEST_F(KitPlotsTest, SubcommandRuns) {
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string header;
    size_t lines;
    std::string pattern;
  };
  const std::string worst_header =
      "location,surge_m,distance_km,radius_km,side,curve,x,radius_min_km,radius_max_km,"
      "distance_at_min_km,distance_at_max_km,radius_runs_km";
  const std::string worst_line =
      R"(\d+,\d+\.\d{3},-?\d+\.\d{2},\d+,(LEFT|RIGHT),(left|tail|right),[^,]+,\d+,\d+,-?\d+\.\d{2},-?\d+\.\d{2},\d+(-\d+)?( \d+(-\d+)?)*)";
  const Row rows[] = {
      {{"worst", "--pressure", "930", "--radius", "30"}, 0, worst_header, 21, worst_line},
      {{"worst", "--pressure", "930", "--radius-range", "11:65"}, 0, worst_header, 21, worst_line},
      {{"worst", "--pressure", "1040", "--radius", "20", "--location", "7"}, 2, "", 0, ""},
      {{"worst", "--pressure", "930", "--radius-range", "0:20"}, 2, "", 0, ""},
      {{"worst", "--pressure", "930", "--radius", "30", "--radius-range", "11:65"}, 2, "", 0, ""},
      {{"worst", "--pressure", "930", "--location", "21"}, 2, "", 0, ""},
      {{"worst", "--pressure", "930", "--radius-range", "65:11"}, 2, "", 0, ""},
      {{"worst", "--radius", "30"}, 2, "", 0, ""},
      {{"curve", "--location", "3", "--pressure", "930", "--radius", "30", "--from", "-5",
        "--to", "5", "--step", "0.5"},
       0, "location,distance_km,surge_m,side,curve,x,flags", 22,
       R"(3,-?\d+(\.5)?,\d+\.\d+,(LEFT|RIGHT),(left|right),[^,]+,)"},
      {{"curve", "--location", "all", "--pressure", "930", "--radius", "12", "--from", "0",
        "--to", "1"},
       0, "location,distance_km,surge_m,side,curve,x,flags", 0, ""},
      {{"curve", "--location", "3", "--pressure", "930", "--radius", "30", "--from", "5",
        "--to", "-5"},
       2, "", 0, ""},
      {{"curve", "--location", "3", "--pressure", "930"}, 2, "", 0, ""},
      {{"envelope", "--pressures", "900:960:30", "--radius-range", "20:30", "--location", "2"},
       0,
       "location,pressure_mb,surge_m,distance_km,radius_km,side,curve,x,radius_min_km,"
       "radius_max_km,distance_at_min_km,distance_at_max_km,radius_runs_km",
       4, R"(2,9[036]0,\d+\.\d{3},-?\d+\.\d{2},\d+,(LEFT|RIGHT),(left|tail|right),[^,]+,\d+,\d+,-?\d+\.\d{2},-?\d+\.\d{2},\d+(-\d+)?( \d+(-\d+)?)*)"},
      {{"envelope", "--pressures", "1000:1020:10"}, 2, "", 0, ""},
      {{"envelope", "--pressures", "900-960"}, 2, "", 0, ""},
  };
  for (const Row& row : rows) {
    std::string command;
    for (const std::string& a : row.args) command += a + " ";
    SCOPED_TRACE(command);
    const RunResult r = kit(row.args);
    ASSERT_EQ(r.status, row.status) << r.err;
    if (row.status != 0) {
      EXPECT_TRUE(r.out.empty());
      EXPECT_FALSE(r.err.empty());
      continue;
    }
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], row.header);
    if (row.lines != 0) {
      EXPECT_EQ(lines.size(), row.lines);
    }
    const std::regex pattern(row.pattern.empty() ? ".*" : row.pattern);
    for (size_t i = 1; i < lines.size(); ++i) {
      EXPECT_TRUE(std::regex_match(lines[i], pattern)) << lines[i];
    }
  }
}

// One line per location, numbered in order; with `all` the curve has one
// series per location, each over the same distances.
TEST_F(KitPlotsTest, EveryLocationInOrder) {
  const std::vector<std::string> worst = lines_of(kit({"worst", "--pressure", "930", "--radius", "30"}).out);
  ASSERT_EQ(worst.size(), 21u);
  for (int i = 1; i <= 20; ++i) EXPECT_EQ(fields_of(worst[i])[0], std::to_string(i));

  const std::vector<std::string> curve = lines_of(
      kit({"curve", "--location", "all", "--pressure", "930", "--radius", "12", "--from", "-1",
           "--to", "1", "--step", "0.1"}).out);
  ASSERT_EQ(curve.size(), 1u + 20 * 21);
  for (int loc = 1; loc <= 20; ++loc) {
    const auto first = fields_of(curve[1 + (loc - 1) * 21]);
    const auto last = fields_of(curve[(loc) * 21]);
    EXPECT_EQ(first[0], std::to_string(loc));
    EXPECT_EQ(first[1], "-1");
    EXPECT_EQ(last[1], "1");
  }
  // Distances print as the decimals they are: 0.1 steps, no binary tails.
  EXPECT_EQ(fields_of(curve[4])[1], "-0.7");
}

// The envelope's cell for a pressure is the worst case at that pressure over
// the same radii; the worst case's surge is no less than any point of the curve.
TEST_F(KitPlotsTest, SubcommandsAgree) {
  const auto envelope = lines_of(kit({"envelope", "--pressures", "900:960:30", "--radius-range",
                                      "20:30", "--location", "2"}).out);
  const auto worst = lines_of(kit({"worst", "--pressure", "930", "--radius-range", "20:30",
                                   "--location", "2"}).out);
  ASSERT_EQ(envelope.size(), 4u);
  ASSERT_EQ(worst.size(), 2u);
  const auto e = fields_of(envelope[2]), w = fields_of(worst[1]);
  EXPECT_EQ(e[1], "930");
  EXPECT_EQ(e[2], w[1]);  // surge
  EXPECT_EQ(e[3], w[2]);  // distance
  EXPECT_EQ(e[4], w[3]);  // radius

  const auto worst30 = lines_of(kit({"worst", "--pressure", "930", "--radius", "30",
                                     "--location", "5"}).out);
  const double worst_surge = std::stod(fields_of(worst30[1])[1]);
  const auto curve = lines_of(kit({"curve", "--location", "5", "--pressure", "930", "--radius",
                                   "30", "--step", "0.05"}).out);
  double curve_max = 0;
  for (size_t i = 1; i < curve.size(); ++i) curve_max = std::max(curve_max, std::stod(fields_of(curve[i])[2]));
  EXPECT_GT(curve.size(), 1000u);
  EXPECT_NEAR(worst_surge, curve_max, 0.0005);  // the worst is printed to 3 decimals
}

TEST_F(KitPlotsTest, DrawnFiles) {
  ASSERT_EQ(kit({"curve", "--location", "all", "--pressure", "930", "--radius", "30", "--svg",
                 path("curve.svg")}).status, 0);
  const std::string curve = read_file("curve.svg");
  EXPECT_EQ(curve.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  EXPECT_EQ(count(curve, "<path fill=\"none\""), 20u);  // a line per location
  // One panel per location, each with its frame; the key names the bands and
  // the landfall's line once.
  EXPECT_EQ(count(curve, "<svg"), 1u);
  EXPECT_EQ(count(curve, "fill=\"none\" stroke=\"#333333\""), 20u);
  for (const char* text : {">landfall at the bridge (0 km)<", ">RIGHT<", ">LEFT<", "surge (m)",
                           "(km)", ">location 1<", ">location 20<",
                           ">refused: distance &lt;= 0<"}) {
    EXPECT_EQ(count(curve, text), 1u) << text;
  }

  ASSERT_EQ(kit({"envelope", "--svg", path("envelope.svg")}).status, 0);
  const std::string grid = read_file("envelope.svg");
  EXPECT_EQ(count(grid, "stroke=\"#ffffff\" stroke-width=\"1\""), 20u * 8);  // the cells

  ASSERT_EQ(kit({"report", "-o", path("report.html")}).status, 0);
  const std::string page = read_file("report.html");
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  // The markup, without the text of inline scripts (which build markup of their own).
  std::string markup = page;
  for (size_t at; (at = markup.find("<script>\n")) != std::string::npos;) {
    markup.erase(at, markup.find("</script>", at) + 9 - at);
  }
  EXPECT_EQ(count(markup, "<svg"), 41u);
  EXPECT_EQ(count(markup, "<table"), 4u);
  // Scripts only for the interactive section, all inline: its data, the model
  // and its own code. Without the WebAssembly build the section says why.
#if SURGE_WEB_MODEL
  EXPECT_EQ(count(page, "<script"), 3u);
  EXPECT_EQ(count(page, "<script type=\"application/json\" id=\"sk-data\">"), 1u);
  EXPECT_NE(page.find("createSurgeModel"), std::string::npos);
#else
  EXPECT_EQ(count(page, "<script"), 0u);
  EXPECT_NE(page.find("No interactive section: this surgekit was built without emscripten"),
            std::string::npos);
#endif
  EXPECT_EQ(count(page, "<script src"), 0u);
  for (const char* text : {"1c7894f22a58675536481dafd1cbb45899d34f3b5e46d43b0ecce1a06e26b7bb",
                           "meteorological forcing", "@page { size: A4"}) {
    EXPECT_NE(page.find(text), std::string::npos) << text;
  }
  // Every link of the page leads to an element of the page.
  std::vector<std::string> ids, targets;
  const std::regex id(R"re( id="([^"]+)")re"), href(R"re(href="#([^"]*)")re");
  for (std::sregex_iterator it(markup.begin(), markup.end(), id), end; it != end; ++it) {
    ids.push_back((*it)[1]);
  }
  for (std::sregex_iterator it(markup.begin(), markup.end(), href), end; it != end; ++it) {
    targets.push_back((*it)[1]);
  }
  EXPECT_GE(targets.size(), 6u);
  for (const std::string& t : targets) {
    EXPECT_EQ(std::count(ids.begin(), ids.end(), t), 1) << "link to #" << t;
  }
  // The same bytes from a second run.
  ASSERT_EQ(kit({"report", "-o", path("again.html")}).status, 0);
  EXPECT_TRUE(read_file("again.html") == page);
}

// --no-interactive: the page without the interactive section's scripts, its
// place holding a note that says why; every other section the same bytes.
TEST_F(KitPlotsTest, ReportWithoutTheInteractiveSection) {
  ASSERT_EQ(kit({"report", "-o", path("full.html")}).status, 0);
  const RunResult plain = kit({"report", "--no-interactive", "-o", path("plain.html")});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "");
  const std::string full = read_file("full.html"), page = read_file("plain.html");
  EXPECT_EQ(count(page, "<script"), 0u);
  EXPECT_EQ(count(page, "<svg"), 41u);
  EXPECT_EQ(count(page, "<table"), 4u);
  const std::string open = "<section id=\"interactive\">\n";
  const size_t at = page.find(open), full_at = full.find(open);
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(at, full_at);
  EXPECT_EQ(page.substr(0, at), full.substr(0, full_at));
  const size_t end = page.find("</section>\n", at) + 11;
  EXPECT_EQ(page.substr(at, end - at),
            open + "<h2>Interactive surge</h2>\n"
                   "<p class=\"note\">No interactive section: left out by --no-interactive.</p>\n"
                   "</section>\n");
  EXPECT_EQ(page.substr(end), full.substr(full.find("</section>\n", full.rfind(open)) + 11));
}

// The return-period plots of the example bridges: plain titles, and every
// low chord in view, also where it lies above every surge of the storm set.
TEST_F(KitPlotsTest, AepPlotsShowEveryLowChord) {
  ASSERT_EQ(kit({"report", "--storms", SURGE_EXAMPLES_DIR "/storms.csv", "--coast", "-1720:861",
                 "-o", path("hazard.html")}).status, 0);
  const std::string page = read_file("hazard.html");
  const size_t section = page.find("<h2>Return-period surge</h2>");
  ASSERT_NE(section, std::string::npos);
  const std::string hazard = page.substr(section);
  const struct {
    int location;
    const char* chord;  // empty: none given
  } bridges[] = {{1, "4.6"}, {4, "6.1"}, {6, "7"}, {8, ""}, {10, "6.6"}, {13, ""}, {19, "7.4"}};
  for (const auto& b : bridges) {
    const std::string n = (b.location < 10 ? "0" : "") + std::to_string(b.location);
    const std::string title =
        "Bridge " + std::to_string(b.location) + ": Invented bridge " + n + " (not a real site)";
    const size_t at = hazard.find("<title>" + title + "</title>");
    ASSERT_NE(at, std::string::npos) << title;
    const std::string svg = hazard.substr(at, hazard.find("</svg>", at) - at);
    EXPECT_EQ(count(svg, ">low chord "), *b.chord ? 1u : 0u) << title;
    if (*b.chord) {
      EXPECT_NE(svg.find(">low chord " + std::string(b.chord) + " m<"), std::string::npos);
    }
  }
  EXPECT_EQ(count(hazard, ">low chord "), 18u);
  EXPECT_EQ(count(hazard, ">1e-"), 0u);  // every probability tick as a power of ten
  EXPECT_EQ(count(hazard, ">0.001</text>"), 0u);
  EXPECT_GT(count(hazard, ">10⁻³</text>"), 0u);
}

// The simulations section on the example set: a pair of plots per location,
// rows beyond the curves left out and counted, and one location's errors as
// computed here from surgekit run's surges.
TEST_F(KitPlotsTest, ReportSetsTheSimulationsBesideTheModel) {
  const std::string sims = SURGE_EXAMPLES_DIR "/simulations.csv";
  ASSERT_EQ(kit({"report", "--sims", sims, "-o", path("sims.html")}).status, 0);
  const std::string page = read_file("sims.html");
  const size_t at = page.find("<h2>Simulated surges against the model</h2>");
  ASSERT_NE(at, std::string::npos);
  const std::string section = page.substr(at, page.find("</section>", at) - at);
  EXPECT_EQ(count(section, "<svg"), 40u);
  EXPECT_EQ(count(section, ": simulated and model surge</title>"), 20u);
  EXPECT_EQ(count(section, ": simulated minus model surge</title>"), 20u);
  EXPECT_EQ(count(section, ">1:1<"), 20u);

  // Every row through surgekit run: those on a fitted curve are plotted
  // twice (and each legend's dot once); the rest are counted as beyond.
  std::vector<std::string> sim_rows = lines_of(read_file(sims));
  std::string cases = "location,pressure_mb,radius_km,distance_km\n";
  for (size_t i = 1; i < sim_rows.size(); ++i) {
    const std::vector<std::string> f = fields_of(sim_rows[i]);
    cases += f[0] + "," + f[1] + "," + f[2] + "," + f[3] + "\n";
  }
  write_file("cases.csv", cases);
  const RunResult run = kit({"run", path("cases.csv")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> rows = lines_of(run.out);
  ASSERT_EQ(rows.size(), sim_rows.size());
  size_t on_curves = 0, beyond7 = 0;
  std::vector<double> errors7;  // location 7: model minus simulated, on a curve
  for (size_t i = 1; i < rows.size(); ++i) {
    // location,pressure_mb,radius_km,distance_km,surge_m,surge_report,side,x,curve,flags
    const std::vector<std::string> out = fields_of(rows[i]);
    const bool on_curve = out[8] != "none";
    on_curves += on_curve;
    if (out[0] != "7") continue;
    if (!on_curve) {
      ++beyond7;
      continue;
    }
    errors7.push_back(std::stod(out[4]) - std::stod(fields_of(sim_rows[i])[4]));
  }
  EXPECT_EQ(count(section, "h0"), 2 * on_curves + 20);
  ASSERT_GT(beyond7, 0u);
  EXPECT_NE(section.find(", 7: " + std::to_string(beyond7)), std::string::npos);

  double sum = 0, sum_sq = 0, largest = 0;
  for (double error : errors7) {
    sum += error, sum_sq += error * error, largest = std::max(largest, std::fabs(error));
  }
  const double n = static_cast<double>(errors7.size());
  char row[200];
  std::snprintf(row, sizeof row,
                "<tr><td>7</td><td>%zu</td><td class=\"text\">all %zu</td><td>%.3f</td>"
                "<td>%.3f</td><td>%.3f</td></tr>",
                errors7.size(), errors7.size(), std::sqrt(sum_sq / n), sum / n, largest);
  EXPECT_NE(section.find(row), std::string::npos) << row;
}

// A simulations file with a bad row: the row's place, status 1 and no page;
// one that cannot be read is refused with the command line's status.
TEST_F(KitPlotsTest, ReportRefusesBadSimulations) {
  write_file("bad.csv",
             "location,pressure_mb,radius_km,distance_km,surge_m\n7,950,30,60,1.5\n"
             "7,950,-30,60,1\n");
  const RunResult bad = kit({"report", "--sims", path("bad.csv"), "-o", path("bad.html")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err.rfind(path("bad.csv") + ":3:7: error: radius_km: ", 0), 0u) << bad.err;
  EXPECT_FALSE(std::filesystem::exists(path("bad.html")));
  const RunResult missing = kit({"report", "--sims", path("none.csv"), "-o", path("m.html")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_FALSE(std::filesystem::exists(path("m.html")));
}

// A parameter file the calculator stops on: status 1; the page then shows the
// findings and no model results.
TEST_F(KitPlotsTest, ReportOnBrokenCoefficients) {
  write_example_data();
  write_file("srfparamsVelko.dat", "1.0 2.0 oops\n");
  const RunResult r = kit_raw({"report", "--data", dir_, "-o", path("r.html")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("errors"), std::string::npos) << r.err;
  const std::string page = read_file("r.html");
  EXPECT_NE(page.find("Coefficient check"), std::string::npos);
  EXPECT_EQ(count(page, "<svg"), 0u);
  EXPECT_EQ(count(page, "<script"), 0u);  // no interactive section on a set that fails
  EXPECT_EQ(page.find("Interactive surge"), std::string::npos);

  const RunResult w = kit_raw({"worst", "--data", dir_, "--pressure", "930"});
  EXPECT_EQ(w.status, 1);
  EXPECT_TRUE(w.out.empty());
}

}  // namespace
