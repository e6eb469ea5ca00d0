#include "DVRender/Editor/OffscreenRenderer.hpp"

#include "DVModel/JSNumber.hpp"
#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Export/RasterExport.hpp"
#include "Platform/Graphics/BandedDrawing.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/PNGEncoder.hpp"

#include <algorithm>
#include <cmath>

namespace dv {

std::string messageNumber(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    std::string text = jsNumberString(value);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

OffscreenRenderer::RenderError OffscreenRenderer::RenderError::invalidSize(double width, double height, double scale) {
    return {Case::invalidSize, "cannot render " + messageNumber(width) + " x " + messageNumber(height) +
                                   " points at scale " + messageNumber(scale)};
}
OffscreenRenderer::RenderError OffscreenRenderer::RenderError::contextCreationFailed() {
    return {Case::contextCreationFailed, "cannot create the bitmap context"};
}
OffscreenRenderer::RenderError OffscreenRenderer::RenderError::encodingFailed() {
    return {Case::encodingFailed, "cannot encode the PNG"};
}

gfx::ImageRef OffscreenRenderer::render(const std::vector<Element>& elements, const OffscreenRenderOptions& options) {
    RenderCache cache;
    return render(cache.snapshot(elements, options.environment, options.editingId, options.editingShapeLabelId),
                  options);
}

namespace {

// A frame is drawn in bands only up to this size, since bands may need a second bitmap of the
// frame's size (of which they touch their own rows).
constexpr std::int64_t BAND_MAX_FRAME_PIXELS = 4096 * 4096;


gfx::ImageRef renderFrame(const RenderSnapshot& snapshot, const OffscreenRenderOptions& options,
                          std::optional<int> bandsAsked) {
    using RenderError = OffscreenRenderer::RenderError;
    const double ratio = options.devicePixelRatio;
    const double pixelWidth = std::ceil(ratio * options.width), pixelHeight = std::ceil(ratio * options.height);
    if (!(pixelWidth >= 1 && pixelWidth <= 32768 && pixelHeight >= 1 && pixelHeight <= 32768 && ratio > 0) ||
        pixelWidth * pixelHeight > static_cast<double>(EXPORT_MAX_PIXEL_AREA)) {
        throw RenderError::invalidSize(options.width, options.height, ratio);
    }
    if (pixelWidth > gfx::Bitmap::maxSide || pixelHeight > gfx::Bitmap::maxSide) {
        throw RenderError::contextCreationFailed();
    }
    const int w = static_cast<int>(pixelWidth), h = static_cast<int>(pixelHeight);
    auto bitmap = gfx::Bitmap::create(w, h);
    if (!bitmap) throw RenderError::contextCreationFailed();

    const Viewport& v = options.viewport;
    const double a = ratio * v.zoom, e = ratio * v.offsetX, f = ratio * v.offsetY;
    const bool transformed = std::isfinite(a) && std::isfinite(e) && std::isfinite(f);
    const double left = -v.offsetX / v.zoom, top = -v.offsetY / v.zoom;
    const NormalizedRect visible{left, top, options.width / v.zoom - v.offsetX / v.zoom - left,
                                 options.height / v.zoom - v.offsetY / v.zoom - top};

    // The bitmap is stored top row first, so user space is already y-down: no flip.
    auto draw = [&](const std::shared_ptr<gfx::GraphicsContext>& graphics, const NormalizedRect& cull) {
        if (!graphics->isHealthy()) throw RenderError::contextCreationFailed();
        CGDrawingContext context(graphics);
        if (options.drawsBackground) {
            context.setFillStyle(snapshot.theme.canvasBackground);
            context.fillRect(0, 0, pixelWidth, pixelHeight);
        }
        if (options.grid) {
            drawGrid(context, options.viewport, options.grid->size, options.grid->pattern, pixelWidth / ratio,
                     pixelHeight / ratio, ratio, snapshot.theme);
        }
        if (transformed) context.setTransform(a, 0, 0, a, e, f);
        snapshot.draw(context, cull);
    };

    // A band replays only what can reach the rows it draws, which needs the view's rows in board
    // units; the picture's own top and bottom stay the view's, as they are drawn at once.
    int bands = 1;
    if (transformed && a > 0 && std::isfinite(visible.y) && visible.h > 0) {
        bands = gfx::bandCountFor(w, h, BAND_MAX_FRAME_PIXELS, OFFSCREEN_MAX_BANDS, bandsAsked);
        // Pictures are sampled relative to the area a band's clip leaves: drawn at once.
        if (bands > 1 && snapshot.drawsImages(visible, a)) bands = 1;
    }
    auto bandView = [&](const gfx::BandRows& band) {
        const double bottom = visible.y + visible.h;
        const double y0 = band.drawnTop > 0 ? std::max(visible.y, (band.drawnTop - f) / a) : visible.y;
        const double y1 = band.drawnBottom < h ? std::min(bottom, (band.drawnBottom - f) / a) : bottom;
        return NormalizedRect{visible.x, y0, visible.w, std::max(0.0, y1 - y0)};
    };
    if (bands > 1) {
        auto drawBand = [&](const std::shared_ptr<gfx::GraphicsContext>& graphics, const gfx::BandRows& band) {
            draw(graphics, bandView(band));
        };
        if (!gfx::drawInBands(*bitmap, gfx::evenBands(h, bands), drawBand)) bands = 1;
    }
    // Without the memory for the bands' bitmaps the frame is drawn at once.
    if (bands == 1) draw(std::make_shared<gfx::GraphicsContext>(*bitmap), visible);
    return std::move(*bitmap).takeImage();
}

}  // namespace

gfx::ImageRef OffscreenRenderer::render(const RenderSnapshot& snapshot, const OffscreenRenderOptions& options) {
    return renderFrame(snapshot, options, std::nullopt);
}

namespace detail {

gfx::ImageRef renderOffscreenInBands(const RenderSnapshot& snapshot, const OffscreenRenderOptions& options, int bands) {
    return renderFrame(snapshot, options, bands);
}

}  // namespace detail

std::vector<std::uint8_t> OffscreenRenderer::pngData(const std::vector<Element>& elements,
                                                     const OffscreenRenderOptions& options) {
    return pngData(render(elements, options));
}

std::vector<std::uint8_t> OffscreenRenderer::pngData(const gfx::ImageRef& image) {
    if (!image) throw RenderError::encodingFailed();
    auto png = gfx::encodePNG(gfx::pixelsOf(*image));
    if (!png) throw RenderError::encodingFailed();
    return std::move(*png);
}

}  // namespace dv
