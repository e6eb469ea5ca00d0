#pragma once
// Subpaths of straight segments given in user space, put on cairo and on a context alike, for
// tests that hold a context's stroke against cairo's.
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/detail/DashedStroke.hpp"

#include <cairo.h>

#include <vector>

namespace dv::test {

using Subpaths = std::vector<std::vector<gfx::detail::Vec2>>;

inline void addSubpaths(cairo_t* cr, const Subpaths& subpaths, bool closed) {
    for (const auto& sub : subpaths) {
        cairo_new_sub_path(cr);
        for (const auto& p : sub) cairo_line_to(cr, p.x, p.y);
        if (closed) cairo_close_path(cr);
    }
}

/// Adds the subpaths to the context's path; returns them in device space.
inline std::vector<gfx::detail::Polyline> addSubpaths(gfx::GraphicsContext& g, const Subpaths& subpaths, bool closed) {
    std::vector<gfx::detail::Polyline> device;
    for (const auto& sub : subpaths) {
        g.moveTo(sub[0].x, sub[0].y);
        device.push_back({{}, closed});
        for (const auto& p : sub) {
            g.addLineTo(p.x, p.y);
            const gfx::DevicePoint d = g.userToDevice().apply(p.x, p.y);
            device.back().points.push_back({d.x, d.y});
        }
        if (closed) g.closePath();
    }
    return device;
}

} // namespace dv::test
