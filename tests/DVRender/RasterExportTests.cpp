// Raster export end to end: the bitmap's size and background, upright placement, and the PNG
// carried by the HTML page.

#include "DVModel/Base64.hpp"
#include "DVRender/RasterExport.hpp"
#include "tests/DVGeometry/TestElements.hpp"

#include <gtest/gtest.h>

namespace {

using dv::Element;
namespace t = dv::test;

Element filledBox(double x, double y, double w, double h) {
    Element e = t::rectangle("box", x, y, w, h);
    e.strokeColor = dv::CSSColor("#ff0000");
    e.fillColor = dv::CSSColor("#ff0000");
    e.strokeWidth = 1;
    e.opacity = 1;
    e.roughness = 0;
    return e;
}

TEST(RasterExport, BitmapIsUprightWithOrWithoutBackground) {
    // A wide scene whose only painted box sits in its top-left corner.
    std::vector<Element> scene{filledBox(0, 0, 20, 20), t::polygon("p", {{0, 0}, {200, 100}})};
    dv::RenderEnvironment environment(dv::RenderTheme::light);
    for (bool background : {true, false}) {
        auto plan = dv::exportRasterPlan(scene, background, "#00ff00");
        ASSERT_TRUE(plan);
        auto image = dv::renderExportImage(scene, *plan, environment);
        ASSERT_EQ(image->width(), 496);   // (200 + 48) x 2
        ASSERT_EQ(image->height(), 296);  // (100 + 48) x 2
        std::uint32_t corner = background ? 0xff00ff00u : 0u;
        EXPECT_EQ(image->pixel(1, 1), corner);
        EXPECT_EQ(image->pixel(494, 294), corner);
        // The box covers pixels 48...88 from the top left, not from the bottom.
        EXPECT_EQ(image->pixel(68, 68), 0xffff0000u);
        EXPECT_EQ(image->pixel(68, 296 - 68), corner);
    }
}

TEST(RasterExport, RefusedPlansThrowBeforeDrawing) {
    std::vector<Element> scene{filledBox(0, 0, 20, 20)};
    dv::RenderEnvironment environment(dv::RenderTheme::dark);
    auto plan = *dv::exportRasterPlan(scene, true, "#000");
    plan.pixelWidth = 32768;
    try {
        dv::exportPNGData(scene, plan, environment);
        ADD_FAILURE();
    } catch (const dv::ExportError& e) {
        EXPECT_STREQ(e.what(), "cannot export a 32768 x 136 pixel image");
    }
}

TEST(RasterExport, HTMLPageCarriesThePNG) {
    dv::RenderEnvironment environment(dv::RenderTheme::light);
    EXPECT_FALSE(dv::exportHTMLData({}, "#fff", environment).has_value());

    std::vector<Element> scene{filledBox(0, 0, 100, 50)};
    auto page = dv::exportHTMLData(scene, "#ffffff", environment);
    ASSERT_TRUE(page);
    std::string text(page->begin(), page->end());
    auto plan = *dv::exportRasterPlan(scene, true, "#ffffff");
    std::vector<std::uint8_t> png = dv::exportPNGData(scene, plan, environment);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png[1], 'P');
    EXPECT_EQ(text, dv::exportHTMLDocument(plan, "data:image/png;base64," + dv::base64Encode(png)));
    EXPECT_NE(text.find("width=\"148\" height=\"98\""), std::string::npos);
}

}  // namespace
