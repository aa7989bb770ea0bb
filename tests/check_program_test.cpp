// Whole-program runs of `surgekit check`: every kind of finding, whole and in
// order, the summary, and the exit status.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace surge_test {
namespace {

struct DataFiles {
  std::optional<std::string> parameters = example_parameter_file();
  std::optional<std::string> slopes = example_slope_file();
  std::optional<std::string> sites;  // sites.csv, written only when set
};

// A bridge sites file with every location but `missing` (0: none missing);
// location `odd` (0: none) has the low chord `chord` instead of 4.5.
std::string sites_file(int missing, int odd = 0, const std::string& chord = "") {
  std::string text = "location,name,alongshore_km,low_chord_m\n";
  for (int i = 1; i <= 20; ++i) {
    if (i != missing) text += std::to_string(i) + ",bridge " + std::to_string(i) + "," + std::to_string(30 * i) + "," + (i == odd ? chord : "4.5") + "\n";
  }
  return text;
}

// Replaces value `index` (from 0, blank-separated) of line `line` (from 1).
void set_value(std::optional<std::string>& file, int line, int index, const std::string& text) {
  std::istringstream in(*file);
  std::string result, row;
  for (int n = 1; std::getline(in, row); ++n) {
    if (n == line) {
      std::istringstream values(row);
      std::vector<std::string> parts;
      for (std::string v; values >> v;) parts.push_back(v);
      parts.at(index) = text;
      row.clear();
      for (size_t i = 0; i < parts.size(); ++i) row += (i ? " " : "") + parts[i];
    }
    result += row + "\n";
  }
  *file = result;
}

void append_to_lines(std::optional<std::string>& file, const std::string& text) {
  std::string result;
  std::istringstream in(*file);
  for (std::string row; std::getline(in, row);) result += row + text + "\n";
  *file = result;
}

struct CheckCase {
  const char* name;
  std::function<void(DataFiles&)> edit;
  int status;
  std::string findings;  // every line before the summary
  std::string summary;   // its first line
};

class CheckProgramTest : public ProgramTest {
 protected:
  RunResult check(const DataFiles& files, std::vector<std::string> args = {"check", "--data", "set"}) {
    std::filesystem::remove_all(path("set"));
    std::filesystem::create_directories(path("set"));
    if (files.parameters) write_file("set/srfparamsVelko.dat", *files.parameters);
    if (files.slopes) write_file("set/pslope.dat", *files.slopes);
    if (files.sites) write_file("set/sites.csv", *files.sites);
    RunOptions options;
    options.program = SURGEKIT_PROGRAM;
    options.args = std::move(args);
    return run("", options);
  }
};

// The findings part of standard output, and the summary's first line.
std::pair<std::string, std::string> split_output(const std::string& out) {
  const size_t summary = out.find(" locations read: ");
  if (summary == std::string::npos) return {out, ""};
  const size_t start = out.rfind('\n', summary) == std::string::npos ? 0 : out.rfind('\n', summary) + 1;
  return {out.substr(0, start), out.substr(start, out.find('\n', start) - start)};
}

TEST_F(CheckProgramTest, FindingsSummaryAndStatus) {
  const std::string p = "set/srfparamsVelko.dat:";
  const std::string s = "set/pslope.dat:";
  std::string slope_notes;
  for (int line = 1; line <= 20; ++line) {
    slope_notes += s + std::to_string(line) + ":5: note: location " + std::to_string(line) +
                   ": \"7 ignored\" after its value is never read\n";
  }
  // The note surgekit fit writes after the groups, but for its last line.
  const std::string fit_note =
      "Fitted by surgekit fit to simulations of SHA-256 "
      "24905d28827f5781b43b9f549d977f3a3e32c15856bd82ee3d43c77dd4229b2a\n"
      "Rows of simulations: 4000\nNote: (none)\n";
  const CheckCase cases[] = {
      {"good data", [](DataFiles&) {}, 0, "", "20 of 20 locations read: 0 errors, 0 warnings, 0 notes"},
      {"a letter typed in", [](DataFiles& f) { set_value(f.parameters, 7, 17, "1.x0"); }, 1,
       p + "7:73: error: location 7, right_width2: \"1.x0\" is not a number\n",
       "19 of 20 locations read: 1 error, 0 warnings, 0 notes"},
      {"every fault of a file in one run",
       [](DataFiles& f) {
         set_value(f.parameters, 3, 4, "3..0");
         set_value(f.parameters, 3, 10, "1-5");
         set_value(f.parameters, 12, 0, "--1");
         set_value(f.slopes, 4, 0, "0.1e");
       },
       1,
       p + "3:17: error: location 3, left_centre2: \"3..0\" is not a number (two full stops)\n" +
           p + "3:43: warning: location 3, tail_centre: \"1-5\" reads as 1e-05: a sign after its digits starts an exponent\n" +
           p + "12:1: error: location 12, left_amp1: \"--1\" is not a number (a sign after a sign)\n" +
           s + "4:1: error: location 4, slope: \"0.1e\" is not a number\n",
       "17 of 20 locations read: 3 errors, 1 warning, 0 notes"},
      {"a file that ends early",
       [](DataFiles& f) { f.parameters->resize(f.parameters->rfind('\n', f.parameters->size() - 2) + 1); },
       1,
       p + "19: error: the file ends before location 20: 20 groups of 21 values are needed\n" +
           p + "19: note: a line of values is missing: 399 values are read from 19 lines before the end of the file, where 20 groups of 21 values on 20 lines are needed; every location after the missing line reads its neighbour's values; which line is missing cannot be told (each group is one line)\n",
       "19 of 20 locations read: 1 error, 0 warnings, 1 note"},
      {"a file that ends inside a group",
       [](DataFiles& f) { set_value(f.slopes, 20, 0, ""); set_value(f.parameters, 20, 20, "\n\n"); },
       1,
       p + "22: error: location 20, right_width3: the file ends inside the group, after 20 of its 21 values\n" +
           s + "20: error: the file ends before location 20: 20 lines with a value are needed\n" +
           s + "20: note: a line of values is missing: 19 values are read before the end of the file, where 20 are needed; every location after the missing line reads its neighbour's value; which line is missing cannot be told (one value a line)\n",
       "19 of 20 locations read: 2 errors, 0 warnings, 1 note"},
      {"a missing number in a file of exactly 20 lines",
       [](DataFiles& f) { set_value(f.parameters, 7, 4, ""); }, 1,
       p + "7:1: warning: location 7 spans 2 lines where the others span 1, and leaves \"1.0 2.0 0.5 3.0 1.0 0.25 0.0 4.0 1.0 15....\" unread: a missing or extra number shifts every later column: locations 8 to 20 read their neighbour's values\n" +
           p + "20: error: the file ends before location 20: 20 groups of 21 values are needed\n",
       "19 of 20 locations read: 1 error, 1 warning, 0 notes"},
      {"a missing file", [](DataFiles& f) { f.slopes.reset(); }, 1,
       "set/pslope.dat: error: cannot open the file: No such file or directory\n",
       "0 of 20 locations read: 1 error, 0 warnings, 0 notes"},
      {"a byte-order mark", [](DataFiles& f) { *f.parameters = "\xEF\xBB\xBF" + *f.parameters; }, 1,
       p + "1:1: error: location 1, left_amp1: a byte-order mark, which the calculator cannot read: save the file without one\n",
       "19 of 20 locations read: 1 error, 0 warnings, 0 notes"},
      {"values that give NaN or make no sense",
       [](DataFiles& f) {
         set_value(f.parameters, 2, 2, "0");
         set_value(f.parameters, 3, 9, "0");
         set_value(f.parameters, 4, 11, "0.0");
         set_value(f.parameters, 5, 14, "-1.5");
         set_value(f.parameters, 6, 0, "NaN");
         set_value(f.slopes, 7, 0, "Inf");
       },
       1,
       p + "2:9: error: location 2, left_width1: a width of 0 divides by zero: the curve's surges become NaN\n" +
           p + "3:38: error: location 3, tail_norm: a tail normaliser of 0 makes the tail curve's factor infinite\n" +
           p + "4:47: error: location 4, tail_scale: a tail scale of 0 divides by zero: the tail's surges become infinite or NaN\n" +
           p + "5:60: warning: location 5, right_width1: a width below zero (-1.5) makes no sense\n" +
           p + "6:1: error: location 6, left_amp1: \"NaN\" gives nan: this location's surges become infinite or NaN\n" +
           s + "7:1: error: location 7, slope: \"Inf\" gives inf: this location's surges become infinite or NaN\n",
       "20 of 20 locations read: 5 errors, 1 warning, 0 notes"},
      {"nulls, a slash and repeat counts",
       [](DataFiles& f) {
         set_value(f.parameters, 2, 3, ",,");
         set_value(f.parameters, 3, 12, "/");
         set_value(f.parameters, 4, 0, "2*1.0");
         set_value(f.parameters, 4, 1, "");
         set_value(f.parameters, 5, 7, "3*");
         set_value(f.parameters, 5, 8, "");
         set_value(f.parameters, 5, 9, "");
         set_value(f.slopes, 2, 0, ",");
       },
       // Left at 0 by a first load, the RIGHT curve's widths give 0 / 0 at
       // X = 0, and the tail normaliser an infinite factor.
       1,
       p + "2:14: warning: location 2, left_amp2: a null value (a comma where a number should be) leaves it unset: the calculator keeps the value of its previous load (0 at the first)\n" +
           p + "3:51: warning: location 3: a slash ends the group early: right_amp1 to right_width3 are left unset: the calculator keeps the value of its previous load (0 at the first)\n" +
           p + "3:51: error: location 3, right_amp1 to right_width3: the RIGHT curve gives a NaN response at X = 0, inside its fitted range -6 < X <= 0: the calculator's surges there are infinite or NaN\n" +
           p + "4:1: warning: location 4, left_amp1: repeat count \"2*1.0\" gives left_amp1 to left_centre1 the same value\n" +
           p + "5:30: warning: location 5, left_centre3: repeat count \"3*\" leaves left_centre3 to tail_norm unset: the calculator keeps the value of its previous load (0 at the first)\n" +
           p + "5:30: error: location 5, tail_norm to tail_scale: the tail gives an infinite response just above X = 10, inside its fitted range 10 < X <= 25: the calculator's surges there are infinite or NaN\n" +
           s + "2:1: warning: location 2, slope: a null value (a comma where a number should be) leaves it unset: the calculator keeps the value of its previous load (0 at the first)\n",
       "20 of 20 locations read: 2 errors, 5 warnings, 0 notes"},
      {"a decimal comma, a logical value, a pair",
       [](DataFiles& f) {
         set_value(f.parameters, 2, 2, "2,0");
         set_value(f.parameters, 5, 6, "T");
         set_value(f.parameters, 6, 6, "(0.25,9)");
         set_value(f.slopes, 3, 0, "0,1");
       },
       1,
       p + "2: note: location 2: the response jumps at X = 0 from 3.38 (the RIGHT curve) to 0.7788 (the LEFT curve), more than 75 % of its peak |response| 3.38\n" +
           p + "2:9: warning: location 2, left_width1: \"2,0\" looks like a decimal comma: it reads as two numbers, and every later column shifts\n" +
           p + "2:30: error: location 2, left_width3: a width of 0 divides by zero: the curve's surges become NaN\n" +
           p + "2:55: warning: location 2, right_width1: a width below zero (-1) makes no sense\n" +
           p + "2:68: warning: location 2, right_width2: a width below zero (-3) makes no sense\n" +
           p + "2:85: warning: location 2 leaves \"2.0\" unread after its 21st value, unlike the others: a missing or extra number shifts every later column\n" +
           p + "5: note: location 5: the response jumps at X = 0 from 0.7009 (the RIGHT curve) to -0.2211 (the LEFT curve), more than 75 % of its peak |response| 0.9239\n" +
           p + "5:25: warning: location 5, left_amp3: \"T\" reads as a logical value, stored as -1\n" +
           p + "6:25: warning: location 6, left_amp3: \"(0.25,9)\" is a pair: only its first number is read\n" +
           s + "3:1: warning: location 3, slope: \"0,1\" looks like a decimal comma: it reads as two numbers, the slope is the first, 0, and the second is never read\n",
       "20 of 20 locations read: 1 error, 7 warnings, 2 notes"},
      {"groups laid out unlike the others",
       [](DataFiles& f) {
         set_value(f.parameters, 8, 20, "2.0 9");
         set_value(f.parameters, 10, 10, "15.0\n");
       },
       0,
       p + "8:89: warning: location 8 leaves \"9\" unread after its 21st value, unlike the others: a missing or extra number shifts every later column\n" +
           p + "10:1: warning: location 10 spans 2 lines where the others span 1: a missing or extra number shifts every later column\n",
       "20 of 20 locations read: 0 errors, 2 warnings, 0 notes"},
      {"a good sites file", [](DataFiles& f) { f.sites = sites_file(0); }, 0, "",
       "20 of 20 locations read: 0 errors, 0 warnings, 0 notes"},
      {"a sites file without location 7", [](DataFiles& f) { f.sites = sites_file(7); }, 1,
       "set/sites.csv: error: location 7 is missing\n",
       "20 of 20 locations read: 1 error, 0 warnings, 0 notes"},
      {"a slope line emptied",
       [](DataFiles& f) { set_value(f.slopes, 7, 0, ""); }, 1,
       s + "7: warning: line 7 is blank where the others hold a value: the calculator skips it; if location 7's value was deleted there, locations 7 to 20 read their neighbour's value\n" +
           s + "20: error: the file ends before location 20: 20 lines with a value are needed\n" +
           s + "20: note: a line of values is missing: 19 values are read before the end of the file, where 20 are needed; every location after the missing line reads its neighbour's value; the first location whose line could be the missing one is location 7 (the first laid out unlike location 1, or after more blank lines)\n",
       "19 of 20 locations read: 1 error, 1 warning, 1 note"},
      {"a blank line between one-line groups",
       [](DataFiles& f) { set_value(f.parameters, 19, 0, "\n1.0"); }, 0,
       p + "19: warning: line 19 is blank where the others hold values: the calculator skips it; if location 19's values were deleted there, locations 19 to 20 read their neighbour's values\n",
       "20 of 20 locations read: 0 errors, 1 warning, 0 notes"},
      {"two slope lines joined",
       [](DataFiles& f) { set_value(f.slopes, 4, 0, "0.1 0.2"); }, 0,
       s + "4:5: warning: location 4 leaves \"0.2\" unread after its value, unlike the others: if two lines were joined here, locations 5 to 20 read their neighbour's value\n",
       "20 of 20 locations read: 0 errors, 1 warning, 0 notes"},
      {"the last slope line holding two",
       [](DataFiles& f) { set_value(f.slopes, 20, 0, "0.1 0.2"); }, 0,
       s + "20:5: warning: location 20 leaves \"0.2\" unread after its value, unlike the others: if two lines were joined here, location 20 reads its neighbour's value\n",
       "20 of 20 locations read: 0 errors, 1 warning, 0 notes"},
      {"an empty slope file", [](DataFiles& f) { f.slopes = ""; }, 1,
       "set/pslope.dat: error: the file is empty: 20 lines with a value are needed\n",
       "0 of 20 locations read: 1 error, 0 warnings, 0 notes"},
      {"an empty parameter file", [](DataFiles& f) { f.parameters = ""; }, 1,
       "set/srfparamsVelko.dat: error: the file is empty: 20 groups of 21 values are needed\n",
       "0 of 20 locations read: 1 error, 0 warnings, 0 notes"},
      {"a negative low chord", [](DataFiles& f) { f.sites = sites_file(0, 3, "-0.5"); }, 1,
       "set/sites.csv:4:15: error: low_chord_m: \"-0.5\" is below 0: a low chord lies above the site's datum\n",
       "20 of 20 locations read: 1 error, 0 warnings, 0 notes"},
      {"a low chord of 0", [](DataFiles& f) { f.sites = sites_file(0, 3, "0"); }, 0, "",
       "20 of 20 locations read: 0 errors, 0 warnings, 0 notes"},
      // The tail's exponential overflows from X = 15 + 709.78 times the
      // scale: within the fitted range below a scale of 0.01409.
      {"a tail scale that overflows the tail inside its range",
       [](DataFiles& f) { set_value(f.parameters, 7, 11, "0.0140"); }, 1,
       p + "7:38: error: location 7, tail_norm to tail_scale: the tail gives a NaN response at X = 24.94, inside its fitted range 10 < X <= 25: the calculator's surges there are infinite or NaN\n",
       "20 of 20 locations read: 1 error, 0 warnings, 0 notes"},
      {"the smallest tail scale whose tail stays finite",
       [](DataFiles& f) { set_value(f.parameters, 7, 11, "0.0141"); }, 0, "",
       "20 of 20 locations read: 0 errors, 0 warnings, 0 notes"},
      {"a tail scale of 1e-30 (the tail's centre is 15)",
       [](DataFiles& f) { set_value(f.parameters, 7, 11, "1e-30"); }, 1,
       p + "7:38: error: location 7, tail_norm to tail_scale: the tail gives a NaN response at X = 15.01, inside its fitted range 10 < X <= 25: the calculator's surges there are infinite or NaN\n",
       "20 of 20 locations read: 1 error, 0 warnings, 0 notes"},
      {"a slope line deleted before the words after the lines",
       [](DataFiles& f) {
         std::string& text = *f.slopes;
         text.erase(text.find("0.1\n"), 4);
         text += "\nIllustrative slopes\n";
       },
       1,
       s + "21:1: error: location 20, slope: \"Illustrative\" is not a number\n" +
           s + "21:1: note: a line of values is missing: 19 values are read before this text, where 20 are needed; every location after the missing line reads its neighbour's value; which line is missing cannot be told (one value a line)\n",
       "19 of 20 locations read: 1 error, 0 warnings, 1 note"},
      {"a tail that starts above the LEFT curve's end",
       [](DataFiles& f) { set_value(f.parameters, 5, 9, "0.1"); }, 0,
       p + "5: note: location 5: the response jumps at X = 10 from 0.0004826 (the LEFT curve) to 0.7562 (the tail), more than 10 % of its peak |response| 3.679\n",
       "20 of 20 locations read: 0 errors, 0 warnings, 1 note"},
      {"text never read",
       [](DataFiles& f) {
         append_to_lines(f.slopes, " 7 ignored");
         append_to_lines(f.parameters, " location");
         *f.parameters += "\nnotes\n";
       },
       0, p + "22: note: text after the 20th group is never read (1 line)\n" + slope_notes,
       "20 of 20 locations read: 0 errors, 0 warnings, 21 notes"},
      {"the note surgekit fit writes after the groups",
       [&](DataFiles& f) {
         *f.parameters += "\n" + fit_note + "Columns: LEFT curve (amplitude, centre, width) x 3\n";
         *f.slopes += "\n\n" + fit_note + "Lines: the slope term of each location\n";
       },
       0, "", "20 of 20 locations read: 0 errors, 0 warnings, 0 notes"},
      // Only a note that begins with fit's first words, at the line's start.
      {"fit's first words after other text",
       [&](DataFiles& f) { *f.parameters += "\nnotes\n" + fit_note; }, 0,
       p + "22: note: text after the 20th group is never read (4 lines)\n",
       "20 of 20 locations read: 0 errors, 0 warnings, 1 note"},
      {"fit's first words indented",
       [&](DataFiles& f) { *f.slopes += "\n " + fit_note; }, 0,
       s + "22: note: text after the 20th group is never read (3 lines)\n",
       "20 of 20 locations read: 0 errors, 0 warnings, 1 note"},
      {"fit's first words cut short",
       [&](DataFiles& f) { *f.slopes += "\nFitted by surgekit fit\n"; }, 0,
       s + "22: note: text after the 20th group is never read (1 line)\n",
       "20 of 20 locations read: 0 errors, 0 warnings, 1 note"},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    DataFiles files;
    c.edit(files);
    const RunResult r = check(files);
    const auto [findings, summary] = split_output(r.out);
    EXPECT_EQ(findings, c.findings);
    EXPECT_EQ(summary, c.summary);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, "");
  }
}

