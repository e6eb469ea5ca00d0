#pragma once
// The view a board remembers: how far it is panned and how far it is zoomed. The record places
// no limit on its numbers; a stored viewport is range-checked when it is read.

#include "DVModel/JSONValue.hpp"

#include <cstddef>
#include <functional>

namespace dv {

struct Viewport {
    double offsetX = 0;
    double offsetY = 0;
    double zoom = 1;

    // IEEE comparison: 0 equals -0, a NaN field makes the viewport unequal even to itself.
    bool operator==(const Viewport&) const = default;
    // Exactly "offsetX", "offsetY", "zoom", in that order.
    JSONObject jsonObject() const;
};

}  // namespace dv

template <> struct std::hash<dv::Viewport> {
    std::size_t operator()(const dv::Viewport& viewport) const noexcept;
};
