// Plot layout rules: 1-2-5 ticks, broken lines, labels that fit, fixed bytes.
#include "kit/page/svg_plot.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kit {
namespace {

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(NiceTicks, OneTwoFiveSteps) {
  struct Row {
    double lo, hi;
    int max_ticks;
    double step;
    long first, last;
    int decimals;
  };
  const Row rows[] = {
      {0, 10, 11, 1, 0, 10, 0},       {0, 10, 6, 2, 0, 5, 0},
      {0, 10, 3, 5, 0, 2, 0},         {0, 10, 2, 10, 0, 1, 0},
      {-155, 775, 12, 100, -1, 7, 0}, {0, 3.46, 7, 0.5, 0, 6, 1},
      {0.95, 7.78, 7, 1, 1, 7, 0},    {0.95, 7.78, 4, 2, 1, 3, 0},
      {-0.013, 0.021, 8, 0.005, -2, 4, 3},
      {12, 13, 5, 0.5, 24, 26, 1},    {-6, 25, 12, 5, -1, 5, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.lo << ".." << r.hi << " max " << r.max_ticks);
    const Ticks t = nice_ticks(r.lo, r.hi, r.max_ticks);
    EXPECT_DOUBLE_EQ(t.step, r.step);
    EXPECT_EQ(t.first, r.first);
    EXPECT_EQ(t.last, r.last);
    EXPECT_EQ(t.decimals, r.decimals);
    EXPECT_LE(t.last - t.first + 1, r.max_ticks);
  }
}

LinePlot two_series() {
  LinePlot plot;
  plot.title = "T & <t>";
  plot.x_label = "distance (km)";
  plot.y_label = "surge (m)";
  plot.series = {{"a", {0, 1, 2, 3}, {0, 1, NAN, 2}}, {"b", {0, 3}, {1, 1}}};
  plot.bands = {{-1, 0.01, "RIGHT"}, {0.01, 3, "LEFT"}};
  plot.markers = {{0, "bridge"}, {10, "beyond"}};
  return plot;
}

TEST(LinePlot, PartsDrawn) {
  std::string svg;
  append_line_plot(&svg, two_series());
  EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  EXPECT_NE(svg.find("T &amp; &lt;t&gt;"), std::string::npos);
  // The NaN breaks series a into two pieces: two moves in its path.
  const size_t a = svg.find("stroke=\"#1f77b4\" stroke-width=\"1.5\" d=\"");
  ASSERT_NE(a, std::string::npos);
  const std::string path = svg.substr(a, svg.find('"', a + 40) - a);
  EXPECT_EQ(count(path, "M"), 2u);
  EXPECT_NE(svg.find(">LEFT<"), std::string::npos);
  EXPECT_EQ(svg.find(">RIGHT<"), std::string::npos);  // its band is too narrow to name
  EXPECT_NE(svg.find(">bridge<"), std::string::npos);
  EXPECT_EQ(svg.find(">beyond<"), std::string::npos);  // outside the x range
  for (const char* label : {">distance (km)<", ">surge (m)<", ">a<", ">b<", ">0.5<", ">2.5<"}) {
    EXPECT_NE(svg.find(label), std::string::npos) << label;
  }
}

TEST(LinePlot, SameInputSameBytes) {
  std::string first, second;
  append_line_plot(&first, two_series());
  append_line_plot(&second, two_series());
  EXPECT_EQ(first, second);
}

TEST(CellGrid, CellsWithValuesAndScale) {
  CellGrid grid;
  grid.title = "g";
  grid.rows = {"1", "2"};
  grid.columns = {"900", "930", "960"};
  grid.values = {3, 2, 1, 6, 5, NAN};
  grid.decimals = 1;
  std::string svg;
  append_cell_grid(&svg, grid);
  EXPECT_EQ(count(svg, "stroke=\"#ffffff\" stroke-width=\"1\""), 6u);
  EXPECT_NE(svg.find("fill=\"#fff5eb\""), std::string::npos);  // the smallest value
  EXPECT_NE(svg.find("fill=\"#7f2704\""), std::string::npos);  // the largest
  EXPECT_NE(svg.find("fill=\"#cccccc\""), std::string::npos);  // no value
  EXPECT_NE(svg.find(">6.0<"), std::string::npos);
  EXPECT_NE(svg.find(">nan<"), std::string::npos);
}

}  // namespace
}  // namespace kit
