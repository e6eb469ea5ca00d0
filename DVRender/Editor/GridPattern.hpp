#pragma once
// The background grid behind a board's elements: dots, lines, or a millimetre grid of three line
// weights, in the theme's ink at low opacity.

#include "DVModel/Viewport.hpp"
#include "DVModel/Vocabulary.hpp"
#include "DVRender/Canvas/DrawingContext.hpp"
#include "DVRender/Scene/RenderTheme.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace dv {

enum class GridPattern : std::uint8_t { dot, line, mm };

template <> struct Words<GridPattern> {
    static constexpr std::array<std::string_view, 3> list{"dot", "line", "mm"};
};

/// Paints the grid for the viewport over a canvas of canvasWidth × canvasHeight device pixels.
/// A layer whose lines or dots fall fewer than 2 device pixels apart is painted as the faint
/// even tone it blends to (or not at all where that tone is below a colour level), so the work
/// stays within a fraction of the canvas's pixels whatever the zoom and ratio.
/// A grid size, zoom or device pixel ratio that is not a finite number above 0 draws nothing.
void drawGrid(DrawingContext& context, const Viewport& viewport, double gridSize, GridPattern gridType,
              double canvasWidth, double canvasHeight, double devicePixelRatio, const RenderTheme& theme);

}  // namespace dv
