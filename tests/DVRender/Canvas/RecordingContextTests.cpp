#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <limits>
#include <string>
#include <vector>

#include "DVIO/JSONWriter.hpp"
#include "DVModel/JSONValue.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "DVText/TextMetrics.hpp"

namespace dv {
namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();
const double PI = 3.141592653589793;

using Op = DisplayOp;
using Array = JSONValue::Array;

std::vector<DisplayOp> record(const std::function<void(DrawingContext&)>& paint) {
    RecordingContext context;
    paint(context);
    return context.displayList().ops();
}

// The state object of the canvas recording, written out field by field.
JSONValue stateJSON(const char* fillStyle, Array dash, Array transform) {
    return JSONValue(JSONObject{
        {"fillStyle", fillStyle},
        {"strokeStyle", "#000000"},
        {"lineWidth", 1},
        {"globalAlpha", 1},
        {"lineCap", "butt"},
        {"lineJoin", "miter"},
        {"lineDash", std::move(dash)},
        {"shadowBlur", 0},
        {"shadowColor", "rgba(0, 0, 0, 0)"},
        {"shadowOffsetX", 0},
        {"shadowOffsetY", 0},
        {"font", "10px sans-serif"},
        {"textAlign", "start"},
        {"textBaseline", "alphabetic"},
        {"transform", std::move(transform)},
    });
}

TEST(RecordingContext, RecordsCallsAsOps) {
    const struct {
        const char* name;
        std::function<void(DrawingContext&)> paint;
        std::vector<DisplayOp> ops;
    } rows[] = {
        {"a refused property is still recorded",
         [](DrawingContext& c) { c.setLineWidth(-1); },
         {Op::Property{CanvasProperty::lineWidth(-1)}}},
        {"restore with nothing saved is recorded",
         [](DrawingContext& c) { c.restore(); },
         {Op::Restore{}}},
        {"a non-finite move records nothing",
         [](DrawingContext& c) { c.moveTo(NaN, 0); c.lineTo(inf, 1); },
         {}},
        {"collinear arcTo records a single line",
         [](DrawingContext& c) { c.moveTo(0, 0); c.arcTo(10, 0, 20, 0, 5); },
         {Op::Path{PathOp::MoveTo{0, 0}}, Op::Path{PathOp::LineTo{10, 0}}}},
        {"the path after fillCircles continues from the last circle",
         [](DrawingContext& c) { c.fillCircles({{10, 20}}, 2); c.lineTo(0, 0); },
         {Op::FillCircles{{{10, 20}}, 2}, Op::Path{PathOp::LineTo{0, 0}}}},
        {"fillCircles with no centres leaves no current point",
         [](DrawingContext& c) { c.moveTo(1, 1); c.fillCircles({}, 2); c.lineTo(0, 0); },
         {Op::Path{PathOp::MoveTo{1, 1}}, Op::FillCircles{{}, 2}, Op::Path{PathOp::MoveTo{0, 0}}}},
        {"fill() and clip() use the nonzero rule; arc with five numbers is clockwise",
         [](DrawingContext& c) { c.fill(); c.clip(); c.arc(0, 0, 1, 0, 1); },
         {Op::Fill{FillRule::nonzero}, Op::Clip{FillRule::nonzero}, Op::Path{PathOp::Arc{0, 0, 1, 0, 1, false}}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<DisplayOp> ops = record(row.paint);
        EXPECT_EQ(ops, row.ops);
    }
}

TEST(RecordingContext, RecordsDrawingAndTransformArgumentsUnchecked) {
    std::vector<DisplayOp> ops = record([](DrawingContext& c) {
        c.fillRect(NaN, 0, -1, inf);
        c.fillText("a", NaN, 1);
        c.scale(NaN, 1);
        c.setTransform(1, 0, 0, 1, inf, 0);
        c.setLineDash({1, 2, 3});
        c.translate(1, 2); c.rotate(0.5); c.resetTransform(); c.save(); c.stroke(); c.strokeRect(1, 2, 3, 4);
    });
    ASSERT_EQ(ops.size(), 11u);
    auto fillRect = std::get<Op::FillRect>(ops[0].value);
    EXPECT_TRUE(std::isnan(fillRect.x));
    EXPECT_EQ(fillRect.height, inf);
    EXPECT_TRUE(std::isnan(std::get<Op::FillText>(ops[1].value).x));
    EXPECT_TRUE(std::isnan(std::get<Op::Scale>(ops[2].value).x));
    EXPECT_EQ(ops[3], DisplayOp(Op::SetTransform{{1, 0, 0, 1, inf, 0}}));
    std::vector<DisplayOp> rest(ops.begin() + 4, ops.end());
    EXPECT_EQ(rest, (std::vector<DisplayOp>{Op::SetLineDash{{1, 2, 3}}, Op::Translate{1, 2}, Op::Rotate{0.5},
                                            Op::ResetTransform{}, Op::Save{}, Op::Stroke{},
                                            Op::StrokeRect{1, 2, 3, 4}}));
}

TEST(RecordingContext, EllipseIsLoweredToCurves) {
    std::vector<DisplayOp> ops = record([](DrawingContext& c) { c.ellipse(0, 0, 10, 5, 0, 0, 2 * PI); });
    ASSERT_EQ(ops.size(), 5u);
    EXPECT_EQ(ops[0], DisplayOp(Op::Path{PathOp::MoveTo{10, 0}}));
    for (std::size_t i = 1; i < ops.size(); ++i) {
        const auto& path = std::get<Op::Path>(ops[i].value);
        EXPECT_TRUE(std::holds_alternative<PathOp::BezierCurveTo>(path.op.value));
    }
}

TEST(RecordingContext, PropertiesGoThroughTheState) {
    RecordingContext c;
    c.setLineWidth(3);
    for (double refused : {0.0, -1.0, NaN}) c.setLineWidth(refused);
    EXPECT_EQ(c.lineWidth(), 3);
    c.setGlobalAlpha(1.5);
    EXPECT_EQ(c.globalAlpha(), 1);
    c.setGlobalAlpha(0);
    EXPECT_EQ(c.globalAlpha(), 0);
    c.setLineWidth(c.lineWidth() + 2);
    EXPECT_EQ(c.lineWidth(), 5);

    c.setFont("bold 20px serif");
    c.setFont("12pt serif");
    EXPECT_EQ(c.font(), "bold 20px serif");
    EXPECT_EQ(c.measureText("Hello"), measureTextWidth("Hello", 20, "serif", true));
    c.setFont("italic 20px serif");
    EXPECT_EQ(c.measureText("Hello"), measureTextWidth("Hello", 20, "serif", false));

    RecordingContext fresh;
    EXPECT_EQ(fresh.measureText("Hello"), measureTextWidth("Hello", 10, "sans-serif", false));
    EXPECT_GT(fresh.measureText("Hello"), 0);

    c.setTransform(2, 0, 0, 2, 1, 1);
    c.setTransform(1, 0, 0, 1, inf, 0);
    EXPECT_EQ(c.state().transform, (CanvasMatrix{2, 0, 0, 2, 1, 1}));
    c.translate(1, 0);
    EXPECT_EQ(c.state().transform, (CanvasMatrix{2, 0, 0, 2, 3, 1}));
    c.resetTransform();
    EXPECT_EQ(c.state().transform, CanvasMatrix::identity());

    CanvasState before = c.state();
    c.restore();
    EXPECT_EQ(c.state(), before);
    c.save();
    c.setFillStyle("red");
    c.restore();
    EXPECT_EQ(c.state(), before);
}

void paintSample(DrawingContext& c) {
    c.setFillStyle("#ff0000");
    c.fillRect(10, 20, 30, 40);
    c.save();
    c.translate(5, 5);
    c.arc(0, 0, 10, 0, PI);
    c.fill();
    c.restore();
    c.fillCircles({{1, 2}}, 3);
    c.setLineDash({5});
    c.stroke();
}

std::string readFixture(const std::string& name) {
    std::ifstream file(std::string(DV_SOURCE_DIR) + "/tests/data/" + name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    std::string content = text.str();
    while (!content.empty() && content.back() == '\n') content.pop_back();
    return content;
}

TEST(RecordingContext, CanvasRecordingGoldenText) {
    RecordingContext context;
    paintSample(context);
    std::string golden = readFixture("canvas-recording-basic.json");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(JSONWriter::stringify(context.displayList().canvasRecording(), std::nullopt, false), golden);
}

TEST(RecordingContext, CanvasRecordingOfASampleDrawing) {
    RecordingContext context;
    paintSample(context);
    JSONValue expected(JSONObject{
        {"calls",
         Array{
             Array{"fillRect", 10, 20, 30, 40, 0},
             Array{"save"},
             Array{"translate", 5, 5},
             Array{"arc", 0, 0, 10, 0, 3.141592653589793, false},
             Array{"fill", "nonzero", 1},
             Array{"restore"},
             Array{"beginPath"},
             Array{"moveTo", 4, 2},
             Array{"arc", 1, 2, 3, 0, 6.283185307179586, false},
             Array{"fill", "nonzero", 0},
             Array{"setLineDash", Array{5}},
             Array{"stroke", 2},
         }},
        {"states",
         Array{
             stateJSON("#ff0000", {}, {1, 0, 0, 1, 0, 0}),
             stateJSON("#ff0000", {}, {1, 0, 0, 1, 5, 5}),
             stateJSON("#ff0000", {5, 5}, {1, 0, 0, 1, 0, 0}),
         }},
    });
    EXPECT_EQ(context.displayList().canvasRecording(), expected);
    // Key order is part of the format.
    JSONValue recording = context.displayList().canvasRecording();
    const JSONObject& object = *recording.objectValue();
    EXPECT_EQ(object.keys(), (std::vector<std::string>{"calls", "states"}));
    const JSONObject& state = *(*object["states"]->arrayValue())[0].objectValue();
    EXPECT_EQ(state.keys(), (std::vector<std::string>{
                                "fillStyle", "strokeStyle", "lineWidth", "globalAlpha", "lineCap",
                                "lineJoin", "lineDash", "shadowBlur", "shadowColor", "shadowOffsetX",
                                "shadowOffsetY", "font", "textAlign", "textBaseline", "transform"}));
}

// The state index written at the end of each drawing call of a recording.
std::vector<double> stateIndices(const JSONValue& recording) {
    std::vector<double> indices;
    for (const JSONValue& call : *recording["calls"]->arrayValue()) {
        const Array& entry = *call.arrayValue();
        std::string name = *entry[0].stringValue();
        if (name == "fill" || name == "fillRect" || name == "strokeRect" || name == "fillText" ||
            name == "drawImage" || name == "stroke")
            indices.push_back(*entry.back().doubleValue());
    }
    return indices;
}

TEST(RecordingContext, StatesAreWrittenOnceAndReferredToByIndex) {
    const struct {
        const char* name;
        std::function<void(DrawingContext&)> paint;
        std::size_t states;
        std::vector<double> indices;
    } rows[] = {
        {"two rects share a state",
         [](DrawingContext& c) { c.fillRect(0, 0, 1, 1); c.fillRect(0, 0, 1, 1); }, 1, {0, 0}},
        {"a property in between adds a state",
         [](DrawingContext& c) { c.fillRect(0, 0, 1, 1); c.setFillStyle("blue"); c.fillRect(0, 0, 1, 1); }, 2, {0, 1}},
        {"a refused property adds nothing",
         [](DrawingContext& c) { c.fillRect(0, 0, 1, 1); c.setLineWidth(-1); c.fillRect(0, 0, 1, 1); }, 1, {0, 0}},
        {"restored state is found again",
         [](DrawingContext& c) { c.fill(); c.save(); c.translate(1, 1); c.fill(); c.restore(); c.fill(); }, 2, {0, 1, 0}},
        {"setting a value back finds the first state",
         [](DrawingContext& c) { c.stroke(); c.setLineWidth(2); c.stroke(); c.setLineWidth(1); c.stroke(); }, 2, {0, 1, 0}},
        {"only drawing calls write states",
         [](DrawingContext& c) { c.setFillStyle("red"); c.translate(1, 1); c.clip(); c.moveTo(1, 1); }, 0, {}},
        {"a state holding NaN equals nothing and is written at each use",
         [](DrawingContext& c) { c.scale(1e308, 1); c.scale(10, 1); c.scale(0, 1); c.fill(); c.fill(); }, 2, {0, 1}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingContext context;
        row.paint(context);
        JSONValue recording = context.displayList().canvasRecording();
        EXPECT_EQ(recording["states"]->arrayValue()->size(), row.states);
        EXPECT_EQ(stateIndices(recording), row.indices);
    }
}

TEST(RecordingContext, EmptyRecording) {
    JSONValue expected(JSONObject{{"calls", Array{}}, {"states", Array{}}});
    EXPECT_EQ(DisplayList::empty().canvasRecording(), expected);
    EXPECT_EQ(RecordingContext().displayList().canvasRecording(), expected);
}

TEST(RecordingContext, ImagesAreRecordedBySource) {
    auto image = RenderImage::sizeOnly("data:image/png;base64,AAAA", 4, 3);
    RecordingContext context;
    context.drawImage(image, 1, 2, 3, 4);
    context.drawImage(nullptr, 1, 2, 3, 4);
    DisplayList list = context.displayList();
    ASSERT_EQ(list.ops().size(), 1u);
    EXPECT_EQ(std::get<Op::DrawImage>(list.ops()[0].value).image, image);
    JSONValue recording = list.canvasRecording();
    const Array& call = *(*recording["calls"]->arrayValue())[0].arrayValue();
    EXPECT_EQ(JSONValue(call), JSONValue(Array{"drawImage", "data:image/png;base64,AAAA", 1, 2, 3, 4, 0}));
}

TEST(RecordingContext, ReplayGivesTheSameListAndState) {
    RecordingContext first;
    paintSample(first);
    first.setLineWidth(-1);     // refused, recorded, replayed
    first.restore();            // unbalanced
    first.ellipse(5, 5, 3, 2, 0.5, 0, 4);
    first.roundRect(0, 0, 20, 10, 4);
    first.arcTo(30, 0, 30, 30, 5);
    first.fillText("x", 1, 2);
    first.drawImage(RenderImage::sizeOnly("s", 1, 1), 0, 0, 1, 1);
    first.rotate(0.25);
    first.scale(2, 3);
    first.setTransform(1, 2, 3, 4, 5, 6);
    first.save();
    first.setFont("italic 12px serif");
    first.clip(FillRule::evenodd);
    first.strokeRect(1, 1, 2, 2);
    first.quadraticCurveTo(1, 2, 3, 4);
    first.bezierCurveTo(1, 2, 3, 4, 5, 6);
    first.closePath();
    first.rect(0, 0, 1, 1);
    first.beginPath();
    first.resetTransform();

    RecordingContext second;
    DisplayList list = first.displayList();
    list.replay(second);
    EXPECT_EQ(second.displayList(), list);
    EXPECT_EQ(second.state(), first.state());
    EXPECT_EQ(list.ops().size(), first.displayList().ops().size());   // replay leaves the list alone
}

TEST(RecordingContext, DisplayListCopiesShareStorage) {
    RecordingContext context;
    context.fill();
    DisplayList a = context.displayList();
    DisplayList b = a;
    EXPECT_EQ(&a.ops(), &b.ops());
    context.stroke();   // recording goes on; the earlier list is unchanged
    EXPECT_EQ(a.ops().size(), 1u);
    EXPECT_EQ(context.displayList().ops().size(), 2u);
}

} // namespace
} // namespace dv
