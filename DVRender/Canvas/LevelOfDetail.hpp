#pragma once
// How much detail a drawing context spends: tiny text as bars, shadows dropped when zoomed out.

#include <cstddef>
#include <functional>

namespace dv {

struct LevelOfDetail {
    // When > 0: text whose font size in device pixels is below this value is drawn as a bar.
    double textBarsBelowDevicePixels = 0;
    // When true no shadow is ever drawn.
    bool skipsShadows = false;

    static constexpr LevelOfDetail full() { return {0, false}; }
    // Shadows go when a view is zoomed out below a quarter; a NaN zoom keeps them.
    static constexpr LevelOfDetail canvas(double zoom) { return {4.0, zoom < 0.25}; }

    bool operator==(const LevelOfDetail&) const = default;
};

} // namespace dv

template <>
struct std::hash<dv::LevelOfDetail> {
    std::size_t operator()(const dv::LevelOfDetail& l) const {
        return std::hash<double>()(l.textBarsBelowDevicePixels) * 31 + (l.skipsShadows ? 1 : 0);
    }
};
