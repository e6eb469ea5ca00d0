#include "DVGeometry/QuadraticCurve.hpp"

#include "DVGeometry/detail/Segment.hpp"
#include "DVModel/JSNumber.hpp"

#include <cmath>
#include <limits>

namespace dv {

ArrowHeadVector getArrowHeadVector(const ConnectorEndpoints& ends, const QuadraticControlPoint& control,
                                   HeadPlacement placement) {
    const bool atEnd = placement == HeadPlacement::end;
    const double tipX = atEnd ? ends.x2 : ends.x;
    const double tipY = atEnd ? ends.y2 : ends.y;
    const double otherX = atEnd ? ends.x : ends.x2;
    const double otherY = atEnd ? ends.y : ends.y2;
    double fromX = otherX, fromY = otherY;
    if (control.cx && control.cy) {
        fromX = *control.cx;
        fromY = *control.cy;
        // A control point on the tip gives no direction; a NaN distance keeps it.
        if (jsHypot(tipX - fromX, tipY - fromY) < 0.001) {
            fromX = otherX;
            fromY = otherY;
        }
    }
    return {fromX, fromY, tipX, tipY};
}

Point getQuadraticPoint(double x0, double y0, double cx, double cy, double x2, double y2, double t) {
    const double a = (1 - t) * (1 - t);
    const double b = ((1 - t) + (1 - t)) * t;
    const double c = t * t;
    return {(a * x0 + b * cx) + c * x2, (a * y0 + b * cy) + c * y2};
}

namespace {

// Folds one axis's extremes: the ends, plus the interior extremum when it lies strictly inside.
void axisBounds(double p0, double pc, double p2, double& lo, double& hi) {
    lo = jsMin(HUGE_VAL, p0);
    hi = jsMax(-HUGE_VAL, p0);
    lo = jsMin(lo, p2);
    hi = jsMax(hi, p2);
    const double d = p0 - 2 * pc + p2;
    if (std::fabs(d) < 1e-6) return;
    const double t = (p0 - pc) / d;
    if (t > 0 && t < 1) {
        const double v = p2 * (t * t) + (pc * ((1 - t) + (1 - t)) * t + p0 * ((1 - t) * (1 - t)));
        lo = jsMin(lo, v);
        hi = jsMax(hi, v);
    }
}

} // namespace

QuadraticBounds getQuadraticBounds(double x0, double y0, double cx, double cy, double x2, double y2) {
    QuadraticBounds bounds;
    axisBounds(x0, cx, x2, bounds.minX, bounds.maxX);
    axisBounds(y0, cy, y2, bounds.minY, bounds.maxY);
    return bounds;
}

double distToQuadraticCurve(double px, double py, double x0, double y0, double cx, double cy, double x2, double y2,
                            long long steps) {
    if (steps <= 0) return std::numeric_limits<double>::infinity();
    double prevX = x0, prevY = y0;
    double best = std::numeric_limits<double>::infinity();
    const double n = static_cast<double>(steps);
    for (long long i = 1; i <= steps; ++i) {
        const Point current = getQuadraticPoint(x0, y0, cx, cy, x2, y2, static_cast<double>(i) / n);
        const double d = detail::distToSegment(px, py, prevX, prevY, current.x, current.y);
        if (d < best) best = d;
        prevX = current.x;
        prevY = current.y;
    }
    return best;
}

} // namespace dv
