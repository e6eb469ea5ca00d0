// The render cache on a realistic board of 5,000 mixed elements: what a drag costs (one element
// moved, an incremental build) against building every recording, and what a frame costs (a
// 1920 x 1080 view at 2 pixels per point, drawn at once on the caller's thread) drawn from the
// cache against drawn without it.
// The board is laid out as diagrams are drawn: 250 groups of 20 consecutive elements (eight
// labelled boxes and ellipses, two texts, two freehand strokes, two stencils, two shapes and
// four labelled arrows), each group in its own cell of a 16 x 16 grid over 14,000 x 14,000
// units; arrows join elements of their own group, and one arrow in 20 ends on a box of a group
// picked at random anywhere on the board (50 long arrows).
// Run with FONTCONFIG_FILE pointing at tests/data/fonts/fonts.conf for numbers that do not
// depend on the machine's fonts.

#include "bench/DVIO/RatioReporter.hpp"
#include "bench/Thumbnail/MixedBoard.hpp"

#include "DVIO/BoardFile.hpp"
#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Editor/OffscreenRenderer.hpp"
#include "DVRender/Editor/RenderCache.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace {

constexpr int COUNT = 5000;
// Element 2006 is a labelled stencil with two labelled connectors bound to it.
constexpr std::size_t MOVED = 2006;
constexpr double VIEW_WIDTH = 1920, VIEW_HEIGHT = 1080, PIXEL_RATIO = 2;

