// Background grids on the largest frame an offscreen render allows (16384 x 16384 pixels, 1 GiB
// of its own), each layer as close as it is drawn line by line or dot by dot: a line grid 2
// device pixels apart at ratio 0.25, a dot grid 2 device pixels apart at ratio 0.1, millimetre
// lines at ratio 1, dots 2 device pixels apart at ratio 0.25; and the line grid on a 4K frame. Each reports the process's peak resident
// memory so far (run one at a time with --benchmark_filter for each one's own).
// Target: each within 5 s and within about the frame's own memory.
#include "DVRender/Editor/OffscreenRenderer.hpp"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024;
}

void frame(benchmark::State& state, double pixels, double ratio, dv::GridPattern pattern, double size) {
    const dv::OffscreenRenderOptions options{dv::Viewport{0, 0, 1}, pixels / ratio, pixels / ratio, ratio,
                                             dv::RenderEnvironment(dv::RenderTheme::light), true,
                                             dv::OffscreenRenderOptions::Grid{pattern, size}, std::nullopt, std::nullopt};
    for (auto _ : state) benchmark::DoNotOptimize(dv::OffscreenRenderer::render(std::vector<dv::Element>{}, options));
    state.counters["peak_MiB"] = peakMiB();
}

void BM_LineGrid16K(benchmark::State& state) { frame(state, 16384, 0.25, dv::GridPattern::line, 8); }
void BM_DotGrid16K(benchmark::State& state) { frame(state, 16384, 0.1, dv::GridPattern::dot, 20); }
// Dots 2 device pixels apart at ratio 0.25 are 0.4 pixels wide and show: every one is drawn.
void BM_VisibleDotGrid16K(benchmark::State& state) { frame(state, 16384, 0.25, dv::GridPattern::dot, 8); }
void BM_MillimetreGrid16K(benchmark::State& state) { frame(state, 16384, 1, dv::GridPattern::mm, 20); }
void BM_LineGrid4K(benchmark::State& state) { frame(state, 2160, 0.25, dv::GridPattern::line, 8); }

BENCHMARK(BM_LineGrid16K)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DotGrid16K)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_VisibleDotGrid16K)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_MillimetreGrid16K)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LineGrid4K)->Unit(benchmark::kMillisecond);

}  // namespace
