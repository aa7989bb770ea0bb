// The worst landfall: the largest surge a bridge sees over every landfall
// distance (and over a range of radii), found exactly on the model.
#ifndef SURGE_KIT_STUDIES_LANDFALL_H_
#define SURGE_KIT_STUDIES_LANDFALL_H_

#include <string_view>
#include <vector>

#include "model/site_table.h"
#include "model/surge.h"

namespace kit {

// A radius's worst surge reaches the largest when it lies this close to it:
// the tables print millimetres.
inline constexpr double kReachToleranceM = 0.0005;

// Consecutive radii of the searched list, first_km to last_km (equal for one).
struct RadiusRun {
  double first_km = 0, last_km = 0;
};

// The radii that reach a worst surge: the surge depends on the radius only
// through X (apart from the small-radius shift), so a whole range of radii
// usually reaches the same maximum, each at its own distance. The shift can
// keep a radius below 25 km off the peak while its neighbours reach it, so
// the radii that reach it form runs: a radius between two runs falls short.
struct RadiusReach {
  std::vector<RadiusRun> runs;                            // in increasing order, at least one
  double radius_min_km = 0, radius_max_km = 0;            // the first and last radius of the runs
  double distance_at_min_km = 0, distance_at_max_km = 0;  // their worst landfall distances
};

// The worst case found, as the model gives it at that distance and radius.
struct WorstLandfall {
  double distance_km = 0;
  double radius_km = 0;
  surge::CaseResult result;  // surge_m, side, curve and X at distance_km
  RadiusReach reach;         // over a list of radii; the one radius alone otherwise
};

// The landfall distance at which `location` sees the largest surge for the
// storm's pressure and radius (> 0, finite), among the distances where a
// fitted curve applies and the calculator takes the landfall (a positive
// distance at locations 18 to 20). The surge is 0.5 h^2 times
// (slope + response(X)) with h^2 >= 0, so the distance that maximises the
// response maximises it for every pressure. Candidates are evaluated with the
// model at real distances: both sides of every range boundary and of the
// small-radius shift's jumps, and each interior local maximum (found on a grid
// of 0.02 radii and refined by golden-section search). The surge at the
// returned distance is the largest the model gives anywhere, up to the
// closeness of the candidates to a boundary (a few units in the last place).
WorstLandfall worst_over_distance(const surge::SiteTable& table, int location,
                                  double pressure_mb, double radius_km);

// The worst over distance and over each radius in `radii_km` (not empty, in
// increasing order); of radii whose surges differ by no more than rounding
// (one part in 1e12), the first in the list wins. The reach holds every radius
// of the list whose own worst surge lies within kReachToleranceM of it.
WorstLandfall worst_over_radii(const surge::SiteTable& table, int location, double pressure_mb,
                               const std::vector<int>& radii_km);

// For every pressure in `pressures_mb`, the worst over distance and radius
// (`radii_km` as for worst_over_radii): one search per radius serves every
// pressure.
std::vector<WorstLandfall> worst_per_pressure(const surge::SiteTable& table, int location,
                                              const std::vector<double>& pressures_mb,
                                              const std::vector<int>& radii_km);

// worst_per_pressure for each location, on threads over the locations:
// element [i][p] is location locations[i] at pressure pressures_mb[p].
std::vector<std::vector<WorstLandfall>> envelope_table(const surge::SiteTable& table,
                                                       const std::vector<int>& locations,
                                                       const std::vector<double>& pressures_mb,
                                                       const std::vector<int>& radii_km);

}  // namespace kit

#endif  // SURGE_KIT_STUDIES_LANDFALL_H_
