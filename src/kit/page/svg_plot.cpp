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

// The range of the finite values of one coordinate over every series; 0 to
// 1 when there are none, a span around a single value.
void data_range(const std::vector<PlotSeries>& series, bool x, double* lo, double* hi) {
  *lo = INFINITY, *hi = -INFINITY;
  for (const PlotSeries& s : series) {
    for (size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
      if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) continue;
      const double v = x ? s.x[i] : s.y[i];
      *lo = std::min(*lo, v);
      *hi = std::max(*hi, v);
    }
  }
}

void settle_range(double* lo, double* hi) {
  if (*lo > *hi) *lo = 0, *hi = 1;
  if (*lo == *hi) {  // a flat line: a span around it, relative for large values
    const double half = std::max(1.0, std::fabs(*lo) * 0.05);
    *lo -= half, *hi += half;
  }
}

// The series cut to x in [lo, hi]: a line crossing an end stops at it; dots
// outside are left out.
std::vector<PlotSeries> clip_x(const std::vector<PlotSeries>& series, double lo, double hi) {
  std::vector<PlotSeries> clipped;
  for (const PlotSeries& s : series) {
    PlotSeries c{s.name, {}, {}, s.dots};
    auto put = [&](double x, double y) { c.x.push_back(x), c.y.push_back(y); };
    const size_t n = std::min(s.x.size(), s.y.size());
    for (size_t i = 0; i < n; ++i) {
      const double x = s.x[i], y = s.y[i];
      const bool ok = std::isfinite(x) && std::isfinite(y);
      const bool inside = ok && x >= lo && x <= hi;
      if (!s.dots && i > 0 && ok && std::isfinite(s.x[i - 1]) && std::isfinite(s.y[i - 1])) {
        const double px = s.x[i - 1], py = s.y[i - 1];
        const bool was_inside = px >= lo && px <= hi;
        // The crossings of the ends between the previous point and this one.
        for (double edge : {lo, hi}) {
          if ((px - edge) * (x - edge) < 0) {
            const double at = py + (y - py) * (edge - px) / (x - px);
            if (was_inside) {
              put(edge, at);
              put(NAN, NAN);
            } else {
              put(NAN, NAN);
              put(edge, at);
            }
          }
        }
      }
      if (inside) {
        put(x, y);
      } else if (!c.x.empty() && !std::isnan(c.x.back())) {
        put(NAN, NAN);
      }
    }
    clipped.push_back(std::move(c));
  }
  return clipped;
}

// A power of ten as a tick label, written as one: "10⁻⁴", "10⁰", "10³", the
// same style on every log axis.
std::string decade_label(long power) {
  static const char* const digits[] = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
  std::string s = "10";
  if (power < 0) s += "⁻";
  const std::string magnitude = std::to_string(power < 0 ? -power : power);
  for (char c : magnitude) s += digits[c - '0'];
  return s;
}

// The series with y replaced by log10 y (NaN where y <= 0), for a log axis.
std::vector<PlotSeries> with_log_y(std::vector<PlotSeries> series) {
  for (PlotSeries& s : series) {
    for (double& y : s.y) y = y > 0 ? std::log10(y) : NAN;
  }
  return series;
}

// A y axis ending on ticks: whole decades on a log axis (its values are
// log10 y), otherwise a span that holds 0.
struct YAxis {
  double lo = 0, hi = 1;
  Ticks ticks;
  bool log = false;
  std::string label(long k) const {
    if (log) return decade_label(std::lround(static_cast<double>(k) * ticks.step));
    std::string s;
    append_fixed(&s, static_cast<double>(k) * ticks.step, ticks.decimals);
    return s;
  }
};

