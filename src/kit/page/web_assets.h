// The scripts of the report's interactive section, compiled in at build time
// so that the page is written whole with nothing to fetch.
#ifndef SURGE_KIT_PAGE_WEB_ASSETS_H_
#define SURGE_KIT_PAGE_WEB_ASSETS_H_

#include <string_view>

namespace kit {

// The model built to WebAssembly, as one script defining createSurgeModel();
// empty when this build has no WebAssembly compiler.
std::string_view web_model_script();

// Why web_model_script() is empty (empty when it is not).
std::string_view web_model_missing_reason();

// The interactive section's own script: controls, plots and the values table.
std::string_view web_page_script();

}  // namespace kit

#endif  // SURGE_KIT_PAGE_WEB_ASSETS_H_
