#include "DVRender/Editor/Overlays.hpp"

#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/SelectionHandles.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVRender/Scene/ElementPainting.hpp"

#include <cmath>
#include <limits>
#include <numbers>

namespace dv {

namespace {

constexpr double fullTurn = 2 * std::numbers::pi;

// The three spaces overlays draw in. Every overlay names one of them.
// Screen points: world × zoom + offset, scaled by the device pixel ratio.
void useScreenPoints(DrawingContext& context, double devicePixelRatio) {
    context.resetTransform();
    context.scale(devicePixelRatio, devicePixelRatio);
}
// Device pixels: no transform at all.
void useDevicePixels(DrawingContext& context) { context.resetTransform(); }
// World coordinates, as the board itself is drawn.
void useWorld(DrawingContext& context, const Viewport& viewport, double devicePixelRatio) {
    const double scale = viewport.zoom * devicePixelRatio;
    context.setTransform(scale, 0, 0, scale, viewport.offsetX * devicePixelRatio,
                         viewport.offsetY * devicePixelRatio);
}

Point screenOf(const Viewport& viewport, double x, double y) {
    return {x * viewport.zoom + viewport.offsetX, y * viewport.zoom + viewport.offsetY};
}

bool isLightCanvas(const RenderTheme& theme) { return isLightColor(theme.canvasBackground).value_or(theme.isLight); }
std::string accent(const RenderTheme& theme) { return isLightCanvas(theme) ? "#0b6fd0" : "cyan"; }
std::string handleFill(const RenderTheme& theme) { return isLightCanvas(theme) ? "#ffffff" : "#1c1c2a"; }
std::string portFill(const RenderTheme& theme) {
    return isLightCanvas(theme) ? "rgba(255,255,255,0.9)" : "rgba(0,0,0,0.6)";
}

void circle(DrawingContext& context, Point centre, double radius) {
    context.beginPath();
    context.arc(centre.x, centre.y, radius, 0, fullTurn);
    context.fill();
    context.stroke();
}

// The element's screen box (its bounds without index) and that box's centre.
struct ScreenBox {
    double x1, y1, x2, y2;
    Point centre() const { return {(x1 + x2) / 2, (y1 + y2) / 2}; }
};
ScreenBox screenBoxOf(const Element& element, const Viewport& viewport) {
    const NormalizedRect b = getElementBounds(element);
    const Point a = screenOf(viewport, b.x, b.y), c = screenOf(viewport, b.x + b.w, b.y + b.h);
    return {a.x, a.y, c.x, c.y};
}

// Turns what follows about the element's screen centre when the element is rotated.
void rotateAboutCentre(DrawingContext& context, const Element& element, const Viewport& viewport) {
    if (!element.rotation || *element.rotation == 0) return;
    const Point c = screenBoxOf(element, viewport).centre();
    context.translate(c.x, c.y);
    context.rotate(*element.rotation);
    context.translate(-c.x, -c.y);
}

void polylineOf(DrawingContext& context, const std::vector<Point>& points, const Viewport& viewport) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point p = screenOf(viewport, points[i].x, points[i].y);
        if (i == 0) context.moveTo(p.x, p.y);
        else context.lineTo(p.x, p.y);
    }
}

bool isElbow(const ConnectorEnds& ends) { return ends.routing == ConnectorRouting::elbow; }

// A curve's start, control point and end, in screen points.
void curvePath(DrawingContext& context, const Element& element, const Element::Curve& curve, const Viewport& viewport) {
    const Point start = screenOf(viewport, element.x, element.y);
    const Point control = screenOf(viewport, curve.cx, curve.cy);
    const Point end = screenOf(viewport, curve.x2, curve.y2);
    context.moveTo(start.x, start.y);
    context.quadraticCurveTo(control.x, control.y, end.x, end.y);
}

