#include "DVGeometry/Resize.hpp"

#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVModel/Hashing.hpp"
#include "DVModel/JSNumber.hpp"

#include <cmath>

namespace dv {

namespace {

using H = HandlePosition;

// Maps points of the bounds `from` into the box at (x, y) scaled by (kx, ky).
struct Mapping {
    NormalizedRect from;
    double x, y, kx, ky;
    Point operator()(double px, double py) const { return {x + (px - from.x) * kx, y + (py - from.y) * ky}; }
};

// Lines and curves may be flat on an axis; that axis then keeps its scale.
double scaleOrOne(double newSize, double oldSize) { return oldSize > 0 ? newSize / oldSize : 1; }

} // namespace

double anchorX(HandlePosition handle, const NormalizedRect& rect) {
    switch (handle) {
    case H::nw: case H::w: case H::sw: return rect.x + rect.w;
    case H::ne: case H::e: case H::se: return rect.x;
    case H::n: case H::s: break;
    }
    return rect.x + rect.w * 0.5;
}

double anchorY(HandlePosition handle, const NormalizedRect& rect) {
    switch (handle) {
    case H::nw: case H::n: case H::ne: return rect.y + rect.h;
    case H::sw: case H::s: case H::se: return rect.y;
    case H::w: case H::e: break;
    }
    return rect.y + rect.h * 0.5;
}

bool isCornerHandle(HandlePosition handle) {
    return handle == H::nw || handle == H::ne || handle == H::sw || handle == H::se;
}

std::optional<NormalizedRect> newBoundsFromHandle(HandlePosition handle, double ax, double ay, double px, double py,
                                                  const NormalizedRect& start, bool keepAspect, double signX,
                                                  double signY, double minSize) {
    const bool vertical = handle == H::n || handle == H::s;
    const bool horizontal = handle == H::w || handle == H::e;
    double left = vertical ? start.x : jsMin(ax, px);
    double right = vertical ? start.x + start.w : jsMax(ax, px);
    double top = horizontal ? start.y : jsMin(ay, py);
    double bottom = horizontal ? start.y + start.h : jsMax(ay, py);

    if (keepAspect && isCornerHandle(handle) && start.w > 0 && start.h > 0) {
        const double aspect = start.w / start.h;
        const double dx = std::fabs(px - ax);
        const double dy = std::fabs(py - ay);
        const double r = dx / dy;
        double width, height;
        // The smaller of the two drag scales wins; a NaN ratio takes the width.
        if (r > aspect) {
            height = dy;
            width = dy * aspect;
        } else {
            width = dx;
            height = dx / aspect;
        }
        left = jsMin(ax, ax + signX * width);
        right = jsMax(ax, ax + signX * width);
        top = jsMin(ay, ay + signY * height);
        bottom = jsMax(ay, ay + signY * height);
    }
    if (minSize > right - left || minSize > bottom - top) return std::nullopt;
    return NormalizedRect{left, top, right - left, bottom - top};
}

std::optional<ResizePayload> computeResize(const Element& element, HandlePosition handle, double ax, double ay,
                                           double px, double py, const NormalizedRect& start, bool shiftKey,
                                           double initialSignX, double initialSignY, double zoom) {
    // Text keeps its proportions on a corner drag even without shift.
    const bool keepAspect = shiftKey || (element.type() == ElementType::text && isCornerHandle(handle));
    const double minSize = MIN_RESIZE_SCREEN_PX / zoom;
    const std::optional<NormalizedRect> box =
        newBoundsFromHandle(handle, ax, ay, px, py, start, keepAspect, initialSignX, initialSignY, minSize);
    if (!box) return std::nullopt;
    return scaleElement(element, box->x, box->y, box->w, box->h, isCornerHandle(handle));
}

std::optional<ResizePayload> scaleElement(const Element& element, double nx, double ny, double nw, double nh,
                                          bool scaleFont) {
    const NormalizedRect b = getElementBounds(element);
    const Element::Payload& p = element.payload;
    ResizePayload out;

    switch (element.type()) {
    case ElementType::rectangle:
    case ElementType::ellipse:
    case ElementType::rhombus:
    case ElementType::shape:
    case ElementType::stencil:
    case ElementType::image:
        out.x = nx;
        out.y = ny;
        out.width = nw;
        out.height = nh;
        return out;
    case ElementType::text: {
        const Element::Text& text = *p.text();
        out.x = nx;
        out.y = ny;
        out.width = nw;
        out.height = nh;
        // The font follows the width ratio only.
        if (scaleFont && text.width > 0) out.fontSize = text.fontSize * nw / text.width;
        return out;
    }
    case ElementType::line:
    case ElementType::arrow: {
        const Mapping map{b, nx, ny, scaleOrOne(nw, b.w), scaleOrOne(nh, b.h)};
        const ConnectorFields& c = *p.connector();
        const Point start = map(element.x, element.y);
        const Point end = map(c.x2, c.y2);
        out.x = start.x;
        out.y = start.y;
        out.x2 = end.x;
        out.y2 = end.y;
        return out;
    }
    case ElementType::curve: {
        const Mapping map{b, nx, ny, scaleOrOne(nw, b.w), scaleOrOne(nh, b.h)};
        const Element::Curve& c = *p.curve();
        const Point start = map(element.x, element.y);
        const Point end = map(c.x2, c.y2);
        const Point control = map(c.cx, c.cy);
        out.x = start.x;
        out.y = start.y;
        out.x2 = end.x;
        out.y2 = end.y;
        out.cx = control.x;
        out.cy = control.y;
        return out;
    }
    case ElementType::polygon:
    case ElementType::freehand: {
        if (b.w == 0 || b.h == 0) return std::nullopt;
        const Mapping map{b, nx, ny, nw / b.w, nh / b.h};
        const std::vector<Point>& points = p.polygon() ? p.polygon()->points : p.freehand()->points;
        std::vector<Point> mapped;
        mapped.reserve(points.size());
        for (const Point& q : points) mapped.push_back(map(q.x, q.y));
        out.x = nx;
        out.y = ny;
        out.points = std::move(mapped);
        return out;
    }
    }
    return std::nullopt;
}

} // namespace dv

std::size_t std::hash<dv::ResizePayload>::operator()(const dv::ResizePayload& payload) const noexcept {
    dv::Hasher h;
    h.writeDouble(payload.x);
    h.writeDouble(payload.y);
    for (const std::optional<double>* field : {&payload.width, &payload.height, &payload.x2, &payload.y2, &payload.cx,
                                               &payload.cy, &payload.fontSize}) {
        h.writeByte(field->has_value() ? 1 : 0);
        if (*field) h.writeDouble(**field);
    }
    h.writeByte(payload.points.has_value() ? 1 : 0);
    if (payload.points) {
        h.writeU64(payload.points->size());
        for (const dv::Point& q : *payload.points) {
            h.writeDouble(q.x);
            h.writeDouble(q.y);
        }
    }
    return h.finish();
}
