#include "DVModel/ShapeDefinition.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace dv {
namespace {

using C = ShapeCommand;
constexpr double K = 0.5523;

std::vector<C> outline(ShapeKind kind, double w, double h) { return definition(kind).outline(w, h); }
ShapeBox textBox(ShapeKind kind, double w, double h) { return definition(kind).textBox(w, h); }

TEST(ShapeDefinition, EveryOutlineIsOneClosedSubPath) {
    for (ShapeKind kind : allCases<ShapeKind>()) {
        SCOPED_TRACE(std::string(toWord(kind)));
        const auto commands = outline(kind, 120, 80);
        ASSERT_GE(commands.size(), 5u);
        ASSERT_LE(commands.size(), 8u);
        EXPECT_TRUE(std::holds_alternative<C::Move>(commands.front().command));
        EXPECT_EQ(commands.back(), C::close());
        const bool hasDetails = kind == ShapeKind::database || kind == ShapeKind::predefinedProcess;
        EXPECT_EQ(definition(kind).details != nullptr, hasDetails);
    }
    EXPECT_EQ(&ShapeDefinition::shapeDefinitions()[3], &definition(ShapeKind::database));
}

TEST(ShapeDefinition, Terminator) {
    const auto c = outline(ShapeKind::terminator, 200, 80);  // r = 40
    EXPECT_EQ(c[0], C::move(40, 0));
    EXPECT_EQ(c[1], C::line(160, 0));
    EXPECT_EQ(c[2], C::cubic(160 + (200 - 160) * K, 0 + (0 - 0) * K, 200 + (200 - 200) * K, 40 + (0 - 40) * K, 200, 40));
    EXPECT_EQ(std::get<C::Cubic>(c[2].command).x1, 160 + 40 * 0.5523);
    EXPECT_EQ(textBox(ShapeKind::terminator, 200, 80), (ShapeBox{16, 0, 168, 80}));

    // taller than wide: r = 20, straight edges of zero length, an ellipse of radii 20 and 50
    const auto tall = outline(ShapeKind::terminator, 40, 100);
    EXPECT_EQ(tall[0], C::move(20, 0));
    EXPECT_EQ(tall[1], C::line(20, 0));
    EXPECT_EQ(tall[4], C::line(20, 100));
    EXPECT_EQ(std::get<C::Cubic>(tall[2].command).x, 40);
    EXPECT_EQ(std::get<C::Cubic>(tall[2].command).y, 50);
}

TEST(ShapeDefinition, SlantsAndInsets) {
    EXPECT_EQ(outline(ShapeKind::data, 100, 100)[0], C::move(20, 0));  // 0.2 W wins
    EXPECT_EQ(outline(ShapeKind::data, 100, 20)[0], C::move(10, 0));   // 0.5 H wins
    EXPECT_EQ(textBox(ShapeKind::data, 100, 100), (ShapeBox{20, 0, 60, 100}));

    const auto wide = definition(ShapeKind::predefinedProcess).details(300, 50);
    EXPECT_EQ(wide, (std::vector<C>{C::move(16, 0), C::line(16, 50), C::move(284, 0), C::line(284, 50)}));
    EXPECT_EQ(textBox(ShapeKind::predefinedProcess, 300, 50), (ShapeBox{16, 0, 268, 50}));
    EXPECT_EQ(definition(ShapeKind::predefinedProcess).details(100, 50)[0], C::move(10, 0));

    EXPECT_EQ(outline(ShapeKind::manualInput, 100, 40)[0], C::move(0, 10));
    EXPECT_EQ(textBox(ShapeKind::manualInput, 100, 40), (ShapeBox{0, 10, 100, 30}));
    EXPECT_EQ(textBox(ShapeKind::preparation, 100, 100), (ShapeBox{0.6 * 20, 0, 20 * (-1.2) + 100, 100}));
    EXPECT_EQ(textBox(ShapeKind::delay, 100, 60), (ShapeBox{0, 0, 30 * (-0.4) + 100, 60}));
}

TEST(ShapeDefinition, Database) {
    const auto c = outline(ShapeKind::database, 100, 200);  // e = 25 (0.25 W wins)
    EXPECT_EQ(c[0], C::move(0, 25));
    EXPECT_EQ(c[3], C::line(100, 175));
    EXPECT_EQ(textBox(ShapeKind::database, 100, 200), (ShapeBox{0, 50, 100, 125}));

    const double e = 0.15 * 10;  // 1.5
    EXPECT_EQ(textBox(ShapeKind::database, 100, 10), (ShapeBox{0, e + e, 100, e * (-3) + 10}));
    EXPECT_EQ(textBox(ShapeKind::database, 100, 10).h, 5.5);
    EXPECT_EQ(textBox(ShapeKind::database, 100, -10).h, 0);  // never negative

    const auto rim = definition(ShapeKind::database).details(100, 200);
    ASSERT_EQ(rim.size(), 3u);
    EXPECT_EQ(rim[0], C::move(0, 25));
    EXPECT_EQ(rim[1], C::cubic(0 + (0 - 0) * K, 25 + (50 - 25) * K, 50 + (0 - 50) * K, 50 + (50 - 50) * K, 50, 50));
}

TEST(ShapeDefinition, Document) {
    const auto c = outline(ShapeKind::document, 100, 100);
    EXPECT_EQ(c[2], C::line(100, 90));
    EXPECT_EQ(c[3], C::cubic(200.0 / 3, 72, 100.0 / 3, 108, 0, 90));
    EXPECT_EQ(textBox(ShapeKind::document, 100, 100).h, 82);
}

TEST(ShapeDefinition, NaNSizesPropagate) {
    EXPECT_TRUE(std::isnan(textBox(ShapeKind::terminator, std::nan(""), 10).x));
    EXPECT_TRUE(std::isnan(textBox(ShapeKind::data, 10, std::nan("")).w));
}

TEST(ShapeCommand, JsonFormsEqualityAndHashing) {
    using A = JSONValue::Array;
    EXPECT_EQ(C::close().jsonValue(), JSONValue(A{"Z"}));
    EXPECT_EQ(C::move(1, 2).jsonValue(), JSONValue(A{"M", 1, 2}));
    EXPECT_EQ(C::line(3, 4).jsonValue(), JSONValue(A{"L", 3, 4}));
    EXPECT_EQ(C::cubic(1, 2, 3, 4, 5, 6).jsonValue(), JSONValue(A{"C", 1, 2, 3, 4, 5, 6}));

    const C plus = C::cubic(0.0, 1, 2, 3, 4, 5);
    const C minus = C::cubic(-0.0, 1, 2, 3, 4, 5);
    EXPECT_EQ(plus, minus);
    EXPECT_EQ(std::hash<C>{}(plus), std::hash<C>{}(minus));
    EXPECT_NE(C::move(1, 2), C::line(1, 2));
    EXPECT_NE(C::move(std::nan(""), 0), C::move(std::nan(""), 0));
    EXPECT_EQ(std::hash<ShapeBox>{}(ShapeBox{-0.0, 1, 2, 3}), std::hash<ShapeBox>{}(ShapeBox{0.0, 1, 2, 3}));
}

}  // namespace
}  // namespace dv
