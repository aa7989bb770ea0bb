// Whole-program tests of `surgekit run`: rows and their added columns, CSV
// forms, rows that cannot be used, --keep-going, and usage errors.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "program_runner.h"

namespace surge_test {
namespace {

const std::string kAdded = "surge_m,surge_report,side,x,curve,flags";

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// The fields of a line after the first `skip` (no quotes in what is compared).
std::vector<std::string> fields_after(const std::string& line, size_t skip) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1) {
    fields.push_back(line.substr(start, comma - start));
  }
  fields.push_back(line.substr(start));
  fields.erase(fields.begin(), fields.begin() + static_cast<long>(skip));
  return fields;
}

class RunCommandTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    write_example_data();
  }
  RunResult surgekit(std::vector<std::string> args, std::string_view input = {}) {
    RunOptions options;
    options.program = SURGEKIT_PROGRAM;
    options.args = std::move(args);
    return run(input, options);
  }
  // Files left in the test folder besides the two data files and `keep`.
  std::vector<std::string> other_files(const std::vector<std::string>& keep) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      std::string name = entry.path().filename();
      if (name == "srfparamsVelko.dat" || name == "pslope.dat") continue;
      if (std::find(keep.begin(), keep.end(), name) == keep.end()) names.push_back(name);
    }
    return names;
  }
};

