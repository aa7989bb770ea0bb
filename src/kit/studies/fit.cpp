// The coefficient fit: per location, candidate curves from the surge divided
// by the pressure head's 0.5 h^2 (a problem in X alone), refined curve by
// curve; joint Ceres runs from the best of them, the lowest cost kept; then
// the statistics of the rounded set, cross-validation and standard errors.
#include "kit/studies/fit.h"

#include <ceres/ceres.h>
#include <glog/logging.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>

#include "kit/core/number.h"
#include "kit/studies/model_errors.h"
#include "kit/studies/parallel.h"
#include "model/surge.h"
#include "platform/platform.h"

namespace kit {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kCurveBeyond = kFitCurves;  // rows where no curve applies
// Where each curve's coefficients start in a parameter-file group.
constexpr int kCurveOffset[kFitCurves] = {0, 9, 12};
constexpr int kSlopeIndex = surge::kParameterCount;

// Candidates per curve refined by the solver on the curve's own rows, the
// starting points kept per curve (the best after that), and the random
// candidates tried for the Gaussians beside the peeled ones.
constexpr int kCandidatesRefined = 8;
constexpr int kRefineIterations = 100;  // enough to rank them
constexpr int kStartsKept = 3;
constexpr int kRandomCandidates = 24;
// Bounds: widths and the tail scale keep their sign and stay clear of zero
// (the curves vary over radii, not tenths of one); Gaussian centres stay
// within a radius of their rows' X, and the tail's centre within a few radii
// of its rows, where its factor is determined.
constexpr double kMinWidth = 0.25, kMaxWidth = 100;
constexpr double kMinScale = 0.5, kMaxScale = 100;
constexpr double kTailCentreBefore = 5;
constexpr double kCentreMargin = 1;
// Each Gaussian's amplitude, and the tail's largest value, stay within this
// many times the largest |surge / (0.5 h^2)| of the location's rows: the
// response never needs more, and without a bound two narrow Gaussians of
// opposite sign can cancel on the rows and spike between them.
constexpr double kAmplitudeFactor = 2;
constexpr double kE = 2.718281828459045;
constexpr double kTailFlatBeyond = 40;
// A tail start whose factor passes this fits its rows with a curve that peaks
// far outside them: left out.
constexpr double kMaxTailFactor = 1e6;

// The curves in the model's form: three Gaussians g = (a, c, w) x 3 summed as
// (a1 g1 + a2 g2) + a3 g3, and the tail f t exp(-t), t = exp((X - C) / S).
template <typename T>
T gaussians(const T* g, double x) {
  using std::exp;
  const T d1 = (x - g[1]) / g[2];
  const T d2 = (x - g[4]) / g[5];
  const T d3 = (x - g[7]) / g[8];
  return (g[0] * exp(0.0 - d1 * d1) + g[3] * exp(0.0 - d2 * d2)) + g[6] * exp(0.0 - d3 * d3);
}
// The tail as f exp(z - exp(z)), z = (X - C) / S: the same value, without the
// inf * 0 of t exp(-t) when t overflows. Beyond z = 40 the curve is below
// exp(-2e17), zero in double, and flat: z is held there, so that derivatives
// stay finite.
template <typename T>
T tail(const T* q, double x) {
  using std::exp;
  T z = (x - q[1]) / q[2];
  if (z > T(kTailFlatBeyond)) z = T(kTailFlatBeyond);
  return q[0] * exp(z - exp(z));
}

// One row as the fit sees it: X and 0.5 h^2 are fixed by the storm alone.
struct Point {
  double x = 0, head = 0, surge = 0, root_weight = 1;
  int curve = kCurveBeyond;
  size_t row = 0;  // index into the location's rows
};

// The solver's unknowns: the slope and each curve's coefficients (the tail as
// factor f = 1 / norm, centre, scale).
struct Params {
  double slope = 0;
  std::array<std::array<double, 9>, kFitCurves> curve{};
};

double response(const Params& p, int curve, double x) {
  if (curve == kCurveBeyond) return 0;
  return curve == static_cast<int>(FitCurve::kTail) ? tail(p.curve[curve].data(), x)
                                                    : gaussians(p.curve[curve].data(), x);
}

template <int N>
struct CurveCost {
  const std::vector<Point>* points;
  bool is_tail;
  template <typename T>
  bool operator()(const T* slope, const T* c, T* residual) const {
    for (size_t i = 0; i < points->size(); ++i) {
      const Point& p = (*points)[i];
      const T r = is_tail ? tail(c, p.x) : gaussians(c, p.x);
      residual[i] = p.root_weight * (p.surge - p.head * (slope[0] + r));
    }
    return true;
  }
};

// Rows on curves that are not fitted: their response is fixed, the slope is not.
struct SlopeCost {
  std::vector<Point> points;
  std::vector<double> fixed_response;
  template <typename T>
  bool operator()(const T* slope, T* residual) const {
    for (size_t i = 0; i < points.size(); ++i) {
      const Point& p = points[i];
      residual[i] = p.root_weight * (p.surge - p.head * (slope[0] + fixed_response[i]));
    }
    return true;
  }
};

// One location's data for the solver.
struct LocationData {
  std::array<std::vector<Point>, kFitCurves + 1> points;  // by curve, then beyond
  std::array<bool, kFitCurves> fitted{};
  std::array<double, kFitCurves> lo{}, hi{};  // X range of each curve's rows
  Params fixed;                               // the coefficients of curves not fitted
  double amplitude_bound = std::numeric_limits<double>::infinity();
};

struct Outcome {
  Params params;
  double cost = std::numeric_limits<double>::infinity();
  bool converged = false;
  int iterations = 0;
  std::string report;
};

void set_bounds(ceres::Problem* problem, const LocationData& data, Params* p) {
  for (int c = 0; c < kFitCurves; ++c) {
    if (!data.fitted[c]) continue;
    double* block = p->curve[c].data();
    if (c == static_cast<int>(FitCurve::kTail)) {
      // The tail's largest value is f / e.
      const double f = kE * data.amplitude_bound;
      block[0] = std::clamp(block[0], -f, f);
      problem->SetParameterLowerBound(block, 0, -f);
      problem->SetParameterUpperBound(block, 0, f);
      const double lo = data.lo[c] - kTailCentreBefore, hi = data.hi[c];
      block[1] = std::clamp(block[1], lo, hi);
      problem->SetParameterLowerBound(block, 1, lo);
      problem->SetParameterUpperBound(block, 1, hi);
      if (block[2] < 0) {
        block[2] = std::clamp(block[2], -kMaxScale, -kMinScale);
        problem->SetParameterLowerBound(block, 2, -kMaxScale);
        problem->SetParameterUpperBound(block, 2, -kMinScale);
      } else {
        block[2] = std::clamp(block[2], kMinScale, kMaxScale);
        problem->SetParameterLowerBound(block, 2, kMinScale);
        problem->SetParameterUpperBound(block, 2, kMaxScale);
      }
      continue;
    }
    for (int k = 0; k < 3; ++k) {
      const double a = data.amplitude_bound;
      block[3 * k] = std::clamp(block[3 * k], -a, a);
      problem->SetParameterLowerBound(block, 3 * k, -a);
      problem->SetParameterUpperBound(block, 3 * k, a);
      block[3 * k + 2] = std::clamp(std::fabs(block[3 * k + 2]), kMinWidth, kMaxWidth);
      problem->SetParameterLowerBound(block, 3 * k + 2, kMinWidth);
      problem->SetParameterUpperBound(block, 3 * k + 2, kMaxWidth);
      // Centres within a radius of the X the rows cover: a Gaussian centred
      // farther out is set by the few rows at their edge and swings wildly.
      const double lo = data.lo[c] - kCentreMargin, hi = data.hi[c] + kCentreMargin;
      block[3 * k + 1] = std::clamp(block[3 * k + 1], lo, hi);
      problem->SetParameterLowerBound(block, 3 * k + 1, lo);
      problem->SetParameterUpperBound(block, 3 * k + 1, hi);
    }
  }
}

// Builds the problem on *p (which the solver then changes in place).
void build_problem(const LocationData& data, Params* p, ceres::Problem* problem) {
  problem->AddParameterBlock(&p->slope, 1);
  auto* fixed = new SlopeCost;
  for (int c = 0; c <= kFitCurves; ++c) {
    const std::vector<Point>& points = data.points[c];
    if (points.empty()) continue;
    if (c < kFitCurves && data.fitted[c]) {
      const int n = static_cast<int>(points.size());
      if (c == static_cast<int>(FitCurve::kTail)) {
        problem->AddResidualBlock(
            new ceres::AutoDiffCostFunction<CurveCost<3>, ceres::DYNAMIC, 1, 3>(
                new CurveCost<3>{&points, true}, n),
            nullptr, &p->slope, p->curve[c].data());
      } else {
        problem->AddResidualBlock(
            new ceres::AutoDiffCostFunction<CurveCost<9>, ceres::DYNAMIC, 1, 9>(
                new CurveCost<9>{&points, false}, n),
            nullptr, &p->slope, p->curve[c].data());
      }
      continue;
    }
    for (const Point& point : points) {
      fixed->points.push_back(point);
      fixed->fixed_response.push_back(response(data.fixed, c, point.x));
    }
  }
  if (fixed->points.empty()) {
    delete fixed;
  } else {
    const int n = static_cast<int>(fixed->points.size());
    problem->AddResidualBlock(
        new ceres::AutoDiffCostFunction<SlopeCost, ceres::DYNAMIC, 1>(fixed, n), nullptr,
        &p->slope);
  }
  set_bounds(problem, data, p);
}

// One solver run from `start`; with `hold_slope` the slope stays as it starts.
Outcome solve(const LocationData& data, const Params& start, int max_iterations,
              bool hold_slope = false) {
  Outcome out;
  out.params = start;
  ceres::Problem problem;
  build_problem(data, &out.params, &problem);
  if (hold_slope) problem.SetParameterBlockConstant(&out.params.slope);
  ceres::Solver::Options options;
  options.linear_solver_type = ceres::DENSE_NORMAL_CHOLESKY;
  options.max_num_iterations = max_iterations;
  options.num_threads = 1;
  options.logging_type = ceres::SILENT;
  options.minimizer_progress_to_stdout = false;
  options.function_tolerance = 1e-8;
  options.parameter_tolerance = 1e-8;
  options.gradient_tolerance = 1e-10;
  ceres::Solver::Summary summary;
  ceres::Solve(options, &problem, &summary);
  out.cost = summary.final_cost;
  out.converged = summary.termination_type == ceres::CONVERGENCE && std::isfinite(out.cost);
  out.iterations = static_cast<int>(summary.iterations.size()) - 1;
  out.report = summary.message;
  return out;
}

// A reproducible stream of numbers in [0, 1).
class Uniform {
 public:
  explicit Uniform(uint64_t seed) : state_(seed) {}
  double next() {  // splitmix64
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1p-53;
  }

