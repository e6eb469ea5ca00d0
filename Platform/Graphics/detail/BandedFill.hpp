#pragma once
// A long outline drawn across a small picture often runs along the same few device edges again
// and again: a polygon of 100,000 points zigzagging across a range a thousand times wider than
// the picture meets cairo's grid at only a few thousand places. cairo still walks every edge on
// every row it crosses, so the cost grows with the points, not with what can be seen.
//
// Here the edges are first merged: coincident runs of an edge become one edge carrying their
// summed winding. The filled region is then found band by band down the picture (the bands are
// the rows at which cairo samples a pixel, and only those of the visible rows): at the middle of
// each band the edges crossing it are ordered, the winding rule picks the spans between them,
// and each span becomes a trapezoid whose sides follow its two edges through the band. Bands
// that repeat the same spans between the same edges are joined. The trapezoids meet cairo as an
// ordinary fill of few, short edges; cairo finds in them the spans it would have found among
// the edges, except where edges cross or end within a band, where the coverage of a pixel can
// move by a few levels.
#include "Platform/Graphics/detail/OpposedEdges.hpp"

#include <array>
#include <optional>
#include <vector>

namespace dv::gfx::detail {

/// A corner of a trapezoid, in device pixels.
struct BandPoint {
    double x, y;
};
using Trapezoid = std::array<BandPoint, 4>;

/// The fill of closed subpaths on cairo's grid (each implicitly closed) within device rows
/// [rowTop, rowBottom), as non-overlapping trapezoids. Absent when merging coincident edges does
/// not at least halve the edges of non-zero height, or the path has fewer than `minEdges`.
/// `runs`, when dropOpposedEdges tallied them for the same subpaths, tell that before the edges
/// are sorted: a long path whose edges hardly coincide (a scribble crossing itself) is refused
/// at the cost of its tally, with the same answer.
std::optional<std::vector<Trapezoid>> bandedFill(const std::vector<std::vector<GridPoint>>& subpaths, bool evenOdd,
                                                 double rowTop, double rowBottom,
                                                 std::size_t minEdges = OPPOSED_EDGES_MIN_EDGES,
                                                 const EdgeRunCounts* runs = nullptr);

} // namespace dv::gfx::detail
