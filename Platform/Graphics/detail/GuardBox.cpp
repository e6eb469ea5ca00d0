#include "Platform/Graphics/detail/GuardBox.hpp"

#include <algorithm>
#include <cmath>

namespace dv::gfx::detail {

void flattenCubic(Vec2 p0, Vec2 c1, Vec2 c2, Vec2 p3, std::vector<Vec2>& out) {
    // The second differences bound how far the curve strays from its chord.
    const double ddx = std::fmax(std::fabs(p0.x - 2 * c1.x + c2.x), std::fabs(c1.x - 2 * c2.x + p3.x));
    const double ddy = std::fmax(std::fabs(p0.y - 2 * c1.y + c2.y), std::fabs(c1.y - 2 * c2.y + p3.y));
    const double dd = std::sqrt(ddx * ddx + ddy * ddy);
    constexpr double tolerance = 0.1;
    double segments = std::ceil(std::sqrt(0.75 * dd / tolerance));
    if (!(segments >= 1)) segments = 1;
    if (segments > 16384) segments = 16384;
    const int n = static_cast<int>(segments);
    for (int i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n;
        const double u = 1 - t;
        const double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
        out.push_back({w0 * p0.x + w1 * c1.x + w2 * c2.x + w3 * p3.x, w0 * p0.y + w1 * c1.y + w2 * c2.y + w3 * p3.y});
    }
}

bool clipParameters(Vec2 a, Vec2 b, double x0, double y0, double x1, double y1, double& t0, double& t1) {
    t0 = 0;
    t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - x0, x1 - a.x, a.y - y0, y1 - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
    }
    return t0 < t1 || (t0 == t1 && dx == 0 && dy == 0);
}

Vec2 lerp(Vec2 a, Vec2 b, double t) {
    if (t <= 0) return a;
    if (t >= 1) return b;
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

namespace {

// One Sutherland–Hodgman pass against the half plane sign·(coordinate) ≤ limit.
template <typename Inside, typename Cross>
std::vector<Vec2> clipAgainst(const std::vector<Vec2>& in, Inside inside, Cross cross) {
    std::vector<Vec2> out;
    if (in.empty()) return out;
    out.reserve(in.size() + 4);
    Vec2 prev = in.back();
    bool prevIn = inside(prev);
    for (const Vec2& cur : in) {
        const bool curIn = inside(cur);
        if (curIn != prevIn) out.push_back(cross(prev, cur));
        if (curIn) out.push_back(cur);
        prev = cur;
        prevIn = curIn;
    }
    return out;
}

Vec2 atX(Vec2 a, Vec2 b, double x) {
    const double t = (x - a.x) / (b.x - a.x);
    return {x, a.y + t * (b.y - a.y)};
}

Vec2 atY(Vec2 a, Vec2 b, double y) {
    const double t = (y - a.y) / (b.y - a.y);
    return {a.x + t * (b.x - a.x), y};
}

} // namespace

std::vector<Vec2> clipPolygonToGuard(const std::vector<Vec2>& polygon) {
    constexpr double g = GUARD_LIMIT;
    auto r = clipAgainst(polygon, [](Vec2 p) { return p.x >= -g; }, [](Vec2 a, Vec2 b) { return atX(a, b, -g); });
    r = clipAgainst(r, [](Vec2 p) { return p.x <= g; }, [](Vec2 a, Vec2 b) { return atX(a, b, g); });
    r = clipAgainst(r, [](Vec2 p) { return p.y >= -g; }, [](Vec2 a, Vec2 b) { return atY(a, b, -g); });
    r = clipAgainst(r, [](Vec2 p) { return p.y <= g; }, [](Vec2 a, Vec2 b) { return atY(a, b, g); });
    return r;
}

bool clipSegmentToGuard(Vec2& a, Vec2& b) {
    // Liang–Barsky.
    constexpr double g = GUARD_LIMIT;
    const double dx = b.x - a.x, dy = b.y - a.y;
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x + g, g - a.x, a.y + g, g - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            if (t > t1) return false;
            if (t > t0) t0 = t;
        } else {
            if (t < t0) return false;
            if (t < t1) t1 = t;
        }
    }
    const Vec2 start{a.x + t0 * dx, a.y + t0 * dy};
    const Vec2 end{a.x + t1 * dx, a.y + t1 * dy};
    a = start;
    b = end;
    return true;
}

} // namespace dv::gfx::detail
