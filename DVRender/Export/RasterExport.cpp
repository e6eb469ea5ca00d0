// Raster export: drawing the planned scene into a bitmap, its PNG bytes and the HTML page.

#include "DVRender/Export/RasterExport.hpp"

#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/Base64.hpp"
#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Images/BundledIconPacks.hpp"
#include "DVRender/Scene/ConnectorLabels.hpp"
#include "DVRender/Scene/ElementPainting.hpp"
#include "DVRender/Scene/GenericIcons.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/Parallelism.hpp"
#include "Platform/Graphics/PNGEncoder.hpp"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>
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

// Pictures from image sources are sampled by cairo relative to the area it composites, which a
// band's clip changes: a scene with any of them is drawn whole.
bool drawsPictures(const Element& element) {
    if (element.payload.type() == ElementType::image) return true;
    const Element::Stencil* stencil = element.payload.stencil();
    if (!stencil) return false;
    const auto* builtin = std::get_if<StencilSource::Builtin>(&stencil->source.kind);
    return !builtin || (!getGenericIcon(builtin->ref) && BundledIconPacks::icon(builtin->ref));
}

// A large picture is drawn in horizontal bands at once, each on a thread of its own, by the
// whole scene clipped to the band. The rasteriser treats the first row under a clip slightly
// differently from the same row drawn whole, so every band is drawn a few rows beyond its own
// and only its own rows are kept: the picture is the same, to the bit, as one drawn at once.
// Every band but the first draws into a bitmap of its own (memory is only touched inside the
// band), which limits bands to pictures whose copies stay small.
constexpr std::int64_t BAND_MIN_PIXELS = 256 * 1024;  // smaller bands cost more than they save
constexpr std::int64_t BAND_MAX_PICTURE_PIXELS = 2048 * 2048;
constexpr int MAX_BANDS = 4;
constexpr int BAND_OVERLAP_ROWS = 32;

// At most `most` bands, none of them thinner than the rows it draws beyond itself.
int bandCount(const ExportScene& scene, const ExportRasterPlan& plan, std::int64_t most) {
    const std::int64_t bands = std::min(most, std::int64_t{plan.pixelHeight} / (8 * BAND_OVERLAP_ROWS));
    if (bands < 2) return 1;
    for (const Element& element : scene.index.elements())
        if (drawsPictures(element)) return 1;
    return static_cast<int>(bands);
}

int bandCount(const ExportScene& scene, const ExportRasterPlan& plan) {
    const std::int64_t pixels = static_cast<std::int64_t>(plan.pixelWidth) * plan.pixelHeight;
    if (pixels > BAND_MAX_PICTURE_PIXELS) return 1;
    // On a busy machine more threads only take turns with each other, each repeating the work
    // that does not depend on the band.
    const auto free = static_cast<std::int64_t>(gfx::freeProcessorCount());
    return bandCount(scene, plan, std::min({pixels / BAND_MIN_PIXELS, free, std::int64_t{MAX_BANDS}}));
}

// Rows is a band's first and past-the-last row; without it the whole bitmap is drawn, unclipped.
// The bitmap is stored top row first, so user space is already y-down: no flip.
void drawInto(gfx::Bitmap& target, std::optional<std::pair<int, int>> rows, const ExportScene& scene,
              const ExportRasterPlan& plan, const RenderEnvironment& environment) {
    auto context = std::make_shared<gfx::GraphicsContext>(target);
    if (!context->isHealthy()) throw ExportError::contextCreationFailed();
    if (rows) {
        const auto [top, bottom] = *rows;
        context->clipToRect(
            {0, static_cast<double>(top), static_cast<double>(target.width()), static_cast<double>(bottom - top)});
    }
    drawScene(context, scene, plan, environment);
}

void drawInBands(gfx::Bitmap& bitmap, int bands, const ExportScene& scene, const ExportRasterPlan& plan,
                 const RenderEnvironment& environment) {
    const int w = bitmap.width(), h = bitmap.height();
    auto rows = [&](int band) { return std::pair{h * band / bands, h * (band + 1) / bands}; };
    auto drawn = [&](int band) {
        const auto [y0, y1] = rows(band);
        return std::pair{std::max(0, y0 - BAND_OVERLAP_ROWS), std::min(h, y1 + BAND_OVERLAP_ROWS)};
    };
    std::vector<std::optional<gfx::Bitmap>> own(static_cast<std::size_t>(bands));
    std::vector<std::exception_ptr> errors(static_cast<std::size_t>(bands));
    auto work = [&](int band) {
        try {
            auto& mine = own[static_cast<std::size_t>(band)];
            mine = gfx::Bitmap::create(w, h);
            if (!mine) throw ExportError::contextCreationFailed();
            drawInto(*mine, drawn(band), scene, plan, environment);
        } catch (...) {
            errors[static_cast<std::size_t>(band)] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    int started = 1;
    try {
        for (; started < bands; ++started) threads.emplace_back(work, started);
    } catch (const std::system_error&) {
        // No more threads to be had: the remaining bands are drawn here.
    }
    drawInto(bitmap, drawn(0), scene, plan, environment);
    for (int band = started; band < bands; ++band) work(band);
    for (auto& thread : threads) thread.join();
    for (const auto& error : errors)
        if (error) std::rethrow_exception(error);
    for (int band = 1; band < bands; ++band) {
        const auto [y0, y1] = rows(band);
        const gfx::Bitmap& mine = *own[static_cast<std::size_t>(band)];
        for (int y = y0; y < y1; ++y)
            std::memcpy(bitmap.row(y), mine.row(y), static_cast<std::size_t>(w) * sizeof(std::uint32_t));
    }
}

gfx::ImageRef renderScene(const ExportScene& scene, const ExportRasterPlan& plan,
                          const RenderEnvironment& environment, std::optional<int> bandsAsked = std::nullopt) {
    checkExportSize(plan);
    auto bitmap = gfx::Bitmap::create(static_cast<int>(plan.pixelWidth), static_cast<int>(plan.pixelHeight));
    if (!bitmap) throw ExportError::contextCreationFailed();
    const int bands = bandsAsked ? bandCount(scene, plan, *bandsAsked) : bandCount(scene, plan);
    if (bands > 1) {
        drawInBands(*bitmap, bands, scene, plan, environment);
    } else {
        drawInto(*bitmap, std::nullopt, scene, plan, environment);
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

namespace detail {

gfx::ImageRef renderExportImageInBands(const std::vector<Element>& elements, const ExportRasterPlan& plan,
                                       const RenderEnvironment& environment, int bands) {
    checkExportSize(plan);
    return renderScene(ExportScene(elements), plan, environment, bands);
}

}  // namespace detail

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
