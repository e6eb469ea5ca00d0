#pragma once
// What an SVG document may cost the SVG renderer. The renderer sets no useful bound of its own on
// the work of filters, layers and references, and it aborts the process on some filter
// parameters, so every document is measured, and lowered where that changes nothing visible,
// before it is handed over.

#include "Platform/XML/XMLDocument.hpp"

#include <cstdint>
#include <optional>

namespace dv {

// The cost of drawing a document once, counted as the renderer will spend it. Every reference is
// counted at each place it is drawn (a <use> of a group of ten shapes drawn twice counts 22).
struct SVGCost {
    std::int64_t nodes = 0;      // elements drawn or parsed
    std::int64_t work = 0;       // filter, layer and outline work: about milliseconds at 1024 x 1024 pixels
    std::int64_t surfaces = 0;   // offscreen surfaces alive at once on the deepest chain
    std::int64_t textBytes = 0;  // text drawn, in UTF-8 bytes
    friend bool operator==(const SVGCost&, const SVGCost&) = default;
};

struct SVGLimits {
    static constexpr std::int64_t maxNodes = 20'000;
    // About a second of filter and layer work for a document drawn at 1024 x 1024 pixels.
    static constexpr std::int64_t maxWork = 1'000;
    // Each surface is as large as the picture: 4 MiB at 1024 x 1024 pixels.
    static constexpr std::int64_t maxSurfaces = 32;
    static constexpr std::int64_t maxTextBytes = 20'000;
    // A larger order, or as many kernel values unless they match the order, and the renderer
    // aborts the process.
    static constexpr std::int64_t maxKernelValues = 400;
    // Octaves past this one add less than a level of an 8-bit channel; the renderer pays for each.
    static constexpr std::int64_t maxOctaves = 10;
    // Elements within elements and references within references.
    static constexpr int maxDepth = 512;
};

struct SVGMeasure {
    SVGCost cost;
    bool rewritten = false;  // parameters were lowered in the document
};

// Measures the document under `root` and lowers, in place, what can be lowered without a visible
// change: kernelUnitLength is dropped (the renderer would resample its input to as many pixels
// as kernel units, gigabytes for small units; without it the primitive works at device pixels)
// and numOctaves is cut to maxOctaves. Nothing when the document holds what the renderer cannot
// survive (a convolution kernel past maxKernelValues), a reference cycle, nesting past maxDepth,
// or more elements or text than the limits allow (the walk stops there).
std::optional<SVGMeasure> measureSvg(xml::Element root);

// The sum of two costs, surfaces as the larger (the documents are drawn one after the other).
SVGCost combined(const SVGCost& a, const SVGCost& b);

bool withinSvgLimits(const SVGCost& cost);

}  // namespace dv
