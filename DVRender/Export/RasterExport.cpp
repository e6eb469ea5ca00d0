// Raster export: drawing the planned scene into a bitmap, its PNG bytes and the HTML page.

#include "DVRender/Export/RasterExport.hpp"

#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/Base64.hpp"
#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "DVRender/Scene/ConnectorLabels.hpp"
#include "DVRender/Scene/ElementPainting.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/BandedDrawing.hpp"
#include "Platform/Graphics/PNGEncoder.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <optional>
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

// The background in pixels, then board units.
void setUpCanvas(CGDrawingContext& canvas, const ExportRasterPlan& plan) {
    canvas.setMaxImagePixelSide(EXPORT_MAX_PIXEL_SIDE);
    if (plan.fillsBackground) {
        canvas.setProperty(CanvasProperty::fillStyle(plan.canvasColor));
        canvas.fillRect(0, 0, plan.pixelWidth, plan.pixelHeight);
    }
    canvas.scale(plan.scale, plan.scale);
    canvas.translate(plan.translateX, plan.translateY);
}

bool meets(const gfx::DeviceBox& a, const gfx::DeviceBox& b) {
    return !(a.x1 < b.x0 || a.x0 > b.x1 || a.y1 < b.y0 || a.y0 > b.y1);
}

// Where an element can change a pixel, and whether it draws a heavy fill (see
// GraphicsContext::forgetLastHeavyFill); unmeasured, it reaches everywhere.
struct ElementReach {
    gfx::DeviceBox box{-HUGE_VAL, -HUGE_VAL, HUGE_VAL, HUGE_VAL};
    bool heavyFill = true;
};

// With `reach` (see measureElements), an element that cannot change a pixel within the work
// window is left out before any of its work.
void drawScene(const std::shared_ptr<gfx::GraphicsContext>& context, const ExportScene& scene,
               const ExportRasterPlan& plan, const RenderEnvironment& environment,
               const std::vector<ElementReach>* reach = nullptr) {
    CGDrawingContext canvas(context);
    setUpCanvas(canvas, plan);
    const gfx::DeviceBox window = context->visibleReach();
    const std::vector<Element>& elements = scene.index.elements();
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!reach || meets((*reach)[i].box, window)) drawElement(canvas, elements[i], &scene.index, std::nullopt, environment);
        else if ((*reach)[i].heavyFill) context->forgetLastHeavyFill();
    }
    drawConnectorLabels(canvas, scene.index, scene.labels.boxes(), plan.canvasColor, std::nullopt, environment);
}

// Where the elements of one share (of `shares`) can change a pixel of the picture, found by
// painting them without pixels (see GraphicsContext::setMeasuring) within the picture, as
// the bands lie inside it. An element left unmeasured reaches everywhere; what fails here
// fails again when the element is drawn.
void measureElements(const ExportScene& scene, const ExportRasterPlan& plan, const RenderEnvironment& environment,
                     std::size_t share, std::size_t shares, std::vector<ElementReach>& reach) noexcept {
    try {
        const std::vector<Element>& elements = scene.index.elements();
        auto pixel = gfx::Bitmap::create(1, 1);
        if (!pixel) return;
        auto context = std::make_shared<gfx::GraphicsContext>(*pixel);
        context->setMeasuring(true, gfx::DeviceBox{0, 0, static_cast<double>(plan.pixelWidth),
                                                   static_cast<double>(plan.pixelHeight)});
        CGDrawingContext canvas(context);
        setUpCanvas(canvas, plan);
        for (std::size_t i = elements.size() * share / shares; i < elements.size() * (share + 1) / shares; ++i) {
            context->clearMeasured();
            drawElement(canvas, elements[i], &scene.index, std::nullopt, environment);
            reach[i] = {context->measured(), context->measuredHeavyFill()};
        }
    } catch (...) {
    }
}

