#include "DVGeometry/AlignGuides.hpp"

#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/detail/SelectionBox.hpp"
#include "DVModel/Hashing.hpp"
#include "DVModel/JSNumber.hpp"

#include <cmath>

namespace dv {

namespace {

// How near, in screen pixels, two lines must be to show a guide.
constexpr double kThresholdPx = 5;

// Adds a guide for every pair of lines within h, at the target's line rounded to two decimals,
// unless an earlier guide of the axis lies strictly closer than h to it.
void matchAxis(const std::array<double, 3>& selection, const std::array<double, 3>& target, double h,
               AlignGuide::Axis axis, std::vector<AlignGuide>& guides) {
    for (double s : selection) {
        for (double t : target) {
            if (!(std::fabs(s - t) <= h)) continue;
            const double pos = jsRound(t * 100) / 100;
            bool duplicate = false;
            for (const AlignGuide& g : guides) {
                if (g.axis == axis && std::fabs(g.worldPos - pos) < h) {
                    duplicate = true;
                    break;
                }
            }
            if (!duplicate) guides.push_back({axis, pos});
        }
    }
}

} // namespace

AlignGuideTargets::AlignGuideTargets(std::span<const Element> elements,
                                     const std::unordered_set<JSStringKey>& selectedIds) {
    for (const Element& element : elements) {
        if (element.visible == false || selectedIds.contains(JSStringKey(element.id))) continue;
        const NormalizedRect b = getElementBounds(element);
        edges.push_back({{b.x, b.x + b.w * 0.5, b.x + b.w}, {b.y, b.y + b.h * 0.5, b.y + b.h}});
    }
}

std::vector<AlignGuide> computeAlignGuides(std::span<const Element> selected, const AlignGuideTargets& targets,
                                           double zoom) {
    if (selected.empty() || targets.edges.empty()) return {};
    const detail::SelectionBox box = detail::selectionBox(selected, nullptr);
    const std::array<double, 3> xs{box.left, (box.left + box.right) * 0.5, box.right};
    const std::array<double, 3> ys{box.top, (box.top + box.bottom) * 0.5, box.bottom};
    // A zoom of 0 makes every pair match; one guide per axis survives the deduplication.
    const double h = kThresholdPx / zoom;

    std::vector<AlignGuide> guides;
    for (const AlignGuideTargets::Edges& target : targets.edges) {
        matchAxis(xs, target.x, h, AlignGuide::Axis::x, guides);
        matchAxis(ys, target.y, h, AlignGuide::Axis::y, guides);
    }
    return guides;
}

std::vector<AlignGuide> computeAlignGuides(std::span<const Element> elements,
                                           const std::unordered_set<JSStringKey>& selectedIds, double zoom) {
    std::vector<Element> selected;
    for (const Element& element : elements) {
        if (selectedIds.contains(JSStringKey(element.id))) selected.push_back(element);
    }
    return computeAlignGuides(selected, AlignGuideTargets(elements, selectedIds), zoom);
}

} // namespace dv

std::size_t std::hash<dv::AlignGuide>::operator()(const dv::AlignGuide& guide) const noexcept {
    dv::Hasher h;
    h.writeByte(static_cast<std::uint8_t>(guide.axis));
    h.writeDouble(guide.worldPos);
    return h.finish();
}
