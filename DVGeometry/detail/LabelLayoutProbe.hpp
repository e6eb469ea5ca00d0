#pragma once
// A look inside the connector-label layout, for tests that hold its searches to the plain one.

#include "DVGeometry/ConnectorLabelLayout.hpp"

#include <cstdint>

namespace dv::detail {

struct LabelLayoutProbe {
    /// A full layout whose passes (this one and every update) use the plain search: every
    /// candidate priced against every obstacle of its search region, every evaluation counted.
    static ConnectorLabelLayout plain(const ElementIndex& index, std::uint64_t budget);
    /// The evaluations that the last pass counted; a pass that could not reach its budget counts
    /// none unless it uses the plain search.
    static std::uint64_t evaluations(const ConnectorLabelLayout& layout) { return layout.evaluations_; }
};

} // namespace dv::detail
