// Raster export: drawing the planned scene into a bitmap, its PNG bytes and the HTML page.

#include "DVRender/Export/RasterExport.hpp"

#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/Base64.hpp"
#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Scene/ConnectorLabels.hpp"
#include "DVRender/Scene/ElementPainting.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/PNGEncoder.hpp"

#include <utility>

namespace dv {

namespace {

// The scene of one export: the index and the label layout are made once and serve both the
// bounds and the drawing.
struct ExportScene {
    ElementIndex index;
    ConnectorLabelLayout labels;

    explicit ExportScene(std::vector<Element> elements) : index(std::move(elements)), labels(ConnectorLabelLayout::once(index)) {}
};

void drawScene(const std::shared_ptr<gfx::GraphicsContext>& context, const ExportScene& scene,
               const ExportRasterPlan& plan, const RenderEnvironment& environment) {
    CGDrawingContext canvas(context);
    canvas.setMaxImagePixelSide(EXPORT_MAX_PIXEL_SIDE);
    if (plan.fillsBackground) {
        canvas.setProperty(CanvasProperty::fillStyle(plan.canvasColor));
        canvas.fillRect(0, 0, plan.pixelWidth, plan.pixelHeight);
    }
    canvas.scale(plan.scale, plan.scale);
    canvas.translate(plan.translateX, plan.translateY);
    for (const Element& element : scene.index.elements())
        drawElement(canvas, element, &scene.index, std::nullopt, environment);
    drawConnectorLabels(canvas, scene.index, scene.labels.boxes(), plan.canvasColor, std::nullopt, environment);
}

gfx::ImageRef renderScene(const ExportScene& scene, const ExportRasterPlan& plan,
                          const RenderEnvironment& environment) {
    checkExportSize(plan);
    auto bitmap = gfx::Bitmap::create(static_cast<int>(plan.pixelWidth), static_cast<int>(plan.pixelHeight));
    if (!bitmap) throw ExportError::contextCreationFailed();
    {
        // The bitmap is stored top row first, so user space is already y-down: no flip.
        auto context = std::make_shared<gfx::GraphicsContext>(*bitmap);
        if (!context->isHealthy()) throw ExportError::contextCreationFailed();
        drawScene(context, scene, plan, environment);
    }
    return std::move(*bitmap).takeImage();
}

std::vector<std::uint8_t> encode(const gfx::ImageRef& image) {
    auto png = gfx::encodePNG(gfx::pixelsOf(*image));
    if (!png) throw ExportError::encodingFailed();
    return std::move(*png);
}

}  // namespace

gfx::ImageRef renderExportImage(const std::vector<Element>& elements, const ExportRasterPlan& plan,
                                const RenderEnvironment& environment) {
    checkExportSize(plan);
    return renderScene(ExportScene(elements), plan, environment);
}

std::optional<gfx::ImageRef> renderExportImage(std::vector<Element> elements, bool withBackground,
                                               const std::string& canvasColor,
                                               const std::function<ExportRasterPlan(const ExportRasterPlan&)>& adjust,
                                               const RenderEnvironment& environment) {
    if (elements.empty()) return std::nullopt;
    ExportScene scene(std::move(elements));
    ExportRasterPlan plan = adjust(exportRasterPlan(exportBounds(scene.index, scene.labels.boxes()), withBackground, canvasColor));
    return renderScene(scene, plan, environment);
}

void drawExportScene(const std::shared_ptr<gfx::GraphicsContext>& context, const std::vector<Element>& elements,
                     const ExportRasterPlan& plan, const RenderEnvironment& environment) {
    drawScene(context, ExportScene(elements), plan, environment);
}

std::vector<std::uint8_t> exportPNGData(const std::vector<Element>& elements, const ExportRasterPlan& plan,
                                        const RenderEnvironment& environment) {
    return encode(renderExportImage(elements, plan, environment));
}

std::optional<std::vector<std::uint8_t>> exportHTMLData(const std::vector<Element>& elements,
                                                        const std::string& canvasColor,
                                                        const RenderEnvironment& environment) {
    if (elements.empty()) return std::nullopt;
    ExportScene scene(elements);
    ExportRasterPlan plan = exportRasterPlan(exportBounds(scene.index, scene.labels.boxes()), true, canvasColor);
    std::vector<std::uint8_t> png = encode(renderScene(scene, plan, environment));
    std::string page = exportHTMLDocument(plan, "data:image/png;base64," + base64Encode(png));
    return std::vector<std::uint8_t>(page.begin(), page.end());
}

}  // namespace dv
