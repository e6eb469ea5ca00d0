#pragma once
// The board area every export covers: the elements' boxes (connector ends resolved, stencils
// widened for their captions, curves by their end and control points, point lists as stored)
// and the connector-label boxes, plus a fixed margin that the exports add on each side.
// Stroke widths, heads, rotation, shadows and the `visible` flag play no part.

#include "DVModel/Element.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace dv {

class ElementIndex;
class ConnectorLabelBoxes;

/// Margin, in board units, that every export leaves around its bounds on each side.
inline constexpr double EXPORT_PADDING = 24.0;

/// Not normalised: an empty scene has both minima at +infinity and both maxima at -infinity.
struct ExportBounds {
    double minX = 0;
    double minY = 0;
    double maxX = 0;
    double maxY = 0;
    bool operator==(const ExportBounds&) const = default;
};

/// Bounds of the elements and of their connector labels, without padding.
ExportBounds computeExportBounds(const std::vector<Element>& elements);

/// The same for a scene whose index and label layout the caller already has (and needs again
/// for drawing), so that the labels are laid out once per export.
ExportBounds exportBounds(const ElementIndex& index, const ConnectorLabelBoxes& labelBoxes);

/// The colour an export paints its canvas with: the text trimmed of JavaScript white space, or
/// "#080808" when nothing is left. The colour is not checked here.
std::string resolveCanvasBackground(std::string_view color);

}  // namespace dv

template <>
struct std::hash<dv::ExportBounds> {
    std::size_t operator()(const dv::ExportBounds& bounds) const noexcept;
};
