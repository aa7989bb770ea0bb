// The report's location section: its text, with the model's constants
// written as before they were taken from model/surge.h and the limits
// header, and one block per location it is given, in that order.
#include "kit/page/report_sections.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/coefficients/coefficients.h"
#include "kit/core/fp_environment.h"

namespace kit {
namespace {

// The section's first paragraph at a plot radius, whole.
std::string location_text(const std::string& radius) {
  return "<p>Left: the fitted response over the dimensionless distance X = d/R - 0.834, on the "
         "RIGHT (-6 &lt; X &lt;= 0), LEFT (0 &lt; X &lt;= 10) and tail (10 &lt; X &lt;= 25) "
         "ranges; the inset draws the tail again at a scale of its own. Right: the surge along "
         "landfall distance d at radius " +
         radius +
         " km for a few central pressures. The "
         "distance is the bridge's from the landfall, positive when the bridge lies east of it "
         "(the landfall to its LEFT). The curves are centred 0.834 radii east of the landfall, "
         "near the strongest winds, so the RIGHT curve reaches to d = 0.834 R, east of the "
         "landfall. Each plot covers the distances where the response is at least 1 % of its "
         "largest; beyond them the surge is the slope term alone. At locations 18 to 20 the "
         "calculator refuses a distance of 0 or less: that stretch is shaded and no surge is "
         "drawn over it.</p>\n";
}

TEST(LocationSections, TextNamesTheRangesAndTheWestOnlyLocations) {
  const struct {
    double radius_km;
    std::string text;
  } rows[] = {{30, "30"}, {12.5, "12.5"}, {65, "65"}};
  for (const auto& r : rows) {
    ReportInput input;
    input.plot_radius_km = r.radius_km;
    HtmlPage page("t");
    add_location_sections(input, &page);
    const std::string html = page.finish();
    EXPECT_NE(html.find(location_text(r.text)), std::string::npos) << html;
  }
}

// The section lays out the samples it is given, whatever locations the
// rest of the report covers.
TEST(LocationSections, OneBlockPerSampledLocationInOrder) {
  use_model_fp_environment();
  CoefficientSet set;
  std::vector<Finding> errors;
  ASSERT_TRUE(load_coefficients(KIT_EXAMPLES_DIR, &set, &errors));
  ReportInput input;
  input.locations = {1, 2, 3};
  for (int location : {19, 3}) {
    input.location_samples.push_back(sample_location(set.table, location, 30, {900, 960}));
  }
  HtmlPage page("t");
  add_location_sections(input, &page);
  const std::string html = page.finish();
  const size_t first = html.find("<h3>Location 19</h3>");
  const size_t second = html.find("<h3>Location 3</h3>");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_EQ(html.find("<h3>Location 1</h3>"), std::string::npos);
  EXPECT_EQ(html.find("<h3>Location 2</h3>"), std::string::npos);
  EXPECT_NE(html.find("Response curves, location 19"), std::string::npos);
  EXPECT_NE(html.find("900 mb"), std::string::npos);
  EXPECT_NE(html.find("960 mb"), std::string::npos);
}

}  // namespace
}  // namespace kit