YAxis y_axis(double lo, double hi, bool log_y, int max_ticks) {
  YAxis a;
  a.log = log_y;
  if (log_y) {
    lo = std::floor(lo);
    hi = std::max(std::ceil(hi), lo + 1);
  } else {
    lo = std::min(lo, 0.0);
    hi = std::max(hi, 0.0);
  }
  a.ticks = nice_ticks(lo, hi, max_ticks);
  if (log_y && a.ticks.step < 1) a.ticks = Ticks{1, std::lround(lo), std::lround(hi), 0};
  if (static_cast<double>(a.ticks.first) * a.ticks.step > lo) --a.ticks.first;
  if (static_cast<double>(a.ticks.last) * a.ticks.step < hi) ++a.ticks.last;
  a.lo = static_cast<double>(a.ticks.first) * a.ticks.step;
  a.hi = static_cast<double>(a.ticks.last) * a.ticks.step;
  return a;
}

// The finest x ticks whose labels keep a gap between them over `width` pixels.
Ticks x_ticks(double lo, double hi, double width) {
  Ticks xt;
  for (int n = 12; n >= 2; --n) {
    xt = nice_ticks(lo, hi, n);
    double widest = 0;
    for (long k = xt.first; k <= xt.last; ++k) {
      widest = std::max(widest, text_width(tick_label(xt, k), kTickFont));
    }
    if (xt.step * width / (hi - lo) >= widest + 10) break;
  }
  return xt;
}

struct Box {
  double left, top, w, h;
};

// Dot attributes: a zero-length stroke with round caps is a dot, a few bytes a point.
constexpr const char* kDotStyle =
    "\" stroke-width=\"3.5\" stroke-linecap=\"round\" stroke-opacity=\"0.7\"";

// One path of dots at the series' finite points.
void append_dots(std::string* out, const PlotSeries& s, const char* colour, const Scale& sx,
                 const Scale& sy) {
  *out += "<path fill=\"none\" stroke=\"";
  *out += colour;
  *out += kDotStyle;
  *out += " d=\"";
  bool first = true;
  for (size_t j = 0; j < s.x.size() && j < s.y.size(); ++j) {
    if (!std::isfinite(s.x[j]) || !std::isfinite(s.y[j])) continue;
    if (!first) *out += ' ';
    first = false;
    *out += 'M';
    num(out, sx(s.x[j]));
    *out += ' ';
    num(out, sy(s.y[j]));
    *out += "h0";
  }
  *out += "\"/>\n";
}

// What a panel writes beside its frame.
struct PanelText {
  bool x_ticks = true, y_ticks = true;  // the tick labels
  bool band_names = true;               // in the strip above the frame
  bool marker_names = true;             // along the marker lines
};

