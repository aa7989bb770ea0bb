// Plot layout rules: 1-2-5 ticks, broken lines, labels that fit, fixed bytes.
#include "kit/page/svg_plot.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <map>
#include <regex>
#include <utility>
#include <vector>

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
  // Its band is too narrow to name over it: named once, in the legend, with a swatch.
  EXPECT_EQ(count(svg, ">RIGHT<"), 1u);
  EXPECT_NE(svg.find("text-anchor=\"start\" font-size=\"12.00\">RIGHT<"), std::string::npos);
  EXPECT_NE(svg.find("fill=\"#e8f0fa\" stroke=\"#999999\""), std::string::npos);
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

// The first row is drawn at the top and the first column at the left, each
// value in the cell where its row's label and its column's label meet: read
// back from the positions of the SVG's texts.
TEST(CellGrid, RowsTopDownColumnsLeftToRight) {
  CellGrid grid;
  grid.title = "g";
  grid.rows = {"1", "2", "20"};
  grid.columns = {"890", "925", "960"};
  grid.values = {1.1, 1.2, 1.3, 2.1, 2.2, 2.3, 3.1, 3.2, 3.3};  // row r, column c: r.c
  grid.decimals = 1;
  std::string svg;
  append_cell_grid(&svg, grid);
  std::map<std::string, std::pair<double, double>> at;  // text -> (x, y), first drawn
  const std::regex text_element(R"re(<text x="([-0-9.]+)" y="([-0-9.]+)"[^>]*>([^<]*)</text>)re");
  for (std::sregex_iterator it(svg.begin(), svg.end(), text_element), end; it != end; ++it) {
    at.emplace((*it)[3], std::make_pair(std::stod((*it)[1]), std::stod((*it)[2])));
  }
  for (size_t r = 0; r < grid.rows.size(); ++r) {
    ASSERT_TRUE(at.count(grid.rows[r])) << grid.rows[r];
    if (r > 0) {
      EXPECT_GT(at[grid.rows[r]].second, at[grid.rows[r - 1]].second) << grid.rows[r];
    }
  }
  for (size_t c = 0; c < grid.columns.size(); ++c) {
    ASSERT_TRUE(at.count(grid.columns[c])) << grid.columns[c];
    if (c > 0) {
      EXPECT_GT(at[grid.columns[c]].first, at[grid.columns[c - 1]].first) << grid.columns[c];
    }
    // Column labels above the first row.
    EXPECT_LT(at[grid.columns[c]].second, at[grid.rows[0]].second);
  }
  for (size_t r = 0; r < grid.rows.size(); ++r) {
    for (size_t c = 0; c < grid.columns.size(); ++c) {
      const std::string value = std::to_string(r + 1) + "." + std::to_string(c + 1);
      ASSERT_TRUE(at.count(value)) << value;
      EXPECT_DOUBLE_EQ(at[value].first, at[grid.columns[c]].first) << value;
      EXPECT_DOUBLE_EQ(at[value].second, at[grid.rows[r]].second) << value;
    }
  }
}

// What a drawn plot says, read back from the numbers in its SVG text.
struct ReadPlot {
  std::vector<std::pair<double, double>> x_ticks, y_ticks;  // (value, pixel)
  std::vector<std::string> x_labels, y_labels;
  double frame_left = 0, frame_top = 0, frame_w = 0, frame_h = 0;
  std::vector<std::vector<std::pair<double, double>>> paths;  // pixel points, per path
};

// A tick label's value: a decimal, or a power of ten written "10⁻⁴".
double tick_value(const std::string& label) {
  if (label.rfind("10", 0) != 0 || label.size() == 2 || std::isdigit(static_cast<unsigned char>(label[2]))) {
    return std::stod(label);
  }
  static const std::string digits[] = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
  std::string rest = label.substr(2);
  int sign = 1, power = 0;
  if (rest.rfind("⁻", 0) == 0) sign = -1, rest = rest.substr(std::string("⁻").size());
  while (!rest.empty()) {
    int d = 0;
    while (d < 10 && rest.rfind(digits[d], 0) != 0) ++d;
    if (d == 10) return NAN;
    power = power * 10 + d;
    rest = rest.substr(digits[d].size());
  }
  return std::pow(10.0, sign * power);
}

