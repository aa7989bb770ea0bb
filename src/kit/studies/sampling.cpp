// Counter-based uniforms and the Box-Muller transform.
#include "kit/studies/sampling.h"

#include <cmath>
#include <numbers>

namespace kit {
namespace {

constexpr uint64_t kGolden = 0x9E3779B97F4A7C15ull;

uint64_t mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

// The seed is mixed once, so that nearby seeds give unrelated streams.
CounterRandom::CounterRandom(uint64_t seed) : key_(mix(seed + kGolden)) {}

uint64_t CounterRandom::value(uint64_t counter) const {
  return mix(key_ + (counter + 1) * kGolden);
}

double CounterRandom::uniform(uint64_t counter) const {
  return (static_cast<double>(value(counter) >> 11) + 0.5) * 0x1.0p-53;
}

void box_muller(double u1, double u2, double* z0, double* z1) {
  const double r = std::sqrt(-2.0 * std::log(u1));
  const double angle = 2.0 * std::numbers::pi * u2;
  *z0 = r * std::cos(angle);
  *z1 = r * std::sin(angle);
}

Normal3 normal3(const CounterRandom& random, uint64_t index) {
  Normal3 n;
  double unused;
  box_muller(random.uniform(4 * index), random.uniform(4 * index + 1), &n.z[0], &n.z[1]);
  box_muller(random.uniform(4 * index + 2), random.uniform(4 * index + 3), &n.z[2], &unused);
  return n;
}

double fourth_uniform(const CounterRandom& random, uint64_t index) {
  double third, fourth;
  box_muller(random.uniform(4 * index + 2), random.uniform(4 * index + 3), &third, &fourth);
  return 0.5 * std::erfc(-fourth / std::numbers::sqrt2);
}

}  // namespace kit
