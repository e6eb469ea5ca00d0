#include "Platform/Graphics/detail/WideStroke.hpp"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

namespace dv::gfx::detail {

namespace {

constexpr double PI = 3.141592653589793;

// cairo keeps device coordinates on a grid of 1/256.
double onGrid(double v) { return std::round(v * 256) / 256; }

double cross(Vec2 o, Vec2 a, Vec2 b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

using Key = std::pair<double, double>;
Key key(Vec2 v) { return {v.x, v.y}; }
bool same(Vec2 a, Vec2 b) { return a.x == b.x && a.y == b.y; }

// The convex hull, counter-clockwise with y up (clockwise on the screen), without collinear
// points; two points for a straight path.
std::vector<Vec2> hull(std::vector<Vec2> points) {
    std::sort(points.begin(), points.end(), [](Vec2 a, Vec2 b) { return key(a) < key(b); });
    points.erase(std::unique(points.begin(), points.end(), same), points.end());
    if (points.size() < 3) return points;
    std::vector<Vec2> h(2 * points.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        while (k >= 2 && cross(h[k - 2], h[k - 1], points[i]) <= 0) --k;
        h[k++] = points[i];
    }
    for (std::size_t i = points.size() - 1, t = k + 1; i-- > 0;) {
        while (k >= t && cross(h[k - 2], h[k - 1], points[i]) <= 0) --k;
        h[k++] = points[i];
    }
    h.resize(k - 1);
    return h;
}

// The angle of a direction in [0, 2π).
double angleOf(Vec2 v) {
    const double a = std::atan2(v.y, v.x);
    return a < 0 ? a + 2 * PI : a;
}

// How far counter-clockwise `a` lies from `from`, in [0, 2π).
double turnFrom(double from, double a) {
    double t = a - from;
    while (t < 0) t += 2 * PI;
    while (t >= 2 * PI) t -= 2 * PI;
    return t;
}

} // namespace

int penVertices(double radius, double tolerance) {
    if (tolerance >= 4 * radius) return 1;
    if (tolerance >= radius) return 4;
    int n = static_cast<int>(std::ceil(2 * PI / std::acos(1 - tolerance / radius)));
    if (n % 2) ++n;
    return std::max(n, 4);
}

std::optional<std::vector<Vec2>> wideStrokeOutline(const std::vector<Polyline>& path, const StrokePen& pen,
                                                   double tolerance) {
    if (pen.join != LineJoin::round) return std::nullopt;
    // The pen stays a circle only under a rotation and an even scale.
    const LinearMap& m = pen.map;
    const double sx = std::hypot(m.a, m.b), sy = std::hypot(m.c, m.d);
    if (!(sx > 0) || std::fabs(sx - sy) > 1e-9 * sx || std::fabs(m.a * m.c + m.b * m.d) > 1e-9 * sx * sy) return std::nullopt;
    const double radius = pen.halfWidth * sx;
    if (!(radius > 0) || !std::isfinite(radius)) return std::nullopt;
    const int vertices = penVertices(radius, tolerance);
    if (vertices < 4 || vertices > 4096) return std::nullopt;

    std::vector<Vec2> points;
    std::set<std::pair<Key, Key>> segments;  // both ways round
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    for (const Polyline& line : path) {
        if (line.points.size() == 1 && !line.closed) continue;  // draws nothing
        if (line.points.size() < 2) return std::nullopt;
        bool someLength = false;
        if (!line.closed && pen.cap != LineCap::round) return std::nullopt;
        const auto& p = line.points;
        for (std::size_t i = 0; i < p.size(); ++i) {
            if (!std::isfinite(p[i].x) || !std::isfinite(p[i].y)) return std::nullopt;
            points.push_back(p[i]);
            x0 = std::min(x0, p[i].x), y0 = std::min(y0, p[i].y), x1 = std::max(x1, p[i].x), y1 = std::max(y1, p[i].y);
            const bool last = i + 1 == p.size();
            if (last && !line.closed) break;
            const Vec2 next = last ? p.front() : p[i + 1];
            if (same(next, p[i])) continue;
            someLength = true;
            segments.insert({key(p[i]), key(next)});
            segments.insert({key(next), key(p[i])});
        }
        // cairo caps a subpath of no length as a dot; not worth matching here.
        if (!someLength) return std::nullopt;
    }
    if (points.empty()) return std::nullopt;
    // Every point of the path within the pen's inner radius of every other: the stroke has no
    // hole, and is the hull's outline widened.
    if (!(std::hypot(x1 - x0, y1 - y0) <= radius * std::cos(PI / vertices))) return std::nullopt;

    const std::vector<Vec2> h = hull(points);
    if (h.size() < 2) return std::nullopt;

    // cairo's pen: vertices at even angles in user space, mapped to the device, on its grid.
    std::vector<Vec2> penPoints(static_cast<std::size_t>(vertices));
    std::vector<double> penAngles(penPoints.size());
    for (int i = 0; i < vertices; ++i) {
        const double theta = 2 * PI * i / vertices;
        const double ux = pen.halfWidth * std::cos(theta), uy = pen.halfWidth * std::sin(theta);
        penPoints[static_cast<std::size_t>(i)] = {onGrid(m.a * ux + m.c * uy), onGrid(m.b * ux + m.d * uy)};
        penAngles[static_cast<std::size_t>(i)] = angleOf(penPoints[static_cast<std::size_t>(i)]);
    }
    auto farthest = [&](Vec2 normal) {
        std::size_t best = 0;
        for (std::size_t i = 1; i < penPoints.size(); ++i)
            if (penPoints[i].x * normal.x + penPoints[i].y * normal.y > penPoints[best].x * normal.x + penPoints[best].y * normal.y)
                best = i;
        return best;
    };

    // Each hull edge: its outward normal, and whether the path runs along it (then cairo draws
    // its side at the pen's radius) or it bridges a dent (the pen at its ends covers it, but
    // for a notch in the middle).
    const std::size_t n = h.size();
    std::vector<Vec2> normals(n);
    std::vector<bool> along(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Vec2 a = h[i], b = h[(i + 1) % n];
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        normals[i] = {(b.y - a.y) / length, -(b.x - a.x) / length};
        along[i] = segments.count({key(a), key(b)}) > 0;
        if (!along[i] && length * length / (8 * radius) > WIDE_STROKE_NOTCH) return std::nullopt;
    }

    // The pen's vertices by angle, to walk from any direction.
    std::vector<std::size_t> byAngle(penPoints.size());
    for (std::size_t i = 0; i < byAngle.size(); ++i) byAngle[i] = i;
    std::sort(byAngle.begin(), byAngle.end(), [&](std::size_t i, std::size_t j) { return penAngles[i] < penAngles[j]; });

    std::vector<Vec2> outline;
    auto add = [&](Vec2 v, Vec2 offset) {
        const Vec2 p{v.x + offset.x, v.y + offset.y};
        if (outline.empty() || !same(outline.back(), p)) outline.push_back(p);
    };
    for (std::size_t i = 0; i < n; ++i) {
        // Turning from the incoming edge's normal to the outgoing one's: the incoming side's end
        // (or, after a bridge, the pen vertex farthest that way), the pen's vertices strictly
        // between the two normals, and the outgoing side's start (or the farthest pen vertex).
        const Vec2 v = h[i];
        const std::size_t previous = (i + n - 1) % n;
        const Vec2 in = normals[previous], out = normals[i];
        const std::size_t first = farthest(in), last = farthest(out);
        add(v, along[previous] ? Vec2{onGrid(in.x * radius), onGrid(in.y * radius)} : penPoints[first]);
        const double from = angleOf(in), span = turnFrom(from, angleOf(out));
        auto k = static_cast<std::size_t>(std::upper_bound(byAngle.begin(), byAngle.end(), from,
                                                           [&](double a, std::size_t j) { return a < penAngles[j]; }) -
                                          byAngle.begin());
        for (std::size_t step = 0; step < byAngle.size(); ++step, ++k) {
            const std::size_t j = byAngle[k % byAngle.size()];
            const double t = turnFrom(from, penAngles[j]);
            if (!(t > 0 && t < span)) break;
            if (along[previous] || j != first) add(v, penPoints[j]);
        }
        add(v, along[i] ? Vec2{onGrid(out.x * radius), onGrid(out.y * radius)} : penPoints[last]);
    }
    if (outline.size() > 1 && same(outline.front(), outline.back())) outline.pop_back();
    return outline;
}

} // namespace dv::gfx::detail
