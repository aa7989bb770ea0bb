// Fitting a location's response curves and slope to simulated peak surges:
// weighted nonlinear least squares in metres, with the dimensionless distance
// taken from the model itself so that the fitted and the evaluated surges are
// the same function of the coefficients.
#ifndef SURGE_KIT_STUDIES_FIT_H_
#define SURGE_KIT_STUDIES_FIT_H_

#include <array>
#include <string>
#include <vector>

#include "kit/core/diagnostics.h"
#include "kit/files/simulations.h"
#include "model/site_table.h"

namespace kit {

// The three curves of a location, in the order of the parameter file.
enum class FitCurve { kLeft = 0, kTail = 1, kRight = 2 };
inline constexpr int kFitCurves = 3;
inline constexpr const char* kFitCurveNames[kFitCurves] = {"LEFT", "tail", "RIGHT"};
// Coefficients of each curve; the slope is the 22nd.
inline constexpr int kCurveCoefficients[kFitCurves] = {9, 3, 9};
inline constexpr int kCoefficients = surge::kParameterCount + 1;

// A curve is fitted only with at least this many rows per coefficient in its range.
inline constexpr int kRowsPerCoefficient = 2;
// Deterministic folds of the cross-validation: the location's n-th row (in
// file order) is held out in fold n mod kFolds.
inline constexpr int kFolds = 5;

struct FitSettings {
  int threads = 1;
  int max_iterations = 500;                // of each solver run
  const surge::SiteTable* base = nullptr;  // coefficients kept where the data cannot fit
  std::string source = "simulations";      // the input's name, for findings
};

// How well one location's fitted coefficients reproduce its rows, computed
// with the coefficients rounded to single precision through the model.
struct LocationFit {
  int location = 0;
  bool fitted = false;  // false: no rows, the base set's coefficients are kept
  int rows = 0;
  std::array<int, kFitCurves> curve_rows{};  // rows in each curve's range
  int rows_beyond = 0;                       // rows where no curve applies (slope only)
  std::array<bool, kFitCurves> curve_fitted{};
  double pressure_min = 0, pressure_max = 0, radius_min = 0, radius_max = 0;
  double x_min = 0, x_max = 0;
  double rms = 0, bias = 0, max_abs = 0, r2 = 0;  // metres (r2 none)
  double cv_rms = 0;                              // of the kFolds held-out predictions
  // The fitted response's jumps: LEFT(0) - RIGHT(0), tail(10) - LEFT(10), 0 - tail(25).
  double jump_0 = 0, jump_10 = 0, jump_25 = 0;
  // The error term sigma(s) = hypot(sigma_m, sigma_rel s) fitted to the
  // held-out residuals' squares against the predicted surge s.
  double sigma_m = 0, sigma_rel = 0;
  bool converged = false;
  int iterations = 0;
  double cost = 0;            // the best run's half sum of squared weighted residuals
  double solve_seconds = 0;   // CPU time of the runs from the starting points
  std::string solver_report;  // Ceres' one-line report of the best run
  // Standard errors of the coefficients (parameter-file order, then the
  // slope); NaN for coefficients that were not fitted.
  std::array<double, kCoefficients> std_error{};
  // The starting points the solver ran from, in its own terms: the 21 values
  // of a group with the tail's normaliser replaced by its factor f = 1 / norm,
  // then the slope.
  std::vector<std::array<double, kCoefficients>> starts;
};

struct FitResult {
  surge::SiteTable table{};          // the fitted set, single precision
  std::vector<LocationFit> locations;  // index 1 to 20 (0 unused)
  std::vector<Finding> findings;       // per location, line 0; errors mean no usable set
};

// Fits every location that has rows, spreading locations over the threads;
// the result does not depend on the thread count. Locations without rows, and
// curves with too few rows in their range, keep the base set's coefficients
// (zero amplitudes without a base), with a warning for each curve. Errors: a
// location without rows and no base set, a location with fewer rows than its
// coefficients, and a fit that does not converge.
FitResult fit_coefficients(const std::vector<SimulationRow>& rows, const FitSettings& settings);

// A curve's coefficients as the model evaluates them (single precision
// widened), for tests and the jumps: the LEFT or RIGHT three Gaussians, the tail.
double gaussian_curve(const float* coefficients, double x);
double tail_curve(const float* coefficients, double x);

}  // namespace kit

#endif  // SURGE_KIT_STUDIES_FIT_H_
