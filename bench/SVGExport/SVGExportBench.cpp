// SVG export of a realistic 5,000-element board (labelled boxes, ellipses, text, freehand
// strokes, generic-icon stencils, flowchart shapes and bound, labelled arrows), and the kit's
// own thumbnail of that board at 256 pixels against librsvg drawing the exported SVG at 256
// pixels, the road a user would take with the SVG instead. Both thumbnails draw the board with
// roughness 0, since the SVG has no hand-drawn wobble. Run with FONTCONFIG_FILE pointing at
// tests/data/fonts/fonts.conf for figures that do not depend on the machine's fonts.

#include "bench/DVIO/RatioReporter.hpp"
#include "bench/Thumbnail/MixedBoard.hpp"

#include "DVIO/BoardFile.hpp"
#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVPreview/BoardPicture.hpp"
#include "DVRender/Export/SVGExport.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/SVG/SVGDocument.hpp"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <span>

namespace {

constexpr int boardSize = 5000;
constexpr double thumbnailSide = 256;

const std::vector<dv::Element>& board() {
    static const std::vector<dv::Element> elements = [] {
        const std::string text = dv::bench::mixedBoard(boardSize);
        auto read = dv::readDrevalinFile(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        for (dv::Element& e : read.document.elements) e.roughness = 0;
        return std::move(read.document.elements);
    }();
    return elements;
}

const std::string& exported() {
    static const std::string svg = *dv::sceneToSVG(board(), {"#ffffff", true});
    return svg;
}

void BM_SceneToSVG(benchmark::State& state) {
    const auto& elements = board();
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto svg = dv::sceneToSVG(elements, {"#ffffff", true});
        bytes = svg->size();
        benchmark::DoNotOptimize(svg);
    }
    state.counters["elements"] = static_cast<double>(elements.size());
    state.counters["svg_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_SceneToSVG)->Unit(benchmark::kMillisecond);

// The parts of sceneToSVG: the element index with the connector-label layout, which the bounds
// and the labels need, and the fragments of the elements on their own.
void BM_SceneLabelLayout(benchmark::State& state) {
    const auto& elements = board();
    for (auto _ : state) {
        dv::ElementIndex index(elements);
        dv::ConnectorLabelLayout layout(index);
        benchmark::DoNotOptimize(layout.boxes().size());
    }
}
BENCHMARK(BM_SceneLabelLayout)->Unit(benchmark::kMillisecond);

void BM_ElementFragments(benchmark::State& state) {
    const auto& elements = board();
    dv::ElementIndex index(elements);
    for (auto _ : state) {
        dv::SVGMaskIds ids;
        std::size_t n = 0;
        for (const auto& e : elements) n += dv::elementToSVG(e, index, 24, 24, ids).size();
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_ElementFragments)->Unit(benchmark::kMillisecond);

void BM_KitThumbnail256(benchmark::State& state) {
    const auto& elements = board();
    for (auto _ : state) {
        auto image = dv::BoardPicture::image(elements, dv::RenderTheme::light, thumbnailSide);
        benchmark::DoNotOptimize(image);
    }
}
BENCHMARK(BM_KitThumbnail256)->Unit(benchmark::kMillisecond);

// Loading is part of the peer's work: what it is given is the exported text.
void BM_LibrsvgThumbnail256(benchmark::State& state) {
    const std::string& svg = exported();
    const auto data = std::span(reinterpret_cast<const std::uint8_t*>(svg.data()), svg.size());
    for (auto _ : state) {
        auto document = dv::gfx::SVGDocument::load(data);
        if (!document) {
            state.SkipWithError("librsvg cannot load the exported SVG");
            return;
        }
        const double f = thumbnailSide / std::max(document->width(), document->height());
        auto bitmap = dv::gfx::Bitmap::create(std::max(1, static_cast<int>(std::lround(document->width() * f))),
                                              std::max(1, static_cast<int>(std::lround(document->height() * f))));
        document->render(*bitmap);
        benchmark::DoNotOptimize(bitmap->data());
    }
}
BENCHMARK(BM_LibrsvgThumbnail256)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("board: %zu elements, SVG %.1f MB\n", board().size(), static_cast<double>(exported().size()) / 1e6);
    dv::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    auto time = [&](const char* name) { return reporter.time(name); };
    if (double svg = time("BM_SceneToSVG"); svg > 0)
        std::printf("sceneToSVG of %zu elements: %.1f ms (target < 30 ms), of which the label layout %.1f ms and "
                    "the element fragments %.1f ms\n",
                    board().size(), svg * 1e3, time("BM_SceneLabelLayout") * 1e3, time("BM_ElementFragments") * 1e3);
    const double kit = time("BM_KitThumbnail256");
    if (double rsvg = time("BM_LibrsvgThumbnail256"); kit > 0 && rsvg > 0)
        std::printf("thumbnail at 256 px, kit against librsvg on the exported SVG: %.2fx faster (goal >= 3)\n",
                    rsvg / kit);
    return 0;
}
