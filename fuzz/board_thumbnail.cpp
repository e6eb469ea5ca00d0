// The thumbnail road on arbitrary board bytes with a small pixel budget: read the elements,
// pick the canvas, plan the picture and paint it. Reading may throw DrevalinFileError and
// painting ExportError; anything else, or a plan or picture past the budget, is a fault.
// Most inputs are then drawn again in bands, each on a thread of its own, as a host with free
// processors draws them (the band count, and for some a larger budget, taken from the sum of
// the bytes, which any change to the input moves): the picture must be the one drawn at once,
// to the bit.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "DVIO/BoardFile.hpp"
#include "DVPreview/BoardPicture.hpp"
#include "DVRender/Export/RasterExport.hpp"
#include "DVRender/Images/ImageStore.hpp"
#include "Platform/Graphics/Image.hpp"
#include "fuzz/support/Invariant.hpp"

namespace {

constexpr double budget = 64;
constexpr double bandedBudget = 256;

bool samePixels(const dv::gfx::ImageRef& a, const dv::gfx::ImageRef& b) {
    if (a->width() != b->width() || a->height() != b->height()) return false;
    for (int y = 0; y < a->height(); ++y)
        for (int x = 0; x < a->width(); ++x)
            if (a->pixel(x, y) != b->pixel(x, y)) return false;
    return true;
}

void drawInBands(const std::vector<dv::Element>& elements, const dv::RenderTheme& theme, std::uint8_t pick) {
    const int bands = 1 + pick % 8;
    if (bands < 2) return;
    const auto plan = dv::BoardPicture::plan(elements, theme, pick & 0x80 ? bandedBudget : budget);
    if (!plan) return;
    const dv::RenderEnvironment environment(theme, dv::ImageStore::shared());
    try {
        const auto whole = dv::detail::renderExportImageInBands(elements, *plan, environment, 1);
        const auto banded = dv::detail::renderExportImageInBands(elements, *plan, environment, bands);
        if (!samePixels(whole, banded)) dv::fuzz::broken("the picture drawn in bands is not the one drawn at once");
    } catch (const dv::ExportError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<dv::Element> elements;
    try {
        elements = dv::BoardPicture::elements({data, size});
    } catch (const dv::DrevalinFileError&) {
        return 0;
    }
    const dv::RenderTheme theme = dv::BoardPicture::theme(elements, true);
    auto plan = dv::BoardPicture::plan(elements, theme, budget);
    if (plan && (plan->pixelWidth > budget || plan->pixelHeight > budget)) {
        dv::fuzz::broken("the plan is larger than its budget");
    }
    std::optional<dv::gfx::ImageRef> picture;
    try {
        picture = dv::BoardPicture::image(elements, theme, budget);
    } catch (const dv::ExportError&) {
        return 0;
    }
    if (picture.has_value() != plan.has_value()) {
        dv::fuzz::broken("a picture without a plan, or a plan without a picture");
    }
    if (picture && *picture && ((*picture)->width() > budget || (*picture)->height() > budget)) {
        dv::fuzz::broken("the picture is larger than its budget");
    }
    if (picture) {
        std::uint8_t pick = 0;
        for (std::size_t i = 0; i < size; ++i) pick = static_cast<std::uint8_t>(pick + data[i]);
        drawInBands(elements, theme, pick);
    }
    return 0;
}
