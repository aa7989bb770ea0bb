// The simulations section of the report.
#include "kit/page/report_simulations.h"

#include <algorithm>
#include <cmath>

#include "kit/core/limits.h"
#include "kit/core/number.h"
#include "kit/page/plots.h"
#include "model/surge.h"

namespace kit {
namespace {

// "every 3rd row": the stride as an English ordinal.
std::string ordinal(uint64_t n) {
  const uint64_t tens = n % 100, units = n % 10;
  const char* suffix = "th";
  if (tens < 11 || tens > 13) {
    if (units == 1) suffix = "st";
    if (units == 2) suffix = "nd";
    if (units == 3) suffix = "rd";
  }
  return std::to_string(n) + suffix;
}

std::string plotted_text(const LocationErrors& l) {
  if (l.stride == 1) return "all " + std::to_string(l.plotted.size());
  return std::to_string(l.plotted.size()) + " (every " + ordinal(l.stride) +
         " row and the largest error)";
}

}  // namespace

LinePlot simulated_against_model_plot(const LocationErrors& l) {
  LinePlot plot;
  plot.title = "Location " + std::to_string(l.location) + ": simulated and model surge";
  plot.x_label = "model surge (m)";
  plot.y_label = "simulated surge (m)";
  plot.width = 520;
  plot.height = 300;
  PlotSeries rows{"rows", {}, {}, true};
  double lo = INFINITY, hi = -INFINITY;
  for (const ModelPoint& p : l.plotted) {
    rows.x.push_back(p.model_m);
    rows.y.push_back(p.simulated_m);
    for (double v : {p.model_m, p.simulated_m}) {
      if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    }
  }
  plot.series.push_back(std::move(rows));
  // The 1:1 line across both surges' range, so that both axes reach it.
  if (lo <= hi) plot.series.push_back(PlotSeries{"1:1", {lo, hi}, {lo, hi}});
  return plot;
}

LinePlot residual_plot(const LocationErrors& l) {
  LinePlot plot;
  plot.title = "Location " + std::to_string(l.location) + ": simulated minus model surge";
  plot.x_label = "dimensionless distance X (radii)";
  plot.y_label = "simulated - model (m)";
  plot.width = 520;
  plot.height = 300;
  PlotSeries rows{"", {}, {}, true};
  for (const ModelPoint& p : l.plotted) {
    rows.x.push_back(p.x);
    rows.y.push_back(p.simulated_m - p.model_m);
  }
  plot.series.push_back(std::move(rows));
  plot.bands = {PlotBand{surge::kRightFrom, 0, kRightBand, kRightFill},
                PlotBand{0, surge::kLeftTo, kLeftBand, kLeftFill},
                PlotBand{surge::kLeftTo, surge::kTailTo, kTailBand, kTailFill}};
  return plot;
}

void add_simulations_section(const SimulationReport& report, const std::vector<int>& locations,
                             HtmlPage* page) {
  page->begin_section("simulations", "Simulated surges against the model");
  page->paragraph(
      "The simulated peak surges of " + report.path + " (" + std::to_string(report.rows) +
      " rows, SHA-256 " + report.sha256 +
      ") beside the surge the calculator evaluates for the same storms with this coefficient "
      "set. Per location, left: the simulated against the model surge, with the 1:1 line; "
      "right: the residual, simulated minus model surge, against the dimensionless distance X "
      "as the model computes it (the small-radius shift included), over the RIGHT, LEFT and "
      "tail ranges. The table gives the model's errors, model minus simulated surge, over every "
      "row of each location on a fitted curve, unweighted: root mean square, mean (bias) and "
      "largest absolute value, in metres. Rows beyond every fitted curve (X <= " +
      whole_text(surge::kRightFrom) + " or X > " + whole_text(surge::kTailTo) +
      ") are left out: the curves say nothing there.");
  HtmlTable table;
  table.caption = "Model minus simulated surge (m) per location";
  table.header = {"location", "rows", "plotted", "RMS error", "bias", "largest |error|"};
  table.text_columns = {2};
  std::vector<int> without_rows;
  std::string beyond;  // "1: 5, 3: 2": location and rows
  bool thinned = false;
  for (int location : locations) {
    const LocationErrors& l = report.locations[location];
    if (l.beyond > 0) {
      beyond += (beyond.empty() ? "" : ", ") + std::to_string(location) + ": " +
                std::to_string(l.beyond);
    }
    if (l.errors.rows == 0) {
      without_rows.push_back(location);
      table.rows.push_back({std::to_string(location), "0", "none", "", "", ""});
      continue;
    }
    thinned = thinned || l.stride > 1;
    table.rows.push_back({std::to_string(location), std::to_string(l.errors.rows),
                          plotted_text(l), fixed_text(l.errors.rms, 3),
                          fixed_text(l.errors.bias, 3), fixed_text(l.errors.max_abs, 3)});
  }
  page->table(table);
  if (thinned) {
    page->paragraph("A location with more than " + std::to_string(kSimulationPointsPlotted) +
                    " rows is plotted thinned, every n-th row in file order and the row of its "
                    "largest error, to keep the page small; its statistics use every row.");
  }
  if (!beyond.empty()) {
    page->paragraph("Rows beyond every fitted curve, left out of the table and the plots, by "
                    "location: " + beyond + ".");
  }
  if (!without_rows.empty()) {
    std::string names;
    for (size_t i = 0; i < without_rows.size(); ++i) {
      if (i > 0) names += i + 1 == without_rows.size() ? " and " : ", ";
      names += std::to_string(without_rows[i]);
    }
    page->paragraph(std::string(without_rows.size() == 1 ? "Location " : "Locations ") + names +
                    (without_rows.size() == 1 ? " has" : " have") +
                    " no rows on a fitted curve in the simulations: nothing to plot.");
  }
  for (int location : locations) {
    const LocationErrors& l = report.locations[location];
    if (l.errors.rows == 0) continue;
    page->begin_block("location");
    page->subheading("Location " + std::to_string(location) + ": " +
                     std::to_string(l.errors.rows) + " rows, RMS error " +
                     fixed_text(l.errors.rms, 3) + " m");
    page->begin_block("plots");
    std::string svg;
    append_line_plot(&svg, simulated_against_model_plot(l));
    append_line_plot(&svg, residual_plot(l));
    page->raw(svg);
    page->end_block();
    page->end_block();
  }
  page->end_section();
}

}  // namespace kit
