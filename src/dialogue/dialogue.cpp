// The case dialogue: every prompt, check and report line of the program.
#include "dialogue/dialogue.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "dialogue/formats.h"
#include "model/site_table.h"
#include "model/surge.h"
#include "platform/platform.h"
#include "recio/input.h"
#include "recio/output.h"
#include "recio/units.h"

namespace surge {
namespace {

using recio::OutputItem;

constexpr int32_t kOut = recio::kConsoleOutputUnit;
constexpr int32_t kIn = recio::kConsoleInputUnit;

// ---- Texts -----------------------------------------------------------------

constexpr std::string_view kBannerRule =
    "------------------------------------------------------------------------------";
constexpr std::string_view kReportRule =
    "-----------------------------------------------------------------------------";
static_assert(kBannerRule.size() == 78 && kReportRule.size() == 77);

// Banner rows 3 to 22; an empty view is an empty record.
constexpr std::string_view kBannerBody[] = {
    " PEAK STORM SURGE CALCULATOR for coastal bridges  Release 2026-12-07",
    "",
    " Authors : Lead surge modeller, surge.lead1@example.org",
    "           Coastal engineer, coastal.engineer1@example.org",
    "           Programmer, programmer.01@example.org",
    "",
    " This program is based on an earlier program (model author's, 2008) written in",
    " a numeric computing tool that computes dimensionless surge response functions",
    "",
    " Method: research team (2009), coastal engineering journal.",
    "",
    " Provided for the state's transportation agency and the regional coastal",
    " agency, as a means of evaluating hurricane peak surge heights",
    " at the twenty coastal bridge locations of the state, from fitted curve sets.",
    "",
    " Use is restricted to those authorised by the two agencies named above or by",
    " the authors' research team at their university, who answers for its results.",
    "",
    " For use of the program contact the project lead,    project.lead@example.org",
    " Report problems and questions to the maintainer,      maintainer@example.org",
};
constexpr size_t kBannerBodyLengths[] = {68, 0,  55, 58, 48, 0,  78, 78, 0,  59,
                                         0,  72, 62, 77, 0,  76, 77, 0,  77, 77};
constexpr bool banner_lengths_match() {
  for (size_t i = 0; i < std::size(kBannerBody); ++i) {
    if (kBannerBody[i].size() != kBannerBodyLengths[i]) return false;
  }
  return std::size(kBannerBody) == std::size(kBannerBodyLengths);
}
static_assert(banner_lengths_match());

constexpr std::string_view kLocationPrompt[] = {
    "Enter location number near the bridge of interest",
    "(integer only, between 1 and 20)",
    "[refer to Quillon_Site_Grid.pdf for bridge locations and numbers] ",
};
constexpr std::string_view kLocationWarning =
    "Warning!! Bridge No. has to be 1 or 2-digit integer.";
constexpr std::string_view kDistanceWarning1 = "Warning!! For bridge No.";
constexpr std::string_view kDistanceWarning2 = ", surges due to hurricanes making ";
constexpr std::string_view kDistanceWarning3 =
    "landfall to the left side of the bridge locations are evaluated.";
constexpr std::string_view kNote[] = {
    "Note!! A peak surge level evaluated through this program ONLY takes the effect",
    "of hurricane meteorological forcing into account.",
    "It does NOT include the effect of other forcing factors ",
    "such as wave setup, astronomical tides, and wave runup.",
};
constexpr std::string_view kAnotherCase = "Run another case? [Y=1 or N=0]";
constexpr std::string_view kEndOfProgram = "End of program.";

// ---- State -------------------------------------------------------------------

// The answers keep their values from case to case: a null answer leaves the
// previous case's value in place.
CaseInput g_case;
int32_t g_another = 0;
// The label shown in the report; a case whose distance is not a number keeps
// the previous case's label, and blanks before any case has set one.
char g_side[5] = {' ', ' ', ' ', ' ', ' '};

// ---- Statements ----------------------------------------------------------------

// A free-form record of one text; an empty text gives the record of a
// statement without items, which holds one blank.
void write_line(std::string_view text) { recio::output_text_record(kOut, text); }

template <size_t N>
void write_format(const std::array<uint32_t, N>& program) {
  recio::begin_output(kOut, program);
  recio::finish_output();
}

void read_answer(int16_t* value) {
  recio::begin_input(kIn);
  recio::input_item(recio::ItemKind::kInt16, value, true);
}
void read_answer(int32_t* value) {
  recio::begin_input(kIn);
  recio::input_item(recio::ItemKind::kInt32, value, true);
}
void read_answer(double* value) {
  recio::begin_input(kIn);
  recio::input_item(recio::ItemKind::kReal64, value, true);
}

// ---- Dialogue ------------------------------------------------------------------

// Runs of output statements hold the console output unit across them.
void write_banner() {
  recio::UnitHold hold(kOut);
  write_line(kBannerRule);
  write_line("");
  for (std::string_view row : kBannerBody) write_line(row);
  write_line("");
  write_line(kBannerRule);
}

void ask_location() {
  for (;;) {
    {
      recio::UnitHold hold(kOut);
      for (std::string_view line : kLocationPrompt) write_line(line);
    }
    read_answer(&g_case.location);
    if (g_case.location <= 20 && g_case.location >= 1) return;
    write_line(kLocationWarning);
  }
}

void ask_distance() {
  write_format(kDistancePrompt);
  read_answer(&g_case.distance_km);
  // Locations 18 to 20 only take landfalls right of the bridge. A NaN passes.
  while (g_case.location >= 18 && g_case.distance_km <= 0) {
    recio::begin_output(kOut);
    recio::output_item(OutputItem::text_item(kDistanceWarning1));
    recio::output_item(OutputItem::int16(g_case.location));
    recio::output_item(OutputItem::text_item(kDistanceWarning2, true));
    write_line(kDistanceWarning3);
    write_format(kDistanceReprompt);
    read_answer(&g_case.distance_km);
  }
}

// The whole kilometres of the report: |distance| truncated, or the most
// negative integer when that does not fit (or is not a number).
int32_t whole_kilometres(double distance_km) {
  double magnitude = std::fabs(distance_km);
  if (!(magnitude < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(magnitude);
}

void write_report(const CaseResult& result) {
  recio::UnitHold hold(kOut);
  recio::begin_output(kOut, kReportSurge);
  recio::output_item(OutputItem::real64(result.surge_m, true));
  write_line("");
  write_line(kReportRule);
  write_line("");
  recio::begin_output(kOut, kReportLocation);
  recio::output_item(OutputItem::int16(g_case.location, true));
  recio::begin_output(kOut, kReportStorm);
  recio::output_item(OutputItem::int32(g_case.pressure_mb));
  recio::output_item(OutputItem::int32(g_case.radius_km, true));
  recio::begin_output(kOut, kReportLandfall);
  recio::output_item(OutputItem::int32(whole_kilometres(g_case.distance_km)));
  recio::output_item(OutputItem::text_item(std::string_view(g_side, sizeof g_side)));
  recio::output_item(OutputItem::int16(g_case.location));
  recio::output_item(OutputItem::real64(result.surge_m, true));
  write_line("");
  write_line(kBannerRule);
  write_line("");
  for (std::string_view line : kNote) write_line(line);
  write_line("");
  write_line("");
  write_line(kAnotherCase);
}

void run_case() {
  ask_location();
  write_format(kPressurePrompt);
  read_answer(&g_case.pressure_mb);
  write_format(kRadiusPrompt);
  read_answer(&g_case.radius_km);
  ask_distance();
  load_site_tables();
  CaseResult result = evaluate_surge(g_case, site_table());
  if (!result.side.empty()) result.side.copy(g_side, sizeof g_side);
  write_report(result);
}

}  // namespace

void reset_dialogue_for_test() {
  g_case = CaseInput{};
  g_another = 0;
  std::memset(g_side, ' ', sizeof g_side);
}

void run_dialogue() {
  platform::enable_flush_to_zero();
  write_banner();
  for (;;) {
    run_case();
    read_answer(&g_another);
    if (g_another != 1) break;
    recio::close_unit(1);
    recio::close_unit(2);
  }
  if (g_another == 0) write_line(kEndOfProgram);
  recio::stop_program();
}

}  // namespace surge
