#include "DVPreview/BoardPicture.hpp"

#include "DVIO/BoardFile.hpp"
#include "Platform/Defaults/UserDefaults.hpp"

#include <cmath>

namespace dv {

namespace {

bool isASCIICaseInsensitiveEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

double smaller(double a, double b) { return a < b ? a : b; }

// A rounded pixel side, or 0 when the value cannot be one.
std::uint32_t pixelSide(double value) {
    double rounded = std::round(value);
    if (!std::isfinite(rounded) || rounded >= 4294967296.0) return 0;
    return rounded < 1 ? 1 : static_cast<std::uint32_t>(rounded);
}

}  // namespace

std::vector<Element> BoardPicture::elements(std::span<const std::uint8_t> fileData) {
    return std::move(readDrevalinFile(fileData).document.elements);
}

RenderTheme BoardPicture::theme(bool isLight) { return isLight ? RenderTheme::light : RenderTheme::dark; }

std::optional<bool> BoardPicture::prefersLightCanvas(const std::vector<Element>& elements) {
    std::int64_t light = 0, dark = 0;
    for (const Element& element : elements) {
        if (element.visible == false) continue;
        const std::string& stroke = element.strokeColor.rawValue;
        // The dark theme's own ink says nothing about the canvas the board was drawn on.
        if (isASCIICaseInsensitiveEqual(stroke, "#e2e2ef")) continue;
        std::string contrast = contrastColor(stroke, "");
        if (contrast == "#ffffff") ++light;
        else if (contrast == "#111111") ++dark;
    }
    if (light == dark) return std::nullopt;
    return light > dark;
}

RenderTheme BoardPicture::theme(const std::vector<Element>& elements, bool systemIsLight) {
    return theme(prefersLightCanvas(elements).value_or(systemIsLight));
}

ExportRasterPlan BoardPicture::capped(const ExportRasterPlan& exportPlan, double maxPixelSide) {
    double longest = exportPlan.worldWidth <= exportPlan.worldHeight ? exportPlan.worldHeight : exportPlan.worldWidth;
    double f = longest <= 1 ? maxPixelSide : maxPixelSide / longest;
    double scale = f < exportPlan.scale ? f : exportPlan.scale;
    ExportRasterPlan plan = exportPlan;
    plan.scale = scale;
    plan.pixelWidth = pixelSide(exportPlan.worldWidth * scale);
    plan.pixelHeight = pixelSide(exportPlan.worldHeight * scale);
    return plan;
}

std::optional<ExportRasterPlan> BoardPicture::plan(const std::vector<Element>& elements, const RenderTheme& theme,
                                                   double maxPixelSide) {
    auto exportPlan = exportRasterPlan(elements, true, theme.canvasBackground);
    if (!exportPlan) return std::nullopt;
    return capped(*exportPlan, maxPixelSide);
}

ql::Size BoardPicture::fitted(ql::Size size, ql::Size bounds) {
    if (!(size.width > 0 && size.height > 0)) return bounds;
    double f = smaller(bounds.height / size.height, smaller(bounds.width / size.width, 1));
    return {std::round(size.width * f), std::round(size.height * f)};
}

bool BoardPicture::systemIsLight(const platform::UserDefaults& defaults) {
    auto style = defaults.stringForKey("AppleInterfaceStyle");
    return !(style && isASCIICaseInsensitiveEqual(*style, "Dark"));
}

gfx::Color BoardPicture::backgroundColor(const RenderTheme& theme) {
    if (theme.isLight) return {1, 1, 1, 1};
    constexpr double grey = 8.0 / 255.0;
    return {grey, grey, grey, 1};
}

}  // namespace dv
