// The board picture's decisions: the theme vote, the budgeted plan, fitting and the appearance.

#include "DVIO/BoardFile.hpp"
#include "DVModel/Base64.hpp"
#include "DVPreview/BoardPicture.hpp"
#include "Platform/Defaults/UserDefaults.hpp"
#include "tests/DVGeometry/TestElements.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

using dv::BoardPicture;
using dv::Element;
using dv::ExportRasterPlan;
namespace t = dv::test;

Element stroked(std::string color, std::optional<bool> visible = std::nullopt) {
    Element e = t::rectangle("r", 0, 0, 10, 10);
    e.strokeColor = dv::CSSColor(std::move(color));
    e.visible = visible;
    return e;
}

TEST(BoardPicture, StrokeColoursVoteForTheCanvas) {
    struct Case {
        const char* name;
        std::vector<Element> elements;
        std::optional<bool> expected;
    };
    const std::vector<Case> cases = {
        {"empty board", {}, std::nullopt},
        {"dark strokes want a light canvas", {stroked("#1e1e1e"), stroked("#000")}, true},
        {"light strokes want a dark canvas", {stroked("#ffffff"), stroked("#eeeeee")}, false},
        {"two against two", {stroked("#1e1e1e"), stroked("#ffffff"), stroked("#000000"), stroked("#f0f0f0")},
         std::nullopt},
        {"majority wins", {stroked("#1e1e1e"), stroked("#ffffff"), stroked("#000000")}, true},
        {"hidden elements do not vote", {stroked("#1e1e1e", false), stroked("#ffffff")}, false},
        {"visible true votes", {stroked("#1e1e1e", true)}, true},
        {"the dark ink does not vote", {stroked("#E2e2EF"), stroked("#e2e2ef"), stroked("#000000")}, true},
        {"names and transparent do not vote", {stroked("red"), stroked("transparent"), stroked("#ffffff")}, false},
        {"only unjudged colours", {stroked("red"), stroked("rgb(0,0,0)")}, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(BoardPicture::prefersLightCanvas(c.elements), c.expected) << c.name;
}

TEST(BoardPicture, ThemeFollowsTheBoardThenTheSystem) {
    struct Case {
        std::vector<Element> elements;
        bool systemIsLight;
        bool expectLight;
    };
    const std::vector<Case> cases = {
        {{stroked("#1e1e1e")}, false, true},  {{stroked("#ffffff")}, true, false},
        {{}, true, true},                     {{}, false, false},
        {{stroked("#1e1e1e"), stroked("#ffffff")}, false, false},
    };
    for (const Case& c : cases) {
        dv::RenderTheme theme = BoardPicture::theme(c.elements, c.systemIsLight);
        EXPECT_EQ(theme, c.expectLight ? dv::RenderTheme::light : dv::RenderTheme::dark);
    }
    EXPECT_EQ(BoardPicture::theme(true), dv::RenderTheme::light);
    EXPECT_EQ(BoardPicture::theme(false), dv::RenderTheme::dark);
}

ExportRasterPlan exportPlan(double worldWidth, double worldHeight) {
    return ExportRasterPlan{worldWidth, worldHeight, 0, 0, 2, 7, -3, "#abc", true};
}

TEST(BoardPicture, PlanIsCappedByTheBudget) {
    struct Case {
        double worldWidth, worldHeight, budget;
        double scale;
        std::uint32_t pixelWidth, pixelHeight;
    };
    const Case cases[] = {
        {1200, 600, 512, 512.0 / 1200, 512, 256},
        {600, 1200, 512, 512.0 / 1200, 256, 512},
        {1200, 600, 4000, 2, 2400, 1200},
        {10000, 1, 100, 0.01, 100, 1},       // a side that rounds to 0 gets 1 pixel
        {1, 0.5, 100, 2, 2, 1},              // longest <= 1: the budget itself is the factor
        {100.25, 60, 1000, 2, 201, 120},     // 200.5 rounds half away from zero
        {148, 98, 600, 2, 296, 196},
    };
    for (const Case& c : cases) {
        ExportRasterPlan p = BoardPicture::capped(exportPlan(c.worldWidth, c.worldHeight), c.budget);
        EXPECT_DOUBLE_EQ(p.scale, c.scale) << c.worldWidth << "x" << c.worldHeight << " @" << c.budget;
        EXPECT_EQ(p.pixelWidth, c.pixelWidth) << c.worldWidth << "x" << c.worldHeight << " @" << c.budget;
        EXPECT_EQ(p.pixelHeight, c.pixelHeight) << c.worldWidth << "x" << c.worldHeight << " @" << c.budget;
        EXPECT_EQ(p.worldWidth, c.worldWidth);
        EXPECT_EQ(p.translateX, 7);
        EXPECT_EQ(p.translateY, -3);
        EXPECT_EQ(p.canvasColor, "#abc");
        EXPECT_TRUE(p.fillsBackground);
    }
}

// Sides that cannot be pixel counts become 0 and are then refused by the export, instead of
// converting a NaN or an out-of-range double to an integer.
TEST(BoardPicture, UnrepresentableSidesBecomeZeroAndAreRefused) {
    struct Case {
        double worldWidth, worldHeight, budget;
        std::uint32_t pixelWidth, pixelHeight;
    };
    const Case cases[] = {
        {std::nan(""), 100, 256, 0, 200},  // a NaN factor leaves the scale at 2
        {1e10, 100, 1e12, 0, 200},       // 2e10 pixels do not fit in 32 bits
        {200, 100, std::numeric_limits<double>::infinity(), 400, 200},
    };
    for (const Case& c : cases) {
        ExportRasterPlan p = BoardPicture::capped(exportPlan(c.worldWidth, c.worldHeight), c.budget);
        EXPECT_EQ(p.pixelWidth, c.pixelWidth);
        EXPECT_EQ(p.pixelHeight, c.pixelHeight);
        if (p.pixelWidth == 0 || p.pixelHeight == 0) {
            EXPECT_THROW(dv::checkExportSize(p), dv::ExportError);
        }
    }
}

TEST(BoardPicture, PlanOfABoard) {
    EXPECT_FALSE(BoardPicture::plan({}, dv::RenderTheme::dark, 256).has_value());
    auto p = BoardPicture::plan({t::rectangle("r", 0, 0, 100, 50)}, dv::RenderTheme::dark, 100);
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->pixelWidth, 100u);
    EXPECT_EQ(p->pixelHeight, 66u);  // 98 x 100/148 = 66.2
    EXPECT_EQ(p->canvasColor, dv::RenderTheme::dark.canvasBackground);
    EXPECT_TRUE(p->fillsBackground);
    EXPECT_EQ(p->translateX, 24);
}

TEST(BoardPicture, FittedScalesDownOnly) {
    struct Case {
        dv::ql::Size size, bounds, expected;
    };
    const Case cases[] = {
        {{1000, 500}, {256, 256}, {256, 128}},
        {{100, 50}, {256, 256}, {100, 50}},
        {{0, 50}, {256, 256}, {256, 256}},
        {{50, -1}, {256, 256}, {256, 256}},
        {{400, 300}, {256, 256}, {256, 192}},
        {{400, 300}, {1024, 1024}, {400, 300}},
        {{400, 300}, {512, 256}, {341, 256}},
        {{500, 250}, {256, 256}, {256, 128}},
        {{3, 1}, {1, 1}, {1, 0}},  // 0.333... rounds to 0
        {{5, 1}, {2, 2}, {2, 0}},  // 0.4 rounds down
        {{5, 2.5}, {2, 2}, {2, 1}},  // 1 exactly
        {{4, 3}, {2, 2}, {2, 2}},  // 1.5 rounds half away from zero
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BoardPicture::fitted(c.size, c.bounds), c.expected)
            << c.size.width << "x" << c.size.height << " in " << c.bounds.width << "x" << c.bounds.height;
    }
}

