// How the model with one coefficient set reproduces simulated peak surges:
// each row beside the model's surge, and per location the error statistics
// that `surgekit fit` reports for the set it fits.
#ifndef SURGE_KIT_STUDIES_MODEL_ERRORS_H_
#define SURGE_KIT_STUDIES_MODEL_ERRORS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kit/files/simulations.h"
#include "model/site_table.h"

namespace kit {

// One simulated storm beside the model.
struct ModelPoint {
  double x = 0;  // the model's dimensionless distance, the small-radius shift included
  double simulated_m = 0;
  double model_m = 0;  // the surge the calculator evaluates with the set
  bool on_curve = true;  // false beyond every fitted curve, where the model gives no surge of its own
};

// The model's errors (model minus simulated surge, metres) over some rows,
// unweighted: a row's weight counts in the fit alone.
struct ErrorSummary {
  uint64_t rows = 0;
  double rms = 0, bias = 0, max_abs = 0;
  // 1 - (sum of squared errors) / (sum of squared deviations from the mean
  // simulated surge); NaN when every simulated surge is the same.
  double r2 = 0;
};

// The rows evaluated with `table`, in their order.
std::vector<ModelPoint> model_points(const std::vector<const SimulationRow*>& rows,
                                     const surge::SiteTable& table);

// The statistics of `points` (at least one), summed in their order so that
// equal points give equal bits.
ErrorSummary summarize_errors(const std::vector<ModelPoint>& points);

// One location's rows beside the model: statistics over every row, and the
// points to plot. More than `max_plotted` rows are thinned to every
// `stride`-th row in file order (the first included) and the row of the
// largest error, which stays in view; at most `max_plotted` points in all.
struct LocationErrors {
  int location = 0;
  ErrorSummary errors;              // rows 0: the location has none on a fitted curve
  uint64_t beyond = 0;              // rows beyond every fitted curve, left out
  std::vector<ModelPoint> plotted;  // in file order
  uint64_t stride = 1;              // 1: every row plotted
};

// Per location 1 to 20 (index 0 unused), the rows of that location beside
// `table`'s model. Rows beyond every fitted curve are only counted: the
// curves say nothing there, so there is no model surge to set beside them. `max_plotted` must be at least 2.
std::vector<LocationErrors> compare_with_model(const std::vector<SimulationRow>& rows,
                                               const surge::SiteTable& table,
                                               size_t max_plotted);

}  // namespace kit

#endif  // SURGE_KIT_STUDIES_MODEL_ERRORS_H_
