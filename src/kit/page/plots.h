// The plots drawn from samples of the model: surge along distance, the
// response curves over X, and the envelope's cells.
#ifndef SURGE_KIT_PAGE_PLOTS_H_
#define SURGE_KIT_PAGE_PLOTS_H_

#include <string>
#include <vector>

#include "kit/page/svg_plot.h"
#include "kit/studies/landfall.h"
#include "model/site_table.h"
#include "model/surge.h"

namespace kit {

// The name and shade of a stretch where no fitted curve applies.
inline constexpr const char* kNoCurveBand = "no fitted curve";
inline constexpr const char* kNoCurveFill = "#d9d9d9";

// Bands naming the RIGHT and LEFT runs of the samples (as the model labels
// them), each reaching halfway to its neighbours.
std::vector<PlotBand> side_bands(const std::vector<double>& distances,
                                 const std::vector<surge::CaseResult>& results);

// One series per entry: surge along distance for a storm of `radius_km`,
// broken where the model jumps (a change of curve, the small-radius shift),
// with the sides named and the bridge's position (distance 0) marked.
struct SurgeSeries {
  std::string name;
  std::vector<surge::CaseResult> results;
};
LinePlot surge_plot(const std::string& title, double radius_km,
                    const std::vector<double>& distances, const std::vector<SurgeSeries>& series);

// The response curves of a location over X from -6 to 25 (the model at radius
// 100 km, where no shift applies), the line broken where the curve changes,
// with the RIGHT, LEFT and tail ranges shaded and named.
LinePlot response_plot(const surge::SiteTable& table, int location);

// The envelope table (rows[i][p]: locations[i] at pressures[p]) as coloured
// cells of the worst surge, titled with the radius range searched.
CellGrid envelope_grid(const std::vector<int>& locations, const std::vector<int>& pressures,
                       const std::vector<std::vector<WorstLandfall>>& rows,
                       const std::string& radius_range);

}  // namespace kit

#endif  // SURGE_KIT_PAGE_PLOTS_H_
