// The hazard section of the report.
#include "kit/page/report_hazard.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kit/core/limits.h"
#include "kit/core/number.h"
#include "kit/page/svg_plot.h"
#include "model/surge.h"

namespace kit {
namespace {

LinePlot aep_plot(const Site& site, const BridgeHazard& h, const HazardSpec& setup) {
  LinePlot plot;
  plot.title = "Bridge " + std::to_string(site.location) + ": " + site.name;
  plot.x_label = setup.total_water ? "total water level above the site's datum (m)"
                                   : "surge above mean sea level (m)";
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

// The clearance (low chord - level) of each bridge, per return period;
// negative where the water reaches the deck. A bridge without a low chord is
// listed with its clearances empty, and a note says why.
void add_clearance_table(const HazardReport& report, const std::vector<size_t>& shown,
                         HtmlPage* page) {
  HtmlTable table;
  table.caption = "Clearance (low chord - total water level, m) at each bridge";
  table.header = {"location", "name", "low chord"};
  for (double t : report.setup.return_periods) table.header.push_back(shortest_text(t) + "-year");
  table.text_columns = {1};
  std::vector<int> without;
  for (size_t k : shown) {
    const Site& site = report.sites[k];
    std::vector<std::string> row = {std::to_string(site.location), site.name,
                                    site.has_low_chord ? fixed_text(site.low_chord_m, 3)
                                                       : "none given"};
    for (double level : report.results[k].levels_m) {
      row.push_back(std::isnan(level) || !site.has_low_chord
                        ? ""
                        : fixed_text(site.low_chord_m - level, 3));
    }
    if (!site.has_low_chord) without.push_back(site.location);
    table.rows.push_back(std::move(row));
  }
  page->table(table);
  if (!without.empty()) {
    std::string names;
    for (size_t i = 0; i < without.size(); ++i) {
      names += (i == 0 ? "" : i + 1 == without.size() ? " and " : ", ") +
               std::to_string(without[i]);
    }
    page->note(std::string(without.size() == 1 ? "Bridge " : "Bridges ") + names +
               (without.size() == 1 ? " has" : " have") +
               " no low chord in sites.csv, so the table gives no clearance there.");
  }
}

}  // namespace

void add_hazard_section(const HazardReport& report, const std::vector<int>& locations,
                        HtmlPage* page) {
  const HazardSpec& setup = report.setup;
  page->begin_section("hazard", setup.total_water ? "Return-period total water level"
                                                   : "Return-period surge");
  std::string method =
      "From the storm set " + report.storms_path + " (" + std::to_string(report.storm_count) +
      " storms" +
      (setup.integrate_coast ? ", rates per year and km of coast, landfalls every " +
                                  shortest_text(setup.step_km) + " km from " +
                                  shortest_text(setup.coast_from_km) + " to " +
                                  shortest_text(setup.coast_to_km) + " km"
                            : ", each at its own landfall with a rate per year") +
      "): ";
  if (setup.total_water) {
    method += "a bridge's total water level above the site's datum (the one its low chord is "
              "given in) is the surge above mean sea level, plus a wave setup of " +
              shortest_text(setup.wave_setup) + " times the surge, plus the tide A cos(phase), "
              "plus the site's datum offset (mean sea level above its datum), plus " +
              shortest_text(setup.sea_level_rise_m) + " m of sea-level rise. The tide's phase is "
              "uniform, a storm's timing being independent of the tide, so the annual rate at "
              "which the total water level exceeds a level is the sum, over the storms (and "
              "landfalls), of each one's rate weighted by the chance that the tide lifts its "
              "water above that level: P(A cos(phase) > t) = arccos(t / A) / pi, the arcsine "
              "law, where t is the level less the storm's surge, wave setup, datum offset and "
              "sea-level rise. The annual exceedance probability (AEP) is 1 - exp(-rate), and the "
              "T-year total water level is the least level, to the millimetre, whose AEP is at "
              "most 1/T.";
  } else {
    method += "the annual rate at which a bridge's surge above mean sea level exceeds a level is "
              "the sum of the rates of the storms (and landfalls) whose surge lies above it; the "
              "annual exceedance probability (AEP) is 1 - exp(-rate), and the T-year surge is the "
              "least level, to the millimetre, whose AEP is at most 1/T.";
  }
  page->paragraph(method);
  if (report.outside_fit > 0) {
    page->note(std::to_string(report.outside_fit) + " of " + std::to_string(report.storm_count) +
               " storms lie outside the fitted ranges (" + fitted_ranges_text() +
               "); their surges are extrapolated.");
  }
  page->note(std::string(setup.total_water
                             ? "The levels add the tide, wave setup and sea-level rise to the "
                               "surge and are given in each site's datum; runup is not included. "
                             : "The surge, above mean sea level, is the hurricane's "
                               "meteorological forcing only: tide, wave setup and runup are not "
                               "included. ") +
             "Landfalls beyond a bridge's fitted curves (X at or below " +
             whole_text(surge::kRightFrom) + " or above " + whole_text(surge::kTailTo) +
             "), and at locations " + std::to_string(kFirstWestOnlyLocation) + " to " +
             std::to_string(kLastLocation) +
             " landfalls on or right of the bridge, are left out there: the curves give no "
             "surge for them. The table gives the share of the storm rate left out at each "
             "bridge.");
  // A low chord is given in its site's datum; the surge is above mean sea level.
  const bool datums = std::any_of(report.sites.begin(), report.sites.end(), [](const Site& s) {
    return s.has_low_chord && s.has_datum_offset;
  });
  if (!setup.total_water && datums) {
    page->note("The low chord marked on each plot is above the site's datum, the surge above mean "
               "sea level; sites.csv gives each site's datum offset, and --total-water gives the "
               "total water level in that datum, set against the low chord.");
  }
  if (!report.coast_warning.empty()) page->note("Warning: " + report.coast_warning + ".");

  HtmlTable table;
  table.caption = setup.total_water
                      ? "Return-period total water level above the site's datum (m) at each bridge"
                      : "Return-period surge above mean sea level (m) at each bridge";
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
  if (setup.total_water) add_clearance_table(report, shown, page);

  page->subheading("Annual exceedance probability at each bridge");
  page->begin_block("plots");
  std::string svg;
  for (size_t k : shown) append_line_plot(&svg, aep_plot(report.sites[k], report.results[k], setup));
  page->raw(svg);
  page->end_block();
  page->end_section();
}

}  // namespace kit
