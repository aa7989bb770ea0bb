// The plots along distance and the page's links: which stretch each curve's
// band covers and on which side of the landfall, the distances shown, the
// refused stretch, and contents links that lead somewhere.
#include "kit/page/plots.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <set>

#include "kit/coefficients/coefficients.h"
#include "kit/core/fp_environment.h"
#include "kit/page/html_page.h"
#include "kit/studies/curves.h"

namespace kit {
namespace {

using surge::Curve;

std::vector<surge::CaseResult> results_of(const std::vector<Curve>& curves,
                                          const std::vector<double>& responses = {}) {
  std::vector<surge::CaseResult> results;
  for (size_t i = 0; i < curves.size(); ++i) {
    surge::CaseResult r;
    r.curve = curves[i];
    r.response = i < responses.size() ? responses[i] : 0;
    results.push_back(r);
  }
  return results;
}

// Each band reaches halfway to the next sample; at locations 18 to 20 the
// distances up to 0 are the refused band, which ends at 0 exactly.
TEST(CurveBands, StretchesAndTheRefusedOne) {
  struct Band {
    double from, to;
    std::string label;
  };
  struct Row {
    int location;
    std::vector<Band> bands;
  };
  const std::vector<double> d = {-20, -10, 0, 10, 20, 30};
  const auto results =
      results_of({Curve::kNone, Curve::kRight, Curve::kRight, Curve::kRight, Curve::kLeft,
                  Curve::kTail});
  const Row rows[] = {
      {5, {{-20, -15, kNoCurveBand}, {-15, 15, "RIGHT"}, {15, 25, "LEFT"}, {25, 30, "tail"}}},
      {17, {{-20, -15, kNoCurveBand}, {-15, 15, "RIGHT"}, {15, 25, "LEFT"}, {25, 30, "tail"}}},
      {18, {{-20, 0, kRefusedBand}, {0, 15, "RIGHT"}, {15, 25, "LEFT"}, {25, 30, "tail"}}},
      {20, {{-20, 0, kRefusedBand}, {0, 15, "RIGHT"}, {15, 25, "LEFT"}, {25, 30, "tail"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.location);
    const std::vector<PlotBand> bands = curve_bands(row.location, d, results);
    ASSERT_EQ(bands.size(), row.bands.size());
    for (size_t i = 0; i < bands.size(); ++i) {
      EXPECT_EQ(bands[i].label, row.bands[i].label) << i;
      EXPECT_EQ(bands[i].from, row.bands[i].from) << i;
      EXPECT_EQ(bands[i].to, row.bands[i].to) << i;
    }
  }
}

// The stretch shown: where a series' response reaches 1 % of its largest,
// widened to hold 0, with 4 % margins, at least a tenth of the samples'
// stretch, within the samples.
TEST(ShownDistances, WhereTheResponseMatters) {
  struct Row {
    const char* what;
    std::vector<double> responses;
    double from, to;
  };
  const std::vector<double> d = {-100, 0, 100, 200, 300, 400, 500};
  const Row rows[] = {
      {"peak at 100, tail below 1 %", {0, 2, 100, 30, 1, 0.9, 0}, -12, 312},
      {"exactly 1 % counts", {0, 2, 100, 30, 1, 1, 0}, -16, 416},
      {"away from 0: 0 kept in", {0, 0, 0, 50, 100, 0, 0}, -12, 312},
      {"reaches both ends", {1, 1, 1, 1, 1, 1, 1}, -100, 500},
      {"no response: all", {0, 0, 0, 0, 0, 0, 0}, -100, 500},
      {"one point: a tenth of the samples", {0, -100, 0, 0, 0, 0, 0}, -30, 30},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<Curve> curves(d.size(), Curve::kLeft);
    double from, to;
    shown_distances(d, {results_of(curves, row.responses)}, &from, &to);
    EXPECT_NEAR(from, row.from, 1e-9);
    EXPECT_NEAR(to, row.to, 1e-9);
  }
}

class ExamplePlots : public ::testing::Test {
 protected:
  void SetUp() override {
    use_model_fp_environment();
    std::vector<Finding> errors;
    ASSERT_TRUE(load_coefficients(KIT_EXAMPLES_DIR, &set_, &errors));
  }
  LinePlot along(int location, double radius) {
    const std::vector<double> d = grid_distances(default_distance_grid(set_.table, {location}, radius));
    return surge_plot("t", location, radius, d,
                      {SurgeSeries{"930 mb", sample_distances(set_.table, location, 930, radius, d)}});
  }
  CoefficientSet set_;
};

// The model's own sides: a landfall west of the bridge (positive distance)
// takes the LEFT curve beyond 0.834 R; the RIGHT band covers the negative
// distances and reaches 0.834 R east, where X is 0. The axis says which sign
// is east.
TEST_F(ExamplePlots, BandsOnTheSideTheModelGives) {
  for (double radius : {30.0, 50.0}) {
    SCOPED_TRACE(radius);
    const LinePlot plot = along(3, radius);
    EXPECT_NE(plot.x_label.find("positive: bridge east"), std::string::npos);
    const double x0 = surge::kDistanceOrigin * radius;
    const PlotBand* right = nullptr;
    const PlotBand* left = nullptr;
    for (const PlotBand& b : plot.bands) {
      if (b.label == "RIGHT") right = &b;
      if (b.label == "LEFT") left = &b;
    }
    ASSERT_TRUE(right && left);
    EXPECT_LT(right->from, 0);
    EXPECT_NEAR(right->to, x0, 1.0);
    EXPECT_EQ(left->from, right->to);
    EXPECT_NEAR(left->to, 10 * radius + x0, 1.0);
    // The shown stretch holds the landfall and the peak, not the whole tail.
    EXPECT_LT(plot.x_from, 0);
    EXPECT_GT(plot.x_to, x0);
    EXPECT_LT(plot.x_to, (surge::kTailTo + surge::kDistanceOrigin) * radius);
  }
}

// Locations 18 to 20: the refused stretch is shaded up to 0 and no surge is
// drawn there; location 17 draws on both sides.
TEST_F(ExamplePlots, RefusedDistancesHaveNoLine) {
  for (int location : {17, 18, 19, 20}) {
    SCOPED_TRACE(location);
    const LinePlot plot = along(location, 30);
    double smallest = INFINITY;
    for (double x : plot.series.front().x) {
      if (!std::isnan(x)) smallest = std::min(smallest, x);
    }
    if (location >= 18) {
      EXPECT_GT(smallest, 0);
      ASSERT_FALSE(plot.bands.empty());
      EXPECT_EQ(plot.bands.front().label, kRefusedBand);
      EXPECT_EQ(plot.bands.front().to, 0);
      EXPECT_LT(plot.x_from, 0);  // the refused stretch is in view
    } else {
      EXPECT_LT(smallest, 0);
      for (const PlotBand& b : plot.bands) EXPECT_NE(b.label, kRefusedBand);
    }
  }
}

// The response plot's inset holds the tail, 10 < X <= 25, at its own scale.
TEST_F(ExamplePlots, TailInset) {
  const LinePlot plot = response_plot(3, sample_response_curves(set_.table, 3));
  ASSERT_EQ(plot.inset.size(), 1u);
  const PlotSeries& tail = plot.inset.front().series.front();
  ASSERT_FALSE(tail.x.empty());
  double largest = 0;
  for (size_t i = 0; i < tail.x.size(); ++i) {
    EXPECT_GT(tail.x[i], surge::kLeftTo);
    EXPECT_LE(tail.x[i], surge::kTailTo);
    largest = std::max(largest, std::fabs(tail.y[i]));
  }
  EXPECT_GT(largest, 0);
  EXPECT_EQ(plot.inset_from, surge::kLeftTo);
  EXPECT_EQ(plot.inset_to, surge::kTailTo);
}

// Every link of the contents leads to an element of that id, and every
// section is listed once.
TEST(HtmlPageLinks, EveryTargetPresent) {
  HtmlPage page("p");
  page.begin_section("one", "First & best");
  page.paragraph("a");
  page.end_section();
  page.begin_section("two-2", "Second");
  page.end_section();
  const std::string html = page.finish();
  std::set<std::string> ids, targets;
  const std::regex id(R"re( id="([^"]+)")re"), href(R"re(href="#([^"]*)")re");
  for (std::sregex_iterator it(html.begin(), html.end(), id), end; it != end; ++it) {
    EXPECT_TRUE(ids.insert((*it)[1]).second) << "id twice: " << (*it)[1];
  }
  size_t links = 0;
  for (std::sregex_iterator it(html.begin(), html.end(), href), end; it != end; ++it, ++links) {
    targets.insert((*it)[1]);
    EXPECT_TRUE(ids.count((*it)[1])) << "no element with id " << (*it)[1];
  }
  EXPECT_EQ(links, 2u);
  EXPECT_EQ(targets, (std::set<std::string>{"one", "two-2"}));
}

}  // namespace
}  // namespace kit