 private:
  uint64_t state_;
};

// The amplitudes that best fit `values` (weighted) with the given shapes, by
// the normal equations (with a tiny ridge against coincident shapes).
template <size_t K>
bool linear_amplitudes(const std::vector<std::array<double, K>>& shapes,
                       const std::vector<double>& values, const std::vector<double>& weights,
                       std::array<double, K>* amplitudes, double* sse) {
  double a[K][K + 1] = {};
  for (size_t i = 0; i < values.size(); ++i) {
    for (size_t j = 0; j < K; ++j) {
      for (size_t k = 0; k < K; ++k) a[j][k] += weights[i] * shapes[i][j] * shapes[i][k];
      a[j][K] += weights[i] * shapes[i][j] * values[i];
    }
  }
  double trace = 0;
  for (size_t j = 0; j < K; ++j) trace += a[j][j];
  if (!(trace > 0)) return false;
  for (size_t j = 0; j < K; ++j) a[j][j] += 1e-10 * trace;
  for (size_t j = 0; j < K; ++j) {  // Gaussian elimination with partial pivoting
    size_t pivot = j;
    for (size_t r = j + 1; r < K; ++r) {
      if (std::fabs(a[r][j]) > std::fabs(a[pivot][j])) pivot = r;
    }
    for (size_t k = 0; k <= K; ++k) std::swap(a[j][k], a[pivot][k]);
    if (a[j][j] == 0) return false;
    for (size_t r = 0; r < K; ++r) {
      if (r == j) continue;
      const double f = a[r][j] / a[j][j];
      for (size_t k = j; k <= K; ++k) a[r][k] -= f * a[j][k];
    }
  }
  for (size_t j = 0; j < K; ++j) (*amplitudes)[j] = a[j][K] / a[j][j];
  *sse = 0;
  for (size_t i = 0; i < values.size(); ++i) {
    double fit = 0;
    for (size_t j = 0; j < K; ++j) fit += (*amplitudes)[j] * shapes[i][j];
    *sse += weights[i] * (values[i] - fit) * (values[i] - fit);
  }
  return std::isfinite(*sse);
}

struct Candidate {
  std::array<double, 9> coefficients{};
  double sse = 0;
};

// The profile of one curve's rows: y = surge / (0.5 h^2) - slope, weighted by
// the squared head so that its errors count in metres.
struct Profile {
  std::vector<double> x, y, weight;
};

Profile profile_of(const std::vector<Point>& points, double slope) {
  Profile p;
  for (const Point& point : points) {
    p.x.push_back(point.x);
    p.y.push_back(point.surge / point.head - slope);
    const double w = point.root_weight * point.head;
    p.weight.push_back(w * w);
  }
  return p;
}

// Completes centres and widths with the best amplitudes; false when they cannot be had.
bool complete_gaussians(const Profile& profile, Candidate* c) {
  std::vector<std::array<double, 3>> shapes(profile.x.size());
  for (size_t i = 0; i < profile.x.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      const double d = (profile.x[i] - c->coefficients[3 * k + 1]) / c->coefficients[3 * k + 2];
      shapes[i][k] = std::exp(-d * d);
    }
  }
  std::array<double, 3> a{};
  if (!linear_amplitudes(shapes, profile.y, profile.weight, &a, &c->sse)) return false;
  for (int k = 0; k < 3; ++k) c->coefficients[3 * k] = a[k];
  return true;
}

