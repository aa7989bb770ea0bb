// Test only: coefficient tables and bridge lists whose surges are easy to
// reason about.
#ifndef SURGE_KIT_STUDIES_TEST_TABLES_H_
#define SURGE_KIT_STUDIES_TEST_TABLES_H_

#include <string>
#include <vector>

#include "kit/files/sites.h"
#include "model/site_table.h"

namespace kit::testing {

// Every amplitude zero and a tail that vanishes (its centre far beyond any X),
// so the surge is 0.5 h^2 slope at any distance: it depends on pressure alone.
inline surge::SiteTable zero_amplitude_table(float slope = 1.0f) {
  surge::SiteTable t{};
  for (int i = 1; i <= surge::kLocations; ++i) {
    t.left_width1[i] = t.left_width2[i] = t.left_width3[i] = 1.0f;
    t.right_width1[i] = t.right_width2[i] = t.right_width3[i] = 1.0f;
    t.tail_norm[i] = 1.0f;
    t.tail_centre[i] = 1.0e6f;
    t.tail_scale[i] = 1.0f;
    t.slope[i] = slope;
  }
  return t;
}

// The worked example's curves at every location, with a tail that joins the
// LEFT curve smoothly enough for tests.
inline surge::SiteTable worked_example_table() {
  surge::SiteTable t{};
  const float row[21] = {1.0f, 1.0f, 2.0f, 0.5f, 3.0f,  1.0f, 0.25f, 0.0f, 4.0f, 1.0f, 12.0f,
                         3.0f, 0.8f, -1.0f, 1.5f, 0.4f, -3.0f, 1.0f, 0.2f, 0.5f, 2.0f};
  for (int i = 1; i <= surge::kLocations; ++i) {
    for (int c = 0; c < surge::kParameterCount; ++c) (t.*surge::kParameterColumns[c])[i] = row[c];
    t.slope[i] = 0.1f;
  }
  return t;
}

// Bridges 1 to 20 at alongshore 0, spacing, 2 spacing, ...
inline std::vector<Site> evenly_spaced_sites(double spacing_km) {
  std::vector<Site> sites;
  for (int k = 1; k <= surge::kLocations; ++k) {
    Site s;
    s.location = k;
    s.name = "b" + std::to_string(k);
    s.alongshore_km = spacing_km * (k - 1);
    sites.push_back(s);
  }
  return sites;
}

// The surge of the zero-amplitude table: 0.5 h^2 slope.
inline double pressure_only_surge(double pressure_mb, double slope = 1.0) {
  const double h = (1013 - pressure_mb) / static_cast<double>(98.0665f);
  return 0.5 * h * h * slope;
}

}  // namespace kit::testing

#endif  // SURGE_KIT_STUDIES_TEST_TABLES_H_
