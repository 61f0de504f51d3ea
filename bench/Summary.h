#pragma once
// A sample's minimum, median, 99th percentile, maximum and mean.
#include <cstddef>
#include <vector>

namespace bench {

struct Summary {
    size_t count = 0;
    double min = 0, p50 = 0, p99 = 0, max = 0, mean = 0;
};

// In the sample's own unit; percentiles by nearest rank.
Summary Summarize(std::vector<double> values);

} // namespace bench
