#include "DVGeometry/ElbowRoute.hpp"

#include "DVGeometry/detail/Segment.hpp"
#include "DVModel/JSNumber.hpp"

#include <cmath>
#include <limits>

namespace dv {

namespace {

// 1, -1, or 0 for zero and NaN.
double sign(double v) {
    if (v > 0) return 1;
    if (v < 0) return -1;
    return 0;
}

// A start direction points away when its component is set against the way the route must go.
bool pointsAway(double component, double sign) { return sign != 0 && component != sign; }

} // namespace

std::vector<Point> computeElbowRoute(Point start, std::optional<RouteDirection> startDirection, Point end,
                                     std::optional<RouteDirection> endDirection, double startStub, double endStub) {
    const Point s = startDirection ? Point{start.x + startStub * startDirection->dx, start.y + startStub * startDirection->dy}
                                   : start;
    const Point e = endDirection ? Point{end.x + endStub * endDirection->dx, end.y + endStub * endDirection->dy} : end;
    const double kx = e.x - s.x;
    const double ky = e.y - s.y;

    bool startHorizontal, endHorizontal;
    if (startDirection && endDirection) {
        startHorizontal = startDirection->dx != 0;
        endHorizontal = endDirection->dx != 0;
    } else if (startDirection) {
        startHorizontal = startDirection->dx != 0;
        endHorizontal = !startHorizontal;
    } else if (endDirection) {
        endHorizontal = endDirection->dx != 0;
        startHorizontal = !endHorizontal;
    } else {
        startHorizontal = endHorizontal = std::fabs(kx) >= std::fabs(ky);
    }

    const double yMid = std::fabs(ky) < 1 ? s.y - 32 : (s.y + e.y) * 0.5;
    const double xMid = std::fabs(kx) < 1 ? s.x - 32 : (s.x + e.x) * 0.5;
    const double my = (s.y + e.y) * 0.5;
    const double mx = (s.x + e.x) * 0.5;

    // Whether the given start (end) direction points away along x or y; absent directions never do.
    auto startAway = [&](bool alongX, double u) {
        return startDirection && pointsAway(alongX ? startDirection->dx : startDirection->dy, u);
    };
    auto endAway = [&](bool alongX, double u) {
        return endDirection && pointsAway(alongX ? endDirection->dx : endDirection->dy, -u);
    };

    std::vector<Point> route{start, s};
    if (startHorizontal && endHorizontal) {
        const double u = sign(kx);
        if (startAway(true, u) || endAway(true, u)) {
            route.push_back({s.x, yMid});
            route.push_back({e.x, yMid});
        } else {
            route.push_back({mx, s.y});
            route.push_back({mx, e.y});
        }
    } else if (!startHorizontal && !endHorizontal) {
        const double u = sign(ky);
        if (startAway(false, u) || endAway(false, u)) {
            route.push_back({xMid, s.y});
            route.push_back({xMid, e.y});
        } else {
            route.push_back({s.x, my});
            route.push_back({e.x, my});
        }
    } else if (startHorizontal) {
        if (startAway(true, sign(kx)) || endAway(false, sign(ky)))
            route.push_back({s.x, e.y});
        else
            route.push_back({e.x, s.y});
    } else {
        if (startAway(false, sign(ky)) || endAway(true, sign(kx)))
            route.push_back({e.x, s.y});
        else
            route.push_back({s.x, e.y});
    }
    route.push_back(e);
    route.push_back(end);
    return simplifyRoute(route);
}

std::vector<Point> simplifyRoute(const std::vector<Point>& route) {
    std::vector<Point> kept;
    kept.reserve(route.size());
    for (const Point& p : route) {
        if (kept.empty() || jsHypot(p.x - kept.back().x, p.y - kept.back().y) > 0.5) kept.push_back(p);
    }
    std::vector<Point> result;
    result.reserve(kept.size());
    for (const Point& a : kept) {
        if (result.size() >= 2) {
            const Point& b = result[result.size() - 1];
            const Point& c = result[result.size() - 2];
            if (std::fabs((a.y - b.y) * (b.x - c.x) - (a.x - b.x) * (b.y - c.y)) < 0.01) result.pop_back();
        }
        result.push_back(a);
    }
    return result;
}

double getRouteLength(const std::vector<Point>& route) {
    double length = 0;
    for (std::size_t i = 1; i < route.size(); ++i)
        length += jsHypot(route[i].x - route[i - 1].x, route[i].y - route[i - 1].y);
    return length;
}

Point getRoutePointAt(const std::vector<Point>& route, double t) {
    if (route.empty()) return {0, 0};
    if (route.size() == 1) return route.front();
    const double f = jsMax(0.0, jsMin(1.0, t));
    double remaining = getRouteLength(route) * f;
    for (std::size_t i = 1; i < route.size(); ++i) {
        const Point& a = route[i - 1];
        const Point& b = route[i];
        const double len = jsHypot(b.x - a.x, b.y - a.y);
        if (len >= remaining && len > 0) {
            const double k = remaining / len;
            return {a.x + (b.x - a.x) * k, a.y + (b.y - a.y) * k};
        }
        remaining -= len;
    }
    return route.back();
}

double distToRoute(double px, double py, const std::vector<Point>& route) {
    if (route.size() < 2) return std::numeric_limits<double>::infinity();
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t i = 1; i < route.size(); ++i)
        best = jsMin(best, detail::distToSegment(px, py, route[i - 1].x, route[i - 1].y, route[i].x, route[i].y));
    return best;
}

} // namespace dv
