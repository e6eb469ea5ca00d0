#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <unordered_set>
#include <vector>

#include "DVRender/Canvas/PathBuilder.hpp"
#include "DVRender/Images/BundledIconPacks.hpp"
#include "DVRender/Images/RenderImage.hpp"

namespace dv {
namespace {

using Op = PathOp;
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();
const double PI = 3.141592653589793;
const double HALF_PI = 1.5707963267948966;
const double TWO_PI = 6.283185307179586;

struct Recorder {
    std::vector<PathOp> ops;
    void operator()(const PathOp& op) { ops.push_back(op); }
};

std::vector<PathOp> run(PathBuilder& builder, const std::function<void(PathBuilder&, Recorder&)>& f) {
    Recorder recorder;
    f(builder, recorder);
    return recorder.ops;
}

// Compares ops with a tolerance, for results that pass through trigonometry.
void expectNear(const std::vector<PathOp>& actual, const std::vector<PathOp>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE("op " + std::to_string(i));
        ASSERT_EQ(actual[i].value.index(), expected[i].value.index());
        std::visit(
            [&](const auto& a) {
                using T = std::decay_t<decltype(a)>;
                const T& e = std::get<T>(expected[i].value);
                auto near = [](double x, double y) { EXPECT_NEAR(x, y, 1e-12); };
                if constexpr (std::is_same_v<T, Op::MoveTo> || std::is_same_v<T, Op::LineTo>) {
                    near(a.x, e.x);
                    near(a.y, e.y);
                } else if constexpr (std::is_same_v<T, Op::Arc>) {
                    near(a.x, e.x);
                    near(a.y, e.y);
                    near(a.radius, e.radius);
                    near(a.startAngle, e.startAngle);
                    near(a.endAngle, e.endAngle);
                    EXPECT_EQ(a.anticlockwise, e.anticlockwise);
                } else {
                    EXPECT_EQ(a, e);
                }
            },
            actual[i].value);
    }
}

TEST(PathBuilder, ArcSweep) {
    const struct {
        double start, end;
        bool anticlockwise;
        double expected;
    } rows[] = {
        {0, TWO_PI, false, TWO_PI},
        {0, 3 * PI, false, TWO_PI},
        {0, -HALF_PI, false, 3 * HALF_PI},
        {0, HALF_PI, true, -3 * HALF_PI},
        {1, 1, true, -0.0},
        {1, 1, false, 0.0},
        {0, -TWO_PI, true, -TWO_PI},
        {0, -5 * PI, true, -TWO_PI},
        {0, HALF_PI, false, HALF_PI},
        {HALF_PI, 0, true, -HALF_PI},
        // The difference overflows: both angles are reduced first.
        {-1.5e308, 1.5e308, false, std::fmod(std::fmod(std::fmod(1.5e308, TWO_PI) - std::fmod(-1.5e308, TWO_PI), TWO_PI) + TWO_PI, TWO_PI)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.start) + " " + std::to_string(row.end));
        double sweep = PathBuilder::arcSweep(row.start, row.end, row.anticlockwise);
        EXPECT_NEAR(sweep, row.expected, 1e-15);
        EXPECT_EQ(std::signbit(sweep), std::signbit(row.expected));
    }
    EXPECT_EQ(PathBuilder::arcSweep(0, TWO_PI, false), TWO_PI);   // exactly a full turn
    EXPECT_TRUE(std::isnan(PathBuilder::arcSweep(0, inf, false)));
}

