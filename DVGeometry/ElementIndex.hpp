#pragma once
// The board's element list with a map from id to first position, the ends of a connector
// gathered into one value, and rectangles with non-negative extent.

#include "DVModel/Hashing.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/JSStringKey.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dv {

/// Immutable once built, so copies share their storage: an index is as cheap to copy as a pointer,
/// and an index over shared element storage (a cache's list) copies no element.
class ElementIndex {
public:
    ElementIndex() = default;
    /// Records the first position of every id.
    explicit ElementIndex(std::vector<Element> elements);
    explicit ElementIndex(std::shared_ptr<const std::vector<Element>> elements);

    /// The same id map over elements changed in place. Absent when the new list has another
    /// length, since the recorded positions would no longer describe it.
    std::optional<ElementIndex> replacingElements(std::vector<Element> elements) const;
    std::optional<ElementIndex> replacingSharedElements(std::shared_ptr<const std::vector<Element>> elements) const;

    const std::vector<Element>& elements() const { return elements_ ? *elements_ : noElements(); }
    const std::unordered_map<JSStringKey, std::size_t>& positions() const {
        return positions_ ? *positions_ : noPositions();
    }

    std::optional<std::size_t> firstPosition(std::string_view id) const;
    /// The element at the first position of `id`, or nullptr.
    const Element* element(std::string_view id) const;
    /// The element a connector end is bound to; an absent or empty id finds nothing.
    const Element* boundElement(const std::optional<std::string>& id) const;

private:
    static const std::vector<Element>& noElements();
    static const std::unordered_map<JSStringKey, std::size_t>& noPositions();

    // Null in an index of no elements, which is made often and must not allocate.
    std::shared_ptr<const std::vector<Element>> elements_;
    std::shared_ptr<const std::unordered_map<JSStringKey, std::size_t>> positions_;
};

/// Ends, bindings, anchors and routing of a line or arrow, as stored.
struct ConnectorEnds {
    double x = 0;
    double y = 0;
    double x2 = 0;
    double y2 = 0;
    std::optional<std::string> startElementId;
    std::optional<std::string> endElementId;
    std::optional<ConnectorAnchor> startAnchor;
    std::optional<ConnectorAnchor> endAnchor;
    std::optional<ConnectorRouting> routing;

    /// Absent routing counts as straight.
    bool isElbow() const { return routing == ConnectorRouting::elbow; }
    bool operator==(const ConnectorEnds&) const = default;
};

/// The connector ends of a line or arrow; absent for every other kind (curves included).
std::optional<ConnectorEnds> connectorEnds(const Element& element);

struct NormalizedRect {
    double x = 0;
    double y = 0;
    double w = 0;
    double h = 0;
    bool operator==(const NormalizedRect&) const = default;
};

/// A negative width or height moves the corner; the extents lose their sign bit.
NormalizedRect normalizeRect(double x, double y, double width, double height);

} // namespace dv

DV_HASH_MEMBERS(dv::ConnectorEnds, &dv::ConnectorEnds::x, &dv::ConnectorEnds::y, &dv::ConnectorEnds::x2,
                &dv::ConnectorEnds::y2, &dv::ConnectorEnds::startElementId, &dv::ConnectorEnds::endElementId,
                &dv::ConnectorEnds::startAnchor, &dv::ConnectorEnds::endAnchor, &dv::ConnectorEnds::routing);
DV_HASH_MEMBERS(dv::NormalizedRect, &dv::NormalizedRect::x, &dv::NormalizedRect::y, &dv::NormalizedRect::w,
                &dv::NormalizedRect::h);
