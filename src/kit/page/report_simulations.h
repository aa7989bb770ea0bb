// The report's section on simulated surges: per location, the simulated
// against the model's surge with the 1:1 line, the residuals against X, and
// the model's error statistics.
#ifndef SURGE_KIT_PAGE_REPORT_SIMULATIONS_H_
#define SURGE_KIT_PAGE_REPORT_SIMULATIONS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kit/page/html_page.h"
#include "kit/page/svg_plot.h"
#include "kit/studies/model_errors.h"

namespace kit {

// Points drawn per location and plot at most; more rows are thinned.
inline constexpr size_t kSimulationPointsPlotted = 500;

struct SimulationReport {
  std::string path;    // as given
  std::string sha256;  // of its bytes
  uint64_t rows = 0;
  std::vector<LocationErrors> locations;  // index 1 to 20, from compare_with_model
};

// The section, for the locations in `locations`: a table of each one's rows
// and errors, then a pair of plots per location that has rows; locations
// without rows are named, not plotted.
void add_simulations_section(const SimulationReport& report, const std::vector<int>& locations,
                             HtmlPage* page);

// The two plots of one location with rows: simulated against model surge with
// the 1:1 line, and simulated minus model surge against X.
LinePlot simulated_against_model_plot(const LocationErrors& l);
LinePlot residual_plot(const LocationErrors& l);

}  // namespace kit

#endif  // SURGE_KIT_PAGE_REPORT_SIMULATIONS_H_