// What each element costs to draw, as the rows it reaches in the picture: a share that every
// element pays whatever its size (the painting of its outline, its text, the calls into
// cairo) and a share that grows with the length of its strokes across the picture.
//
// A long freehand stroke or polygon costs cairo its edges, wherever they lie: its cost is that of
// its points, shared among slabs of its rows as its points fall in them (a scribble drifting up
// and down its box passes the top and bottom most often), so that each band gets its share of
// the edges. Points are placed within the reach as within their own extent, which a rotated
// element does not keep: it shares its cost evenly.
// The points of an element drawn as one long path, if it is one.
const std::vector<Point>* pathPoints(const Element& element) {
    if (const Element::Freehand* freehand = element.payload.freehand()) return &freehand->points;
    if (const Element::Polygon* polygon = element.payload.polygon()) return &polygon->points;
    return nullptr;
}

std::vector<gfx::BandWork> drawingCost(const std::vector<ElementReach>& reach, const std::vector<Element>& elements,
                                       const ExportRasterPlan& plan) {
    constexpr double EVERY_ELEMENT = 100;  // about what a stroke of this many pixels costs
    constexpr double EVERY_POINT = 4;      // of a long path, against the pixels of a stroke
    constexpr std::size_t LONG_PATH_POINTS = 4096, SLABS = 32;
    std::vector<gfx::BandWork> work;
    work.reserve(reach.size());
    for (std::size_t i = 0; i < reach.size(); ++i) {
        const gfx::DeviceBox& box = reach[i].box;
        const double x0 = std::fmax(box.x0, 0), x1 = std::fmin(box.x1, plan.pixelWidth);
        const double y0 = std::fmax(box.y0, 0), y1 = std::fmin(box.y1, plan.pixelHeight);
        if (!(x0 < x1 && y0 < y1)) continue;
        work.push_back({y0, y1, EVERY_ELEMENT + (x1 - x0) + (y1 - y0)});
        const std::vector<Point>* points = i < elements.size() ? pathPoints(elements[i]) : nullptr;
        if (!points || points->size() < LONG_PATH_POINTS) continue;
        const double cost = EVERY_POINT * static_cast<double>(points->size());
        double low = HUGE_VAL, high = -HUGE_VAL;
        for (const Point& p : *points) low = std::fmin(low, p.y), high = std::fmax(high, p.y);
        const double angle = elements[i].rotation.value_or(0);
        if (angle != 0 || !(low < high) || !std::isfinite(high - low)) {
            work.push_back({y0, y1, cost});
            continue;
        }
        std::array<double, SLABS> counts{};
        for (const Point& p : *points) {
            if (!std::isfinite(p.y)) continue;
            counts[std::min(SLABS - 1, static_cast<std::size_t>((p.y - low) / (high - low) * SLABS))] += 1;
        }
        const double rows = (box.y1 - box.y0) / SLABS;
        for (std::size_t k = 0; k < SLABS; ++k) {
            const double top = std::fmax(box.y0 + rows * static_cast<double>(k), y0);
            const double bottom = std::fmin(box.y0 + rows * static_cast<double>(k + 1), y1);
            if (counts[k] > 0 && top < bottom)
                work.push_back({top, bottom, cost * counts[k] / static_cast<double>(points->size())});
        }
    }
    return work;
}

// Pictures drawn in bands are limited to those whose band copies stay small.
constexpr std::int64_t BAND_MAX_PICTURE_PIXELS = 2048 * 2048;

}  // namespace

namespace detail {

bool drawsTextAtOnce(const std::vector<Element>& elements) {
    std::size_t bytes = 0;
    for (const Element& element : elements) {
        if (const Element::Text* text = element.payload.text()) bytes += text->content.size();
        else if (const LabelFields* labels = element.payload.labels(); labels && labels->label)
            bytes += labels->label->size();
    }
    return bytes >= TEXT_AT_ONCE_BYTES && bytes >= TEXT_AT_ONCE_BYTES_PER_ELEMENT * elements.size();
}

bool drawsHeavyPaths(const std::vector<Element>& elements) {
    std::size_t points = 0;
    for (const Element& element : elements) {
        if (const std::vector<Point>* path = pathPoints(element)) points += path->size();
        if (points >= HEAVY_PATH_POINTS) return true;
    }
    return false;
}

}  // namespace detail

