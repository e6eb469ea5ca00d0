#pragma once
// The axis-aligned box around a selection, shared by the handles and the alignment guides.

#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/Element.hpp"

#include <span>

namespace dv::detail {

struct SelectionBox {
    double left;
    double top;
    double right;
    double bottom;
};

/// Folds the elements' bounds with the JavaScript minimum and maximum (a NaN poisons the side
/// it reaches); rotation is ignored. An empty selection gives the infinite starting values.
SelectionBox selectionBox(std::span<const Element> selected, const ElementIndex* index);

} // namespace dv::detail
