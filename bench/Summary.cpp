#include "bench/Summary.h"

#include <algorithm>
#include <cmath>

namespace bench {

Summary Summarize(std::vector<double> values) {
    Summary s;
    s.count = values.size();
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    // Nearest rank: the smallest value with at least p of the sample at or below it.
    auto rank = [&](double p) {
        const auto index = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())));
        return values[std::clamp<size_t>(index, 1, values.size()) - 1];
    };
    s.min = values.front();
    s.max = values.back();
    s.p50 = rank(0.50);
    s.p99 = rank(0.99);
    double sum = 0;
    for (double v : values)
        sum += v;
    s.mean = sum / static_cast<double>(values.size());
    return s;
}

} // namespace bench
