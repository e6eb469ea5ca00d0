// A large picture drawn in bands, each on a thread of its own, is the same to the bit as the
// picture drawn at once: boards of every kind of element (rough and plain strokes, dashes,
// heads, shadows, rotation, text, freehand outlines) at sizes whose band edges, put where the
// drawing's cost is shared out, cut through them, with any number of bands, each band leaving
// out the elements measured outside it. A board with a picture from an image source is drawn
// whole.

#include "BandBoards.hpp"

#include "DVModel/Base64.hpp"
#include "DVRender/Export/RasterExport.hpp"
#include "DVRender/Images/ImageStore.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using dv::test::firstDifference;
using dv::test::mixedBoard;
using dv::test::read;

// The elements' own plan, scaled so that the longer side is `side` pixels.
dv::ExportRasterPlan planOfSide(const std::vector<dv::Element>& elements, double side) {
    dv::ExportRasterPlan plan = *dv::exportRasterPlan(elements, true, "#ffffff");
    plan.scale = side / std::max(plan.worldWidth, plan.worldHeight);
    plan.pixelWidth = static_cast<std::uint32_t>(std::max(1.0, std::round(plan.worldWidth * plan.scale)));
    plan.pixelHeight = static_cast<std::uint32_t>(std::max(1.0, std::round(plan.worldHeight * plan.scale)));
    return plan;
}

TEST(BandedRaster, BandsGiveThePictureDrawnAtOnce) {
    for (const dv::test::BandBoard& c : dv::test::bandBoards) {
        const std::vector<dv::Element> elements = c.elements();
        ASSERT_GT(elements.size(), static_cast<std::size_t>(c.count * 9 / 10)) << c.what;
        const dv::RenderEnvironment environment = c.environment();
        for (const auto& [side, bandCounts] : {std::pair{1024.0, std::vector{2, 4, 5}}, std::pair{790.0, std::vector{3}}}) {
            const dv::ExportRasterPlan plan = planOfSide(elements, side);
            const auto whole = dv::detail::renderExportImageInBands(elements, plan, environment, 1);
            for (const int bands : bandCounts) {
                const auto banded = dv::detail::renderExportImageInBands(elements, plan, environment, bands);
                EXPECT_EQ(firstDifference(whole, banded), "") << c.what << " at " << side << " px in " << bands << " bands";
            }
        }
    }
}

// A closed outline of 5,000 points around (cx, cy): a heavy fill.
std::string heavyOutline(const std::string& id, double cx, double cy, std::uint64_t seed, const char* fill) {
    dv::test::Numbers r{seed};
    std::string e = "{\"id\":\"" + id + "\",\"type\":\"polygon\",\"x\":0,\"y\":0,\"strokeColor\":\"transparent\"," +
                    "\"fillColor\":\"" + fill + "\",\"strokeWidth\":1,\"opacity\":1,\"roughness\":0,\"closed\":true,\"points\":[";
    for (int k = 0; k < 5000; ++k) {
        const double angle = k * 6.283185307179586 / 5000, radius = 150 + r.next(60);
        e += std::string(k ? "," : "") + "[" + dv::test::number(cx + radius * std::cos(angle)) + "," +
             dv::test::number(cy + radius * std::sin(angle)) + "]";
    }
    return e + "]}";
}

// A heavy fill like the one before it lays that one's coverage, whose blending can round a
// level the other way. Copies of one outline with another, far below, between them: a band
// that leaves the far one out must still draw the first copy after it from its path.
TEST(BandedRaster, HeavyFillsRepeatedAroundOnesLeftOutKeepTheirPixels) {
    for (const char* fill : {"#1971c2", "rgba(255,0,0,0.5)"}) {
        const std::vector<dv::Element> elements =
            read("{\"version\":1,\"elements\":[" + heavyOutline("a", 300, 250, 1, fill) + "," +
                 heavyOutline("far", 300, 900, 2, fill) + "," + heavyOutline("b", 300, 250, 1, fill) + "," +
                 heavyOutline("c", 300, 250, 1, fill) + "]}");
        ASSERT_EQ(elements.size(), 4u);
        const dv::RenderEnvironment environment(dv::RenderTheme::light, dv::ImageStore::shared());
        const dv::ExportRasterPlan plan = *dv::exportRasterPlan(elements, true, "#ffffff");
        const auto whole = dv::detail::renderExportImageInBands(elements, plan, environment, 1);
        for (const int bands : {2, 3})
            EXPECT_EQ(firstDifference(whole, dv::detail::renderExportImageInBands(elements, plan, environment, bands)), "")
                << fill << " in " << bands << " bands";
    }
}

