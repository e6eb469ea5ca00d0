#pragma once
// Builders for boards with bound connectors and labels, and a seeded random board with random
// edits, for the connector and label-layout tests.

#include "TestElements.hpp"

#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVModel/Element.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace dv::test {

inline Element boxOfKind(ElementType type, std::string id, double x, double y, double w, double h) {
    Element::Box box;
    box.width = w;
    box.height = h;
    if (type == ElementType::ellipse) return element(std::move(id), x, y, Element::Payload::ellipse(box));
    if (type == ElementType::rhombus) return element(std::move(id), x, y, Element::Payload::rhombus(box));
    return element(std::move(id), x, y, Element::Payload::rectangle(box));
}

inline Element flowShape(std::string id, ShapeKind kind, double x, double y, double w, double h) {
    Element::Shape s;
    s.kind = kind;
    s.width = w;
    s.height = h;
    return element(std::move(id), x, y, Element::Payload(s));
}

// A connector (arrow, or line when `asLine`) with its bindings, anchors, routing and label.
struct Wire {
    std::string id = {};
    Point from = {};
    Point to = {};
    std::optional<std::string> start = std::nullopt;
    std::optional<std::string> end = std::nullopt;
    std::optional<ConnectorAnchor> startAnchor = std::nullopt;
    std::optional<ConnectorAnchor> endAnchor = std::nullopt;
    bool elbow = false;
    std::optional<std::string> label = std::nullopt;
    bool asLine = false;
    std::optional<Point> control = std::nullopt;
};

inline Element wire(const Wire& w) {
    auto fill = [&](ConnectorFields& c) {
        c.x2 = w.to.x;
        c.y2 = w.to.y;
        c.startElementId = w.start;
        c.endElementId = w.end;
        c.startAnchor = w.startAnchor;
        c.endAnchor = w.endAnchor;
        if (w.elbow) c.routing = ConnectorRouting::elbow;
        c.label = w.label;
    };
    if (w.asLine || w.control) {
        Element::Line l;
        fill(l);
        if (w.control) {
            l.cx = w.control->x;
            l.cy = w.control->y;
        }
        return element(w.id, w.from.x, w.from.y, Element::Payload(l));
    }
    Element::Arrow a;
    fill(a);
    return element(w.id, w.from.x, w.from.y, Element::Payload(a));
}

inline ConnectorAnchor anchorAt(double x, double y) {
    ConnectorAnchor a;
    a.x = x;
    a.y = y;
    return a;
}

// Whether two sets of label boxes hold the same ids with the same boxes, bit for bit.
inline ::testing::AssertionResult sameBoxes(const ConnectorLabelBoxes& a, const ConnectorLabelBoxes& b) {
    const auto x = a.entries();
    const auto y = b.entries();
    if (x.size() != y.size()) return ::testing::AssertionFailure() << x.size() << " boxes against " << y.size();
    for (std::size_t i = 0; i < x.size(); ++i) {
        const LabelBox& p = x[i].second;
        const LabelBox& q = y[i].second;
        const auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
        if (x[i].first != y[i].first || bits(p.x) != bits(q.x) || bits(p.y) != bits(q.y) || bits(p.w) != bits(q.w) ||
            bits(p.h) != bits(q.h)) {
            return ::testing::AssertionFailure() << "box of " << x[i].first << " differs";
        }
    }
    return ::testing::AssertionSuccess();
}

// Random boards: boxes of every sized kind, stencils with labels, freehand strokes, and labelled
// straight, elbow and curved connectors bound to them or free, some hidden.
class RandomBoard {
public:
    explicit RandomBoard(std::uint64_t seed) : rng_(seed) {}

