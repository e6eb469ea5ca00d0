#include "DVRender/Editor/OffscreenRenderer.hpp"

#include "DVModel/JSNumber.hpp"
#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Export/RasterExport.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/PNGEncoder.hpp"
#include "Platform/Graphics/Parallelism.hpp"

#include <cmath>
#include <new>

namespace dv {

std::string messageNumber(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    // JavaScript writes negative zero as "0", which reads back as positive zero.
    if (value == 0 && std::signbit(value)) return "-0.0";
    std::string text = jsNumberString(value);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

OffscreenRenderer::RenderError OffscreenRenderer::RenderError::invalidSize(double width, double height, double scale) {
    RenderError error(Case::invalidSize, "cannot render " + messageNumber(width) + " x " + messageNumber(height) +
                                             " points at scale " + messageNumber(scale));
    error.invalidSize_ = InvalidSize{width, height, scale};
    return error;
}
OffscreenRenderer::RenderError OffscreenRenderer::RenderError::contextCreationFailed() {
    return {Case::contextCreationFailed, "cannot create the bitmap context"};
}
OffscreenRenderer::RenderError OffscreenRenderer::RenderError::encodingFailed() {
    return {Case::encodingFailed, "cannot encode the PNG"};
}

// A frame is the caller's: its heavy fills and its encoding start no thread of their own.
gfx::ImageRef OffscreenRenderer::render(const std::vector<Element>& elements, const OffscreenRenderOptions& options) {
    const gfx::CallerThreadOnly alone;
    RenderCache cache;
    std::optional<RenderSnapshot> snapshot;
    try {
        snapshot = cache.snapshot(elements, options.environment, options.editingId, options.editingShapeLabelId);
    } catch (const std::bad_alloc&) {
        throw RenderError::contextCreationFailed();
    }
    return render(*snapshot, options);
}

gfx::ImageRef OffscreenRenderer::render(const RenderSnapshot& snapshot, const OffscreenRenderOptions& options) {
    const gfx::CallerThreadOnly alone;
    const double ratio = options.devicePixelRatio;
    const double pixelWidth = std::ceil(ratio * options.width), pixelHeight = std::ceil(ratio * options.height);
    if (!(pixelWidth >= 1 && pixelWidth <= 32768 && pixelHeight >= 1 && pixelHeight <= 32768 && ratio > 0) ||
        pixelWidth * pixelHeight > static_cast<double>(EXPORT_MAX_PIXEL_AREA)) {
        throw RenderError::invalidSize(options.width, options.height, ratio);
    }
    if (pixelWidth > gfx::Bitmap::maxSide || pixelHeight > gfx::Bitmap::maxSide) {
        throw RenderError::contextCreationFailed();
    }
    // Memory the drawing cannot have (a huge path, a recording's own buffers) leaves no frame:
    // the caller learns it as it learns of a bitmap that cannot be made.
    try {
        auto bitmap = gfx::Bitmap::create(static_cast<int>(pixelWidth), static_cast<int>(pixelHeight));
        if (!bitmap) throw RenderError::contextCreationFailed();
        {
            // The bitmap is stored top row first, so user space is already y-down: no flip.
            auto graphics = std::make_shared<gfx::GraphicsContext>(*bitmap);
            if (!graphics->isHealthy()) throw RenderError::contextCreationFailed();
            CGDrawingContext context(graphics);
            if (options.drawsBackground) {
                context.setFillStyle(snapshot.theme.canvasBackground);
                context.fillRect(0, 0, pixelWidth, pixelHeight);
            }
            // The grid is drawn over the frame's device pixels, so that it covers the whole frame at
            // every pixel ratio.
            if (options.grid) {
                drawGrid(context, options.viewport, options.grid->size, options.grid->pattern, pixelWidth, pixelHeight,
                         ratio, snapshot.theme);
            }
            const Viewport& v = options.viewport;
            const double a = ratio * v.zoom, e = ratio * v.offsetX, f = ratio * v.offsetY;
            if (std::isfinite(a) && std::isfinite(e) && std::isfinite(f)) context.setTransform(a, 0, 0, a, e, f);
            const double left = -v.offsetX / v.zoom, top = -v.offsetY / v.zoom;
            snapshot.draw(context, NormalizedRect{left, top, options.width / v.zoom - v.offsetX / v.zoom - left,
                                                  options.height / v.zoom - v.offsetY / v.zoom - top});
            // A frame cairo could not finish is no frame of the view.
            if (!graphics->isHealthy()) throw RenderError::contextCreationFailed();
        }
        return std::move(*bitmap).takeImage();
    } catch (const std::bad_alloc&) {
        throw RenderError::contextCreationFailed();
    }
}

std::vector<std::uint8_t> OffscreenRenderer::pngData(const std::vector<Element>& elements,
                                                     const OffscreenRenderOptions& options) {
    return pngData(render(elements, options));
}

std::vector<std::uint8_t> OffscreenRenderer::pngData(const gfx::ImageRef& image) {
    if (!image) throw RenderError::encodingFailed();
    const gfx::CallerThreadOnly alone;
    auto png = gfx::encodePNG(gfx::pixelsOf(*image));
    if (!png) throw RenderError::encodingFailed();
    return std::move(*png);
}

}  // namespace dv