// Reads the tick labels (x: centred below, y: right-aligned beside the
// frame, both in the tick font with nothing after it), the first frame and
// every line's path. Log-axis labels are read as the values they write.
ReadPlot read_plot(const std::string& svg) {
  ReadPlot r;
  const std::regex tick(
      R"re(<text x="([-0-9.]+)" y="([-0-9.]+)" text-anchor="(middle|end)" font-size="11.00">([^<]*)</text>)re");
  for (std::sregex_iterator it(svg.begin(), svg.end(), tick), end; it != end; ++it) {
    const std::string label = (*it)[4];
    const double value = tick_value(label);
    if ((*it)[3] == "middle") {
      r.x_ticks.emplace_back(value, std::stod((*it)[1]));
      r.x_labels.push_back(label);
    } else {
      r.y_ticks.emplace_back(value, std::stod((*it)[2]) - 11 * 0.35);
      r.y_labels.push_back(label);
    }
  }
  const std::regex frame(
      R"re(<rect x="([-0-9.]+)" y="([-0-9.]+)" width="([0-9.]+)" height="([0-9.]+)" fill="none" stroke="#333333")re");
  std::smatch m;
  if (std::regex_search(svg, m, frame)) {
    r.frame_left = std::stod(m[1]), r.frame_top = std::stod(m[2]);
    r.frame_w = std::stod(m[3]), r.frame_h = std::stod(m[4]);
  }
  const std::regex path(R"re(<path fill="none" stroke="#[0-9a-f]{6}" stroke-width="[0-9.]+"[^>]* d="([^"]*)")re");
  const std::regex point(R"re([ML]([-0-9.]+) ([-0-9.]+))re");
  for (std::sregex_iterator it(svg.begin(), svg.end(), path), end; it != end; ++it) {
    const std::string d = (*it)[1];
    std::vector<std::pair<double, double>> points;
    for (std::sregex_iterator p(d.begin(), d.end(), point); p != end; ++p) {
      points.emplace_back(std::stod((*p)[1]), std::stod((*p)[2]));
    }
    r.paths.push_back(std::move(points));
  }
  return r;
}

// pixel = offset + slope * value through the first and last tick; every
// tick must lie on that line.
struct Mapping {
  double offset = 0, slope = 0;
  double value(double pixel) const { return (pixel - offset) / slope; }
};
Mapping fit_ticks(const std::vector<std::pair<double, double>>& ticks, bool log) {
  Mapping m;
  EXPECT_GE(ticks.size(), 2u);
  if (ticks.size() < 2) return m;
  auto v = [&](double value) { return log ? std::log10(value) : value; };
  const auto& [v0, p0] = ticks.front();
  const auto& [v1, p1] = ticks.back();
  m.slope = (p1 - p0) / (v(v1) - v(v0));
  m.offset = p0 - m.slope * v(v0);
  for (const auto& [value, pixel] : ticks) {
    EXPECT_NEAR(pixel, m.offset + m.slope * v(value), 0.02) << "tick " << value;
  }
  return m;
}

// Plots of known lines: the axes read from the SVG run the right way (x
// rightwards, y upwards), span the range asked for (or the data's), and put
// every drawn point where its value belongs.
TEST(LinePlot, AxesReadBackFromTheNumbers) {
  struct Row {
    const char* what;
    std::vector<double> x, y;
    bool log_y;
    double x_from, x_to;             // NaN: the data's
    double frame_x_lo, frame_x_hi;   // the values at the frame's left and right
    double frame_y_lo, frame_y_hi;   // at its bottom and top
    std::vector<std::pair<double, double>> drawn;  // the points of the path, as values
    bool dots = false;
  };
  const Row rows[] = {
      {"rising", {0, 10}, {0, 5}, false, NAN, NAN, 0, 10, 0, 5, {{0, 0}, {10, 5}}},
      {"falling, below zero", {-4, 6}, {-1.5, -3}, false, NAN, NAN, -4, 6, -3, 0,
       {{-4, -1.5}, {6, -3}}},
      {"cut to -2..5", {-10, 0, 10}, {0, 10, 0}, false, -2, 5, -2, 5, 0, 10,
       {{-2, 8}, {0, 10}, {5, 5}}},
      {"log", {1, 2, 3}, {0.5, 0.02, 0.0004}, true, NAN, NAN, 1, 3, 0.0001, 1,
       {{1, 0.5}, {2, 0.02}, {3, 0.0004}}},
      // Dots outside the cut are left out, with no point put at its ends.
      {"dots cut to 0..2", {-1, 0.5, 1, NAN, 1.5, 3}, {5, 0.5, 1, 1, 2, 9}, false, 0, 2, 0, 2,
       0, 2, {{0.5, 0.5}, {1, 1}, {1.5, 2}}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    LinePlot plot;
    plot.series = {{"", row.x, row.y, row.dots}};
    plot.log_y = row.log_y;
    plot.x_from = row.x_from, plot.x_to = row.x_to;
    std::string svg;
    append_line_plot(&svg, plot);
    const ReadPlot r = read_plot(svg);
    const Mapping mx = fit_ticks(r.x_ticks, false), my = fit_ticks(r.y_ticks, row.log_y);
    EXPECT_GT(mx.slope, 0) << "x must grow rightwards";
    EXPECT_LT(my.slope, 0) << "y must grow upwards";
    auto y_value = [&](double pixel) {
      return row.log_y ? std::pow(10.0, my.value(pixel)) : my.value(pixel);
    };
    const double tol_x = 0.002 * (row.frame_x_hi - row.frame_x_lo);
    EXPECT_NEAR(mx.value(r.frame_left), row.frame_x_lo, tol_x);
    EXPECT_NEAR(mx.value(r.frame_left + r.frame_w), row.frame_x_hi, tol_x);
    const double tol_y = row.log_y ? 1e-3 : 0.002 * (row.frame_y_hi - row.frame_y_lo);
    EXPECT_NEAR(y_value(r.frame_top + r.frame_h), row.frame_y_lo, row.log_y ? 1e-6 : tol_y);
    EXPECT_NEAR(y_value(r.frame_top), row.frame_y_hi, tol_y);
    ASSERT_EQ(r.paths.size(), 1u);
    ASSERT_EQ(r.paths[0].size(), row.drawn.size());
    for (size_t i = 0; i < row.drawn.size(); ++i) {
      EXPECT_NEAR(mx.value(r.paths[0][i].first), row.drawn[i].first, tol_x) << "point " << i;
      const double y = y_value(r.paths[0][i].second), want = row.drawn[i].second;
      EXPECT_NEAR(row.log_y ? std::log10(y) : y, row.log_y ? std::log10(want) : want,
                  row.log_y ? 0.005 : tol_y)
          << "point " << i;
    }
  }
}

// A log axis writes every label in one style, as a power of ten, whatever
// the decades.
TEST(LinePlot, LogLabelsInOneStyle) {
  struct Row {
    double smallest;
    std::vector<std::string> labels;  // bottom to top
  };
  const Row rows[] = {
      {0.0004, {"10⁻⁴", "10⁻³", "10⁻²", "10⁻¹", "10⁰"}},
      {2e-6, {"10⁻⁶", "10⁻⁵", "10⁻⁴", "10⁻³", "10⁻²", "10⁻¹", "10⁰"}},
      {3e-8, {"10⁻⁸", "10⁻⁶", "10⁻⁴", "10⁻²", "10⁰"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.smallest);
    LinePlot plot;
    plot.log_y = true;
    plot.series = {{"", {0, 1}, {0.5, row.smallest}}};
    std::string svg;
    append_line_plot(&svg, plot);
    std::vector<std::string> labels;
    const std::regex y_label(R"re(text-anchor="end" font-size="11.00">([^<]*)</text>)re");
    for (std::sregex_iterator it(svg.begin(), svg.end(), y_label), end; it != end; ++it) {
      labels.push_back((*it)[1]);
    }
    EXPECT_EQ(labels, row.labels);
  }
  // Above 1 as well.
  LinePlot plot;
  plot.log_y = true;
  plot.series = {{"", {0, 1}, {0.5, 2000}}};
  std::string svg;
  append_line_plot(&svg, plot);
  EXPECT_NE(svg.find(">10³</text>"), std::string::npos);
  EXPECT_NE(svg.find(">10⁻¹</text>"), std::string::npos);
}

// A marker kept in view widens the axis to reach it; another one outside
// the axis is left out.
TEST(LinePlot, KeptMarkerWidensTheAxis) {
  LinePlot plot;
  plot.series = {{"", {0, 4}, {1, 0.01}}};
  plot.log_y = true;
  plot.markers = {{7, "low chord 7 m", true}, {-3, "elsewhere"}};
  std::string svg;
  append_line_plot(&svg, plot);
  const ReadPlot r = read_plot(svg);
  const Mapping mx = fit_ticks(r.x_ticks, false);
  EXPECT_NEAR(mx.value(r.frame_left + r.frame_w), 7.28, 0.01);  // 4 % of 0..7 beyond it
  EXPECT_NEAR(mx.value(r.frame_left), 0, 0.01);
  EXPECT_NE(svg.find(">low chord 7 m<"), std::string::npos);
  EXPECT_EQ(svg.find(">elsewhere<"), std::string::npos);
  const std::regex marker(
      R"re(<line x1="([-0-9.]+)" y1="[-0-9.]+" x2="[-0-9.]+" y2="[-0-9.]+" stroke="#000000")re");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(svg, m, marker));
  EXPECT_NEAR(mx.value(std::stod(m[1])), 7, 0.01);
}

// Panels on shared axes: each panel's title, tick labels on the left column
// and the bottom row only, the band and marker names once in the key.
TEST(SmallMultiples, SharedAxesAndOneKey) {
  SmallMultiples figure;
  figure.title = "five";
  figure.x_label = "distance (km)";
  figure.y_label = "surge (m)";
  figure.columns = 2;
  for (int i = 0; i < 5; ++i) {
    LinePlot p;
    p.title = "panel " + std::to_string(i + 1);
    p.series = {{"", {-10.0 * i, 10}, {0, 1.0 + i}}};
    p.bands = {{-100, 0, "west", "#eeeeee"}};
    p.markers = {{0, "zero"}};
    figure.panels.push_back(p);
  }
  std::string svg;
  append_small_multiples(&svg, figure);
  for (int i = 1; i <= 5; ++i) {
    EXPECT_EQ(count(svg, ">panel " + std::to_string(i) + "<"), 1u) << i;
  }
  EXPECT_EQ(count(svg, ">west<"), 1u);
  EXPECT_EQ(count(svg, ">zero<"), 1u);
  EXPECT_EQ(count(svg, "<svg"), 1u);
  EXPECT_EQ(count(svg, "fill=\"none\" stroke=\"#333333\""), 5u);  // the frames
  // Shared x from -40 to 10 and y from 0 to 5, read off the ticks written:
  // three rows of y labels (left column) and the bottom panels' x labels
  // (panels 4 and 5: none lies below them).
  const ReadPlot r = read_plot(svg);
  ASSERT_FALSE(r.y_ticks.empty());
  ASSERT_FALSE(r.x_ticks.empty());
  EXPECT_EQ(r.y_ticks.front().first, 0);
  EXPECT_EQ(r.x_ticks.front().first, -40);
  EXPECT_EQ(r.x_ticks.back().first, 10);
  size_t zeros = 0, minus40 = 0;
  for (const auto& [v, px] : r.y_ticks) zeros += v == 0;
  for (const auto& [v, px] : r.x_ticks) minus40 += v == -40;
  EXPECT_EQ(zeros, 3u);
  EXPECT_EQ(minus40, 2u);
  // Panel 5 (left column, third row) has its x labels lower than panel 4's.
  const auto y_of = [&](const std::string& label) {
    std::vector<double> ys;
    const std::regex re("<text x=\"[-0-9.]+\" y=\"([-0-9.]+)\" text-anchor=\"middle\" font-size=\"11.00\">" + label + "<");
    for (std::sregex_iterator it(svg.begin(), svg.end(), re), end; it != end; ++it) ys.push_back(std::stod((*it)[1]));
    return ys;
  };
  const std::vector<double> ys = y_of("-40");
  ASSERT_EQ(ys.size(), 2u);
  EXPECT_NE(ys[0], ys[1]);
}

}  // namespace
}  // namespace kit
