#pragma once
// Dragging a resize handle: the element's new box from the handle, the fixed anchor, the pointer
// and the box the drag started from (keeping the aspect ratio on shift-drags and for text), a
// minimum size in screen pixels, and the element fields that fit the element into that box.

#include "DVGeometry/ElementIndex.hpp"
#include "DVGeometry/SelectionHandles.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/SmallRecords.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace dv {

/// Least width and height of a resized box, in screen pixels.
inline constexpr double MIN_RESIZE_SCREEN_PX = 8.0;

/// The new values of the fields a resize changes; an absent field keeps the element's value.
struct ResizePayload {
    double x = 0;
    double y = 0;
    std::optional<double> width;     // box kinds, shapes, stencils, images, text
    std::optional<double> height;
    std::optional<double> x2;        // lines, arrows, curves: the far end
    std::optional<double> y2;
    std::optional<double> cx;        // curves: the control point
    std::optional<double> cy;
    std::optional<double> fontSize;  // text resized by a corner
    std::optional<std::vector<Point>> points;  // polygons, freehand strokes
    bool operator==(const ResizePayload&) const = default;
};

/// The x that stays put while `handle` is dragged: the opposite edge, or the centre for n and s.
double anchorX(HandlePosition handle, const NormalizedRect& rect);
/// The y that stays put: the opposite edge, or the middle for w and e.
double anchorY(HandlePosition handle, const NormalizedRect& rect);
bool isCornerHandle(HandlePosition handle);

/// The box spanned by the anchor and the pointer (an edge handle keeps the other axis of
/// `start`). With `keepAspect` on a corner handle the box keeps `start`'s proportions, fits
/// inside that span and grows from the anchor towards (signX, signY). Absent when either side
/// would be narrower than `minSize`.
std::optional<NormalizedRect> newBoundsFromHandle(HandlePosition handle, double anchorX, double anchorY,
                                                  double pointerX, double pointerY, const NormalizedRect& start,
                                                  bool keepAspect, double signX, double signY, double minSize);

/// One pointer move of a resize drag. The signs are the direction from the anchor to the pointer
/// when the drag began. Absent when the box would fall below the minimum at `zoom`.
std::optional<ResizePayload> computeResize(const Element& element, HandlePosition handle, double anchorX,
                                           double anchorY, double pointerX, double pointerY,
                                           const NormalizedRect& start, bool shiftKey, double initialSignX,
                                           double initialSignY, double zoom);

/// The fields that map the element from its current bounds into (x, y, width, height). Absent for
/// a polygon or freehand stroke whose bounds have no width or no height to scale from.
std::optional<ResizePayload> scaleElement(const Element& element, double x, double y, double width, double height,
                                          bool scaleFont);

} // namespace dv

template <> struct std::hash<dv::ResizePayload> {
    std::size_t operator()(const dv::ResizePayload& payload) const noexcept;
};