// One panel: bands, grid, frame, lines, markers and ticks, inside `box`,
// over x_lo..x_hi and the y axis. The series are already cut and, on a log
// axis, logged.
void draw_panel(std::string* out, const std::vector<PlotSeries>& series,
                const std::vector<PlotBand>& bands, const std::vector<PlotMarker>& markers,
                double x_lo, double x_hi, const Ticks& xt, const YAxis& ya, const Box& box,
                const PanelText& show) {
  const Scale sx{x_lo, x_hi, box.left, box.left + box.w};
  const Scale sy{ya.lo, ya.hi, box.top + box.h, box.top};
  // Named ranges: shading inside, names in the strip above the frame.
  for (size_t i = 0; i < bands.size(); ++i) {
    const PlotBand& b = bands[i];
    const double from = std::max(b.from, x_lo), to = std::min(b.to, x_hi);
    if (!(from < to)) continue;
    const double px0 = sx(from), px1 = sx(to);
    rect(out, px0, box.top, px1 - px0, box.h,
         std::string("fill=\"") + (b.fill != nullptr ? b.fill : kBandFills[i % 4]) + "\"");
    if (show.band_names && text_width(b.label, kTickFont) + 4 <= px1 - px0) {
      text(out, (px0 + px1) / 2, box.top - 5, "middle", kTickFont, b.label, false,
           " fill=\"#444444\"");
    }
  }
  // Grid lines, the zero line, the frame.
  for (long k = ya.ticks.first; k <= ya.ticks.last; ++k) {
    const double py = sy(static_cast<double>(k) * ya.ticks.step);
    line(out, box.left, py, box.left + box.w, py,
         k == 0 && !ya.log ? "stroke=\"#888888\" stroke-width=\"1\""
                           : "stroke=\"#dddddd\" stroke-width=\"0.6\"");
  }
  for (long k = xt.first; k <= xt.last; ++k) {
    const double px = sx(static_cast<double>(k) * xt.step);
    line(out, px, box.top, px, box.top + box.h, "stroke=\"#dddddd\" stroke-width=\"0.6\"");
  }
  rect(out, box.left, box.top, box.w, box.h, "fill=\"none\" stroke=\"#333333\" stroke-width=\"1\"");

  for (size_t i = 0; i < series.size(); ++i) {
    const PlotSeries& s = series[i];
    if (s.dots) {
      append_dots(out, s, kPalette[i % 10], sx, sy);
      continue;
    }
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
  for (const PlotMarker& m : markers) {
    if (m.x < x_lo || m.x > x_hi) continue;
    const double px = sx(m.x);
    line(out, px, box.top, px, box.top + box.h,
         "stroke=\"#000000\" stroke-width=\"1.2\" stroke-dasharray=\"4 3\"");
    if (show.marker_names && text_width(m.label, kTickFont) + 8 <= box.h) {
      // Left of the line, or right of it when the frame's left edge is too near.
      const bool right = px - box.left < kTickFont + 6;
      text(out, right ? px + 4 + kTickFont : px - 4, box.top + 4, "end", kTickFont, m.label,
           true, " stroke=\"#ffffff\" stroke-width=\"3\" paint-order=\"stroke\"");
    }
  }

  for (long k = xt.first; k <= xt.last; ++k) {
    const double px = sx(static_cast<double>(k) * xt.step);
    line(out, px, box.top + box.h, px, box.top + box.h + 5, "stroke=\"#333333\"");
    if (show.x_ticks) {
      text(out, px, box.top + box.h + 6 + kTickFont, "middle", kTickFont, tick_label(xt, k));
    }
  }
  for (long k = ya.ticks.first; k <= ya.ticks.last; ++k) {
    const double py = sy(static_cast<double>(k) * ya.ticks.step);
    line(out, box.left - 5, py, box.left, py, "stroke=\"#333333\"");
    if (show.y_ticks) {
      text(out, box.left - 8, py + kTickFont * 0.35, "end", kTickFont, ya.label(k));
    }
  }
}

// The x range of a plot: its own, or the data's and its kept markers'.
void x_range(const LinePlot& plot, double* lo, double* hi) {
  if (!std::isnan(plot.x_from) && !std::isnan(plot.x_to)) {
    *lo = plot.x_from, *hi = plot.x_to;
    return;
  }
  data_range(plot.series, true, lo, hi);
  // A kept marker beyond the data: the axis reaches past it by 4 % of the
  // span, so that its line stands clear of the frame.
  double kept_lo = *lo, kept_hi = *hi;
  for (const PlotMarker& m : plot.markers) {
    if (!m.keep_in_view || !std::isfinite(m.x)) continue;
    kept_lo = std::min(kept_lo, m.x), kept_hi = std::max(kept_hi, m.x);
  }
  const double pad = 0.04 * (kept_hi - kept_lo);
  if (kept_lo < *lo) *lo = kept_lo - pad;
  if (kept_hi > *hi) *hi = kept_hi + pad;
  settle_range(lo, hi);
}

double widest_y_label(const YAxis& ya) {
  double w = 0;
  for (long k = ya.ticks.first; k <= ya.ticks.last; ++k) {
    w = std::max(w, text_width(ya.label(k), kTickFont));
  }
  return w;
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

void append_line_plot(std::string* out, const LinePlot& plot) {
  const double width = plot.width, height = plot.height;
  double x_lo, x_hi;
  x_range(plot, &x_lo, &x_hi);
  std::vector<PlotSeries> series = clip_x(plot.series, x_lo, x_hi);
  if (plot.log_y) series = with_log_y(std::move(series));
  double y_lo, y_hi;
  data_range(series, false, &y_lo, &y_hi);
  settle_range(&y_lo, &y_hi);
  const YAxis ya = y_axis(y_lo, y_hi, plot.log_y, 7);

  // Margins from the texts that sit in them. The legend lists the named
  // series, then each band in view whose name does not fit over it.
  const double top = 12 + kTitleFont + 8 + kTickFont + 6;
  const double bottom = 8 + kTickFont + 8 + kLabelFont + 10;
  const double left = 10 + kLabelFont + 8 + widest_y_label(ya) + 8;
  const double plot_h = height - top - bottom;
  const int per_column = std::max(1, static_cast<int>((plot_h - 4) / 16));
  size_t named = 0, longest = 0;
  for (const PlotSeries& s : plot.series) {
    if (!s.name.empty()) ++named;
    longest = std::max(longest, s.name.size());
  }
  const size_t lines = named ? plot.series.size() : 0;
  std::vector<size_t> listed_bands;  // indices into plot.bands
  double plot_w = 0, legend_column_w = 0;
  for (int pass = 0; pass < 3; ++pass) {  // a narrower plot may leave more names unfit
    size_t band_longest = 0;
    for (size_t b : listed_bands) band_longest = std::max(band_longest, plot.bands[b].label.size());
    const size_t entries = lines + listed_bands.size();
    const int legend_columns = static_cast<int>((entries + per_column - 1) / per_column);
    legend_column_w = 30 + static_cast<double>(std::max(longest, band_longest)) * kLabelFont * kCharWidth + 10;
    plot_w = width - left - 14 - legend_columns * legend_column_w;
    std::vector<size_t> unfit;
    for (size_t b = 0; b < plot.bands.size(); ++b) {
      const PlotBand& band = plot.bands[b];
      const double from = std::max(band.from, x_lo), to = std::min(band.to, x_hi);
      if (!(from < to) || band.label.empty()) continue;
      if (text_width(band.label, kTickFont) + 4 > (to - from) * plot_w / (x_hi - x_lo)) unfit.push_back(b);
    }
    if (unfit == listed_bands) break;
    for (size_t b : unfit) {
      if (std::find(listed_bands.begin(), listed_bands.end(), b) == listed_bands.end()) listed_bands.push_back(b);
    }
    std::sort(listed_bands.begin(), listed_bands.end());
  }
  const Ticks xt = x_ticks(x_lo, x_hi, plot_w);

  open_svg(out, width, height, plot.title);
  draw_panel(out, series, plot.bands, plot.markers, x_lo, x_hi, xt, ya,
             Box{left, top, plot_w, plot_h}, PanelText{});

  // The inset: a white field over part of the frame holding a panel of its
  // own, its title above it and its tick labels inside the field.
  if (!plot.inset.empty() && plot.inset_from < plot.inset_to) {
    const LinePlot& in = plot.inset.front();
    const Scale sx{x_lo, x_hi, left, left + plot_w};
    double ix_lo, ix_hi;
    x_range(in, &ix_lo, &ix_hi);
    std::vector<PlotSeries> in_series = clip_x(in.series, ix_lo, ix_hi);
    if (in.log_y) in_series = with_log_y(std::move(in_series));
    double iy_lo, iy_hi;
    data_range(in_series, false, &iy_lo, &iy_hi);
    settle_range(&iy_lo, &iy_hi);
    const YAxis iya = y_axis(iy_lo, iy_hi, in.log_y, 4);
    const double field_l = sx(std::max(plot.inset_from, x_lo)) + 2;
    const double field_r = sx(std::min(plot.inset_to, x_hi)) - 4;
    const double field_t = top + 4, field_b = top + plot_h * 0.62;
    const double inner_l = field_l + 8 + widest_y_label(iya) + 4;
    const double inner_t = field_t + 4 + kTickFont + 6;
    const Box inner{inner_l, inner_t, field_r - 6 - inner_l, field_b - 6 - kTickFont - 6 - inner_t};
    if (inner.w > 40 && inner.h > 30) {
      rect(out, field_l, field_t, field_r - field_l, field_b - field_t,
           "fill=\"#ffffff\" stroke=\"#999999\" stroke-width=\"0.8\"");
      text(out, (field_l + field_r) / 2, field_t + 4 + kTickFont, "middle", kTickFont, in.title,
           false, " font-style=\"italic\"");
      const Ticks ixt = x_ticks(ix_lo, ix_hi, inner.w);
      PanelText show;
      show.band_names = false;
      draw_panel(out, in_series, in.bands, in.markers, ix_lo, ix_hi, ixt, iya, inner, show);
    }
  }

  text(out, left + plot_w / 2, height - 10, "middle", kLabelFont, plot.x_label);
  text(out, 10 + kLabelFont, top + plot_h / 2, "middle", kLabelFont, plot.y_label, true);
  // The title centred over the frame, moved in where it would pass the figure's edge.
  const double half_title = text_width(plot.title, kTitleFont) * 0.5;
  const double title_x = std::max(std::min(left + plot_w / 2, width - 10 - half_title), 10 + half_title);
  text(out, title_x, 12 + kTitleFont, "middle", kTitleFont, plot.title, false,
       " font-weight=\"bold\"");

  // The legend, in columns to the right of the plot: lines, then band swatches.
  for (size_t i = 0; i < lines + listed_bands.size(); ++i) {
    const double lx = left + plot_w + 14 + static_cast<double>(i / per_column) * legend_column_w;
    const double ly = top + 8 + static_cast<double>(i % per_column) * 16;
    if (i < lines && plot.series[i].dots) {
      *out += std::string("<path fill=\"none\" stroke=\"") + kPalette[i % 10] + kDotStyle;
      *out += " d=\"M";
      num(out, lx + 11);
      *out += ' ';
      num(out, ly);
      *out += "h0\"/>\n";
      text(out, lx + 28, ly + kLabelFont * 0.35, "start", kLabelFont, plot.series[i].name);
    } else if (i < lines) {
      std::string style = std::string("stroke=\"") + kPalette[i % 10] + "\" stroke-width=\"2\"";
      if (i / 10 % 2 == 1) style += " stroke-dasharray=\"6 3\"";
      line(out, lx, ly, lx + 22, ly, style.c_str());
      text(out, lx + 28, ly + kLabelFont * 0.35, "start", kLabelFont, plot.series[i].name);
    } else {
      const size_t b = listed_bands[i - lines];
      const PlotBand& band = plot.bands[b];
      rect(out, lx, ly - 6, 22, 12,
           std::string("fill=\"") + (band.fill != nullptr ? band.fill : kBandFills[b % 4]) +
               "\" stroke=\"#999999\" stroke-width=\"0.6\"");
      text(out, lx + 28, ly + kLabelFont * 0.35, "start", kLabelFont, band.label);
    }
  }
  *out += "</svg>\n";
}

void append_small_multiples(std::string* out, const SmallMultiples& fig) {
  const size_t n = fig.panels.size();
  const int columns = std::max(1, std::min(fig.columns, static_cast<int>(n)));
  const int rows = static_cast<int>((n + columns - 1) / columns);
  // Shared axes: the union of the panels' ranges.
  double x_lo = INFINITY, x_hi = -INFINITY, y_lo = INFINITY, y_hi = -INFINITY;
  std::vector<std::vector<PlotSeries>> cut(n);
  for (size_t i = 0; i < n; ++i) {
    double lo, hi;
    x_range(fig.panels[i], &lo, &hi);
    x_lo = std::min(x_lo, lo), x_hi = std::max(x_hi, hi);
  }
  for (size_t i = 0; i < n; ++i) {
    cut[i] = clip_x(fig.panels[i].series, x_lo, x_hi);
    double lo, hi;
    data_range(cut[i], false, &lo, &hi);
    y_lo = std::min(y_lo, lo), y_hi = std::max(y_hi, hi);
  }
  if (!(x_lo < x_hi)) settle_range(&x_lo, &x_hi);
  settle_range(&y_lo, &y_hi);
  const YAxis ya = y_axis(y_lo, y_hi, false, 4);

  // The key: every band name once (its colour as first drawn) and every marker name once.
  struct KeyEntry {
    std::string label;
    std::string fill;  // empty: a marker
  };
  std::vector<KeyEntry> key;
  for (const LinePlot& p : fig.panels) {
    for (size_t i = 0; i < p.bands.size(); ++i) {
      const PlotBand& b = p.bands[i];
      if (!(std::max(b.from, x_lo) < std::min(b.to, x_hi))) continue;
      if (std::none_of(key.begin(), key.end(), [&](const KeyEntry& k) { return k.label == b.label; })) {
        key.push_back({b.label, b.fill != nullptr ? b.fill : kBandFills[i % 4]});
      }
    }
    for (const PlotMarker& m : p.markers) {
      if (m.x < x_lo || m.x > x_hi) continue;
      if (std::none_of(key.begin(), key.end(), [&](const KeyEntry& k) { return k.label == m.label; })) {
        key.push_back({m.label, ""});
      }
    }
  }
  // The key's entries in lines that fit the width.
  const double width = fig.width;
  const double left = 10 + kLabelFont + 8 + widest_y_label(ya) + 8, right = 14;
  std::vector<std::vector<size_t>> key_lines(1);
  double used = 0;
  for (size_t i = 0; i < key.size(); ++i) {
    const double w = 26 + text_width(key[i].label, kTickFont) + 14;
    if (used > 0 && left + used + w > width - right) key_lines.emplace_back(), used = 0;
    key_lines.back().push_back(i);
    used += w;
  }
  const double key_top = 12 + kTitleFont + 10;
  const double key_line_h = kTickFont + 8;
  const double panels_top = key_top + static_cast<double>(key_lines.size()) * key_line_h + 6;
  const double gap_x = 14, title_h = kTickFont + 8;
  const double bottom = 8 + kTickFont + 8 + kLabelFont + 10;
  const double panel_w = (width - left - right - gap_x * (columns - 1)) / columns;
  const double panel_h = fig.panel_height;
  const double row_h = title_h + panel_h + 8;
  const double height = panels_top + rows * row_h + bottom;
  const Ticks xt = x_ticks(x_lo, x_hi, panel_w);

  open_svg(out, width, height, fig.title);
  text(out, width / 2, 12 + kTitleFont, "middle", kTitleFont, fig.title, false,
       " font-weight=\"bold\"");
  for (size_t l = 0; l < key_lines.size(); ++l) {
    double kx = left;
    const double ky = key_top + static_cast<double>(l) * key_line_h;
    for (size_t i : key_lines[l]) {
      if (key[i].fill.empty()) {
        line(out, kx + 10, ky, kx + 10, ky + kTickFont,
             "stroke=\"#000000\" stroke-width=\"1.2\" stroke-dasharray=\"4 3\"");
      } else {
        rect(out, kx, ky, 20, kTickFont, "fill=\"" + key[i].fill + "\" stroke=\"#999999\" stroke-width=\"0.6\"");
      }
      text(out, kx + 26, ky + kTickFont * 0.85, "start", kTickFont, key[i].label);
      kx += 26 + text_width(key[i].label, kTickFont) + 14;
    }
  }
  for (size_t i = 0; i < n; ++i) {
    const int c = static_cast<int>(i % columns), r = static_cast<int>(i / columns);
    const Box box{left + c * (panel_w + gap_x), panels_top + r * row_h + title_h, panel_w, panel_h};
    PanelText show;
    show.band_names = false;
    show.marker_names = false;
    show.y_ticks = c == 0;
    show.x_ticks = i + columns >= n;  // no panel below it
    draw_panel(out, cut[i], fig.panels[i].bands, fig.panels[i].markers, x_lo, x_hi, xt, ya, box,
               show);
    text(out, box.left + box.w / 2, box.top - 5, "middle", kTickFont, fig.panels[i].title, false,
         " font-weight=\"bold\"");
  }
  const double panels_bottom = panels_top + rows * row_h;
  text(out, left + (width - left - right) / 2, height - 10, "middle", kLabelFont, fig.x_label);
  text(out, 10 + kLabelFont, panels_top + (panels_bottom - panels_top) / 2, "middle", kLabelFont,
       fig.y_label, true);
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