// Peels three Gaussians off the binned profile: each at the largest bin left,
// as wide as its half-height, times `width_factor`.
Candidate peeled(const Profile& profile, double lo, double hi, double width_factor) {
  constexpr int kBins = 16;
  const double span = std::max(hi - lo, 1e-3), bin = span / kBins;
  std::array<double, kBins> sum{}, count{};
  for (size_t i = 0; i < profile.x.size(); ++i) {
    const int b = std::clamp(static_cast<int>((profile.x[i] - lo) / bin), 0, kBins - 1);
    sum[b] += profile.y[i];
    count[b] += 1;
  }
  std::array<double, kBins> mean{};
  for (int b = 0; b < kBins; ++b) mean[b] = count[b] > 0 ? sum[b] / count[b] : 0;
  Candidate c;
  for (int k = 0; k < 3; ++k) {
    int top = 0;
    for (int b = 1; b < kBins; ++b) {
      if (std::fabs(mean[b]) > std::fabs(mean[top])) top = b;
    }
    const double height = mean[top];
    int left = top, right = top;
    while (left > 0 && std::fabs(mean[left - 1]) > std::fabs(height) / 2) --left;
    while (right < kBins - 1 && std::fabs(mean[right + 1]) > std::fabs(height) / 2) ++right;
    const double half_width = (right - left + 1) * bin / 2;
    const double centre = lo + (top + 0.5) * bin;
    const double width = std::max(half_width / 0.8326, span / 20) * width_factor;
    c.coefficients[3 * k + 1] = centre;
    c.coefficients[3 * k + 2] = width;
    for (int b = 0; b < kBins; ++b) {
      const double d = (lo + (b + 0.5) * bin - centre) / width;
      mean[b] -= height * std::exp(-d * d);
    }
  }
  return c;
}

