// The calculator's report row for the surge, shared with the companion program
// so that both print a surge the same way.
#ifndef SURGE_MODEL_REPORT_FORMAT_H_
#define SURGE_MODEL_REPORT_FORMAT_H_

#include "recio/format_program.h"

namespace surge {

// Report row 1: the surge (Real64).
inline constexpr auto kReportSurge =
    recio::make_format_program<recio::Lit<"A peak surge= ">, recio::F<4, 1>, recio::Lit<" m">>();

}  // namespace surge

#endif  // SURGE_MODEL_REPORT_FORMAT_H_
