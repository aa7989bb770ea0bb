// The report's interactive section: the model, built to WebAssembly, runs in
// the page on the coefficient set surgekit loaded and checked, with controls
// for pressure, radius and landfall, bars along the coast, the selected
// location's curve and a table of values.
#ifndef SURGE_KIT_PAGE_REPORT_INTERACTIVE_H_
#define SURGE_KIT_PAGE_REPORT_INTERACTIVE_H_

#include <string>
#include <string_view>
#include <vector>

#include "kit/files/sites.h"
#include "kit/page/html_page.h"
#include "model/site_table.h"

namespace kit {

struct InteractiveInput {
  const surge::SiteTable* table = nullptr;  // the checked set's table
  std::vector<int> locations;               // offered for the curve
  const std::vector<Site>* sites = nullptr; // the bridges, when sites.csv was read
  std::string sites_note;                   // why there are no sites, when there are none
  // The model built to WebAssembly (web_model_script() or a stand-in);
  // empty for a page without the interactive section, `missing_reason`
  // saying why.
  std::string_view model_script;
  std::string missing_reason;
};

// The table's values as single-precision bit patterns in hex ("3f800000"),
// column by column (the 21 parameter columns in the file's order, then the
// slope), each column's 20 locations in order, as a JSON array of arrays.
std::string table_bits_json(const surge::SiteTable& table);

// The section. With an empty model script it holds only a note saying why,
// and no script at all.
void add_interactive_section(const InteractiveInput& input, HtmlPage* page);

}  // namespace kit

#endif  // SURGE_KIT_PAGE_REPORT_INTERACTIVE_H_
