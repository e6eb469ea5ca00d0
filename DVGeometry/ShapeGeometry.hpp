#pragma once
// Flowchart shape outlines as polygons, their borders, their SVG path data, and where the labels
// of shapes, boxes and stencils go.

#include "DVModel/Hashing.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/ShapeDefinition.hpp"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace dv {

/// Width taken off a label's base width before it wraps.
inline constexpr double LABEL_INSET = 16;
/// Fraction of the width a label may use inside an ellipse or a rhombus.
inline constexpr double ROUND_LABEL_AREA = 0.7;

struct LabeledShape {
    struct Rectangle {
        bool operator==(const Rectangle&) const = default;
    };
    struct Ellipse {
        bool operator==(const Ellipse&) const = default;
    };
    struct Rhombus {
        bool operator==(const Rhombus&) const = default;
    };
    /// A flowchart shape of the given kind, or one of the three boxes.
    using Kind = std::variant<ShapeKind, Rectangle, Ellipse, Rhombus>;

    Kind kind;
    std::optional<double> labelFontSize;
    bool operator==(const LabeledShape&) const = default;

    /// Rectangles, ellipses, rhombi and flowchart shapes; absent for every other kind.
    static std::optional<LabeledShape> fromElement(const Element& element);
};

/// Subpaths of at least two points; a cubic becomes 16 points, `close` repeats the first point.
std::vector<std::vector<Point>> flattenShapeCommands(const std::vector<ShapeCommand>& commands);

/// The first subpath of the kind's outline (closed: its last point repeats its first), or empty.
std::vector<Point> getShapeOutlinePolygon(ShapeKind kind, double width, double height);

/// Unsigned distance from a local point to the outline.
double getShapeDistToBoundary(ShapeKind kind, double width, double height, double x, double y);

/// Nearest outline point to a local point; the top centre when there is no outline.
Point getShapeNearestBorderPoint(ShapeKind kind, double width, double height, double x, double y);

/// Where a ray from the box centre in direction (dx, dy) leaves the outline; the top centre when
/// the direction is too short or nothing is hit.
Point getShapeBorderPointToward(ShapeKind kind, double width, double height, double dx, double dy);

ShapeBox getShapeTextBox(ShapeKind kind, double width, double height);

/// Width at which a label wraps: the base width less the inset, never below the font size.
double getLabelWrapWidth(const LabeledShape& shape, double width, double height);

/// "M x y", "L x y", "C x1 y1 x2 y2 x y" and "Z" tokens joined by spaces, at most two decimals.
std::string shapeCommandsToPathData(const std::vector<ShapeCommand>& commands, double xOffset, double yOffset);
/// The same appended to `out`.
void appendShapeCommandsPathData(std::string& out, const std::vector<ShapeCommand>& commands, double xOffset,
                                 double yOffset);

/// The stencil's label wrapped at its label width (never broken inside a word); empty without a label.
std::vector<std::string> getStencilLabelLines(const Element::Stencil& stencil);
double getStencilLabelHeight(const Element::Stencil& stencil);
/// 0 for every kind but stencils.
double getStencilLabelHeight(const Element& element);
/// The label's box centred under the stencil at (x, y); absent without label lines.
std::optional<NormalizedRect> getStencilLabelBox(const Element::Stencil& stencil, double x, double y);
/// Absent for every kind but stencils.
std::optional<NormalizedRect> getStencilLabelBox(const Element& element);

} // namespace dv

DV_HASH_MEMBERS(dv::LabeledShape, &dv::LabeledShape::kind, &dv::LabeledShape::labelFontSize);
