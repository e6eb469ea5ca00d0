// The shadow of a dotted outline 360 pixels across blurred onto a 1024-pixel picture, as a
// shadow is drawn: with a blur of sigma 10 (computed exactly either way), 100 and 500, by the
// blur shadows use against the exact three-box blur at full resolution.

#include <benchmark/benchmark.h>

#include "Platform/Graphics/detail/BoxBlur.hpp"
#include "bench/DVIO/RatioReporter.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using dv::gfx::detail::AlphaPlane;
using dv::gfx::detail::PixelWindow;

constexpr int SHAPE = 360, PICTURE = 1024;
constexpr double SIGMAS[] = {10, 100, 500};

// Round dots along a ring, anti-aliased.
const std::vector<std::uint8_t>& shape() {
    static const std::vector<std::uint8_t> pixels = [] {
        std::vector<std::uint8_t> p(SHAPE * SHAPE);
        for (int y = 0; y < SHAPE; ++y)
            for (int x = 0; x < SHAPE; ++x) {
                const double dx = x + 0.5 - SHAPE / 2.0, dy = y + 0.5 - SHAPE / 2.0;
                const double angle = std::atan2(dy, dx), radius = std::hypot(dx, dy);
                const double along = std::fmod(angle + 3.2, 0.5) - 0.25;
                const double d = std::hypot(radius - 150, along * 150);
                p[static_cast<std::size_t>(y * SHAPE + x)] =
                    static_cast<std::uint8_t>(255 * std::fmin(1, std::fmax(0, 40.5 - d)));
            }
        return p;
    }();
    return pixels;
}

template <bool exact>
void BM_Blur(benchmark::State& state) {
    const double sigma = SIGMAS[state.range(0)];
    const AlphaPlane src{shape().data(), SHAPE, {330, 300, 330 + SHAPE, 300 + SHAPE}};
    const PixelWindow out{0, 0, PICTURE, PICTURE};
    std::vector<std::uint8_t> mask(PICTURE * PICTURE);
    for (auto _ : state) {
        const bool inked = exact ? dv::gfx::detail::exactGaussianBlurAlpha(src, mask.data(), PICTURE, out, sigma)
                                 : dv::gfx::detail::gaussianBlurAlpha(src, mask.data(), PICTURE, out, sigma);
        benchmark::DoNotOptimize(inked);
        benchmark::ClobberMemory();
    }
    state.counters["cell"] = dv::gfx::detail::blurCellSize(sigma);
}
BENCHMARK(BM_Blur<false>)->Name("BM_ShadowBlur")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blur<true>)->Name("BM_ExactBlur")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    dv::bench::RatioReporter reporter;
    if (!dv::bench::runBenchmarks(argc, argv, reporter)) return 1;
    std::printf("\nShadow of a %d-pixel dotted ring blurred onto a %d-pixel picture\n", SHAPE, PICTURE);
    std::printf("(ratio = exact time / shadow blur time; above 1 the shadow blur is faster)\n");
    std::printf("%8s %6s %14s %14s %9s\n", "sigma", "cell", "shadow ms", "exact ms", "ratio");
    for (int i = 0; i < 3; ++i) {
        const std::string arg = std::to_string(i);
        const double ours = reporter.time("BM_ShadowBlur/" + arg), exact = reporter.time("BM_ExactBlur/" + arg);
        std::printf("%8.0f %6d %14.3f %14.3f %8.1fx\n", SIGMAS[i], dv::gfx::detail::blurCellSize(SIGMAS[i]), ours * 1e3,
                    exact * 1e3, ours > 0 ? exact / ours : 0.0);
    }
    return 0;
}
