#pragma once
// Round-trip samples and the percentiles the bench table reports.

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

/// The sample at rank ceil(p/100 * n), so p99 of 10,000 samples is the 9,900th smallest.
inline double percentile(std::vector<double> samples, double p)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    auto rank = static_cast<std::size_t>(p / 100.0 * static_cast<double>(samples.size()) + 0.999999);
    rank = std::clamp<std::size_t>(rank, 1, samples.size());
    return samples[rank - 1];
}

/// One "name value" line per figure, for the script that builds the table.
inline void printLatency(const std::vector<double>& micros)
{
    std::printf("rounds %zu\n", micros.size());
    std::printf("p50_us %.2f\n", percentile(micros, 50));
    std::printf("p99_us %.2f\n", percentile(micros, 99));
    std::printf("max_us %.2f\n", percentile(micros, 100));
}

} // namespace bench
