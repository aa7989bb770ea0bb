// Several order statistics of one array at once, without sorting it.
#ifndef SURGE_KIT_STUDIES_ORDER_STATISTICS_H_
#define SURGE_KIT_STUDIES_ORDER_STATISTICS_H_

#include <cstddef>
#include <vector>

namespace kit {

// The values of `values` at 0-based `ranks` (any order, each below the size)
// as if it were sorted ascending; NaNs are not allowed. A zero comes back as
// +0 whatever its sign. Linear time: a histogram of the values' leading bits
// finds each rank's bucket, and only those buckets are searched.
std::vector<double> order_statistics(const std::vector<double>& values,
                                     const std::vector<size_t>& ranks);

// The sample quantiles at (n - 1) p for each p in [0, 1], interpolated
// linearly between the order statistics around it; NaN for no values.
std::vector<double> sample_quantiles(const std::vector<double>& values,
                                     const std::vector<double>& probabilities);

}  // namespace kit

#endif  // SURGE_KIT_STUDIES_ORDER_STATISTICS_H_
