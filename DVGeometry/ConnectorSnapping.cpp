#include "DVGeometry/ConnectorSnapping.hpp"

#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVModel/JSStringKey.hpp"
#include "DVGeometry/detail/SnapRules.hpp"

namespace dv {

namespace detail {

bool takesPartInSnapping(const Element& element, const std::optional<std::string>& ignoreId) {
    if (ignoreId && jsStringEquals(element.id, *ignoreId)) return false;
    return element.visible.value_or(true);
}

ElementSnapTarget borderSnapCandidate(const Element& element, double x, double y) {
    const Point p = getNearestElementBorderPoint(element, x, y);
    return {element.id, p.x, p.y, jsHypot(x - p.x, y - p.y), std::nullopt};
}

} // namespace detail

std::optional<ElementSnapTarget> findConnectorSnapTarget(const std::vector<Element>& elements, double x, double y,
                                                         double borderDistance, double portDistance,
                                                         const std::optional<std::string>& ignoreId) {
    std::optional<ElementSnapTarget> best;
    for (const Element& element : elements) {
        if (!detail::takesPartInSnapping(element, ignoreId)) continue;
        for (const ElementPort& port : getElementPorts(element)) {
            const double d = jsHypot(x - port.worldX, y - port.worldY);
            if (detail::improvesSnapTarget(best, d, portDistance)) {
                best = ElementSnapTarget{element.id, port.worldX, port.worldY, d, port.anchor};
            }
        }
    }
    if (best) return best;
    return findNearestElementSnapTarget(elements, x, y, borderDistance, ignoreId);
}

std::optional<ElementSnapTarget> findNearestElementSnapTarget(const std::vector<Element>& elements, double x,
                                                              double y, double maxDistance,
                                                              const std::optional<std::string>& ignoreId) {
    std::optional<ElementSnapTarget> best;
    for (const Element& element : elements) {
        if (element.payload.connector() || !detail::takesPartInSnapping(element, ignoreId)) continue;
        ElementSnapTarget candidate = detail::borderSnapCandidate(element, x, y);
        if (detail::improvesSnapTarget(best, candidate.distance, maxDistance)) best = std::move(candidate);
    }
    return best;
}

} // namespace dv
