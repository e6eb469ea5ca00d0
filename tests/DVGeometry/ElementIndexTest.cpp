#include "DVGeometry/ElementIndex.hpp"

#include "TestElements.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace dv {
namespace {

TEST(ElementIndex, FirstPositionWins) {
    ElementIndex index({test::rectangle("a", 1, 0, 1, 1), test::rectangle("b", 2, 0, 1, 1),
                        test::rectangle("a", 3, 0, 1, 1), test::rectangle("", 4, 0, 1, 1)});
    EXPECT_EQ(index.firstPosition("a"), 0u);
    EXPECT_EQ(index.firstPosition("b"), 1u);
    EXPECT_EQ(index.firstPosition("c"), std::nullopt);
    ASSERT_TRUE(index.element("a"));
    EXPECT_EQ(index.element("a")->x, 1);
    EXPECT_EQ(index.elements()[2].x, 3);
    // Ids compare by code units: a precomposed e-acute is not e + combining acute.
    EXPECT_EQ(ElementIndex({test::rectangle("\xC3\xA9", 0, 0, 1, 1)}).element("e\xCC\x81"), nullptr);

    // The empty id is an id for lookups, but binds nothing.
    ASSERT_TRUE(index.element(""));
    EXPECT_EQ(index.element("")->x, 4);
    EXPECT_EQ(index.boundElement(std::string()), nullptr);
    EXPECT_EQ(index.boundElement(std::nullopt), nullptr);
    ASSERT_TRUE(index.boundElement(std::string("b")));
    EXPECT_EQ(index.boundElement(std::string("b"))->x, 2);
}

TEST(ElementIndex, ReplacingElementsKeepsPositions) {
    ElementIndex index({test::rectangle("a", 0, 0, 1, 1), test::rectangle("b", 0, 0, 1, 1)});
    std::optional<ElementIndex> moved =
        index.replacingElements({test::rectangle("a", 7, 0, 1, 1), test::rectangle("b", 8, 0, 1, 1)});
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->element("b")->x, 8);
    EXPECT_EQ(moved->positions(), index.positions());
    // Another length would leave positions pointing past the list.
    EXPECT_FALSE(index.replacingElements({test::rectangle("a", 0, 0, 1, 1)}));
    EXPECT_FALSE(index.replacingElements({}));
}

TEST(ConnectorEnds, OnlyLinesAndArrows) {
    Element arrow = test::arrow("a", 1, 2, 3, 4);
    ConnectorFields& c = *arrow.payload.connector();
    c.startElementId = "s";
    c.endAnchor = ConnectorAnchor{0, 0.5, {}};
    std::optional<ConnectorEnds> ends = connectorEnds(arrow);
    ASSERT_TRUE(ends);
    EXPECT_EQ(*ends, (ConnectorEnds{1, 2, 3, 4, "s", std::nullopt, std::nullopt, ConnectorAnchor{0, 0.5, {}},
                                    std::nullopt}));
    EXPECT_FALSE(ends->isElbow());
    c.routing = ConnectorRouting::straight;
    EXPECT_FALSE(connectorEnds(arrow)->isElbow());
    c.routing = ConnectorRouting::elbow;
    EXPECT_TRUE(connectorEnds(arrow)->isElbow());
    EXPECT_TRUE(connectorEnds(test::line("l", 0, 0, 1, 1)));

    Element curve = test::element("c", 0, 0, Element::Payload(Element::Curve{1, 2, 3, 4}));
    Element::Text text;
    EXPECT_FALSE(connectorEnds(curve));
    EXPECT_FALSE(connectorEnds(test::rectangle("r", 0, 0, 1, 1)));
    EXPECT_FALSE(connectorEnds(test::element("t", 0, 0, Element::Payload(text))));
}

TEST(NormalizeRect, SignsAndNaN) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(normalizeRect(10, 10, -4, 5), (NormalizedRect{6, 10, 4, 5}));
    EXPECT_EQ(normalizeRect(10, 10, 4, -5), (NormalizedRect{10, 5, 4, 5}));
    NormalizedRect negativeZero = normalizeRect(10, 10, -0.0, -0.0);
    EXPECT_EQ(negativeZero.x, 10);
    EXPECT_FALSE(std::signbit(negativeZero.w));
    EXPECT_FALSE(std::signbit(negativeZero.h));
    NormalizedRect notANumber = normalizeRect(10, 10, nan, 5);
    EXPECT_EQ(notANumber.x, 10);
    EXPECT_TRUE(std::isnan(notANumber.w));
}

} // namespace
} // namespace dv
