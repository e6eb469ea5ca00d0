// A large picture drawn in bands, each on a thread of its own, is the same to the bit as the
// picture drawn at once: boards of every kind of element (rough and plain strokes, dashes,
// heads, shadows, rotation, text, freehand outlines) at sizes whose band edges cut through
// them. A board with a picture from an image source is drawn whole.

#include "DVIO/BoardFile.hpp"
#include "DVModel/Base64.hpp"
#include "DVRender/Export/RasterExport.hpp"
#include "DVRender/Images/ImageStore.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/PNGEncoder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Deterministic numbers, so every run draws the same boards.
struct Numbers {
    std::uint64_t state;
    double next(double range) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0 * range;
    }
    int pick(int n) { return static_cast<int>(next(n)); }
};

std::string number(double v) { return std::to_string(std::round(v * 100) / 100); }

// `count` elements of every kind over a square of `side` units; a third of the connectors join
// far corners, so that they cross every band.
std::string mixedBoard(std::uint64_t seed, int count, double side, bool shadows) {
    Numbers r{seed};
    static const char* const inks[] = {"#1e1e1e", "#1971c2", "crimson", "#2f9e44"};
    static const char* const fills[] = {"transparent", "#a5d8ff", "#ffec99", "rgba(255,0,0,0.3)"};
    static const char* const labels[] = {"Box", "Two words", "naïve Überblick", "日本語 ok", "a label long enough to wrap"};
    static const char* const heads[] = {"open", "triangle", "triangleFilled", "diamond", "diamondFilled", "circle"};
    std::string text = "{\"version\":1,\"elements\":[";
    for (int i = 0; i < count; ++i) {
        const double x = r.next(side), y = r.next(side);
        std::string e = "{\"id\":\"e" + std::to_string(i) + "\",\"x\":" + number(x) + ",\"y\":" + number(y) +
                        ",\"strokeColor\":\"" + inks[r.pick(4)] + "\",\"fillColor\":\"" + fills[r.pick(4)] +
                        "\",\"strokeWidth\":" + number(1 + r.pick(6)) + ",\"opacity\":" + (r.pick(4) ? "1" : "0.6") +
                        ",\"roughness\":" + number(r.pick(3) * 0.75);
        if (r.pick(5) == 0) e += std::string(",\"strokeStyle\":\"") + (r.pick(2) ? "dashed" : "dotted") + "\"";
        if (r.pick(6) == 0) e += ",\"rotation\":" + number(r.next(6) - 3);
        if (shadows ? r.pick(2) == 0 : r.pick(12) == 0)
            e += ",\"shadowBlur\":" + number(2 + r.pick(20)) + ",\"shadowOffsetX\":" + number(r.next(16) - 8) +
                 ",\"shadowOffsetY\":" + number(r.next(16) - 8);
        const std::string label = std::string(",\"label\":\"") + labels[r.pick(5)] + "\"";
        switch (r.pick(9)) {
        case 0:
        case 1: {
            static const char* const boxes[] = {"rectangle", "ellipse", "rhombus"};
            e += std::string(",\"type\":\"") + boxes[r.pick(3)] + "\",\"width\":" + number(20 + r.next(side / 4)) +
                 ",\"height\":" + number(20 + r.next(side / 5)) + label;
            break;
        }
        case 2:
            e += ",\"type\":\"text\",\"content\":\"Hello world\\nsecond line 日本語\",\"fontSize\":" +
                 number(8 + r.pick(40)) + ",\"fontFamily\":\"sans-serif\",\"width\":200,\"height\":60";
            break;
        case 3: {
            e += ",\"type\":\"freehand\",\"points\":[";
            double px = x, py = y;
            const int n = 2 + r.pick(60);
            for (int k = 0; k < n; ++k) {
                px += r.next(40) - 20;
                py += r.next(40) - 20;
                e += std::string(k ? "," : "") + "[" + number(px) + "," + number(py) + "]";
            }
            e += "]";
            break;
        }
        case 4:
            e += ",\"type\":\"stencil\",\"width\":64,\"height\":64,\"source\":{\"kind\":\"builtin\",\"ref\":"
                 "\"generic/server\"}" + label;
            break;
        case 5:
            e += ",\"type\":\"curve\",\"x2\":" + number(r.next(side)) + ",\"y2\":" + number(r.next(side)) +
                 ",\"cx\":" + number(r.next(side)) + ",\"cy\":" + number(r.next(side));
            break;
        default: {
            const bool far = r.pick(3) == 0;
            e += std::string(",\"type\":\"") + (r.pick(3) ? "arrow" : "line") + "\",\"x2\":" +
                 number(far ? side - x : r.next(side)) + ",\"y2\":" + number(far ? side - y : r.next(side)) +
                 ",\"arrowHead\":\"both\",\"startHeadStyle\":\"" + heads[r.pick(6)] + "\",\"endHeadStyle\":\"" +
                 heads[r.pick(6)] + "\"";
            if (i > 0 && r.pick(3) == 0) e += ",\"startElementId\":\"e" + std::to_string(r.pick(i)) + "\"";
            if (i > 0 && r.pick(3) == 0) e += ",\"endElementId\":\"e" + std::to_string(r.pick(i)) + "\",\"routing\":\"elbow\"";
            if (r.pick(2)) e += label;
            break;
        }
        }
        text += (i ? "," : "") + e + "}";
    }
    return text + "]}";
}