// With the worked example's coefficients at every location: each case and the
// columns it gains (surge_m only checked to the report's rounding here; the
// agreement test compares every bit of what is printed).
TEST_F(RunCommandTest, AddsTheSurgeAndItsDescriptionToEachRow) {
  struct Row {
    const char* fields;  // location,pressure_mb,radius_km,distance_km
    double surge_m;
    const char* added;  // surge_report,side,x class,curve,flags
  } rows[] = {
      {"5,950,30,60", 0.276528, "0.3,LEFT,left,"},
      {"5,950,20,10", 0.193923, "0.2,RIGHT,right,"},
      {"5,1012.9,30,60", -1, "0.0,LEFT,left,pressure_range;pressure_fraction"},
      {"5,950,30,10000", 0.0206353, "0.0,LEFT,none,distance_range"},
      {"5,950,30,-200", 0.0206353, "0.0,RIGHT,none,distance_range"},
      {"19,950,30,-5", -1, "0.2,RIGHT,right,distance_side"},
      {"20,950,30,0", -1, "0.2,RIGHT,right,distance_side"},
      {"5,880,70,60", -1, "1.0,LEFT,left,pressure_range;radius_range"},
      {"5,950.5,30.25,60", -1, "0.3,LEFT,left,pressure_fraction;radius_fraction"},
      {"5,950,0.001,10", -1, "0.0,LEFT,none,radius_range;distance_range;radius_fraction"},
      {"5,1,30,60", -1, "71.4,LEFT,left,pressure_range"},  // the lowest whole pressure
  };
  std::string csv = "location,pressure_mb,radius_km,distance_km\n";
  for (const Row& r : rows) csv += std::string(r.fields) + "\n";
  write_file("cases.csv", csv);
  RunResult result = surgekit({"run", "cases.csv"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  std::vector<std::string> lines = lines_of(result.out);
  ASSERT_EQ(lines.size(), std::size(rows) + 1);
  EXPECT_EQ(lines[0], "location,pressure_mb,radius_km,distance_km," + kAdded);
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& r = rows[i];
    EXPECT_EQ(lines[i + 1].rfind(std::string(r.fields) + ",", 0), 0u) << lines[i + 1];
    std::vector<std::string> added = fields_after(lines[i + 1], 4);
    ASSERT_EQ(added.size(), 6u) << lines[i + 1];
    EXPECT_EQ(added[1] + "," + added[2] + "," + added[4] + "," + added[5], r.added) << r.fields;
    const double surge = std::strtod(added[0].c_str(), nullptr);
    if (r.surge_m >= 0) {
      EXPECT_NEAR(surge, r.surge_m, 1e-6) << r.fields;
    }
    // X is written only where the model computed it: NaN exactly when unlabelled.
    EXPECT_EQ(added[3] == "nan", added[2].empty()) << lines[i + 1];
  }
}

// A storm outside physics has no surge: each such row is a located error,
// refused before the model sees it; with --keep-going the others are written.
TEST_F(RunCommandTest, RefusesStormsOutsidePhysics) {
  const struct {
    const char* fields;
    int column;  // of the field at fault
    const char* message;
  } refused[] = {
      {"5,1013,30,60", 3, "pressure_mb: \"1013\" is not a pressure above 0 and below 1013 mb"},
      {"5,2000,30,60", 3, "pressure_mb: \"2000\" is not a pressure above 0 and below 1013 mb"},
      {"5,0,30,60", 3, "pressure_mb: \"0\" is not a pressure above 0 and below 1013 mb"},
      {"5,-50,30,60", 3, "pressure_mb: \"-50\" is not a pressure above 0 and below 1013 mb"},
      {"5,NaN,30,60", 3, "pressure_mb: \"NaN\" is not a pressure above 0 and below 1013 mb"},
      {"5,-Infinity,30,60", 3,
       "pressure_mb: \"-Infinity\" is not a pressure above 0 and below 1013 mb"},
      {"5,950,0,10", 7, "radius_km: \"0\" is not a positive radius"},
      {"5,950,-30,10", 7, "radius_km: \"-30\" is not a positive radius"},
      {"5,950,Infinity,10", 7, "radius_km: \"Infinity\" is not a positive radius"},
      {"18,950,30,NaN", 11, "distance_km: \"NaN\" is not a finite distance"},
      {"5,950,30,Infinity", 10, "distance_km: \"Infinity\" is not a finite distance"},
  };
  std::string csv = "location,pressure_mb,radius_km,distance_km\n5,950,30,60\n";
  std::string expected_err;
  for (size_t i = 0; i < std::size(refused); ++i) {
    csv += std::string(refused[i].fields) + "\n";
    expected_err += "cases.csv:" + std::to_string(i + 3) + ":" + std::to_string(refused[i].column) +
                    ": error: " + refused[i].message + "\n";
  }
  write_file("cases.csv", csv);
  RunResult result = surgekit({"run", "cases.csv", "--keep-going"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, expected_err + "surgekit run: 11 rows could not be used; the others were "
                                       "written\n");
  const std::vector<std::string> lines = lines_of(result.out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].rfind("5,950,30,60,", 0), 0u);

  // Without --keep-going the first refusal stops the run, and nothing is written.
  RunResult stopped = surgekit({"run", "cases.csv", "-o", "out.csv"});
  EXPECT_EQ(stopped.status, 1);
  EXPECT_FALSE(std::filesystem::exists(path("out.csv")));
}

// CSV as spreadsheets write it: a byte-order mark, CR LF, quoted fields, the
// case columns in another order among others, blank lines.
TEST_F(RunCommandTest, KeepsOtherColumnsAndAcceptsCsvForms) {
  write_file("cases.csv",
             "\xEF\xBB\xBF"
             "bridge,distance_km,note,radius_km,location,pressure_mb\r\n"
             "\"Pier 7, east\",60,\"say \"\"hi\"\"\",30,5,950\r\n"
             "\r\n"
             "plain,\"10\",,20,5,950\r\n");
  RunResult result = surgekit({"run", "cases.csv", "-o", "out.csv"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  std::vector<std::string> lines = lines_of(read_file("out.csv"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "bridge,distance_km,note,radius_km,location,pressure_mb," + kAdded);
  EXPECT_EQ(lines[1].rfind("\"Pier 7, east\",60,\"say \"\"hi\"\"\",30,5,950,0.2765", 0), 0u)
      << lines[1];
  EXPECT_EQ(lines[2].rfind("plain,10,,20,5,950,0.1939", 0), 0u) << lines[2];
  EXPECT_EQ(other_files({"cases.csv", "out.csv"}), std::vector<std::string>{});
}

TEST_F(RunCommandTest, ReadsStandardInput) {
  RunResult result =
      surgekit({"run", "-"}, "location,pressure_mb,radius_km,distance_km\n5,950,30,60\n");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(lines_of(result.out).size(), 2u);
  RunResult implicit =
      surgekit({"run"}, "location,pressure_mb,radius_km,distance_km\n5,950,30,60\n");
  EXPECT_EQ(implicit.out, result.out);
  // A read that fails is not taken for the end of the cases.
  RunOptions from_folder;
  from_folder.program = SURGEKIT_PROGRAM;
  from_folder.args = {"run", "-"};
  RunResult folder = run_with_input_file(dir_, from_folder);
  EXPECT_EQ(folder.status, 2);  // an input that cannot be read
  EXPECT_NE(folder.err.find("cannot read standard input"), std::string::npos) << folder.err;
}

// The output replaces a file whole; a device or a link is not replaced by a
// file of its own.
TEST_F(RunCommandTest, WritesThroughDevicesAndLinks) {
  write_file("cases.csv", "location,pressure_mb,radius_km,distance_km\n5,950,30,60\n");
  write_file("real.csv", "old contents\n");
  std::filesystem::create_symlink("real.csv", path("link.csv"));
  RunResult to_stdout = surgekit({"run", "cases.csv"});
  ASSERT_EQ(to_stdout.status, 0) << to_stdout.err;
  for (const char* output : {"/dev/null", "link.csv"}) {
    RunResult result = surgekit({"run", "cases.csv", "-o", output});
    EXPECT_EQ(result.status, 0) << output << ": " << result.err;
  }
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_TRUE(std::filesystem::is_symlink(path("link.csv")));
  EXPECT_EQ(read_file("real.csv"), to_stdout.out);
  EXPECT_EQ(other_files({"cases.csv", "real.csv", "link.csv"}), std::vector<std::string>{});
}

// Rows that cannot be used: each named by line and field. Without
// --keep-going nothing is written to -o; with it the other rows are.
TEST_F(RunCommandTest, RefusesRowsThatCannotBeUsed) {
  struct Row {
    const char* row;
    const char* error;  // the diagnostic for the row, which is on line 3
  } rows[] = {
      {"21,950,30,60", "cases.csv:3:1: error: location: \"21\" is not a location number 1 to 20"},
      {"0,950,30,60", "cases.csv:3:1: error: location: \"0\" is not a location number 1 to 20"},
      {"5.5,950,30,60", "cases.csv:3:1: error: location: \"5.5\" is not a location number 1 to 20"},
      {"5,95O,30,60", "cases.csv:3:3: error: pressure_mb: \"95O\" is not a number"},
      {"5,950,,60", "cases.csv:3:7: error: radius_km: \"\" is not a number"},
      {"5,950,30,1,0", "cases.csv:3: error: the row has 5 fields where the header has 4"},
      {"5,950,30",
       "cases.csv:3: error: distance_km: missing field (the row has 3 fields where "
       "the header has 4)"},
      {"5,950,30,6 0", "cases.csv:3:10: error: distance_km: \"6 0\" is not a number"},
      {"5,950,30,\"60",
       "cases.csv:3: error: a quoted field is not closed before the end of the "
       "input"},
  };
  const std::string header = "location,pressure_mb,radius_km,distance_km\n";
  for (const Row& r : rows) {
    SCOPED_TRACE(r.row);
    write_file("cases.csv", header + "5,950,30,60\n" + r.row + "\n5,950,20,10\n");
    RunResult stopped = surgekit({"run", "cases.csv", "-o", "out.csv"});
    EXPECT_EQ(stopped.status, 1);
    EXPECT_EQ(lines_of(stopped.err)[0], r.error);
    EXPECT_EQ(other_files({"cases.csv"}), std::vector<std::string>{});

    RunResult kept = surgekit({"run", "cases.csv", "-o", "out.csv", "--keep-going"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(lines_of(kept.err)[0], r.error);
    EXPECT_NE(kept.err.find("1 row could not be used; the others were written"), std::string::npos)
        << kept.err;
    const bool quote_runs_on = std::string(r.row).find('"') != std::string::npos;
    EXPECT_EQ(lines_of(read_file("out.csv")).size(), quote_runs_on ? 2u : 3u);
    std::remove(path("out.csv").c_str());
  }
}

// Blank lines before the header are skipped and its names match trimmed and
// regardless of case; a header split by semicolons is named as such, and a
// quote out of place is refused at its column.
TEST_F(RunCommandTest, ToleratesHeaderSpellingAndLocatesQuoteFaults) {
  struct Row {
    const char* text;
    int status;
    const char* err;  // the first line of standard error
  } rows[] = {
      {"\n \r\nLocation , PRESSURE_MB,radius_km,\tDistance_km\n5,950,30,60\n", 0, ""},
      {"location;pressure_mb;radius_km;distance_km\n5;950;30;60\n", 1,
       "cases.csv:1: error: the header has no columns location, pressure_mb, radius_km and "
       "distance_km (it needs location,pressure_mb,radius_km,distance_km in any order; it has "
       "\"location;pressure_mb;radius_km;distance_km\"; columns are separated by commas, not "
       "semicolons)"},
      {"location,pressure_mb,radius_km,distance_km\n5,950,30,6\"0\"\n", 1,
       "cases.csv:2:11: error: a quote out of place: a field that holds quotes is quoted whole, "
       "each quote inside doubled"},
      {"location,pressure_mb,radius_km,distance_km\n5,\"950\"x,30,60\n", 1,
       "cases.csv:2:8: error: a quote out of place: a field that holds quotes is quoted whole, "
       "each quote inside doubled"},
  };
  for (const Row& r : rows) {
    write_file("cases.csv", r.text);
    RunResult result = surgekit({"run", "cases.csv"});
    EXPECT_EQ(result.status, r.status) << r.text << result.err;
    EXPECT_EQ(result.err.substr(0, result.err.find('\n')), r.err) << r.text;
    if (r.status == 0) {
      EXPECT_EQ(lines_of(result.out).size(), 2u) << r.text;
    }
  }
}

// Faults of the command line end with status 2, of the data or the header
// with status 1; nothing is written either way.
TEST_F(RunCommandTest, ReportsUsageAndDataFaults) {
  write_file("cases.csv", "location,pressure_mb,radius_km,distance_km\n5,950,30,60\n");
  write_file("noradius.csv", "location,pressure_mb,distance_km\n5,950,60\n");
  write_file("twice.csv", "location,pressure_mb,radius_km,distance_km,location\n");
  write_file("empty.csv", "");
  std::filesystem::create_directory(path("nodata"));
  struct Row {
    std::vector<std::string> args;
    int status;
    const char* error;  // a text the diagnostics hold
  } rows[] = {
      {{"run", "missing.csv"}, 2, "missing.csv"},
      {{"run", "cases.csv", "--frobnicate"}, 2, "frobnicate"},
      {{"run", "cases.csv", "extra.csv"}, 2, "extra.csv"},
      {{"run", "cases.csv", "-o"}, 2, "-o"},
      {{"run", "cases.csv", "-o", "no/such/folder/out.csv"}, 2, "cannot create"},
      {{"run", "cases.csv", "--data", "nowhere"}, 2, "nowhere"},
      {{"run", "cases.csv", "--data", "nodata"}, 2, "srfparamsVelko.dat"},
      {{"run", "noradius.csv", "-o", "out.csv"},
       1,
       "noradius.csv:1: error: the header has no column radius_km"},
      {{"run", "twice.csv", "-o", "out.csv"},
       1,
       "twice.csv:1:44: error: the header names twice the column location"},
      {{"run", "empty.csv", "-o", "out.csv"}, 1, "empty.csv:1: error: no header row"},
      {{"run", "noradius.csv", "-o", "out.csv", "--keep-going"},
       1,
       "noradius.csv:1: error: the header has no column radius_km"},
  };
  for (const Row& r : rows) {
    RunResult result = surgekit(r.args);
    EXPECT_EQ(result.status, r.status) << r.args.back() << ": " << result.err;
    EXPECT_NE(result.err.find(r.error), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "") << r.args.back();
    EXPECT_EQ(result.err.find("could not be used"), std::string::npos) << result.err;
  }
  EXPECT_EQ(other_files({"cases.csv", "noradius.csv", "twice.csv", "empty.csv", "nodata"}),
            std::vector<std::string>{});
}

// Many rows, enough for several chunks of the input on each thread count:
// quoted notes with line breaks, commas and quotes, and one note longer than
// a chunk, so that the input is cut inside and around quoted fields.
class ManyRowsTest : public RunCommandTest {
 protected:
  static constexpr const char* kHeader = "note,location,pressure_mb,radius_km,distance_km\n";
  static constexpr size_t kRows = 60000;
  static constexpr size_t kLongNote = 30000;  // the row with a note longer than a chunk

  // Row i; each row's first line is lines_[i].
  std::string row(size_t i) const {
    std::string note = "n" + std::to_string(i);
    if (i % 7 == 0) note = "\"a, b\nc \"\"" + std::to_string(i) + "\"\"\"";
    if (i == kLongNote) {
      note = "\"";
      for (int k = 0; k < 6000; ++k) note += "long, long line " + std::to_string(k) + "\r\n";
      note += "\"";
    }
    return note + "," + std::to_string(i % 20 + 1) + "," + std::to_string(900 + i % 61) + "," +
           std::to_string(12 + i % 50) + "," + std::to_string(static_cast<int>(i * 37 % 400) - 100) +
           (i % 3 == 0 ? ".5" : "") + "\n";
  }
  // The input with `replace` standing for the rows it names.
  std::string cases(const std::vector<std::pair<size_t, std::string>>& replace = {},
                    size_t rows = kRows) {
    std::string text = kHeader;
    lines_.assign(rows, 0);
    uint64_t line = 2;
    for (size_t i = 0; i < rows; ++i) {
      std::string r = row(i);
      for (const auto& [at, with] : replace) {
        if (at == i) r = with;
      }
      lines_[i] = line;
      line += static_cast<uint64_t>(std::count(r.begin(), r.end(), '\n'));
      text += r;
    }
    return text;
  }
  // The output for the rows [first, last) run alone, without their header.
  std::string rows_alone(size_t first, size_t last) {
    std::string text = kHeader;
    for (size_t i = first; i < last; ++i) text += row(i);
    write_file("part.csv", text);
    RunResult result = surgekit({"run", "part.csv", "--threads", "1"});
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out.substr(result.out.find('\n') + 1);
  }
  std::vector<uint64_t> lines_;
};

// The bytes written do not depend on the thread count, nor on where the input
// is cut into chunks: the same as the rows run in parts that each fit one.
TEST_F(ManyRowsTest, WritesTheSameBytesOnAnyNumberOfThreads) {
  write_file("cases.csv", cases());
  std::string expected = std::string(kHeader).substr(0, std::strlen(kHeader) - 1) + "," + kAdded +
                         "\n";
  for (size_t first = 0; first < kRows; first += 5000) {
    if (first == kLongNote - kLongNote % 5000) {  // the long note alone in its part
      expected += rows_alone(first, kLongNote) + rows_alone(kLongNote, kLongNote + 1) +
                  rows_alone(kLongNote + 1, first + 5000);
    } else {
      expected += rows_alone(first, first + 5000);
    }
  }
  for (const char* threads : {"1", "2", "3"}) {
    RunResult result = surgekit({"run", "cases.csv", "-o", "out.csv", "--threads", threads});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(read_file("out.csv") == expected) << threads << " threads";
  }
}

// A row that cannot be used late in the input ends the run there, located at
// its line and field, as on one thread; standard output has the rows before it.
TEST_F(ManyRowsTest, StopsAtALateBadRowAsOnOneThread) {
  const size_t bad = 52345;  // a plain note
  struct Row {
    std::string text;  // row `bad`
    uint64_t column;
    std::string message;
    size_t rows;  // in the input
  } rows[] = {
      {"x,5,95O,30,60\n", 5, "pressure_mb: \"95O\" is not a number", kRows},
      {"\"x\ny\",5,950,30\n", 0,
       "distance_km: missing field (the row has 4 fields where the header has 5)", kRows},
      {"x,5,950,30,\"60\n", 0, "a quoted field is not closed before the end of the input",
       bad + 1},
  };
  const std::string before = cases({}, bad);
  write_file("before.csv", before);
  const RunResult reference = surgekit({"run", "before.csv", "--threads", "1"});
  ASSERT_EQ(reference.status, 0) << reference.err;
  for (const Row& r : rows) {
    write_file("cases.csv", cases({{bad, r.text}}, r.rows));
    const std::string place = "cases.csv:" + std::to_string(lines_[bad]) +
                              (r.column > 0 ? ":" + std::to_string(r.column) : "");
    for (const char* threads : {"1", "2"}) {
      SCOPED_TRACE(r.text + threads);
      RunResult to_file = surgekit({"run", "cases.csv", "-o", "out.csv", "--threads", threads});
      EXPECT_EQ(to_file.status, 1);
      EXPECT_EQ(to_file.err, place + ": error: " + r.message +
                                 "\nsurgekit run: 1 row could not be used; nothing was written\n");
      EXPECT_FALSE(std::filesystem::exists(path("out.csv")));
      RunResult to_stdout = surgekit({"run", "cases.csv", "--threads", threads});
      EXPECT_EQ(to_stdout.status, 1);
      EXPECT_TRUE(to_stdout.out == reference.out);
      EXPECT_EQ(to_stdout.err.substr(to_stdout.err.find("surgekit run:")),
                "surgekit run: 1 row could not be used; stopped there\n");
    }
  }
}

// With --keep-going the bad rows of every chunk are counted, the first 100
// shown in input order, and the other rows written as on one thread.
TEST_F(ManyRowsTest, KeepsGoingAcrossChunks) {
  std::vector<std::pair<size_t, std::string>> bad;
  for (size_t i = 11; i < kRows; i += 397) bad.emplace_back(i, "x,21,950,30,60\n");
  ASSERT_EQ(bad.size(), 152u);
  write_file("cases.csv", cases(bad));
  std::string expected_err;
  for (size_t k = 0; k < 100; ++k) {
    expected_err += "cases.csv:" + std::to_string(lines_[bad[k].first]) +
                    ":3: error: location: \"21\" is not a location number 1 to 20\n";
  }
  expected_err += "surgekit run: 152 rows could not be used; the others were written\n";
  std::string good = kHeader;
  for (size_t i = 0; i < kRows; ++i) {
    if ((i - 11) % 397 != 0 || i < 11) good += row(i);
  }
  write_file("good.csv", good);
  const RunResult reference = surgekit({"run", "good.csv", "--threads", "1"});
  ASSERT_EQ(reference.status, 0) << reference.err;
  for (const char* threads : {"1", "2"}) {
    RunResult result = surgekit({"run", "cases.csv", "--keep-going", "--threads", threads});
    EXPECT_EQ(result.status, 1) << threads;
    EXPECT_EQ(result.err, expected_err) << threads;
    EXPECT_TRUE(result.out == reference.out) << threads;
  }
}

}  // namespace
}  // namespace surge_test
