#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kq::bench {

// Median of a sample in microseconds; the sample is reordered.
inline double median_us(std::vector<int64_t>& ns)
{
    if (ns.empty())
        return 0.0;
    const auto mid = ns.begin() + static_cast<std::ptrdiff_t>(ns.size() / 2);
    std::nth_element(ns.begin(), mid, ns.end());
    return static_cast<double>(*mid) / 1000.0;
}

} // namespace kq::bench
