// Freehand outlines: a stroke spanning the whole coordinate range must hit the resample cap and
// stay fast; a long realistic stroke shows the ordinary cost.
#include "DVGeometry/FreehandOutline.hpp"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

void BM_OutlineOfLongestSegment(benchmark::State& state) {
    const std::vector<dv::Point> points{{-1e7, -1e7}, {1e7, 1e7}};
    for (auto _ : state) {
        auto outline = dv::buildFreehandOutline(points, std::nullopt, 4);
        benchmark::DoNotOptimize(outline);
    }
}
BENCHMARK(BM_OutlineOfLongestSegment)->Unit(benchmark::kMillisecond);

void BM_OutlineOfRealisticStroke(benchmark::State& state) {
    std::vector<dv::Point> points;
    std::vector<double> pressures;
    for (int i = 0; i < 100000; ++i) {
        points.push_back({i * 2.0, 40 * std::sin(i * 0.01)});
        pressures.push_back(0.5 + 0.4 * std::sin(i * 0.003));
    }
    for (auto _ : state) {
        auto outline = dv::buildFreehandOutline(points, pressures, 3);
        benchmark::DoNotOptimize(outline);
    }
}
BENCHMARK(BM_OutlineOfRealisticStroke)->Unit(benchmark::kMillisecond);

void BM_FinishLongStroke(benchmark::State& state) {
    std::vector<dv::Point> points;
    for (int i = 0; i < 100000; ++i) points.push_back({i * 0.5, 30 * std::sin(i * 0.02)});
    for (auto _ : state) {
        auto stroke = dv::finishFreehandStroke(points, std::nullopt);
        benchmark::DoNotOptimize(stroke);
    }
}
BENCHMARK(BM_FinishLongStroke)->Unit(benchmark::kMillisecond);

} // namespace
