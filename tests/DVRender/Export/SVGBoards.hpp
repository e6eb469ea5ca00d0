#pragma once
// Seeded boards of every element kind for the SVG export tests: hostile ones (texts, ids and
// colours full of markup characters, controls and non-ASCII) for well-formedness, and plain
// ones (exact geometry, solid strokes, no shadows, real colours) to draw with two renderers.

#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/Element.hpp"
#include "DVRender/Scene/GenericIcons.hpp"
#include "tests/DVGeometry/TestElements.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace dv::svgtest {

class BoardDice {
public:
    explicit BoardDice(std::uint32_t seed) : rng_(seed) {}
    double real(double from, double to) { return std::uniform_real_distribution<double>(from, to)(rng_); }
    int integer(int from, int to) { return std::uniform_int_distribution<int>(from, to)(rng_); }
    bool chance(double p) { return real(0, 1) < p; }
    template <class T>
    const T& pick(const std::vector<T>& from) {
        return from[static_cast<std::size_t>(integer(0, static_cast<int>(from.size()) - 1))];
    }

private:
    std::mt19937 rng_;
};

// Pieces of text that escaping must handle: markup characters, every C0 control, the two
// noncharacters XML forbids, a CDATA end, a comment start, and characters beyond ASCII.
inline std::string hostileText(BoardDice& dice) {
    static const std::vector<std::string> pieces = {
        "\"", "&", "<", ">", "'", "&amp;", "]]>", "<!--", "\xEF\xBF\xBE", "\xEF\xBF\xBF", "\xEF\xBF\xBD",
        "caf\xC3\xA9", "\xF0\x9F\x99\x82", "\n", "\t", "\r", "word", "two words", " ", "x",
    };
    std::string out;
    const int n = dice.integer(0, 8);
    for (int i = 0; i < n; ++i) {
        if (dice.chance(0.25)) out += static_cast<char>(dice.integer(0, 31));
        else out += dice.pick(pieces);
    }
    return out;
}

struct BoardStyle {
    bool hostile = false;  // hostile texts, ids, colours and sources; every stroke style
    bool rotated = false;  // some elements turned
    bool texts = true;     // labels and text elements
    std::string imageSource = "data:image/png;base64,";
};

