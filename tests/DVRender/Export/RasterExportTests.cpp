// Raster export end to end: the bitmap's size and background, upright placement, and the PNG
// carried by the HTML page.

#include "DVModel/Base64.hpp"
#include "DVRender/Export/RasterExport.hpp"
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

TEST(RasterExport, AdjustedPlanStartsFromTheElementsPlanAndDrawsLikeIt) {
    // A connector label that sticks out of the shapes widens the plan; a stencil caption too.
    Element arrow = t::arrow("a", 0, 0, 60, 0);
    arrow.payload.connector()->label = "a rather long connector label that sticks out";
    std::vector<Element> scene{filledBox(0, 0, 20, 20), arrow, t::stencil("s", 100, 100, 64, 64, "server")};
    dv::RenderEnvironment environment(dv::RenderTheme::light);
    struct Case {
        bool background;
        double scale; // of the elements' own plan
    };
    for (const Case c : {Case{true, 1}, Case{true, 0.25}, Case{false, 0.5}}) {
        const auto full = dv::exportRasterPlan(scene, c.background, "#336699");
        ASSERT_TRUE(full);
        dv::ExportRasterPlan wanted = *full;
        wanted.scale *= c.scale;
        wanted.pixelWidth = static_cast<std::uint32_t>(wanted.worldWidth * wanted.scale);
        wanted.pixelHeight = static_cast<std::uint32_t>(wanted.worldHeight * wanted.scale);
        std::optional<dv::ExportRasterPlan> given;
        auto image = dv::renderExportImage(scene, c.background, "#336699", [&](const dv::ExportRasterPlan& p) {
            given = p;
            return wanted;
        }, environment);
        ASSERT_TRUE(image && given);
        EXPECT_EQ(*given, *full);
        const auto expected = dv::renderExportImage(scene, wanted, environment);
        ASSERT_EQ((*image)->width(), expected->width());
        ASSERT_EQ((*image)->height(), expected->height());
        int differing = 0;
        for (int y = 0; y < expected->height(); ++y)
            for (int x = 0; x < expected->width(); ++x) differing += (*image)->pixel(x, y) != expected->pixel(x, y);
        EXPECT_EQ(differing, 0) << c.background << " " << c.scale;
    }
    bool asked = false;
    EXPECT_FALSE(dv::renderExportImage({}, true, "#fff", [&](const dv::ExportRasterPlan& p) {
        asked = true;
        return p;
    }, environment).has_value());
    EXPECT_FALSE(asked);
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
