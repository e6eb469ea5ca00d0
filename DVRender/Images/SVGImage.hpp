#pragma once
// SVG content loaded once and rasterised at exact pixel sizes.

#include "DVRender/Images/SVGBounds.hpp"
#include "Platform/Graphics/Image.hpp"
#include "Platform/SVG/SVGDocument.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace dv {

class SVGImage {
public:
    // Nothing when the bytes do not load as an SVG document with a size, or when the raster
    // images embedded in them are beyond the decode limits; throws std::bad_alloc when the
    // memory the parsed document holds cannot be had.
    static std::shared_ptr<SVGImage> load(std::span<const std::uint8_t> data);

    // Natural size in points.
    double width() const { return width_; }
    double height() const { return height_; }

    // About what the renderer holds of the parsed document: it keeps some 1.8 KB for every
    // element besides about three times the text.
    std::size_t heldBytes() const { return heldBytes_; }

    // What drawing it costs, the documents it links included (see measureSvg).
    const SVGCost& cost() const { return cost_; }

    // The image drawn to fill exactly pixelWidth x pixelHeight pixels (stretched); throws
    // std::bad_alloc when the memory to draw it all cannot be had.
    gfx::ImageRef rasterize(std::int64_t pixelWidth, std::int64_t pixelHeight) const;

private:
    SVGImage(gfx::SVGDocument document, std::size_t heldBytes, std::int64_t linkedPixels, SVGCost cost)
        : width_(document.width()),
          height_(document.height()),
          heldBytes_(heldBytes),
          linkedPixels_(linkedPixels),
          cost_(cost),
          document_(std::move(document)) {}
    double width_;
    double height_;
    std::size_t heldBytes_;
    std::int64_t linkedPixels_;  // of the raster images linked at any depth, decoded whole
    SVGCost cost_;
    gfx::SVGDocument document_;
};

// True when every raster data: link in the SVG text (at any depth of nested SVG data: links)
// passes the decoders' header limits and all of them together hold no more pixels than a
// decoder may hold whole. Text that does not parse as XML fails.
bool svgRasterLinksWithinLimits(std::span<const std::uint8_t> svg);

}  // namespace dv