inline std::vector<Element> generatedBoard(std::uint32_t seed, BoardStyle style) {
    BoardDice dice(seed);
    static const std::vector<std::string> colours = {"#1e1e1e", "#1971c2", "#e03131", "#2f9e44", "#f08c00"};
    static const std::vector<std::string> fills = {"transparent", "#a5d8ff", "#ffc9c9", "#b2f2bb", "transparent"};
    static const std::vector<std::string> hostileIds = {"a.b", "ab", "\xC3\xA9", "\xC3\xBC", "ab-2", "x y", "", "n"};
    static const std::vector<std::string> stencilRefs = {"generic/server", "generic/database", "generic/cache",
                                                         "generic/queue",  "generic/network",  "generic/api",
                                                         "k8s/pod",        "nope/missing"};
    static const std::vector<ArrowHeadStyle> heads = {ArrowHeadStyle::open,        ArrowHeadStyle::triangle,
                                                      ArrowHeadStyle::triangleFilled, ArrowHeadStyle::diamond,
                                                      ArrowHeadStyle::diamondFilled,  ArrowHeadStyle::circle};
    const int count = dice.integer(4, 14);
    std::vector<Element> board;
    auto text = [&](const char* fallback) { return style.hostile ? hostileText(dice) : std::string(fallback); };
    auto labelled = [&] { return style.texts && dice.chance(0.5); };
    // Painting clips a label to its shape and the export does not: plain boards give labels room.
    auto fitLabel = [&](double& width, double& height) {
        if (style.hostile) return;
        width = std::max(width, 120.0);
        height = std::max(height, 60.0);
    };
    auto colour = [&](const std::vector<std::string>& pool) {
        return style.hostile && dice.chance(0.2) ? hostileText(dice) : dice.pick(pool);
    };
    for (int i = 0; i < count; ++i) {
        const double x = dice.real(0, 400);
        const double y = dice.real(0, 300);
        const double w = dice.real(30, 140) * (style.hostile && dice.chance(0.1) ? -1 : 1);
        const double h = dice.real(30, 100);
        Element e;
        int kind = dice.integer(0, 11);
        if (kind == 10 && !style.texts) kind = 0;
        switch (kind) {
            case 0:
            case 1:
            case 2: {
                Element::Box box;
                box.width = w;
                box.height = h;
                if (kind == 0 && dice.chance(0.5)) box.cornerRadius = dice.real(0, 20);
                if (labelled()) {
                    box.label = text("Label");
                    fitLabel(box.width, box.height);
                }
                e.payload = kind == 0   ? Element::Payload::rectangle(box)
                            : kind == 1 ? Element::Payload::ellipse(box)
                                        : Element::Payload::rhombus(box);
                break;
            }
            case 3: {
                Element::Shape shape;
                shape.kind = static_cast<ShapeKind>(dice.integer(0, 7));
                shape.width = w;
                shape.height = h;
                if (labelled()) {
                    shape.label = text("Step");
                    fitLabel(shape.width, shape.height);
                }
                e.payload = Element::Payload(shape);
                break;
            }
            case 4: {
                Element::Stencil stencil;
                stencil.width = std::fabs(w);
                stencil.height = std::fabs(w);
                stencil.source = style.hostile && dice.chance(0.3)
                                     ? StencilSource::embedded(hostileText(dice), "p", "n")
                                     : StencilSource::builtin(dice.pick(stencilRefs));
                if (labelled()) stencil.label = text("Service");
                e.payload = Element::Payload(stencil);
                break;
            }
            case 5:
            case 6: {
                ConnectorFields ends;
                ends.x2 = x + dice.real(-200, 200);
                ends.y2 = y + dice.real(-200, 200);
                if (!board.empty() && dice.chance(0.4)) ends.startElementId = dice.pick(board).id;
                if (!board.empty() && dice.chance(0.4)) ends.endElementId = dice.pick(board).id;
                if (dice.chance(0.3)) ends.routing = ConnectorRouting::elbow;
                ends.endHeadStyle = dice.pick(heads);
                if (labelled()) ends.label = text("flows");
                if (kind == 5) {
                    Element::Line line;
                    static_cast<ConnectorFields&>(line) = ends;
                    line.arrowHead = static_cast<ArrowHead>(dice.integer(0, 3));
                    line.startHeadStyle = dice.pick(heads);
                    if (dice.chance(0.3)) {
                        line.cx = (x + ends.x2) / 2 + dice.real(-60, 60);
                        line.cy = (y + ends.y2) / 2 + dice.real(-60, 60);
                    }
                    e.payload = Element::Payload(line);
                } else {
                    Element::Arrow arrow;
                    static_cast<ConnectorFields&>(arrow) = ends;
                    e.payload = Element::Payload(arrow);
                }
                break;
            }
            case 7: {
                Element::Curve curve{x + dice.real(-150, 150), y + dice.real(-150, 150), x + dice.real(-100, 100),
                                     y + dice.real(-100, 100)};
                e.payload = Element::Payload(curve);
                break;
            }
            case 8:
            case 9: {
                // Polygons jump from corner to corner; pen strokes move in small steps that
                // turn gently, as a hand draws them.
                std::vector<Point> points;
                const int n = kind == 8 ? dice.integer(2, 6) : dice.integer(2, 60);
                double px = x, py = y, heading = dice.real(0, 2 * std::numbers::pi);
                for (int p = 0; p < n; ++p) {
                    points.push_back({px, py});
                    if (kind == 8) {
                        px += dice.real(-60, 60);
                        py += dice.real(-60, 60);
                    } else {
                        heading += dice.real(-0.3, 0.3);
                        px += 4 * std::cos(heading);
                        py += 4 * std::sin(heading);
                    }
                }
                if (kind == 8) {
                    Element::Polygon polygon{points, dice.chance(0.5)};
                    e.payload = Element::Payload(polygon);
                } else {
                    Element::Freehand freehand{points, std::nullopt};
                    e.payload = Element::Payload(freehand);
                }
                break;
            }
            case 10: {
                Element::Text t;
                t.content = text("Some words on two lines\nand more");
                t.fontSize = dice.real(12, 24);
                t.fontFamily = style.hostile ? hostileText(dice) : std::string("Arial");
                t.width = std::fabs(w) + 60;
                t.height = h;
                if (dice.chance(0.5)) t.padding = dice.real(0, 12);
                t.textAlign = static_cast<TextAlign>(dice.integer(0, 2));
                if (dice.chance(0.3)) t.bold = true;
                if (dice.chance(0.3)) t.italic = true;
                e.payload = Element::Payload(t);
                break;
            }
            default: {
                Element::Image image{style.hostile ? hostileText(dice) : style.imageSource, w, h, 0, 0};
                e.payload = Element::Payload(image);
                break;
            }
        }
        e.id = style.hostile && dice.chance(0.6) ? dice.pick(hostileIds) : "el-" + std::to_string(i);
        e.x = x;
        e.y = y;
        e.strokeColor = colour(colours);
        e.fillColor = colour(fills);
        e.strokeWidth = dice.pick(std::vector<double>{1, 2, 2, 4});
        e.opacity = 1;
        // The export leaves polygons, curves and elbow routes unturned; plain boards, which two
        // renderers must draw alike, turn only what both turn.
        const auto ends = connectorEnds(e);
        const bool turnsInBoth = kind != 7 && kind != 8 && !(ends && ends->isElbow());
        if (style.rotated && (style.hostile || turnsInBoth) && dice.chance(0.3))
            e.rotation = dice.real(-std::numbers::pi, std::numbers::pi);
        if (style.hostile) {
            e.strokeStyle = static_cast<StrokeStyle>(dice.integer(0, 2));
            e.opacity = dice.real(0, 1);
        }
        board.push_back(std::move(e));
    }
    return board;
}

}  // namespace dv::svgtest
