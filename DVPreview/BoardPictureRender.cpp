// Rendering a board's picture through the raster export, with the process-wide image store.

#include "DVPreview/BoardPicture.hpp"
#include "DVRender/Images/ImageStore.hpp"

#include <utility>

namespace dv {

std::optional<gfx::ImageRef> BoardPicture::image(std::vector<Element> elements, const RenderTheme& theme,
                                                 double maxPixelSide) {
    // An empty board needs nothing of the image store: it is not even made.
    if (elements.empty()) return std::nullopt;
    // The same plan as `plan`, from the scene the drawing uses.
    RenderEnvironment environment(theme, ImageStore::shared());
    return renderExportImage(
        std::move(elements), true, theme.canvasBackground,
        [maxPixelSide](const ExportRasterPlan& exportPlan) { return capped(exportPlan, maxPixelSide); }, environment);
}

std::optional<std::vector<std::uint8_t>> BoardPicture::png(const std::vector<Element>& elements,
                                                           const RenderTheme& theme, double maxPixelSide) {
    auto p = plan(elements, theme, maxPixelSide);
    if (!p) return std::nullopt;
    RenderEnvironment environment(theme, ImageStore::shared());
    try {
        return exportPNGData(elements, *p, environment);
    } catch (const ExportError&) {
        return std::nullopt;
    }
}

}  // namespace dv
