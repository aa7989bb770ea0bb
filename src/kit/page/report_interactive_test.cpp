#include "kit/page/report_interactive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/page/web_assets.h"

namespace kit {
namespace {

// The JSON's columns, each a list of its quoted values.
std::vector<std::vector<std::string>> columns_of(const std::string& json) {
  std::vector<std::vector<std::string>> columns;
  size_t at = 1;  // after the outer '['
  while (at < json.size() && json[at] == '[') {
    const size_t close = json.find(']', at);
    std::vector<std::string> values;
    for (size_t v = at + 1; v < close; v += 11) values.push_back(json.substr(v, 10));
    columns.push_back(values);
    at = close + 2;  // past "]," or "]]"
  }
  return columns;
}

TEST(TableBitsJson, ColumnsInFileOrderThenSlopeAsFloatBits) {
  surge::SiteTable table{};
  table.left_amp1[1] = 1.0f;        // first column, first location
  table.left_centre1[2] = -0.0f;    // the sign of a zero is kept
  table.tail_norm[7] = 1e-45f;      // a subnormal keeps its bits
  table.right_width3[20] = 0.834f;  // last parameter column
  table.slope[20] = -2.5f;          // the slope comes last
  const std::string json = table_bits_json(table);
  EXPECT_EQ(json.rfind("[[\"3f800000\",\"00000000\"", 0), 0u);
  EXPECT_EQ(json.substr(json.size() - 13), ",\"c0200000\"]]");
  const auto columns = columns_of(json);
  ASSERT_EQ(columns.size(), 22u);
  for (const auto& column : columns) ASSERT_EQ(column.size(), 20u);
  EXPECT_EQ(columns[0][0], "\"3f800000\"");
  EXPECT_EQ(columns[1][1], "\"80000000\"");
  EXPECT_EQ(columns[1][0], "\"00000000\"");
  EXPECT_EQ(columns[9][6], "\"00000001\"");
  EXPECT_EQ(columns[9][5], "\"00000000\"");
  EXPECT_EQ(columns[20][19], "\"3f558106\"");
  EXPECT_EQ(columns[21][19], "\"c0200000\"");
  EXPECT_EQ(columns[21][18], "\"00000000\"");
}

// A stand-in for the model's script, so that the section is written the same
// way in a build without emscripten.
constexpr const char* kModelStandIn = "var createSurgeModel = function () {};";

// The section of one input, written into a page of its own.
std::string section_of(InteractiveInput input, const surge::SiteTable& table) {
  input.table = &table;
  HtmlPage page("t");
  add_interactive_section(input, &page);
  return page.finish();
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(InteractiveSection, EmbedsTheDataWithoutEndingItsScript) {
  surge::SiteTable table{};
  std::vector<Site> sites(2);
  sites[0] = {1, "Bridge </script><b>", 25, true, 4.5};
  sites[1] = {2, "Quote \" and \\", 52.25, false, 0};
  InteractiveInput input;
  input.locations = {1, 2};
  input.sites = &sites;
  input.model_script = kModelStandIn;
  const std::string html = section_of(input, table);
  // The data, the model and the section's own script, in that order.
  EXPECT_EQ(count(html, "<script"), 3u);
  const size_t model = html.find(std::string("<script>\n") + kModelStandIn + "\n</script>");
  ASSERT_NE(model, std::string::npos);
  EXPECT_LT(html.find("id=\"sk-data\""), model);
  EXPECT_EQ(html.find(std::string(web_page_script()), model), html.find("</script>", model) + 19);
  const size_t data = html.find("<script type=\"application/json\" id=\"sk-data\">");
  ASSERT_NE(data, std::string::npos);
  const size_t end = html.find("</script>", data);
  const std::string json = html.substr(data, end - data);
  EXPECT_NE(json.find("\"name\":\"Bridge \\u003c/script\\u003e\\u003cb\\u003e\""), std::string::npos)
      << json;
  EXPECT_NE(json.find("\"name\":\"Quote \\\" and \\\\\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"alongshore_km\":52.25,\"low_chord_m\":null"), std::string::npos);
  EXPECT_NE(json.find("\"alongshore_km\":25,\"low_chord_m\":4.5"), std::string::npos);
  EXPECT_NE(json.find("\"limits\":{\"fitted_pressure\":[890,960],\"fitted_radius\":[11,65],"
                      "\"no_deficit_pressure\":1013,\"first_location\":1,\"last_location\":20,"
                      "\"first_west_only_location\":18}"),
            std::string::npos)
      << json;
  // The landfall slider spans 100 km beyond the first and last bridges.
  EXPECT_NE(html.find("id=\"sk-landfall-range\" min=\"-75\" max=\"153\" step=\"0.5\""),
            std::string::npos);
  EXPECT_EQ(html.find("id=\"sk-distance"), std::string::npos);
  EXPECT_EQ(html.find("<script src"), std::string::npos);
}

TEST(InteractiveSection, WithoutSitesOffersTheDistanceAndSaysWhy) {
  surge::SiteTable table{};
  InteractiveInput input;
  input.locations = {3, 18};
  input.sites_note = "No sites here.";
  input.model_script = kModelStandIn;
  const std::string html = section_of(input, table);
  EXPECT_NE(html.find("No sites here."), std::string::npos);
  EXPECT_NE(html.find("\"sites\":null"), std::string::npos);
  EXPECT_NE(html.find("id=\"sk-distance-range\" min=\"-300\" max=\"300\""), std::string::npos);
  EXPECT_NE(html.find("<option value=\"3\">3</option><option value=\"18\">18</option>"),
            std::string::npos);
  EXPECT_EQ(html.find("id=\"sk-landfall"), std::string::npos);
}

// Without the model's script the section says why and holds no script, no
// data and no controls, whatever else it is given.
TEST(InteractiveSection, WithoutTheModelSaysWhyAndHoldsNoScript) {
  surge::SiteTable table{};
  std::vector<Site> sites(1);
  sites[0] = {1, "Bridge", 25, true, 4.5};
  const struct {
    const char* reason;
    const std::vector<Site>* sites;
  } rows[] = {
      {"left out by --no-interactive", &sites},
      {"this surgekit was built without emscripten (em++)", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.reason);
    InteractiveInput input;
    input.locations = {1};
    input.sites = row.sites;
    input.sites_note = "No sites here.";
    input.missing_reason = row.reason;
    const std::string html = section_of(input, table);
    const std::string section = html.substr(html.find("<section id=\"interactive\">"));
    EXPECT_EQ(section.substr(0, section.find("</section>") + 11),
              "<section id=\"interactive\">\n<h2>Interactive surge</h2>\n"
              "<p class=\"note\">No interactive section: " + std::string(row.reason) +
                  ".</p>\n</section>\n");
    EXPECT_EQ(count(html, "<script"), 0u);
  }
}

// The build's own assets: the model's script, or the reason it is missing.
TEST(InteractiveSection, BuildHasTheModelOrSaysWhyNot) {
  EXPECT_NE(web_model_script().empty(), web_model_missing_reason().empty());
  EXPECT_FALSE(web_page_script().empty());
}

}  // namespace
}  // namespace kit