std::vector<Candidate> gaussian_starts(const Profile& profile, double lo, double hi,
                                       uint64_t seed) {
  std::vector<Candidate> candidates;
  for (double factor : {1.0, 0.5, 2.0}) candidates.push_back(peeled(profile, lo, hi, factor));
  Uniform uniform(seed);
  const double span = std::max(hi - lo, 1e-3);
  for (int n = 0; n < kRandomCandidates; ++n) {
    Candidate c;
    for (int k = 0; k < 3; ++k) {
      c.coefficients[3 * k + 1] = lo + span * uniform.next();
      c.coefficients[3 * k + 2] = span / 20 * std::pow(10.0, uniform.next());
    }
    candidates.push_back(c);
  }
  std::vector<Candidate> good;
  for (Candidate& c : candidates) {
    if (!complete_gaussians(profile, &c)) continue;
    if (std::all_of(c.coefficients.begin(), c.coefficients.end(),
                    [](double v) { return std::isfinite(v); })) {
      good.push_back(c);
    }
  }
  std::stable_sort(good.begin(), good.end(),
                   [](const Candidate& a, const Candidate& b) { return a.sse < b.sse; });
  if (good.size() > kCandidatesRefined) good.resize(kCandidatesRefined);
  return good;
}

// The tail's starts: a grid of centres and scales of both signs, each with its
// best factor.
std::vector<Candidate> tail_starts(const Profile& profile, double lo, double hi) {
  std::vector<Candidate> good;
  const double span = std::max(hi - lo, 1e-3);
  for (double centre : {-5.0, -3.5, -2.0, -1.0, 0.0, 0.2, 0.5, 0.8}) {
    for (double scale : {-0.05, -0.1, -0.2, -0.35, -0.5, -0.8, 0.05, 0.1, 0.2, 0.4, 0.8}) {
      Candidate c;
      c.coefficients[1] = centre < 0 ? lo + centre : lo + centre * span;
      c.coefficients[2] = std::copysign(std::max(std::fabs(scale * span), kMinScale), scale);
      std::vector<std::array<double, 1>> shapes(profile.x.size());
      for (size_t i = 0; i < profile.x.size(); ++i) {
        const double t = std::exp((profile.x[i] - c.coefficients[1]) / c.coefficients[2]);
        shapes[i][0] = t * std::exp(-t);
      }
      std::array<double, 1> f{};
      if (!linear_amplitudes(shapes, profile.y, profile.weight, &f, &c.sse)) continue;
      if (!std::isfinite(f[0]) || std::fabs(f[0]) > kMaxTailFactor) continue;
      c.coefficients[0] = f[0];
      good.push_back(c);
    }
  }
  std::stable_sort(good.begin(), good.end(),
                   [](const Candidate& a, const Candidate& b) { return a.sse < b.sse; });
  if (good.size() > kCandidatesRefined) good.resize(kCandidatesRefined);
  return good;
}

// The slope's start: the mean of surge / (0.5 h^2) where no curve applies, or
// else the lowest mean of unit-wide bins of X, where the curves fade out.
double slope_start(const LocationData& data) {
  const std::vector<Point>& beyond = data.points[kCurveBeyond];
  if (beyond.size() >= 3) {
    double sum = 0;
    for (const Point& p : beyond) sum += p.surge / p.head;
    return sum / static_cast<double>(beyond.size());
  }
  // Bin b holds X in [kRightFrom + b, kRightFrom + b + 1): the curves' whole range.
  constexpr int kBins = static_cast<int>(surge::kTailTo - surge::kRightFrom);
  std::array<double, kBins> sum{}, count{};
  for (int c = 0; c <= kFitCurves; ++c) {
    for (const Point& p : data.points[c]) {
      const int b = std::clamp(static_cast<int>(std::floor(p.x - surge::kRightFrom)), 0, kBins - 1);
      sum[b] += p.surge / p.head;
      count[b] += 1;
    }
  }
  double lowest = std::numeric_limits<double>::infinity();
  for (int b = 0; b < kBins; ++b) {
    if (count[b] >= 2) lowest = std::min(lowest, sum[b] / count[b]);
  }
  return std::isfinite(lowest) ? lowest : 0;
}

