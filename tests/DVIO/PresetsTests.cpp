#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "DVIO/Presets.hpp"

namespace dv {
namespace {

struct Built {
    std::vector<Element> elements;
    int idCalls = 0;
};

Built build(std::string_view id, double cx, double cy, bool dark = false) {
    Built built;
    auto elements = Presets::buildElements(id, cx, cy, dark, [&] { return "id" + std::to_string(++built.idCalls); });
    EXPECT_TRUE(elements.has_value()) << id;
    if (elements) built.elements = std::move(*elements);
    return built;
}

double number(const Element& element, const char* key) {
    const JSONObject object = element.jsonObject();
    const JSONValue* value = object.find(key);
    EXPECT_NE(value, nullptr) << element.id << " " << key;
    return value ? value->doubleValue().value_or(NAN) : NAN;
}

std::string text(const Element& element, const char* key) {
    const JSONObject object = element.jsonObject();
    const JSONValue* value = object.find(key);
    return value && value->stringValue() ? *value->stringValue() : "(none)";
}

TEST(Presets, TheFourPresetsInOrder) {
    EXPECT_EQ(Presets::all(), (std::vector<Presets::Preset>{{"flowchart", "presetFlowchart"},
                                                            {"mindmap", "presetMindMap"},
                                                            {"swot", "presetSwot"},
                                                            {"sequence", "presetSequence"}}));
}

TEST(Presets, EveryElementDecodesAndTakesOneFreshId) {
    struct Case {
        const char* id;
        int count;
        std::vector<std::string> types;
    };
    const Case cases[] = {
        {"flowchart", 7, {"ellipse", "rectangle", "rhombus", "ellipse", "arrow", "arrow", "arrow"}},
        {"mindmap", 11,
         {"rectangle", "line", "ellipse", "line", "ellipse", "line", "ellipse", "line", "ellipse", "line", "ellipse"}},
        {"swot", 5, {"text", "rectangle", "rectangle", "rectangle", "rectangle"}},
        {"sequence", 7, {"rectangle", "rectangle", "line", "line", "arrow", "arrow", "arrow"}},
    };
    for (const Case& c : cases) {
        const Built built = build(c.id, 0, 0);
        EXPECT_EQ(built.idCalls, c.count) << c.id;
        ASSERT_EQ(built.elements.size(), static_cast<std::size_t>(c.count)) << c.id;
        for (int i = 0; i < c.count; ++i) {
            EXPECT_EQ(text(built.elements[i], "type"), c.types[i]) << c.id << " " << i;
            EXPECT_EQ(number(built.elements[i], "roughness"), 0);
        }
    }
}

TEST(Presets, IdsMustMatchExactly) {
    for (const char* id : {"Flowchart", "", "flowchart ", "MINDMAP", "swot\n"}) {
        int calls = 0;
        EXPECT_FALSE(Presets::buildElements(id, 0, 0, false, [&] { return std::to_string(++calls); }).has_value()) << id;
        EXPECT_EQ(calls, 0);
    }
}

TEST(Presets, FlowchartIsCentredAndItsArrowsJoinItsShapes) {
    const Built at0 = build("flowchart", 0, 0);
    ASSERT_EQ(at0.elements.size(), 7u);
    // Bounds x -80..80, y -220..195: everything moves down by 12.5.
    const Element& start = at0.elements[0];
    EXPECT_EQ(text(start, "label"), "Start");
    EXPECT_EQ(number(start, "x"), -70);
    EXPECT_EQ(number(start, "y"), -207.5);
    EXPECT_EQ(number(at0.elements[2], "y"), 7.5);
    const Element& firstArrow = at0.elements[4];
    EXPECT_EQ(number(firstArrow, "y"), -157.5);
    EXPECT_EQ(number(firstArrow, "y2"), -107.5);
    const char* joins[3][2] = {{"id1", "id2"}, {"id2", "id3"}, {"id3", "id4"}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(at0.elements[4 + i].id, "id" + std::to_string(5 + i));
        EXPECT_EQ(text(at0.elements[4 + i], "startElementId"), joins[i][0]);
        EXPECT_EQ(text(at0.elements[4 + i], "endElementId"), joins[i][1]);
    }
    const Built moved = build("flowchart", 100, -50);
    EXPECT_EQ(number(moved.elements[0], "x"), 30);
    EXPECT_EQ(number(moved.elements[0], "y"), -257.5);
    EXPECT_EQ(number(moved.elements[6], "x2"), 100);
    EXPECT_EQ(number(moved.elements[6], "y2"), 107.5);
}

TEST(Presets, MindMapTopicsGoClockwiseFromTheTop) {
    const Built built = build("mindmap", 0, 0);
    ASSERT_EQ(built.elements.size(), 11u);
    EXPECT_EQ(built.elements[0].id, "id1");
    EXPECT_EQ(text(built.elements[0], "label"), "Main Topic");
    EXPECT_EQ(number(built.elements[0], "cornerRadius"), 8);
    // Topic offsets from the centre, before centring moves them all alike.
    const double offsets[5][2] = {{0, -180}, {171, -56}, {106, 146}, {-106, 146}, {-171, -56}};
    for (int i = 0; i < 5; ++i) {
        const Element& line = built.elements[1 + 2 * i];
        const Element& topic = built.elements[2 + 2 * i];
        // The topic's id is drawn before its line's.
        EXPECT_EQ(topic.id, "id" + std::to_string(2 + 2 * i));
        EXPECT_EQ(line.id, "id" + std::to_string(3 + 2 * i));
        EXPECT_EQ(text(line, "startElementId"), "id1");
        EXPECT_EQ(text(line, "endElementId"), topic.id);
        EXPECT_EQ(number(line, "strokeWidth"), 1.2);
        EXPECT_EQ(number(line, "x2") - number(line, "x"), offsets[i][0]) << i;
        EXPECT_EQ(number(line, "y2") - number(line, "y"), offsets[i][1]) << i;
        EXPECT_EQ(number(topic, "x") - number(line, "x"), offsets[i][0] - 55) << i;
        EXPECT_EQ(text(topic, "label"), "Topic " + std::to_string(i + 1));
    }
    // Bounds x -226..226, y -203..169: down by 17.
    EXPECT_EQ(number(built.elements[4], "x"), 116);
    EXPECT_EQ(number(built.elements[4], "y"), -62);
}

TEST(Presets, SwotAndSequenceLayouts) {
    const Built swot = build("swot", 0, 0);
    ASSERT_EQ(swot.elements.size(), 5u);
    // Bounds x -180..180, y -185..130.
    EXPECT_EQ(text(swot.elements[0], "content"), "SWOT Analysis");
    EXPECT_EQ(number(swot.elements[0], "y"), -157.5);
    EXPECT_EQ(number(swot.elements[0], "strokeWidth"), 0);
    EXPECT_EQ(number(swot.elements[0], "fontSize"), 15);
    const char* labels[] = {"Strengths", "Weaknesses", "Opportunities", "Threats"};
    const char* strokes[] = {"#27ae60", "#c0392b", "#27ae60", "#c0392b"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(text(swot.elements[1 + i], "label"), labels[i]);
        EXPECT_EQ(text(swot.elements[1 + i], "strokeColor"), strokes[i]);
        EXPECT_EQ(number(swot.elements[1 + i], "width"), 175);
    }
    EXPECT_EQ(number(swot.elements[4], "x"), 5);
    EXPECT_EQ(number(swot.elements[4], "y"), 22.5);

    const Built sequence = build("sequence", 0, 0);
    ASSERT_EQ(sequence.elements.size(), 7u);
    // Bounds x 0..400, y 0..260.
    EXPECT_EQ(number(sequence.elements[0], "x"), -200);
    EXPECT_EQ(number(sequence.elements[0], "y"), -130);
    EXPECT_EQ(text(sequence.elements[1], "label"), "Actor B");
    for (int i : {2, 3}) {
        EXPECT_EQ(text(sequence.elements[i], "strokeStyle"), "dashed");
        EXPECT_EQ(number(sequence.elements[i], "opacity"), 0.35);
        EXPECT_EQ(number(sequence.elements[i], "strokeWidth"), 1);
        EXPECT_EQ(number(sequence.elements[i], "y2"), 130);
    }
    const Element& response = sequence.elements[5];
    EXPECT_EQ(text(response, "label"), "Response");
    EXPECT_EQ(text(response, "strokeStyle"), "dashed");
    EXPECT_EQ(number(response, "x"), 130);
    EXPECT_EQ(number(response, "x2"), -130);
    EXPECT_EQ(number(response, "y"), 40);
    EXPECT_EQ(text(sequence.elements[4], "strokeStyle"), "(none)");
    EXPECT_EQ(text(sequence.elements[6], "label"), "Ack");
}

TEST(Presets, DarkAndLightBuildsDifferOnlyInColours) {
    for (const Presets::Preset& preset : Presets::all()) {
        const Built light = build(preset.id, 10, 20, false), dark = build(preset.id, 10, 20, true);
        ASSERT_EQ(light.elements.size(), dark.elements.size());
        for (std::size_t i = 0; i < light.elements.size(); ++i) {
            Element a = light.elements[i], b = dark.elements[i];
            EXPECT_NE(a.strokeColor, b.strokeColor) << preset.id << " " << i;
            a.strokeColor = b.strokeColor;
            a.fillColor = b.fillColor;
            EXPECT_EQ(a, b) << preset.id << " " << i;
        }
    }
    const Built light = build("flowchart", 0, 0, false), dark = build("flowchart", 0, 0, true);
    EXPECT_EQ(text(light.elements[0], "fillColor"), "rgba(40,160,70,0.10)");
    EXPECT_EQ(text(dark.elements[0], "fillColor"), "rgba(107,203,119,0.18)");
    EXPECT_EQ(text(light.elements[1], "strokeColor"), "#1a6fd4");
    EXPECT_EQ(text(dark.elements[1], "fillColor"), "rgba(77,150,255,0.18)");
    EXPECT_EQ(text(light.elements[2], "fillColor"), "rgba(220,50,50,0.10)");
    EXPECT_EQ(text(dark.elements[2], "strokeColor"), "#ff6b6b");
    EXPECT_EQ(text(light.elements[4], "strokeColor"), "#000000");
    EXPECT_EQ(text(dark.elements[4], "strokeColor"), "#e2e2ef");
    EXPECT_EQ(text(dark.elements[4], "fillColor"), "transparent");
}

}  // namespace
}  // namespace dv
