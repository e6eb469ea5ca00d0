#pragma once
// Orthogonal connector routes and the polyline questions asked of any route: length, point at a
// fraction of the length, distance from a point.

#include "DVModel/SmallRecords.hpp"

#include <optional>
#include <vector>

namespace dv {

/// Outward normal of the element side a connector end is attached to.
struct RouteDirection {
    double dx = 0;
    double dy = 0;
    bool operator==(const RouteDirection&) const = default;

    static constexpr RouteDirection up() { return {0, -1}; }
    static constexpr RouteDirection right() { return {1, 0}; }
    static constexpr RouteDirection down() { return {0, 1}; }
    static constexpr RouteDirection left() { return {-1, 0}; }
};

/// Standard length of the straight stub with which a route leaves or enters an attached side.
inline constexpr double ELBOW_STUB = 16;

std::vector<Point> computeElbowRoute(Point start, std::optional<RouteDirection> startDirection, Point end,
                                     std::optional<RouteDirection> endDirection, double startStub, double endStub);

/// Drops near-duplicate points, then collinear ones (including points where the route turns back).
std::vector<Point> simplifyRoute(const std::vector<Point>& route);

double getRouteLength(const std::vector<Point>& route);

Point getRoutePointAt(const std::vector<Point>& route, double t);

/// +infinity for fewer than two points; a NaN segment distance makes the result NaN.
double distToRoute(double px, double py, const std::vector<Point>& route);

} // namespace dv
