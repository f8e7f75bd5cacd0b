#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <vector>

namespace meridan::bench {

// Prints "count N of M median X p99 Y max Z" for switch-to-lamp latencies in milliseconds, one for
// each of `expected` switch changes; fails unless every change was answered.
inline int printLatencies(std::vector<double> latencies, std::size_t expected)
{
    if (latencies.empty()) {
        std::printf("count 0 of %zu\n", expected);
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&latencies](double fraction) {
        return latencies[std::min(latencies.size() - 1,
                static_cast<std::size_t>(fraction * static_cast<double>(latencies.size())))];
    };
    std::printf("count %zu of %zu median %.3f p99 %.3f max %.3f\n", latencies.size(), expected,
            at(0.5), at(0.99), latencies.back());
    return latencies.size() == expected ? 0 : 1;
}

} // namespace meridan::bench
