// The report's hazard section: return-period surge at each bridge from a storm
// set, with each bridge's annual exceedance probability on a log axis.
#ifndef SURGE_KIT_PAGE_REPORT_HAZARD_H_
#define SURGE_KIT_PAGE_REPORT_HAZARD_H_

#include <string>
#include <vector>

#include "kit/studies/hazard_curve.h"
#include "kit/page/html_page.h"
#include "kit/files/sites.h"
#include "kit/files/storms.h"
#include "model/site_table.h"

namespace kit {

struct HazardReport {
  std::string storms_path;
  HazardSpec setup;
  size_t storm_count = 0;
  uint64_t outside_fit = 0;
  std::vector<Site> sites;
  std::vector<BridgeHazard> results;  // one per site, with curves
  std::string coast_warning;  // the coast range's cut into the bridges' fitted reach, or empty
};

// The section: method, return-level table and one AEP plot per bridge, for the
// bridges at `locations`.
void add_hazard_section(const HazardReport& report, const std::vector<int>& locations,
                        HtmlPage* page);

}  // namespace kit

#endif  // SURGE_KIT_PAGE_REPORT_HAZARD_H_