    double coord(double span = 800) { return std::uniform_real_distribution<double>(0, span)(rng_); }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }

    std::string freshId() {
        std::string id = std::to_string(next_++);
        id.insert(id.begin(), 'e');
        return id;
    }

    Element node(const std::string& id) {
        const double x = coord(), y = coord();
        const double w = chance(0.1) ? 0 : coord(160) - 20;
        const double h = chance(0.1) ? 0 : coord(120) - 10;
        switch (pick(6)) {
        case 0: return boxOfKind(ElementType::ellipse, id, x, y, w, h);
        case 1: return boxOfKind(ElementType::rhombus, id, x, y, w, h);
        case 2: return flowShape(id, ShapeKind::database, x, y, w, h);
        case 3: return stencil(id, x, y, 64, 64, chance(0.5) ? std::optional<std::string>("Server\nrack") : std::nullopt);
        case 4: return freehandAt(id, x, y);
        default: {
            Element r = rectangle(id, x, y, w, h);
            if (chance(0.2)) r.rotation = 0.3;
            return r;
        }
        }
    }

    Element connector(const std::string& id, const std::vector<Element>& board) {
        Wire w;
        w.id = id;
        w.from = {coord(), coord()};
        w.to = {coord(), coord()};
        auto someId = [&]() -> std::optional<std::string> {
            if (board.empty() || chance(0.3)) return std::nullopt;
            return board[static_cast<std::size_t>(pick(static_cast<int>(board.size())))].id;
        };
        w.start = someId();
        w.end = someId();
        if (chance(0.2)) w.startAnchor = anchorAt(coord(1), coord(1));
        if (chance(0.2)) w.endAnchor = anchorAt(coord(1), coord(1));
        const int style = pick(5);
        w.elbow = style <= 1;
        if (style == 4) w.control = Point{coord(), coord()};
        w.asLine = chance(0.5);
        if (chance(0.8)) w.label = label();
        Element e = wire(w);
        if (chance(0.05)) e.visible = false;
        return e;
    }

    std::string label() {
        static const char* const labels[] = {"yes", "no", "a much longer label", "x", "two\nlines", " "};
        return labels[pick(6)];
    }

    std::vector<Element> board(std::size_t size) {
        std::vector<Element> out;
        for (std::size_t i = 0; i < size; ++i) {
            out.push_back(chance(0.45) ? connector(freshId(), out) : node(freshId()));
        }
        return out;
    }

    // One random edit: move, add, remove, relabel, hide or show, rebind, or swap two elements.
    // Returns the edited position when the edit changed one element in place.
    std::optional<std::size_t> edit(std::vector<Element>& board) {
        if (board.empty()) {
            board.push_back(node(freshId()));
            return std::nullopt;
        }
        const auto at = static_cast<std::size_t>(pick(static_cast<int>(board.size())));
        Element& e = board[at];
        switch (pick(7)) {
        case 0:
            e.x += coord(100) - 50;
            e.y += coord(100) - 50;
            return at;
        case 1: {
            const auto where = static_cast<std::size_t>(pick(static_cast<int>(board.size()) + 1));
            Element added = chance(0.5) ? connector(freshId(), board) : node(freshId());
            board.insert(board.begin() + static_cast<std::ptrdiff_t>(where), std::move(added));
            return std::nullopt;
        }
        case 2:
            board.erase(board.begin() + static_cast<std::ptrdiff_t>(at));
            return std::nullopt;
        case 3:
            if (ConnectorFields* c = e.payload.connector()) c->label = chance(0.2) ? std::string() : label();
            return at;
        case 4:
            e.visible = !e.visible.value_or(true);
            return at;
        case 5:
            if (ConnectorFields* c = e.payload.connector()) {
                c->endElementId = board[static_cast<std::size_t>(pick(static_cast<int>(board.size())))].id;
            }
            return at;
        default: {
            const auto other = static_cast<std::size_t>(pick(static_cast<int>(board.size())));
            std::swap(board[at], board[other]);
            return std::nullopt;
        }
        }
    }

private:
    Element freehandAt(const std::string& id, double x, double y) {
        Element::Freehand f;
        f.points = {{x, y}, {x + 40, y + 10}, {x + 80, y - 5}};
        return element(id, 0, 0, Element::Payload(f));
    }

    std::mt19937_64 rng_;
    int next_ = 0;
};

} // namespace dv::test
