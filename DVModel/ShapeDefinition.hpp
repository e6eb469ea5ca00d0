#pragma once
// Geometry of the eight flowchart symbols as functions of the element's width and height: the
// closed outline, optional inner detail strokes, and the box that holds the label. The formulas
// keep their exact order of arithmetic, so the outlines come out the same to the last bit.

#include "DVModel/JSONValue.hpp"
#include "DVModel/Vocabulary.hpp"

#include <array>
#include <cstddef>
#include <functional>
#include <variant>
#include <vector>

namespace dv {

// One path command in the shape's local frame (x right, y down, box 0…width by 0…height).
struct ShapeCommand {
    struct Move {
        double x = 0, y = 0;
        bool operator==(const Move&) const = default;
    };
    struct Line {
        double x = 0, y = 0;
        bool operator==(const Line&) const = default;
    };
    struct Cubic {
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0, x = 0, y = 0;
        bool operator==(const Cubic&) const = default;
    };
    struct Close {
        bool operator==(const Close&) const = default;
    };
    using Storage = std::variant<Move, Line, Cubic, Close>;

    Storage command;

    static ShapeCommand move(double x, double y) { return {Move{x, y}}; }
    static ShapeCommand line(double x, double y) { return {Line{x, y}}; }
    static ShapeCommand cubic(double x1, double y1, double x2, double y2, double x, double y) {
        return {Cubic{x1, y1, x2, y2, x, y}};
    }
    static ShapeCommand close() { return {Close{}}; }

    // IEEE equality of the coordinates (0 equals -0, NaN equals nothing).
    bool operator==(const ShapeCommand&) const = default;
    // ["M", x, y], ["L", x, y], ["C", x1, y1, x2, y2, x, y] or ["Z"].
    JSONValue jsonValue() const;
};

struct ShapeBox {
    double x = 0, y = 0, w = 0, h = 0;
    bool operator==(const ShapeBox&) const = default;
};

struct ShapeDefinition {
    using Outline = std::vector<ShapeCommand> (*)(double width, double height);
    using TextBox = ShapeBox (*)(double width, double height);

    // Closed outline, one sub-path ending in close.
    Outline outline = nullptr;
    // Open strokes drawn over the filled outline; nullptr for kinds without any.
    Outline details = nullptr;
    // Where the label goes.
    TextBox textBox = nullptr;

    // Control-point factor of a cubic that approximates a quarter ellipse.
    static constexpr double cubicCircleK = 0.5523;

    // One definition per kind, indexed by the kind's position.
    static const std::array<ShapeDefinition, 8>& shapeDefinitions();
};

// The definition of a kind, from a table built once and shared by every thread.
const ShapeDefinition& definition(ShapeKind kind);

}  // namespace dv

template <> struct std::hash<dv::ShapeCommand> {
    std::size_t operator()(const dv::ShapeCommand& command) const noexcept;
};
template <> struct std::hash<dv::ShapeBox> {
    std::size_t operator()(const dv::ShapeBox& box) const noexcept;
};
