// Plan arithmetic, size limits, error messages and the HTML page of raster export.

#include "DVRender/Export/ExportBounds.hpp"
#include "DVRender/Export/RasterExport.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using dv::ExportError;
using dv::ExportRasterPlan;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Equal infinities count as near.
void expectNear(double actual, double expected) {
    if (std::isinf(expected)) EXPECT_EQ(actual, expected);
    else EXPECT_NEAR(actual, expected, 1e-9);
}

TEST(RasterPlan, FromBoundsPadsAndDoublesWithoutRounding) {
    struct Case {
        dv::ExportBounds bounds;
        double worldWidth, worldHeight;
        std::uint32_t pixelWidth, pixelHeight;
        double translateX, translateY;
    };
    const Case cases[] = {
        {{0, 0, 100, 50}, 148, 98, 296, 196, 24, 24},
        // 296.6 pixels are truncated, not rounded.
        {{-10.3, 5, 90, 55.2}, 148.3, 98.2, 296, 196, 34.3, 19},
        {{10, 10, 10, 10}, 48, 48, 96, 96, 14, 14},
        // An empty scene's bounds are not finite: no pixels at all.
        {{inf, inf, -inf, -inf}, -inf, -inf, 0, 0, -inf, -inf},
    };
    for (const Case& c : cases) {
        ExportRasterPlan plan = dv::exportRasterPlan(c.bounds, true, "#abcdef");
        expectNear(plan.worldWidth, c.worldWidth);
        expectNear(plan.worldHeight, c.worldHeight);
        EXPECT_EQ(plan.pixelWidth, c.pixelWidth);
        EXPECT_EQ(plan.pixelHeight, c.pixelHeight);
        EXPECT_EQ(plan.scale, 2);
        expectNear(plan.translateX, c.translateX);
        expectNear(plan.translateY, c.translateY);
        EXPECT_EQ(plan.canvasColor, "#abcdef");
        EXPECT_TRUE(plan.fillsBackground);
    }
    EXPECT_FALSE(dv::exportRasterPlan(dv::ExportBounds{0, 0, 1, 1}, false, "").fillsBackground);
}

TEST(RasterPlan, ToUint32FollowsJavaScript) {
    struct Case {
        double value;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {0, 0},           {201.5, 201},          {-0.9, 0},           {4294967295.9, 4294967295u},
        {4294967296, 0},  {4294967296 + 100, 100}, {-1, 4294967295u},   {nan, 0},
        {inf, 0},         {-inf, 0},             {1e300, 0},          {-4294967296.0 * 3 - 7, 4294967289u},
    };
    for (const Case& c : cases) EXPECT_EQ(dv::toUint32(c.value), c.expected) << c.value;
}

ExportRasterPlan planOfPixels(std::uint32_t w, std::uint32_t h) {
    ExportRasterPlan plan;
    plan.pixelWidth = w;
    plan.pixelHeight = h;
    plan.worldWidth = w / 2.0;
    plan.worldHeight = h / 2.0;
    plan.scale = 2;
    return plan;
}

TEST(RasterPlan, SizeLimitsAndTheirMessages) {
    struct Case {
        std::uint32_t w, h;
        const char* message;  // nullptr: accepted
    };
    const Case cases[] = {
        {32767, 1, nullptr},
        {1, 32767, nullptr},
        {32768, 1, "cannot export a 32768 x 1 pixel image"},
        {1, 32768, "cannot export a 1 x 32768 pixel image"},
        {16384, 16384, nullptr},
        {16385, 16384, "cannot export a 16385 x 16384 pixel image"},
        {16384, 16385, "cannot export a 16384 x 16385 pixel image"},
        {0, 10, "cannot export a 0 x 10 pixel image"},
        {10, 0, "cannot export a 10 x 0 pixel image"},
        {1, 1, nullptr},
        {4294967295u, 4294967295u, "cannot export a 4294967295 x 4294967295 pixel image"},
    };
    for (const Case& c : cases) {
        ExportRasterPlan plan = planOfPixels(c.w, c.h);
        if (!c.message) {
            EXPECT_NO_THROW(dv::checkExportSize(plan)) << c.w << " x " << c.h;
            continue;
        }
        try {
            dv::checkExportSize(plan);
            ADD_FAILURE() << c.w << " x " << c.h << " was accepted";
        } catch (const ExportError& e) {
            EXPECT_STREQ(e.what(), c.message);
            EXPECT_EQ(e.errorCase(), ExportError::Case::unsupportedSize);
            EXPECT_EQ(e.width(), c.w);
            EXPECT_EQ(e.height(), c.h);
        }
    }
}

