#include "DVGeometry/ConnectorGeometry.hpp"

#include "DVGeometry/ArrowHeads.hpp"
#include "DVGeometry/ElbowRoute.hpp"
#include "DVGeometry/ShapeGeometry.hpp"
#include "DVGeometry/detail/Rotation.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVModel/StencilRegistry.hpp"

#include <array>
#include <cmath>
#include <optional>

namespace dv {

namespace {

using detail::isRotated;
using detail::rotateAbout;
using detail::rotateOffset;
using detail::unrotateAbout;
using detail::unrotateOffset;

constexpr double kInfinity = HUGE_VAL;

// Sides in their fixed order: top, right, bottom, left.
enum Side { top = 0, right = 1, bottom = 2, left = 3 };
constexpr std::array<Point, 4> kSideVectors{Point{0, -1}, Point{1, 0}, Point{0, 1}, Point{-1, 0}};

Point rectCenter(const NormalizedRect& r) { return {r.x + r.w / 2, r.y + r.h / 2}; }

// Elements with a width and a height of their own: the box kinds, shapes, stencils, texts, images.
std::optional<NormalizedRect> sizedBox(const Element& e) {
    const Element::Payload& p = e.payload;
    if (const auto* b = p.box()) return normalizeRect(e.x, e.y, b->width, b->height);
    if (const auto* s = p.shape()) return normalizeRect(e.x, e.y, s->width, s->height);
    if (const auto* s = p.stencil()) return normalizeRect(e.x, e.y, s->width, s->height);
    if (const auto* t = p.text()) return normalizeRect(e.x, e.y, t->width, t->height);
    if (const auto* i = p.image()) return normalizeRect(e.x, e.y, i->width, i->height);
    return std::nullopt;
}

NormalizedRect pointsBox(const std::vector<Point>& points) {
    double minX = kInfinity, minY = kInfinity, maxX = -kInfinity, maxY = -kInfinity;
    // Plain comparisons are Math.min and Math.max for lists without a NaN or a zero (whose sign
    // they would not order). Bound connectors ask for the box of a pen stroke many times over.
    bool plain = true;
    for (const Point& p : points) {
        plain &= (p.x == p.x) & (p.y == p.y) & (p.x != 0) & (p.y != 0);
        minX = p.x < minX ? p.x : minX;
        minY = p.y < minY ? p.y : minY;
        maxX = p.x > maxX ? p.x : maxX;
        maxY = p.y > maxY ? p.y : maxY;
    }
    if (plain) return {minX, minY, maxX - minX, maxY - minY};
    minX = minY = kInfinity;
    maxX = maxY = -kInfinity;
    for (const Point& p : points) {
        minX = jsMin(minX, p.x);
        minY = jsMin(minY, p.y);
        maxX = jsMax(maxX, p.x);
        maxY = jsMax(maxY, p.y);
    }
    return {minX, minY, maxX - minX, maxY - minY};
}

// The stencil's label box, for a stencil that is not rotated and has label lines.
std::optional<NormalizedRect> unrotatedStencilLabelBox(const Element& e) {
    const Element::Stencil* stencil = e.payload.stencil();
    if (!stencil || isRotated(e)) return std::nullopt;
    return getStencilLabelBox(*stencil, e.x, e.y);
}

bool hasPorts(const Element& e) { return sizedBox(e).has_value(); }

// The port on one side: the border point toward a target well outside the element.
ElementPort elementPort(const Element& e, int side) {
    const NormalizedRect b = getElementBounds(e);
    const Point c = rectCenter(b);
    const double reach = b.w + b.h + 1;
    const double theta = e.rotation.value_or(0);
    const Point u = kSideVectors[side];
    const double ct = std::cos(theta);
    const double st = std::sin(theta);
    const double tx = c.x + reach * (u.x * ct - u.y * st);
    const double ty = c.y + reach * (u.x * st + u.y * ct);
    const Point p = getElementBorderPoint(e, tx, ty);
    return {p.x, p.y, worldToAnchor(e, p.x, p.y)};
}

// The nearest of the candidates on the four edges of a box that holds p; the first one wins ties.
Point nearestEdgePointInside(const NormalizedRect& b, Point p) {
    const std::array<std::pair<Point, double>, 4> candidates{{
        {{b.x, p.y}, std::fabs(p.x - b.x)},
        {{b.x + b.w, p.y}, std::fabs(p.x - b.x - b.w)},
        {{p.x, b.y}, std::fabs(p.y - b.y)},
        {{p.x, b.y + b.h}, std::fabs(p.y - b.y - b.h)},
    }};
    Point best = candidates[0].first;
    double bestDistance = candidates[0].second;
    for (std::size_t i = 1; i < candidates.size(); ++i) {
        if (candidates[i].second < bestDistance) {
            best = candidates[i].first;
            bestDistance = candidates[i].second;
        }
    }
    return best;
}

struct Exit {
    Point point;
    std::optional<RouteDirection> direction;
    double stub = ELBOW_STUB;
};

// One bound end of an elbow connector: `bound` is its element, `anchor` its anchor, `resolved` its
// resolved point; `other` is the element at the far end (if any), `otherAnchor` the far end's
// anchor and `otherReference` the far end's reference point.
Exit elbowExit(const Element& bound, const std::optional<ConnectorAnchor>& anchor, Point resolved,
               const Element* other, const std::optional<ConnectorAnchor>& otherAnchor, Point otherReference) {
    int side;
    Point point = resolved;
    if (anchor) {
        if (std::fabs(anchor->x - 0.5) >= std::fabs(anchor->y - 0.5)) {
            side = anchor->x >= 0.5 ? right : left;
        } else {
            side = anchor->y >= 0.5 ? bottom : top;
        }
    } else {
        std::optional<NormalizedRect> otherBox;
        if (other && !otherAnchor && !isRotated(*other)) otherBox = getConnectorBox(*other);
        bool horizontal;
        Point h;
        if (!otherBox || isRotated(bound)) {
            const NormalizedRect b = getElementBounds(bound);
            const Point c = rectCenter(b);
            Point q = otherReference;
            if (isRotated(bound)) q = unrotateAbout(q, c, *bound.rotation);
            h = {q.x - c.x, q.y - c.y};
            const double hw = b.w / 2;
            const double hh = b.h / 2;
            if (hw > 0) h.x = h.x / hw;
            if (hh > 0) h.y = h.y / hh;
            horizontal = std::fabs(h.x) >= std::fabs(h.y);
        } else {
            const NormalizedRect boundBox = getConnectorBox(bound);
            const Point bc = rectCenter(boundBox);
            const Point oc = rectCenter(*otherBox);
            h = {oc.x - bc.x, oc.y - bc.y};
            const double gx = std::fabs(h.x) - (boundBox.w + otherBox->w) / 2;
            const double gy = std::fabs(h.y) - (boundBox.h + otherBox->h) / 2;
            horizontal = gx >= gy;
        }
        if (horizontal) {
            side = h.x >= 0 ? right : left;
        } else {
            side = h.y >= 0 ? bottom : top;
        }
        if (hasPorts(bound)) {
            const ElementPort port = elementPort(bound, side);
            point = {port.worldX, port.worldY};
        }
    }

    const Point u = kSideVectors[side];
    const Point turned = rotateOffset(u.x, u.y, bound.rotation.value_or(0));
    // Snap to the dominant axis; ties are horizontal and NaN points up.
    RouteDirection direction = std::fabs(turned.x) >= std::fabs(turned.y)
                                   ? RouteDirection{turned.x >= 0 ? 1.0 : -1.0, 0}
                                   : RouteDirection{0, turned.y >= 0 ? 1.0 : -1.0};
    double stub = ELBOW_STUB;
    if (direction.dx != 0) {
        // A horizontal exit clears a stencil's label where it is wider than the picture.
        stub = ELBOW_STUB + (getConnectorBox(bound).w - getElementBounds(bound).w) / 2;
    }
    return {point, direction, stub};
}

struct Run {
    double low;
    double high;
};

// The straight stretch of an element's side that a horizontal or vertical exit may leave from.
std::optional<Run> straightRun(const Element& e, const RouteDirection& direction) {
    if (isRotated(e)) return std::nullopt;
    const ElementType type = e.type();
    if (type != ElementType::rectangle && type != ElementType::stencil && type != ElementType::text &&
        type != ElementType::image) {
        return std::nullopt;
    }
    double inset = 0;
    if (type == ElementType::rectangle) inset = e.payload.box()->cornerRadius.value_or(0);
    const NormalizedRect b = getElementBounds(e);
    double low, high;
    if (direction.dx != 0) {
        low = b.y;
        high = b.y + b.h;
    } else {
        low = b.x;
        high = b.x + b.w;
        if (type == ElementType::stencil && direction.dy == 1) {
            if (std::optional<NormalizedRect> label = getStencilLabelBox(e)) {
                low = label->x;
                high = label->x + label->w;
            }
        }
    }
    if (high - low > 2 * inset) return Run{low + inset, high - inset};
    return std::nullopt;
}

// The end points with the reference points that each end aims from.
struct ResolvedEnds {
    Point start;
    Point end;
    Point startReference;
    Point endReference;
    const Element* startElement;
    const Element* endElement;
};

Point resolveEnd(const Element* bound, bool fixed, Point fixedPoint, Point stored, Point otherReference) {
    if (fixed) return fixedPoint;
    if (!bound) return stored;
    if (distToShapeBoundary(*bound, getElementBounds(*bound), stored.x, stored.y) <= 1) {
        return getNearestElementBorderPoint(*bound, stored.x, stored.y);
    }
    return getElementBorderPoint(*bound, otherReference.x, otherReference.y);
}

ResolvedEnds resolveEnds(const ConnectorEnds& ends, const ElementIndex& index) {
    const Element* s = index.boundElement(ends.startElementId);
    const Element* t = index.boundElement(ends.endElementId);
    const bool startFixed = s && ends.startAnchor;
    const bool endFixed = t && ends.endAnchor;
    const Point startFixedPoint = startFixed ? anchorToWorld(*s, *ends.startAnchor) : Point{};
    const Point endFixedPoint = endFixed ? anchorToWorld(*t, *ends.endAnchor) : Point{};
    const Point startStored{ends.x, ends.y};
    const Point endStored{ends.x2, ends.y2};
    const Point startReference = startFixed ? startFixedPoint : s ? getElementCenter(*s) : startStored;
    const Point endReference = endFixed ? endFixedPoint : t ? getElementCenter(*t) : endStored;
    return {resolveEnd(s, startFixed, startFixedPoint, startStored, endReference),
            resolveEnd(t, endFixed, endFixedPoint, endStored, startReference),
            startReference,
            endReference,
            s,
            t};
}

} // namespace

NormalizedRect getElementBounds(const Element& element, const ElementIndex* index) {
    if (std::optional<NormalizedRect> box = sizedBox(element)) return *box;
    const Element::Payload& p = element.payload;
    if (const auto* curve = p.curve()) {
        const double minX = jsMin(element.x, curve->x2, curve->cx);
        const double maxX = jsMax(element.x, curve->x2, curve->cx);
        const double minY = jsMin(element.y, curve->y2, curve->cy);
        const double maxY = jsMax(element.y, curve->y2, curve->cy);
        return {minX, minY, maxX - minX, maxY - minY};
    }
    const std::vector<Point>* points = nullptr;
    if (const auto* polygon = p.polygon()) points = &polygon->points;
    if (const auto* freehand = p.freehand()) points = &freehand->points;
    if (points) {
        if (points->empty()) return {element.x, element.y, 0, 0};
        return pointsBox(*points);
    }
    const std::optional<ConnectorEnds> ends = connectorEnds(element);
    if (!ends) return {element.x, element.y, 0, 0};
    if (ends->isElbow()) {
        if (index) return pointsBox(resolveConnectorRoute(*ends, *index));
        // Routed as if alone on the board, with no binding resolving. An index of the element
        // itself would find it for a connector bound to its own id, whose route needs its own
        // centre, which needs its own bounds again: an endless recursion on a valid file.
        return pointsBox(resolveConnectorRoute(*ends, ElementIndex()));
    }
    ConnectorEndpoints e{ends->x, ends->y, ends->x2, ends->y2};
    if (index) e = resolveArrowEndpoints(*ends, *index);
    if (std::optional<std::pair<double, double>> control = lineControlPoint(element)) {
        const QuadraticBounds q = getQuadraticBounds(e.x, e.y, control->first, control->second, e.x2, e.y2);
        return {q.minX, q.minY, q.maxX - q.minX, q.maxY - q.minY};
    }
    return {jsMin(e.x, e.x2), jsMin(e.y, e.y2), std::fabs(e.x2 - e.x), std::fabs(e.y2 - e.y)};
}

NormalizedRect getElementBounds(const Element& element, const std::vector<Element>& elements) {
    const ElementIndex index(elements);
    return getElementBounds(element, &index);
}

Point getElementCenter(const Element& element) { return rectCenter(getElementBounds(element)); }

NormalizedRect getConnectorBox(const Element& element) {
    const NormalizedRect b = getElementBounds(element);
    const std::optional<NormalizedRect> label = unrotatedStencilLabelBox(element);
    if (!label) return b;
    const double x = jsMin(b.x, label->x);
    const double right = jsMax(b.x + b.w, label->x + label->w);
    return {x, b.y, right - x, label->y + label->h - b.y};
}

Point getElementBorderPoint(const Element& element, double towardX, double towardY) {
    const NormalizedRect b = getElementBounds(element);
    const Point c = rectCenter(b);
    const bool rotated = isRotated(element);
    Point d{towardX - c.x, towardY - c.y};
    if (rotated) d = unrotateOffset(d.x, d.y, *element.rotation);
    if (std::fabs(d.x) < 0.001 && std::fabs(d.y) < 0.001) return c;

    const double hw = b.w / 2;
    const double hh = b.h / 2;
    // The offset a box gives: the nearer of the two side crossings.
    auto boxOffset = [&]() -> std::optional<Point> {
        const double sx = std::fabs(d.x) > 0.001 ? hw / std::fabs(d.x) : kInfinity;
        const double sy = std::fabs(d.y) > 0.001 ? hh / std::fabs(d.y) : kInfinity;
        const double s = jsMin(sx, sy);
        // Neither component is long enough to cross a side: the ray stays at the centre (an
        // infinite scale would turn the zero component into NaN).
        if (s == kInfinity) return std::nullopt;
        return Point{s * d.x, s * d.y};
    };

    Point r;
    switch (element.type()) {
    case ElementType::shape: {
        const Point local = getShapeBorderPointToward(element.payload.shape()->kind, b.w, b.h, d.x, d.y);
        r = {local.x - hw, local.y - hh};
        break;
    }
    case ElementType::rhombus: {
        const double k = std::fabs(d.x) / hw + std::fabs(d.y) / hh;
        if (std::isnan(k)) {
            // A flat rhombus met straight along its zero extent: 0/0. The degenerate rhombus is a
            // degenerate box, so take the box's crossing instead.
            std::optional<Point> box = boxOffset();
            if (!box) return c;
            r = *box;
        } else {
            r = {d.x / k, d.y / k};
        }
        break;
    }
    case ElementType::ellipse: {
        const double a = std::atan2(d.y, d.x);
        r = {hw * std::cos(a), hh * std::sin(a)};
        break;
    }
    default: {
        std::optional<Point> box = boxOffset();
        if (!box) return c;
        r = *box;
        break;
    }
    }

    if (std::optional<NormalizedRect> label = unrotatedStencilLabelBox(element)) {
        // Does the ray leave through the label box below the picture?
        const std::array<std::array<double, 3>, 2> slabs{{
            {label->x - c.x, label->x - c.x + label->w, d.x},
            {label->y - c.y, label->y - c.y + label->h, d.y},
        }};
        double entry = 0;
        double exit = kInfinity;
        bool miss = false;
        for (const auto& [lo, hi, dir] : slabs) {
            if (std::fabs(dir) < 1e-9) {
                if (lo > 0 || hi < 0) miss = true;
            } else {
                const double t1 = lo / dir;
                const double t2 = hi / dir;
                entry = jsMax(entry, jsMin(t1, t2));
                exit = jsMin(exit, jsMax(t1, t2));
            }
        }
        if (exit == kInfinity || std::isnan(exit) || exit < entry) miss = true;
        if (!miss && jsHypot(r.x, r.y) < jsHypot(exit * d.x, exit * d.y)) {
            return {c.x + exit * d.x, c.y + exit * d.y};
        }
    }

    if (rotated) r = rotateOffset(r.x, r.y, *element.rotation);
    return {c.x + r.x, c.y + r.y};
}

Point getNearestElementBorderPoint(const Element& element, double x, double y) {
    const NormalizedRect b = getElementBounds(element);
    const Point c = rectCenter(b);
    const bool rotated = isRotated(element);
    Point p{x, y};
    if (rotated) p = unrotateAbout(p, c, *element.rotation);

    const double hw = b.w / 2;
    const double hh = b.h / 2;
    const Point fallback{c.x, b.y};
    Point result;
    switch (element.type()) {
    case ElementType::shape: {
        const Point local = getShapeNearestBorderPoint(element.payload.shape()->kind, b.w, b.h, p.x - b.x, p.y - b.y);
        result = {b.x + local.x, b.y + local.y};
        break;
    }
    case ElementType::rhombus:
    case ElementType::ellipse: {
        const Point v{p.x - c.x, p.y - c.y};
        if (hw < 0.001 || hh < 0.001 || (std::fabs(v.x) < 0.001 && std::fabs(v.y) < 0.001)) {
            result = fallback;
        } else {
            const double k = element.type() == ElementType::rhombus ? std::fabs(v.x) / hw + std::fabs(v.y) / hh
                                                                    : jsHypot(v.x / hw, v.y / hh);
            result = {c.x + v.x / k, c.y + v.y / k};
        }
        break;
    }
    default:
        if (b.x <= p.x && p.x <= b.x + b.w && b.y <= p.y && p.y <= b.y + b.h) {
            result = nearestEdgePointInside(b, p);
        } else {
            result = {jsMax(b.x, jsMin(b.x + b.w, p.x)), jsMax(b.y, jsMin(b.y + b.h, p.y))};
        }
        break;
    }

    if (const Element::Stencil* stencil = element.payload.stencil(); stencil && !rotated) {
        if (std::fabs(result.y - (b.y + b.h)) < 0.5) {
            const std::size_t lines = getStencilLabelLines(*stencil).size();
            if (lines > 0) {
                const double fontSize = stencil->labelFontSize.value_or(LabelDefaults::defaultStencilLabelFontSize);
                result.y = result.y + ((static_cast<double>(lines) * fontSize) * 1.2 + StencilRegistry::stencilLabelGap);
            }
        }
    }

    if (rotated) result = rotateAbout(result, c, *element.rotation);
    return result;
}

double distToShapeBoundary(const Element& element, const NormalizedRect& bounds, double x, double y) {
    const double hw = bounds.w / 2;
    const double hh = bounds.h / 2;
    const Point c{bounds.x + hw, bounds.y + hh};
    const Point l{x - c.x, y - c.y};
    if (hw < 0.001 || hh < 0.001) return jsHypot(l.x, l.y);
    switch (element.type()) {
    case ElementType::shape: {
        Point p{x, y};
        if (isRotated(element)) p = unrotateAbout(p, c, *element.rotation);
        return getShapeDistToBoundary(element.payload.shape()->kind, bounds.w, bounds.h, p.x - bounds.x,
                                      p.y - bounds.y);
    }
    case ElementType::rhombus:
        return std::fabs((std::fabs(l.x) / hw + std::fabs(l.y) / hh) - 1) * jsMin(hw, hh);
    case ElementType::ellipse:
        return std::fabs(jsHypot(l.x / hw, l.y / hh) - 1) * jsMin(hw, hh);
    default: {
        const double ex = hw - std::fabs(l.x);
        const double ey = hh - std::fabs(l.y);
        if (ex < 0 || ey < 0) return jsHypot(jsMax(0.0, -ex), jsMax(0.0, -ey));
        return jsMin(ex, ey);
    }
    }
}

std::vector<ElementPort> getElementPorts(const Element& element) {
    if (!hasPorts(element)) return {};
    std::vector<ElementPort> ports;
    ports.reserve(4);
    for (int side = top; side <= left; ++side) ports.push_back(elementPort(element, side));
    return ports;
}

ConnectorAnchor worldToAnchor(const Element& element, double x, double y) {
    const NormalizedRect b = getElementBounds(element);
    Point p{x, y};
    if (isRotated(element)) p = unrotateAbout(p, rectCenter(b), *element.rotation);
    ConnectorAnchor anchor;
    anchor.x = b.w > 0 ? jsMax(0.0, jsMin(1.0, (p.x - b.x) / b.w)) : 0.5;
    anchor.y = b.h > 0 ? jsMax(0.0, jsMin(1.0, (p.y - b.y) / b.h)) : 0.5;
    return anchor;
}

Point anchorToWorld(const Element& element, const ConnectorAnchor& anchor) {
    const NormalizedRect b = getElementBounds(element);
    Point p{b.x + anchor.x * b.w, b.y + anchor.y * b.h};
    if (isRotated(element)) p = rotateAbout(p, rectCenter(b), *element.rotation);
    return getNearestElementBorderPoint(element, p.x, p.y);
}

ConnectorEndpoints resolveArrowEndpoints(const ConnectorEnds& ends, const ElementIndex& index) {
    const ResolvedEnds r = resolveEnds(ends, index);
    return {r.start.x, r.start.y, r.end.x, r.end.y};
}

ConnectorEndpoints resolveArrowEndpoints(const ConnectorEnds& ends, const std::vector<Element>& elements) {
    return resolveArrowEndpoints(ends, ElementIndex(elements));
}

std::vector<Point> resolveConnectorRoute(const ConnectorEnds& ends, const ElementIndex& index) {
    const ResolvedEnds r = resolveEnds(ends, index);
    if (!ends.isElbow()) return {r.start, r.end};

    Exit startExit{r.start, std::nullopt, ELBOW_STUB};
    Exit endExit{r.end, std::nullopt, ELBOW_STUB};
    if (r.startElement) {
        startExit = elbowExit(*r.startElement, ends.startAnchor, r.start, r.endElement, ends.endAnchor, r.endReference);
    }
    if (r.endElement) {
        endExit = elbowExit(*r.endElement, ends.endAnchor, r.end, r.startElement, ends.startAnchor, r.startReference);
    }

    // Two unanchored exits facing each other across overlapping straight sides leave at one level.
    if (r.startElement && r.endElement && !ends.startAnchor && !ends.endAnchor && startExit.direction &&
        endExit.direction && startExit.direction->dx == -endExit.direction->dx &&
        startExit.direction->dy == -endExit.direction->dy) {
        const std::optional<Run> a = straightRun(*r.startElement, *startExit.direction);
        const std::optional<Run> b = straightRun(*r.endElement, *endExit.direction);
        if (a && b) {
            const double lo = jsMax(a->low, b->low);
            const double hi = jsMin(a->high, b->high);
            if (!(hi - lo < 1)) {
                const bool horizontal = startExit.direction->dx != 0;
                const Point sc = getElementCenter(*r.startElement);
                const Point ec = getElementCenter(*r.endElement);
                const double sv = horizontal ? sc.y : sc.x;
                const double ev = horizontal ? ec.y : ec.x;
                double v;
                if (lo <= sv && sv <= hi) {
                    v = sv;
                } else if (lo <= ev && ev <= hi) {
                    v = ev;
                } else {
                    v = (lo + hi) / 2;
                }
                if (horizontal) {
                    startExit.point.y = v;
                    endExit.point.y = v;
                } else {
                    startExit.point.x = v;
                    endExit.point.x = v;
                }
            }
        }
    }

    return computeElbowRoute(startExit.point, startExit.direction, endExit.point, endExit.direction, startExit.stub,
                             endExit.stub);
}

std::vector<Point> resolveConnectorRoute(const ConnectorEnds& ends, const std::vector<Element>& elements) {
    return resolveConnectorRoute(ends, ElementIndex(elements));
}

} // namespace dv
