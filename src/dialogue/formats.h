// The dialogue's eight format programs: the prompts for pressure, radius and
// distance, and the formatted rows of the report.
#ifndef SURGE_DIALOGUE_FORMATS_H_
#define SURGE_DIALOGUE_FORMATS_H_

#include "model/report_format.h"
#include "recio/format_program.h"

namespace surge {

// Prompts: an empty line, then one line per text. No items.
inline constexpr auto kPressurePrompt = recio::make_format_program<
    recio::Slash, recio::Lit<"Enter expected lowest central pressure of the hurricane in [mb]">,
    recio::Slash, recio::Lit<"(integer only, between 890 and 960 mb)">>();
inline constexpr auto kRadiusPrompt = recio::make_format_program<
    recio::Slash, recio::Lit<"Enter hurricane radius [center to the maximum wind speed] in [km] ">,
    recio::Slash, recio::Lit<"(integer only, between 11 and 65 km)">>();
inline constexpr auto kDistancePrompt = recio::make_format_program<
    recio::Slash,
    recio::Lit<"Enter distance between hurricane landfall and location of the bridge in [km]">,
    recio::Slash,
    recio::Lit<"(+) for bridge located on the right (east) side of the hurricane landfall">,
    recio::Slash,
    recio::Lit<"(-) for bridge located on the left (west) side of the hurricane landfall">>();
// The distance asked again at locations 18 to 20: no line for negative distances.
inline constexpr auto kDistanceReprompt = recio::make_format_program<
    recio::Slash,
    recio::Lit<"Enter distance between hurricane landfall and location of the bridge in [km]">,
    recio::Slash,
    recio::Lit<"(+) for bridge located on the right (east) side of the hurricane landfall">>();

// Report row 1, the surge, is kReportSurge in model/report_format.h.
// Report row 5: the location (Int16); two records.
inline constexpr auto kReportLocation =
    recio::make_format_program<recio::Lit<"Evaluated at a location of bridge No.">, recio::I,
                               recio::Slash,
                               recio::Lit<"A peak surge level forced by a hurricane">>();
// Report row 6: pressure and radius (Int32, Int32); two records.
inline constexpr auto kReportStorm =
    recio::make_format_program<recio::Lit<"with the lowest central intensity (Cp):">, recio::I,
                               recio::Lit<"mb, ">, recio::Slash, recio::Lit<"Radius (Rp):">,
                               recio::I, recio::Lit<"km, and">>();
// Report row 7: whole kilometres (Int32), side label (Text of 5), location
// (Int16), surge (Real64).
inline constexpr auto kReportLandfall =
    recio::make_format_program<recio::Lit<"making landfall ">, recio::Iw<3>,
                               recio::Lit<"km away to the ">, recio::A,
                               recio::Lit<" side of a bridge location No.">, recio::I,
                               recio::Lit<" is">, recio::F<4, 1>, recio::Lit<" m">>();

static_assert(recio::is_valid_format_program(kPressurePrompt) &&
              recio::is_valid_format_program(kRadiusPrompt) &&
              recio::is_valid_format_program(kDistancePrompt) &&
              recio::is_valid_format_program(kDistanceReprompt) &&
              recio::is_valid_format_program(kReportSurge) &&
              recio::is_valid_format_program(kReportLocation) &&
              recio::is_valid_format_program(kReportStorm) &&
              recio::is_valid_format_program(kReportLandfall));
// The statements supply exactly these numbers of items.
static_assert(recio::count_items(kPressurePrompt) == 0 && recio::count_items(kRadiusPrompt) == 0 &&
              recio::count_items(kDistancePrompt) == 0 &&
              recio::count_items(kDistanceReprompt) == 0 && recio::count_items(kReportSurge) == 1 &&
              recio::count_items(kReportLocation) == 1 && recio::count_items(kReportStorm) == 2 &&
              recio::count_items(kReportLandfall) == 4);
// Report row 1 is the 48-byte program: 12 words.
static_assert(sizeof kReportSurge == 48);

}  // namespace surge

#endif  // SURGE_DIALOGUE_FORMATS_H_
