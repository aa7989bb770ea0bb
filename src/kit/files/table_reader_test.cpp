// The shared CSV table reader: header matching, field places, the field
// rules at the edges of their ranges, and a table read end to end.
#include "kit/files/table_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "kit/core/number.h"

namespace kit {
namespace {

constexpr ColumnSpec kSpecs[] = {
    {"location", true, location_rule},
    {"pressure_mb", true, pressure_rule},
    {"note", false, nullptr},
};

std::vector<std::string_view> split(const std::string& header, char separator = ',') {
  std::vector<std::string_view> fields;
  std::string_view rest = header;
  for (;;) {
    const size_t at = rest.find(separator);
    fields.push_back(rest.substr(0, at));
    if (at == std::string_view::npos) return fields;
    rest.remove_prefix(at + 1);
  }
}

TEST(TableReader, MatchesHeaderNamesTrimmedAndRegardlessOfCase) {
  struct Row {
    std::string header;
    std::vector<int> index;  // when matched
    std::string error;       // when not
    int error_field = -1;
  } rows[] = {
      {"location,pressure_mb", {0, 1, -1}, "", -1},
      {" Location ,\tPRESSURE_MB\t,Note", {0, 1, 2}, "", -1},
      {"x,pressure_mb,location", {2, 1, -1}, "", -1},
      {"location_id,pressure_mb", {}, "the header has no column location (it needs "
       "location,pressure_mb in any order; it has \"location_id\", \"pressure_mb\")"},
      {"Location", {}, "the header has no column pressure_mb (it needs location,pressure_mb in "
       "any order; it has \"Location\")"},
      {"a,,b", {}, "the header has no columns location and pressure_mb (it needs "
       "location,pressure_mb in any order; it has \"a\", \"\", \"b\")"},
      {"location;pressure_mb", {}, "the header has no columns location and pressure_mb (it needs "
       "location,pressure_mb in any order; it has \"location;pressure_mb\"; columns are "
       "separated by commas, not semicolons)"},
      {"location\tpressure_mb", {}, "the header has no columns location and pressure_mb (it "
       "needs location,pressure_mb in any order; it has \"location\tpressure_mb\"; columns are "
       "separated by commas, not tabs)"},
      {"location,pressure_mb,LOCATION", {}, "the header names twice the column location", 2},
      {"location,pressure_mb,note, note", {}, "the header names twice the column note", 3},
  };
  for (const Row& r : rows) {
    HeaderColumns columns;
    std::string error;
    int error_field = -7;
    const bool ok = match_header(split(r.header), kSpecs, &columns, &error, &error_field);
    EXPECT_EQ(ok, r.error.empty()) << r.header;
    if (ok) {
      EXPECT_EQ(columns.index, r.index) << r.header;
      EXPECT_EQ(columns.width, split(r.header).size());
    } else {
      EXPECT_EQ(error, r.error);
      EXPECT_EQ(error_field, r.error_field) << r.header;
    }
  }
}

TEST(TableReader, ListsTwentyOfTheHeaderNamesFound) {
  std::string header = "c0";
  for (int i = 1; i < 23; ++i) header += ",c" + std::to_string(i);
  HeaderColumns columns;
  std::string error;
  int field = 0;
  ASSERT_FALSE(match_header(split(header), kSpecs, &columns, &error, &field));
  EXPECT_NE(error.find(", \"c19\" and 3 more)"), std::string::npos) << error;
  EXPECT_EQ(error.find("\"c20\""), std::string::npos) << error;
}

TEST(TableReader, LocatesEachFieldByLineAndCharacter) {
  struct Row {
    std::string record;
    size_t index;
    uint64_t line, column;
  } rows[] = {
      {"a,b,c", 0, 7, 1},
      {"a,b,c", 2, 7, 5},
      {"ab,,c", 2, 7, 5},
      {"\"x,y\",z", 1, 7, 7},
      {"\"say \"\"a,b\"\"\",z", 1, 7, 15},
      {"\"two\nlines\",z", 1, 8, 8},
      {"\"a\r\nb\nc\",d,e", 2, 9, 6},
      {"\xC3\xA9t\xC3\xA9,x", 1, 7, 5},  // two-byte letters count once
      {"q\"a,b\",c", 1, 7, 5},           // a quote inside a field is text
      {"a,b", 5, 7, 4},                  // past the end: after the last character
  };
  for (const Row& r : rows) {
    const FieldPlace place = locate_field(r.record, 7, r.index);
    EXPECT_EQ(place.line, r.line) << r.record << " #" << r.index;
    EXPECT_EQ(place.column, r.column) << r.record << " #" << r.index;
  }
}

// Every rule at the values on either side of each of its limits.
TEST(TableReader, RulesHoldAtTheirLimits) {
  const std::string kNaN = "nan";
  struct Row {
    FieldRule rule;
    const char* text;
    std::string problem;  // "" when accepted
    double value = 0;     // when accepted
  } rows[] = {
      {location_rule, "1", "", 1},
      {location_rule, "20", "", 20},
      {location_rule, " 7.0 ", "", 7},
      {location_rule, "0", "is not a location number 1 to 20"},
      {location_rule, "21", "is not a location number 1 to 20"},
      {location_rule, "1.5", "is not a location number 1 to 20"},
      {location_rule, "19.999", "is not a location number 1 to 20"},
      {location_rule, "NaN", "is not a location number 1 to 20"},
      {location_rule, "", "is not a location number 1 to 20"},
      {pressure_rule, "1012.999", "", 1012.999},
      {pressure_rule, "960", "", 960},
      {pressure_rule, "1e-300", "", 1e-300},
      {pressure_rule, "0", "is not a pressure above 0 and below 1013 mb"},
      {pressure_rule, "-0", "is not a pressure above 0 and below 1013 mb"},
      {pressure_rule, "-5", "is not a pressure above 0 and below 1013 mb"},
      {pressure_rule, "1013", "is not a pressure above 0 and below 1013 mb"},
      {pressure_rule, "NaN", "is not a pressure above 0 and below 1013 mb"},
      {pressure_rule, "-Infinity", "is not a pressure above 0 and below 1013 mb"},
      {pressure_rule, "95O", "is not a number"},
      {radius_rule, "1e-300", "", 1e-300},
      {radius_rule, "0.001", "", 0.001},
      {radius_rule, "0", "is not a positive radius"},
      {radius_rule, "-0", "is not a positive radius"},
      {radius_rule, "Infinity", "is not a positive radius"},
      {radius_rule, "", "is not a number"},
      {distance_rule, "-1e300", "", -1e300},
      {distance_rule, "Infinity", "is not a finite distance"},
      {distance_rule, "6 0", "is not a number"},
      {rate_rule, "0", "", 0},
      {rate_rule, "1e-300", "", 1e-300},
      {rate_rule, "-0.001", "is not a rate of zero or more"},
      {rate_rule, "Infinity", "is not a rate of zero or more"},
      {rate_rule, "NaN", "is not a rate of zero or more"},
      {rate_rule, "often", "is not a number"},
      {weight_rule, "1e-300", "", 1e-300},
      {weight_rule, "0", "is not a finite weight above 0"},
      {weight_rule, "Infinity", "is not a finite weight above 0"},
      {surge_rule, "-2.5", "", -2.5},
      {surge_rule, "NaN", "is not a finite surge"},
      {finite_rule, "-1.5D2", "", -150},
      {finite_rule, "Infinity", "is not a finite number"},
      {finite_rule, "east", "is not a finite number"},
      {low_chord_rule, "0", "", 0},
      {low_chord_rule, "4.25", "", 4.25},
      {low_chord_rule, "-0.001", "is below 0: a low chord lies above the site's datum"},
      {low_chord_rule, "NaN", "is not a finite number (leave it empty when unknown)"},
      {low_chord_rule, "high", "is not a finite number (leave it empty when unknown)"},
  };
  for (const Row& r : rows) {
    double value = -12345;
    std::string problem;
    const bool ok = r.rule(r.text, &value, &problem);
    EXPECT_EQ(ok, r.problem.empty()) << r.text << ": " << problem;
    if (ok) {
      EXPECT_EQ(value, r.value) << r.text;
    } else {
      EXPECT_EQ(problem, r.problem) << r.text;
    }
  }
  // An empty low chord is unknown: NaN, which no written value can give.
  for (const char* blank : {"", " ", "\t "}) {
    double value = 0;
    std::string problem;
    EXPECT_TRUE(low_chord_rule(blank, &value, &problem));
    EXPECT_TRUE(std::isnan(value));
  }
}

TEST(TableReader, WidthMessagesNameTheFirstMissingColumn) {
  const HeaderColumns columns{{2, 0, -1}, 4};
  EXPECT_EQ(width_message(5, columns, kSpecs), "the row has 5 fields where the header has 4");
  EXPECT_EQ(width_message(3, columns, kSpecs), "the row has 3 fields where the header has 4");
  EXPECT_EQ(width_message(2, columns, kSpecs),
            "location: missing field (the row has 2 fields where the header has 4)");
  EXPECT_EQ(width_message(1, columns, kSpecs),
            "location: missing field (the row has 1 field where the header has 4)");
}

// Reads `text` through a TableReader: each finding formatted, and each good
// row as "line:location:pressure:note".
std::vector<std::string> read_table(const std::string& text) {
  std::FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  TableReader table(in, "t.csv", kSpecs);
  std::vector<Finding> findings;
  std::vector<std::string> out;
  const TableReader::Header header = table.read_header(true, &findings);
  if (header == TableReader::Header::kEmpty) out.push_back("empty");
  while (header == TableReader::Header::kRead) {
    const TableReader::Row row = table.next();
    if (row == TableReader::Row::kEnd) break;
    if (row == TableReader::Row::kFault) {
      findings.push_back(table.fault());
      continue;
    }
    out.push_back(std::to_string(table.line()) + ":" + shortest_text(table.value(0)) + ":" +
                  shortest_text(table.value(1)) + ":" + std::string(table.text(2)));
  }
  if (table.read_failed()) findings.push_back(table.fault());
  std::fclose(in);
  for (const Finding& f : findings) out.push_back(format_finding(f));
  return out;
}

TEST(TableReader, ReadsRowsAndLocatesTheirFaults) {
  struct Row {
    std::string text;
    std::vector<std::string> out;
  } rows[] = {
      {"", {"empty"}},
      {"\n \n\t\n", {"empty"}},
      {"\xEF\xBB\xBF\n\nLocation , Pressure_MB\r\n7,950\r\n\r\n  \r\n20,1012.5\r\n",
       {"4:7:950:", "7:20:1012.5:"}},
      {"note,pressure_mb,location,depth\n\"a,b\",950,3,x\n",
       {"2:3:950:a,b", "t.csv:1:27: warning: column \"depth\" is not used"}},
      {"location,pressure_mb\n1.5,950\n7,1013\n7\n7,950,1\n\"a\n\",x\n",
       {"t.csv:2:1: error: location: \"1.5\" is not a location number 1 to 20",
        "t.csv:3:3: error: pressure_mb: \"1013\" is not a pressure above 0 and below 1013 "
        "mb",
        "t.csv:4: error: pressure_mb: missing field (the row has 1 field where the header has 2)",
        "t.csv:5: error: the row has 3 fields where the header has 2",
        "t.csv:6:1: error: location: \"a\n\" is not a location number 1 to 20"}},
      {"location,pressure_mb\n\"x\ny\",9x0\n",
       {"t.csv:2:1: error: location: \"x\ny\" is not a location number 1 to 20"}},
      {"location,pressure_mb\n5,\"9\nx\"\n",
       {"t.csv:2:3: error: pressure_mb: \"9\nx\" is not a number"}},
      {"pressure_mb,note,location\n950,\"a\nb\",0\n",
       {"t.csv:3:4: error: location: \"0\" is not a location number 1 to 20"}},
      {"location,pressure_mb\n5,950\n6,\"9\n", {"2:5:950:",
       "t.csv:3: error: a quoted field is not closed before the end of the input"}},
      {"\n\nlocation;pressure_mb\n5;950\n",
       {"t.csv:3: error: the header has no columns location and pressure_mb (it needs "
        "location,pressure_mb in any order; it has \"location;pressure_mb\"; columns are "
        "separated by commas, not semicolons)"}},
      {"location,pressure_mb,Location\n", {"t.csv:1:22: error: the header names twice the column location"}},
  };
  for (const Row& r : rows) EXPECT_EQ(read_table(r.text), r.out) << r.text;
}

}  // namespace
}  // namespace kit
