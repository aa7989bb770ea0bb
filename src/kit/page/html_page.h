// A self-contained HTML page built section by section: escaped text, tables,
// inline SVG, one style sheet for screen and A4 print, nothing fetched.
#ifndef SURGE_KIT_PAGE_HTML_PAGE_H_
#define SURGE_KIT_PAGE_HTML_PAGE_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kit {

// One table: header cells, then rows of cells; columns whose index is in
// `text_columns` are left-aligned, the rest (numbers) right-aligned.
struct HtmlTable {
  std::string caption;
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  std::vector<size_t> text_columns;
};

class HtmlPage {
 public:
  explicit HtmlPage(std::string title) : title_(std::move(title)) {}

  // Sections appear in the order begun, each listed in the contents at the
  // top; `id` is the section's link anchor (letters, digits and '-').
  void begin_section(const std::string& id, const std::string& heading);
  void end_section();

  void subheading(const std::string& text);
  void paragraph(const std::string& text);
  // A paragraph set apart as a caution.
  void note(const std::string& text);
  void table(const HtmlTable& table);
  // Markup made elsewhere (an SVG element); `css_class` wraps it in a div.
  void raw(std::string_view markup);
  void begin_block(const char* css_class);
  void end_block();

  // The whole document.
  std::string finish() const;

 private:
  std::string title_;
  std::string body_;
  std::vector<std::pair<std::string, std::string>> contents_;  // id, heading
};

}  // namespace kit

#endif  // SURGE_KIT_PAGE_HTML_PAGE_H_
