#pragma once
// cairo stores path coordinates as 24.8 fixed-point numbers: device coordinates beyond about
// ±8.4 million wrap around and draw garbage. Geometry that reaches further is cut at a square
// guard box well inside that range before it is handed over.
#include <vector>

namespace dv::gfx::detail {

inline constexpr double GUARD_LIMIT = 4194304.0; // 2^22 device units

struct Vec2 {
    double x, y;
};

inline bool insideGuard(Vec2 p) {
    return p.x >= -GUARD_LIMIT && p.x <= GUARD_LIMIT && p.y >= -GUARD_LIMIT && p.y <= GUARD_LIMIT;
}

/// Appends the points of a cubic Bézier after `p0` (p0 itself excluded) as a polyline.
void flattenCubic(Vec2 p0, Vec2 c1, Vec2 c2, Vec2 p3, std::vector<Vec2>& out);

/// The part of a closed polygon inside the guard box; winding numbers of points inside the box
/// are preserved, so both fill rules give the same region there.
std::vector<Vec2> clipPolygonToGuard(const std::vector<Vec2>& polygon);

/// Cuts a segment to the guard box; false when nothing of it is inside.
bool clipSegmentToGuard(Vec2& a, Vec2& b);

/// The part of the segment a-b inside the box [x0, x1] × [y0, y1], as parameters
/// 0 <= t0 <= t1 <= 1 along it (Liang-Barsky); false when nothing of it is inside (a segment
/// of no length is inside when its point is).
bool clipParameters(Vec2 a, Vec2 b, double x0, double y0, double x1, double y1, double& t0, double& t1);

/// The point a fraction t along a-b: a itself at 0 and b itself at 1.
Vec2 lerp(Vec2 a, Vec2 b, double t);

} // namespace dv::gfx::detail
