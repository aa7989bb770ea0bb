// The page's markup and its one style sheet.
#include "kit/page/html_page.h"

#include <algorithm>

#include "kit/page/svg_plot.h"

namespace kit {
namespace {

// Screen: plots two abreast where the window allows. Print: A4, one plot per
// line, sections kept whole where they fit.
constexpr const char* kStyle = R"(
@page { size: A4; margin: 14mm 12mm; }
body { font-family: "DejaVu Sans", Arial, Helvetica, sans-serif; font-size: 10.5pt;
       color: #222; margin: 0 auto; padding: 10px 16px; max-width: 1240px; }
h1 { font-size: 17pt; margin: 4px 0 6px; }
h2 { font-size: 13.5pt; border-bottom: 1px solid #999; margin: 18px 0 8px; break-after: avoid; }
h3 { font-size: 11.5pt; margin: 12px 0 4px; break-after: avoid; }
p { margin: 4px 0 8px; max-width: 60em; }
table { border-collapse: collapse; margin: 6px 0 12px; font-size: 9.5pt; }
caption { text-align: left; font-weight: bold; padding: 2px 0 4px; }
th, td { border: 1px solid #bbb; padding: 2px 7px; text-align: right; }
th { background: #eeeeee; }
td.text, th.text { text-align: left; }
tr { break-inside: avoid; }
pre { font-family: "DejaVu Sans Mono", "Courier New", monospace; font-size: 9pt;
      background: #f6f6f6; padding: 6px 8px; white-space: pre-wrap; word-break: break-all; }
.note { border-left: 4px solid #d62728; background: #fdf3f3; padding: 6px 10px; }
.plots { display: flex; flex-wrap: wrap; gap: 6px 12px; }
.plots svg { flex: 1 1 560px; max-width: 100%; height: auto; }
.location { break-inside: avoid; }
svg { max-width: 100%; height: auto; }
nav ol { margin: 4px 0 8px; }
@media print {
  body { max-width: none; padding: 0; font-size: 9.5pt; }
  a { color: inherit; text-decoration: none; }
  .plots svg { flex-basis: 100%; }
}
)";

}  // namespace

void HtmlPage::begin_section(const std::string& id, const std::string& heading) {
  contents_.emplace_back(id, heading);
  body_ += "<section id=\"" + id + "\">\n<h2>";
  append_escaped(&body_, heading);
  body_ += "</h2>\n";
}

void HtmlPage::end_section() { body_ += "</section>\n"; }

void HtmlPage::subheading(const std::string& text) {
  body_ += "<h3>";
  append_escaped(&body_, text);
  body_ += "</h3>\n";
}

void HtmlPage::paragraph(const std::string& text) {
  body_ += "<p>";
  append_escaped(&body_, text);
  body_ += "</p>\n";
}

void HtmlPage::note(const std::string& text) {
  body_ += "<p class=\"note\">";
  append_escaped(&body_, text);
  body_ += "</p>\n";
}

void HtmlPage::table(const HtmlTable& table) {
  auto cell = [&](const char* tag, size_t column, const std::string& text) {
    const bool is_text = std::find(table.text_columns.begin(), table.text_columns.end(),
                                   column) != table.text_columns.end();
    body_ += '<';
    body_ += tag;
    if (is_text) body_ += " class=\"text\"";
    body_ += '>';
    append_escaped(&body_, text);
    body_ += "</";
    body_ += tag;
    body_ += '>';
  };
  body_ += "<table>\n";
  if (!table.caption.empty()) {
    body_ += "<caption>";
    append_escaped(&body_, table.caption);
    body_ += "</caption>\n";
  }
  body_ += "<thead><tr>";
  for (size_t c = 0; c < table.header.size(); ++c) cell("th", c, table.header[c]);
  body_ += "</tr></thead>\n<tbody>\n";
  for (const auto& row : table.rows) {
    body_ += "<tr>";
    for (size_t c = 0; c < row.size(); ++c) cell("td", c, row[c]);
    body_ += "</tr>\n";
  }
  body_ += "</tbody>\n</table>\n";
}

void HtmlPage::raw(std::string_view markup) { body_ += markup; }

void HtmlPage::begin_block(const char* css_class) {
  body_ += "<div class=\"";
  body_ += css_class;
  body_ += "\">\n";
}

void HtmlPage::end_block() { body_ += "</div>\n"; }

std::string HtmlPage::finish() const {
  std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  append_escaped(&page, title_);
  page += "</title>\n<style>";
  page += kStyle;
  page += "</style>\n</head>\n<body>\n<h1>";
  append_escaped(&page, title_);
  page += "</h1>\n<nav><ol>\n";
  for (const auto& [id, heading] : contents_) {
    page += "<li><a href=\"#" + id + "\">";
    append_escaped(&page, heading);
    page += "</a></li>\n";
  }
  page += "</ol></nav>\n";
  page += body_;
  page += "</body>\n</html>\n";
  return page;
}

}  // namespace kit
