#include "DVGeometry/ViewportGeometry.hpp"

#include "DVModel/JSNumber.hpp"

#include <cmath>

namespace dv {

Viewport createViewport() { return {0, 0, 1}; }

Point worldToScreen(const Viewport& viewport, double x, double y) {
    return {viewport.offsetX + x * viewport.zoom, viewport.offsetY + y * viewport.zoom};
}

Point screenToWorld(const Viewport& viewport, double x, double y) {
    return {(x - viewport.offsetX) / viewport.zoom, (y - viewport.offsetY) / viewport.zoom};
}

Viewport pan(const Viewport& viewport, double dx, double dy) {
    return {viewport.offsetX + dx, viewport.offsetY + dy, viewport.zoom};
}

Viewport zoom(const Viewport& viewport, double factor, double sx, double sy) {
    const double newZoom = jsMin(jsMax(factor * viewport.zoom, ViewportLimits::minZoom), ViewportLimits::maxZoom);
    const double r = newZoom / viewport.zoom;
    return {sx - (sx - viewport.offsetX) * r, sy - r * (sy - viewport.offsetY), newZoom};
}

namespace {

struct Extent {
    double minX = HUGE_VAL, minY = HUGE_VAL, maxX = -HUGE_VAL, maxY = -HUGE_VAL;

    void add(double x, double y) {
        minX = jsMin(minX, x);
        minY = jsMin(minY, y);
        maxX = jsMax(maxX, x);
        maxY = jsMax(maxY, y);
    }
    // The box of (x, y, width, height) with its corner moved for negative extents.
    void addBox(double x, double y, double width, double height) {
        const double left = width < 0 ? x + width : x;
        const double top = height < 0 ? y + height : y;
        minX = jsMin(minX, left);
        maxX = jsMax(maxX, std::fabs(width) + left);
        minY = jsMin(minY, top);
        maxY = jsMax(maxY, std::fabs(height) + top);
    }
};

} // namespace

Viewport fitToElements(const std::vector<Element>& elements, double canvasWidth, double canvasHeight,
                       const FitInsets& insets) {
    if (elements.empty()) return createViewport();
    Extent extent;
    for (const Element& e : elements) {
        const Element::Payload& p = e.payload;
        if (const Element::Box* box = p.box()) {
            extent.addBox(e.x, e.y, box->width, box->height);
        } else if (const Element::Shape* shape = p.shape()) {
            extent.addBox(e.x, e.y, shape->width, shape->height);
        } else if (const Element::Stencil* stencil = p.stencil()) {
            extent.addBox(e.x, e.y, stencil->width, stencil->height);
        } else if (const Element::Text* text = p.text()) {
            extent.addBox(e.x, e.y, text->width, text->height);
        } else if (const Element::Image* image = p.image()) {
            extent.addBox(e.x, e.y, image->width, image->height);
        } else if (const ConnectorFields* connector = p.connector()) {
            extent.add(e.x, e.y);
            extent.add(connector->x2, connector->y2);
        } else if (const Element::Curve* curve = p.curve()) {
            extent.add(e.x, e.y);
            extent.add(curve->x2, curve->y2);
            extent.add(curve->cx, curve->cy);
        } else if (const Element::Polygon* polygon = p.polygon()) {
            for (const Point& point : polygon->points) extent.add(point.x, point.y);
        } else if (const Element::Freehand* freehand = p.freehand()) {
            for (const Point& point : freehand->points) extent.add(point.x, point.y);
        }
    }
    // Without a single finite extent (no element with a point, or a coordinate that is not a
    // number) there is nothing to fit, and the offsets below would not be numbers either.
    if (!std::isfinite(extent.minX) || !std::isfinite(extent.minY) || !std::isfinite(extent.maxX) ||
        !std::isfinite(extent.maxY))
        return createViewport();

    const double w = jsMax(extent.maxX - extent.minX, 1.0);
    const double h = jsMax(extent.maxY - extent.minY, 1.0);
    const double top = insets.top.value_or(70);
    const double bottom = insets.bottom.value_or(70);
    const double left = insets.left.value_or(20);
    const double right = insets.right.value_or(20);
    const double aw = (canvasWidth - left) - right;
    const double ah = (canvasHeight - top) - bottom;
    const double z = jsMin(jsMax(jsMin(aw / w, ah / h), ViewportLimits::minZoom), insets.maxZoom.value_or(30));
    return {(left + aw * 0.5) - z * (extent.minX + w * 0.5), (top + ah * 0.5) - z * (extent.minY + h * 0.5), z};
}

} // namespace dv
