// A large picture drawn in bands, each on a thread of its own, is the same to the bit as the
// picture drawn at once: boards of every kind of element (rough and plain strokes, dashes,
// heads, shadows, rotation, text, freehand outlines) at sizes whose band edges, put where the
// drawing's cost is shared out, cut through them, with any number of bands, each band leaving
// out the elements measured outside it; pictures from image sources too, each decoded once
// for all the bands.

#include "BandBoards.hpp"
#include "../Images/ImageFixtures.hpp"

#include "DVModel/Base64.hpp"
#include "DVRender/Export/RasterExport.hpp"
#include "DVRender/Images/ImageStore.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "Platform/Graphics/Shortcuts.hpp"
#include "Platform/ImageIO/ImageSource.hpp"

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
using dv::test::planOfSide;


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

namespace {

// Pictures from image sources of every kind, scaled up and down, at fractional positions,
// rotated, translucent and shadowed, where the band edges cut through them.
std::vector<dv::Element> pictureBoard() {
    const std::string small = dv::test::noisePictureURL(), large = dv::test::noisePictureURL(1200, 900, 11);
    const std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"30\" height=\"20\"><path d=\"M0 0L30 20M30 0L0 "
                            "20\" stroke=\"#c03060\" stroke-width=\"1.3\"/><circle cx=\"15\" cy=\"10\" r=\"6.5\"/></svg>";
    const std::string svgURL = "data:image/svg+xml;base64," + dv::base64Encode(std::vector<std::uint8_t>(svg.begin(), svg.end()));
    std::string board = "{\"version\":1,\"elements\":[";
    dv::test::Numbers r{5};
    for (int i = 0; i < 40; ++i) {
        const double x = r.next(900) + 0.37, y = r.next(1000) + 0.61, w = 20 + r.next(400), h = 20 + r.next(400);
        std::string look = ",\"x\":" + dv::test::number(x) + ",\"y\":" + dv::test::number(y) + ",\"width\":" + dv::test::number(w) +
                           ",\"height\":" + dv::test::number(h) + ",\"strokeColor\":\"#1e1e1e\",\"fillColor\":\"transparent\"," +
                           "\"strokeWidth\":2,\"roughness\":0,\"opacity\":" + (i % 3 == 0 ? "0.6" : "1");
        if (i % 4 == 1) look += ",\"rotation\":" + dv::test::number(r.next(6.2));
        if (i % 5 == 2) look += ",\"shadowBlur\":6,\"shadowColor\":\"rgba(0,0,0,0.4)\",\"shadowOffsetX\":3,\"shadowOffsetY\":3";
        const std::string id = "\"id\":\"p" + std::to_string(i) + "\"";
        if (i % 4 == 3)
            board += "{" + id + ",\"type\":\"stencil\"" + look + ",\"source\":" +
                     (i % 8 == 3 ? "{\"kind\":\"embedded\",\"pack\":\"p\",\"name\":\"n\",\"src\":\"" + svgURL + "\"}"
                                 : std::string("{\"kind\":\"builtin\",\"ref\":\"k8s/pod\"}")) + "}";
        else
            board += "{" + id + ",\"type\":\"image\"" + look + ",\"src\":\"" + (i % 2 ? large : small) +
                     "\",\"naturalWidth\":10,\"naturalHeight\":10}";
        board += ",";
    }
    board.back() = ']';
    return read(board + "}");
}

}  // namespace

TEST(BandedRaster, PicturesDrawnInBandsKeepTheirPixels) {
    const std::vector<dv::Element> elements = pictureBoard();
    ASSERT_EQ(elements.size(), 40u);
    const dv::RenderEnvironment environment(dv::RenderTheme::light, dv::ImageStore::shared());
    for (const auto& [side, bandCounts] : {std::pair{1024.0, std::vector{2, 4, 8}}, std::pair{790.0, std::vector{3}},
                                           std::pair{256.0, std::vector{2}}}) {
        const dv::ExportRasterPlan plan = planOfSide(elements, side);
        const auto whole = dv::detail::renderExportImageInBands(elements, plan, environment, 1);
        for (const int bands : bandCounts)
            EXPECT_EQ(firstDifference(whole, dv::detail::renderExportImageInBands(elements, plan, environment, bands)), "")
                << side << " px in " << bands << " bands";
    }
}

// A JPEG whose headers are sound and whose data is missing resolves, and only drawing finds it
// out: it is drawn as an image that failed to resolve is, in one band as in several.
TEST(BandedRaster, ImagesDamagedPastTheirHeadersDrawAsFailedImages) {
    const std::string damaged = dv::testing::dataURL("image/jpeg", dv::testing::jpegHeaderOnly(64, 48, 3, false));
    const std::string unresolved = "data:image/png;base64,AAAA";
    ASSERT_EQ(dv::RenderImage::make(damaged).kind, dv::ImageLookup::Kind::loaded);
    ASSERT_EQ(dv::RenderImage::make(unresolved).kind, dv::ImageLookup::Kind::failed);
    auto board = [](const std::string& src, double y) {
        return read("{\"version\":1,\"elements\":[{\"id\":\"p\",\"type\":\"image\",\"x\":0,\"y\":" +
                    std::to_string(y) + ",\"width\":640,\"height\":480,\"strokeColor\":\"#1e1e1e\","
                    "\"fillColor\":\"transparent\",\"strokeWidth\":2,\"roughness\":0,\"opacity\":1,\"src\":\"" +
                    src + "\",\"naturalWidth\":64,\"naturalHeight\":48},{\"id\":\"r\",\"type\":\"rectangle\","
                    "\"x\":0,\"y\":0,\"width\":640,\"height\":1000,\"strokeColor\":\"#1e1e1e\","
                    "\"fillColor\":\"transparent\",\"strokeWidth\":2,\"roughness\":0,\"opacity\":1}]}");
    };
    const dv::RenderEnvironment environment(dv::RenderTheme::light, dv::ImageStore::shared());
    const auto reference = board(unresolved, 300);
    const dv::ExportRasterPlan plan = planOfSide(reference, 1024);
    const auto failed = dv::detail::renderExportImageInBands(reference, plan, environment, 1);
    EXPECT_NE(firstDifference(failed, dv::detail::renderExportImageInBands(board(unresolved, 0), plan, environment, 1)), "")
        << "the failed image shows";
    for (const int bands : {1, 2, 3})
        EXPECT_EQ(firstDifference(failed, dv::detail::renderExportImageInBands(board(damaged, 300), plan, environment, bands)),
                  "")
            << bands << " bands";
}

