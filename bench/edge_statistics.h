#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace meridan::bench {

// Errors of lamp edges against their ideal moments, in milliseconds, with the moment of each
// edge (ms from the start) for the drift's slope.
struct EdgeErrors
{
    std::vector<double> at;
    std::vector<double> error;

    // Makes room for `edges` up front and touches it, so that a soak sees no memory of the
    // benchmark's own grow: reserved pages become resident only when first written.
    void reserve(std::size_t edges)
    {
        at.resize(edges);
        error.resize(edges);
        at.clear();
        error.clear();
    }

    void add(double when, double value)
    {
        at.push_back(when);
        error.push_back(value);
    }
};

struct Summary
{
    std::size_t edges = 0;
    double min = 0, median = 0, p99 = 0, max = 0;
    double last = 0; // the last edge's error: the drift
    double slopePerMinute = 0; // least-squares slope of the error over time
};

inline double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank =
            static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

inline Summary summarise(const EdgeErrors &edges)
{
    Summary s;
    s.edges = edges.error.size();
    if (s.edges == 0)
        return s;
    s.min = *std::min_element(edges.error.begin(), edges.error.end());
    s.max = *std::max_element(edges.error.begin(), edges.error.end());
    s.median = percentile(edges.error, 0.5);
    s.p99 = percentile(edges.error, 0.99);
    s.last = edges.error.back();
    double meanT = 0, meanE = 0;
    for (std::size_t i = 0; i < s.edges; ++i) {
        meanT += edges.at[i];
        meanE += edges.error[i];
    }
    meanT /= static_cast<double>(s.edges);
    meanE /= static_cast<double>(s.edges);
    double covariance = 0, variance = 0;
    for (std::size_t i = 0; i < s.edges; ++i) {
        covariance += (edges.at[i] - meanT) * (edges.error[i] - meanE);
        variance += (edges.at[i] - meanT) * (edges.at[i] - meanT);
    }
    s.slopePerMinute = variance > 0 ? covariance / variance * 60'000.0 : 0;
    return s;
}

} // namespace meridan::bench