// The connector's path, resolved through the index: a line with a control point (and no elbow)
// bent through it; otherwise straight between the resolved ends when `straightUnlessBent`, else
// along the resolved route (as hovering draws every other connector).
void connectorPath(DrawingContext& context, const Element& element, const ConnectorEnds& ends,
                   const ElementIndex& index, const Viewport& viewport, bool straightUnlessBent) {
    const Element::Line* line = element.payload.line();
    const bool bent = line && line->cx && line->cy && !isElbow(ends);
    if (bent) {
        const ConnectorEndpoints p = resolveArrowEndpoints(ends, index);
        const Point s = screenOf(viewport, p.x, p.y), e = screenOf(viewport, p.x2, p.y2);
        const Point m = screenOf(viewport, *line->cx, *line->cy);
        context.moveTo(s.x, s.y);
        context.quadraticCurveTo(m.x, m.y, e.x, e.y);
    } else if (straightUnlessBent && !isElbow(ends)) {
        const ConnectorEndpoints p = resolveArrowEndpoints(ends, index);
        const Point s = screenOf(viewport, p.x, p.y), e = screenOf(viewport, p.x2, p.y2);
        context.moveTo(s.x, s.y);
        context.lineTo(e.x, e.y);
    } else {
        polylineOf(context, resolveConnectorRoute(ends, index), viewport);
    }
}

// The points of a polygon or freehand stroke, or nothing for other kinds.
const std::vector<Point>* pointsOf(const Element& element, bool& closed) {
    closed = false;
    if (const auto* polygon = element.payload.polygon()) {
        closed = polygon->closed;
        return &polygon->points;
    }
    if (const auto* freehand = element.payload.freehand()) return &freehand->points;
    return nullptr;
}

// One member of a multi-selection, outlined by its shape.
void drawMemberOutline(DrawingContext& context, const Element& member, const Viewport& viewport,
                       const ElementIndex* index) {
    context.save();
    context.setStrokeStyle("rgba(120,180,255,0.85)");
    context.setLineWidth(1.5);
    context.setLineDash({4, 3});
    const ScreenBox box = screenBoxOf(member, viewport);
    const Point c = box.centre();
    context.beginPath();
    bool closed = false;
    switch (member.type()) {
    case ElementType::ellipse:
        rotateAboutCentre(context, member, viewport);
        context.ellipse(c.x, c.y, std::fabs(box.x2 - box.x1) / 2 + 4, std::fabs(box.y2 - box.y1) / 2 + 4, 0, 0,
                        fullTurn);
        break;
    case ElementType::rhombus:
        rotateAboutCentre(context, member, viewport);
        context.moveTo(c.x, box.y1 - 4);
        context.lineTo(box.x2 + 4, c.y);
        context.lineTo(c.x, box.y2 + 4);
        context.lineTo(box.x1 - 4, c.y);
        context.closePath();
        break;
    case ElementType::line:
    case ElementType::arrow:
        if (auto ends = connectorEnds(member)) {
            std::optional<ElementIndex> own;
            if (!index) own.emplace(std::vector<Element>{member});
            connectorPath(context, member, *ends, index ? *index : *own, viewport, true);
        }
        break;
    case ElementType::curve: curvePath(context, member, *member.payload.curve(), viewport); break;
    case ElementType::polygon:
    case ElementType::freehand:
        if (const auto* points = pointsOf(member, closed); points && points->size() >= 2) {
            polylineOf(context, *points, viewport);
            if (closed) context.closePath();
        }
        break;
    default:
        rotateAboutCentre(context, member, viewport);
        context.strokeRect(box.x1 - 4, box.y1 - 4, box.x2 - box.x1 + 8, box.y2 - box.y1 + 8);
        break;
    }
    context.stroke();
    context.restore();
}