// Parameters from a curve's single-precision coefficients in the table.
std::array<double, 9> curve_from_table(const surge::SiteTable& table, int location, int curve) {
  std::array<double, 9> out{};
  for (int k = 0; k < kCurveCoefficients[curve]; ++k) {
    out[k] = static_cast<double>(
        (table.*surge::kParameterColumns[kCurveOffset[curve] + k])[location]);
  }
  if (curve == static_cast<int>(FitCurve::kTail)) {
    out[0] = static_cast<double>(1.0f / static_cast<float>(out[0]));
  }
  return out;
}

// Writes the parameters, rounded to single precision, into the table's column,
// each curve's Gaussians in order of their centre's distance from X = 0 (as
// the example set has them; the sum is the same in any order).
void store(const Params& given, int location, surge::SiteTable* table) {
  Params p = given;
  for (int c : {static_cast<int>(FitCurve::kLeft), static_cast<int>(FitCurve::kRight)}) {
    std::array<std::array<double, 3>, 3> g{};
    for (int k = 0; k < 3; ++k) std::copy_n(p.curve[c].begin() + 3 * k, 3, g[k].begin());
    std::stable_sort(g.begin(), g.end(), [](const auto& a, const auto& b) {
      return std::fabs(a[1]) < std::fabs(b[1]);
    });
    for (int k = 0; k < 3; ++k) std::copy_n(g[k].begin(), 3, p.curve[c].begin() + 3 * k);
  }
  for (int c = 0; c < kFitCurves; ++c) {
    for (int k = 0; k < kCurveCoefficients[c]; ++k) {
      double value = p.curve[c][k];
      if (c == static_cast<int>(FitCurve::kTail) && k == 0) value = 1.0 / value;
      (table->*surge::kParameterColumns[kCurveOffset[c] + k])[location] =
          static_cast<float>(value);
    }
  }
  table->slope[location] = static_cast<float>(p.slope);
}

// The coefficients a curve keeps when it cannot be fitted without a base:
// amplitudes (and the tail's factor) of zero.
std::array<double, 9> zero_curve(int curve) {
  if (curve == static_cast<int>(FitCurve::kTail)) return {1e-30, 10, -1};
  return {0, 0, 1, 0, 0, 1, 0, 0, 1};
}

// The response of a curve from the table's rounded coefficients.
double table_curve(const surge::SiteTable& table, int location, int curve, double x) {
  float c[9] = {};
  for (int k = 0; k < kCurveCoefficients[curve]; ++k) {
    c[k] = (table.*surge::kParameterColumns[kCurveOffset[curve] + k])[location];
  }
  return curve == static_cast<int>(FitCurve::kTail) ? tail_curve(c, x) : gaussian_curve(c, x);
}

class LocationFitter {
 public:
  LocationFitter(const std::vector<const SimulationRow*>& rows, int location,
                 const FitSettings& settings, surge::SiteTable* table, LocationFit* fit,
                 std::vector<Finding>* findings)
      : rows_(rows), location_(location), settings_(settings), table_(table), fit_(fit),
        findings_(findings) {}
  void run();

 private:
  void say(Severity severity, const std::string& message) {
    findings_->push_back(Finding{settings_.source, 0, 0, severity,
                                 "location " + std::to_string(location_) + ": " + message});
  }
  Point point_of(size_t i) const;
  LocationData data_without_fold(int fold) const;  // fold -1: all rows
  void statistics(const Params& best, const LocationData& data);
  void standard_errors(const LocationData& data, const Params& best, double cost);

  const std::vector<const SimulationRow*>& rows_;
  int location_;
  const FitSettings& settings_;
  surge::SiteTable* table_;
  LocationFit* fit_;
  std::vector<Finding>* findings_;
  std::vector<Point> points_;  // one per row
  LocationData all_;
};

Point LocationFitter::point_of(size_t i) const {
  const SimulationRow& row = *rows_[i];
  const surge::StormCase storm{row.location, row.pressure_mb, row.radius_km, row.distance_km};
  // X and the curve depend on the storm alone: any table gives them.
  static const surge::SiteTable kEmpty{};
  const surge::CaseResult result = surge::evaluate_surge(storm, kEmpty);
  Point p;
  p.x = result.x;
  p.head = surge::pressure_factor(row.pressure_mb);  // 0.5 h^2, the model's own
  p.surge = row.surge_m;
  p.root_weight = std::sqrt(row.weight);
  p.row = i;
  switch (result.curve) {
    case surge::Curve::kLeft: p.curve = static_cast<int>(FitCurve::kLeft); break;
    case surge::Curve::kTail: p.curve = static_cast<int>(FitCurve::kTail); break;
    case surge::Curve::kRight: p.curve = static_cast<int>(FitCurve::kRight); break;
    case surge::Curve::kNone: p.curve = kCurveBeyond; break;
  }
  return p;
}

