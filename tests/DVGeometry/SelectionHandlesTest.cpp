// Resize, rotation and end grips of a selection, in screen pixels, and which one the pointer hits.
#include "ConnectorBoards.hpp"

#include "DVGeometry/SelectionHandles.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace dv {
namespace {

using test::rectangle;
using test::Wire;
using test::wire;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr HandlePosition kOrder[] = {HandlePosition::nw, HandlePosition::n,  HandlePosition::ne, HandlePosition::w,
                                     HandlePosition::e,  HandlePosition::sw, HandlePosition::s,  HandlePosition::se};

Element embeddedStencil(std::string id) {
    Element e = test::stencil(std::move(id), 0, 0, 64, 64, std::nullopt);
    e.payload.stencil()->source = StencilSource::embedded("data:image/svg+xml;base64,PHN2Zy8+", "pack", "icon");
    return e;
}

TEST(SelectionHandles, UnrotatedBoxOnScreen) {
    const Viewport view{10, 20, 2};
    const std::vector<Element> selection{rectangle("r", 0, 0, 100, 50)};
    const std::vector<Handle> expected{
        {HandlePosition::nw, 10, 20},  {HandlePosition::n, 110, 20},  {HandlePosition::ne, 210, 20},
        {HandlePosition::w, 10, 70},   {HandlePosition::e, 210, 70},  {HandlePosition::sw, 10, 120},
        {HandlePosition::s, 110, 120}, {HandlePosition::se, 210, 120}};
    EXPECT_EQ(getSelectionHandles(selection, view), expected);
    EXPECT_EQ(getRotationHandleScreen(selection, view), (Point{110, -14}));
}

TEST(SelectionHandles, SingleRotatedElementTurnsAboutItsCentre) {
    const Viewport view{10, 20, 2};
    Element r = rectangle("r", 0, 0, 100, 50);
    r.rotation = std::numbers::pi / 2;
    const std::vector<Element> selection{r};
    // A quarter turn about (110, 70) takes an offset (dx, dy) to (-dy, dx).
    const Point expected[] = {{160, -30}, {160, 70}, {160, 170}, {110, -30},
                              {110, 170}, {60, -30}, {60, 70},   {60, 170}};
    const std::vector<Handle> handles = getSelectionHandles(selection, view);
    ASSERT_EQ(handles.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(handles[i].position, kOrder[i]);
        EXPECT_NEAR(handles[i].screenX, expected[i].x, 1e-9) << i;
        EXPECT_NEAR(handles[i].screenY, expected[i].y, 1e-9) << i;
    }
    const std::optional<Point> rotationHandle = getRotationHandleScreen(selection, view);
    ASSERT_TRUE(rotationHandle);
    EXPECT_NEAR(rotationHandle->x, 194, 1e-9);
    EXPECT_NEAR(rotationHandle->y, 70, 1e-9);
}

TEST(SelectionHandles, NoCommonRotation) {
    const Viewport view{0, 0, 1};
    Element turned = rectangle("a", 0, 0, 100, 50);
    turned.rotation = 0.5;
    const std::vector<Handle> box{{HandlePosition::nw, 0, 0},    {HandlePosition::n, 125, 0},
                                  {HandlePosition::ne, 250, 0},  {HandlePosition::w, 0, 25},
                                  {HandlePosition::e, 250, 25},  {HandlePosition::sw, 0, 50},
                                  {HandlePosition::s, 125, 50},  {HandlePosition::se, 250, 50}};
    // Two elements, one rotated: a group has no angle of its own.
    const std::vector<Element> pair{turned, rectangle("b", 200, 0, 50, 50)};
    EXPECT_EQ(getSelectionHandles(pair, view), box);
    EXPECT_EQ(getRotationHandleScreen(pair, view), (Point{125, -34}));

    // Rotations that do not count as rotated leave a single element's handles square.
    for (std::optional<double> rotation : {std::optional<double>(), std::optional(0.0), std::optional(-0.0),
                                           std::optional(kNaN)}) {
        Element e = rectangle("w", 0, 0, 250, 50);
        e.rotation = rotation;
        EXPECT_EQ(getSelectionHandles(std::vector{e}, view), box);
    }
}

TEST(SelectionHandles, EmptyAndEmbeddedSelections) {
    const Viewport view{0, 0, 1};
    EXPECT_TRUE(getSelectionHandles({}, view).empty());
    EXPECT_FALSE(getRotationHandleScreen({}, view));

    // Embedded pictures are never turned, so a selection holding one has no rotation handle, but
    // it still has resize handles; a built-in stencil keeps its rotation handle.
    const std::vector<Element> withEmbedded{rectangle("r", 0, 0, 10, 10), embeddedStencil("s")};
    EXPECT_FALSE(getRotationHandleScreen(withEmbedded, view));
    EXPECT_EQ(getSelectionHandles(withEmbedded, view).size(), 8u);
    const std::vector<Element> builtin{test::stencil("s", 0, 0, 64, 64, std::nullopt)};
    EXPECT_EQ(getRotationHandleScreen(builtin, view), (Point{32, -34}));
}

TEST(SelectionHandles, RotationHandleFollowsResolvedConnectors) {
    const Viewport view{0, 0, 1};
    // An arrow stored as (0,0)-(10,0) whose end is bound to a box: with the board's index its end
    // lies on the box's left edge at x 100, without it the end is the stored point.
    const Element target = rectangle("box", 100, -10, 20, 20);
    const Element arrow = wire(Wire{.id = "a", .from = {0, 0}, .to = {10, 0}, .end = "box"});
    const ElementIndex index(std::vector<Element>{target, arrow});
    const std::vector<Element> selection{arrow};

    EXPECT_EQ(getRotationHandleScreen(selection, view), (Point{5, -34}));
    const std::optional<Point> resolved = getRotationHandleScreen(selection, view, &index);
    ASSERT_TRUE(resolved);
    EXPECT_DOUBLE_EQ(resolved->x, 50);
    EXPECT_DOUBLE_EQ(resolved->y, -34);
    // The resize handles always use the stored geometry.
    EXPECT_EQ(getSelectionHandles(selection, view)[2], (Handle{HandlePosition::ne, 10, 0}));
}

TEST(SelectionHandles, HitTestTakesFirstHandleInReach) {
    // Handles 2 pixels apart overlap; the earlier one in the list wins.
    const std::vector<Handle> handles{{HandlePosition::nw, 0, 0}, {HandlePosition::n, 2, 0},
                                      {HandlePosition::se, 100, 100}};
    struct Case {
        double x, y, tolerance;
        std::optional<HandlePosition> expected;
    };
    const Case cases[] = {
        {1, 0, 0, HandlePosition::nw},
        {5, 0, 0, HandlePosition::n},       // beyond nw's reach, inside n's
        {4, 4, 0, HandlePosition::nw},      // the corner of the square is inclusive
        {6, 4, 0, HandlePosition::n},
        {6.5, 0, 0, std::nullopt},
        {6.5, 0, 0.5, HandlePosition::n},   // tolerance widens both sides
        {100, 104.5, 0.5, HandlePosition::se},
        {100, 104.5, 0.4, std::nullopt},
        {95.5, 95.5, 0.5, HandlePosition::se},
        {kNaN, 0, 0, std::nullopt},
        {0, 0, kNaN, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hitTestHandle(handles, c.x, c.y, c.tolerance), c.expected) << c.x << "," << c.y << " tol " << c.tolerance;
    }
    EXPECT_EQ(hitTestHandle({}, 0, 0, 10), std::nullopt);
}

TEST(SelectionHandles, EndpointGrips) {
    const Viewport view{10, 20, 2};
    // On screen the line runs from (10, 20) to (50, 20); the arrow from (10, 20) to (16, 20).
    const Element line = test::line("l", 0, 0, 20, 0);
    const Element shortArrow = test::arrow("a", 0, 0, 3, 0);
    struct Case {
        const char* name;
        const Element& element;
        double x, y;
        std::optional<ConnectorEndpoint> expected;
    };
    const Case cases[] = {
        {"exactly 9 pixels from the start", line, 10, 29, ConnectorEndpoint::start},
        {"just past 9 pixels", line, 10, 29.000001, std::nullopt},
        {"exactly 9 pixels from the end", line, 59, 20, ConnectorEndpoint::end},
        {"between the ends, out of reach", line, 30, 20, std::nullopt},
        {"both ends in reach: the start wins", shortArrow, 16, 20, ConnectorEndpoint::start},
        {"a NaN pointer never hits", line, kNaN, 20, std::nullopt},
        {"no grips on a rectangle", rectangle("r", 0, 0, 20, 20), 10, 20, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(hitTestEndpoint(c.element, view, c.x, c.y), c.expected) << c.name;

    // With the board's index a bound end is where it is drawn, not where it is stored.
    const Element target = rectangle("box", 100, -10, 20, 20);
    const Element bound = wire(Wire{.id = "w", .from = {0, 0}, .to = {10, 0}, .end = "box"});
    const ElementIndex index(std::vector<Element>{target, bound});
    const Viewport identity{0, 0, 1};
    EXPECT_EQ(hitTestEndpoint(bound, identity, 100, 5, &index), ConnectorEndpoint::end);
    EXPECT_EQ(hitTestEndpoint(bound, identity, 100, 5), std::nullopt);
    EXPECT_EQ(hitTestEndpoint(bound, identity, 12, 0), ConnectorEndpoint::end);
}

TEST(SelectionHandles, WordsAndHashes) {
    const char* words[] = {"nw", "n", "ne", "w", "e", "sw", "s", "se"};
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(toWord(kOrder[i]), words[i]);
        EXPECT_EQ(fromWord<HandlePosition>(words[i]), kOrder[i]);
    }
    EXPECT_EQ(allCases<HandlePosition>().size(), 8u);
    EXPECT_EQ(allCases<HandlePosition>()[7], HandlePosition::se);
    EXPECT_EQ(fromWord<ConnectorEndpoint>("start"), ConnectorEndpoint::start);
    EXPECT_EQ(fromWord<ConnectorEndpoint>("end"), ConnectorEndpoint::end);
    for (const char* other : {"NW", " n", "", "north", "Start", "end "}) {
        EXPECT_EQ(fromWord<HandlePosition>(other), std::nullopt) << other;
        EXPECT_EQ(fromWord<ConnectorEndpoint>(other), std::nullopt) << other;
    }

    const std::hash<Handle> hash;
    const Handle a{HandlePosition::e, 0.0, 5}, b{HandlePosition::e, -0.0, 5};
    EXPECT_EQ(a, b);
    EXPECT_EQ(hash(a), hash(b));
    EXPECT_NE(a, (Handle{HandlePosition::w, 0, 5}));
    EXPECT_NE(hash(a), hash(Handle{HandlePosition::w, 0, 5}));
    EXPECT_NE(hash(a), hash(Handle{HandlePosition::e, 5, 0}));
}

} // namespace
} // namespace dv
