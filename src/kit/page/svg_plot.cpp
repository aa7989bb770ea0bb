// SVG text for line plots and cell grids, laid out from estimated text widths
// so that no two texts overlap.
#include "kit/page/svg_plot.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "kit/core/number.h"

namespace kit {
namespace {

constexpr double kTickFont = 11, kLabelFont = 12, kTitleFont = 14;
// Widest glyph advance of the sans-serif faces, as a share of the font size.
constexpr double kCharWidth = 0.62;
const char* const kPalette[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd",
                                "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};
const char* const kBandFills[] = {"#e8f0fa", "#fbefe3", "#eaf5e6", "#f3ebf7"};

double text_width(const std::string& text, double font) {
  return static_cast<double>(text.size()) * font * kCharWidth;
}

void num(std::string* out, double v) { append_fixed(out, v, 2); }

void attr(std::string* out, const char* name, double v) {
  *out += ' ';
  *out += name;
  *out += "=\"";
  num(out, v);
  *out += '"';
}

// <text> at (x, y) with an anchor ("start", "middle", "end"), optionally
// turned a quarter left about its anchor point.
void text(std::string* out, double x, double y, const char* anchor, double font,
          const std::string& body, bool vertical = false, const char* extra = "") {
  *out += "<text";
  attr(out, "x", x);
  attr(out, "y", y);
  *out += " text-anchor=\"";
  *out += anchor;
  *out += "\" font-size=\"";
  num(out, font);
  *out += '"';
  if (vertical) {
    *out += " transform=\"rotate(-90 ";
    num(out, x);
    *out += ' ';
    num(out, y);
    *out += ")\"";
  }
  *out += extra;
  *out += '>';
  append_escaped(out, body);
  *out += "</text>\n";
}

void line(std::string* out, double x1, double y1, double x2, double y2, const char* style) {
  *out += "<line";
  attr(out, "x1", x1);
  attr(out, "y1", y1);
  attr(out, "x2", x2);
  attr(out, "y2", y2);
  *out += ' ';
  *out += style;
  *out += "/>\n";
}

void rect(std::string* out, double x, double y, double w, double h, const std::string& style) {
  *out += "<rect";
  attr(out, "x", x);
  attr(out, "y", y);
  attr(out, "width", w);
  attr(out, "height", h);
  *out += ' ';
  *out += style;
  *out += "/>\n";
}

std::string tick_label(const Ticks& t, long k) {
  std::string s;
  append_fixed(&s, static_cast<double>(k) * t.step, t.decimals);
  return s;
}

void open_svg(std::string* out, double width, double height, const std::string& title) {
  *out += "<svg xmlns=\"http://www.w3.org/2000/svg\"";
  attr(out, "width", width);
  attr(out, "height", height);
  *out += " viewBox=\"0 0 ";
  num(out, width);
  *out += ' ';
  num(out, height);
  *out += "\" font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\" role=\"img\">\n<title>";
  append_escaped(out, title);
  *out += "</title>\n";
  rect(out, 0, 0, width, height, "fill=\"#ffffff\"");
}

// Maps a value range onto a pixel range.
struct Scale {
  double v0, v1, p0, p1;
  double operator()(double v) const { return p0 + (v - v0) * (p1 - p0) / (v1 - v0); }
};

// The range of the finite values of one coordinate over every series.
void data_range(const LinePlot& plot, bool x, double* lo, double* hi) {
  *lo = INFINITY, *hi = -INFINITY;
  for (const PlotSeries& s : plot.series) {
    for (size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
      if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) continue;
      const double v = x ? s.x[i] : s.y[i];
      *lo = std::min(*lo, v);
      *hi = std::max(*hi, v);
    }
  }
  if (*lo > *hi) *lo = 0, *hi = 1;
  if (*lo == *hi) {  // a flat line: a span around it, relative for large values
    const double half = std::max(1.0, std::fabs(*lo) * 0.05);
    *lo -= half, *hi += half;
  }
}

}  // namespace

Ticks nice_ticks(double lo, double hi, int max_ticks) {
  assert(lo < hi && max_ticks >= 2);
  const double raw = (hi - lo) / (max_ticks - 1);
  double power = std::pow(10.0, std::floor(std::log10(raw)));
  Ticks t;
  for (;;) {
    for (double m : {1.0, 2.0, 5.0}) {
      t.step = m * power;
      t.first = static_cast<long>(std::ceil(lo / t.step - 1e-9));
      t.last = static_cast<long>(std::floor(hi / t.step + 1e-9));
      if (t.last - t.first + 1 <= max_ticks) {
        t.decimals = std::max(0, static_cast<int>(-std::floor(std::log10(t.step) + 1e-9)));
        return t;
      }
    }
    power *= 10;
  }
}

void append_escaped(std::string* out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&': *out += "&amp;"; break;
      case '<': *out += "&lt;"; break;
      case '>': *out += "&gt;"; break;
      case '"': *out += "&quot;"; break;
      default: *out += c;
    }
  }
}

