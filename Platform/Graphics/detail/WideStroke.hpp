#pragma once
// A round pen far wider than the path it strokes: every piece of the stroke overlaps every
// other, and cairo rasterises each piece's edges across all the rows the pen spans. 5,000 small
// rough ellipses stroked 1000 wide took 2.5 s at 256 pixels and 4.5 s at 1024, their shadows
// as much again. When the pen covers the whole path, the stroke is the path's convex hull
// widened by the pen, up to notches where the hull bridges a dent, as shallow as the bridge's
// length squared over eight pen radii; the outline is built here from the pieces cairo's
// stroker draws (each segment's sides at the pen's radius, and cairo's own pen polygon around
// each corner) and filled: one edge a side per row.
#include "Platform/Graphics/detail/SparseStroke.hpp"

#include <optional>
#include <vector>

namespace dv::gfx::detail {

/// Narrower pens are stroked by cairo: their pieces cross few rows.
inline constexpr double WIDE_STROKE_MIN_RADIUS = 4;

/// How deep a notch the outline may fill, in device pixels.
inline constexpr double WIDE_STROKE_NOTCH = 1.0 / 64;

/// The outline (device space) of the stroke of `path` with `pen`, drawn by cairo with the given
/// tolerance, to fill with the nonzero rule. Absent unless the joins are round, every open
/// subpath has round caps, every subpath is of some length (a lone point aside), the transform
/// keeps the pen round, the pen's inner radius spans the path's bounding box, and no notch the
/// outline fills is deeper than WIDE_STROKE_NOTCH.
std::optional<std::vector<Vec2>> wideStrokeOutline(const std::vector<Polyline>& path, const StrokePen& pen,
                                                   double tolerance);

/// The vertices of cairo's pen for a circle of `radius` device pixels drawn within `tolerance`.
int penVertices(double radius, double tolerance);

} // namespace dv::gfx::detail