// The summary names each file's SHA-256 (digests from coreutils' sha256sum) in
// the form sha256sum --check reads, and the calculator's run-time error.
TEST_F(CheckProgramTest, SummaryNamesDigestsAndTheCalculatorsError) {
  RunResult r = check(DataFiles{});
  EXPECT_EQ(r.out,
            "20 of 20 locations read: 0 errors, 0 warnings, 0 notes\n"
            "SHA256 (set/srfparamsVelko.dat) = "
            "ed4d8a1127f550b55b4da9b90f947b45b1ac56d785881482497c4f397084d0cc\n"
            "SHA256 (set/pslope.dat) = "
            "5d4c87855f446c409496933ac112e4b0189b85acad9a4b58fd30f73cae2d09d8\n");
  DataFiles missing;
  missing.parameters.reset();
  r = check(missing, {"check", "--data", "set/"});
  EXPECT_EQ(r.out,
            "set/srfparamsVelko.dat: error: cannot open the file: No such file or directory\n"
            "0 of 20 locations read: 1 error, 0 warnings, 0 notes\n"
            "the calculator stops at the first error with run-time error 29\n"
            "SHA256 (set/pslope.dat) = "
            "5d4c87855f446c409496933ac112e4b0189b85acad9a4b58fd30f73cae2d09d8\n");
  EXPECT_EQ(r.status, 1);
}

