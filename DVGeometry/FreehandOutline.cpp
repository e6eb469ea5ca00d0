#include "DVGeometry/FreehandOutline.hpp"

#include "DVGeometry/detail/Cubic.hpp"
#include "DVModel/JSNumber.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <utility>

namespace dv {

namespace {

void appendCircle(std::vector<Point>& out, double cx, double cy, double r, int n) {
    for (int i = 0; i < n; ++i) {
        const double a = ((static_cast<double>(i) / n) * std::numbers::pi) * 2;
        out.push_back({std::cos(a) * r + cx, std::sin(a) * r + cy});
    }
}

std::vector<Point> circle(double cx, double cy, double r) {
    std::vector<Point> out;
    appendCircle(out, cx, cy, r, 16);
    return out;
}

// Resample counts per segment, as doubles holding whole numbers (NaN for no samples). The total
// is held to FREEHAND_MAX_SAMPLES by scaling every count down in proportion.
std::vector<double> sampleCounts(const std::vector<Point>& p, double step) {
    std::vector<double> counts(p.size() - 1);
    double sum = 0;
    for (std::size_t k = 0; k + 1 < p.size(); ++k) {
        double n = jsMax(1.0, jsRound(jsHypot(p[k + 1].x - p[k].x, p[k + 1].y - p[k].y) / step));
        if (!std::isnan(n) && !(n <= FREEHAND_MAX_SAMPLES)) n = FREEHAND_MAX_SAMPLES;
        counts[k] = n;
        if (!std::isnan(n)) sum += n;
    }
    if (sum > FREEHAND_MAX_SAMPLES) {
        for (double& n : counts)
            if (!std::isnan(n)) n = jsMax(1.0, std::floor(n * FREEHAND_MAX_SAMPLES / sum));
    }
    return counts;
}

} // namespace

double freehandOutlineSamples(const std::vector<Point>& points, const FreehandOutlineOptions& options) {
    if (points.size() < 2) return static_cast<double>(points.size());
    double total = 1;
    for (double n : sampleCounts(points, options.sampleStep.value_or(3)))
        if (!std::isnan(n)) total += n;
    return total;
}

std::vector<Point> buildFreehandOutline(const std::vector<Point>& points,
                                        const std::optional<std::vector<double>>& pressures, double strokeWidth,
                                        const FreehandOutlineOptions& options) {
    if (points.empty()) return {};
    const double step = options.sampleStep.value_or(3);
    const double ratio = options.minRadiusRatio.value_or(0.15);
    const double half = strokeWidth * 0.5;
    const double rmin = jsMax(ratio * half, 0.35);
    const bool usePressures = pressures && pressures->size() == points.size();
    auto pressure = [&](std::size_t i) { return usePressures ? (*pressures)[i] : 0.7; };

    if (points.size() == 1) return circle(points[0].x, points[0].y, jsMax(half * pressure(0), rmin));

    // Catmull-Rom spline through the points, drawn as cubic pieces and sampled evenly.
    const std::vector<double> counts = sampleCounts(points, step);
    std::vector<Point> q;
    std::vector<double> radii;
    double total = 1;
    for (double n : counts)
        if (!std::isnan(n)) total += n;
    q.reserve(static_cast<std::size_t>(total));
    radii.reserve(static_cast<std::size_t>(total));
    const std::size_t last = points.size() - 1;
    for (std::size_t k = 0; k < last; ++k) {
        const double n = counts[k];
        if (std::isnan(n)) continue;
        const Point& p0 = points[k];
        const Point& p1 = points[k + 1];
        const Point& prev = points[k == 0 ? 0 : k - 1];
        const Point& next = points[k + 2 <= last ? k + 2 : last];
        const Point c1{((p1.x - prev.x) * 0.5) / 3 + p0.x, ((p1.y - prev.y) * 0.5) / 3 + p0.y};
        const Point c2{p1.x - ((next.x - p0.x) * 0.5) / 3, p1.y - ((next.y - p0.y) * 0.5) / 3};
        const auto samples = static_cast<long long>(n);  // a whole number in 1 ... FREEHAND_MAX_SAMPLES
        const double from = pressure(k), to = pressure(k + 1);
        for (long long j = k == 0 ? 0 : 1; j <= samples; ++j) {
            const double t = static_cast<double>(j) / n;
            const double u = 1 - t;
            q.push_back(detail::cubicPoint(p0, c1, c2, p1, t));
            const double pr = t * to + u * from;
            radii.push_back(jsMin(half, jsMax(rmin, pr * half)));
        }
    }
    if (q.empty()) return circle(points[0].x, points[0].y, rmin);
    if (q.size() == 1) return circle(q[0].x, q[0].y, radii[0]);

    // Unit tangent and normal at each resampled point, from its neighbours.
    const std::size_t m = q.size();
    struct Frame {
        Point t, n;
    };
    auto frame = [&](std::size_t i) {
        const Point& a = q[i == 0 ? 0 : i - 1];
        const Point& b = q[i + 1 < m ? i + 1 : m - 1];
        const double vx = b.x - a.x;
        const double vy = b.y - a.y;
        double len = jsHypot(vx, vy);
        if (len == 0 || std::isnan(len)) len = 1;
        const Point t{vx / len, vy / len};
        return Frame{t, {-t.y, t.x}};
    };

    // Each frame is worked out once and serves both sides: the left side runs forward from the
    // start, the right side backward from the end cap, so its point for i lands at m + 7 + (m - 1 - i).
    std::vector<Point> outline(2 * m + 14);
    for (std::size_t i = 0; i < m; ++i) {
        const Point n = frame(i).n;
        const double dx = n.x * radii[i], dy = n.y * radii[i];
        outline[i] = {q[i].x + dx, q[i].y + dy};
        outline[2 * m + 6 - i] = {q[i].x - dx, q[i].y - dy};
    }
    {
        const auto [t, n] = frame(m - 1);
        const double r = radii[m - 1];
        for (int j = 1; j <= 7; ++j) {
            const double phi = (j * std::numbers::pi) * 0.125;
            const double s = std::sin(phi), c = std::cos(phi);
            outline[m + j - 1] = {(s * t.x + c * n.x) * r + q[m - 1].x, (s * t.y + c * n.y) * r + q[m - 1].y};
        }
    }
    {
        const auto [t, n] = frame(0);
        const double r = radii[0];
        for (int k = 7; k >= 1; --k) {
            const double phi = (k * std::numbers::pi) * 0.125;
            const double s = std::sin(phi), c = std::cos(phi);
            outline[2 * m + 14 - k] = {(c * n.x - s * t.x) * r + q[0].x, (c * n.y - s * t.y) * r + q[0].y};
        }
    }
    return outline;
}

namespace {

void smooth(std::vector<Point>& points, std::optional<std::vector<double>>& pressures) {
    if (points.size() <= 2) return;
    std::vector<Point> p = points;
    for (std::size_t i = 1; i + 1 < points.size(); ++i)
        p[i] = {((points[i - 1].x + (points[i].x + points[i].x)) + points[i + 1].x) * 0.25,
                ((points[i - 1].y + (points[i].y + points[i].y)) + points[i + 1].y) * 0.25};
    points = std::move(p);
    if (!pressures) return;
    std::vector<double> w = *pressures;
    const std::vector<double>& v = *pressures;
    for (std::size_t i = 1; i + 1 < v.size(); ++i) w[i] = ((v[i - 1] + v[i] * 2) + v[i + 1]) * 0.25;
    pressures = std::move(w);
}

// Distance from p to the line through a and b, or to a when the two coincide.
double distToLine(const Point& p, const Point& a, const Point& b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    if (len2 == 0) return jsHypot(p.x - a.x, p.y - a.y);
    const double v = ((p.y - a.y) * dy + dx * (p.x - a.x)) / len2;
    return jsHypot(p.x - (a.x + v * dx), p.y - (a.y + v * dy));
}

// Ramer-Douglas-Peucker with tolerance 0.5. Runs split at their farthest point are kept on an
// explicit stack, so a long stroke cannot exhaust the call stack; the kept points come out in
// stroke order as the recursive formulation would give them.
std::vector<bool> reduce(const std::vector<Point>& points) {
    std::vector<bool> keep(points.size(), true);
    if (points.size() <= 2) return keep;
    std::fill(keep.begin(), keep.end(), false);
    keep.front() = keep.back() = true;
    std::vector<std::pair<std::size_t, std::size_t>> runs{{0, points.size() - 1}};
    while (!runs.empty()) {
        auto [lo, hi] = runs.back();
        runs.pop_back();
        if (hi - lo + 1 <= 2) continue;
        double farthest = 0;
        std::size_t index = lo;
        for (std::size_t i = lo + 1; i < hi; ++i) {
            const double d = distToLine(points[i], points[lo], points[hi]);
            if (d > farthest) {
                farthest = d;
                index = i;
            }
        }
        if (!(farthest > 0.5)) continue;
        keep[index] = true;
        runs.push_back({index, hi});
        runs.push_back({lo, index});
    }
    return keep;
}

} // namespace

FreehandStroke finishFreehandStroke(const std::vector<Point>& points,
                                    const std::optional<std::vector<double>>& pressures) {
    std::vector<Point> smoothed = points;
    // A pressure list that does not match the points cannot be carried along point by point.
    std::optional<std::vector<double>> smoothedPressures =
        pressures && pressures->size() == points.size() ? pressures : std::nullopt;
    smooth(smoothed, smoothedPressures);
    smooth(smoothed, smoothedPressures);

    const std::vector<bool> keep = reduce(smoothed);
    FreehandStroke stroke;
    if (smoothedPressures) stroke.pressures.emplace();
    for (std::size_t i = 0; i < smoothed.size(); ++i) {
        if (!keep[i]) continue;
        stroke.points.push_back(smoothed[i]);
        if (smoothedPressures) stroke.pressures->push_back((*smoothedPressures)[i]);
    }
    return stroke;
}

} // namespace dv