// A polygon swinging across the whole board at every point, each pass a little inside the one
// before by `step`: its edges cross every band, and its fill and outline are heavy in each.
std::string zigzagPolygon(const std::string& id, int count, double reach, double step, int phase, const std::string& look) {
    std::string e = "{\"id\":\"" + id + "\",\"type\":\"polygon\",\"x\":0,\"y\":0,\"opacity\":1,\"roughness\":0," + look +
                    ",\"points\":[";
    for (int i = 0; i < count; ++i) {
        const double x = (i % 2 ? -1 : 1) * (reach - i * step - phase);
        const double y = (((i + phase) / 2) % 2 ? -1 : 1) * (reach - 1);
        e += std::string(i ? "," : "") + "[" + dv::test::number(x) + "," + dv::test::number(y) + "]";
    }
    return e + "]}";
}

TEST(BandedRaster, ZigzagFillsAndOutlinesAcrossEveryBandKeepTheirPixels) {
    const std::string filled = "\"fillColor\":\"#a0c0e0\",\"strokeColor\":\"transparent\",\"strokeWidth\":1,\"closed\":true";
    const std::string outlined = "\"fillColor\":\"#a0c0e0\",\"strokeColor\":\"#1e1e1e\",\"strokeWidth\":150,"
                                 "\"lineCap\":\"butt\",\"lineJoin\":\"miter\",\"closed\":false";
    // Pens a twentieth of a pixel wide across the whole picture, mitred and round: the bands clip
    // the round one's outline to their rows.
    const std::string thin = "\"fillColor\":\"#a0c0e0\",\"strokeColor\":\"#1e1e1e\",\"strokeWidth\":1000";
    // Across a range a hundred times wider, the passes meet on the rasteriser's grid.
    const std::string boards[] = {zigzagPolygon("f", 12000, 100000, 4, 0, filled) + "," + zigzagPolygon("o", 12000, 100000, 4, 1, outlined),
                                  zigzagPolygon("g", 12000, 10000000, 1, 2, filled),
                                  zigzagPolygon("m", 100000, 10000000, 1, 1, thin + ",\"lineCap\":\"butt\",\"lineJoin\":\"miter\",\"closed\":false") + "," +
                                      zigzagPolygon("r", 100000, 10000000, 1, 3, thin + ",\"closed\":false")};
    for (const std::string& board : boards) {
        const std::vector<dv::Element> elements = read("{\"version\":1,\"elements\":[" + board + "]}");
        ASSERT_FALSE(elements.empty());
        const dv::RenderEnvironment environment(dv::RenderTheme::light, dv::ImageStore::shared());
        const dv::ExportRasterPlan plan = planOfSide(elements, 1024);
        const auto whole = dv::detail::renderExportImageInBands(elements, plan, environment, 1);
        for (const int bands : {2, 3, 4, 7})
            EXPECT_EQ(firstDifference(whole, dv::detail::renderExportImageInBands(elements, plan, environment, bands)), "")
                << elements.size() << " elements in " << bands << " bands";
    }
}

TEST(BandedRaster, PicturesFromImageSourcesKeepThePictureWhole) {
    const std::string url = dv::test::noisePictureURL();
    // A stencil's own picture is a drawing: a checkerboard of unit squares.
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"44\"><path d=\"";
    for (int y = 0; y < 44; ++y)
        for (int x = (y % 2); x < 48; x += 2) {
            svg += 'M';
            svg += std::to_string(x);
            svg += ' ';
            svg += std::to_string(y);
            svg += "h1v1h-1z";
        }
    svg += "\"/></svg>";
    const std::string svgURL = "data:image/svg+xml;base64," + dv::base64Encode(std::vector<std::uint8_t>(svg.begin(), svg.end()));
    for (const bool stencil : {false, true}) {
        const std::string common =
            ",\"x\":0,\"y\":0,\"width\":700,\"height\":650,\"strokeColor\":\"#1e1e1e\",\"fillColor\":\"transparent\","
            "\"strokeWidth\":2,\"opacity\":1,\"roughness\":0";
        std::string picture = stencil ? "{\"id\":\"p\",\"type\":\"stencil\"" : "{\"id\":\"p\",\"type\":\"image\"";
        picture += common;
        if (stencil) picture += ",\"source\":{\"kind\":\"embedded\",\"pack\":\"p\",\"name\":\"n\",\"src\":\"" + svgURL + "\"}}";
        else picture += ",\"src\":\"" + url + "\",\"naturalWidth\":97,\"naturalHeight\":89}";
        const std::vector<dv::Element> elements = read("{\"version\":1,\"elements\":[" + picture + "]}");
        ASSERT_EQ(elements.size(), 1u);
        const dv::RenderEnvironment environment(dv::RenderTheme::light, dv::ImageStore::shared());
        const dv::ExportRasterPlan plan = planOfSide(elements, 1024);
        EXPECT_EQ(firstDifference(dv::detail::renderExportImageInBands(elements, plan, environment, 1),
                                  dv::detail::renderExportImageInBands(elements, plan, environment, 4)),
                  "")
            << (stencil ? "stencil" : "image");
    }
}

}  // namespace
