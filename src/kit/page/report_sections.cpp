// The report's sections: each turns part of the computed input into markup.
#include "kit/core/names.h"
#include "kit/page/report_sections.h"

#include <charconv>

#include "kit/files/cases.h"
#include "kit/coefficients/coefficients.h"
#include "kit/core/limits.h"
#include "kit/page/plots.h"
#include "kit/core/number.h"
#include "kit/page/svg_plot.h"

namespace kit {
namespace {

const char* severity_name(Severity s) {
  switch (s) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kNote:
      break;
  }
  return "note";
}

// The distance origin as fitted, in single precision: "0.834".
std::string origin_text() {
  char text[32];
  const auto written =
      std::to_chars(text, text + sizeof text, static_cast<float>(surge::kDistanceOrigin));
  return std::string(text, written.ptr);
}

}  // namespace

void add_identity_section(const ReportInput& input, HtmlPage* page) {
  page->begin_section("identity", "Coefficient set");
  page->paragraph("The two files read from the folder " + input.data_dir +
                  ", identified by the SHA-256 digest of their bytes:");
  HtmlTable table;
  table.header = {"file", "SHA-256"};
  table.text_columns = {0, 1};
  const std::string* digests[] = {&input.check.set.parameter_sha256, &input.check.set.slope_sha256};
  const char* names[] = {kParameterFileName, kSlopeFileName};
  for (int i = 0; i < 2; ++i) {
    table.rows.push_back({path_in(input.data_dir, names[i]),
                          digests[i]->empty() ? "(not found)" : *digests[i]});
  }
  page->table(table);
  page->end_section();
}

void add_scope_section(const ReportInput&, HtmlPage* page) {
  page->begin_section("scope", "What the surge includes");
  page->note(
      "The surge, above mean sea level, takes only the hurricane's meteorological forcing into "
      "account: the pressure deficit and the wind field through the fitted response curves. "
      "Astronomical tides, wave setup and wave runup are not included and must be added "
      "separately.");
  page->end_section();
}

void add_findings_section(const ReportInput& input, HtmlPage* page) {
  const CheckReport& check = input.check;
  page->begin_section("findings", "Coefficient check");
  page->paragraph(std::to_string(check.locations_read) + " of " +
                  std::to_string(surge::kLocations) + " locations read: " +
                  counted(check.errors + check.kit_errors, "error") + ", " +
                  counted(check.warnings, "warning") + ", " + counted(check.notes, "note") + ".");
  if (!check.findings.empty()) {
    HtmlTable table;
    table.header = {"file", "line", "column", "severity", "message"};
    table.text_columns = {0, 3, 4};
    for (const Finding& f : check.findings) {
      table.rows.push_back({f.file, f.line ? std::to_string(f.line) : "",
                            f.column ? std::to_string(f.column) : "", severity_name(f.severity),
                            f.message});
    }
    page->table(table);
  }
  if (check.errors > 0) {
    page->note("The calculator stops on these files with a run-time error report, so the "
               "sections that evaluate the model are left out.");
  }
  page->end_section();
}

void add_worst_section(const ReportInput& input, HtmlPage* page) {
  page->begin_section("worst", "Worst landfall at " + std::to_string(input.worst_pressure_mb) +
                                   " mb");
  page->paragraph("For each location, the largest surge above mean sea level over every landfall "
                  "distance and every integer radius from " + input.radius_range + " km, and where it occurs. "
                  "Distance is that of the bridge from the landfall, east positive; only "
                  "landfalls where a fitted curve applies are searched.");
  page->paragraph("The surge depends on the radius only through X (apart from the shift for "
                  "radii below 25 km), so a maximum is usually reached by many radii, each at "
                  "its own distance. The table lists every radius whose own worst surge lies "
                  "within half a millimetre of the largest, as runs of consecutive radii: the "
                  "shift can keep a radius between two runs short of the maximum. It gives the "
                  "worst landfall as X, and the distances at the smallest and largest radius "
                  "listed; no single radius is the critical storm.");
  HtmlTable table;
  table.header = {"location", "surge above mean sea level (m)", "X", "side", "curve", "radii reaching it (km)",
                  "distance at the smallest (km)", "distance at the largest (km)"};
  table.text_columns = {3, 4, 5};
  for (size_t i = 0; i < input.locations.size(); ++i) {
    const WorstLandfall& w = input.worst[i];
    std::string radii;
    for (const RadiusRun& run : w.reach.runs) {
      if (!radii.empty()) radii += ", ";
      radii += shortest_text(run.first_km);
      if (run.last_km != run.first_km) radii += " to " + shortest_text(run.last_km);
    }
    table.rows.push_back({std::to_string(input.locations[i]), fixed_text(w.result.surge_m, 3),
                          fixed_text(w.result.x, 4), std::string(side_name(w.result.side)),
                          std::string(curve_name(w.result.curve)), radii,
                          fixed_text(w.reach.distance_at_min_km, 2),
                          fixed_text(w.reach.distance_at_max_km, 2)});
  }
  page->table(table);
  page->end_section();
}

