#pragma once
// Mapping between board and screen coordinates (screen = offset + board * zoom), panning,
// zooming about a screen point, and fitting a view to a set of elements.

#include "DVModel/Hashing.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/SmallRecords.hpp"
#include "DVModel/Viewport.hpp"

#include <optional>
#include <vector>

namespace dv {

namespace ViewportLimits {
inline constexpr double minZoom = 0.05;
inline constexpr double maxZoom = 30;
} // namespace ViewportLimits

/// Insets of the area content is fitted into; absent values mean top 70, bottom 70, left 20,
/// right 20 and maxZoom 30.
struct FitInsets {
    std::optional<double> top;
    std::optional<double> bottom;
    std::optional<double> left;
    std::optional<double> right;
    std::optional<double> maxZoom;
    bool operator==(const FitInsets&) const = default;
};

/// (0, 0), zoom 1.
Viewport createViewport();
Point worldToScreen(const Viewport& viewport, double x, double y);
Point screenToWorld(const Viewport& viewport, double x, double y);
Viewport pan(const Viewport& viewport, double dx, double dy);
/// Zooms by `factor` within the limits, keeping the board point under (sx, sy) in place.
Viewport zoom(const Viewport& viewport, double factor, double sx, double sy);
/// Centres the elements' extent in the inset canvas at the largest zoom that shows all of it.
Viewport fitToElements(const std::vector<Element>& elements, double canvasWidth, double canvasHeight,
                       const FitInsets& insets = {});

} // namespace dv

DV_HASH_MEMBERS(dv::FitInsets, &dv::FitInsets::top, &dv::FitInsets::bottom, &dv::FitInsets::left,
                &dv::FitInsets::right, &dv::FitInsets::maxZoom);
