// The surge response: from one case's answers and the site table to the peak surge.
#ifndef SURGE_MODEL_SURGE_H_
#define SURGE_MODEL_SURGE_H_

#include <cstdint>
#include <span>
#include <string_view>

#include "model/site_table.h"

namespace surge {

// The answers of one case. Distance is positive when the bridge lies right
// (east) of the landfall.
struct CaseInput {
  int16_t location = 0;  // 1 to 20
  int32_t pressure_mb = 0;
  int32_t radius_km = 0;
  double distance_km = 0;
};

inline constexpr std::string_view kLeftLabel = "LEFT ";
inline constexpr std::string_view kRightLabel = "RIGHT";

// A case with real pressure and radius, for sampling storms. With integral
// values it gives exactly what the CaseInput with those integers gives.
struct StormCase {
  int location = 0;  // 1 to 20
  double pressure_mb = 0;
  double radius_km = 0;
  double distance_km = 0;
};

// The dimensionless distance X = (distance - a R) / R, with the origin a
// fitted in single precision and widened exactly.
inline constexpr double kDistanceOrigin = static_cast<double>(0.834f);

// The ranges of X each curve was fitted over: RIGHT on (kRightFrom, 0], LEFT
// on (0, kLeftTo], the tail on (kLeftTo, kTailTo]. Beyond them the response is 0.
inline constexpr double kRightFrom = -6;
inline constexpr double kLeftTo = 10;
inline constexpr double kTailTo = 25;

// Which fitted curve the dimensionless distance falls on.
enum class Curve : uint8_t {
  kNone,   // beyond the fitted ranges (X <= -6 or X > 25), or X is NaN
  kLeft,   // LEFT Gaussians, 0 < X <= 10
  kTail,   // double-exponential tail, 10 < X <= 25
  kRight,  // RIGHT Gaussians, -6 < X <= 0
};

struct CaseResult {
  double surge_m = 0;       // peak surge in metres
  std::string_view side;    // kLeftLabel, kRightLabel, or empty when the
                            // dimensionless distance is not a number
  double response = 0;      // the curve's value at the dimensionless distance
  double x = 0;             // the dimensionless distance, after the small-radius shift
  Curve curve = Curve::kNone;
};

// The part of a case that the pressure does not change: it depends on the
// location, the radius and the distance alone, so one response serves every
// pressure of a storm grid.
struct Response {
  double x = 0;            // the dimensionless distance, after the small-radius shift
  double response = 0;     // the curve's value at x
  std::string_view side;   // as CaseResult::side
  Curve curve = Curve::kNone;
};

// X, side, curve and response for row `location` (1 to 20) of the table.
Response evaluate_response(int location, double radius_km, double distance_km,
                           const SiteTable& table);

// The responses of many cases at row `location`: response[j] and curve[j]
// are exactly those of evaluate_response(location, radius_km[j],
// distance_km[j], table). The four spans have one size. Quicker per case
// than evaluate_response, for studies that evaluate millions.
void evaluate_responses(int location, std::span<const double> radius_km,
                        std::span<const double> distance_km, const SiteTable& table,
                        std::span<double> response, std::span<Curve> curve);

// The pressure's part, 0.5 h^2, with h the pressure deficit as a head of water.
double pressure_factor(double pressure_mb);

// The surge from the two parts: factor * (slope + response), in that order.
// evaluate_surge computes it through this very function, so a caller that
// reuses a response for many pressures gets the same bits as evaluate_surge.
inline double surge_from(double factor, double response, float slope) {
  const double n = static_cast<double>(slope) + response;
  return factor * n;
}

// Evaluates the surge for the case from the table's row `input.location`
// (1 to 20). Pure: no I/O, no state. Infinities and NaNs flow through as IEEE
// arithmetic gives them; nothing is range-checked. The caller sets the
// floating-point environment (flush-to-zero) for its thread.
CaseResult evaluate_surge(const StormCase& input, const SiteTable& table);

// The calculator's case: the integers widen exactly, so this is the StormCase
// evaluation bit for bit.
CaseResult evaluate_surge(const CaseInput& input, const SiteTable& table);

}  // namespace surge

#endif  // SURGE_MODEL_SURGE_H_
