// Plots as SVG text: line plots (axes with 1-2-5 ticks, labels with units, a
// legend, named ranges and marked positions) and grids of coloured cells. The
// same element goes into an .svg file and, inline, into the report page.
// Numbers are written with fixed decimals, so equal input gives equal bytes.
#ifndef SURGE_KIT_PAGE_SVG_PLOT_H_
#define SURGE_KIT_PAGE_SVG_PLOT_H_

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

namespace kit {

// One line: points (x[i], y[i]); a non-finite value breaks the line. With
// `dots`, a dot at each point and no line: a scatter of rows.
struct PlotSeries {
  std::string name;  // in the legend; the legend is left out when all are empty
  std::vector<double> x, y;
  bool dots = false;
};

// A shaded range of x, named above the plot where the name fits.
struct PlotBand {
  double from = 0, to = 0;
  std::string label;
  const char* fill = nullptr;  // a colour of its own; the next of a cycle when null
};

// A position on the x axis, drawn as a dashed line with its label beside it.
// A marker that must be seen (`keep_in_view`) widens an automatic x axis to
// reach it; any other marker outside the axis is left out.
struct PlotMarker {
  double x = 0;
  std::string label;
  bool keep_in_view = false;
};

struct LinePlot;

struct LinePlot {
  std::string title;
  std::string x_label, y_label;  // with the unit: "landfall distance (km)"
  std::vector<PlotSeries> series;
  std::vector<PlotBand> bands;
  std::vector<PlotMarker> markers;
  int width = 640, height = 340;  // the whole figure, in pixels
  bool log_y = false;  // y on a logarithmic axis, ticks at powers of ten; y <= 0 is left out
  // The x axis's range; NaN takes the data's (and the kept markers'). The
  // lines are cut at its ends, and the y axis spans what is left of them.
  double x_from = NAN, x_to = NAN;
  // A smaller plot with its own axes drawn over this one, across the x range
  // [inset_from, inset_to] of this plot and the upper part of its height:
  // a stretch shown again at a scale of its own. Its title names it.
  std::vector<LinePlot> inset;  // none or one
  double inset_from = 0, inset_to = 0;
};

// Panels sharing their axes, in a grid of `columns`: one line plot per panel,
// its title above it; the axis names, the band names and the markers' names
// once for the figure, in a key above the panels (a band's colour is taken
// from its name's first appearance). Tick labels on the left column and the
// bottom row only.
struct SmallMultiples {
  std::string title;
  std::string x_label, y_label;
  std::vector<LinePlot> panels;  // their x_from, x_to, titles, series, bands, markers
  int columns = 4;
  int width = 960;
  int panel_height = 120;  // each panel's frame, in pixels
};

// A table of values drawn as coloured cells (light to dark with the value),
// each with its value written in it.
struct CellGrid {
  std::string title;
  std::string row_label, column_label;  // axis names, with units
  std::string value_label;              // the colour scale's name, with its unit
  std::vector<std::string> rows, columns;
  std::vector<double> values;  // rows.size() * columns.size(), row after row
  int decimals = 2;
};

// Appends one <svg> element (no XML declaration) for the plot or the grid.
void append_line_plot(std::string* out, const LinePlot& plot);
void append_cell_grid(std::string* out, const CellGrid& grid);
void append_small_multiples(std::string* out, const SmallMultiples& figure);

// Tick positions at a 1, 2 or 5 times a power of ten step covering [lo, hi].
struct Ticks {
  double step = 1;
  long first = 0, last = 0;  // tick k is at k * step, for k in [first, last]
  int decimals = 0;          // enough to tell neighbouring ticks apart
};

// The finest 1-2-5 step giving at most `max_ticks` ticks in [lo, hi] (lo < hi).
Ticks nice_ticks(double lo, double hi, int max_ticks);

// Escapes &, <, >, " for text and attribute values.
void append_escaped(std::string* out, std::string_view text);

}  // namespace kit

#endif  // SURGE_KIT_PAGE_SVG_PLOT_H_
