#pragma once
// Where a dragged connector end attaches: to a port of an element when one is in reach, else to
// the nearest point of an element's border.

#include "DVModel/Element.hpp"
#include "DVModel/Hashing.hpp"
#include "DVModel/SmallRecords.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace dv {

struct ElementSnapTarget {
    std::string elementId;
    /// The attachment point, in world units.
    double worldX = 0;
    double worldY = 0;
    /// From the pointer to the attachment point.
    double distance = 0;
    /// Present for a port, absent for a free point on the border.
    std::optional<ConnectorAnchor> anchor;

    bool operator==(const ElementSnapTarget&) const = default;
};

/// The nearest port within `portDistance`, the earlier element and side winning ties; without
/// one, the nearest border point within `borderDistance`. `ignoreId` is the connector being
/// edited; hidden elements never attract an end, locked ones do.
std::optional<ElementSnapTarget> findConnectorSnapTarget(const std::vector<Element>& elements, double x, double y,
                                                         double borderDistance, double portDistance,
                                                         const std::optional<std::string>& ignoreId);

/// The nearest border point within `maxDistance` of any element but lines and arrows, the
/// earlier element winning ties.
std::optional<ElementSnapTarget> findNearestElementSnapTarget(const std::vector<Element>& elements, double x,
                                                              double y, double maxDistance,
                                                              const std::optional<std::string>& ignoreId);

} // namespace dv

DV_HASH_MEMBERS(dv::ElementSnapTarget, &dv::ElementSnapTarget::elementId, &dv::ElementSnapTarget::worldX,
                &dv::ElementSnapTarget::worldY, &dv::ElementSnapTarget::distance, &dv::ElementSnapTarget::anchor);