LocationData LocationFitter::data_without_fold(int fold) const {
  LocationData data;
  data.fitted = all_.fitted;
  data.fixed = all_.fixed;
  data.lo = all_.lo;
  data.hi = all_.hi;
  data.amplitude_bound = all_.amplitude_bound;
  for (const Point& p : points_) {
    if (fold >= 0 && static_cast<int>(p.row % kFolds) == fold) continue;
    data.points[p.curve].push_back(p);
  }
  return data;
}

void LocationFitter::run() {
  LocationFit& fit = *fit_;
  fit.location = location_;
  fit.rows = static_cast<int>(rows_.size());
  fit.std_error.fill(kNaN);
  if (rows_.empty()) return;  // kept from the base (checked by the caller)
  if (fit.rows < kCoefficients) {
    say(Severity::kError, std::to_string(fit.rows) + " rows, fewer than its " +
                              std::to_string(kCoefficients) + " coefficients");
    return;
  }
  fit.fitted = true;
  for (size_t i = 0; i < rows_.size(); ++i) points_.push_back(point_of(i));
  fit.pressure_min = fit.pressure_max = rows_[0]->pressure_mb;
  fit.radius_min = fit.radius_max = rows_[0]->radius_km;
  fit.x_min = fit.x_max = points_[0].x;
  for (size_t i = 0; i < rows_.size(); ++i) {
    fit.pressure_min = std::min(fit.pressure_min, rows_[i]->pressure_mb);
    fit.pressure_max = std::max(fit.pressure_max, rows_[i]->pressure_mb);
    fit.radius_min = std::min(fit.radius_min, rows_[i]->radius_km);
    fit.radius_max = std::max(fit.radius_max, rows_[i]->radius_km);
    fit.x_min = std::min(fit.x_min, points_[i].x);
    fit.x_max = std::max(fit.x_max, points_[i].x);
  }
  all_ = data_without_fold(-1);
  double largest = 0;
  for (const Point& p : points_) largest = std::max(largest, std::fabs(p.surge / p.head));
  all_.amplitude_bound = kAmplitudeFactor * largest;
  fit.rows_beyond = static_cast<int>(all_.points[kCurveBeyond].size());
  for (int c = 0; c < kFitCurves; ++c) {
    const std::vector<Point>& points = all_.points[c];
    fit.curve_rows[c] = static_cast<int>(points.size());
    const int needed = kRowsPerCoefficient * kCurveCoefficients[c];
    all_.fitted[c] = fit.curve_rows[c] >= needed;
    fit.curve_fitted[c] = all_.fitted[c];
    if (!all_.points[c].empty()) {
      auto [lo, hi] = std::minmax_element(points.begin(), points.end(),
                                          [](const Point& a, const Point& b) { return a.x < b.x; });
      all_.lo[c] = lo->x;
      all_.hi[c] = hi->x;
    }
    if (all_.fitted[c]) continue;
    all_.fixed.curve[c] = settings_.base != nullptr ? curve_from_table(*settings_.base, location_, c)
                                                    : zero_curve(c);
    say(Severity::kWarning,
        std::string("the ") + kFitCurveNames[c] + " curve has " +
            counted(fit.curve_rows[c], "row") + " in its range, fewer than the " +
            std::to_string(needed) + " needed to fit it: it keeps " +
            (settings_.base != nullptr ? "the base set's coefficients" : "amplitudes of zero"));
  }

  // Starting points: the slope, then each curve's best candidates on its own.
  Params first;
  first.slope = slope_start(all_);
  first.curve = all_.fixed.curve;
  std::array<std::vector<Candidate>, kFitCurves> candidates;
  for (int c = 0; c < kFitCurves; ++c) {
    if (!all_.fitted[c]) continue;
    const Profile profile = profile_of(all_.points[c], first.slope);
    candidates[c] = c == static_cast<int>(FitCurve::kTail)
                        ? tail_starts(profile, all_.lo[c], all_.hi[c])
                        : gaussian_starts(profile, all_.lo[c], all_.hi[c],
                                          static_cast<uint64_t>(location_ * 3 + c));
  }
  // Each curve's candidates refined on its own rows, the slope held.
  for (int c = 0; c < kFitCurves; ++c) {
    if (candidates[c].empty()) continue;
    LocationData own;
    own.fitted[c] = true;
    own.points[c] = all_.points[c];
    own.lo = all_.lo;
    own.hi = all_.hi;
    own.amplitude_bound = all_.amplitude_bound;
    for (Candidate& candidate : candidates[c]) {
      Params start = first;
      std::copy_n(candidate.coefficients.begin(), kCurveCoefficients[c], start.curve[c].begin());
      const Outcome refined =
          solve(own, start, std::min(settings_.max_iterations, kRefineIterations), true);
      candidate.sse = std::isfinite(refined.cost) ? refined.cost
                                                  : std::numeric_limits<double>::infinity();
      std::copy_n(refined.params.curve[c].begin(), kCurveCoefficients[c],
                  candidate.coefficients.begin());
    }
    std::stable_sort(candidates[c].begin(), candidates[c].end(),
                     [](const Candidate& a, const Candidate& b) { return a.sse < b.sse; });
    if (candidates[c].size() > kStartsKept) candidates[c].resize(kStartsKept);
  }
  std::vector<Params> starts;
  for (int k = 0; k < kStartsKept; ++k) {
    Params start = first;
    bool any = false;
    for (int c = 0; c < kFitCurves; ++c) {
      if (candidates[c].empty()) continue;
      const Candidate& pick = candidates[c][std::min<size_t>(k, candidates[c].size() - 1)];
      for (int j = 0; j < kCurveCoefficients[c]; ++j) start.curve[c][j] = pick.coefficients[j];
      any = true;
    }
    if (any || k == 0) starts.push_back(start);
  }
  if (settings_.base != nullptr) {
    Params start;
    start.slope = static_cast<double>(settings_.base->slope[location_]);
    for (int c = 0; c < kFitCurves; ++c) {
      start.curve[c] = all_.fitted[c] ? curve_from_table(*settings_.base, location_, c)
                                      : all_.fixed.curve[c];
    }
    // A base that cannot start the solver (a zero normaliser, say) is no start.
    bool usable = std::isfinite(start.slope);
    for (const auto& curve : start.curve) {
      for (double v : curve) usable = usable && std::isfinite(v);
    }
    if (usable) starts.push_back(start);
  }

  for (const Params& start : starts) {
    std::array<double, kCoefficients> values{};
    for (int c = 0; c < kFitCurves; ++c) {
      for (int k = 0; k < kCurveCoefficients[c]; ++k) values[kCurveOffset[c] + k] = start.curve[c][k];
    }
    values[kSlopeIndex] = start.slope;
    fit.starts.push_back(values);
  }
  Outcome best;
  bool found = false;
  Outcome last;
  // CPU time: what the solver runs cost, whatever else the machine is doing.
  const double began = platform::thread_cpu_seconds();
  for (const Params& start : starts) {
    Outcome outcome = solve(all_, start, settings_.max_iterations);
    if (outcome.converged && (!found || outcome.cost < best.cost)) {
      best = outcome;
      found = true;
    }
    if (!found) last = outcome;
  }
  fit.solve_seconds = platform::thread_cpu_seconds() - began;
  if (!found) {
    say(Severity::kError, "the fit does not converge from any of its " +
                              std::to_string(starts.size()) + " starting points (" + last.report +
                              ")");
    fit.solver_report = last.report;
    return;
  }
  fit.converged = true;
  fit.iterations = best.iterations;
  fit.cost = best.cost;
  fit.solver_report = best.report;
  for (int c = 0; c < kFitCurves; ++c) {
    if (!all_.fitted[c]) best.params.curve[c] = all_.fixed.curve[c];
  }
  store(best.params, location_, table_);
  statistics(best.params, all_);
  standard_errors(all_, best.params, best.cost);
}

