#pragma once
// A point on a cubic Bezier piece, with the grouping that outlines and strokes are drawn with.

#include "DVModel/SmallRecords.hpp"

namespace dv::detail {

inline Point cubicPoint(const Point& start, const Point& c1, const Point& c2, const Point& end, double t) {
    const double u = 1 - t;
    const double a = (t * t) * t;
    const double b = ((u * 3) * t) * t;
    const double c = (u * (u * 3)) * t;
    const double d = (u * u) * u;
    return {a * end.x + (b * c2.x + (c * c1.x + d * start.x)), a * end.y + (b * c2.y + (c * c1.y + d * start.y))};
}

} // namespace dv::detail
