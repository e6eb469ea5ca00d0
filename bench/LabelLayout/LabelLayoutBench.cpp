// Connector-label layout of whole boards: a realistic 5000-element board (target: a full layout
// under 150 ms), an update after moving one box on it, and a board built to defeat the search
// (2,500 labelled elbow connectors among 2,500 boxes stacked at one place; target under 2 s,
// reached through the evaluation budget).
#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "tests/DVGeometry/TestElements.hpp"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace dv;

std::string numbered(std::string prefix, int i) {
    prefix += std::to_string(i);
    return prefix;
}

Element node(int i, double x, double y, std::mt19937_64& rng) {
    const std::string id = numbered("n", i);
    switch (rng() % 4) {
    case 0: {
        Element::Stencil s;
        s.width = s.height = 64;
        s.source = StencilSource::builtin("generic/server");
        s.label = numbered("Service ", i);
        return dv::test::element(id, x, y, Element::Payload(s));
    }
    case 1: {
        Element::Shape s;
        s.kind = ShapeKind::database;
        s.width = 120;
        s.height = 70;
        s.label = "Store";
        return dv::test::element(id, x, y, Element::Payload(s));
    }
    default: {
        Element::Box b;
        b.width = 140;
        b.height = 60;
        b.label = numbered("Step ", i);
        return dv::test::element(id, x, y, Element::Payload::rectangle(b));
    }
    }
}

Element connector(int i, const std::string& from, const std::string& to, Point a, Point b, int style) {
    const std::string id = numbered("c", i);
    const std::string label = (i % 3 == 0) ? "calls" : (i % 3 == 1) ? "reads from" : "on success";
    auto fill = [&](ConnectorFields& c) {
        c.x2 = b.x;
        c.y2 = b.y;
        c.startElementId = from;
        c.endElementId = to;
        c.label = label;
    };
    if (style == 4) {  // curved line
        Element::Line l;
        fill(l);
        l.cx = (a.x + b.x) / 2 + 40;
        l.cy = (a.y + b.y) / 2 - 40;
        return dv::test::element(id, a.x, a.y, Element::Payload(l));
    }
    Element::Arrow arrow;
    fill(arrow);
    if (style >= 2) arrow.routing = ConnectorRouting::elbow;
    if (style >= 3) {
        ConnectorAnchor anchor;
        anchor.x = 1;
        anchor.y = 0.5;
        arrow.startAnchor = anchor;
    }
    if (style == 5) {
        ConnectorAnchor anchor;
        anchor.x = 0;
        anchor.y = 0.5;
        arrow.endAnchor = anchor;
    }
    return dv::test::element(id, a.x, a.y, Element::Payload(arrow));
}

// 2,500 boxes, shapes and stencils on a 50 x 50 grid, and 2,500 labelled connectors between
// neighbours: 40% straight, 40% elbow (half of them anchored), 20% curved lines.
std::vector<Element> realisticBoard() {
    std::mt19937_64 rng(1);
    std::vector<Element> elements;
    const int side = 50;
    std::vector<Point> centres;
    for (int i = 0; i < side * side; ++i) {
        const double x = (i % side) * 320.0, y = (i / side) * 260.0;
        elements.push_back(node(i, x, y, rng));
        centres.push_back({x + 60, y + 30});
    }
    for (int i = 0; i < side * side; ++i) {
        const int right = (i % side == side - 1) ? i - 1 : i + 1;
        const int down = (i / side == side - 1) ? i - side : i + side;
        const int to = (i % 2 == 0) ? right : down;
        const int style = static_cast<int>(rng() % 5);
        elements.push_back(connector(i, numbered("n", i), numbered("n", to), centres[i], centres[to],
                                     style));
    }
    return elements;
}

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
