// The thumbnail road on arbitrary board bytes with a small pixel budget: read the elements,
// pick the canvas, plan the picture and paint it. Reading may throw DrevalinFileError and
// painting ExportError; anything else, or a plan or picture past the budget, is a fault.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "DVIO/BoardFile.hpp"
#include "fuzz/support/Invariant.hpp"
#include "DVPreview/BoardPicture.hpp"

namespace {

constexpr double budget = 64;

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
    return 0;
}