// The end grips of a single selected connector and, for a line that is not an elbow, its middle
// grip: a bent line's control point with guides to both ends, else the straight middle.
void drawConnectorHandles(DrawingContext& context, const Element& element, const ConnectorEnds& ends,
                          const ElementIndex& index, const Viewport& viewport, const RenderTheme& theme) {
    const ConnectorEndpoints p = resolveArrowEndpoints(ends, index);
    const Point s = screenOf(viewport, p.x, p.y), e = screenOf(viewport, p.x2, p.y2);
    context.setFillStyle(accent(theme));
    context.setStrokeStyle(handleFill(theme));
    context.setLineWidth(1.5);
    circle(context, s, 5);
    circle(context, e, 5);
    const Element::Line* line = element.payload.line();
    if (!line || isElbow(ends)) return;
    const bool bent = line->cx && line->cy;
    const Point m = screenOf(viewport, line->cx.value_or((p.x + p.x2) / 2), line->cy.value_or((p.y + p.y2) / 2));
    double radius = 4;
    if (bent) {
        context.setStrokeStyle("rgba(180, 160, 255, 0.3)");
        context.setLineWidth(1);
        context.setLineDash({3, 3});
        context.beginPath();
        context.moveTo(s.x, s.y);
        context.lineTo(m.x, m.y);
        context.lineTo(e.x, e.y);
        context.stroke();
        context.setLineDash({});
        context.setFillStyle("rgba(180, 160, 255, 0.9)");
        context.setStrokeStyle(handleFill(theme));
        context.setLineWidth(1.5);
        radius = 5;
    } else {
        context.setFillStyle("rgba(180, 160, 255, 0.25)");
        context.setStrokeStyle("rgba(180, 160, 255, 0.5)");
        context.setLineWidth(1);
    }
    circle(context, m, radius);
}

void drawRotationHandle(DrawingContext& context, double cx, double y1, const RenderTheme& theme) {
    const double hy = y1 - ROTATION_HANDLE_OFFSET;
    context.setStrokeStyle("rgba(120,180,255,0.5)");
    context.setLineWidth(1);
    context.beginPath();
    context.moveTo(cx, y1 - 1);
    context.lineTo(cx, hy + ROTATION_HANDLE_R);
    context.stroke();
    context.setStrokeStyle("rgba(120,180,255,0.9)");
    context.setFillStyle(handleFill(theme));
    context.setLineWidth(1.5);
    circle(context, {cx, hy}, ROTATION_HANDLE_R);
    // The turn sign: an arc from -0.7 pi to pi / 2 with an arrow tip at its end.
    context.setLineWidth(1.2);
    context.beginPath();
    context.arc(cx, hy, 4.5, -2.199114857512855, 1.5707963267948966);
    context.stroke();
    const Point t{cx + 2.755455298081545e-16, hy + 4.5};
    context.setFillStyle("rgba(120,180,255,0.9)");
    context.beginPath();
    context.moveTo(t.x, t.y);
    context.lineTo(t.x + 2.598076211353316, t.y - 1.4999999999999998);
    context.lineTo(t.x + 2.5980762113533165, t.y + 1.4999999999999993);
    context.closePath();
    context.fill();
}

}  // namespace

void drawPortIndicators(DrawingContext& context, const Element& element, const Viewport& viewport,
                        const std::optional<ConnectorAnchor>& activeAnchor, const RenderTheme& theme,
                        double devicePixelRatio) {
    const std::vector<ElementPort> ports = getElementPorts(element);
    if (ports.empty()) return;
    context.save();
    useScreenPoints(context, devicePixelRatio);
    context.setLineDash({});
    context.setLineWidth(1.5);
    context.setStrokeStyle(accent(theme));
    for (const ElementPort& port : ports) {
        const bool active = activeAnchor && std::fabs(port.anchor.x - activeAnchor->x) < 0.000001 &&
                            std::fabs(port.anchor.y - activeAnchor->y) < 0.000001;
        context.setFillStyle(active ? accent(theme) : portFill(theme));
        circle(context, screenOf(viewport, port.worldX, port.worldY), active ? 5 : 4);
    }
    context.restore();
}

void drawSnapIndicator(DrawingContext& context, double worldX, double worldY, const Viewport& viewport,
                       const RenderTheme& theme, double devicePixelRatio) {
    context.save();
    useScreenPoints(context, devicePixelRatio);
    context.setStrokeStyle(accent(theme));
    context.setLineWidth(2);
    context.setLineDash({4, 3});
    const Point p = screenOf(viewport, worldX, worldY);
    context.beginPath();
    context.arc(p.x, p.y, 16, 0, fullTurn);
    context.stroke();
    context.setLineDash({});
    context.restore();
}