namespace {

// A power of ten as a tick label: "1000", "1", "0.001", then "1e-4".
std::string decade_label(long power) {
  if (power >= 0 && power <= 6) return "1" + std::string(static_cast<size_t>(power), '0');
  if (power < 0 && power >= -3) return "0." + std::string(static_cast<size_t>(-power - 1), '0') + "1";
  return "1e" + std::to_string(power);
}

// The plot with y replaced by log10 y (NaN where y <= 0), for a log axis.
LinePlot with_log_y(const LinePlot& plot) {
  LinePlot logged = plot;
  for (PlotSeries& s : logged.series) {
    for (double& y : s.y) y = y > 0 ? std::log10(y) : NAN;
  }
  return logged;
}

}  // namespace

void append_line_plot(std::string* out, const LinePlot& given) {
  const bool log_y = given.log_y;
  const LinePlot& plot = log_y ? with_log_y(given) : given;
  const double width = plot.width, height = plot.height;
  double x_lo, x_hi, y_lo, y_hi;
  data_range(plot, true, &x_lo, &x_hi);
  data_range(plot, false, &y_lo, &y_hi);
  if (log_y) {  // whole decades, a tick at each (or every few)
    y_lo = std::floor(y_lo);
    y_hi = std::max(std::ceil(y_hi), y_lo + 1);
  } else {
    y_lo = std::min(y_lo, 0.0);
    y_hi = std::max(y_hi, 0.0);
  }
  // The y axis ends on ticks.
  Ticks yt = nice_ticks(y_lo, y_hi, 7);
  if (log_y && yt.step < 1) yt = Ticks{1, static_cast<long>(y_lo), static_cast<long>(y_hi), 0};
  auto y_tick_label = [&](long k) {
    return log_y ? decade_label(std::lround(static_cast<double>(k) * yt.step)) : tick_label(yt, k);
  };
  if (static_cast<double>(yt.first) * yt.step > y_lo) --yt.first;
  if (static_cast<double>(yt.last) * yt.step < y_hi) ++yt.last;
  y_lo = static_cast<double>(yt.first) * yt.step;
  y_hi = static_cast<double>(yt.last) * yt.step;

  // Margins from the texts that sit in them.
  double y_label_w = 0;
  for (long k = yt.first; k <= yt.last; ++k) {
    y_label_w = std::max(y_label_w, text_width(y_tick_label(k), kTickFont));
  }
  const double top = 12 + kTitleFont + 8 + kTickFont + 6;
  const double bottom = 8 + kTickFont + 8 + kLabelFont + 10;
  const double left = 10 + kLabelFont + 8 + y_label_w + 8;
  size_t named = 0, longest = 0;
  for (const PlotSeries& s : plot.series) {
    if (!s.name.empty()) ++named;
    longest = std::max(longest, s.name.size());
  }
  const double plot_h = height - top - bottom;
  const int per_column = std::max(1, static_cast<int>((plot_h - 4) / 16));
  const int legend_columns = named ? static_cast<int>((plot.series.size() + per_column - 1) / per_column) : 0;
  const double legend_column_w = 30 + static_cast<double>(longest) * kLabelFont * kCharWidth + 10;
  const double right = 14 + legend_columns * legend_column_w;
  const double plot_w = width - left - right;
  const Scale sx{x_lo, x_hi, left, left + plot_w};
  const Scale sy{y_lo, y_hi, top + plot_h, top};

  // The finest x ticks whose labels keep a gap between them.
  Ticks xt;
  for (int n = 12; n >= 2; --n) {
    xt = nice_ticks(x_lo, x_hi, n);
    double widest = 0;
    for (long k = xt.first; k <= xt.last; ++k) {
      widest = std::max(widest, text_width(tick_label(xt, k), kTickFont));
    }
    if (xt.step * plot_w / (x_hi - x_lo) >= widest + 10) break;
  }

  open_svg(out, width, height, plot.title);
  // Named ranges: shading inside, names in the strip above the plot.
  for (size_t i = 0; i < plot.bands.size(); ++i) {
    const PlotBand& b = plot.bands[i];
    const double from = std::max(b.from, x_lo), to = std::min(b.to, x_hi);
    if (!(from < to)) continue;
    const double px0 = sx(from), px1 = sx(to);
    rect(out, px0, top, px1 - px0, plot_h,
         std::string("fill=\"") + (b.fill != nullptr ? b.fill : kBandFills[i % 4]) + "\"");
    if (text_width(b.label, kTickFont) + 4 <= px1 - px0) {
      text(out, (px0 + px1) / 2, top - 5, "middle", kTickFont, b.label, false,
           " fill=\"#444444\"");
    }
  }
  // Grid lines, the zero line, the frame.
  for (long k = yt.first; k <= yt.last; ++k) {
    const double py = sy(static_cast<double>(k) * yt.step);
    line(out, left, py, left + plot_w, py,
         k == 0 ? "stroke=\"#888888\" stroke-width=\"1\"" : "stroke=\"#dddddd\" stroke-width=\"0.6\"");
  }
  for (long k = xt.first; k <= xt.last; ++k) {
    const double px = sx(static_cast<double>(k) * xt.step);
    line(out, px, top, px, top + plot_h, "stroke=\"#dddddd\" stroke-width=\"0.6\"");
  }
  rect(out, left, top, plot_w, plot_h, "fill=\"none\" stroke=\"#333333\" stroke-width=\"1\"");

  // The series.
  for (size_t i = 0; i < plot.series.size(); ++i) {
    const PlotSeries& s = plot.series[i];
    std::string path;
    bool pen_down = false;
    for (size_t j = 0; j < s.x.size() && j < s.y.size(); ++j) {
      if (!std::isfinite(s.x[j]) || !std::isfinite(s.y[j])) {
        pen_down = false;
        continue;
      }
      path += pen_down ? " L" : (path.empty() ? "M" : " M");
      num(&path, sx(s.x[j]));
      path += ' ';
      num(&path, sy(s.y[j]));
      pen_down = true;
    }
    *out += "<path fill=\"none\" stroke=\"";
    *out += kPalette[i % 10];
    *out += "\" stroke-width=\"1.5\"";
    if (i / 10 % 2 == 1) *out += " stroke-dasharray=\"6 3\"";
    *out += " d=\"" + path + "\"/>\n";
  }

  // Marked positions, labelled upward along their line.
  for (const PlotMarker& m : plot.markers) {
    if (m.x < x_lo || m.x > x_hi) continue;
    const double px = sx(m.x);
    line(out, px, top, px, top + plot_h,
         "stroke=\"#000000\" stroke-width=\"1.2\" stroke-dasharray=\"4 3\"");
    if (text_width(m.label, kTickFont) + 8 <= plot_h) {
      text(out, px - 4, top + 4, "end", kTickFont, m.label, true,
           " stroke=\"#ffffff\" stroke-width=\"3\" paint-order=\"stroke\"");
    }
  }

  // Ticks, their labels, the axis names and the title.
  for (long k = xt.first; k <= xt.last; ++k) {
    const double px = sx(static_cast<double>(k) * xt.step);
    line(out, px, top + plot_h, px, top + plot_h + 5, "stroke=\"#333333\"");
    text(out, px, top + plot_h + 6 + kTickFont, "middle", kTickFont, tick_label(xt, k));
  }
  for (long k = yt.first; k <= yt.last; ++k) {
    const double py = sy(static_cast<double>(k) * yt.step);
    line(out, left - 5, py, left, py, "stroke=\"#333333\"");
    text(out, left - 8, py + kTickFont * 0.35, "end", kTickFont, y_tick_label(k));
  }
  text(out, left + plot_w / 2, height - 10, "middle", kLabelFont, plot.x_label);
  text(out, 10 + kLabelFont, top + plot_h / 2, "middle", kLabelFont, plot.y_label, true);
  text(out, left + plot_w / 2, 12 + kTitleFont, "middle", kTitleFont, plot.title, false,
       " font-weight=\"bold\"");

  // The legend, in columns to the right of the plot.
  if (named) {
    for (size_t i = 0; i < plot.series.size(); ++i) {
      const double lx = left + plot_w + 14 + static_cast<double>(i / per_column) * legend_column_w;
      const double ly = top + 8 + static_cast<double>(i % per_column) * 16;
      std::string style = std::string("stroke=\"") + kPalette[i % 10] + "\" stroke-width=\"2\"";
      if (i / 10 % 2 == 1) style += " stroke-dasharray=\"6 3\"";
      line(out, lx, ly, lx + 22, ly, style.c_str());
      text(out, lx + 28, ly + kLabelFont * 0.35, "start", kLabelFont, plot.series[i].name);
    }
  }
  *out += "</svg>\n";
}

