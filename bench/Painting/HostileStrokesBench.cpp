// Thumbnails of boards made of hostile freehand strokes: 100,000-point zigzags from corner to
// corner of the coordinate range, so that every edge of every outline crosses the whole picture
// while the strokes themselves are far thinner than a pixel. Stages apart: the outline alone,
// then the whole picture at the thumbnail's 256-pixel budget. And boards people make: dense
// scribbles of 10,000 points each, passing back and forth inside 400 x 300 and crossing one
// another at every pass, at 256 and 1024 pixels.

#include <benchmark/benchmark.h>

#include "DVGeometry/FreehandOutline.hpp"
#include "DVModel/Element.hpp"
#include "DVPreview/BoardPicture.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace dv;

std::vector<Point> zigzag() {
    std::vector<Point> points;
    for (int i = 0; i < 100000; ++i)
        points.push_back({(i % 2 ? -1.0 : 1.0) * (1e7 - i), ((i / 2) % 2 ? -1.0 : 1.0) * 9999999});
    return points;
}

std::vector<Point> scribble(int i) {
    std::vector<Point> points;
    for (int k = 0; k < 10000; ++k)
        points.push_back({200 + 190 * std::sin(k * 0.9 + i),
                          150 + 130 * std::sin(k * 0.0123 + i * 0.7) + 10 * std::sin(k * 2.1)});
    return points;
}

std::vector<Element> strokes(int count, std::vector<Point> (*pointsOf)(int) = [](int) { return zigzag(); }) {
    std::vector<Element> elements;
    for (int i = 0; i < count; ++i) {
        Element e;
        e.id = "stroke-" + std::to_string(i);
        e.strokeColor = CSSColor("#1e1e1e");
        e.fillColor = CSSColor("transparent");
        e.strokeWidth = 2;
        e.opacity = 1;
        e.roughness = 2;
        Element::Freehand f;
        f.points = pointsOf(i);
        e.payload = Element::Payload(f);
        elements.push_back(std::move(e));
    }
    return elements;
}

void BM_HostileStrokeOutline(benchmark::State& state) {
    const std::vector<Point> points = zigzag();
    for (auto _ : state) {
        auto outline = buildFreehandOutline(points, std::nullopt, 2);
        benchmark::DoNotOptimize(outline);
    }
}
BENCHMARK(BM_HostileStrokeOutline)->Unit(benchmark::kMillisecond);

void BM_HostileStrokesThumbnail(benchmark::State& state) {
    const std::vector<Element> elements = strokes(static_cast<int>(state.range(0)));
    const RenderTheme theme = BoardPicture::theme(elements, true);
    for (auto _ : state) {
        auto image = BoardPicture::image(elements, theme, 256);
        benchmark::DoNotOptimize(image);
    }
}
BENCHMARK(BM_HostileStrokesThumbnail)->Arg(1)->Arg(2)->Arg(6)->Unit(benchmark::kMillisecond);

// Scribbles by count and pixel size.
void BM_ScribblesThumbnail(benchmark::State& state) {
    const std::vector<Element> elements = strokes(static_cast<int>(state.range(0)), scribble);
    const RenderTheme theme = BoardPicture::theme(elements, true);
    for (auto _ : state) {
        auto image = BoardPicture::image(elements, theme, static_cast<double>(state.range(1)));
        benchmark::DoNotOptimize(image);
    }
}
BENCHMARK(BM_ScribblesThumbnail)->Args({10, 256})->Args({10, 1024})->Args({50, 256})->Args({50, 1024})
    ->Unit(benchmark::kMillisecond);

}  // namespace
