// Text-heavy and shadow-heavy drawing onto a bitmap, the two costs that dominate a thumbnail of
// a busy board. Run with FONTCONFIG_FILE pointing at tests/data/fonts/fonts.conf for numbers
// that do not depend on the machine's fonts.
#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Canvas/FontResolver.hpp"
#include "Platform/Graphics/Bitmap.hpp"

#include <benchmark/benchmark.h>

#include <string>

namespace {

struct Target {
    dv::gfx::Bitmap bitmap;
    std::shared_ptr<dv::CGDrawingContext> ctx;
    explicit Target(int side)
        : bitmap(*dv::gfx::Bitmap::create(side, side)),
          ctx(std::make_shared<dv::CGDrawingContext>(std::make_shared<dv::gfx::GraphicsContext>(bitmap))) {}
};

// 200 short labels in a few fonts, as a labelled diagram has them.
void BM_TextLabels(benchmark::State& state) {
    Target t(1024);
    const char* fonts[] = {"16px sans-serif", "bold 14px serif", "12px monospace", "italic 20px Arial, sans-serif"};
    for (auto _ : state) {
        for (int i = 0; i < 200; ++i) {
            t.ctx->setFont(fonts[i % 4]);
            t.ctx->setTextAlign(i % 2 ? "center" : "start");
            t.ctx->fillText("Service " + std::to_string(i) + " handles requests", 20 + (i % 5) * 200, 20 + (i / 5) * 25);
        }
    }
    state.SetItemsProcessed(state.iterations() * 200);
}
BENCHMARK(BM_TextLabels)->Unit(benchmark::kMillisecond);

// One shadowed 200 × 100 rectangle at a given blur, each time a fraction of a pixel elsewhere so
// that its shadow is blurred anew; and the same rectangle again and again, whose shadow mask is
// blurred once and then reused.
void BM_ShadowedRect(benchmark::State& state) {
    Target t(512);
    t.ctx->setShadowColor("rgba(0, 0, 0, 0.3)");
    t.ctx->setShadowBlur(static_cast<double>(state.range(0)));
    t.ctx->setShadowOffsetX(4);
    t.ctx->setShadowOffsetY(4);
    const bool repeated = state.range(1) != 0;
    int i = 0;
    for (auto _ : state) t.ctx->fillRect(100 + (repeated ? 0 : (i++ % 1000) / 1000.0), 100, 200, 100);
}
BENCHMARK(BM_ShadowedRect)->ArgsProduct({{0, 4, 40, 1000}, {0, 1}})->ArgNames({"blur", "repeated"})->Unit(benchmark::kMicrosecond);

// A shadowed element as painting draws one: fill, stroke and label, each with its own shadow.
void BM_ShadowedElements(benchmark::State& state) {
    Target t(1024);
    t.ctx->setShadowColor("rgba(0, 0, 0, 0.25)");
    t.ctx->setShadowBlur(8);
    t.ctx->setShadowOffsetX(4);
    t.ctx->setShadowOffsetY(4);
    t.ctx->setFont("16px sans-serif");
    t.ctx->setTextAlign("center");
    for (auto _ : state) {
        for (int i = 0; i < 50; ++i) {
            const double x = 20 + (i % 7) * 140, y = 20 + (i / 7) * 120;
            t.ctx->beginPath();
            t.ctx->roundRect(x, y, 120, 80, 10);
            t.ctx->setFillStyle("#e3f2fd");
            t.ctx->fill();
            t.ctx->stroke();
            t.ctx->setFillStyle("#1e1e1e");
            t.ctx->fillText("Element " + std::to_string(i), x + 60, y + 45);
        }
    }
    state.SetItemsProcessed(state.iterations() * 50);
}
BENCHMARK(BM_ShadowedElements)->Unit(benchmark::kMillisecond);

void BM_FontResolverHit(benchmark::State& state) {
    dv::CanvasFont font;
    font.family = "Helvetica, Arial, sans-serif";
    font.size = 16;
    for (auto _ : state) benchmark::DoNotOptimize(dv::FontResolver::ctFont(font));
}
BENCHMARK(BM_FontResolverHit);

} // namespace
