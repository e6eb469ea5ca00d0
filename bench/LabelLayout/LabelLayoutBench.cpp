// Connector-label layout of whole boards: a realistic 5000-element board (target: a full layout
// under 150 ms), an update after moving one box on it, and a board built to defeat the search
// (2,500 labelled elbow connectors among 2,500 boxes stacked at one place; target under 2 s,
// reached through the evaluation budget).
#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "bench/LabelLayout/RealisticBoard.hpp"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace dv;
using bench::connector;
using bench::numbered;
using bench::realisticBoard;

// 2,500 rectangles stacked at one place with 2,500 labelled elbow connectors among them, each
// leaving right and entering from the left, so that every route doubles back over the stack.
std::vector<Element> stackedBoard() {
    std::vector<Element> elements;
    for (int i = 0; i < 2500; ++i) {
        Element::Box b;
        b.width = 100;
        b.height = 60;
        elements.push_back(dv::test::element(numbered("n", i), 0, 0, Element::Payload::rectangle(b)));
    }
    for (int i = 0; i < 2500; ++i) {
        elements.push_back(connector(i, numbered("n", i), numbered("n", (i + 1) % 2500), {50, 30},
                                     {50, 30}, 5));
    }
    return elements;
}

void BM_FullLayoutRealistic(benchmark::State& state) {
    const ElementIndex index(realisticBoard());
    for (auto _ : state) {
        ConnectorLabelLayout layout(index);
        benchmark::DoNotOptimize(layout);
    }
}
BENCHMARK(BM_FullLayoutRealistic)->Unit(benchmark::kMillisecond);

void BM_RoutesRealistic(benchmark::State& state) {
    const ElementIndex index(realisticBoard());
    for (auto _ : state) {
        for (const Element& e : index.elements()) {
            if (auto ends = connectorEnds(e)) benchmark::DoNotOptimize(resolveConnectorRoute(*ends, index));
        }
    }
}
BENCHMARK(BM_RoutesRealistic)->Unit(benchmark::kMillisecond);

void BM_UpdateAfterOneMove(benchmark::State& state) {
    std::vector<Element> elements = realisticBoard();
    const ElementIndex before(elements);
    elements[1275].x += 7;
    const ElementIndex after(elements);
    const ConnectorLabelLayout start(before);
    for (auto _ : state) {
        ConnectorLabelLayout layout = start;
        layout.update(after);
        state.counters["recomputed"] = static_cast<double>(layout.recomputedCount());
        benchmark::DoNotOptimize(layout);
    }
}
BENCHMARK(BM_UpdateAfterOneMove)->Unit(benchmark::kMillisecond);

void BM_FullLayoutStacked(benchmark::State& state) {
    const ElementIndex index(stackedBoard());
    for (auto _ : state) {
        ConnectorLabelLayout layout(index);
        benchmark::DoNotOptimize(layout);
    }
}
BENCHMARK(BM_FullLayoutStacked)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
