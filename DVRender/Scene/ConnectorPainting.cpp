// The painter of lines and arrows: straight, curved or elbow-routed shafts, the clip that keeps
// a shaft out of its closed heads, and the heads themselves.

#include "DVGeometry/ArrowHeads.hpp"
#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVGeometry/QuadraticCurve.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVRender/Canvas/DrawingContext.hpp"
#include "DVRender/Scene/detail/Painting.hpp"

#include <cmath>

namespace dv::detail {

namespace {

// The head's outline as a path: a circle, or the points of a polyline or polygon.
void addHeadPath(DrawingContext& context, const ArrowHeadShape& shape) {
    if (const auto* circle = std::get_if<ArrowHeadShape::Circle>(&shape.shape)) {
        context.moveTo(circle->cx + circle->r, circle->cy);
        context.arc(circle->cx, circle->cy, circle->r, 0, fullTurn);
        return;
    }
    const std::vector<Point>* points = nullptr;
    const auto* polygon = std::get_if<ArrowHeadShape::Polygon>(&shape.shape);
    if (polygon) {
        points = &polygon->points;
    } else {
        points = &std::get<ArrowHeadShape::Polyline>(shape.shape).points;
    }
    if (points->empty()) return;
    context.moveTo((*points)[0].x, (*points)[0].y);
    for (std::size_t i = 1; i < points->size(); ++i) context.lineTo((*points)[i].x, (*points)[i].y);
    if (polygon) context.closePath();
}

ArrowHeadShape headShape(const ConnectorHead& head, double strokeWidth) {
    const ArrowHeadVector& v = head.vector;
    return getArrowHeadShape(head.style, v.fromX, v.fromY, v.tipX, v.tipY, strokeWidth);
}

// Clips the shaft out of every closed head: a huge rectangle minus the head outlines, even-odd.
// Answers whether it saved the state (the caller restores after stroking the shaft).
bool clipOutArrowHeads(DrawingContext& context, const std::vector<ConnectorHead>& heads, double strokeWidth) {
    bool any = false;
    for (const ConnectorHead& head : heads) {
        if (head.style == ArrowHeadStyle::open) continue;
        if (!any) {
            any = true;
            context.save();
            context.beginPath();
            context.rect(-10000000, -10000000, 20000000, 20000000);
        }
        addHeadPath(context, headShape(head, strokeWidth));
    }
    if (!any) return false;
    context.clip(FillRule::evenodd);
    return true;
}

void paintArrowHeads(DrawingContext& context, const std::vector<ConnectorHead>& heads, const std::string& color,
                     double strokeWidth) {
    if (heads.empty()) return;
    context.save();
    context.setLineDash({});  // heads are always solid
    context.setFillStyle(color);
    for (const ConnectorHead& head : heads) {
        const ArrowHeadShape shape = headShape(head, strokeWidth);
        context.beginPath();
        addHeadPath(context, shape);
        const auto* polygon = std::get_if<ArrowHeadShape::Polygon>(&shape.shape);
        if (polygon && polygon->filled) context.fill();
        context.stroke();
    }
    context.restore();
}

void paintRoutedConnector(DrawingContext& context, const PaintJob& job, const ConnectorEnds& ends) {
    const Element& element = job.element;
    std::optional<ElementIndex> alone;
    const ElementIndex* index = job.index;
    if (!index) {
        // Without a scene, route the connector as if it were alone on the board.
        alone.emplace(std::vector<Element>{element});
        index = &*alone;
    }
    const std::vector<Point> route = resolveConnectorRoute(ends, *index);
    if (route.size() < 2) return;
    const std::vector<ConnectorHead> heads = getConnectorHeads(
        element, [&route](HeadPlacement placement) { return getRouteHeadVector(route, placement); });
    const bool clipped = clipOutArrowHeads(context, heads, element.strokeWidth);
    if (job.plain) {
        context.beginPath();
        context.moveTo(route[0].x, route[0].y);
        for (std::size_t i = 1; i < route.size(); ++i) context.lineTo(route[i].x, route[i].y);
        context.stroke();
    } else {
        for (std::size_t i = 1; i < route.size(); ++i) {
            if (addRoughSegment(context, route[i - 1], route[i], job.seed, element.roughness,
                                31 * static_cast<double>(i))) {
                context.stroke();
            }
        }
    }
    if (clipped) context.restore();
    paintArrowHeads(context, heads, job.strokeColor, element.strokeWidth);
}

}  // namespace

void paintConnector(DrawingContext& context, const PaintJob& job) {
    const Element& element = job.element;
    const std::optional<ConnectorEnds> ends = connectorEnds(element);
    if (!ends) return;
    if (ends->isElbow()) {
        paintRoutedConnector(context, job, *ends);
        return;
    }
    const ConnectorEndpoints p =
        job.index ? resolveArrowEndpoints(*ends, *job.index) : ConnectorEndpoints{ends->x, ends->y, ends->x2, ends->y2};
    QuadraticControlPoint control;
    if (const auto point = lineControlPoint(element)) control = {point->first, point->second};
    const bool curved = control.cx && control.cy;

    const std::vector<ConnectorHead> heads = getConnectorHeads(
        element, [&](HeadPlacement placement) { return getArrowHeadVector(p, control, placement); });
    const bool clipped = clipOutArrowHeads(context, heads, element.strokeWidth);
    if (curved) {
        // Curves never wobble.
        context.beginPath();
        context.moveTo(p.x, p.y);
        context.quadraticCurveTo(*control.cx, *control.cy, p.x2, p.y2);
        context.stroke();
    } else if (job.plain) {
        context.beginPath();
        context.moveTo(p.x, p.y);
        context.lineTo(p.x2, p.y2);
        context.stroke();
    } else if (addRoughSegment(context, Point{p.x, p.y}, Point{p.x2, p.y2}, job.seed, element.roughness, 0)) {
        context.stroke();
    }
    if (clipped) context.restore();
    paintArrowHeads(context, heads, job.strokeColor, element.strokeWidth);
}

}  // namespace dv::detail