namespace {

// The bands the scene is drawn in, at most `bands`: mostly long text is drawn at once (unless
// bands were asked for). Pictures from image sources draw in bands to the same bits, each
// decoded once for all the bands (see RenderImage::cgImage) while the image provider keeps
// them all. When it cannot, the measuring before the bands and every band a picture reaches
// resolve, parse and decode again what was let go, on several threads at once: that costs
// more time and memory than the bands save, so such a scene is drawn at once.
int bandCount(const ExportScene& scene, const RenderEnvironment& environment, int bands, bool asked) {
    if (bands < 2) return 1;
    if (!asked && detail::drawsTextAtOnce(scene.index.elements())) return 1;
    if (!asked && environment.images && !environment.images->keepsImagesSeen()) return 1;
    return bands;
}

// Drawing cairo could not finish leaves a picture with parts missing: it is no picture of the
// scene. Memory that could not be had fails as any allocation of the drawing does.
void throwIfLost(const gfx::GraphicsContext& context) {
    if (context.isHealthy()) return;
    if (context.ranOutOfMemory()) throw std::bad_alloc();
    throw ExportError::contextCreationFailed();
}

// The bitmap is stored top row first, so user space is already y-down: no flip.
void drawInto(const std::shared_ptr<gfx::GraphicsContext>& context, const ExportScene& scene,
              const ExportRasterPlan& plan, const RenderEnvironment& environment,
              const std::vector<ElementReach>* reach = nullptr) {
    if (!context->isHealthy()) throw ExportError::contextCreationFailed();
    drawScene(context, scene, plan, environment, reach);
    throwIfLost(*context);
}

gfx::ImageRef renderScene(const ExportScene& scene, const ExportRasterPlan& plan,
                          const RenderEnvironment& environment, std::optional<int> bandsAsked = std::nullopt) {
    checkExportSize(plan);
    const int w = static_cast<int>(plan.pixelWidth), h = static_cast<int>(plan.pixelHeight);
    auto bitmap = gfx::Bitmap::create(w, h);
    if (!bitmap) throw ExportError::contextCreationFailed();
    const bool heavy = !bandsAsked && detail::drawsHeavyPaths(scene.index.elements());
    const int bands = bandCount(scene, environment,
                                heavy ? gfx::heavyBandCount(w, h, BAND_MAX_PICTURE_PIXELS)
                                      : gfx::bandCountFor(w, h, BAND_MAX_PICTURE_PIXELS, gfx::MAX_BANDS, bandsAsked),
                                bandsAsked.has_value());
    if (bands > 1) {
        // Where each element reaches is measured on the threads that draw the bands; the band
        // edges share out the cost, and each band draws only the elements that reach it.
        std::vector<ElementReach> reach(scene.index.elements().size());
        gfx::runOnBandThreads(static_cast<std::size_t>(bands), [&](std::size_t share) {
            measureElements(scene, plan, environment, share, static_cast<std::size_t>(bands), reach);
        });
        auto draw = [&](const std::shared_ptr<gfx::GraphicsContext>& context, const gfx::BandRows&) {
            drawInto(context, scene, plan, environment, &reach);
        };
        const int minRows = bandsAsked ? gfx::ASKED_BAND_MIN_ROWS : heavy ? gfx::HEAVY_BAND_MIN_ROWS : gfx::BAND_MIN_ROWS;
        if (!gfx::drawInBands(*bitmap, gfx::bandsByCost(h, bands, drawingCost(reach, scene.index.elements(), plan), minRows), draw))
            throw ExportError::contextCreationFailed();
    } else {
        drawInto(std::make_shared<gfx::GraphicsContext>(*bitmap), scene, plan, environment);
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
