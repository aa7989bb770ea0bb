// The hazard section of the report.
#include "kit/page/report_hazard.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kit/core/limits.h"
#include "kit/core/number.h"
#include "kit/page/svg_plot.h"

namespace kit {
namespace {

LinePlot aep_plot(const Site& site, const BridgeHazard& h, const HazardSpec& setup) {
  LinePlot plot;
  plot.title = "Bridge " + std::to_string(site.location) + ": " + site.name;
  plot.x_label = "surge (m)";
  plot.y_label = "annual exceedance probability";
  plot.log_y = true;
  plot.height = 300;
  PlotSeries series;
  for (const CurvePoint& p : h.curve) {
    if (!(p.aep > 0)) break;
    series.x.push_back(p.level_m);
    series.y.push_back(p.aep);
  }
  plot.series.push_back(std::move(series));
  for (size_t i = 0; i < setup.return_periods.size(); ++i) {
    if (setup.return_periods[i] == 100 && !std::isnan(h.levels_m[i])) {
      plot.markers.push_back(
          {h.levels_m[i], "100-year " + fixed_text(h.levels_m[i], 2) + " m", true});
    }
  }
  // The axis reaches the low chord, however far above the surges it lies.
  if (site.has_low_chord) {
    plot.markers.push_back(
        {site.low_chord_m, "low chord " + shortest_text(site.low_chord_m) + " m", true});
  }
  return plot;
}

}  // namespace

void add_hazard_section(const HazardReport& report, const std::vector<int>& locations,
                        HtmlPage* page) {
  const HazardSpec& setup = report.setup;
  page->begin_section("hazard", "Return-period surge");
  std::string method =
      "From the storm set " + report.storms_path + " (" + std::to_string(report.storm_count) +
      " storms" +
      (setup.integrate_coast ? ", rates per year and km of coast, landfalls every " +
                                  shortest_text(setup.step_km) + " km from " +
                                  shortest_text(setup.coast_from_km) + " to " +
                                  shortest_text(setup.coast_to_km) + " km"
                            : ", each at its own landfall with a rate per year") +
      "): the annual rate at which a bridge's surge exceeds a level is the sum of the rates of "
      "the storms (and landfalls) whose surge lies above it; the annual exceedance probability "
      "(AEP) is 1 - exp(-rate), and the T-year surge is the least level, to the millimetre, "
      "whose AEP is at most 1/T.";
  page->paragraph(method);
  if (report.outside_fit > 0) {
    page->note(std::to_string(report.outside_fit) + " of " + std::to_string(report.storm_count) +
               " storms lie outside the fitted ranges (" + fitted_ranges_text() +
               "); their surges are extrapolated.");
  }
  page->note("The surge is the hurricane's meteorological forcing only: tide, wave setup and "
             "runup are not included. At locations 18 to 20 landfalls on or right of the "
             "bridge lie outside the fitted curves and are left out; the table gives the share "
             "of the storm rate left out.");

  HtmlTable table;
  table.caption = "Return-period surge (m) at each bridge";
  table.header = {"location", "name"};
  for (double t : setup.return_periods) table.header.push_back(shortest_text(t) + "-year");
  table.header.push_back("rate left out");
  table.text_columns = {1};
  std::vector<size_t> shown;
  for (size_t k = 0; k < report.sites.size(); ++k) {
    if (std::find(locations.begin(), locations.end(), report.sites[k].location) !=
        locations.end()) {
      shown.push_back(k);
    }
  }
  for (size_t k : shown) {
    const BridgeHazard& h = report.results[k];
    std::vector<std::string> row = {std::to_string(h.location), report.sites[k].name};
    for (double level : h.levels_m) row.push_back(std::isnan(level) ? "" : fixed_text(level, 3));
    const double total = h.rate_kept + h.rate_left_out;
    row.push_back(fixed_text(total > 0 ? 100 * h.rate_left_out / total : 0.0, 1) + " %");
    table.rows.push_back(std::move(row));
  }
  page->table(table);

  page->subheading("Annual exceedance probability at each bridge");
  page->begin_block("plots");
  std::string svg;
  for (size_t k : shown) append_line_plot(&svg, aep_plot(report.sites[k], report.results[k], setup));
  page->raw(svg);
  page->end_block();
  page->end_section();
}

}  // namespace kit
