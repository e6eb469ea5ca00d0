#include "Platform/Graphics/detail/LinesAcross.hpp"

#include <algorithm>
#include <cmath>

namespace dv::gfx::detail {

std::vector<float> intervalCoverage(std::vector<std::pair<double, double>> intervals, int first, int count) {
    std::vector<float> covered(static_cast<std::size_t>(std::max(count, 0)), 0.0f);
    const auto grid = [](double v) { return std::round(v * 256) / 256; };
    for (auto& [from, to] : intervals) {
        from = grid(from);
        to = grid(to);
        if (from > to) std::swap(from, to);
    }
    std::sort(intervals.begin(), intervals.end());
    const double lowest = first, highest = static_cast<double>(first) + count;
    // Each run of overlapping intervals, merged, adds its share to the pixels it meets.
    for (std::size_t i = 0; i < intervals.size();) {
        double from = intervals[i].first, to = intervals[i].second;
        for (++i; i < intervals.size() && intervals[i].first <= to; ++i) to = std::max(to, intervals[i].second);
        from = std::max(from, lowest);
        to = std::min(to, highest);
        for (double at = from; at < to;) {
            const double pixel = std::floor(at), end = std::min(to, pixel + 1);
            covered[static_cast<std::size_t>(pixel - first)] += static_cast<float>(end - at);
            at = end;
        }
    }
    for (float& share : covered) share = std::min(share, 1.0f);
    return covered;
}

} // namespace dv::gfx::detail