void LocationFitter::statistics(const Params& best, const LocationData& data) {
  LocationFit& fit = *fit_;
  // In-sample errors of the rounded set, through the model.
  const ErrorSummary errors = summarize_errors(model_points(rows_, *table_));
  fit.rms = errors.rms;
  fit.bias = errors.bias;
  fit.max_abs = errors.max_abs;
  fit.r2 = errors.r2;
  const double n = static_cast<double>(rows_.size());

  // Held-out errors: each fold refitted from the full fit, its rows predicted.
  std::vector<double> predicted(rows_.size(), kNaN);
  for (int fold = 0; fold < kFolds; ++fold) {
    const LocationData part = data_without_fold(fold);
    const Outcome outcome = solve(part, best, settings_.max_iterations);
    surge::SiteTable local = *table_;
    Params params = outcome.params;
    for (int c = 0; c < kFitCurves; ++c) {
      if (!data.fitted[c]) params.curve[c] = data.fixed.curve[c];
    }
    store(params, location_, &local);
    for (size_t i = fold; i < rows_.size(); i += kFolds) {
      const SimulationRow& row = *rows_[i];
      predicted[i] = surge::evaluate_surge(
                         surge::StormCase{row.location, row.pressure_mb, row.radius_km,
                                          row.distance_km},
                         local)
                         .surge_m;
    }
  }
  // sigma^2 = a + b s^2 by least squares on the squared held-out errors,
  // with a and b kept from going below zero.
  double cv_sq = 0, s0 = 0, s2 = 0, s4 = 0, e0 = 0, e2 = 0;
  for (size_t i = 0; i < rows_.size(); ++i) {
    const double e = rows_[i]->surge_m - predicted[i], e_sq = e * e;
    const double s_sq = predicted[i] * predicted[i];
    cv_sq += e_sq;
    s0 += 1;
    s2 += s_sq;
    s4 += s_sq * s_sq;
    e0 += e_sq;
    e2 += e_sq * s_sq;
  }
  fit.cv_rms = std::sqrt(cv_sq / n);
  const double det = s0 * s4 - s2 * s2;
  double a = det != 0 ? (e0 * s4 - s2 * e2) / det : e0 / s0;
  double b = det != 0 ? (s0 * e2 - s2 * e0) / det : 0;
  if (b < 0) {
    b = 0;
    a = e0 / s0;
  }
  if (a < 0) {
    a = 0;
    b = s4 > 0 ? e2 / s4 : 0;
  }
  fit.sigma_m = std::sqrt(a);
  fit.sigma_rel = std::sqrt(b);

  const int left = static_cast<int>(FitCurve::kLeft), right = static_cast<int>(FitCurve::kRight),
            tail_curve_index = static_cast<int>(FitCurve::kTail);
  fit.jump_0 = table_curve(*table_, location_, left, 0) - table_curve(*table_, location_, right, 0);
  fit.jump_10 = table_curve(*table_, location_, tail_curve_index, surge::kLeftTo) -
                table_curve(*table_, location_, left, surge::kLeftTo);
  fit.jump_25 = 0 - table_curve(*table_, location_, tail_curve_index, surge::kTailTo);
}

