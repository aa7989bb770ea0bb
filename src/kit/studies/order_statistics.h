// Several order statistics of one array at once, without sorting it.
#ifndef SURGE_KIT_STUDIES_ORDER_STATISTICS_H_
#define SURGE_KIT_STUDIES_ORDER_STATISTICS_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kit {

// The counts of values by their leading 16 bits (their bucket), the first
// step of the selection below: a caller that sees its values one at a time
// can count them as they come and spare the selection a pass.
class LeadingCounts {
 public:
  LeadingCounts() : count_(size_t{1} << 16, 0) {}
  void add(double v) { add_key(order_key(v)); }
  void add_key(uint64_t key) {
    ++count_[bucket_of_key(key)];
    ++total_;
  }
  const std::vector<uint32_t>& counts() const { return count_; }
  size_t total() const { return total_; }

  // The value's key, ordered as the values are (-0 as +0; no NaN), from its
  // bits alone and without a branch: a negative value's bits all flip, a
  // positive value's sign bit is set.
  static uint64_t order_key(double v) {
    constexpr uint64_t kSign = uint64_t{1} << 63;
    uint64_t b = std::bit_cast<uint64_t>(v);
    b = b == kSign ? 0 : b;
    return b ^ (static_cast<uint64_t>(static_cast<int64_t>(b) >> 63) | kSign);
  }
  static size_t bucket_of_key(uint64_t key) { return static_cast<size_t>(key >> 48); }
  static size_t leading_bits(double v) { return bucket_of_key(order_key(v)); }

 private:
  std::vector<uint32_t> count_;
  size_t total_ = 0;
};

// The values at 0-based `ranks` (any order) of the values counted, as if
// they were sorted ascending; NaNs are not allowed. A zero comes back as +0
// whatever its sign. Linear time: a histogram of the values' leading bits
// finds each rank's bucket, and only those buckets are searched.
// With `above`, also how many values lie above each of `thresholds` (none
// above a NaN), from the same histogram and pass: only the values in a
// threshold's own bucket need comparing.
// Without `counted` the values counted are `values` and every rank is below
// their count. With it, `counted` counts them all, and `values` needs to hold
// only those in the buckets of the ranks and of the thresholds.
std::vector<double> order_statistics(std::span<const double> values,
                                     const std::vector<size_t>& ranks,
                                     const LeadingCounts* counted = nullptr,
                                     std::span<const double> thresholds = {},
                                     std::vector<uint64_t>* above = nullptr);

// The sample quantiles at (n - 1) p for each p in [0, 1], interpolated
// linearly between the order statistics around it, n being the count of the
// values counted (see order_statistics); NaN for no values. `thresholds` and
// `above` as for order_statistics.
std::vector<double> sample_quantiles(std::span<const double> values,
                                     const std::vector<double>& probabilities,
                                     const LeadingCounts* counted = nullptr,
                                     std::span<const double> thresholds = {},
                                     std::vector<uint64_t>* above = nullptr);

// The buckets that hold the values at `ranks` (each below counted.total())
// among the values `counted` counts: ascending, each once.
std::vector<size_t> rank_buckets(const LeadingCounts& counted, std::vector<size_t> ranks);

// The buckets that sample_quantiles searches for `probabilities` among the
// values `counted` counts: the values it needs besides the thresholds'.
std::vector<size_t> quantile_buckets(const LeadingCounts& counted,
                                     const std::vector<double>& probabilities);

}  // namespace kit

#endif  // SURGE_KIT_STUDIES_ORDER_STATISTICS_H_
