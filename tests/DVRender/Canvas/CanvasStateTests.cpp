#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "DVIO/JSONWriter.hpp"
#include "DVModel/JSONValue.hpp"
#include "DVRender/Canvas/CanvasState.hpp"

namespace dv {
namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

using P = CanvasProperty;

struct Acceptance {
    const char* name;
    CanvasProperty property;
    bool accepted;
};

// Reads the field a property writes, as text, so one table covers every case.
std::string fieldOf(const CanvasState& s, CanvasProperty::Kind kind) {
    using K = CanvasProperty::Kind;
    switch (kind) {
    case K::fillStyle: return s.fillStyle;
    case K::strokeStyle: return s.strokeStyle;
    case K::lineWidth: return std::to_string(s.lineWidth);
    case K::globalAlpha: return std::to_string(s.globalAlpha);
    case K::lineCap: return s.lineCap;
    case K::lineJoin: return s.lineJoin;
    case K::shadowBlur: return std::to_string(s.shadowBlur);
    case K::shadowColor: return s.shadowColor;
    case K::shadowOffsetX: return std::to_string(s.shadowOffsetX);
    case K::shadowOffsetY: return std::to_string(s.shadowOffsetY);
    case K::font: return s.font;
    case K::textAlign: return s.textAlign;
    case K::textBaseline: return s.textBaseline;
    }
    return {};
}

TEST(CanvasState, Defaults) {
    CanvasState s;
    EXPECT_EQ(s.fillStyle, "#000000");
    EXPECT_EQ(s.strokeStyle, "#000000");
    EXPECT_EQ(s.lineWidth, 1);
    EXPECT_EQ(s.globalAlpha, 1);
    EXPECT_EQ(s.lineCap, "butt");
    EXPECT_EQ(s.lineJoin, "miter");
    EXPECT_TRUE(s.lineDash.empty());
    EXPECT_EQ(s.shadowBlur, 0);
    EXPECT_EQ(s.shadowColor, "rgba(0, 0, 0, 0)");
    EXPECT_EQ(s.shadowOffsetX, 0);
    EXPECT_EQ(s.shadowOffsetY, 0);
    EXPECT_EQ(s.font, "10px sans-serif");
    EXPECT_EQ(s.textAlign, "start");
    EXPECT_EQ(s.textBaseline, "alphabetic");
    EXPECT_EQ(s.transform, (CanvasMatrix{1, 0, 0, 1, 0, 0}));
}

TEST(CanvasState, JSONForm) {
    EXPECT_EQ(JSONWriter::stringify(CanvasState().jsonValue(), std::nullopt, false),
              R"j({"fillStyle":"#000000","strokeStyle":"#000000","lineWidth":1,"globalAlpha":1,)j"
              R"j("lineCap":"butt","lineJoin":"miter","lineDash":[],"shadowBlur":0,)j"
              R"j("shadowColor":"rgba(0, 0, 0, 0)","shadowOffsetX":0,"shadowOffsetY":0,)j"
              R"j("font":"10px sans-serif","textAlign":"start","textBaseline":"alphabetic",)j"
              R"j("transform":[1,0,0,1,0,0]})j");
    CanvasState changed;
    changed.apply(P::lineWidth(2.5));
    changed.setLineDash({1, 2});
    changed.apply(P::textAlign("center"));
    changed.concatenate({2, 0, 0, 2, -3, 0.5});
    EXPECT_EQ(JSONWriter::stringify(changed.jsonValue(), std::nullopt, false),
              R"j({"fillStyle":"#000000","strokeStyle":"#000000","lineWidth":2.5,"globalAlpha":1,)j"
              R"j("lineCap":"butt","lineJoin":"miter","lineDash":[1,2],"shadowBlur":0,)j"
              R"j("shadowColor":"rgba(0, 0, 0, 0)","shadowOffsetX":0,"shadowOffsetY":0,)j"
              R"j("font":"10px sans-serif","textAlign":"center","textBaseline":"alphabetic",)j"
              R"j("transform":[2,0,0,2,-3,0.5]})j");
}

TEST(CanvasState, AcceptanceTable) {
    const Acceptance rows[] = {
        {"any colour text", P::fillStyle("not a colour"), true},
        {"empty colour text", P::strokeStyle(""), true},
        {"shadow colour", P::shadowColor("#fff"), true},
        {"line width 0.5", P::lineWidth(0.5), true},
        {"line width 0", P::lineWidth(0), false},
        {"line width -1", P::lineWidth(-1), false},
        {"line width NaN", P::lineWidth(NaN), false},
        {"line width infinite", P::lineWidth(inf), false},
        {"alpha 0", P::globalAlpha(0), true},
        {"alpha 0.5", P::globalAlpha(0.5), true},
        {"alpha 1.0000001", P::globalAlpha(1.0000001), false},
        {"alpha -0.1", P::globalAlpha(-0.1), false},
        {"alpha NaN", P::globalAlpha(NaN), false},
        {"blur 0", P::shadowBlur(0), true},
        {"blur 3", P::shadowBlur(3), true},
        {"blur -1", P::shadowBlur(-1), false},
        {"blur infinite", P::shadowBlur(inf), false},
        {"offset x -5", P::shadowOffsetX(-5), true},
        {"offset x NaN", P::shadowOffsetX(NaN), false},
        {"offset y 7", P::shadowOffsetY(7), true},
        {"offset y -infinite", P::shadowOffsetY(-inf), false},
        {"cap round", P::lineCap("round"), true},
        {"cap square", P::lineCap("square"), true},
        {"cap Round", P::lineCap("Round"), false},
        {"cap with a space", P::lineCap("round "), false},
        {"join bevel", P::lineJoin("bevel"), true},
        {"join round", P::lineJoin("round"), true},
        {"join butt", P::lineJoin("butt"), false},
        {"align center", P::textAlign("center"), true},
        {"align end", P::textAlign("end"), true},
        {"align centre", P::textAlign("centre"), false},
        {"baseline middle", P::textBaseline("middle"), true},
        {"baseline hanging", P::textBaseline("hanging"), true},
        {"baseline ideographic", P::textBaseline("ideographic"), true},
        {"baseline Top", P::textBaseline("Top"), false},
        {"font italic bold", P::font("italic bold 12px Arial, sans-serif"), true},
        {"font size 0", P::font("0px x"), true},
        {"font size -0", P::font("-0px x"), true},
        {"font size -1", P::font("-1px x"), false},
        {"font size infinite", P::font("Infinitypx x"), false},
        {"font size alone", P::font("12px"), false},
        {"font in points", P::font("12pt x"), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CanvasState state;
        std::string before = fieldOf(state, row.property.kind);
        state.apply(row.property);
        std::string after = fieldOf(state, row.property.kind);
        if (row.accepted) {
            std::string expected = CanvasProperty::carriesText(row.property.kind)
                                       ? row.property.text
                                       : std::to_string(row.property.number);
            EXPECT_EQ(after, expected);
        } else {
            EXPECT_EQ(after, before);
            EXPECT_EQ(state, CanvasState{});
        }
    }
}

TEST(CanvasState, FontIsStoredAsGiven) {
    CanvasState state;
    state.apply(P::font("bold 12px  Two  Spaces"));
    EXPECT_EQ(state.font, "bold 12px  Two  Spaces");
}

TEST(CanvasState, LineDash) {
    const struct {
        const char* name;
        std::vector<double> segments;
        std::vector<double> stored;
    } rows[] = {
        {"odd list is repeated", {5}, {5, 5}},
        {"three values", {1, 2, 3}, {1, 2, 3, 1, 2, 3}},
        {"even list kept", {4, 2}, {4, 2}},
        {"empty list turns dashing off", {}, {}},
        {"minus zero is accepted", {-0.0, 2}, {-0.0, 2}},
        {"negative refused", {4, -1}, {9, 9}},
        {"NaN refused", {4, NaN}, {9, 9}},
        {"infinity refused", {inf}, {9, 9}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CanvasState state;
        state.setLineDash({9, 9});
        state.setLineDash(row.segments);
        EXPECT_EQ(state.lineDash, row.stored);
    }
}

TEST(CanvasState, TransformComposition) {
    CanvasState state;
    state.concatenate({1, 0, 0, 1, 10, 0});   // translate(10, 0)
    state.concatenate({2, 0, 0, 2, 0, 0});    // scale(2, 2)
    const CanvasMatrix& m = state.transform;
    EXPECT_EQ(m.a * 1 + m.c * 0 + m.e, 12);
    EXPECT_EQ(m.b * 1 + m.d * 0 + m.f, 0);

    // The new matrix applies to coordinates first.
    CanvasMatrix rotate{0, 1, -1, 0, 0, 0};
    CanvasMatrix translate{1, 0, 0, 1, 5, 0};
    EXPECT_EQ(rotate.multiplied(translate), (CanvasMatrix{0, 1, -1, 0, 0, 5}));
    EXPECT_EQ(translate.multiplied(rotate), (CanvasMatrix{0, 1, -1, 0, 5, 0}));

    CanvasState refused = state;
    refused.concatenate({1, 0, 0, 1, NaN, 0});
    refused.concatenate({inf, 0, 0, 1, 0, 0});
    refused.setTransform({1, 0, 0, 1, 0, -inf});
    EXPECT_EQ(refused, state);
    refused.setTransform({3, 0, 0, 3, 1, 1});
    EXPECT_EQ(refused.transform, (CanvasMatrix{3, 0, 0, 3, 1, 1}));
}

TEST(CanvasState, MatrixPredicates) {
    EXPECT_FALSE((CanvasMatrix{1, 2, 2, 4, 0, 0}).isInvertible());
    EXPECT_TRUE(CanvasMatrix::identity().isInvertible());
    EXPECT_TRUE((CanvasMatrix{1e-200, 0, 0, 1e-200, 0, 0}).isInvertible() == false);   // underflows to 0
    EXPECT_TRUE((CanvasMatrix{1e-160, 0, 0, 1e-160, 0, 0}).isInvertible());            // subnormal, not zero
    EXPECT_FALSE((CanvasMatrix{1e200, 0, 0, 1e200, 0, 0}).isInvertible());             // overflows
    EXPECT_FALSE((CanvasMatrix{1, 0, 0, 1, NaN, 0}).isFinite());
    EXPECT_EQ(CanvasMatrix::identity().values(), (std::array<double, 6>{1, 0, 0, 1, 0, 0}));
}

TEST(CanvasState, FillRuleWords) {
    EXPECT_EQ(fillRuleFromWord("nonzero"), FillRule::nonzero);
    EXPECT_EQ(fillRuleFromWord("evenodd"), FillRule::evenodd);
    EXPECT_EQ(fillRuleFromWord("EvenOdd"), std::nullopt);
    EXPECT_EQ(toWord(FillRule::evenodd), "evenodd");
    EXPECT_EQ(toWord(FillRule::nonzero), "nonzero");
}

TEST(CanvasState, EqualityAndHash) {
    CanvasState a;
    CanvasState b;
    b.apply(P::shadowOffsetX(-0.0));
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<CanvasState>{}(a), std::hash<CanvasState>{}(b));
    b.apply(P::shadowOffsetX(1));
    EXPECT_NE(a, b);
    // A transform that overflowed to NaN never equals itself.
    CanvasState nan;
    nan.concatenate({1e308, 0, 0, 1, 0, 0});
    nan.concatenate({10, 0, 0, 1, 0, 0});
    nan.concatenate({0, 0, 0, 1, 0, 0});
    EXPECT_NE(nan, nan);
    EXPECT_EQ(P::lineWidth(2), (CanvasProperty{CanvasProperty::Kind::lineWidth, "ignored", 2}));
    EXPECT_NE(P::fillStyle("a"), P::strokeStyle("a"));
}

} // namespace
} // namespace dv
