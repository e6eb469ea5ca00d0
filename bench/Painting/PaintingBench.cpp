// Painting a mixed board of 5000 hand-drawn elements, into a recording and into a 512-pixel
// bitmap (the thumbnail's budget), with the board scaled to fit.

#include <benchmark/benchmark.h>

#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/Element.hpp"
#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Scene/ElementPainting.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace dv;

class NoImages final : public ImageProvider {
public:
    ImageLookup image(const std::string&) override { return ImageLookup::loading(); }
};

// A grid of 5000 elements cycling through every kind, rough, labelled where a kind has labels.
std::vector<Element> mixedBoard() {
    std::vector<Element> elements;
    for (int i = 0; i < 5000; ++i) {
        Element e;
        e.id = "el-" + std::to_string(i);
        e.x = (i % 70) * 160.0;
        e.y = (i / 70) * 120.0;
        e.strokeColor = CSSColor("#1e1e1e");
        e.fillColor = CSSColor(i % 3 ? "transparent" : "#ffeb3b");
        e.strokeWidth = 2;
        e.opacity = 1;
        e.roughness = 1;
        Element::Box box;
        box.width = 120;
        box.height = 80;
        box.label = "Service " + std::to_string(i);
        switch (i % 10) {
        case 0: e.payload = Element::Payload::rectangle(box); break;
        case 1: e.payload = Element::Payload::ellipse(box); break;
        case 2: e.payload = Element::Payload::rhombus(box); break;
        case 3: {
            Element::Shape s;
            s.kind = ShapeKind::database;
            s.width = 120;
            s.height = 80;
            s.label = box.label;
            e.payload = Element::Payload(s);
            break;
        }
        case 4: {
            Element::Stencil s;
            s.width = 64;
            s.height = 64;
            s.source = StencilSource::builtin("generic/server");
            s.label = box.label;
            e.payload = Element::Payload(s);
            break;
        }
        case 5: {
            Element::Arrow a;
            a.x2 = e.x + 140;
            a.y2 = e.y + 100;
            a.endHeadStyle = ArrowHeadStyle::triangleFilled;
            e.payload = Element::Payload(a);
            break;
        }
        case 6: {
            Element::Line l;
            l.x2 = e.x + 140;
            l.y2 = e.y;
            l.routing = ConnectorRouting::elbow;
            e.payload = Element::Payload(l);
            break;
        }
        case 7: {
            Element::Freehand f;
            for (int k = 0; k < 20; ++k) f.points.push_back({e.x + k * 6.0, e.y + (k % 4) * 10.0});
            e.payload = Element::Payload(f);
            break;
        }
        case 8: {
            Element::Text t;
            t.content = "Some text that wraps over a few lines of the block";
            t.fontSize = 16;
            t.fontFamily = "Arial, sans-serif";
            t.width = 140;
            t.height = 80;
            e.payload = Element::Payload(t);
            break;
        }
        default: {
            Element::Polygon p;
            p.points = {{e.x, e.y}, {e.x + 100, e.y + 20}, {e.x + 60, e.y + 90}};
            p.closed = true;
            e.payload = Element::Payload(p);
            break;
        }
        }
        elements.push_back(std::move(e));
    }
    return elements;
}

const std::vector<Element>& board() {
    static const auto elements = mixedBoard();
    return elements;
}

void BM_PaintIntoRecording(benchmark::State& state) {
    const ElementIndex index(board());
    NoImages images;
    const RenderEnvironment environment(RenderTheme::light, images);
    for (auto _ : state) {
        RecordingContext context;
        for (const Element& e : index.elements()) drawElement(context, e, &index, std::nullopt, environment);
        benchmark::DoNotOptimize(context.displayList());
    }
}
BENCHMARK(BM_PaintIntoRecording)->Unit(benchmark::kMillisecond);

void BM_PaintInto512Bitmap(benchmark::State& state) {
    const ElementIndex index(board());
    NoImages images;
    const RenderEnvironment environment(RenderTheme::dark, images);
    for (auto _ : state) {
        auto bitmap = gfx::Bitmap::create(512, 408);
        auto graphics = std::make_shared<gfx::GraphicsContext>(*bitmap);
        CGDrawingContext context(graphics);
        context.scale(512.0 / 11200, 512.0 / 11200);
        for (const Element& e : index.elements()) drawElement(context, e, &index, std::nullopt, environment);
        benchmark::DoNotOptimize(bitmap->byteCount());
    }
}
BENCHMARK(BM_PaintInto512Bitmap)->Unit(benchmark::kMillisecond);

}  // namespace