TEST(BoardPicture, SystemAppearance) {
    struct Case {
        std::optional<std::string> stored;
        bool light;
    };
    const Case cases[] = {
        {std::nullopt, true}, {"Dark", false}, {"dark", false}, {"DARK", false},
        {"Light", true},      {"", true},      {"Darker", true}, {" Dark", true},
    };
    for (const Case& c : cases) {
        dv::platform::InMemoryUserDefaults defaults;
        if (c.stored) defaults.setString("AppleInterfaceStyle", *c.stored);
        EXPECT_EQ(BoardPicture::systemIsLight(defaults), c.light) << c.stored.value_or("(none)");
    }
}

TEST(BoardPicture, BackgroundColourDependsOnLightnessOnly) {
    const dv::gfx::Color white{1, 1, 1, 1};
    const dv::gfx::Color grey{8.0 / 255, 8.0 / 255, 8.0 / 255, 1};
    EXPECT_EQ(BoardPicture::backgroundColor(dv::RenderTheme::light), white);
    EXPECT_EQ(BoardPicture::backgroundColor(dv::RenderTheme::dark), grey);
    EXPECT_EQ(BoardPicture::backgroundColor(dv::RenderTheme{true, "#000000"}), white);
    EXPECT_EQ(BoardPicture::backgroundColor(dv::RenderTheme{false, "#ffffff"}), grey);
    EXPECT_DOUBLE_EQ(grey.red, 0.03137254901960784);
}

