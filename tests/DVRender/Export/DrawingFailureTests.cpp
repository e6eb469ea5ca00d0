// Drawing that cairo cannot finish ends the picture with an error, never with a picture that
// has parts missing: here memory that cairo would ask for is not there, partway through a scene.

#include "BandBoards.hpp"

#include "DVRender/Editor/OffscreenRenderer.hpp"
#include "DVRender/Export/RasterExport.hpp"
#include "DVRender/Images/ImageStore.hpp"
#include "Platform/Graphics/MemoryHeadroom.hpp"

#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

using dv::test::firstDifference;
using dv::test::read;

struct Headroom {
    explicit Headroom(std::size_t bytes) { dv::gfx::detail::setMemoryHeadroomForTesting(bytes); }
    ~Headroom() { dv::gfx::detail::setMemoryHeadroomForTesting(std::nullopt); }
};

std::string rectangle(const std::string& id, double x, double y) {
    return "{\"id\":\"" + id + "\",\"type\":\"rectangle\",\"x\":" + dv::test::number(x) + ",\"y\":" + dv::test::number(y) +
           ",\"width\":200,\"height\":120,\"strokeColor\":\"#1e1e1e\",\"fillColor\":\"#ffc9c9\","
           "\"strokeWidth\":2,\"roughness\":0,\"opacity\":1}";
}

// A polygon of `count` points swinging across 800 units: a fill of as many edges, over every band.
std::string zigzag(const std::string& id, int count) {
    std::string e = "{\"id\":\"" + id + "\",\"type\":\"polygon\",\"x\":0,\"y\":0,\"opacity\":1,\"roughness\":0,"
                    "\"fillColor\":\"#a0c0e0\",\"strokeColor\":\"transparent\",\"strokeWidth\":1,\"closed\":true,\"points\":[";
    for (int i = 0; i < count; ++i)
        e += std::string(i ? "," : "") + "[" + dv::test::number(i % 2 ? 0 : 800) + "," + dv::test::number(800.0 * i / count) + "]";
    return e + "]}";
}

// Rectangles drawn before and after a heavy fill; the fill takes 4,000 edges.
std::vector<dv::Element> scene() {
    return read("{\"version\":1,\"elements\":[" + rectangle("before", 20, 20) + "," + zigzag("heavy", 4000) + "," +
                rectangle("after", 500, 600) + "]}");
}

// Headroom for every call but the heavy fill's, and for all of them.
constexpr std::size_t TOO_LITTLE = 1000 * dv::gfx::CAIRO_BYTES_PER_EDGE;
constexpr std::size_t ENOUGH = std::size_t{64} << 20;

TEST(DrawingFailure, RasterExportInOneOrSeveralBandsFailsWhereCairoCouldNotDraw) {
    const std::vector<dv::Element> elements = scene();
    ASSERT_EQ(elements.size(), 3u);
    const dv::RenderEnvironment environment(dv::RenderTheme::light, dv::ImageStore::shared());
    const dv::ExportRasterPlan plan = *dv::exportRasterPlan(elements, true, "#ffffff");
    const auto unchecked = dv::detail::renderExportImageInBands(elements, plan, environment, 1);
    for (const int bands : {1, 3}) {
        {
            Headroom pretend(TOO_LITTLE);
            EXPECT_THROW(dv::detail::renderExportImageInBands(elements, plan, environment, bands), std::bad_alloc)
                << bands << " bands";
            EXPECT_THROW(dv::exportPNGData(elements, plan, environment), std::bad_alloc);
        }
        // The check itself changes no pixel.
        Headroom pretend(ENOUGH);
        EXPECT_EQ(firstDifference(unchecked, dv::detail::renderExportImageInBands(elements, plan, environment, bands)), "")
            << bands << " bands";
    }
}

TEST(DrawingFailure, OffscreenFrameFailsWhereCairoCouldNotDraw) {
    const std::vector<dv::Element> elements = scene();
    const dv::OffscreenRenderOptions options{dv::Viewport{0, 0, 1}, 900, 900, 1,
                                             dv::RenderEnvironment(dv::RenderTheme::light), true, std::nullopt,
                                             std::nullopt, std::nullopt};
    const auto unchecked = dv::OffscreenRenderer::render(elements, options);
    {
        Headroom pretend(TOO_LITTLE);
        try {
            dv::OffscreenRenderer::render(elements, options);
            ADD_FAILURE() << "a frame with its heavy fill left out was returned";
        } catch (const dv::OffscreenRenderer::RenderError& e) {
            EXPECT_STREQ(e.what(), "cannot create the bitmap context");
        }
        EXPECT_THROW(dv::OffscreenRenderer::pngData(elements, options), dv::OffscreenRenderer::RenderError);
    }
    Headroom pretend(ENOUGH);
    EXPECT_EQ(firstDifference(unchecked, dv::OffscreenRenderer::render(elements, options)), "");
}

}  // namespace
