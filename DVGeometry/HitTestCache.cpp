#include "DVGeometry/HitTestCache.hpp"

#include "DVGeometry/ArrowHeads.hpp"
#include "DVGeometry/ShapeGeometry.hpp"
#include "DVGeometry/detail/Rotation.hpp"
#include "DVGeometry/detail/SnapRules.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVModel/JSStringKey.hpp"
#include "DVModel/StencilRegistry.hpp"

#include <bit>
#include <cmath>
#include <unordered_set>
#include <utility>

namespace dv {

namespace {

using detail::isRotated;


// Least and greatest coordinates over points: the first point starts, a later one replaces a
// bound only when strictly beyond it (so a NaN after the first point is passed over).
struct PointBounds {
    bool any = false;
    double minX = 0, minY = 0, maxX = 0, maxY = 0;

    void add(double x, double y) {
        if (!any) {
            any = true;
            minX = maxX = x;
            minY = maxY = y;
            return;
        }
        if (x < minX) minX = x;
        if (x > maxX) maxX = x;
        if (y < minY) minY = y;
        if (y > maxY) maxY = y;
    }
};

// Snap boxes past this magnitude are not used: the slack added to them would be lost to rounding.
constexpr double kSnapBoxLimit = 1e100;

bool usableSnapBound(double v) { return std::isfinite(v) && std::fabs(v) < kSnapBoxLimit; }

// The slack on box rejections keeps them conservative against rounding in the exact tests.
constexpr double kHitSlack = 1e-9;
constexpr double kSnapSlack = 1e-6;

// Whether (x, y) lies farther than g outside the box on some axis. NaN never lies outside.
template <class B> bool outside(const B& b, double g, double x, double y) {
    return b.minX - g > x || x > b.maxX + g || b.minY - g > y || y > b.maxY + g;
}

template <class B> double largestMagnitude(const B& b) {
    return jsMax(std::fabs(b.minX), std::fabs(b.minY), std::fabs(b.maxX), std::fabs(b.maxY));
}

} // namespace

HitTestCache::HitTestCache() : elements_(std::make_shared<const std::vector<Element>>()) {}

void HitTestCache::reset(std::size_t position) {
    boxes_[position] = Box();
    geometries_[position].reset();
    snaps_[position] = SnapEntry();
}

void HitTestCache::update(ElementList elements, std::optional<std::int64_t> version,
                          const ChangedPositions& changedPositions) {
    if (!elements) elements = std::make_shared<const std::vector<Element>>();
    const std::size_t count = elements->size();

    if (count == elements_->size() && (count == 0 || elements == elements_)) {
        if (version) version_ = version;
        return;
    }

    std::optional<std::vector<std::int64_t>> changed;
    if (version && count == elements_->size() && version_ && changedPositions) changed = changedPositions(*version_);
    if (changed) {
        index_ = *index_.replacingSharedElements(elements);
        std::unordered_set<JSStringKey> changedIds;
        for (std::int64_t p : *changed) {
            // Checked before any conversion: a negative position must not wrap into a huge index.
            if (p < 0 || static_cast<std::uint64_t>(p) >= boxes_.size()) continue;
            const auto at = static_cast<std::size_t>(p);
            reset(at);
            changedIds.insert(JSStringKey((*elements)[at].id));
        }
        if (!changedIds.empty()) {
            // A connector follows the elements it is bound to, so it changes with them.
            auto changedId = [&](const std::optional<std::string>& id) {
                return id && !id->empty() && changedIds.contains(JSStringKey(*id));
            };
            for (std::size_t j = 0; j < count; ++j) {
                if (!boxes_[j].computed) continue;
                const ConnectorFields* c = (*elements)[j].payload.connector();
                if (c && (changedId(c->startElementId) || changedId(c->endElementId))) reset(j);
            }
        }
        elements_ = std::move(elements);
        version_ = version;
        memo_.reset();
        return;
    }

    index_ = ElementIndex(elements);
    boxes_.assign(count, Box());
    geometries_.assign(count, std::nullopt);
    snaps_.assign(count, SnapEntry());
    elements_ = std::move(elements);
    version_ = version;
    memo_.reset();
}

HitTestCache::Box HitTestCache::boxOf(const Element& element, const HitGeometry& geometry) {
    Box box;
    box.computed = true;
    if (isRotated(element)) return box;

    const double half = element.strokeWidth * 0.5;
    PointBounds bounds;
    const Element::Payload& payload = element.payload;
    if (const auto* route = std::get_if<HitGeometry::Route>(&geometry.kind)) {
        for (const Point& p : route->points) bounds.add(p.x, p.y);
        box.slack = half;
        box.usesLinePad = true;
    } else if (payload.connector()) {
        if (const auto* resolved = std::get_if<HitGeometry::Endpoints>(&geometry.kind)) {
            bounds.add(resolved->ends.x, resolved->ends.y);
            if (std::optional<std::pair<double, double>> control = lineControlPoint(element)) {
                bounds.add(control->first, control->second);
            }
            bounds.add(resolved->ends.x2, resolved->ends.y2);
        }
        box.slack = half;
        box.usesLinePad = true;
    } else if (const auto* curve = payload.curve()) {
        bounds.add(element.x, element.y);
        bounds.add(curve->cx, curve->cy);
        bounds.add(curve->x2, curve->y2);
        box.slack = half + 6;
    } else if (const auto* polygon = payload.polygon()) {
        for (const Point& p : polygon->points) bounds.add(p.x, p.y);
        box.slack = half;
    } else if (const auto* freehand = payload.freehand()) {
        for (const Point& p : freehand->points) bounds.add(p.x, p.y);
        box.slack = half;
    } else {
        const NormalizedRect r = getElementBounds(element);
        bounds = {true, r.x, r.y, r.x + r.w, r.y + r.h};
    }

    if (bounds.any && std::isfinite(bounds.minX) && std::isfinite(bounds.minY) && std::isfinite(bounds.maxX) &&
        std::isfinite(bounds.maxY) && std::isfinite(box.slack)) {
        box.hasBox = true;
        box.minX = bounds.minX;
        box.minY = bounds.minY;
        box.maxX = bounds.maxX;
        box.maxY = bounds.maxY;
        box.magnitude = largestMagnitude(box);
    }
    return box;
}

std::optional<Element> HitTestCache::hitTest(double x, double y, double zoom, double extraPadPx) {
    const Memo query{std::bit_cast<std::uint64_t>(x), std::bit_cast<std::uint64_t>(y),
                     std::bit_cast<std::uint64_t>(zoom), std::bit_cast<std::uint64_t>(extraPadPx), std::nullopt};
    if (memo_ && memo_->wx == query.wx && memo_->wy == query.wy && memo_->zoom == query.zoom &&
        memo_->extra == query.extra) {
        if (!memo_->result) return std::nullopt;
        return (*elements_)[*memo_->result];
    }

    const std::vector<Element>& elements = *elements_;
    // The tolerance before the slack, as the exact test computes it, for each of the two pads.
    const double linePad = std::fabs(8 / zoom + extraPadPx / zoom);
    const double bodyPad = std::fabs(4 / zoom + extraPadPx / zoom);
    const double pointMagnitude = std::fabs(x);
    std::optional<std::size_t> answer;
    std::size_t visited = 0;
    for (std::size_t i = elements.size(); i-- > 0;) {
        ++visited;
        const Element& element = elements[i];
        if (!boxes_[i].computed) {
            geometries_[i] = hitGeometry(element, index_);
            boxes_[i] = boxOf(element, *geometries_[i]);
        }
        const Box& box = boxes_[i];
        if (box.hasBox) {
            const double m = (box.usesLinePad ? linePad : bodyPad) + std::fabs(box.slack);
            if (std::isfinite(m)) {
                const double g = m + kHitSlack * (((box.magnitude + m) + pointMagnitude) + std::fabs(y));
                if (outside(box, g, x, y)) continue;
            }
        }
        if (!geometries_[i]) continue;
        if (hitTestElement(element, *geometries_[i], x, y, zoom, extraPadPx)) {
            answer = i;
            break;
        }
    }
    elementVisits_ += visited;

    memo_ = query;
    memo_->result = answer;
    if (!answer) return std::nullopt;
    return elements[*answer];
}

HitTestCache::SnapEntry HitTestCache::snapEntryOf(const Element& element) {
    SnapEntry entry;
    entry.computed = true;
    const ElementType type = element.type();
    entry.isConnector = type == ElementType::line || type == ElementType::arrow;
    entry.hasPorts = type == ElementType::rectangle || type == ElementType::ellipse || type == ElementType::rhombus ||
                     type == ElementType::shape || type == ElementType::stencil || type == ElementType::text ||
                     type == ElementType::image;
    entry.skip = element.visible == false || entry.isConnector;
    if (entry.skip) return entry;

    if (entry.hasPorts) entry.ports = getElementPorts(element);
    if (!entry.ports.empty()) {
        SnapEntry::Bounds b{entry.ports[0].worldX, entry.ports[0].worldY, entry.ports[0].worldX,
                            entry.ports[0].worldY};
        bool finitePorts = true;
        for (const ElementPort& port : entry.ports) {
            finitePorts = finitePorts && std::isfinite(port.worldX) && std::isfinite(port.worldY);
            b.minX = jsMin(b.minX, port.worldX);
            b.minY = jsMin(b.minY, port.worldY);
            b.maxX = jsMax(b.maxX, port.worldX);
            b.maxY = jsMax(b.maxY, port.worldY);
        }
        if (finitePorts && usableSnapBound(b.minX) && usableSnapBound(b.minY) && usableSnapBound(b.maxX) &&
            usableSnapBound(b.maxY)) {
            b.magnitude = largestMagnitude(b);
            entry.portBox = b;
        }
    }

    // A NaN rotation counts as rotated here: leaving the box out is always safe.
    if (element.rotation && *element.rotation != 0) return entry;
    const NormalizedRect r = getElementBounds(element);
    SnapEntry::Bounds b{r.x, r.y, r.x + r.w, r.y + r.h};
    if (const Element::Stencil* stencil = element.payload.stencil()) {
        if (std::optional<NormalizedRect> label = getStencilLabelBox(*stencil, element.x, element.y)) {
            b.minX = jsMin(b.minX, label->x);
            b.minY = jsMin(b.minY, label->y);
            b.maxX = jsMax(b.maxX, label->x + label->w);
            b.maxY = jsMax(b.maxY, label->y + label->h);
        }
        // A border point on the bottom edge is moved below the label lines.
        const auto lines = static_cast<double>(getStencilLabelLines(*stencil).size());
        const double fontSize = stencil->labelFontSize.value_or(LabelDefaults::defaultStencilLabelFontSize);
        const double extra = lines > 0 ? (lines * fontSize) * 1.2 + StencilRegistry::stencilLabelGap : 0;
        b.maxY = jsMax(b.maxY, ((r.y + r.h) + 0.5) + std::fabs(extra));
    } else if (const Element::Shape* shape = element.payload.shape()) {
        for (const Point& p : getShapeOutlinePolygon(shape->kind, r.w, r.h)) {
            b.minX = jsMin(b.minX, p.x + r.x);
            b.minY = jsMin(b.minY, p.y + r.y);
            b.maxX = jsMax(b.maxX, p.x + r.x);
            b.maxY = jsMax(b.maxY, p.y + r.y);
        }
    }
    if (usableSnapBound(b.minX) && usableSnapBound(b.minY) && usableSnapBound(b.maxX) && usableSnapBound(b.maxY)) {
        b.magnitude = largestMagnitude(b);
        entry.box = b;
    }
    return entry;
}

std::optional<ElementSnapTarget> HitTestCache::connectorSnapTarget(double x, double y, double borderDistance,
                                                                   double portDistance,
                                                                   const std::optional<std::string>& ignoreId) {
    const std::vector<Element>& elements = *elements_;
    const bool tamePointer = std::fabs(x) < kSnapBoxLimit && std::fabs(y) < kSnapBoxLimit;
    auto farFrom = [&](const std::optional<SnapEntry::Bounds>& box, double reach) {
        if (!box || !tamePointer || !(std::fabs(reach) < kSnapBoxLimit)) return false;
        const double g = std::fabs(reach) + kSnapSlack * (((box->magnitude + std::fabs(reach)) + std::fabs(x)) + std::fabs(y));
        return outside(*box, g, x, y);
    };
    auto ignored = [&](const Element& element) { return ignoreId && jsStringEquals(element.id, *ignoreId); };

    elementVisits_ += elements.size();
    std::optional<ElementSnapTarget> best;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!snaps_[i].computed) snaps_[i] = snapEntryOf(elements[i]);
        const SnapEntry& entry = snaps_[i];
        if (entry.skip || !entry.hasPorts || farFrom(entry.portBox, portDistance) || ignored(elements[i])) continue;
        for (const ElementPort& port : entry.ports) {
            const double d = jsHypot(x - port.worldX, y - port.worldY);
            if (detail::improvesSnapTarget(best, d, portDistance)) {
                best = ElementSnapTarget{elements[i].id, port.worldX, port.worldY, d, port.anchor};
            }
        }
    }
    if (best) return best;

    elementVisits_ += elements.size();
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const SnapEntry& entry = snaps_[i];
        if (entry.skip || entry.isConnector || farFrom(entry.box, borderDistance) || ignored(elements[i])) continue;
        ElementSnapTarget candidate = detail::borderSnapCandidate(elements[i], x, y);
        if (detail::improvesSnapTarget(best, candidate.distance, borderDistance)) best = std::move(candidate);
    }
    return best;
}

} // namespace dv
