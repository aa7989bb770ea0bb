// The model beside simulated rows: statistics over every row, and the
// thinning of the plotted points at its boundaries.
#include "kit/studies/model_errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace kit {
namespace {

// Rows at location 5 on the LEFT curve; with an all-zero table the model's
// surge is 0, so each error is minus the simulated surge. Row `worst` has
// the largest.
std::vector<SimulationRow> rows_at_5(size_t n, size_t worst) {
  std::vector<SimulationRow> rows;
  for (size_t i = 0; i < n; ++i) {
    const double surge = i == worst ? 3.0 : 0.001 * static_cast<double>(i % 7);
    rows.push_back(SimulationRow{5, 930, 30, 60, surge, 1, i + 2});
  }
  return rows;
}

TEST(CompareWithModel, ThinsToEveryNthRowAndTheWorst) {
  const struct {
    size_t rows;
    uint64_t stride;
    size_t plotted;
  } cases[] = {{500, 1, 500}, {501, 2, 252}, {1497, 3, 500}, {1498, 4, 375}};
  const surge::SiteTable zero{};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rows);
    const std::vector<LocationErrors> out =
        compare_with_model(rows_at_5(c.rows, c.rows - 2), zero, 500);
    ASSERT_EQ(out.size(), 21u);
    const LocationErrors& l = out[5];
    EXPECT_EQ(l.errors.rows, c.rows);
    EXPECT_EQ(l.stride, c.stride);
    EXPECT_EQ(l.plotted.size(), c.plotted);
    EXPECT_EQ(l.errors.max_abs, 3.0);
    EXPECT_TRUE(std::any_of(l.plotted.begin(), l.plotted.end(),
                            [](const ModelPoint& p) { return p.simulated_m == 3.0; }));
    EXPECT_EQ(out[4].errors.rows, 0u);
    EXPECT_TRUE(out[4].plotted.empty());
  }
}

TEST(SummarizeErrors, ModelMinusSimulated) {
  // Errors -1, 0.5, 0.5: bias 0, RMS sqrt(0.5), largest 1; the surges' mean
  // is 2 and their squared deviations sum to 2.
  const std::vector<ModelPoint> points = {{0, 3, 2}, {0, 1, 1.5}, {0, 2, 2.5}};
  const ErrorSummary s = summarize_errors(points);
  EXPECT_EQ(s.rows, 3u);
  EXPECT_DOUBLE_EQ(s.bias, 0);
  EXPECT_DOUBLE_EQ(s.rms, std::sqrt(0.5));
  EXPECT_DOUBLE_EQ(s.max_abs, 1);
  EXPECT_DOUBLE_EQ(s.r2, 1 - 1.5 / 2);
  EXPECT_TRUE(std::isnan(summarize_errors({{0, 1, 2}}).r2));
  EXPECT_DOUBLE_EQ(summarize_errors({{0, 1, 2}}).bias, 1);
}

}  // namespace
}  // namespace kit