namespace {

// Light to dark orange-brown with t in [0, 1].
std::string cell_colour(double t) {
  static const double stops[3][3] = {{255, 245, 235}, {253, 141, 60}, {127, 39, 4}};
  if (std::isnan(t)) return "#cccccc";
  t = std::clamp(t, 0.0, 1.0) * 2;
  const int i = t >= 1 ? 1 : 0;
  const double f = t - i;
  static const char* hex = "0123456789abcdef";
  std::string s = "#";
  for (int c = 0; c < 3; ++c) {
    const int v = static_cast<int>(std::lround(stops[i][c] + (stops[i + 1][c] - stops[i][c]) * f));
    s += hex[v / 16];
    s += hex[v % 16];
  }
  return s;
}

}  // namespace

void append_cell_grid(std::string* out, const CellGrid& grid) {
  assert(grid.values.size() == grid.rows.size() * grid.columns.size());
  double lo = INFINITY, hi = -INFINITY;
  double value_w = 0, row_w = 0, column_w = 0;
  for (double v : grid.values) {
    if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    std::string s;
    append_fixed(&s, v, grid.decimals);
    value_w = std::max(value_w, text_width(s, kTickFont));
  }
  for (const std::string& r : grid.rows) row_w = std::max(row_w, text_width(r, kTickFont));
  for (const std::string& c : grid.columns) column_w = std::max(column_w, text_width(c, kTickFont));
  const double cw = std::max({48.0, value_w + 12, column_w + 8}), ch = 20;
  const double left = 10 + kLabelFont + 8 + row_w + 8;
  const double top = 12 + kTitleFont + 10 + kLabelFont + 8 + kTickFont + 6;
  const double grid_w = cw * static_cast<double>(grid.columns.size());
  const double grid_h = ch * static_cast<double>(grid.rows.size());
  const double bar_w = 160;
  const double width = std::max({left + grid_w + 14,
                                 left + bar_w + 2 * 60 + text_width(grid.value_label, kLabelFont),
                                 20 + text_width(grid.title, kTitleFont)});
  const double height = top + grid_h + 14 + 14 + kTickFont + 10;

  open_svg(out, width, height, grid.title);
  text(out, 10, 12 + kTitleFont, "start", kTitleFont, grid.title, false, " font-weight=\"bold\"");
  text(out, left + grid_w / 2, 12 + kTitleFont + 10 + kLabelFont, "middle", kLabelFont,
       grid.column_label);
  text(out, 10 + kLabelFont, top + grid_h / 2, "middle", kLabelFont, grid.row_label, true);
  for (size_t c = 0; c < grid.columns.size(); ++c) {
    text(out, left + cw * (static_cast<double>(c) + 0.5), top - 6, "middle", kTickFont,
         grid.columns[c]);
  }
  const double span = hi > lo ? hi - lo : 1;
  for (size_t r = 0; r < grid.rows.size(); ++r) {
    const double y = top + ch * static_cast<double>(r);
    text(out, left - 8, y + ch / 2 + kTickFont * 0.35, "end", kTickFont, grid.rows[r]);
    for (size_t c = 0; c < grid.columns.size(); ++c) {
      const double v = grid.values[r * grid.columns.size() + c];
      const double t = std::isfinite(v) ? (hi > lo ? (v - lo) / span : 0.5) : NAN;
      const double x = left + cw * static_cast<double>(c);
      rect(out, x, y, cw, ch, "fill=\"" + cell_colour(t) + "\" stroke=\"#ffffff\" stroke-width=\"1\"");
      std::string s;
      append_fixed(&s, v, grid.decimals);
      text(out, x + cw / 2, y + ch / 2 + kTickFont * 0.35, "middle", kTickFont, s, false,
           t > 0.55 ? " fill=\"#ffffff\"" : " fill=\"#000000\"");
    }
  }
  // The colour scale: its ends' values and its name.
  const double by = top + grid_h + 14;
  std::string low, high;
  append_fixed(&low, std::isfinite(lo) ? lo : 0, grid.decimals);
  append_fixed(&high, std::isfinite(hi) ? hi : 0, grid.decimals);
  const double bx = left + 8 + text_width(low, kTickFont);
  for (int i = 0; i < 16; ++i) {
    rect(out, bx + bar_w * i / 16, by, bar_w / 16 + 0.5, 12,
         "fill=\"" + cell_colour((i + 0.5) / 16) + "\"");
  }
  text(out, bx - 4, by + 10, "end", kTickFont, low);
  text(out, bx + bar_w + 4, by + 10, "start", kTickFont, high);
  text(out, bx + bar_w + 14 + text_width(high, kTickFont), by + 10, "start", kLabelFont,
       grid.value_label);
  *out += "</svg>\n";
}

}  // namespace kit
