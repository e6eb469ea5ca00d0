// Narrow text blocks of long texts wrap to thousands of lines running far below the picture,
// and long labels of small shapes far past the shape that clips them.
// Exported, only the lines that can show are drawn: the picture, at thumbnail sizes, in bands
// or at once, is the one every line drawn gives, and the export's area is that of the boxes.

#include "BandBoards.hpp"

#include "DVRender/Export/RasterExport.hpp"
#include "DVRender/Images/ImageStore.hpp"
#include "tests/support/EveryLineDrawn.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using dv::test::everyLineDrawn;
using dv::test::thumbnailPlan;
using dv::test::read;

// Single letters between spaces (a line each), words of up to 30 letters, or Han and kana
// without spaces (cut into single characters where the padding allows it).
std::string content(int kind, int i, int length) {
    std::string text;
    for (int k = 0; static_cast<int>(text.size()) < length; ++k) {
        if (kind == 0) {
            text += static_cast<char>('a' + (i + 7 * k) % 26);
            text += ' ';
        } else if (kind == 1) {
            text.append(static_cast<std::size_t>(1 + (k * 13 + i) % 30), static_cast<char>('A' + (i + k) % 26));
            text += ' ';
        } else {
            const char32_t c = k % 5 ? 0x4E00 + (i * 31 + k * 17) % 2000 : 0x3042 + k % 80;
            text += static_cast<char>(0xE0 | (c >> 12));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

// Texts 10 wide on a grid at a pitch of 40 in styles that each change where a line's ink lies,
// and a row of labelled shapes.
std::string tallTexts(int columns, int rows, int length) {
    const char* styles[] = {
        R"("fontSize":20,"fontFamily":"sans-serif")",
        R"("fontSize":31,"fontFamily":"serif","textAlign":"center","underline":true)",
        R"("fontSize":14,"fontFamily":"monospace","textAlign":"right","strikethrough":true)",
        R"("fontSize":9,"fontFamily":"sans-serif","padding":1)",
        R"("fontSize":4,"fontFamily":"serif","bold":true,"italic":true)",
        R"("fontSize":16,"fontFamily":"sans-serif","rotation":0.2,"shadowBlur":6,"shadowOffsetY":30)",
    };
    std::string board = R"({"version":1,"elements":[)";
    for (int i = 0; i < columns * rows; ++i) {
        const int style = i % 6;
        const int kind = style == 3 ? 2 : style == 2 ? 1 : 0;
        if (i) board += ',';
        board += R"({"id":"t)" + std::to_string(i) + R"(","type":"text","x":)" + std::to_string(i % columns * 40) +
                 R"(,"y":)" + std::to_string(i / columns * 40) +
                 R"(,"width":10,"height":20,"strokeColor":"#1e1e1e","fillColor":"transparent","strokeWidth":2,)"
                 R"("roughness":1,"opacity":)" + (style == 4 ? "0.5" : "1") + R"(,"content":")" + content(kind, i, length) + "\"," + styles[style] + "}";
    }
    // A row of narrow shapes below, whose labels wrap far past the shape that clips them.
    for (int i = 0; i < columns; ++i) {
        board += R"(,{"id":"s)" + std::to_string(i) + R"(","type":")" + (i % 2 ? "ellipse" : "rectangle") +
                 R"(","x":)" + std::to_string(i * 40) + R"(,"y":)" + std::to_string(rows * 40) +
                 R"(,"width":10,"height":20,"strokeColor":"#1e1e1e","fillColor":"#a0c0e0","strokeWidth":1,)"
                 R"("opacity":1,"roughness":)" + std::to_string(i % 3) + R"(,"labelFontSize":)" +
                 std::to_string(4 + i * 3) + R"(,"label":")" + content(i % 3 == 2 ? 2 : 0, i, length) + "\"}";
    }
    return board + "]}";
}

struct Difference {
    int beyondTolerance = 0;  // pixels with a channel off by more than 3 levels
    int worst = 0;
    int inked = 0;  // pixels of the expected picture that are not the background
};

Difference compare(const dv::gfx::ImageRef& expected, const dv::gfx::ImageRef& actual) {
    Difference d;
    for (int y = 0; y < expected->height(); ++y)
        for (int x = 0; x < expected->width(); ++x) {
            const std::uint32_t p = expected->pixel(x, y), q = actual->pixel(x, y);
            d.inked += p != 0xFFFFFFFFu;
            int most = 0;
            for (int shift = 0; shift < 32; shift += 8)
                most = std::max(most, std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)));
            d.beyondTolerance += most > 3;
            d.worst = std::max(d.worst, most);
        }
    return d;
}

TEST(TallTexts, ExportShowsTheLinesEveryLineDrawnGives) {
    const std::vector<dv::Element> elements = read(tallTexts(12, 6, 3000));
    ASSERT_EQ(elements.size(), 84u);
    const dv::RenderEnvironment environment(dv::RenderTheme::light, dv::ImageStore::shared());
    for (const double side : {256.0, 1024.0}) {
        const dv::ExportRasterPlan plan = thumbnailPlan(elements, side);
        const dv::gfx::ImageRef expected = everyLineDrawn(elements, plan, environment);
        for (const int bands : {0, 1, 3}) {
            const dv::gfx::ImageRef actual = bands ? dv::detail::renderExportImageInBands(elements, plan, environment, bands)
                                                   : dv::renderExportImage(elements, plan, environment);
            ASSERT_EQ(actual->width(), expected->width());
            ASSERT_EQ(actual->height(), expected->height());
            const Difference d = compare(expected, actual);
            EXPECT_GT(d.inked, expected->width() * expected->height() / 4) << side << " px";
            EXPECT_LE(d.beyondTolerance, expected->width() * expected->height() / 200) << side << " px, bands " << bands;
            EXPECT_LE(d.worst, 64) << side << " px, bands " << bands;
        }
    }
}

TEST(TallTexts, PicturesOfMostlyLongTextAreDrawnAtOnce) {
    // Bands would wrap, measure and show again every line that reaches them, and cairo shows
    // their glyphs one thread at a time: a megabyte of long texts is drawn at once. The same
    // text in many short pieces keeps its bands, as does a board of short texts.
    EXPECT_TRUE(dv::detail::drawsTextAtOnce(read(tallTexts(30, 30, 1200))));
    EXPECT_FALSE(dv::detail::drawsTextAtOnce(read(tallTexts(60, 40, 500))));
    EXPECT_FALSE(dv::detail::drawsTextAtOnce(read(tallTexts(12, 6, 3000))));
    EXPECT_FALSE(dv::detail::drawsTextAtOnce({}));
}

TEST(TallTexts, ExportAreaIsThatOfTheBoxes) {
    // The same boxes with one character each: the lines below the boxes widen nothing.
    const std::vector<dv::Element> tall = read(tallTexts(12, 6, 3000));
    const std::vector<dv::Element> short_ = read(tallTexts(12, 6, 1));
    const dv::ExportRasterPlan a = *dv::exportRasterPlan(tall, true, "#ffffff");
    const dv::ExportRasterPlan b = *dv::exportRasterPlan(short_, true, "#ffffff");
    EXPECT_TRUE(a == b);
    EXPECT_EQ(a.worldWidth, 11 * 40 + 10 + 2 * dv::EXPORT_PADDING);
    EXPECT_EQ(a.worldHeight, 6 * 40 + 20 + 2 * dv::EXPORT_PADDING);
}

}  // namespace