void LocationFitter::standard_errors(const LocationData& data, const Params& best, double cost) {
  Params p = best;
  ceres::Problem problem;
  build_problem(data, &p, &problem);
  std::vector<std::pair<const double*, const double*>> blocks{{&p.slope, &p.slope}};
  int unknowns = 1;
  for (int c = 0; c < kFitCurves; ++c) {
    if (!data.fitted[c]) continue;
    blocks.push_back({p.curve[c].data(), p.curve[c].data()});
    unknowns += kCurveCoefficients[c];
  }
  const int n = static_cast<int>(points_.size());
  if (n <= unknowns) return;
  ceres::Covariance::Options options;
  options.algorithm_type = ceres::DENSE_SVD;
  options.null_space_rank = -1;  // drop directions the data do not determine
  options.num_threads = 1;
  ceres::Covariance covariance(options);
  if (!covariance.Compute(blocks, &problem)) return;
  // Ceres gives (J'J)^-1; the residuals' variance scales it.
  const double variance = 2 * cost / (n - unknowns);
  double slope_var = 0;
  covariance.GetCovarianceBlock(&p.slope, &p.slope, &slope_var);
  fit_->std_error[kSlopeIndex] = std::sqrt(slope_var * variance);
  for (int c = 0; c < kFitCurves; ++c) {
    if (!data.fitted[c]) continue;
    const int k = kCurveCoefficients[c];
    std::vector<double> block(static_cast<size_t>(k * k));
    covariance.GetCovarianceBlock(p.curve[c].data(), p.curve[c].data(), block.data());
    for (int j = 0; j < k; ++j) {
      double se = std::sqrt(std::max(0.0, block[j * k + j]) * variance);
      // The file holds the tail's normaliser 1 / f: its error is se(f) / f^2.
      if (c == static_cast<int>(FitCurve::kTail) && j == 0) se /= p.curve[c][0] * p.curve[c][0];
      fit_->std_error[kCurveOffset[c] + j] = se;
    }
  }
}

}  // namespace

double gaussian_curve(const float* c, double x) {
  const double g[9] = {c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8]};
  return gaussians(g, x);
}

double tail_curve(const float* c, double x) {
  const float factor = 1.0f / c[0];  // rounded to single precision, as the model does
  const double q[3] = {factor, c[1], c[2]};
  return tail(q, x);
}

FitResult fit_coefficients(const std::vector<SimulationRow>& rows, const FitSettings& settings) {
  // Ceres reports a step that met a NaN on standard error; the solver steps
  // back by itself, and what matters comes back in the findings.
  static std::once_flag quiet;
  std::call_once(quiet, [] { FLAGS_minloglevel = google::GLOG_FATAL; });
  FitResult result;
  if (settings.base != nullptr) result.table = *settings.base;
  result.locations.resize(surge::kLocations + 1);
  std::vector<std::vector<const SimulationRow*>> by_location(surge::kLocations + 1);
  for (const SimulationRow& row : rows) by_location[row.location].push_back(&row);
  std::vector<std::vector<Finding>> findings(surge::kLocations + 1);
  for (int location = 1; location <= surge::kLocations; ++location) {
    result.locations[location].location = location;
    result.locations[location].std_error.fill(kNaN);
    if (by_location[location].empty() && settings.base == nullptr) {
      findings[location].push_back(
          Finding{settings.source, 0, 0, Severity::kError,
                  "location " + std::to_string(location) +
                      ": no rows, and no base set (--base) to keep its coefficients from"});
    }
  }
  for_each_index(std::max(1, settings.threads), surge::kLocations, [&](size_t i) {
    const int location = static_cast<int>(i) + 1;
    LocationFitter fitter(by_location[location], location, settings, &result.table,
                          &result.locations[location], &findings[location]);
    fitter.run();
  });
  for (int location = 1; location <= surge::kLocations; ++location) {
    for (Finding& f : findings[location]) result.findings.push_back(std::move(f));
  }
  return result;
}

}  // namespace kit
