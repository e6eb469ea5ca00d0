#pragma once
// A stroke whose segments cross the picture by the ten thousand costs cairo every edge of its
// outline on every sample row it crosses: a 100,000-point zigzag outline a pixel wide, its
// passes a small fraction of a pixel apart, took over twenty seconds at 256 pixels whatever its
// caps and joins. Most of such a stroke lies inside the rest of it, and is left out here:
//
// - Segments along one line that overlap form a rail. The rail's body (the band a line width
//   wide along it) is drawn by the fewest of them that cover it; another of them, whose ends
//   keep clear of the rail's ends by the reach of their joins and caps, draws nothing more.
// - A segment running from a point inside one rail to a point inside another lies between two
//   neighbours of the same two rails, whose ends on each rail are closer than the line is wide,
//   and which do not cross. Every point the pen reaches from it is then reached from one of the
//   neighbours (inside the four-sided band between them, which is nowhere wider than the pen)
//   or from a rail (beyond the ends of the band); its joins lie inside the rails' bodies.
//
// Where a kept segment meets one left out, its piece ends there: at the end of a rail, or with a
// short stub along it, so that the cap there lies inside the rail's body.
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/detail/DashedStroke.hpp"

#include <optional>
#include <vector>

namespace dv::gfx::detail {

/// The pen of a stroke: half the line width in user space, the transform's linear part, and
/// the caps and joins it is drawn with.
struct StrokePen {
    double halfWidth = 0.5;
    LinearMap map;
    LineCap cap = LineCap::butt;
    LineJoin join = LineJoin::miter;
    double miterLimit = 10;
};

/// Strokes with fewer segments than this are drawn as they are.
inline constexpr std::size_t SPARSE_STROKE_MIN_SEGMENTS = 4096;

/// What one call found itself; calls stroking the same path with the same pen (the bands of a
/// picture) share the rest.
struct SparseStrokeWork {
    std::size_t segmentsWeighed = 0;  // segments of the path it examined
};

/// The subpaths (device space, solid, on cairo's 1/256 grid as it keeps them) as open pieces
/// that stroke to the same pixels with the same pen. Absent when the path has fewer than
/// `minSegments` segments, the pen is stretched unevenly by the transform, or the pieces would
/// keep more than half of the segments. The pieces are those of the whole path whoever asks,
/// and are found once for all the calls asking for them at once or soon after one another.
std::optional<std::vector<Polyline>> sparseStroke(const std::vector<Polyline>& path, const StrokePen& pen,
                                                  std::size_t minSegments = SPARSE_STROKE_MIN_SEGMENTS,
                                                  SparseStrokeWork* work = nullptr);

} // namespace dv::gfx::detail
