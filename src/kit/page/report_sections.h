// The sections of the report page, one function each. A new section is one
// more function here and one more call where report.cpp assembles the page.
#ifndef SURGE_KIT_PAGE_REPORT_SECTIONS_H_
#define SURGE_KIT_PAGE_REPORT_SECTIONS_H_

#include <string>
#include <vector>

#include "kit/coefficients/check.h"
#include "kit/page/html_page.h"
#include "kit/studies/curves.h"
#include "kit/studies/landfall.h"

namespace kit {

// Everything the sections show, computed before the page is written.
struct ReportInput {
  std::string data_dir;
  CheckReport check;  // findings, and the set when it loads without error
  std::vector<int> locations;
  std::vector<int> pressures;  // the envelope's columns (mb)
  std::vector<int> radii;      // searched for the envelope and the worst case (km)
  std::string radius_range;    // as given, "11:65"
  std::vector<int> plot_pressures;  // one surge line each in the location plots (mb)
  double plot_radius_km = 30;
  int worst_pressure_mb = 930;
  std::vector<std::vector<WorstLandfall>> envelope;  // [location][pressure]
  std::vector<WorstLandfall> worst;                  // [location], at worst_pressure_mb
  // [location]: its curves, and the surge at plot_radius_km for plot_pressures
  std::vector<LocationSamples> location_samples;
};

// Both files' names and SHA-256 digests.
void add_identity_section(const ReportInput& input, HtmlPage* page);
// What the model leaves out.
void add_scope_section(const ReportInput& input, HtmlPage* page);
// The coefficient check's findings and its summary.
void add_findings_section(const ReportInput& input, HtmlPage* page);
// The worst case per location at one pressure: surge, distance, radius, side.
void add_worst_section(const ReportInput& input, HtmlPage* page);
// The worst surge per location and pressure, as coloured cells and a table.
void add_envelope_section(const ReportInput& input, HtmlPage* page);
// Per location: the response curves over X and the surge along distance.
void add_location_sections(const ReportInput& input, HtmlPage* page);

}  // namespace kit

#endif  // SURGE_KIT_PAGE_REPORT_SECTIONS_H_
