// Order statistics and quantiles against a sorted copy.
#include "kit/studies/order_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

namespace kit {
namespace {

// Sizes on both sides of the direct selection's limit and of one digit's
// buckets; values with heavy ties, both signs, signed zeros and infinities,
// and ones that differ only in their last bits (the deepest digits).
TEST(OrderStatistics, AgreeWithSortingForEveryKindOfValues) {
  std::mt19937_64 rng(5);
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    size_t size;
    std::function<double()> draw;
  };
  std::uniform_real_distribution<double> spread(-50, 50);
  std::uniform_int_distribution<int> small(-3, 3);
  std::uniform_int_distribution<int> last_bits(0, 1 << 20);
  const Case cases[] = {
      {"one value", 1, [&] { return spread(rng); }},
      {"spread", 200000, [&] { return spread(rng); }},
      {"ties and zeros", 70000, [&] { const int k = small(rng); return k == 0 ? (rng() & 1 ? 0.0 : -0.0) : k; }},
      {"last bits", 300000, [&] { return std::nextafter(1.5, 2.0) + last_bits(rng) * 0x1p-52; }},
      {"infinities", 5000, [&] { const int k = small(rng); return k == 3 ? kInf : k == -3 ? -kInf : spread(rng); }},
  };
  for (const Case& c : cases) {
    std::vector<double> v(c.size);
    for (double& x : v) x = c.draw();
    std::vector<double> sorted = v;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = v.size();
    // Unordered and repeated, as the quantiles' neighbours can be.
    const std::vector<size_t> ranks = {n - 1, 0, n / 2, (n - 1) / 10, n / 2, std::min(n - 1, n * 9 / 10 + 1)};
    const std::vector<double> got = order_statistics(v, ranks);
    ASSERT_EQ(got.size(), ranks.size());
    // Counted as the values came, the first step gives the same.
    LeadingCounts counted;
    for (double x : v) counted.add(x);
    EXPECT_EQ(order_statistics(v, ranks, &counted), got) << c.name;
    for (size_t i = 0; i < ranks.size(); ++i) {
      const double want = sorted[ranks[i]];
      EXPECT_EQ(got[i], want) << c.name << " rank " << ranks[i];
      if (want == 0) {
        EXPECT_FALSE(std::signbit(got[i])) << c.name << ": a zero comes back as +0";
      }
    }
  }
}

TEST(OrderStatistics, QuantilesInterpolateAtNMinusOneTimesP) {
  // 0..10 shuffled: (n - 1) p = 10 p exactly between order statistics.
  std::vector<double> v = {7, 2, 9, 0, 4, 10, 1, 8, 3, 6, 5};
  const std::vector<double> q = sample_quantiles(v, {0, 0.1, 0.25, 0.5, 0.95, 1});
  EXPECT_EQ(q, (std::vector<double>{0, 1, 2.5, 5, 9.5, 10}));
  EXPECT_TRUE(std::isnan(sample_quantiles(std::vector<double>{}, {0.5})[0]));
  EXPECT_EQ(sample_quantiles(std::vector<double>{4.25}, {0.1, 0.9}),
            (std::vector<double>{4.25, 4.25}));
}

// With the counts of all the values, the quantiles and the counts over the
// thresholds need only the values in the buckets quantile_buckets names and
// in the thresholds' own.
TEST(OrderStatistics, NeedOnlyTheWantedBucketsBesideTheCounts) {
  std::mt19937_64 rng(9);
  std::lognormal_distribution<double> surge(0, 0.6);
  const std::vector<double> probabilities = {0.1, 0.5, 0.9};
  const std::vector<double> thresholds = {2, 0.5, 1.0001};
  for (size_t n : {1, 2, 3, 1000, 100001}) {
    std::vector<double> all(n);
    for (double& v : all) v = surge(rng);
    LeadingCounts counted;
    for (double v : all) counted.add(v);
    std::vector<uint64_t> want_above, got_above;
    const std::vector<double> want =
        sample_quantiles(all, probabilities, nullptr, thresholds, &want_above);
    std::vector<bool> needed(counted.counts().size(), false);
    for (size_t b : quantile_buckets(counted, probabilities)) needed[b] = true;
    for (double t : thresholds) needed[LeadingCounts::leading_bits(t)] = true;
    std::vector<double> some;
    for (double v : all) {
      if (needed[LeadingCounts::leading_bits(v)]) some.push_back(v);
    }
    if (n == 100001) {
      EXPECT_LT(some.size(), n / 2);  // the point of it
    }
    EXPECT_EQ(sample_quantiles(some, probabilities, &counted, thresholds, &got_above), want) << n;
    EXPECT_EQ(got_above, want_above) << n;
  }
}

// Counts over thresholds from the same pass: strictly above, a zero of
// either sign as zero, none above a NaN, on both sides of a bucket and inside
// the bucket of a quantile.
TEST(OrderStatistics, CountsAboveThresholdsAreStrict) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> v = {2, 1, 3, 2, -0.0, 5, 2, 0.0, -inf};
  for (int i = 0; i < 5000; ++i) v.push_back(1.5 + i * 1e-6);  // one bucket, many values
  const std::vector<double> thresholds = {2, 1.999, 5, -1, 0, -0.0, nan, inf, -inf, 1.5025};
  std::vector<uint64_t> want;
  for (double t : thresholds) {
    const auto over = std::count_if(v.begin(), v.end(), [t](double x) { return x > t; });
    want.push_back(static_cast<uint64_t>(over));
  }
  for (const bool counted_first : {false, true}) {
    LeadingCounts counted;
    for (double x : v) counted.add(x);
    std::vector<uint64_t> above;
    sample_quantiles(v, {0.5}, counted_first ? &counted : nullptr, thresholds, &above);
    EXPECT_EQ(above, want) << counted_first;
  }
  std::vector<uint64_t> none = {7};
  sample_quantiles(std::vector<double>{}, {0.5}, nullptr, thresholds, &none);
  EXPECT_EQ(none, std::vector<uint64_t>(thresholds.size(), 0));
}

}  // namespace
}  // namespace kit
