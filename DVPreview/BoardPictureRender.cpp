// Rendering a board's picture through the raster export, with the process-wide image store.

#include "DVPreview/BoardPicture.hpp"
#include "DVRender/Images/ImageBudget.hpp"
#include "DVRender/Images/ImageStore.hpp"

#include <utility>

namespace dv {

namespace {

// A picture's images are looked up in the board's order before any drawing (which may run on
// several threads at once), so that the budget takes them in that order.
void lookUpInBoardOrder(BudgetedImages& images, const std::vector<Element>& elements) {
    for (const Element& element : elements) {
        if (const Element::Image* image = element.payload.image()) images.image(image->src);
        else if (const Element::Stencil* stencil = element.payload.stencil())
            if (const auto* embedded = std::get_if<StencilSource::Embedded>(&stencil->source.kind))
                images.image(embedded->src);
    }
}

}  // namespace

std::optional<gfx::ImageRef> BoardPicture::image(std::vector<Element> elements, const RenderTheme& theme,
                                                 double maxPixelSide) {
    // An empty board needs nothing of the image store: it is not even made.
    if (elements.empty()) return std::nullopt;
    // The same plan as `plan`, from the scene the drawing uses.
    BudgetedImages images(ImageStore::shared());
    lookUpInBoardOrder(images, elements);
    RenderEnvironment environment(theme, images);
    return renderExportImage(
        std::move(elements), true, theme.canvasBackground,
        [maxPixelSide](const ExportRasterPlan& exportPlan) { return capped(exportPlan, maxPixelSide); }, environment);
}

std::optional<std::vector<std::uint8_t>> BoardPicture::png(const std::vector<Element>& elements,
                                                           const RenderTheme& theme, double maxPixelSide) {
    auto p = plan(elements, theme, maxPixelSide);
    if (!p) return std::nullopt;
    BudgetedImages images(ImageStore::shared());
    lookUpInBoardOrder(images, elements);
    RenderEnvironment environment(theme, images);
    try {
        return exportPNGData(elements, *p, environment);
    } catch (const ExportError&) {
        return std::nullopt;
    }
}

}  // namespace dv
