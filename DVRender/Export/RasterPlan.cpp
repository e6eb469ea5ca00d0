// The arithmetic of raster export: plan, limits and the HTML page. Nothing here draws.

#include "DVModel/Hashing.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVRender/Export/RasterExport.hpp"

#include <cmath>

namespace dv {

namespace {

constexpr double twoTo32 = 4294967296.0;

std::string sizeMessage(std::uint32_t width, std::uint32_t height) {
    return "cannot export a " + std::to_string(width) + " x " + std::to_string(height) + " pixel image";
}

// A pixel side is only what the plan means when the world side at the plan's scale fits in 32
// bits; otherwise ToUint32 has wrapped it.
bool sideFits(double worldSide, double scale) {
    return std::fabs(worldSide * scale) < twoTo32;
}

std::string hundredthsText(double value) {
    return jsNumberString(jsRound(value * 100) / 100);
}

}  // namespace

ExportError ExportError::unsupportedSize(std::uint32_t width, std::uint32_t height) {
    return ExportError(Case::unsupportedSize, sizeMessage(width, height), width, height);
}
ExportError ExportError::contextCreationFailed() {
    return ExportError(Case::contextCreationFailed, "cannot create the bitmap context", 0, 0);
}
ExportError ExportError::encodingFailed() {
    return ExportError(Case::encodingFailed, "cannot encode the PNG", 0, 0);
}

std::uint32_t toUint32(double value) {
    if (!std::isfinite(value)) return 0;
    double wrapped = std::fmod(std::trunc(value), twoTo32);
    if (wrapped < 0) wrapped += twoTo32;
    // fmod keeps |wrapped| < 2^32 and the correction keeps it at least 0, so the cast is exact.
    return static_cast<std::uint32_t>(wrapped);
}

ExportRasterPlan exportRasterPlan(const ExportBounds& bounds, bool withBackground, std::string canvasColor) {
    ExportRasterPlan plan;
    plan.worldWidth = (bounds.maxX - bounds.minX) + 2 * EXPORT_PADDING;
    plan.worldHeight = (bounds.maxY - bounds.minY) + 2 * EXPORT_PADDING;
    plan.scale = 2;
    plan.pixelWidth = toUint32(plan.worldWidth * 2);
    plan.pixelHeight = toUint32(plan.worldHeight * 2);
    plan.translateX = EXPORT_PADDING - bounds.minX;
    plan.translateY = EXPORT_PADDING - bounds.minY;
    plan.canvasColor = std::move(canvasColor);
    plan.fillsBackground = withBackground;
    return plan;
}

std::optional<ExportRasterPlan> exportRasterPlan(const std::vector<Element>& elements, bool withBackground,
                                                 const std::string& canvasColor) {
    if (elements.empty()) return std::nullopt;
    return exportRasterPlan(computeExportBounds(elements), withBackground, canvasColor);
}

void checkExportSize(const ExportRasterPlan& plan) {
    std::uint64_t w = plan.pixelWidth, h = plan.pixelHeight;
    bool fits = w >= 1 && w <= EXPORT_MAX_PIXEL_SIDE && h >= 1 && h <= EXPORT_MAX_PIXEL_SIDE &&
                w * h <= static_cast<std::uint64_t>(EXPORT_MAX_PIXEL_AREA) && sideFits(plan.worldWidth, plan.scale) &&
                sideFits(plan.worldHeight, plan.scale);
    if (!fits) throw ExportError::unsupportedSize(plan.pixelWidth, plan.pixelHeight);
}

std::string exportHTMLDocument(const ExportRasterPlan& plan, std::string_view pngDataURL) {
    std::string page =
        "<!DOCTYPE html>\n"
        "<html lang=\"en\">\n"
        "<head>\n"
        "<meta charset=\"utf-8\"/>\n"
        "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\"/>\n"
        "<title>Drevalin export</title>\n"
        "<style>\n"
        "  *{box-sizing:border-box;margin:0;padding:0}\n"
        "  body{background:#f5f5f5;display:flex;justify-content:center;align-items:flex-start;min-height:100vh;"
        "padding:24px}\n"
        "  img{max-width:100%;height:auto;border-radius:4px;box-shadow:0 2px 16px rgba(0,0,0,.15)}\n"
        "</style>\n"
        "</head>\n"
        "<body>\n"
        "<img src=\"";
    page.append(pngDataURL);
    page += "\" alt=\"Drevalin export\" width=\"" + hundredthsText(plan.worldWidth) + "\" height=\"" +
            hundredthsText(plan.worldHeight) + "\"/>\n</body>\n</html>";
    return page;
}

}  // namespace dv

std::size_t std::hash<dv::ExportRasterPlan>::operator()(const dv::ExportRasterPlan& plan) const noexcept {
    dv::Hasher h;
    h.writeDouble(plan.worldWidth);
    h.writeDouble(plan.worldHeight);
    h.writeU64(plan.pixelWidth);
    h.writeU64(plan.pixelHeight);
    h.writeDouble(plan.scale);
    h.writeDouble(plan.translateX);
    h.writeDouble(plan.translateY);
    h.write(plan.canvasColor);
    h.writeByte(plan.fillsBackground ? 1 : 0);
    return static_cast<std::size_t>(h.finish());
}
