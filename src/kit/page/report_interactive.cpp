// The interactive section's markup: controls, empty places the page's script
// draws into, the data it reads, and the two scripts.
#include "kit/page/report_interactive.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "kit/core/limits.h"
#include "kit/core/number.h"
#include "kit/page/web_assets.h"

namespace kit {
namespace {

// A JSON string; '<' and '>' are escaped too, so that the text inside a
// <script> element can never end it.
void append_json_string(std::string* out, std::string_view text) {
  out->push_back('"');
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(c);
    } else if (u < 0x20 || c == '<' || c == '>' || c == '&') {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out->append(escape);
    } else {
      out->push_back(c);
    }
  }
  out->push_back('"');
}

// A finite number as JSON, null otherwise.
void append_json_number(std::string* out, double value) {
  if (std::isfinite(value)) {
    append_shortest(out, value);
  } else {
    out->append("null");
  }
}

std::string data_json(const InteractiveInput& input) {
  std::string json = "{\"table\":";
  json += table_bits_json(*input.table);
  json += ",\"locations\":[";
  for (size_t i = 0; i < input.locations.size(); ++i) {
    if (i > 0) json.push_back(',');
    json += std::to_string(input.locations[i]);
  }
  json += "],\"sites\":";
  if (input.sites == nullptr) {
    json += "null";
  } else {
    json.push_back('[');
    for (size_t i = 0; i < input.sites->size(); ++i) {
      const Site& site = (*input.sites)[i];
      if (i > 0) json.push_back(',');
      json += "{\"location\":" + std::to_string(site.location) + ",\"name\":";
      append_json_string(&json, site.name);
      json += ",\"alongshore_km\":";
      append_json_number(&json, site.alongshore_km);
      json += ",\"low_chord_m\":";
      if (site.has_low_chord) {
        append_json_number(&json, site.low_chord_m);
      } else {
        json += "null";
      }
      json.push_back('}');
    }
    json.push_back(']');
  }
  // The limits the page applies, from the one place surgekit keeps them.
  json += ",\"limits\":{\"fitted_pressure\":[";
  append_json_number(&json, kFittedPressureMinMb);
  json.push_back(',');
  append_json_number(&json, kFittedPressureMaxMb);
  json += "],\"fitted_radius\":[";
  append_json_number(&json, kFittedRadiusMinKm);
  json.push_back(',');
  append_json_number(&json, kFittedRadiusMaxKm);
  json += "],\"no_deficit_pressure\":";
  append_json_number(&json, kNoDeficitPressureMb);
  json += ",\"first_location\":" + std::to_string(kFirstLocation);
  json += ",\"last_location\":" + std::to_string(kLastLocation);
  json += ",\"first_west_only_location\":" + std::to_string(kFirstWestOnlyLocation);
  json += "}}";
  return json;
}

// A slider and a number field for one quantity, kept in step by the script.
std::string control(const char* id, const char* label, double min, double max, double step,
                    double value) {
  auto num = [](double v) { return shortest_text(v); };
  std::string html = "<label class=\"sk-control\"><span>";
  html += label;
  html += "</span><input type=\"range\" id=\"" + std::string(id) + "-range\" min=\"" + num(min) +
          "\" max=\"" + num(max) + "\" step=\"" + num(step) + "\" value=\"" + num(value) + "\">";
  html += "<input type=\"number\" id=\"" + std::string(id) + "\" step=\"any\" value=\"" +
          num(value) + "\"></label>\n";
  return html;
}

constexpr const char* kSectionStyle = R"(<style>
.sk-controls { display: flex; flex-wrap: wrap; gap: 6px 18px; align-items: center; margin: 6px 0; }
.sk-control { display: flex; gap: 6px; align-items: center; }
.sk-control input[type=number] { width: 6.5em; }
.sk-control input[type=range] { width: 16em; }
#sk-values { overflow-x: auto; }
#sk-values td.sk-none { color: #d62728; }
@media print { .sk-controls input[type=range] { display: none; } }
</style>
)";

}  // namespace

std::string table_bits_json(const surge::SiteTable& table) {
  std::string json = "[";
  for (int c = 0; c <= surge::kParameterCount; ++c) {
    const surge::SiteTable::Column& column =
        c < surge::kParameterCount ? table.*surge::kParameterColumns[c] : table.slope;
    if (c > 0) json.push_back(',');
    json.push_back('[');
    for (int i = 1; i <= surge::kLocations; ++i) {
      char hex[12];
      std::snprintf(hex, sizeof hex, "\"%08x\"", std::bit_cast<uint32_t>(column[i]));
      if (i > 1) json.push_back(',');
      json += hex;
    }
    json.push_back(']');
  }
  json.push_back(']');
  return json;
}

void add_interactive_section(const InteractiveInput& input, HtmlPage* page) {
  page->begin_section("interactive", "Interactive surge");
  const std::string_view model = input.model_script;
  if (model.empty()) {
    page->note("No interactive section: " + input.missing_reason + ".");
    page->end_section();
    return;
  }
  page->paragraph(
      "The model runs in this page, compiled to WebAssembly from the calculator's own source, "
      "on the coefficient set above as surgekit read it. Move a slider or type a value: every "
      "plot and the table follow. Pressures of 0 or less or of " +
      whole_text(kNoDeficitPressureMb) + " mb or more and radii of 0 or less are not evaluated. "
      "Values outside " + fitted_ranges_text() +
      " are flagged, and so is a distance that is not positive at locations " +
      std::to_string(kFirstWestOnlyLocation) + " to " + std::to_string(kLastLocation) +
      " (distance_side), as surgekit run flags them.");
  if (input.sites == nullptr) page->note(input.sites_note);
  page->raw(kSectionStyle);
  std::string html = "<div id=\"sk-interactive\">\n<div class=\"sk-controls\">\n";
  html += control("sk-pressure", "Pressure (mb)", kFittedPressureMinMb, kFittedPressureMaxMb, 1,
                  930);
  html += control("sk-radius", "Radius (km)", kFittedRadiusMinKm, kFittedRadiusMaxKm, 1, 30);
  if (input.sites != nullptr && !input.sites->empty()) {
    double first = input.sites->front().alongshore_km, last = first;
    for (const Site& site : *input.sites) {
      first = std::fmin(first, site.alongshore_km);
      last = std::fmax(last, site.alongshore_km);
    }
    // Landfalls from well before the first bridge to well after the last.
    const double from = std::floor(first) - 100, to = std::ceil(last) + 100;
    html += control("sk-landfall", "Landfall (km along the coast)", from, to, 0.5,
                    std::round((first + last) / 2));
  } else {
    html += control("sk-distance", "Distance (km)", -300, 300, 0.5, 20);
  }
  html += "<label class=\"sk-control\"><span>Location</span><select id=\"sk-location\">";
  for (int location : input.locations) {
    html += "<option value=\"" + std::to_string(location) + "\">" + std::to_string(location) +
            "</option>";
  }
  html += "</select></label>\n</div>\n";
  html += "<div class=\"plots\" id=\"sk-plots\"></div>\n<div id=\"sk-values\"></div>\n";
  html += "<p id=\"sk-status\">The interactive section needs JavaScript.</p>\n</div>\n";
  html += "<script type=\"application/json\" id=\"sk-data\">" + data_json(input) + "</script>\n";
  html += "<script>\n";
  html += model;
  html += "\n</script>\n<script>\n";
  html += web_page_script();
  html += "\n</script>\n";
  page->raw(html);
  page->end_section();
}

}  // namespace kit
