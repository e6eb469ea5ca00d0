#pragma once
// Boards and comparisons for the tests that draw pictures in bands: every kind of element at
// random places, with connectors that cross every band, a picture whose every pixel shows where
// sampling starts, and the first pixel two pictures differ at.

#include "DVIO/BoardFile.hpp"
#include "DVModel/Base64.hpp"
#include "DVRender/Export/RasterExport.hpp"
#include "DVRender/Images/ImageStore.hpp"
#include "DVRender/Scene/RenderTheme.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/PNGEncoder.hpp"
#include "Platform/Graphics/Image.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace dv::test {

// Deterministic numbers, so every run draws the same boards.
struct Numbers {
    std::uint64_t state;
    double next(double range) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0 * range;
    }
    int pick(int n) { return static_cast<int>(next(n)); }
};

// The elements' own plan, scaled so that the longer side is `side` pixels.
inline dv::ExportRasterPlan planOfSide(const std::vector<dv::Element>& elements, double side, bool dark = false) {
    dv::ExportRasterPlan plan = *dv::exportRasterPlan(elements, true, dark ? "#121212" : "#ffffff");
    plan.scale = side / std::max(plan.worldWidth, plan.worldHeight);
    plan.pixelWidth = static_cast<std::uint32_t>(std::max(1.0, std::round(plan.worldWidth * plan.scale)));
    plan.pixelHeight = static_cast<std::uint32_t>(std::max(1.0, std::round(plan.worldHeight * plan.scale)));
    return plan;
}

inline std::string number(double v) { return std::to_string(std::round(v * 100) / 100); }

// `count` elements of every kind over a square of `side` units; a third of the connectors join
// far corners, so that they cross every band.
inline std::string mixedBoard(std::uint64_t seed, int count, double side, bool shadows) {
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

inline std::vector<dv::Element> read(const std::string& text) {
    return dv::readDrevalinFile(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
        .document.elements;
}

// The first differing pixel as "x,y", or "" when the pictures are equal.
inline std::string firstDifference(const dv::gfx::ImageRef& a, const dv::gfx::ImageRef& b) {
    if (a->width() != b->width() || a->height() != b->height()) return "size";
    for (int y = 0; y < a->height(); ++y)
        for (int x = 0; x < a->width(); ++x)
            if (a->pixel(x, y) != b->pixel(x, y)) return std::to_string(x) + "," + std::to_string(y);
    return "";
}

// The boards both band tests draw: every kind of element, and shadows on a dark canvas.
struct BandBoard {
    const char* what;
    std::uint64_t seed;
    int count;
    double units;
    bool shadows;
    bool dark;

    std::vector<dv::Element> elements() const { return read(mixedBoard(seed, count, units, shadows)); }
    dv::RenderEnvironment environment() const {
        return dv::RenderEnvironment(dark ? dv::RenderTheme::dark : dv::RenderTheme::light, dv::ImageStore::shared());
    }
};

inline constexpr BandBoard bandBoards[] = {
    {"mixed", 1, 200, 3000, false, false},
    {"shadows on a dark canvas", 2, 120, 1500, true, true},
};

// A PNG of 97 x 89 pixels of noise as a data URL: scaled, every pixel of it depends on where
// sampling starts.
inline std::string noisePictureURL(int width = 97, int height = 89, std::uint64_t seed = 7) {
    auto bitmap = *dv::gfx::Bitmap::create(width, height);
    Numbers r{seed};
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x)
            bitmap.row(y)[x] = 0xFF000000u | static_cast<std::uint32_t>(r.next(16777216.0));
    const auto png = *dv::gfx::encodePNG({bitmap.data(), bitmap.width(), bitmap.height(), static_cast<int>(bitmap.stride())});
    return "data:image/png;base64," + dv::base64Encode(png);
}

}  // namespace dv::test