void drawSelection(DrawingContext& context, const std::vector<Element>& selected, const Viewport& viewport,
                   const ElementIndex* index, const RenderTheme& theme, double devicePixelRatio) {
    if (selected.empty()) return;
    context.save();
    useScreenPoints(context, devicePixelRatio);
    constexpr double inf = std::numeric_limits<double>::infinity();
    double minX = inf, minY = inf, maxX = -inf, maxY = -inf;
    for (const Element& member : selected) {
        const NormalizedRect b = getElementBounds(member, index);
        minX = jsMin({minX, b.x});
        minY = jsMin({minY, b.y});
        maxX = jsMax({maxX, b.x + b.w});
        maxY = jsMax({maxY, b.y + b.h});
    }
    const Point top = screenOf(viewport, minX, minY), bottom = screenOf(viewport, maxX, maxY);
    const double X1 = top.x, Y1 = top.y, X2 = bottom.x, Y2 = bottom.y;

    if (selected.size() == 1) rotateAboutCentre(context, selected[0], viewport);
    if (selected.size() >= 2) {
        for (const Element& member : selected) drawMemberOutline(context, member, viewport, index);
    }

    context.setStrokeStyle("rgba(120,180,255,0.8)");
    context.setLineWidth(1.5);
    context.setLineDash({6, 3});
    context.strokeRect(X1 - 1, Y1 - 1, X2 - X1 + 2, Y2 - Y1 + 2);
    context.setLineDash({});

    context.setFillStyle(handleFill(theme));
    context.setStrokeStyle("rgba(120,180,255,0.9)");
    context.setLineWidth(1.5);
    const double midX = (X1 + X2) / 2, midY = (Y1 + Y2) / 2;
    const Point handles[] = {{X1, Y1}, {midX, Y1}, {X2, Y1}, {X1, midY}, {X2, midY}, {X1, Y2}, {midX, Y2}, {X2, Y2}};
    for (const Point& p : handles) {
        context.fillRect(p.x - HANDLE_HALF, p.y - HANDLE_HALF, HANDLE_SIZE, HANDLE_SIZE);
        context.strokeRect(p.x - HANDLE_HALF, p.y - HANDLE_HALF, HANDLE_SIZE, HANDLE_SIZE);
    }

    // The handle's own rule leaves it out for a selection holding an embedded picture.
    if (getRotationHandleScreen(selected, viewport, index)) drawRotationHandle(context, midX, Y1, theme);

    if (selected.size() == 1) {
        if (auto ends = connectorEnds(selected[0])) {
            std::optional<ElementIndex> own;
            if (!index) own.emplace(selected);
            drawConnectorHandles(context, selected[0], *ends, index ? *index : *own, viewport, theme);
        }
    }
    context.restore();
}

void drawHoverHighlight(DrawingContext& context, const Element& element, const Viewport& viewport,
                        const ElementIndex* index, double devicePixelRatio) {
    context.save();
    useScreenPoints(context, devicePixelRatio);
    context.setStrokeStyle("rgba(120, 180, 255, 0.55)");
    context.setLineWidth(2);
    context.setLineDash({});
    bool closed = false;
    switch (element.type()) {
    case ElementType::line:
    case ElementType::arrow:
        if (auto ends = connectorEnds(element)) {
            std::optional<ElementIndex> own;
            if (!index) own.emplace(std::vector<Element>{element});
            context.beginPath();
            connectorPath(context, element, *ends, index ? *index : *own, viewport, false);
            context.stroke();
        }
        break;
    case ElementType::curve:
        context.beginPath();
        curvePath(context, element, *element.payload.curve(), viewport);
        context.stroke();
        break;
    case ElementType::polygon:
    case ElementType::freehand:
        if (const auto* points = pointsOf(element, closed); points && points->size() >= 2) {
            context.beginPath();
            polylineOf(context, *points, viewport);
            if (closed) context.closePath();
            context.stroke();
        }
        break;
    default: {
        rotateAboutCentre(context, element, viewport);
        const ScreenBox box = screenBoxOf(element, viewport);
        context.strokeRect(box.x1 - 2, box.y1 - 2, box.x2 - box.x1 + 4, box.y2 - box.y1 + 4);
        break;
    }
    }
    context.restore();
}

