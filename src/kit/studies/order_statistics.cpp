// Order statistics by radix selection: the values' bit patterns, mapped so
// that their order as integers is the order of the numbers, are counted by
// their leading 16 bits, then by the next 16 within the buckets that hold a
// wanted rank; what is left is small enough to select among directly.
#include "kit/studies/order_statistics.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kit {
namespace {

constexpr int kDigitBits = 16;
constexpr size_t kDigits = size_t{1} << kDigitBits;
constexpr size_t kSelectDirectly = 4096;  // candidates few enough for nth_element

uint64_t order_key(double v) { return LeadingCounts::order_key(v); }

double value_of(uint64_t key) {
  return std::bit_cast<double>((key >> 63) != 0 ? key & ~(uint64_t{1} << 63) : ~key);
}

// The keys of `keys` at `ranks`, with the keys' digits above `shift + 16`
// already known to be equal: counts the digit at `shift`, and goes on in
// each bucket that holds a wanted rank.
void select(std::vector<uint64_t>& keys, int shift, const std::vector<size_t>& ranks,
            std::vector<uint64_t>* out) {
  if (keys.size() <= kSelectDirectly || shift < 0) {
    for (size_t r : ranks) {
      std::nth_element(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(r), keys.end());
      out->push_back(keys[r]);
    }
    return;
  }
  std::vector<uint32_t> count(kDigits, 0);
  for (uint64_t k : keys) ++count[(k >> shift) & (kDigits - 1)];
  // Ranks in ascending order fall in ascending buckets.
  size_t below = 0, digit = 0;
  for (size_t i = 0; i < ranks.size();) {
    while (below + count[digit] <= ranks[i]) below += count[digit++];
    std::vector<size_t> inside;
    for (; i < ranks.size() && ranks[i] < below + count[digit]; ++i) inside.push_back(ranks[i] - below);
    std::vector<uint64_t> bucket;
    bucket.reserve(count[digit]);
    for (uint64_t k : keys) {
      if (((k >> shift) & (kDigits - 1)) == digit) bucket.push_back(k);
    }
    select(bucket, shift - kDigitBits, inside, out);
  }
}

}  // namespace

std::vector<double> order_statistics(std::span<const double> values,
                                     const std::vector<size_t>& ranks,
                                     const LeadingCounts* counted,
                                     std::span<const double> thresholds,
                                     std::vector<uint64_t>* above) {
  std::vector<size_t> sorted = ranks;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  const size_t total = counted != nullptr ? counted->total() : values.size();
  assert(sorted.empty() || sorted.back() < total);
  if (above != nullptr) above->assign(thresholds.size(), 0);
  std::vector<uint64_t> found;
  found.reserve(sorted.size());
  if (!sorted.empty() || (above != nullptr && total > 0)) {
    // The first digit is counted from the values, so that the keys of only
    // the wanted buckets are ever stored.
    std::vector<uint32_t> own;
    if (counted == nullptr) {
      own.assign(kDigits, 0);
      for (double v : values) ++own[order_key(v) >> (64 - kDigitBits)];
    }
    const std::vector<uint32_t>& count = counted != nullptr ? counted->counts() : own;
    // The wanted buckets: those of the ranks, in ascending order with the
    // ranks inside each, then those of the thresholds; then one pass
    // gathers all of their keys.
    struct Wanted {
      size_t digit;
      std::vector<size_t> inside;
      std::vector<uint64_t> keys;
    };
    std::vector<Wanted> wanted;
    std::vector<int32_t> slot(kDigits, -1);
    auto want = [&](size_t digit) {
      if (slot[digit] < 0) {
        slot[digit] = static_cast<int32_t>(wanted.size());
        wanted.push_back(Wanted{digit, {}, {}});
        wanted.back().keys.reserve(count[digit]);
      }
      return &wanted[static_cast<size_t>(slot[digit])];
    };
    size_t below = 0, digit = 0;
    for (size_t i = 0; i < sorted.size();) {
      while (below + count[digit] <= sorted[i]) below += count[digit++];
      Wanted* w = want(digit);
      for (; i < sorted.size() && sorted[i] < below + count[digit]; ++i) {
        w->inside.push_back(sorted[i] - below);
      }
    }
    if (above != nullptr) {
      for (double t : thresholds) {
        if (!std::isnan(t)) want(order_key(t) >> (64 - kDigitBits));
      }
    }
    for (double v : values) {
      const uint64_t k = order_key(v);
      const int32_t s = slot[k >> (64 - kDigitBits)];
      if (s >= 0) wanted[static_cast<size_t>(s)].keys.push_back(k);
    }
    // Above a threshold: every value in a higher bucket, and those in its
    // own bucket with a higher key.
    for (size_t t = 0; above != nullptr && t < thresholds.size(); ++t) {
      if (std::isnan(thresholds[t])) continue;
      const uint64_t key = order_key(thresholds[t]);
      const size_t own_digit = key >> (64 - kDigitBits);
      uint64_t n = 0;
      for (size_t d = own_digit + 1; d < kDigits; ++d) n += count[d];
      for (uint64_t k : wanted[static_cast<size_t>(slot[own_digit])].keys) n += k > key;
      (*above)[t] = n;
    }
    for (Wanted& w : wanted) {
      if (!w.inside.empty()) select(w.keys, 64 - 2 * kDigitBits, w.inside, &found);
    }
  }
  std::vector<double> out;
  out.reserve(ranks.size());
  for (size_t r : ranks) {
    const size_t at = static_cast<size_t>(std::lower_bound(sorted.begin(), sorted.end(), r) - sorted.begin());
    out.push_back(value_of(found[at]));
  }
  return out;
}

