#pragma once
// A heavy fill laid tile by tile still hands cairo the whole path for every tile, and cairo makes
// an edge of every line of it before dropping those outside the tile's rows: a scribble of half a
// million edges cost each tile, and so each band, all of them. An edge lying wholly at or above
// the clip's top row (or at or below its bottom) adds nothing to the polygon cairo builds under
// that clip, and neither does any edge that replaces a run of such edges on the same side: a
// half-plane holds the straight edges between its points. So each run is cut down to at most two
// edges, chosen so that cairo does not merge them with their neighbours (it drops a point where
// the next edge carries on in the same direction), and cairo builds, within the rows, the very
// polygon it builds from the whole path.
//
// cairo also judges a path by its extents and by whether all its edges are level or upright.
// So a cut path carries two more subpaths outside the rows that add no edge there: one through
// the whole path's top corners with a sloping side, one along its bottom. cairo then takes the
// same road for the cut path, with the same bounds, as for the whole one.
#include "Platform/Graphics/detail/OpposedEdges.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace dv::gfx::detail {

/// `subpaths` as cairo keeps them (see GridPath; each implicitly closed, of lines only) cut down
/// as above for a clip of grid rows [top, bottom] (in 1/256 pixel): within those rows cairo fills
/// the result as it fills `subpaths`. Absent when nothing can be cut: the path lies within the
/// rows, or it lies wholly outside them.
std::optional<std::vector<std::vector<GridPoint>>> keptWithinRows(const std::vector<std::vector<GridPoint>>& subpaths,
                                                                 std::int64_t top, std::int64_t bottom);

} // namespace dv::gfx::detail