// Errors the calculator loads without a report are counted with the others,
// said apart in their own line, and fail the check.
TEST_F(CheckProgramTest, SummarySaysWhichErrorsOnlySurgekitRefuses) {
  DataFiles files;
  set_value(files.parameters, 6, 0, "NaN");
  RunResult r = check(files);
  EXPECT_EQ(r.out,
            "set/srfparamsVelko.dat:6:1: error: location 6, left_amp1: \"NaN\" gives nan: this "
            "location's surges become infinite or NaN\n"
            "20 of 20 locations read: 1 error, 0 warnings, 0 notes\n"
            "1 error only surgekit refuses: the calculator does not stop at it\n"
            "SHA256 (set/srfparamsVelko.dat) = "
            "b75989d9c755173d2e70e1eb06034318cf0743a0b9eaaa865a071949fb31258c\n"
            "SHA256 (set/pslope.dat) = "
            "5d4c87855f446c409496933ac112e4b0189b85acad9a4b58fd30f73cae2d09d8\n");
  EXPECT_EQ(r.status, 1);

  // With an error the calculator stops at as well, both lines; a sites file's
  // errors are surgekit's alone (the calculator never reads it).
  set_value(files.parameters, 9, 2, "1.x");
  files.sites = sites_file(4);
  r = check(files);
  const auto [findings, summary] = split_output(r.out);
  EXPECT_EQ(summary, "19 of 20 locations read: 3 errors, 0 warnings, 0 notes");
  EXPECT_NE(r.out.find("\nthe calculator stops at the first error with run-time error 59\n"
                       "2 errors only surgekit refuses: the calculator does not stop at them\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.status, 1);
}

// A folder in place of a data file: the check names the run-time error the
// calculator ends with, and the calculator does end with it.
TEST_F(CheckProgramTest, AFolderForADataFileGivesTheCalculatorsError) {
  DataFiles files;
  files.parameters.reset();
  RunResult r = check(files);
  ASSERT_TRUE(std::filesystem::create_directory(path("set/srfparamsVelko.dat")));
  RunOptions options;
  options.program = SURGEKIT_PROGRAM;
  options.args = {"check", "--data", "set"};
  r = run("", options);
  EXPECT_EQ(r.out,
            "set/srfparamsVelko.dat: error: cannot open the file: it is a folder\n"
            "0 of 20 locations read: 1 error, 0 warnings, 0 notes\n"
            "the calculator stops at the first error with run-time error 9\n"
            "SHA256 (set/pslope.dat) = "
            "5d4c87855f446c409496933ac112e4b0189b85acad9a4b58fd30f73cae2d09d8\n");
  EXPECT_EQ(r.status, 1);

  RunOptions calculator;
  calculator.cwd = path("set");
  const RunResult surge = run("7\n950\n30\n60\n0\n", calculator);
  EXPECT_EQ(surge.status, 9) << surge.out << surge.err;
}

// The sites file's digest joins the coefficient files' when it is there.
TEST_F(CheckProgramTest, SummaryNamesTheSitesFilesDigest) {
  DataFiles files;
  files.sites = sites_file(0);
  const RunResult r = check(files);
  EXPECT_EQ(r.out,
            "20 of 20 locations read: 0 errors, 0 warnings, 0 notes\n"
            "SHA256 (set/srfparamsVelko.dat) = "
            "ed4d8a1127f550b55b4da9b90f947b45b1ac56d785881482497c4f397084d0cc\n"
            "SHA256 (set/pslope.dat) = "
            "5d4c87855f446c409496933ac112e4b0189b85acad9a4b58fd30f73cae2d09d8\n"
            "SHA256 (set/sites.csv) = "
            "7769a53d385dc58280c9accaa1f55597d6a7d6bb12141c96a153f0b7428eeea1\n");
  EXPECT_EQ(r.status, 0);
}

// The examples' parameter file with a number deleted from line 7 and an old
// group kept after the 20th: the calculator loads it without a word, and the
// check names line 7 and the locations that read their neighbour's values.
TEST_F(CheckProgramTest, AMissingNumberInTheExamplesIsNamedWhereItHappens) {
  std::ifstream in(std::string(SURGE_EXAMPLES_DIR) + "/srfparamsVelko.dat", std::ios::binary);
  const std::string example((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string groups = example.substr(0, example.find("\n\n") + 1);
  DataFiles files;
  files.parameters = groups;
  set_value(files.parameters, 7, 4, "");  // 1.4152, left_centre2
  *files.parameters += groups.substr(0, groups.find('\n') + 1);
  files.slopes = example_slope_file();
  const RunResult r = check(files);
  const auto [findings, summary] = split_output(r.out);
  // The shifted values of location 7 also give its curves jumps at X = 0 and 10.
  EXPECT_EQ(findings,
            "set/srfparamsVelko.dat:7: note: location 7: the response jumps at X = 0 from -3.667 "
            "(the RIGHT curve) to 10.41 (the LEFT curve), more than 75 % of its peak |response| "
            "11.1\n"
            "set/srfparamsVelko.dat:7: note: location 7: the response jumps at X = 10 from 2.839 "
            "(the LEFT curve) to 8.791e-80 (the tail), more than 10 % of its peak |response| 11.1\n"
            "set/srfparamsVelko.dat:7:1: warning: location 7 spans 2 lines where the others span "
            "1, and leaves \"0.3156   0.8823   2.4169   1.4333   2.25...\" unread: a missing "
            "or extra number shifts every later column: locations 8 to 20 read their neighbour's "
            "values\n");
  EXPECT_EQ(summary.substr(0, summary.find(':')), "20 of 20 locations read");
  EXPECT_EQ(r.status, 0) << r.out;

  RunOptions calculator;
  calculator.cwd = path("set");
  const RunResult surge = run("7\n950\n30\n60\n0\n", calculator);
  EXPECT_EQ(surge.status, 0) << surge.out << surge.err;
}

// Groups of two lines (11 and 10 values): a line deleted makes its group take
// values from the next, so the layout tells where the missing line was.
TEST_F(CheckProgramTest, AMissingLineIsNamedWhereTheLayoutTellsIt) {
  for (const int deleted : {7, 8}) {  // location 4's first line, then its second
    SCOPED_TRACE(deleted);
    std::string two_line;
    std::istringstream rows(example_parameter_file());
    int line = 0;
    for (std::string row; std::getline(rows, row);) {
      size_t cut = 0;
      for (int blank = 0; blank < 11; ++blank) cut = row.find(' ', cut + 1);
      if (++line != deleted) two_line += row.substr(0, cut) + "\n";
      if (++line != deleted) two_line += row.substr(cut + 1) + "\n";
    }
    DataFiles files;
    files.parameters = two_line + "\nIllustrative values\n";
    const RunResult r = check(files);
    // Either way 409 values are read: with the second line deleted, location 4
    // leaves one of location 5's unread.
    EXPECT_NE(r.out.find("set/srfparamsVelko.dat:41:1: note: a line of values is missing: 409 "
                         "values are read from 39 lines before this text, where 20 groups of 21 "
                         "values on 40 lines are needed; every location after the missing line "
                         "reads its neighbour's values; the first location whose line could be "
                         "the missing one is location 4 (the first laid out unlike location 1, "
                         "or after more blank lines)\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.status, 1);
  }
}

// With --strict the warnings are errors: printed so, counted so, said so in
// the summary, and the status is 1; without warnings nothing changes.
TEST_F(CheckProgramTest, StrictCountsWarningsAsErrors) {
  DataFiles files;
  set_value(files.parameters, 8, 20, "2.0 9");
  const std::string layout =
      "set/srfparamsVelko.dat:8:89: %s: location 8 leaves \"9\" unread after its 21st value, "
      "unlike the others: a missing or extra number shifts every later column\n";
  auto with = [&](const char* severity) {
    char text[512];
    std::snprintf(text, sizeof text, layout.c_str(), severity);
    return std::string(text);
  };
  RunResult r = check(files);
  EXPECT_EQ(split_output(r.out).first, with("warning"));
  EXPECT_EQ(split_output(r.out).second, "20 of 20 locations read: 0 errors, 1 warning, 0 notes");
  EXPECT_EQ(r.status, 0);
  r = check(files, {"check", "--data", "set", "--strict"});
  EXPECT_EQ(split_output(r.out).first, with("error"));
  EXPECT_NE(r.out.find("20 of 20 locations read: 1 error, 0 warnings, 0 notes\n"
                       "1 warning with --strict: it counts as an error\nSHA256 "),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.status, 1);
  set_value(files.parameters, 10, 10, "15.0\n");
  r = check(files, {"check", "--data", "set", "--strict"});
  EXPECT_NE(r.out.find("20 of 20 locations read: 2 errors, 0 warnings, 0 notes\n"
                       "2 warnings with --strict: they count as errors\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.status, 1);
  r = check(DataFiles{}, {"check", "--data", "set", "--strict"});
  EXPECT_EQ(r.out.rfind("20 of 20 locations read: 0 errors, 0 warnings, 0 notes\nSHA256 ", 0), 0u)
      << r.out;
  EXPECT_EQ(r.status, 0);
}

TEST_F(CheckProgramTest, UsageErrorsExitWithTwo) {
  const std::vector<std::string> usage_errors[] = {
      {"check", "--data", "no-such-folder"},
      {"check", "surplus"},
      {"check", "--data"},
      {"check", "--frobnicate"},
  };
  for (const auto& args : usage_errors) {
    const RunResult r = check(DataFiles{}, args);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_EQ(r.out, "") << args.back();
    EXPECT_NE(r.err, "") << args.back();
  }
  const RunResult help = check(DataFiles{}, {"check", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Example: surgekit check --data examples"), std::string::npos);
}

}  // namespace
}  // namespace surge_test
