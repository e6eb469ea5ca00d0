#pragma once
// The rules the plain and the cached snap searches share, so that both answer alike.

#include "DVGeometry/ConnectorSnapping.hpp"

#include <optional>
#include <string>

namespace dv::detail {

/// Whether a snap search considers the element at all.
bool takesPartInSnapping(const Element& element, const std::optional<std::string>& ignoreId);

/// Whether a candidate at `distance` becomes the best: one farther than `reach` is passed over,
/// and only a strictly nearer one replaces the best, so ties keep the earlier candidate and a
/// NaN distance, once taken, stays.
inline bool improvesSnapTarget(const std::optional<ElementSnapTarget>& best, double distance, double reach) {
    if (distance > reach) return false;
    return !best || best->distance > distance;
}

/// The border point of `element` nearest to (x, y), as a target without anchor.
ElementSnapTarget borderSnapCandidate(const Element& element, double x, double y);

} // namespace dv::detail