// A world side of 2^32 pixels or more wraps into a small size; exporting it would give a wrong
// crop reported as success, so it is refused, naming the wrapped sizes.
TEST(RasterPlan, WrappedOrNonFiniteSidesAreRefused) {
    struct Case {
        dv::ExportBounds bounds;
        const char* message;
    };
    const Case cases[] = {
        {{0, 0, 2147483648.0 - 48 + 50, 10}, "cannot export a 100 x 116 pixel image"},
        {{0, 0, 10, 4294967296.0 - 48 + 4}, "cannot export a 116 x 8 pixel image"},
        {{0, 0, nan, 10}, "cannot export a 0 x 116 pixel image"},
        {{-inf, 0, 10, 10}, "cannot export a 0 x 116 pixel image"},
        {{-1e300, 0, 1e300, 10}, "cannot export a 0 x 116 pixel image"},
    };
    for (const Case& c : cases) {
        ExportRasterPlan plan = dv::exportRasterPlan(c.bounds, true, "#fff");
        try {
            dv::checkExportSize(plan);
            ADD_FAILURE() << c.message << " was accepted";
        } catch (const ExportError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    // Just under the wrap, the size is itself too large and named as it is.
    ExportRasterPlan below = dv::exportRasterPlan(dv::ExportBounds{0, 0, 2147483647.0 - 48, 10}, true, "");
    EXPECT_EQ(below.pixelWidth, 4294967294u);
    EXPECT_THROW(dv::checkExportSize(below), ExportError);
}

TEST(RasterPlan, ErrorMessagesAndFileNames) {
    EXPECT_STREQ(ExportError::contextCreationFailed().what(), "cannot create the bitmap context");
    EXPECT_STREQ(ExportError::encodingFailed().what(), "cannot encode the PNG");
    EXPECT_EQ(ExportError::encodingFailed().errorCase(), ExportError::Case::encodingFailed);
    EXPECT_EQ(dv::ExportFileName::png, "drevalin-export.png");
    EXPECT_EQ(dv::ExportFileName::svg, "drevalin-export.svg");
    EXPECT_EQ(dv::ExportFileName::html, "drevalin-embed.html");
    EXPECT_EQ(dv::EXPORT_MAX_PIXEL_SIDE, 32767);
    EXPECT_EQ(dv::EXPORT_MAX_PIXEL_AREA, 16384 * 16384);
    EXPECT_EQ(dv::EXPORT_PADDING, 24.0);
}

TEST(RasterPlan, HTMLPageIsExact) {
    ExportRasterPlan plan = dv::exportRasterPlan(dv::ExportBounds{0, 0, 100, 50}, true, "#ffffff");
    const std::string expected =
        "<!DOCTYPE html>\n"
        "<html lang=\"en\">\n"
        "<head>\n"
        "<meta charset=\"utf-8\"/>\n"
        "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\"/>\n"
        "<title>Drevalin export</title>\n"
        "<style>\n"
        "  *{box-sizing:border-box;margin:0;padding:0}\n"
        "  body{background:#f5f5f5;display:flex;justify-content:center;align-items:flex-start;min-height:100vh;padding:24px}\n"
        "  img{max-width:100%;height:auto;border-radius:4px;box-shadow:0 2px 16px rgba(0,0,0,.15)}\n"
        "</style>\n"
        "</head>\n"
        "<body>\n"
        "<img src=\"data:image/png;base64,AAAA\" alt=\"Drevalin export\" width=\"148\" height=\"98\"/>\n"
        "</body>\n"
        "</html>";
    EXPECT_EQ(dv::exportHTMLDocument(plan, "data:image/png;base64,AAAA"), expected);

    struct Case {
        double world;
        const char* text;
    };
    const Case sizes[] = {{800, "800"}, {812.5, "812.5"}, {148.333, "148.33"}, {0.004, "0"}};
    for (const Case& c : sizes) {
        ExportRasterPlan p;
        p.worldWidth = c.world;
        p.worldHeight = 1;
        std::string page = dv::exportHTMLDocument(p, "u");
        EXPECT_NE(page.find(std::string("width=\"") + c.text + "\" height=\"1\""), std::string::npos) << c.world;
    }
}

TEST(ExportBounds, CanvasBackgroundIsTrimmedOrDefault) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"  #123456\n", "#123456"},
        {"", "#080808"},
        {" \t\r\n", "#080808"},
        {"\xC2\xA0\xE3\x80\x80\xEF\xBB\xBF", "#080808"},  // no-break, ideographic space, BOM
        {"\xE2\x80\xA8red\xE2\x80\xA9", "red"},
        {"not a colour ", "not a colour"},
        {"\xE2\x80\x8B#fff", "\xE2\x80\x8B#fff"},  // a zero-width space is not white space
    };
    for (const Case& c : cases) EXPECT_EQ(dv::resolveCanvasBackground(c.input), c.expected);
}

}  // namespace