// The bands of one picture draw at once, and the first to need a picture decodes it for all:
// every share of the elements measured on the band threads meets every picture.
TEST(BandedRaster, BandsDecodeEachPictureOnce) {
    std::string board = "{\"version\":1,\"elements\":[";
    const int pictures = 12, copies = 8;
    std::vector<std::string> urls;
    for (int i = 0; i < pictures; ++i) urls.push_back(dv::test::noisePictureURL(40, 300, 100 + static_cast<std::uint64_t>(i)));
    for (int i = 0; i < pictures * copies; ++i) {
        // Tall pictures across every band.
        board += std::string(i ? "," : "") + "{\"id\":\"p" + std::to_string(i) + "\",\"type\":\"image\",\"x\":" +
                 std::to_string(i * 20) + ",\"y\":0,\"width\":70,\"height\":900,\"strokeColor\":\"#1e1e1e\"," +
                 "\"fillColor\":\"transparent\",\"strokeWidth\":2,\"roughness\":0,\"opacity\":1,\"src\":\"" +
                 urls[static_cast<std::size_t>(i % pictures)] + "\",\"naturalWidth\":40,\"naturalHeight\":300}";
    }
    const std::vector<dv::Element> elements = read(board + "]}");
    ASSERT_EQ(elements.size(), static_cast<std::size_t>(pictures * copies));
    for (int run = 0; run < 5; ++run) {
        dv::ImageStore store;  // images of their own, decoded by no other run
        const dv::RenderEnvironment environment(dv::RenderTheme::light, store);
        const dv::ExportRasterPlan plan = planOfSide(elements, 1024);
        const std::size_t before = dv::gfx::decoderPixelBufferCount();
        const auto banded = dv::detail::renderExportImageInBands(elements, plan, environment, 8);
        EXPECT_EQ(dv::gfx::decoderPixelBufferCount() - before, static_cast<std::size_t>(pictures)) << "run " << run;
        EXPECT_EQ(firstDifference(banded, dv::detail::renderExportImageInBands(elements, plan, environment, 1)), "");
    }
}

namespace {

// Freehand scribbles as people draw them: quick strokes back and forth across the board,
// drifting down and up it, every pass crossing the others, so that each outline crosses
// itself thousands of times.
std::string scribble(int i, int points, bool pressures) {
    std::string e = "{\"id\":\"s" + std::to_string(i) + "\",\"type\":\"freehand\",\"x\":0,\"y\":0,\"strokeColor\":\"#1e1e1e\","
                    "\"fillColor\":\"transparent\",\"strokeWidth\":" + (pressures ? "8" : "2") +
                    ",\"opacity\":1,\"roughness\":1,\"points\":[";
    std::string p;
    for (int k = 0; k < points; ++k) {
        e += std::string(k ? "," : "") + "[" + dv::test::number(200 + 190 * std::sin(k * 0.9 + i)) + "," +
             dv::test::number(150 + 130 * std::sin(k * 0.0123 + i * 0.7) + 10 * std::sin(k * 2.1)) + "]";
        p += std::string(k ? "," : "") + dv::test::number(0.3 + 0.6 * std::fabs(std::sin(k * 0.05 + i)));
    }
    return e + "]" + (pressures ? ",\"pressures\":[" + p + "]" : "") + "}";
}

}  // namespace

// A heavy outline goes to cairo tile by tile, each tile given only the edges that can reach it:
// in any number of bands, and with the shortcuts off (each tile given the whole outline), the
// pictures are the same to the bit.
TEST(BandedRaster, ScribblesKeepTheirPixelsInBandsAndWithoutShortcuts) {
    for (const bool pressures : {false, true}) {
        std::string board = "{\"version\":1,\"elements\":[";
        for (int i = 0; i < 3; ++i) board += std::string(i ? "," : "") + scribble(i, 400, pressures);
        const std::vector<dv::Element> elements = read(board + "]}");
        ASSERT_EQ(elements.size(), 3u);
        const dv::RenderEnvironment environment(dv::RenderTheme::light, dv::ImageStore::shared());
        for (const double side : {256.0, 1024.0}) {
            const dv::ExportRasterPlan plan = planOfSide(elements, side);
            const auto whole = dv::detail::renderExportImageInBands(elements, plan, environment, 1);
            for (const int bands : {2, 3, 4, 7})
                EXPECT_EQ(firstDifference(whole, dv::detail::renderExportImageInBands(elements, plan, environment, bands)), "")
                    << side << " px in " << bands << " bands" << (pressures ? " with pressures" : "");
            dv::gfx::ShortcutsTaken off(false);
            EXPECT_EQ(firstDifference(whole, dv::detail::renderExportImageInBands(elements, plan, environment, 1)), "")
                << side << " px without shortcuts" << (pressures ? " with pressures" : "");
        }
    }
}
