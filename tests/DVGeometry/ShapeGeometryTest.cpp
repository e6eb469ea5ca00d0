#include "DVGeometry/ShapeGeometry.hpp"

#include "TestElements.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace dv {
namespace {

using Subpaths = std::vector<std::vector<Point>>;

TEST(FlattenShapeCommands, Subpaths) {
    using SC = ShapeCommand;
    EXPECT_EQ(flattenShapeCommands({SC::move(0, 0), SC::line(1, 0), SC::move(5, 5), SC::line(6, 5), SC::line(6, 6)}),
              (Subpaths{{{0, 0}, {1, 0}}, {{5, 5}, {6, 5}, {6, 6}}}));
    EXPECT_EQ(flattenShapeCommands({SC::move(0, 0), SC::move(2, 2), SC::line(3, 3)}), (Subpaths{{{2, 2}, {3, 3}}}));
    EXPECT_EQ(flattenShapeCommands({SC::move(0, 0), SC::line(4, 0), SC::line(4, 4), SC::close()}),
              (Subpaths{{{0, 0}, {4, 0}, {4, 4}, {0, 0}}}));
    EXPECT_EQ(flattenShapeCommands({SC::move(1, 1)}), Subpaths{});
    EXPECT_EQ(flattenShapeCommands({SC::close(), SC::line(1, 1)}), Subpaths{});

    Subpaths cubic = flattenShapeCommands({SC::move(0, 0), SC::cubic(0, 10, 10, 10, 10, 0)});
    ASSERT_EQ(cubic.size(), 1u);
    ASSERT_EQ(cubic[0].size(), 17u);
    EXPECT_EQ(cubic[0].back(), (Point{10, 0}));
    EXPECT_EQ(cubic[0][8], (Point{5, 7.5}));  // t = 0.5
    // A cubic with nothing before it starts at its own end point.
    Subpaths alone = flattenShapeCommands({SC::cubic(0, 10, 10, 10, 4, 4)});
    ASSERT_EQ(alone.size(), 1u);
    EXPECT_EQ(alone[0].size(), 16u);
}

TEST(ShapeOutline, BorderQueries) {
    // A predefined process is a plain rectangle outline.
    const ShapeKind box = ShapeKind::predefinedProcess;
    EXPECT_EQ(getShapeOutlinePolygon(box, 100, 50),
              (std::vector<Point>{{0, 0}, {100, 0}, {100, 50}, {0, 50}, {0, 0}}));

    struct Near {
        double x, y;
        Point expected;
        double distance;
    };
    const Near nearCases[] = {
        {50, 10, {50, 0}, 10}, {120, 25, {100, 25}, 20}, {-3, -4, {0, 0}, 5},
        {0, 25, {0, 25}, 0},   // on the left edge
        {50, 25, {50, 0}, 25}, // the top edge is the first of the nearest
    };
    for (const Near& c : nearCases) {
        EXPECT_EQ(getShapeNearestBorderPoint(box, 100, 50, c.x, c.y), c.expected);
        EXPECT_EQ(getShapeDistToBoundary(box, 100, 50, c.x, c.y), c.distance);
    }

    struct Toward {
        double dx, dy;
        Point expected;
    };
    const Toward towardCases[] = {
        {1, 0, {100, 25}}, {0, -1, {50, 0}}, {-2, 0, {0, 25}}, {1, 1, {75, 50}},
        {0.0005, -0.0009, {50, 0}},  // too short to have a direction
        {0.002, 0, {100, 25}},
    };
    for (const Toward& c : towardCases) EXPECT_EQ(getShapeBorderPointToward(box, 100, 50, c.dx, c.dy), c.expected);

    // A data shape leans: its right edge runs from (100, 0) to (80, 50).
    EXPECT_EQ(getShapeBorderPointToward(ShapeKind::data, 100, 50, 1, 0), (Point{90, 25}));
    // A zero-size shape has only degenerate edges: the top centre.
    EXPECT_EQ(getShapeBorderPointToward(box, 0, 0, 1, 0), (Point{0, 0}));
    EXPECT_EQ(getShapeNearestBorderPoint(box, 0, 0, 5, 5), (Point{0, 0}));
    EXPECT_EQ(getShapeTextBox(ShapeKind::predefinedProcess, 300, 40), (ShapeBox{16, 0, 268, 40}));
}

TEST(LabelWrapWidth, PerKind) {
    struct Case {
        const char* name;
        LabeledShape shape;
        double width, height, expected;
    };
    const Case cases[] = {
        {"rectangle", {LabeledShape::Rectangle{}, std::nullopt}, 100, 50, 84},
        {"ellipse with a large font", {LabeledShape::Ellipse{}, 40}, 100, 50, 54},
        {"narrow rectangle", {LabeledShape::Rectangle{}, std::nullopt}, 20, 50, 16},
        {"rhombus", {LabeledShape::Rhombus{}, 12}, 200, 50, 124},
        {"flowchart shape uses its text box", {ShapeKind::predefinedProcess, std::nullopt}, 300, 40, 252},
        {"terminator", {ShapeKind::terminator, std::nullopt}, 200, 80, 152},
    };
    for (const Case& c : cases) EXPECT_EQ(getLabelWrapWidth(c.shape, c.width, c.height), c.expected) << c.name;

    Element ellipse = test::rectangle("e", 0, 0, 10, 10);
    ellipse.payload = Element::Payload::ellipse(*ellipse.payload.box());
    ellipse.payload.box()->labelFontSize = 20;
    EXPECT_EQ(LabeledShape::fromElement(ellipse), (LabeledShape{LabeledShape::Ellipse{}, 20}));
    Element::Shape shape;
    shape.kind = ShapeKind::delay;
    EXPECT_EQ(LabeledShape::fromElement(test::element("s", 0, 0, Element::Payload(shape))),
              (LabeledShape{ShapeKind::delay, std::nullopt}));
    EXPECT_FALSE(LabeledShape::fromElement(test::line("l", 0, 0, 1, 1)));
    EXPECT_FALSE(LabeledShape::fromElement(test::stencil("s", 0, 0, 64, 64, "x")));
}

TEST(ShapePathData, Tokens) {
    using SC = ShapeCommand;
    EXPECT_EQ(shapeCommandsToPathData({SC::move(0.123, 1), SC::close()}, 10, 20), "M 10.12 21 Z");
    EXPECT_EQ(shapeCommandsToPathData({SC::line(-0.005, 1e21), SC::cubic(1, 2, 3, 4, 5.557, 6)}, 0, 0),
              "L 0 999999999999999900000 C 1 2 3 4 5.56 6");
    EXPECT_EQ(shapeCommandsToPathData({}, 0, 0), "");
}

TEST(StencilLabel, LinesHeightAndBox) {
    Element icon = test::stencil("s", 100, 50, 64, 64, "Pod");
    const Element::Stencil& s = *icon.payload.stencil();
    EXPECT_EQ(getStencilLabelLines(s), std::vector<std::string>{"Pod"});
    EXPECT_DOUBLE_EQ(getStencilLabelHeight(s), 22.8);
    EXPECT_EQ(getStencilLabelHeight(icon), getStencilLabelHeight(s));
    std::optional<NormalizedRect> box = getStencilLabelBox(icon);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->x, 100);
    EXPECT_EQ(box->y, 114);
    EXPECT_EQ(box->w, 64);
    EXPECT_DOUBLE_EQ(box->h, 22.8);

