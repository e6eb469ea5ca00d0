// Editor geometry under load: layered layout of a 100,000-vertex chain (target: under 1 s) and of
// a star with 50,000 edges (target: under 200 ms), and alignment guides for one pointer move
// against 5,000 other elements (target: under 1 ms). Each result's label repeats its target.
#include "DVGeometry/AlignGuides.hpp"
#include "DVGeometry/LayeredLayout.hpp"
#include "tests/DVGeometry/TestElements.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace dv;

std::string numbered(std::string prefix, int i) {
    prefix += std::to_string(i);
    return prefix;
}

void BM_LayeredLayoutChain(benchmark::State& state) {
    const int n = 100000;
    std::vector<LayeredLayout::Node> nodes;
    std::vector<LayeredLayout::Edge> edges;
    for (int i = 0; i < n; ++i) nodes.push_back({numbered("n", i), 120, 40});
    for (int i = 1; i < n; ++i) edges.push_back({numbered("n", i - 1), numbered("n", i)});
    for (auto _ : state) {
        auto positions = LayeredLayout::layout(nodes, edges);
        benchmark::DoNotOptimize(positions);
    }
    state.SetLabel("100,000-vertex chain; target < 1000 ms");
}
BENCHMARK(BM_LayeredLayoutChain)->Unit(benchmark::kMillisecond);

void BM_LayeredLayoutStar(benchmark::State& state) {
    const int leaves = 50000;
    std::vector<LayeredLayout::Node> nodes{{"hub", 120, 40}};
    std::vector<LayeredLayout::Edge> edges;
    for (int i = 0; i < leaves; ++i) {
        nodes.push_back({numbered("leaf", i), 120, 40});
        edges.push_back({"hub", numbered("leaf", i)});
    }
    for (auto _ : state) {
        auto positions = LayeredLayout::layout(nodes, edges);
        benchmark::DoNotOptimize(positions);
    }
    state.SetLabel("50,000-edge star; target < 200 ms");
}
BENCHMARK(BM_LayeredLayoutStar)->Unit(benchmark::kMillisecond);

void BM_AlignGuidesPointerMove(benchmark::State& state) {
    // A 100 x 50 grid of boxes; the selection is dragged across it, one position per move.
    std::vector<Element> board;
    for (int i = 0; i < 5000; ++i) {
        board.push_back(test::rectangle(numbered("e", i), (i % 100) * 150.0, (i / 100) * 90.0, 100 + i % 7,
                                        50 + i % 5));
    }
    Element selection = test::rectangle("selected", 0, 0, 120, 60);
    const AlignGuideTargets targets(board, {JSStringKey("selected")});
    std::vector<Element> selected{selection};
    double step = 0;
    std::size_t guides = 0;
    for (auto _ : state) {
        step += 1.37;
        selected[0].x = 40 + std::fmod(step * 7, 14000);
        selected[0].y = 30 + std::fmod(step * 3, 4400);
        auto found = computeAlignGuides(selected, targets, 1);
        guides += found.size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["guides/move"] = benchmark::Counter(static_cast<double>(guides), benchmark::Counter::kAvgIterations);
    state.SetLabel("5,000 targets; target < 1 ms per move");
}
BENCHMARK(BM_AlignGuidesPointerMove)->Unit(benchmark::kMicrosecond);

} // namespace
