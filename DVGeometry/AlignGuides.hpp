#pragma once
// Guide lines shown while a selection is dragged: where one of its edges or centre lines comes
// within a few screen pixels of an edge or centre line of another element. Each guide sits on the
// other element's coordinate, so the editor can snap to it as well.

#include "DVModel/Element.hpp"
#include "DVModel/JSStringKey.hpp"
#include "DVModel/Vocabulary.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace dv {

struct AlignGuide {
    /// `x`: a vertical line at a world x; `y`: a horizontal line at a world y.
    enum class Axis : std::uint8_t { x, y };

    Axis axis = Axis::x;
    double worldPos = 0;
    bool operator==(const AlignGuide&) const = default;
};

template <> struct Words<AlignGuide::Axis> {
    static constexpr std::array<std::string_view, 2> list{"x", "y"};
};

/// The lines of every element a selection may align with: built once when a drag starts and
/// reused for every pointer move.
struct AlignGuideTargets {
    struct Edges {
        std::array<double, 3> x;  // left, centre, right
        std::array<double, 3> y;  // top, middle, bottom
        bool operator==(const Edges&) const = default;
    };

    /// One entry per visible element whose id is not selected, in board order.
    std::vector<Edges> edges;

    AlignGuideTargets() = default;
    AlignGuideTargets(std::span<const Element> elements, const std::unordered_set<JSStringKey>& selectedIds);
};

/// Guides between the box around `selected` and the targets, within 5 screen pixels at `zoom`;
/// target by target, x guides before y guides, none closer than the threshold to an earlier one
/// of its axis.
std::vector<AlignGuide> computeAlignGuides(std::span<const Element> selected, const AlignGuideTargets& targets,
                                           double zoom);

/// The same, with the selection taken from `elements` by id (visible or not) and the targets
/// built from the rest.
std::vector<AlignGuide> computeAlignGuides(std::span<const Element> elements,
                                           const std::unordered_set<JSStringKey>& selectedIds, double zoom);

} // namespace dv

template <> struct std::hash<dv::AlignGuide> {
    std::size_t operator()(const dv::AlignGuide& guide) const noexcept;
};