namespace {

// The ranks sample_quantiles reads for each probability among n values: the
// order statistic at or below (n - 1) p, and the next one when there is one.
std::vector<size_t> quantile_ranks(size_t n, const std::vector<double>& probabilities) {
  std::vector<size_t> ranks;
  for (double p : probabilities) {
    const auto lo = static_cast<size_t>(std::floor(static_cast<double>(n - 1) * p));
    ranks.push_back(lo);
    if (lo + 1 < n) ranks.push_back(lo + 1);
  }
  return ranks;
}

}  // namespace

std::vector<double> sample_quantiles(std::span<const double> values,
                                     const std::vector<double>& probabilities,
                                     const LeadingCounts* counted,
                                     std::span<const double> thresholds,
                                     std::vector<uint64_t>* above) {
  std::vector<double> out;
  const size_t n = counted != nullptr ? counted->total() : values.size();
  if (n == 0) {
    out.assign(probabilities.size(), std::numeric_limits<double>::quiet_NaN());
    if (above != nullptr) above->assign(thresholds.size(), 0);
    return out;
  }
  const std::vector<double> at =
      order_statistics(values, quantile_ranks(n, probabilities), counted, thresholds, above);
  size_t k = 0;
  for (double p : probabilities) {
    const double h = static_cast<double>(n - 1) * p;
    const auto lo = static_cast<size_t>(std::floor(h));
    const double a = at[k++];
    if (lo + 1 >= n) {
      out.push_back(a);
      continue;
    }
    const double b = at[k++];
    out.push_back(a + (h - static_cast<double>(lo)) * (b - a));
  }
  return out;
}

std::vector<size_t> rank_buckets(const LeadingCounts& counted, std::vector<size_t> ranks) {
  std::sort(ranks.begin(), ranks.end());
  assert(ranks.empty() || ranks.back() < counted.total());
  const std::vector<uint32_t>& count = counted.counts();
  std::vector<size_t> buckets;
  size_t below = 0, digit = 0;
  for (size_t r : ranks) {
    while (below + count[digit] <= r) below += count[digit++];
    if (buckets.empty() || buckets.back() != digit) buckets.push_back(digit);
  }
  return buckets;
}

std::vector<size_t> quantile_buckets(const LeadingCounts& counted,
                                     const std::vector<double>& probabilities) {
  if (counted.total() == 0) return {};
  return rank_buckets(counted, quantile_ranks(counted.total(), probabilities));
}

}  // namespace kit