TEST(PathBuilder, SimpleCommands) {
    const struct {
        const char* name;
        std::function<void(PathBuilder&, Recorder&)> commands;
        std::vector<PathOp> ops;
        std::optional<Point> current, subpathStart;
    } rows[] = {
        {"lineTo without a current point moves",
         [](PathBuilder& b, Recorder& r) { b.lineTo(5, 5, r); },
         {Op::MoveTo{5, 5}}, Point{5, 5}, Point{5, 5}},
        {"closePath returns to the subpath start",
         [](PathBuilder& b, Recorder& r) { b.lineTo(5, 5, r); b.lineTo(9, 9, r); b.closePath(r); },
         {Op::MoveTo{5, 5}, Op::LineTo{9, 9}, Op::ClosePath{}}, Point{5, 5}, Point{5, 5}},
        {"closePath on an empty path keeps no point",
         [](PathBuilder& b, Recorder& r) { b.closePath(r); },
         {Op::ClosePath{}}, std::nullopt, std::nullopt},
        {"non-finite points are dropped",
         [](PathBuilder& b, Recorder& r) {
             b.moveTo(NaN, 0, r); b.lineTo(0, inf, r); b.quadraticCurveTo(1, 2, NaN, 4, r);
             b.bezierCurveTo(1, 2, 3, 4, 5, -inf, r); b.rect(0, 0, NaN, 1, r);
             b.arc(0, 0, 1, 0, NaN, false, r);
         },
         {}, std::nullopt, std::nullopt},
        {"curves without a current point start at their first control point",
         [](PathBuilder& b, Recorder& r) { b.quadraticCurveTo(1, 2, 3, 4, r); },
         {Op::MoveTo{1, 2}, Op::QuadraticCurveTo{1, 2, 3, 4}}, Point{3, 4}, Point{1, 2}},
        {"bezier without a current point",
         [](PathBuilder& b, Recorder& r) { b.bezierCurveTo(1, 2, 3, 4, 5, 6, r); },
         {Op::MoveTo{1, 2}, Op::BezierCurveTo{1, 2, 3, 4, 5, 6}}, Point{5, 6}, Point{1, 2}},
        {"bezier continues from the current point",
         [](PathBuilder& b, Recorder& r) { b.moveTo(0, 0, r); b.bezierCurveTo(1, 2, 3, 4, 5, 6, r); },
         {Op::MoveTo{0, 0}, Op::BezierCurveTo{1, 2, 3, 4, 5, 6}}, Point{5, 6}, Point{0, 0}},
        {"rect sets both points to its corner",
         [](PathBuilder& b, Recorder& r) { b.moveTo(7, 7, r); b.rect(0, 0, 10, 10, r); },
         {Op::MoveTo{7, 7}, Op::Rect{0, 0, 10, 10}}, Point{0, 0}, Point{0, 0}},
        {"beginPath forgets both points",
         [](PathBuilder& b, Recorder& r) { b.moveTo(1, 1, r); b.beginPath(r); },
         {Op::MoveTo{1, 1}, Op::BeginPath{}}, std::nullopt, std::nullopt},
        {"negative arc radius is dropped, zero radius is kept",
         [](PathBuilder& b, Recorder& r) { b.arc(0, 0, -1, 0, 1, false, r); b.arc(0, 0, 0, 0, 1, false, r); },
         {Op::Arc{0, 0, 0, 0, 1, false}}, Point{0, 0}, Point{0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PathBuilder builder;
        EXPECT_EQ(run(builder, row.commands), row.ops);
        EXPECT_EQ(builder.current, row.current);
        EXPECT_EQ(builder.subpathStart, row.subpathStart);
    }
}

TEST(PathBuilder, ArcMovesTheCurrentPointToItsEnd) {
    PathBuilder builder;
    auto ops = run(builder, [](PathBuilder& b, Recorder& r) { b.arc(0, 0, 10, 0, PI, false, r); });
    EXPECT_EQ(ops, (std::vector<PathOp>{Op::Arc{0, 0, 10, 0, PI, false}}));
    EXPECT_EQ(builder.subpathStart, (Point{10, 0}));
    EXPECT_NEAR(builder.current->x, -10, 1e-12);
    EXPECT_NEAR(builder.current->y, 0, 1e-12);

    // With a current point the subpath start stays where it was.
    PathBuilder continued;
    run(continued, [](PathBuilder& b, Recorder& r) { b.moveTo(3, 3, r); b.arc(0, 0, 10, 0, HALF_PI, true, r); });
    EXPECT_EQ(continued.subpathStart, (Point{3, 3}));
    EXPECT_NEAR(continued.current->x, 0, 1e-12);
    EXPECT_NEAR(continued.current->y, 10, 1e-12);
}

TEST(PathBuilder, EllipseSegments) {
    const struct {
        const char* name;
        double start, end;
        bool anticlockwise, moveFirst;
        std::size_t curves;
    } rows[] = {
        {"full turn", 0, TWO_PI, false, false, 4},
        {"quarter turn", 0, HALF_PI, false, false, 1},
        {"a little more than a quarter", 0, HALF_PI + 0.01, false, false, 2},
        {"zero sweep", 1, 1, false, false, 0},
        {"anticlockwise three quarters", 0, HALF_PI, true, false, 3},
        {"after a move it starts with a line", 0, PI, false, true, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PathBuilder builder;
        Recorder r;
        if (row.moveFirst) builder.moveTo(-50, -50, r);
        builder.ellipse(0, 0, 20, 10, 0, row.start, row.end, row.anticlockwise, r);
        std::size_t first = row.moveFirst ? 1 : 0;
        ASSERT_EQ(r.ops.size(), first + 1 + row.curves);
        if (row.moveFirst) {
            EXPECT_TRUE(std::holds_alternative<Op::LineTo>(r.ops[first].value));
        } else {
            EXPECT_TRUE(std::holds_alternative<Op::MoveTo>(r.ops[first].value));
        }
        for (std::size_t i = first + 1; i < r.ops.size(); ++i)
            EXPECT_TRUE(std::holds_alternative<Op::BezierCurveTo>(r.ops[i].value));
    }
}

TEST(PathBuilder, EllipseQuarterGeometry) {
    // A quarter of the circle of radius 10 rotated by a quarter turn: from (0, 10) to (-10, 0),
    // control points at k = 4/3 * tan(pi/8) of the radius along the tangents.
    PathBuilder builder;
    Recorder r;
    builder.ellipse(0, 0, 10, 10, HALF_PI, 0, HALF_PI, false, r);
    double k = 1.3333333333333333 * std::tan(HALF_PI / 4) * 10;
    ASSERT_EQ(r.ops.size(), 2u);
    auto move = std::get<Op::MoveTo>(r.ops[0].value);
    EXPECT_NEAR(move.x, 0, 1e-12);
    EXPECT_NEAR(move.y, 10, 1e-12);
    auto curve = std::get<Op::BezierCurveTo>(r.ops[1].value);
    EXPECT_NEAR(curve.cp1x, -k, 1e-12);
    EXPECT_NEAR(curve.cp1y, 10, 1e-12);
    EXPECT_NEAR(curve.cp2x, -10, 1e-12);
    EXPECT_NEAR(curve.cp2y, k, 1e-12);
    EXPECT_NEAR(curve.x, -10, 1e-12);
    EXPECT_NEAR(curve.y, 0, 1e-12);
    EXPECT_NEAR(builder.current->x, -10, 1e-12);
    EXPECT_EQ(builder.subpathStart, (Point{move.x, move.y}));
}

TEST(PathBuilder, EllipseRefusals) {
    PathBuilder builder;
    Recorder r;
    builder.ellipse(0, 0, -1, 1, 0, 0, 1, false, r);
    builder.ellipse(0, 0, 1, -1, 0, 0, 1, false, r);
    builder.ellipse(0, 0, 1, 1, NaN, 0, 1, false, r);
    builder.ellipse(0, 0, 1, 1, 0, 0, inf, false, r);
    // Points that overflow: nothing at all is drawn, not a curve with infinite numbers.
    builder.ellipse(1e308, 0, 1e308, 1, 0, 0, 6.283185307179586, false, r);   // at the start
    builder.ellipse(1e308, 0, 1e308, 1, 0, PI, 3 * PI, false, r);              // half way round
    EXPECT_TRUE(r.ops.empty());
    EXPECT_EQ(builder, PathBuilder{});
    // Also when a current point exists: no line to the start either.
    builder.moveTo(1, 1, r);
    builder.ellipse(1e308, 0, 1e308, 1, 0, PI, 3 * PI, false, r);
    EXPECT_EQ(r.ops, (std::vector<PathOp>{Op::MoveTo{1, 1}}));
    EXPECT_EQ(builder.current, (Point{1, 1}));
}

TEST(PathBuilder, ArcToCorner) {
    PathBuilder builder;
    auto ops = run(builder, [](PathBuilder& b, Recorder& r) { b.moveTo(0, 0, r); b.arcTo(10, 0, 10, 10, 5, r); });
    expectNear(ops, {Op::MoveTo{0, 0}, Op::LineTo{5, 0}, Op::Arc{5, 5, 5, -HALF_PI, 0, false}});
    EXPECT_NEAR(builder.current->x, 10, 1e-12);
    EXPECT_NEAR(builder.current->y, 5, 1e-12);

    // Turning the other way sweeps anticlockwise.
    PathBuilder other;
    ops = run(other, [](PathBuilder& b, Recorder& r) { b.moveTo(0, 0, r); b.arcTo(10, 0, 10, -10, 5, r); });
    expectNear(ops, {Op::MoveTo{0, 0}, Op::LineTo{5, 0}, Op::Arc{5, -5, 5, HALF_PI, 0, true}});
}

TEST(PathBuilder, ArcToDegenerateCasesDrawALine) {
    const struct {
        const char* name;
        double x0, y0, x1, y1, x2, y2, r;
    } rows[] = {
        {"current point equals the corner", 10, 0, 10, 0, 10, 10, 5},
        {"corner equals the end", 0, 0, 10, 0, 10, 0, 5},
        {"radius zero", 0, 0, 10, 0, 10, 10, 0},
        {"radius minus zero", 0, 0, 10, 0, 10, 10, -0.0},
        {"collinear points", 0, 0, 10, 0, 20, 0, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PathBuilder builder;
        Recorder r;
        builder.moveTo(row.x0, row.y0, r);
        builder.arcTo(row.x1, row.y1, row.x2, row.y2, row.r, r);
        ASSERT_EQ(r.ops.size(), 2u);
        EXPECT_EQ(r.ops[1], PathOp(Op::LineTo{row.x1, row.y1}));
    }
    // Without a current point: a move to the corner, then the line of the degenerate case.
    PathBuilder empty;
    EXPECT_EQ(run(empty, [](PathBuilder& b, Recorder& r) { b.arcTo(10, 0, 10, 10, 5, r); }),
              (std::vector<PathOp>{Op::MoveTo{10, 0}, Op::LineTo{10, 0}}));
    // Refused input.
    PathBuilder refused;
    EXPECT_TRUE(run(refused, [](PathBuilder& b, Recorder& r) {
                    b.arcTo(10, 0, 10, 10, -1, r);
                    b.arcTo(10, 0, NaN, 10, 1, r);
                    b.arcTo(10, 0, 10, 10, inf, r);
                }).empty());
}

TEST(PathBuilder, RoundRect) {
    // Radius 40 on a 100 x 50 rectangle is limited to half the height: 25.
    PathBuilder builder;
    auto ops = run(builder, [](PathBuilder& b, Recorder& r) { b.roundRect(0, 0, 100, 50, 40, r); });
    std::vector<PathOp> expected{
        Op::MoveTo{25, 0},
        Op::LineTo{75, 0},
        Op::Arc{75, 25, 25, -HALF_PI, 0, false},
        Op::LineTo{100, 25},
        Op::Arc{75, 25, 25, 0, HALF_PI, false},
        Op::LineTo{25, 50},
        Op::Arc{25, 25, 25, HALF_PI, PI, false},
        Op::LineTo{0, 25},
        Op::Arc{25, 25, 25, PI, 4.71238898038469, false},
        Op::ClosePath{},
        Op::MoveTo{0, 0},
    };
    EXPECT_EQ(ops, expected);
    EXPECT_EQ(builder.current, (Point{0, 0}));
    EXPECT_EQ(builder.subpathStart, (Point{0, 0}));
}

TEST(PathBuilder, RoundRectRadii) {
    const struct {
        const char* name;
        double w, h, radius;
        std::size_t arcs;
        double cornerRadius;
    } rows[] = {
        {"radius zero keeps zero-radius corners", 10, 10, 0, 4, 0},
        {"radius limited by half the width", 20, 100, 15, 4, 10},
        {"small radius is kept", 100, 100, 5, 4, 5},
        {"a negative width gives a negative corner radius and no arcs", -20, 100, 15, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PathBuilder builder;
        Recorder r;
        builder.roundRect(0, 0, row.w, row.h, row.radius, r);
        std::size_t arcs = 0;
        for (const auto& op : r.ops) {
            if (auto* arc = std::get_if<Op::Arc>(&op.value)) {
                ++arcs;
                EXPECT_EQ(arc->radius, row.cornerRadius);
            }
        }
        EXPECT_EQ(arcs, row.arcs);
        EXPECT_EQ(r.ops.back(), PathOp(Op::MoveTo{0, 0}));
    }
    PathBuilder refused;
    Recorder r;
    refused.roundRect(0, 0, 10, 10, -1, r);
    refused.roundRect(0, 0, 10, 10, NaN, r);
    refused.roundRect(0, NaN, 10, 10, 1, r);
    EXPECT_TRUE(r.ops.empty());
}

TEST(PathBuilder, EqualOpsHashEqual) {
    PathOp a = Op::Arc{0, 0, 1, 0.0, 1, false};
    PathOp b = Op::Arc{0, 0, 1, -0.0, 1, false};
    EXPECT_EQ(a, b);
    EXPECT_EQ(hashValue(a), hashValue(b));
    EXPECT_NE(PathOp(Op::MoveTo{1, 2}), PathOp(Op::LineTo{1, 2}));
}

} // namespace
} // namespace dv

// Path operations, bundled icons and image state keys go into hash sets: equal ones hash alike.
TEST(RecordHashInRender, EqualRecordsShareOneSetEntry) {
    std::unordered_set<dv::PathOp> ops{dv::PathOp{dv::PathOp::MoveTo{0.0, 1}}, dv::PathOp{dv::PathOp::MoveTo{-0.0, 1}},
                                       dv::PathOp{dv::PathOp::LineTo{0.0, 1}}};
    EXPECT_EQ(ops.size(), 2u);
    std::unordered_set<dv::BundledIcon> icons{{"a", "b", "c", "d", "e"}, {"a", "b", "c", "d", "e"},
                                              {"a", "b", "c", "d", "f"}};
    EXPECT_EQ(icons.size(), 2u);
    using Key = dv::ImageStateKey;
    std::unordered_set<Key> keys{{Key::Kind::loaded, 7}, {Key::Kind::loaded, 7}, {Key::Kind::failed, 7}};
    EXPECT_EQ(keys.size(), 2u);
}
