#pragma once
// Closest point on a segment, shared by the curve, route and outline distances.

#include "DVModel/JSNumber.hpp"

namespace dv::detail {

/// The clamped projection parameter of (px, py) on the segment from (ax, ay) along (dx, dy)
/// whose squared length is len2.
inline double segmentParameter(double px, double py, double ax, double ay, double dx, double dy, double len2) {
    return jsMax(0.0, jsMin(1.0, (dy * (py - ay) + (px - ax) * dx) / len2));
}

/// Distance from (px, py) to the segment from (ax, ay) to (bx, by); a segment of squared
/// length exactly 0 is its start point (a NaN length is not 0).
inline double distToSegment(double px, double py, double ax, double ay, double bx, double by) {
    double dx = bx - ax;
    double dy = by - ay;
    double len2 = dx * dx + dy * dy;
    double cx = ax, cy = ay;
    if (len2 != 0) {
        double s = segmentParameter(px, py, ax, ay, dx, dy, len2);
        cx = ax + s * dx;
        cy = ay + s * dy;
    }
    return jsHypot(px - cx, py - cy);
}

} // namespace dv::detail
