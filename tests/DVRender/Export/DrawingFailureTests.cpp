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
#include <span>
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

// A board of one image element of the given source.
std::vector<dv::Element> pictureOf(const std::string& src, double width, double height) {
    return read("{\"version\":1,\"elements\":[{\"id\":\"picture\",\"type\":\"image\",\"x\":0,\"y\":0,\"width\":" +
                dv::test::number(width) + ",\"height\":" + dv::test::number(height) +
                ",\"strokeColor\":\"transparent\",\"fillColor\":\"transparent\",\"strokeWidth\":1,\"roughness\":0,"
                "\"opacity\":1,\"src\":\"" + src + "\",\"naturalWidth\":" + dv::test::number(width) +
                ",\"naturalHeight\":" + dv::test::number(height) + "}]}");
}

std::string svgURL(const std::string& svg) {
    return "data:image/svg+xml;base64," +
           dv::base64Encode(std::span(reinterpret_cast<const std::uint8_t*>(svg.data()), svg.size()));
}

// Memory an image needs that is not there fails the picture as any drawing that ran out of
// memory does; only an image that is really broken is drawn as a failed one. Each source is
// new to the stores, so that nothing decoded before stands in for the decode.
TEST(DrawingFailure, ImagesThatRunOutOfMemoryFailThePictureWhileBrokenOnesDrawAsFailed) {
    const std::string svgBox = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"400\" height=\"300\">"
                               "<rect x=\"10\" y=\"10\" width=\"380\" height=\"280\" fill=\"#3070c0\"/></svg>";
    // Drawn at 20 x 20, the icon itself needs little; the raster image it links is decoded whole.
    const std::string svgLinking = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"20\" height=\"20\">"
                                   "<image width=\"20\" height=\"20\" href=\"" +
                                   dv::test::noisePictureURL(300, 300, 41) + "\"/></svg>";
    const struct {
        const char* what;
        std::string src;
        double side;
        bool outOfMemory;
    } cases[] = {
        {"a raster image", dv::test::noisePictureURL(400, 300, 40), 400, true},
        {"an SVG image", svgURL(svgBox), 400, true},
        {"an SVG image linking a raster image", svgURL(svgLinking), 20, true},
        {"bytes of no image format", "data:image/png;base64,AAAAAAAA", 400, false},
        {"an SVG image that does not parse", svgURL("<svg width=\"4"), 400, false},
    };
    for (const auto& c : cases) {
        const std::vector<dv::Element> elements = pictureOf(c.src, c.side, c.side * 0.75);
        ASSERT_EQ(elements.size(), 1u) << c.what;
        const dv::ExportRasterPlan plan = *dv::exportRasterPlan(elements, true, "#ffffff");
        dv::ImageStore unchecked, tight;
        const auto reference =
            dv::detail::renderExportImageInBands(elements, plan, dv::RenderEnvironment(dv::RenderTheme::light, unchecked), 1);
        for (const int bands : {1, 3}) {
            const dv::RenderEnvironment environment(dv::RenderTheme::light, tight);
            Headroom pretend(TOO_LITTLE);
            if (c.outOfMemory) {
                EXPECT_THROW(dv::detail::renderExportImageInBands(elements, plan, environment, bands), std::bad_alloc)
                    << c.what << " in " << bands << " bands";
            } else {
                EXPECT_EQ(firstDifference(reference, dv::detail::renderExportImageInBands(elements, plan, environment, bands)), "")
                    << c.what << " in " << bands << " bands";
            }
        }
        // Nothing of the failure was kept: with the memory there, the picture is the one drawn unchecked.
        Headroom pretend(ENOUGH);
        EXPECT_EQ(firstDifference(reference, dv::detail::renderExportImageInBands(
                                                 elements, plan, dv::RenderEnvironment(dv::RenderTheme::light, tight), 1)),
                  "")
            << c.what;
    }
}

}  // namespace
