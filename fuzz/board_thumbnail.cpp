// The whole thumbnail road on arbitrary board bytes with a small pixel budget: read the
// elements, pick the canvas, plan and render. Reading may throw DrevalinFileError and the
// export ExportError; anything else, or a picture past the budget, is a fault.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "DVIO/BoardFile.hpp"
#include "DVPreview/BoardPicture.hpp"
#include "DVRender/RasterExport.hpp"

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
    try {
        auto image = dv::BoardPicture::image(elements, theme, budget);
        if (image && std::max((*image)->width(), (*image)->height()) > budget) {
            std::fprintf(stderr, "invariant broken: the picture is larger than its budget\n");
            std::abort();
        }
    } catch (const dv::ExportError&) {
    }
    return 0;
}
