// Whole-program runs of `surgekit check`: every kind of finding, whole and in
// order, the summary, and the exit status.
#include <filesystem>
#include <functional>
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
};

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
       1, "",
       "18 of 20 locations read: 4 errors, 0 warnings, 0 notes"},
      {"a file that ends early",
       [](DataFiles& f) { f.parameters = f.parameters->substr(0, f.parameters->size() - 86); }, 1,
       "", "19 of 20 locations read: 1 error, 0 warnings, 0 notes"},
      {"a missing file", [](DataFiles& f) { f.slopes.reset(); }, 1,
       s.substr(0, s.size() - 1) + ": error: cannot open the file: No such file or directory\n",
       "20 of 20 locations read: 1 error, 0 warnings, 0 notes"},
      {"a byte-order mark", [](DataFiles& f) { *f.parameters = "\xEF\xBB\xBF" + *f.parameters; }, 1,
       "", "19 of 20 locations read: 1 error, 0 warnings, 0 notes"},
      {"values that give NaN or make no sense",
       [](DataFiles& f) {
         set_value(f.parameters, 2, 2, "0");
         set_value(f.parameters, 3, 9, "0");
         set_value(f.parameters, 4, 11, "0.0");
         set_value(f.parameters, 5, 14, "-1.5");
         set_value(f.parameters, 6, 0, "NaN");
         set_value(f.slopes, 7, 0, "Inf");
       },
       0, "", "20 of 20 locations read: 0 errors, 6 warnings, 0 notes"},
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
       0, "", "20 of 20 locations read: 0 errors, 5 warnings, 0 notes"},
      {"a decimal comma, a logical value, a pair",
       [](DataFiles& f) {
         set_value(f.parameters, 2, 2, "2,0");
         set_value(f.parameters, 5, 6, "T");
         set_value(f.parameters, 6, 6, "(0.25,9)");
         set_value(f.slopes, 3, 0, "0,1");
       },
       0, "", "20 of 20 locations read: 0 errors, 6 warnings, 0 notes"},
      {"groups laid out unlike the others",
       [](DataFiles& f) {
         set_value(f.parameters, 8, 20, "2.0 9");
         set_value(f.parameters, 10, 10, "15.0\n");
       },
       0, "", "20 of 20 locations read: 0 errors, 2 warnings, 0 notes"},
      {"text never read",
       [](DataFiles& f) {
         append_to_lines(f.slopes, " 7 ignored");
         *f.parameters += "\nnotes\n";
       },
       0, "", "20 of 20 locations read: 0 errors, 0 warnings, 21 notes"},
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

}  // namespace
}  // namespace surge_test
