// The report's hazard section: return-period surge at each bridge from a storm
// set, with each bridge's annual exceedance probability on a log axis.
#ifndef SURGE_KIT_REPORT_HAZARD_H_
#define SURGE_KIT_REPORT_HAZARD_H_

#include <string>
#include <vector>

#include "kit/hazard_curve.h"
#include "kit/html_page.h"
#include "kit/sites.h"
#include "kit/storms.h"
#include "model/site_table.h"

namespace kit {

struct HazardReport {
  std::string storms_path;
  HazardSpec setup;
  size_t storm_count = 0;
  uint64_t outside_fit = 0;
  std::vector<Site> sites;
  std::vector<BridgeHazard> results;  // one per site, with curves
};

// Reads the sites of `data_dir` and the storm set, and computes the return
// levels and curves. `coast` may be empty when the storms have landfalls.
// False, with the faults on stderr, on bad input.
bool compute_hazard_report(const std::string& storms_path, const std::string& coast,
                           double step_km, const std::string& data_dir,
                           const surge::SiteTable& table, HazardReport* report);

// The section: method, return-level table and one AEP plot per bridge, for the
// bridges at `locations`.
void add_hazard_section(const HazardReport& report, const std::vector<int>& locations,
                        HtmlPage* page);

}  // namespace kit

#endif  // SURGE_KIT_REPORT_HAZARD_H_
