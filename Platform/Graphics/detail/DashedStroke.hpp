#pragma once
// cairo dashes a stroke by walking every dash of it in user space, one step per dash, whether
// the dash can be seen or not: a long path, a dash far shorter than a device pixel, or a
// transform that squeezes user space to almost nothing (so that a short device path is long in
// user space) makes millions of steps, and under a nearly singular transform a walk that never
// ends. Such strokes are dashed here instead: only where the stroke can reach the window that
// matters, with the dashes' phase carried exactly across everything skipped, and with dashes
// finer than cairo's own tolerance drawn as the solid stroke of lighter ink that they blend
// into, as cairo itself approximates them.
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/detail/GuardBox.hpp"

#include <cstddef>
#include <vector>

namespace dv::gfx::detail {

/// A subpath in device space: straight segments between the points, and one back to the first
/// point when closed.
struct Polyline {
    std::vector<Vec2> points;
    bool closed = false;
};

/// The linear part of a user-to-device transform: device = (a·x + c·y, b·x + d·y).
struct LinearMap {
    double a = 1, b = 0, c = 0, d = 1;
    /// The length in user space of a device vector; infinite where the map squeezes user space
    /// beyond what a double can undo.
    double userLength(double dx, double dy) const;
};

/// Dash lengths in user space, as the stroke was given them, and the offset into the pattern.
struct DashPattern {
    std::vector<double> lengths;
    double offset = 0;
};

/// Strokes whose dashing would take more steps than this are dashed here.
inline constexpr double DASH_STEP_LIMIT = 100000;

/// The steps cairo's dasher takes along these subpaths (one per dash element it enters, one per
/// segment at least); infinite when the walk would not end, or would leave cairo's fixed-point
/// grid: it measures each dash from the start of its segment, so a segment whose sides span
/// more than the grid holds wraps around.
double dashSteps(const std::vector<Polyline>& path, const LinearMap& map, const DashPattern& dash);

/// The dashed stroke within `window` (device space, already widened by the stroke's reach),
/// as plain strokes.
struct DashedPieces {
    /// Each dash, or the part of it inside the window, with the corners it turns: stroked with
    /// the stroke's own caps and joins, these draw the dashes.
    std::vector<Polyline> dashes;
    /// Stretches where the dashes are finer than `DASH_GRAIN` device pixels, or past the budget
    /// of `maxDashes`: stroked solid with their ink scaled by `dashCoverage`.
    std::vector<Polyline> averaged;
};

/// A dash period shorter than this many device pixels along the path blends into one shade.
inline constexpr double DASH_GRAIN = 0.1;

DashedPieces dashWithin(const std::vector<Polyline>& path, const LinearMap& map, const DashPattern& dash,
                        double x0, double y0, double x1, double y1, std::size_t maxDashes);

/// The share of a solid stroke's ink that the dashes cover, caps included, capped at 1.
double dashCoverage(const DashPattern& dash, double lineWidth, LineCap cap);

} // namespace dv::gfx::detail
