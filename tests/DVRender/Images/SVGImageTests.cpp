#include "DVRender/Images/SVGImage.hpp"
#include "ImageFixtures.hpp"
#include "Platform/SVG/SVGDocument.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace dv {
namespace {

std::span<const std::uint8_t> bytes(const std::string& s) { return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }

// A 24 x 24 icon whose left half is opaque red.
const std::string leftHalf =
    "<svg xmlns='http://www.w3.org/2000/svg' width='24' height='24' viewBox='0 0 24 24'>"
    "<rect x='0' y='0' width='12' height='24' fill='#ff0000'/></svg>";

TEST(SVGImage, RasterisesStretchedToTheExactSize) {
    auto svg = SVGImage::load(bytes(leftHalf));
    ASSERT_TRUE(svg);
    EXPECT_EQ(svg->width(), 24);
    EXPECT_EQ(svg->height(), 24);
    struct Case { std::int64_t w, h; };
    for (const Case c : {Case{100, 50}, Case{24, 24}, Case{1, 1}, Case{7, 300}}) {
        auto image = svg->rasterize(c.w, c.h);
        ASSERT_TRUE(image) << c.w << "x" << c.h;
        EXPECT_EQ(image->width(), c.w);
        EXPECT_EQ(image->height(), c.h);
        if (c.w >= 4) {
            EXPECT_EQ(image->pixel(static_cast<int>(c.w / 4), static_cast<int>(c.h / 2)), 0xFFFF0000u);
            EXPECT_EQ(image->pixel(static_cast<int>(c.w * 3 / 4), static_cast<int>(c.h / 2)), 0u);
        }
    }
    for (const Case c : {Case{0, 10}, Case{10, 0}, Case{-1, 5}}) EXPECT_FALSE(svg->rasterize(c.w, c.h));
}

TEST(SVGImage, SizesComeFromWidthAndHeightOrTheViewBox) {
    struct Case { std::string svg; bool loads; double w, h; };
    const Case cases[] = {
        {"<svg xmlns='http://www.w3.org/2000/svg' width='48' height='32'/>", true, 48, 32},
        {"<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 10 20'/>", true, 10, 20},
        {"<svg xmlns='http://www.w3.org/2000/svg' width='1in' height='2in'/>", true, 72, 144},
        {"not an svg", false, 0, 0},
        {"<svg xmlns='http://www.w3.org/2000/svg'><rect", false, 0, 0},
        {"", false, 0, 0},
        {"<html/>", false, 0, 0},
    };
    for (const auto& c : cases) {
        auto svg = SVGImage::load(bytes(c.svg));
        ASSERT_EQ(svg != nullptr, c.loads) << c.svg;
        if (!svg) continue;
        EXPECT_DOUBLE_EQ(svg->width(), c.w) << c.svg;
        EXPECT_DOUBLE_EQ(svg->height(), c.h) << c.svg;
    }
}

// Resource icons skip cleaning, so the renderer itself must never load a file.
TEST(SVGImage, ReferencesToFilesAreNeverLoaded) {
    const std::string path = ::testing::TempDir() + "svg-image-red.png";
    {
        const auto png = testing::encodePNG(testing::solid(4, 4, 255, 0, 0, 255));
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    }
    for (const std::string& href : {"file://" + path, path, std::string("svg-image-red.png")}) {
        const std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
                                "width='4' height='4'><image width='4' height='4' xlink:href='" + href + "'/>"
                                "<image width='4' height='4' href='" + href + "'/></svg>";
        auto image = SVGImage::load(bytes(svg));
        ASSERT_TRUE(image) << href;
        auto pixels = image->rasterize(4, 4);
        ASSERT_TRUE(pixels);
        EXPECT_EQ(pixels->pixel(2, 2), 0u) << href;
    }
    // The same picture as a data: link does render, so the test above can tell.
    const auto png = testing::encodePNG(testing::solid(4, 4, 255, 0, 0, 255));
    const std::string inline_ = "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'><image width='4' height='4' href='" +
                                testing::dataURL("image/png", png) + "'/></svg>";
    auto image = SVGImage::load(bytes(inline_));
    ASSERT_TRUE(image);
    auto pixels = image->rasterize(4, 4);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->pixel(2, 2), 0xFFFF0000u);
}

