#include "DVGeometry/HitTesting.hpp"

#include "DVGeometry/ArrowHeads.hpp"
#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/ElbowRoute.hpp"
#include "DVGeometry/detail/Rotation.hpp"
#include "DVGeometry/detail/Segment.hpp"
#include "DVModel/JSNumber.hpp"

#include <cmath>
#include <cstddef>

namespace dv {

namespace {

using detail::distToSegment;
using detail::isRotated;


// Pieces a curved line is followed through; fine enough that the pointer tolerance dwarfs the
// gap between the pieces and the curve.
constexpr int kCurvePieces = 24;

// Least distance from (x, y) to the curve from s through c to e followed piece by piece. A NaN
// piece distance never replaces the running one.
double distToCurvedLine(double x, double y, Point s, Point c, Point e) {
    double best = HUGE_VAL;
    Point previous = s;
    for (int i = 1; i <= kCurvePieces; ++i) {
        const double t = static_cast<double>(i) / kCurvePieces;
        const double a = (1 - t) * (1 - t);
        const double b = (2 * (1 - t)) * t;
        const double d = t * t;
        const Point next{(a * s.x + b * c.x) + d * e.x, (a * s.y + b * c.y) + d * e.y};
        const double distance = distToSegment(x, y, previous.x, previous.y, next.x, next.y);
        if (distance < best) best = distance;
        previous = next;
    }
    return best;
}

// Whether some piece of the path through `points` (closed back to the first point when asked)
// comes nearer than `limit`.
bool pathWithin(double x, double y, const std::vector<Point>& points, bool closed, double limit) {
    const std::size_t n = points.size();
    if (n < 2) return false;
    for (std::size_t i = 1; i < n; ++i) {
        if (distToSegment(x, y, points[i - 1].x, points[i - 1].y, points[i].x, points[i].y) < limit) return true;
    }
    // Two points closed back onto themselves would only test the same segment again.
    if (closed && n != 2) {
        return distToSegment(x, y, points[n - 1].x, points[n - 1].y, points[0].x, points[0].y) < limit;
    }
    return false;
}

// The payload's own width and height, for the kinds that have them.
bool sizedExtent(const Element::Payload& p, double& w, double& h) {
    if (const auto* b = p.box()) { w = b->width; h = b->height; return true; }
    if (const auto* s = p.shape()) { w = s->width; h = s->height; return true; }
    if (const auto* s = p.stencil()) { w = s->width; h = s->height; return true; }
    if (const auto* t = p.text()) { w = t->width; h = t->height; return true; }
    if (const auto* i = p.image()) { w = i->width; h = i->height; return true; }
    return false;
}

} // namespace

HitGeometry hitGeometry(const Element& element, const ElementIndex& index) {
    const std::optional<ConnectorEnds> ends = connectorEnds(element);
    if (!ends) return HitGeometry::plain();
    if (ends->isElbow()) return HitGeometry::route(resolveConnectorRoute(*ends, index));
    return HitGeometry::endpoints(resolveArrowEndpoints(*ends, index));
}

bool hitTestElement(const Element& element, const HitGeometry& geometry, double x, double y, double zoom,
                    double extraPadPx) {
    const double e = extraPadPx / zoom;
    const double strokeTolerance = 8 / zoom + e;
    const double bodyPad = 4 / zoom + e;
    const double halfStroke = element.strokeWidth * 0.5;

    if (isRotated(element)) {
        // Turned back about the centre of the unturned bounds, summed left to right as the web
        // editor does (detail::unrotateAbout groups the sums the other way, off in the last bit).
        const NormalizedRect b = getElementBounds(element);
        const double cx = b.x + b.w * 0.5;
        const double cy = b.y + b.h * 0.5;
        const double r = *element.rotation;
        const double cr = std::cos(r);
        const double sr = std::sin(r);
        const double dx = x - cx;
        const double dy = y - cy;
        x = cx + dx * cr + dy * sr;
        y = cy - dx * sr + dy * cr;
    }

    if (const auto* route = std::get_if<HitGeometry::Route>(&geometry.kind)) {
        return distToRoute(x, y, route->points) < strokeTolerance + halfStroke;
    }

    const double x0 = element.x;
    const double y0 = element.y;
    const Element::Payload& payload = element.payload;
    switch (element.type()) {
    case ElementType::ellipse: {
        const Element::Box& box = *payload.box();
        const double a = box.width * 0.5;
        const double b = box.height * 0.5;
        const double u = (x - x0 - a) / (bodyPad + std::fabs(a));
        const double v = (y - y0 - b) / (bodyPad + std::fabs(b));
        return u * u + v * v <= 1;
    }
    case ElementType::rhombus: {
        const Element::Box& box = *payload.box();
        const NormalizedRect r = normalizeRect(x0, y0, box.width, box.height);
        const double a = r.w * 0.5;
        const double b = r.h * 0.5;
        return std::fabs(x - (r.x + a)) / (a + bodyPad) + std::fabs(y - (r.y + b)) / (b + bodyPad) <= 1;
    }
    case ElementType::line:
    case ElementType::arrow: {
        const auto* resolved = std::get_if<HitGeometry::Endpoints>(&geometry.kind);
        if (!resolved) return false;
        const ConnectorEndpoints& ends = resolved->ends;
        const double limit = strokeTolerance + halfStroke;
        // Only lines carry a control point; for an arrow this is always absent.
        if (std::optional<std::pair<double, double>> control = lineControlPoint(element)) {
            return distToCurvedLine(x, y, {ends.x, ends.y}, {control->first, control->second}, {ends.x2, ends.y2}) <
                   limit;
        }
        return distToSegment(x, y, ends.x, ends.y, ends.x2, ends.y2) < limit;
    }
    case ElementType::curve: {
        // The 6 is in world units: thin curves stay grabbable however far one zooms in.
        const Element::Curve& curve = *payload.curve();
        const double limit = bodyPad + halfStroke + 6;
        return distToSegment(x, y, x0, y0, curve.cx, curve.cy) < limit ||
               distToSegment(x, y, curve.cx, curve.cy, curve.x2, curve.y2) < limit;
    }
    case ElementType::polygon: {
        const Element::Polygon& polygon = *payload.polygon();
        return pathWithin(x, y, polygon.points, polygon.closed, bodyPad + halfStroke);
    }
    case ElementType::freehand:
        return pathWithin(x, y, payload.freehand()->points, false, bodyPad + halfStroke);
    default: {
        double w = 0, h = 0;
        if (!sizedExtent(payload, w, h)) return false;
        const NormalizedRect r = normalizeRect(x0, y0, w, h);
        return r.x - bodyPad <= x && x <= r.x + r.w + bodyPad && r.y - bodyPad <= y && y <= r.y + r.h + bodyPad;
    }
    }
}

std::optional<Element> hitTest(const std::vector<Element>& elements, double x, double y, double zoom,
                               double extraPadPx) {
    const ElementIndex index(elements);
    for (std::size_t i = elements.size(); i-- > 0;) {
        const Element& element = elements[i];
        if (hitTestElement(element, hitGeometry(element, index), x, y, zoom, extraPadPx)) return element;
    }
    return std::nullopt;
}

} // namespace dv
