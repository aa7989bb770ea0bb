// Reproducible random numbers for ensembles: counter-based, so that sample i
// is the same whichever thread draws it and in whatever order.
#ifndef SURGE_KIT_STUDIES_SAMPLING_H_
#define SURGE_KIT_STUDIES_SAMPLING_H_

#include <cstdint>

namespace kit {

// A stream of 64-bit numbers keyed by a seed: value(i) is a fixed function of
// (seed, i), the SplitMix64 step (golden-ratio increment, then its two
// multiply-xorshift rounds) taken at counter i. No state changes on use.
class CounterRandom {
 public:
  explicit CounterRandom(uint64_t seed);
  uint64_t value(uint64_t counter) const;
  // A double in the open interval (0, 1): the top 53 bits, offset by half a unit.
  double uniform(uint64_t counter) const;

 private:
  uint64_t key_;
};

// Two independent standard normal numbers from two uniforms in (0, 1) by the
// Box-Muller transform: r = sqrt(-2 ln u1), z0 = r cos(2 pi u2), z1 = r sin(2 pi u2).
// Uses only the C library's log, sqrt, cos and sin, so the same uniforms give
// the same normals on every run of the program.
void box_muller(double u1, double u2, double* z0, double* z1);

// Three standard normal numbers for draw `index` of a stream: uniforms at
// counters 4 index .. 4 index + 3, two Box-Muller pairs, the fourth value unused.
struct Normal3 {
  double z[3];
};
Normal3 normal3(const CounterRandom& random, uint64_t index);

// A uniform number in (0, 1) for draw `index`, independent of its three
// normals: the standard normal cdf of the fourth Box-Muller value above.
double fourth_uniform(const CounterRandom& random, uint64_t index);

}  // namespace kit

#endif  // SURGE_KIT_STUDIES_SAMPLING_H_