const std::vector<dv::Element>& board() {
    static const std::vector<dv::Element> elements = [] {
        const std::string text = dv::bench::mixedBoard(COUNT, dv::bench::MixedLayout::grouped);
        auto read = dv::readDrevalinFile(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        if (read.document.elements.size() != static_cast<std::size_t>(COUNT)) {
            std::fprintf(stderr, "the generated board of %d elements reads as %zu\n", COUNT,
                         read.document.elements.size());
            std::abort();
        }
        return std::move(read.document.elements);
    }();
    return elements;
}

const dv::RenderEnvironment& environment() {
    static const dv::RenderEnvironment light(dv::RenderTheme::light);
    return light;
}

// The board's extent in board units: the union of every element's cull bounds.
dv::NormalizedRect boardExtent(const dv::RenderSnapshot& snapshot) {
    double left = INFINITY, top = INFINITY, right = -INFINITY, bottom = -INFINITY;
    for (const auto& element : snapshot.elements) {
        const dv::NormalizedRect& r = element->cullBounds;
        left = std::min(left, r.x);
        top = std::min(top, r.y);
        right = std::max(right, r.x + r.w);
        bottom = std::max(bottom, r.y + r.h);
    }
    return {left, top, right - left, bottom - top};
}

// A 1920 x 1080 view centred on the board showing `share` of its area.
dv::OffscreenRenderOptions view(const dv::NormalizedRect& extent, double share) {
    // The view's board area is (width / zoom) x (height / zoom).
    const double zoom = share >= 1 ? std::min(VIEW_WIDTH / extent.w, VIEW_HEIGHT / extent.h)
                                   : std::sqrt(VIEW_WIDTH * VIEW_HEIGHT / (share * extent.w * extent.h));
    const double cx = extent.x + extent.w / 2, cy = extent.y + extent.h / 2;
    return dv::OffscreenRenderOptions{.viewport = dv::Viewport{VIEW_WIDTH / 2 - cx * zoom, VIEW_HEIGHT / 2 - cy * zoom, zoom},
                                      .width = VIEW_WIDTH,
                                      .height = VIEW_HEIGHT,
                                      .devicePixelRatio = PIXEL_RATIO,
                                      .environment = environment(),
                                      .drawsBackground = true,
                                      .grid = std::nullopt,
                                      .editingId = std::nullopt,
                                      .editingShapeLabelId = std::nullopt};
}

struct Primed {
    dv::RenderCache cache;
    dv::RenderSnapshot snapshot;
    dv::NormalizedRect extent;
    Primed() : snapshot(cache.snapshot(board(), environment(), std::nullopt, std::nullopt)), extent(boardExtent(snapshot)) {}
};

Primed& primed() {
    static Primed p;
    return p;
}

void BM_FullBuild(benchmark::State& state) {
    for (auto _ : state) {
        dv::RenderCache cache;
        benchmark::DoNotOptimize(cache.snapshot(board(), environment(), std::nullopt, std::nullopt));
    }
}
BENCHMARK(BM_FullBuild)->Unit(benchmark::kMillisecond);

void BM_IncrementalBuild(benchmark::State& state) {
    dv::RenderCache cache;
    std::vector<dv::Element> elements = board();
    cache.snapshot(elements, environment(), std::nullopt, std::nullopt);
    const std::vector<std::int64_t> changed{static_cast<std::int64_t>(MOVED)};
    double step = 1;
    std::size_t rekeyed = 0;
    for (auto _ : state) {
        elements[MOVED].x += step;  // back and forth, as a drag jitters
        step = -step;
        benchmark::DoNotOptimize(cache.snapshot(elements, environment(), std::nullopt, std::nullopt, changed));
        rekeyed = cache.lastRekeyedIndices() ? cache.lastRekeyedIndices()->size() : 0;
    }
    if (rekeyed == 0) state.SkipWithError("the move did not take the incremental build");
    state.counters["rekeyed"] = static_cast<double>(rekeyed);
}
BENCHMARK(BM_IncrementalBuild)->Unit(benchmark::kMillisecond);

// The connector-label layout's own update for the same move, which the incremental build runs:
// beside the build's figure it shows how much of a drag step is the cache's own work.
void BM_IncrementalLabelLayout(benchmark::State& state) {
    // The board before the move and after it, made once, so that only updates are timed.
    std::vector<dv::Element> elements = board();
    const dv::ElementIndex before(elements);
    elements[MOVED].x += 1;
    const dv::ElementIndex after(elements);
    dv::ConnectorLabelLayout layout{before};
    const std::vector<std::int64_t> changed{static_cast<std::int64_t>(MOVED)};
    bool moved = false;
    for (auto _ : state) {
        moved = !moved;
        layout.update(moved ? after : before, changed);
    }
}
BENCHMARK(BM_IncrementalLabelLayout)->Unit(benchmark::kMillisecond);

// The frame as a caller draws it: at once, on the caller's thread.
void BM_DrawTenthFromCache(benchmark::State& state) {
    const auto options = view(primed().extent, 0.1);
    for (auto _ : state) benchmark::DoNotOptimize(dv::OffscreenRenderer::render(primed().snapshot, options));
}
BENCHMARK(BM_DrawTenthFromCache)->Unit(benchmark::kMillisecond);

// The same frame over a dot grid of the default size.
void BM_DrawTenthWithDotGrid(benchmark::State& state) {
    auto options = view(primed().extent, 0.1);
    options.grid = dv::OffscreenRenderOptions::Grid{dv::GridPattern::dot, 20};
    for (auto _ : state) benchmark::DoNotOptimize(dv::OffscreenRenderer::render(primed().snapshot, options));
}
BENCHMARK(BM_DrawTenthWithDotGrid)->Unit(benchmark::kMillisecond);

// The same frame replayed onto a bitmap of one pixel, with the same transform and culling: the
// replay's own cost (culling, state, path building and the calls into the rasteriser), without
// the pixels. The difference to the frame above is rasterisation, the bitmap and its background,
// and text (lines that miss the bitmap are not laid out).
void BM_DrawTenthReplayOnly(benchmark::State& state) {
    const auto options = view(primed().extent, 0.1);
    const dv::Viewport& v = options.viewport;
    const dv::NormalizedRect visible{-v.offsetX / v.zoom, -v.offsetY / v.zoom, options.width / v.zoom,
                                     options.height / v.zoom};
    auto bitmap = dv::gfx::Bitmap::create(1, 1);
    for (auto _ : state) {
        dv::CGDrawingContext context(std::make_shared<dv::gfx::GraphicsContext>(*bitmap));
        context.setTransform(PIXEL_RATIO * v.zoom, 0, 0, PIXEL_RATIO * v.zoom, PIXEL_RATIO * v.offsetX,
                             PIXEL_RATIO * v.offsetY);
        primed().snapshot.draw(context, visible);
    }
}
BENCHMARK(BM_DrawTenthReplayOnly)->Unit(benchmark::kMillisecond);

void BM_DrawWholeFromCache(benchmark::State& state) {
    const auto options = view(primed().extent, 1);
    for (auto _ : state) benchmark::DoNotOptimize(dv::OffscreenRenderer::render(primed().snapshot, options));
}
BENCHMARK(BM_DrawWholeFromCache)->Unit(benchmark::kMillisecond);

// Without a cache every frame records every element before drawing it.
void BM_DrawWholeWithoutCache(benchmark::State& state) {
    const auto options = view(primed().extent, 1);
    for (auto _ : state) benchmark::DoNotOptimize(dv::OffscreenRenderer::render(board(), options));
}
BENCHMARK(BM_DrawWholeWithoutCache)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    dv::bench::RatioReporter reporter;
    if (!dv::bench::runBenchmarks(argc, argv, reporter)) return 1;

    const double full = reporter.time("BM_FullBuild"), incremental = reporter.time("BM_IncrementalBuild");
    const double layout = reporter.time("BM_IncrementalLabelLayout");
    const double tenth = reporter.time("BM_DrawTenthFromCache"), whole = reporter.time("BM_DrawWholeFromCache");
    const double withGrid = reporter.time("BM_DrawTenthWithDotGrid");
    const double replayOnly = reporter.time("BM_DrawTenthReplayOnly");
    const double uncached = reporter.time("BM_DrawWholeWithoutCache");
    auto ms = [](double seconds) { return seconds * 1e3; };
    auto ratio = [](double peer, double ours) { return ours > 0 ? peer / ours : 0.0; };
    std::printf("\nRender cache, %d elements in groups of %d, one arrow in %d joining distant groups\n", COUNT,
                dv::bench::GROUP, dv::bench::LONG_EVERY);
    std::printf("(ratio = other time / this time; above 1 this is faster)\n");
    std::printf("%-36s %10s %10s %10s %9s\n", "", "this ms", "other", "other ms", "ratio");
    std::printf("%-36s %10.3f %10s %10.3f %8.1fx   target >= 50x and < 2 ms\n", "incremental build, one moved",
                ms(incremental), "full", ms(full), ratio(full, incremental));
    std::printf("%-36s %10.3f   run alone on the same move\n", "  the label layout's update", ms(layout));
    std::printf("%-36s %10.3f   drawn at once on the caller's thread\n", "1920x1080@2, tenth, from cache", ms(tenth));
    std::printf("%-36s %10.3f   over a dot grid of size 20\n", "  the same with a dot grid", ms(withGrid));
    std::printf("%-36s %10.3f   the rest: pixels, background and text\n", "  its replay onto a 1x1 bitmap", ms(replayOnly));
    std::printf("%-36s %10.3f %10s %10.3f %8.1fx\n", "1920x1080@2, whole board, from cache", ms(whole), "no cache",
                ms(uncached), ratio(uncached, whole));
    return 0;
}