void add_envelope_section(const ReportInput& input, HtmlPage* page) {
  page->begin_section("envelope", "Envelope of worst surges");
  page->paragraph("For each location and central pressure, the largest surge above mean sea level "
                  "over every landfall distance and every integer radius from " + input.radius_range + " km.");
  std::string svg;
  append_cell_grid(&svg, envelope_grid(input.locations, input.pressures, input.envelope,
                                       input.radius_range));
  page->raw(svg);
  HtmlTable table;
  table.caption = "Worst surge above mean sea level (m)";
  table.header = {"location"};
  for (int p : input.pressures) table.header.push_back(std::to_string(p) + " mb");
  for (size_t i = 0; i < input.locations.size(); ++i) {
    std::vector<std::string> row = {std::to_string(input.locations[i])};
    for (const WorstLandfall& w : input.envelope[i]) row.push_back(fixed_text(w.result.surge_m, 3));
    table.rows.push_back(std::move(row));
  }
  page->table(table);
  page->end_section();
}

void add_location_sections(const ReportInput& input, HtmlPage* page) {
  const std::string origin = origin_text();
  page->begin_section("locations", "Curves per location");
  page->paragraph("Left: the fitted response over the dimensionless distance X = d/R - " + origin +
                  ", on the RIGHT (" + shortest_text(surge::kRightFrom) +
                  " < X <= 0), LEFT (0 < X <= " + shortest_text(surge::kLeftTo) + ") and tail (" +
                  shortest_text(surge::kLeftTo) + " < X <= " + shortest_text(surge::kTailTo) +
                  ") ranges; the inset draws the tail again at a scale of its own. Right: the "
                  "surge along landfall distance d at radius " + shortest_text(input.plot_radius_km) +
                  " km for a few central pressures. The distance is the bridge's from the "
                  "landfall, positive when the bridge lies east of it (the landfall to its "
                  "LEFT). The curves are centred " + origin + " radii east of the landfall, near "
                  "the strongest winds, so the RIGHT curve reaches to d = " + origin + " R, east "
                  "of the landfall. Each plot covers the distances where the response is at "
                  "least " + shortest_text(100 * kShownResponseShare) +
                  " % of its largest; beyond them the surge is the slope term alone. At "
                  "locations " + std::to_string(kFirstWestOnlyLocation) + " to " +
                  std::to_string(kLastLocation) + " the calculator refuses a distance of 0 or "
                  "less: that stretch is shaded and no surge is drawn over it.");
  for (const LocationSamples& samples : input.location_samples) {
    const int location = samples.location;
    std::vector<SurgeSeries> series;
    for (size_t i = 0; i < samples.surges.size(); ++i) {
      series.push_back(
          SurgeSeries{std::to_string(samples.pressures_mb[i]) + " mb", samples.surges[i]});
    }
    page->begin_block("location");
    page->subheading("Location " + std::to_string(location));
    page->begin_block("plots");
    std::string svg;
    append_line_plot(&svg, response_plot(location, samples.response));
    append_line_plot(&svg, surge_plot("Surge along distance, location " +
                                          std::to_string(location) + ", radius " +
                                          shortest_text(input.plot_radius_km) + " km",
                                      location, input.plot_radius_km, samples.distances, series));
    page->raw(svg);
    page->end_block();
    page->end_block();
  }
  page->end_section();
}

}  // namespace kit
