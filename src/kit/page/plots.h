// The plots drawn from samples of the model: surge along distance, the
// response curves over X, and the envelope's cells.
#ifndef SURGE_KIT_PAGE_PLOTS_H_
#define SURGE_KIT_PAGE_PLOTS_H_

#include <string>
#include <vector>

#include "kit/page/svg_plot.h"
#include "kit/studies/curves.h"
#include "kit/studies/landfall.h"
#include "model/site_table.h"
#include "model/surge.h"

namespace kit {

// The names and shades of the stretches of distance: one per fitted curve,
// where none applies, and where the calculator refuses the distance.
inline constexpr const char* kRightBand = "RIGHT";
inline constexpr const char* kLeftBand = "LEFT";
inline constexpr const char* kTailBand = "tail";
inline constexpr const char* kRightFill = "#e8f0fa";
inline constexpr const char* kLeftFill = "#fbefe3";
inline constexpr const char* kTailFill = "#eaf5e6";
inline constexpr const char* kNoCurveBand = "no fitted curve";
inline constexpr const char* kNoCurveFill = "#d9d9d9";
inline constexpr const char* kRefusedBand = "refused: distance <= 0";
inline constexpr const char* kRefusedFill = "#f4cccc";

// The x-axis name of the plots along distance: its sign convention.
inline constexpr const char* kDistanceAxisName =
    "distance of the bridge from the landfall (km), positive: bridge east of it";

// Bands naming the fitted curve of each run of the samples (RIGHT, LEFT,
// tail, or none), each reaching halfway to its neighbours. At a location
// the calculator takes only positive distances for, distances from the
// first sample to 0 are one band of their own, the refused one.
std::vector<PlotBand> curve_bands(int location, const std::vector<double>& distances,
                                  const std::vector<surge::CaseResult>& results);

// The share of its largest magnitude above which a series' response counts
// as of interest: the distance axes cover where any series reaches it.
inline constexpr double kShownResponseShare = 0.01;

// The stretch of distance to plot: from the first to the last sample whose
// response is at least kShownResponseShare of its series' largest, widened
// to hold distance 0, with a margin of 4 % of its length each side, at
// least a tenth of the samples' stretch long, and within the samples. The
// samples' whole stretch when no response is non-zero.
void shown_distances(const std::vector<double>& distances,
                     const std::vector<std::vector<surge::CaseResult>>& results, double* from,
                     double* to);

// One series per entry: surge along distance for a storm of `radius_km` at
// `location`, broken where the model jumps (a change of curve, the
// small-radius shift) and left out where the calculator refuses the
// distance, over the stretch shown_distances gives, the curves' stretches
// named and the landfall (distance 0) marked.
struct SurgeSeries {
  std::string name;
  std::vector<surge::CaseResult> results;
};
LinePlot surge_plot(const std::string& title, int location, double radius_km,
                    const std::vector<double>& distances, const std::vector<SurgeSeries>& series);

// The response curves of a location over X (as sample_response_curves
// gives them), the line broken where the curve changes and left out beyond
// every curve, with the RIGHT, LEFT and tail ranges shaded and named, and
// the tail drawn again in an inset at a scale of its own.
LinePlot response_plot(int location, const ResponseCurves& curves);

// The envelope table (rows[i][p]: locations[i] at pressures[p]) as coloured
// cells of the worst surge, titled with the radius range searched.
CellGrid envelope_grid(const std::vector<int>& locations, const std::vector<int>& pressures,
                       const std::vector<std::vector<WorstLandfall>>& rows,
                       const std::string& radius_range);

}  // namespace kit

#endif  // SURGE_KIT_PAGE_PLOTS_H_
