#pragma once
// A realistic 5000-element board: 2,500 boxes, flowchart shapes and labelled stencils on a grid,
// and 2,500 labelled connectors between neighbours (straight, elbow, anchored elbow, curved).
// Shared by the benchmarks that ask questions of a whole board.

#include "DVModel/Element.hpp"
#include "tests/DVGeometry/TestElements.hpp"

#include <random>
#include <string>
#include <vector>

namespace dv::bench {

inline std::string numbered(std::string prefix, int i) {
    prefix += std::to_string(i);
    return prefix;
}

inline Element node(int i, double x, double y, std::mt19937_64& rng) {
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

inline Element connector(int i, const std::string& from, const std::string& to, Point a, Point b, int style) {
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
inline std::vector<Element> realisticBoard() {
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

} // namespace dv::bench