std::vector<dv::Element> read(const std::string& text) {
    return dv::readDrevalinFile(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
        .document.elements;
}

// The elements' own plan, scaled so that the longer side is `side` pixels.
dv::ExportRasterPlan planOfSide(const std::vector<dv::Element>& elements, double side) {
    dv::ExportRasterPlan plan = *dv::exportRasterPlan(elements, true, "#ffffff");
    plan.scale = side / std::max(plan.worldWidth, plan.worldHeight);
    plan.pixelWidth = static_cast<std::uint32_t>(std::max(1.0, std::round(plan.worldWidth * plan.scale)));
    plan.pixelHeight = static_cast<std::uint32_t>(std::max(1.0, std::round(plan.worldHeight * plan.scale)));
    return plan;
}

// The first differing pixel as "x,y", or "" when the pictures are equal.
std::string firstDifference(const dv::gfx::ImageRef& a, const dv::gfx::ImageRef& b) {
    if (a->width() != b->width() || a->height() != b->height()) return "size";
    for (int y = 0; y < a->height(); ++y)
        for (int x = 0; x < a->width(); ++x)
            if (a->pixel(x, y) != b->pixel(x, y)) return std::to_string(x) + "," + std::to_string(y);
    return "";
}

TEST(BandedRaster, BandsGiveThePictureDrawnAtOnce) {
    struct Case {
        const char* what;
        std::uint64_t seed;
        int count;
        double units;
        bool shadows;
        bool dark;
    };
    const Case cases[] = {
        {"mixed", 1, 200, 3000, false, false},
        {"shadows on a dark canvas", 2, 120, 1500, true, true},
    };
    for (const Case& c : cases) {
        const std::vector<dv::Element> elements = read(mixedBoard(c.seed, c.count, c.units, c.shadows));
        ASSERT_GT(elements.size(), static_cast<std::size_t>(c.count * 9 / 10)) << c.what;
        const dv::RenderEnvironment environment(c.dark ? dv::RenderTheme::dark : dv::RenderTheme::light,
                                                dv::ImageStore::shared());
        for (const auto& [side, bandCounts] : {std::pair{1024.0, std::vector{4, 2}}, std::pair{790.0, std::vector{3}}}) {
            const dv::ExportRasterPlan plan = planOfSide(elements, side);
            const auto whole = dv::detail::renderExportImageInBands(elements, plan, environment, 1);
            for (const int bands : bandCounts) {
                const auto banded = dv::detail::renderExportImageInBands(elements, plan, environment, bands);
                EXPECT_EQ(firstDifference(whole, banded), "") << c.what << " at " << side << " px in " << bands << " bands";
            }
        }
    }
}

TEST(BandedRaster, PicturesFromImageSourcesKeepThePictureWhole) {
    // Noise scaled down: every pixel of the picture depends on where sampling starts.
    auto bitmap = *dv::gfx::Bitmap::create(97, 89);
    Numbers r{7};
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x)
            bitmap.row(y)[x] = 0xFF000000u | static_cast<std::uint32_t>(r.next(16777216.0));
    const auto png = *dv::gfx::encodePNG({bitmap.data(), bitmap.width(), bitmap.height(), static_cast<int>(bitmap.stride())});
    const std::string url = "data:image/png;base64," + dv::base64Encode(png);
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
