// Recording, replaying and bounding a display list must stay far cheaper than painting: the
// render cache records each element once and replays or bounds the list on every frame.

#include <benchmark/benchmark.h>

#include <cmath>

#include "DVRender/Canvas/RecordingContext.hpp"

namespace {

// Roughly what a hand-drawn box with a label paints: a few strokes of cubic curves, a fill,
// state changes around them and one line of text.
void paintElement(dv::DrawingContext& c, int seed) {
    double x = seed % 97 * 13.0;
    double y = seed % 89 * 11.0;
    c.save();
    c.translate(x, y);
    c.rotate(0.01 * (seed % 7));
    c.setFillStyle("#ffec99");
    c.setStrokeStyle("#1e1e1e");
    c.setLineWidth(2);
    c.beginPath();
    c.roundRect(0, 0, 120, 80, 8);
    c.fill();
    for (int pass = 0; pass < 2; ++pass) {
        c.beginPath();
        c.moveTo(0.5 * pass, 0);
        for (int i = 0; i < 8; ++i) c.bezierCurveTo(15.0 * i, 1, 15.0 * i + 5, -1, 15.0 * i + 15, 0.3 * pass);
        c.stroke();
    }
    c.setFont("16px sans-serif");
    c.setTextAlign("center");
    c.fillText("Label text", 60, 40);
    c.restore();
}

dv::DisplayList sceneList(int elements) {
    dv::RecordingContext context;
    for (int i = 0; i < elements; ++i) paintElement(context, i);
    return context.displayList();
}

void BM_Record(benchmark::State& state) {
    for (auto _ : state) {
        dv::RecordingContext context;
        for (int i = 0; i < state.range(0); ++i) paintElement(context, i);
        benchmark::DoNotOptimize(context.displayList());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Record)->Arg(100)->Arg(5000);

void BM_Replay(benchmark::State& state) {
    dv::DisplayList list = sceneList(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        dv::RecordingContext target;
        list.replay(target);
        benchmark::DoNotOptimize(target.state());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Replay)->Arg(100)->Arg(5000);

void BM_DrawnBounds(benchmark::State& state) {
    dv::DisplayList list = sceneList(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(list.drawnBounds());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DrawnBounds)->Arg(100)->Arg(5000);

void BM_CanvasRecording(benchmark::State& state) {
    dv::DisplayList list = sceneList(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(list.canvasRecording());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CanvasRecording)->Arg(100)->Arg(5000);

} // namespace
