#include "DVGeometry/SelectionHandles.hpp"

#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/ViewportGeometry.hpp"
#include "DVGeometry/detail/Rotation.hpp"
#include "DVGeometry/detail/SelectionBox.hpp"
#include "DVModel/Hashing.hpp"
#include "DVModel/JSNumber.hpp"

#include <cmath>

namespace dv {

namespace detail {

SelectionBox selectionBox(std::span<const Element> selected, const ElementIndex* index) {
    SelectionBox box{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const Element& element : selected) {
        const NormalizedRect b = getElementBounds(element, index);
        box.left = jsMin(box.left, b.x);
        box.top = jsMin(box.top, b.y);
        box.right = jsMax(box.right, b.x + b.w);
        box.bottom = jsMax(box.bottom, b.y + b.h);
    }
    return box;
}

} // namespace detail

namespace {

// Within this many screen pixels of a connector's end the pointer takes its grip.
constexpr double kEndpointReach = 9;

// Turns with the selection only when it is one rotated element: a group has no common angle.
struct SingleRotation {
    double theta;
    Point pivot;
};

std::optional<SingleRotation> singleRotation(std::span<const Element> selected, const Viewport& viewport) {
    if (selected.size() != 1 || !detail::isRotated(selected[0])) return std::nullopt;
    const Point centre = getElementCenter(selected[0]);
    return SingleRotation{*selected[0].rotation, worldToScreen(viewport, centre.x, centre.y)};
}

Point turned(Point p, const std::optional<SingleRotation>& rotation) {
    if (!rotation) return p;
    return detail::rotateAbout(p, rotation->pivot, rotation->theta);
}

bool holdsEmbeddedStencil(std::span<const Element> selected) {
    for (const Element& element : selected) {
        const Element::Stencil* stencil = element.payload.stencil();
        if (stencil && !stencil->source.isBuiltin()) return true;
    }
    return false;
}

} // namespace

std::vector<Handle> getSelectionHandles(std::span<const Element> selected, const Viewport& viewport) {
    if (selected.empty()) return {};
    const detail::SelectionBox box = detail::selectionBox(selected, nullptr);
    const Point topLeft = worldToScreen(viewport, box.left, box.top);
    const Point bottomRight = worldToScreen(viewport, box.right, box.bottom);
    const double l = topLeft.x, t = topLeft.y, r = bottomRight.x, b = bottomRight.y;
    const double midX = (l + r) / 2, midY = (t + b) / 2;

    const std::optional<SingleRotation> rotation = singleRotation(selected, viewport);
    const std::array<std::pair<HandlePosition, Point>, 8> corners{{
        {HandlePosition::nw, {l, t}},
        {HandlePosition::n, {midX, t}},
        {HandlePosition::ne, {r, t}},
        {HandlePosition::w, {l, midY}},
        {HandlePosition::e, {r, midY}},
        {HandlePosition::sw, {l, b}},
        {HandlePosition::s, {midX, b}},
        {HandlePosition::se, {r, b}},
    }};
    std::vector<Handle> handles;
    handles.reserve(corners.size());
    for (const auto& [position, point] : corners) {
        const Point p = turned(point, rotation);
        handles.push_back({position, p.x, p.y});
    }
    return handles;
}

std::optional<Point> getRotationHandleScreen(std::span<const Element> selected, const Viewport& viewport,
                                             const ElementIndex* index) {
    if (selected.empty() || holdsEmbeddedStencil(selected)) return std::nullopt;
    const detail::SelectionBox box = detail::selectionBox(selected, index);
    const Point topLeft = worldToScreen(viewport, box.left, box.top);
    const Point bottomRight = worldToScreen(viewport, box.right, box.bottom);
    const Point handle{(topLeft.x + bottomRight.x) / 2, topLeft.y - ROTATION_HANDLE_OFFSET};
    return turned(handle, singleRotation(selected, viewport));
}

std::optional<HandlePosition> hitTestHandle(std::span<const Handle> handles, double x, double y,
                                            double tolerance) {
    for (const Handle& h : handles) {
        if (h.screenX - HANDLE_HALF - tolerance <= x && x <= h.screenX + HANDLE_HALF + tolerance &&
            h.screenY - HANDLE_HALF - tolerance <= y && y <= h.screenY + HANDLE_HALF + tolerance) {
            return h.position;
        }
    }
    return std::nullopt;
}

std::optional<ConnectorEndpoint> hitTestEndpoint(const Element& element, const Viewport& viewport, double x,
                                                 double y, const ElementIndex* index) {
    const std::optional<ConnectorEnds> ends = connectorEnds(element);
    if (!ends) return std::nullopt;
    const ConnectorEndpoints points =
        index ? resolveArrowEndpoints(*ends, *index) : ConnectorEndpoints{ends->x, ends->y, ends->x2, ends->y2};
    // A NaN distance fails the comparison, so it never hits.
    const Point start = worldToScreen(viewport, points.x, points.y);
    if (jsHypot(x - start.x, y - start.y) <= kEndpointReach) return ConnectorEndpoint::start;
    const Point end = worldToScreen(viewport, points.x2, points.y2);
    if (jsHypot(x - end.x, y - end.y) <= kEndpointReach) return ConnectorEndpoint::end;
    return std::nullopt;
}

} // namespace dv

std::size_t std::hash<dv::Handle>::operator()(const dv::Handle& handle) const noexcept {
    dv::Hasher h;
    h.writeByte(static_cast<std::uint8_t>(handle.position));
    h.writeDouble(handle.screenX);
    h.writeDouble(handle.screenY);
    return h.finish();
}
