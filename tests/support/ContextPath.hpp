#pragma once
// A closed polygon traced on a drawing context, the way a painter traces one.
#include "Platform/Graphics/GraphicsContext.hpp"

namespace dv::test {

/// Traces the points (anything with x and y) as one closed subpath.
template <typename Points>
void traceClosed(gfx::GraphicsContext& g, const Points& points) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i == 0) g.moveTo(points[i].x, points[i].y);
        else g.addLineTo(points[i].x, points[i].y);
    }
    g.closePath();
}

} // namespace dv::test
