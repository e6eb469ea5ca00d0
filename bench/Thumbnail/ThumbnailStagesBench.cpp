// The stages of one thumbnail inside one process, on the boards of the whole-process runs:
// reading the file, choosing the theme, planning, painting (the plan again, the element index,
// the label layout and every element), the host's copy of the picture into its own bitmap, and
// PNG encoding with writing. Fonts and shaped text lines stay cached between iterations, so these
// are the warm costs; what a fresh process adds (start, module load, the font system's start-up)
// is the whole-process time less the sum of the stages, and BM_ThumbnailHostFloor shows it alone.

#include "bench/Thumbnail/MixedBoard.hpp"

#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/detail/LabelGeometry.hpp"
#include "DVIO/BoardFile.hpp"
#include "DVPreview/BoardPicture.hpp"
#include "Platform/Files/FileData.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/PNGEncoder.hpp"

#include <benchmark/benchmark.h>

#include <fstream>

namespace {

using dv::BoardPicture;

struct Board {
    std::vector<dv::Element> elements;
    dv::RenderTheme theme;
};

const Board& board(int count) {
    static std::map<int, Board> boards;
    auto it = boards.find(count);
    if (it != boards.end()) return it->second;
    auto data = dv::platform::readRegularFile(dv::bench::boardFile(count).string());
    Board b;
    b.elements = dv::readDrevalinFile(data).document.elements;
    b.theme = BoardPicture::theme(b.elements, true);
    return boards.emplace(count, std::move(b)).first->second;
}

// Boards whose labelled arrows join distant boxes, by element count.
const Board& distantBoard(int count) {
    static std::map<int, Board> boards;
    auto it = boards.find(count);
    if (it != boards.end()) return it->second;
    const std::string text = dv::bench::distantArrowBoard(count);
    dv::bench::checkElementCount("distant-arrows", text, static_cast<std::size_t>(count));
    Board b;
    b.elements = dv::readDrevalinFile(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
                     .document.elements;
    b.theme = BoardPicture::theme(b.elements, true);
    return boards.emplace(count, std::move(b)).first->second;
}

dv::gfx::ImageRef picture(int count, int px) {
    const Board& b = board(count);
    return *BoardPicture::image(b.elements, b.theme, px);
}

void BM_StageRead(benchmark::State& state) {
    const std::string path = dv::bench::boardFile(static_cast<int>(state.range(0))).string();
    for (auto _ : state) {
        auto data = dv::platform::readRegularFile(path);
        benchmark::DoNotOptimize(dv::readDrevalinFile(data).document.elements.size());
    }
}

void BM_StageTheme(benchmark::State& state) {
    const Board& b = board(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(BoardPicture::theme(b.elements, true).isLight);
}

void BM_StagePlan(benchmark::State& state) {
    const Board& b = board(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(BoardPicture::plan(b.elements, b.theme, static_cast<double>(state.range(1))));
}

// How many other arrows' segments cross the labels where the layout put them (each label's box
// less a unit on every side, as the layout prices it). The choice between candidates is made on
// their summed costs, so a search that keeps the same layouts adds up at least these crossings,
// however it finds them: their growth is a floor under the plan's.
double placedLabelCrossings(const Board& b) {
    const dv::ElementIndex index(b.elements);
    const dv::ConnectorLabelBoxes boxes = dv::ConnectorLabelLayout::once(index).boxes();
    struct Segment {
        std::size_t owner;
        dv::Point a, b;
    };
    std::vector<Segment> segments;
    for (std::size_t i = 0; i < b.elements.size(); ++i) {
        const std::optional<dv::ConnectorEnds> ends = dv::connectorEnds(b.elements[i]);
        if (!ends) continue;
        const std::vector<dv::Point> route = dv::resolveConnectorRoute(*ends, index);
        for (std::size_t k = 0; k + 1 < route.size(); ++k) segments.push_back({i, route[k], route[k + 1]});
    }
    double crossings = 0;
    for (std::size_t i = 0; i < b.elements.size(); ++i) {
        const std::optional<dv::LabelBox> box = boxes[b.elements[i].id];
        if (!box) continue;
        const dv::NormalizedRect inner{box->x - box->w / 2 + 1, box->y - box->h / 2 + 1, box->w - 2, box->h - 2};
        for (const Segment& s : segments) {
            if (s.owner != i && dv::detail::segmentRectClip(s.a.x, s.a.y, s.b.x, s.b.y, inner) != 0) ++crossings;
        }
    }
    return crossings;
}

// The raster plan (bounds and label layout) as labelled arrows between distant boxes grow.
void BM_StagePlanDistantArrows(benchmark::State& state) {
    const Board& b = distantBoard(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(BoardPicture::plan(b.elements, b.theme, 256));
    state.counters["crossings"] = placedLabelCrossings(b);
}

void BM_StagePaint(benchmark::State& state) {
    const Board& b = board(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(BoardPicture::image(b.elements, b.theme, static_cast<double>(state.range(1))));
}

// What the host does with the reply: a bitmap of its own with the picture drawn into it.
void BM_StageCompose(benchmark::State& state) {
    const dv::gfx::ImageRef image = picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        auto bitmap = dv::gfx::Bitmap::create(image->width(), image->height());
        dv::gfx::GraphicsContext context(*bitmap);
        context.setInterpolationQuality(dv::gfx::InterpolationQuality::high);
        context.drawImage(dv::gfx::pixelsOf(*image),
                          {0, 0, static_cast<double>(image->width()), static_cast<double>(image->height())});
        benchmark::DoNotOptimize(bitmap->data());
    }
}

void BM_StageEncodeAndWrite(benchmark::State& state) {
    const dv::gfx::ImageRef image = picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const auto out = dv::bench::boardFolder() / "out-stage.png";
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto png = dv::gfx::encodePNG(dv::gfx::pixelsOf(*image));
        std::ofstream(out, std::ios::binary).write(reinterpret_cast<const char*>(png->data()),
                                                   static_cast<std::streamsize>(png->size()));
        bytes = png->size();
    }
    state.counters["png_KiB"] = static_cast<double>(bytes) / 1024.0;
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int count : {100, 1000, 5000})
        for (int px : {256, 1024}) b->Args({count, px});
}

BENCHMARK(BM_StageRead)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageTheme)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StagePlan)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StagePlanDistantArrows)->DenseRange(1000, 5000, 1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StagePaint)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageCompose)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageEncodeAndWrite)->Apply(sizes)->Unit(benchmark::kMillisecond);

}  // namespace