TEST(SVGImage, OversizedRasterLinksFailTheLoadBeforeTheRenderer) {
    const std::string bomb = testing::dataURL("image/png", testing::pngHeaderOnly(100000, 100000));
    const std::string fine = testing::dataURL("image/png", testing::encodePNG(testing::solid(2, 2, 0, 0, 255, 255)));
    auto svgWith = [](const std::string& attribute) {
        return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='4' height='4'>"
               "<g><image width='4' height='4' " + attribute + "/></g></svg>";
    };
    const std::string nested = "data:image/svg+xml;base64," + testing::base64(svgWith("href='" + bomb + "'"));
    struct Case { std::string svg; bool loads; };
    const Case cases[] = {
        {svgWith("href='" + fine + "'"), true},
        {svgWith("href='" + bomb + "'"), false},
        {svgWith("xlink:href=' " + bomb + "'"), false},
        {svgWith("href='" + nested + "'"), false},
        {svgWith("href='#x'"), true},
        // Style sheets reach documents through url() and @import: their data: links pass the
        // same limits, and an imported data: sheet cannot be checked.
        {svgWith("style='fill: url( \"#g\" )'"), true},
        {svgWith("fill='URL(" + nested + ")'"), false},
        {svgWith("style='fill:url(data:image/svg+xml,x)'"), false},
        {"<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'><style>rect{fill:url('" + nested + "')}</style></svg>", false},
        {"<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'><style><![CDATA[@import 'data:text/css,x';]]></style></svg>", false},
        {"<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'><style>rect{fill:url(#g)}</style></svg>", true},
    };
    for (const auto& c : cases) {
        const std::size_t before = gfx::SVGDocument::loadCount();
        auto svg = SVGImage::load(bytes(c.svg));
        EXPECT_EQ(svg != nullptr, c.loads) << c.svg.substr(0, 200);
        if (!c.loads) {
            EXPECT_EQ(gfx::SVGDocument::loadCount(), before) << "refused before the renderer saw it";
        }
    }
}

// References the renderer could never resolve (no base address is given, and unreadable data:
// links are left out) no longer fail the picture: the red square still draws.
TEST(SVGImage, UnresolvableReferencesLeaveThePictureStanding) {
    auto svgWith = [](const std::string& inside, const std::string& rectAttributes = "") {
        return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='4' "
               "height='4'>" + inside + "<rect width='4' height='4' fill='#ff0000' " + rectAttributes + "/></svg>";
    };
    const std::string cases[] = {
        svgWith("", "aria-label='url(x)'"),
        svgWith("<style>@import 'theme.css';</style>"),
        svgWith("<style>@import url(https://example.invalid/a.css);</style>"),
        svgWith("", "style='filter:url(other.svg#f)'"),
        svgWith("<image width='1' height='1' href='data:image/png;base64,!!!'/>"),
        svgWith("<image width='1' height='1' xlink:href='data:text/plain,hello'/>"),
        // bytes of a format the kit does not read: its header was never checked, so it is left out
        svgWith("<image width='1' height='1' href='data:image/bmp;base64,Qk0eAAAAAAAAABoAAAAMAAAAAQABAAEAGAAAAP8A'/>"),
    };
    for (const std::string& svg : cases) {
        auto image = SVGImage::load(bytes(svg));
        ASSERT_TRUE(image) << svg;
        auto pixels = image->rasterize(4, 4);
        ASSERT_TRUE(pixels) << svg;
        EXPECT_EQ(pixels->pixel(2, 2), 0xFFFF0000u) << svg;
    }
    // An unreadable link is left out, not handed on: a broken base64 image shows nothing of itself.
    auto image = SVGImage::load(bytes(svgWith("<image width='4' height='4' href='data:image/png;base64,!!!'/>", "opacity='0'")));
    ASSERT_TRUE(image);
    auto pixels = image->rasterize(4, 4);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->pixel(2, 2), 0u);
}

}  // namespace
}  // namespace dv