    // A label wider than the stencil is centred under it; words are never broken.
    Element wide = test::stencil("w", 0, 0, -64, -64, "Supercalifragilisticexpialidocious-and-more-beyond-the-width");
    std::optional<NormalizedRect> wideBox = getStencilLabelBox(wide);
    ASSERT_TRUE(wideBox);
    EXPECT_EQ(getStencilLabelLines(*wide.payload.stencil()).size(), 1u);
    EXPECT_GT(wideBox->w, 180);
    EXPECT_EQ(wideBox->x, (32 + -64.0) - wideBox->w * 0.5);
    EXPECT_EQ(wideBox->y, 0);

    // At font size 20 three "aaaa" words (144.56) fit in 180 and four (194.6) do not.
    Element twoLines = test::stencil("t", 0, 0, 64, 64, "aaaa aaaa aaaa aaaa aaaa aaaa");
    twoLines.payload.stencil()->labelFontSize = 20;
    EXPECT_EQ(getStencilLabelLines(*twoLines.payload.stencil()),
              (std::vector<std::string>{"aaaa aaaa aaaa", "aaaa aaaa aaaa"}));
    EXPECT_DOUBLE_EQ(getStencilLabelHeight(twoLines), 2 * 20 * 1.2 + 6);

    for (std::optional<std::string> label : {std::optional<std::string>(), std::optional<std::string>("")}) {
        Element bare = test::stencil("b", 0, 0, 64, 64, label);
        EXPECT_TRUE(getStencilLabelLines(*bare.payload.stencil()).empty());
        EXPECT_EQ(getStencilLabelHeight(bare), 0);
        EXPECT_FALSE(getStencilLabelBox(bare));
    }
    EXPECT_EQ(getStencilLabelHeight(test::rectangle("r", 0, 0, 1, 1)), 0);
    EXPECT_FALSE(getStencilLabelBox(test::rectangle("r", 0, 0, 1, 1)));
}

} // namespace
} // namespace dv
