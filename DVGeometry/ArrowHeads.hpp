#pragma once
// Which heads a connector carries, their direction on a route, and their outlines.

#include "DVModel/Hashing.hpp"
#include "DVGeometry/QuadraticCurve.hpp"
#include "DVModel/Element.hpp"

#include <functional>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

namespace dv {

/// Outline of one arrow head.
struct ArrowHeadShape {
    /// Drawn as an open stroke.
    struct Polyline {
        std::vector<Point> points;
        bool operator==(const Polyline&) const = default;
    };
    /// A closed outline, filled or only stroked.
    struct Polygon {
        std::vector<Point> points;
        bool filled = false;
        bool operator==(const Polygon&) const = default;
    };
    struct Circle {
        double cx = 0;
        double cy = 0;
        double r = 0;
        bool operator==(const Circle&) const = default;
    };

    std::variant<Polyline, Polygon, Circle> shape;
    bool operator==(const ArrowHeadShape&) const = default;
};

struct ConnectorHead {
    ArrowHeadStyle style = ArrowHeadStyle::open;
    ArrowHeadVector vector;
    bool operator==(const ConnectorHead&) const = default;
};

/// Extent beyond which drawing clips coordinates.
inline constexpr double CLIP_EXTENT = 10000000;

/// Never shorter than 12, longer for thick strokes.
double getArrowHeadLength(double strokeWidth);

ArrowHeadShape getArrowHeadShape(ArrowHeadStyle style, double fromX, double fromY, double tipX, double tipY,
                                 double strokeWidth);

bool hasStartHead(const Element& element);
bool hasEndHead(const Element& element);

ArrowHeadVector getRouteHeadVector(const std::vector<Point>& route, HeadPlacement placement);

/// The heads of a line or arrow, the end head first; `vectorFor` is asked only for ends that carry a head.
std::vector<ConnectorHead> getConnectorHeads(const Element& element,
                                             const std::function<ArrowHeadVector(HeadPlacement)>& vectorFor);

/// The control point (cx, cy) of a line, from its payload or its kept extra keys; absent for
/// every other kind and when a coordinate cannot be read.
std::optional<std::pair<double, double>> lineControlPoint(const Element& element);

} // namespace dv

DV_HASH_MEMBERS(dv::ArrowHeadShape::Polyline, &dv::ArrowHeadShape::Polyline::points);
DV_HASH_MEMBERS(dv::ArrowHeadShape::Polygon, &dv::ArrowHeadShape::Polygon::points, &dv::ArrowHeadShape::Polygon::filled);
DV_HASH_MEMBERS(dv::ArrowHeadShape::Circle, &dv::ArrowHeadShape::Circle::cx, &dv::ArrowHeadShape::Circle::cy,
                &dv::ArrowHeadShape::Circle::r);
DV_HASH_MEMBERS(dv::ArrowHeadShape, &dv::ArrowHeadShape::shape);
DV_HASH_MEMBERS(dv::ConnectorHead, &dv::ConnectorHead::style, &dv::ConnectorHead::vector);
