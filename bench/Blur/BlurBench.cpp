// The shadow of a dotted outline 360 pixels across blurred onto a 1024-pixel picture, as a
// shadow is drawn: with a blur of sigma 10 (computed exactly either way), 100 and 500, by the
// blur shadows use against the exact three-box blur at full resolution; from the shape's cells
// (as an outline is drawn onto them) and from the blurred cells a shadow keeps; and the mask
// laid over the picture by hand against cairo.

#include <benchmark/benchmark.h>
#include <cairo.h>

#include "Platform/Graphics/detail/BoxBlur.hpp"
#include "Platform/Graphics/detail/MaskOver.hpp"
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

// From the ring's cells, blurred afresh, or from their blur kept once (the cells of sigma 10 are
// its pixels).
template <bool kept>
void BM_FromCells(benchmark::State& state) {
    const double sigma = SIGMAS[state.range(0)];
    const AlphaPlane src{shape().data(), SHAPE, {330, 300, 330 + SHAPE, 300 + SHAPE}};
    const PixelWindow cells = dv::gfx::detail::blurCellsHolding(src.window, sigma);
    const std::vector<std::uint8_t> averaged = dv::gfx::detail::averagedCells(src, cells, sigma);
    const AlphaPlane onCells{averaged.data(), cells.width(), cells};
    std::vector<std::uint8_t> blurred;
    PixelWindow reached;
    dv::gfx::detail::blurOnCells(onCells, sigma, blurred, reached);
    const PixelWindow out{0, 0, PICTURE, PICTURE};
    std::vector<std::uint8_t> mask(PICTURE * PICTURE);
    for (auto _ : state) {
        const bool inked = kept ? dv::gfx::detail::interpolateCells({blurred.data(), reached.width(), reached}, mask.data(),
                                                                    PICTURE, out, sigma)
                                : dv::gfx::detail::gaussianBlurCells(onCells, mask.data(), PICTURE, out, sigma);
        benchmark::DoNotOptimize(inked);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FromCells<false>)->Name("BM_CellsBlur")->DenseRange(1, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FromCells<true>)->Name("BM_KeptCellsBlur")->DenseRange(1, 2)->Unit(benchmark::kMillisecond);

// A mask over the whole picture laid in a colour of half alpha.
template <bool byHand>
void BM_LayMask(benchmark::State& state) {
    cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, PICTURE, PICTURE);
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, PICTURE, PICTURE);
    cairo_surface_flush(mask);
    std::uint8_t* levels = cairo_image_surface_get_data(mask);
    const int maskStride = cairo_image_surface_get_stride(mask);
    for (int y = 0; y < PICTURE; ++y)
        for (int x = 0; x < PICTURE; ++x) levels[y * maskStride + x] = static_cast<std::uint8_t>(40 + (x + y) % 100);
    cairo_surface_mark_dirty(mask);
    cairo_t* cr = cairo_create(picture);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    for (auto _ : state) {
        if (byHand) {
            cairo_surface_flush(picture);
            dv::gfx::detail::maskOver(cairo_image_surface_get_data(picture), cairo_image_surface_get_stride(picture), levels,
                                      maskStride, PICTURE, PICTURE, dv::gfx::detail::solidPixel(0, 0, 0, 0.5));
            cairo_surface_mark_dirty(picture);
        } else {
            cairo_mask_surface(cr, mask, 0, 0);
            cairo_surface_flush(picture);
        }
        benchmark::ClobberMemory();
    }
    cairo_destroy(cr);
    cairo_surface_destroy(mask);
    cairo_surface_destroy(picture);
}
BENCHMARK(BM_LayMask<true>)->Name("BM_LayMaskByHand")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayMask<false>)->Name("BM_LayMaskByCairo")->Unit(benchmark::kMillisecond);

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
    std::printf("\nThe same from the ring's cells (ratio = exact time / time from the cells)\n");
    std::printf("%8s %6s %14s %14s %9s %9s\n", "sigma", "cell", "cells ms", "kept ms", "cells", "kept");
    for (int i = 1; i < 3; ++i) {
        const std::string arg = std::to_string(i);
        const double exact = reporter.time("BM_ExactBlur/" + arg), cells = reporter.time("BM_CellsBlur/" + arg),
                     kept = reporter.time("BM_KeptCellsBlur/" + arg);
        std::printf("%8.0f %6d %14.3f %14.3f %8.1fx %8.1fx\n", SIGMAS[i], dv::gfx::detail::blurCellSize(SIGMAS[i]), cells * 1e3,
                    kept * 1e3, cells > 0 ? exact / cells : 0.0, kept > 0 ? exact / kept : 0.0);
    }
    const double byHand = reporter.time("BM_LayMaskByHand"), byCairo = reporter.time("BM_LayMaskByCairo");
    std::printf("\nA mask laid over the %d-pixel picture: by hand %.3f ms, by cairo %.3f ms, %.1fx\n", PICTURE, byHand * 1e3,
                byCairo * 1e3, byHand > 0 ? byCairo / byHand : 0.0);
    return 0;
}