TEST(BoardPicture, ElementsOfFileData) {
    std::string board = R"({"version":1,"elements":[{"id":"a","type":"rectangle","x":1,"y":2,"width":3,"height":4,"strokeColor":"#000000","fillColor":"transparent","strokeWidth":1,"opacity":1,"roughness":0}]})";
    auto elements = BoardPicture::elements(std::span(reinterpret_cast<const std::uint8_t*>(board.data()), board.size()));
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_EQ(elements[0].id, "a");
    std::string notBoard = "{\"elements\": 5";
    EXPECT_THROW(BoardPicture::elements(std::span(reinterpret_cast<const std::uint8_t*>(notBoard.data()), notBoard.size())),
                 dv::DrevalinFileError);
}

// A GIF whose logical screen is width x height around a 1 x 1 black frame: its decode lays out
// every screen row, and counts twice its pixels against the picture's budget.
std::string gifOfScreen(std::uint16_t width, std::uint16_t height) {
    std::vector<std::uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', static_cast<std::uint8_t>(width),
                                     static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(height),
                                     static_cast<std::uint8_t>(height >> 8)};
    const std::uint8_t rest[] = {0x80, 0, 0, 0, 0, 0, 255, 255, 255, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0,
                                 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
    gif.insert(gif.end(), std::begin(rest), std::end(rest));
    return "data:image/gif;base64," + dv::base64Encode(gif);
}

// Pictures from image sources are decoded within the picture's budget, taken in the board's
// order: sixteen screens of 4000 x 4000 and a little more fit (513 M of 2^29), a seventeenth is
// drawn as a failed image (its reddish placeholder), at the end of the row however it is drawn.
TEST(BoardPicture, ImagesPastThePicturesDecodeBudgetDrawAsFailedImages) {
    for (const int count : {16, 17}) {
        std::vector<Element> elements;
        for (int i = 0; i < count; ++i) {
            Element e = t::rectangle("g" + std::to_string(i), i * 110, 0, 100, 100);
            e.payload = Element::Payload(Element::Image{gifOfScreen(4000, static_cast<std::uint16_t>(4000 + i)), 100, 100, 4000, 4000});
            elements.push_back(e);
        }
        auto picture = BoardPicture::image(elements, dv::RenderTheme::light, 1024);
        ASSERT_TRUE(picture && *picture);
        const dv::gfx::ImageRef& image = *picture;
        int reddish = 0, firstReddish = image->width();
        for (int y = 0; y < image->height(); ++y)
            for (int x = 0; x < image->width(); ++x) {
                const std::uint32_t p = image->pixel(x, y);
                const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF;
                if (r > g + 20) {
                    ++reddish;
                    firstReddish = std::min(firstReddish, x);
                }
            }
        if (count == 16) {
            EXPECT_EQ(reddish, 0);
        } else {
            EXPECT_GT(reddish, 100);
            // The picture spans the row and the export's padding of 24 each side: the last
            // image starts at 1760 of 1870.
            EXPECT_GE(firstReddish, static_cast<int>(image->width() * (1760.0 + 24) / (1870 + 48)) - 1)
                << "only the last image fails";
        }
    }
}

}  // namespace