void drawMarquee(DrawingContext& context, double x1, double y1, double x2, double y2, double devicePixelRatio) {
    context.save();
    useScreenPoints(context, devicePixelRatio);
    context.setStrokeStyle("rgba(120,180,255,0.7)");
    context.setLineWidth(1);
    context.setLineDash({4, 2});
    context.setFillStyle("rgba(120, 180, 255, 0.06)");
    const double x = jsMin({x1, x2}), y = jsMin({y1, y2}), w = std::fabs(x1 - x2), h = std::fabs(y1 - y2);
    context.fillRect(x, y, w, h);
    context.strokeRect(x, y, w, h);
    context.setLineDash({});
    context.restore();
}

void drawAlignGuides(DrawingContext& context, const std::vector<AlignGuide>& guides, const Viewport& viewport,
                     double canvasWidth, double canvasHeight, double devicePixelRatio) {
    if (guides.empty()) return;
    context.save();
    useDevicePixels(context);
    context.setStrokeStyle("#4d96ff");
    context.setLineWidth(1);
    context.setLineDash({4, 4});
    context.setGlobalAlpha(0.85);
    for (const AlignGuide& guide : guides) {
        context.beginPath();
        if (guide.axis == AlignGuide::Axis::x) {
            const double X = (guide.worldPos * viewport.zoom + viewport.offsetX) * devicePixelRatio;
            context.moveTo(X, 0);
            context.lineTo(X, canvasHeight);
        } else {
            const double Y = (guide.worldPos * viewport.zoom + viewport.offsetY) * devicePixelRatio;
            context.moveTo(0, Y);
            context.lineTo(canvasWidth, Y);
        }
        context.stroke();
    }
    context.restore();
}

void drawTextDragPreview(DrawingContext& context, double x, double y, double width, double height,
                         const Viewport& viewport, double devicePixelRatio) {
    context.save();
    useWorld(context, viewport, devicePixelRatio);
    context.setFillStyle("rgba(120,180,255,0.1)");
    context.setStrokeStyle("rgba(120,180,255,0.8)");
    context.setLineWidth(1.5 / viewport.zoom);
    context.setLineDash({6, 3});
    context.fillRect(x, y, width, height);
    context.strokeRect(x, y, width, height);
    context.restore();
}

void drawToolPreview(DrawingContext& context, const std::vector<Element>& elements, const ElementIndex& index,
                     const Viewport& viewport, const RenderEnvironment& environment, double devicePixelRatio) {
    if (elements.empty()) return;
    context.save();
    useWorld(context, viewport, devicePixelRatio);
    for (const Element& element : elements) drawElement(context, element, &index, std::nullopt, environment);
    context.restore();
}

void drawCurveControlPoint(DrawingContext& context, const Element& element, const Viewport& viewport,
                           double devicePixelRatio) {
    const Element::Curve* curve = element.payload.curve();
    if (!curve) return;
    const double r = devicePixelRatio;
    const Point start = screenOf(viewport, element.x, element.y);
    const Point control = screenOf(viewport, curve->cx, curve->cy);
    const Point end = screenOf(viewport, curve->x2, curve->y2);
    context.save();
    useDevicePixels(context);
    context.setLineDash({4, 3});
    context.setStrokeStyle("rgba(100,160,255,0.5)");
    context.setLineWidth(r);
    context.beginPath();
    context.moveTo(start.x * r, start.y * r);
    context.lineTo(control.x * r, control.y * r);
    context.lineTo(end.x * r, end.y * r);
    context.stroke();
    context.setLineDash({});
    context.setFillStyle("#ffffff");
    context.setStrokeStyle("rgba(100,160,255,0.9)");
    context.setLineWidth(1.5 * r);
    circle(context, {control.x * r, control.y * r}, 5 * r);
    context.restore();
}

}  // namespace dv
