#pragma once
// What changed between the element list a label layout was made for and a new one.

#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/JSStringKey.hpp"

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace dv::detail {

struct LabelLayoutDiff {
    /// Ids of elements that are new, changed or removed.
    std::unordered_set<JSStringKey> changedIds;
    /// Per new position: the element there is new or changed.
    std::vector<bool> changedAt;
    /// Per new position: the element kept its identity but not its relative order.
    std::vector<bool> movedAt;
    /// Per new position: its position in the old list, -1 for a new element.
    std::vector<std::int64_t> oldPosition;
    /// Old positions whose id no longer occurs, ascending.
    std::vector<std::size_t> removed;
    /// Anything but in-place changes happened.
    bool structural = false;
};

/// Both lists must have unique ids.
LabelLayoutDiff labelLayoutDiff(const ElementIndex& oldIndex, const ElementIndex& newIndex);

} // namespace dv::detail
