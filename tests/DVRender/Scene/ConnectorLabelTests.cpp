#include <gtest/gtest.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "DVRender/Scene/ConnectorLabels.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"
#include "PaintTrace.hpp"

namespace dv::test {
namespace {

Element labelledArrow(std::string id, std::string label) {
    Element a = test::arrow(std::move(id), 0, 0, 200, 0);
    a.payload.arrow()->label = std::move(label);
    return a;
}

struct Scene {
    test::FakeImages images;
    RenderEnvironment environment{RenderTheme::light, images};
    ConnectorLabelBoxes boxes;
};

std::vector<ConnectorLabelItem> items(Scene& scene, const std::vector<Element>& elements,
                                      std::optional<std::string> editing = std::nullopt,
                                      const std::unordered_map<JSStringKey, ConnectorLabelItem>& reusing = {}) {
    return connectorLabelItems(elements, scene.boxes, "#ffffff", editing, scene.environment, reusing);
}

TEST(ConnectorLabels, OneLabelPaintedInItsBox) {
    Scene scene;
    scene.boxes.set("c", LabelBox{100, 50, 80, 40});
    const auto result = items(scene, {labelledArrow("c", "top\nbottom")});
    ASSERT_EQ(result.size(), 1u);
    const auto calls = test::callsOf(result[0].displayList);
    // A canvas-coloured patch of the box's size, then two lines at 42.8 and 57.2.
    ASSERT_EQ(countOf(calls, "fillRect"), 1u);
    EXPECT_EQ(named(calls, "fillRect")[0].args, (std::vector<double>{60, 30, 80, 40}));
    const auto texts = named(calls, "fillText");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, "top");
    EXPECT_EQ(texts[0].args[0], 100);
    EXPECT_NEAR(texts[0].args[1], 42.8, 1e-12);
    EXPECT_NEAR(texts[1].args[1], 57.2, 1e-12);
    EXPECT_EQ(propertyValues(calls, "fillStyle"), (std::vector<std::string>{"#ffffff", "#000000"}));
    EXPECT_EQ(propertyValues(calls, "font"), (std::vector<std::string>{"12px Arial, sans-serif"}));
    EXPECT_EQ(propertyValues(calls, "textAlign"), (std::vector<std::string>{"center"}));
    EXPECT_EQ(propertyValues(calls, "textBaseline"), (std::vector<std::string>{"middle"}));
    EXPECT_EQ(countOf(calls, "save"), 1u);
    EXPECT_EQ(countOf(calls, "restore"), 1u);
}

TEST(ConnectorLabels, WhichConnectorsAreLabelled) {
    Scene scene;
    scene.boxes.set("a", LabelBox{0, 0, 40, 20});
    scene.boxes.set("b", LabelBox{0, 0, 40, 20});
    scene.boxes.set("r", LabelBox{0, 0, 40, 20});
    Element boxed = test::rectangle("r", 0, 0, 10, 10);
    boxed.payload.box()->label = "not a connector";
    const std::vector<Element> elements = {labelledArrow("a", "x"), labelledArrow("b", ""),
                                           labelledArrow("nobox", "x"), boxed};
    auto result = items(scene, elements);
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].id, "a");
    EXPECT_TRUE(items(scene, elements, std::string("a")).empty());
    scene.boxes = ConnectorLabelBoxes();
    EXPECT_TRUE(items(scene, elements).empty());
}

TEST(ConnectorLabels, StyleOfTheLabel) {
    struct Case {
        const char* name;
        std::optional<std::string> labelColor;
        std::string stroke;
        bool dark;
        const char* color;
    };
    const Case cases[] = {
        {"black label on dark", "#000000", "#ff0000", true, "#e2e2ef"},
        {"stroke colour on dark", std::nullopt, "#000", true, "#e2e2ef"},
        {"own colour", "#00ff00", "#000", false, "#00ff00"},
        {"light ink on light", std::nullopt, "#E2E2EF", false, "#000000"},
    };
    for (const auto& c : cases) {
        Element a = labelledArrow("a", "x");
        a.strokeColor = CSSColor(c.stroke);
        if (c.labelColor) a.payload.arrow()->labelColor = CSSColor(*c.labelColor);
        const auto style = connectorLabelStyle(a, c.dark ? RenderTheme::dark : RenderTheme::light);
        EXPECT_EQ(style.color, c.color) << c.name;
        EXPECT_EQ(style.fontSize, 12) << c.name;
        EXPECT_EQ(style.fontFamily, "Arial, sans-serif") << c.name;
    }
    Element a = labelledArrow("a", "x");
    a.payload.arrow()->labelFontSize = 20;
    a.payload.arrow()->labelFontFamily = "Courier";
    const auto style = connectorLabelStyle(a, RenderTheme::light);
    EXPECT_EQ(style.fontSize, 20);
    EXPECT_EQ(style.fontFamily, "Courier");
}

TEST(ConnectorLabels, MarginsAndDrawnBounds) {
    struct Case { double fontSize; double margin; };
    for (const Case c : {Case{4, 2}, Case{8, 2}, Case{12, 3}, Case{20, 5}}) {
        Scene scene;
        scene.boxes.set("a", LabelBox{100, 50, 60, 20});
        Element a = labelledArrow("a", "x");
        a.payload.arrow()->labelFontSize = c.fontSize;
        const auto result = items(scene, {a});
        ASSERT_EQ(result.size(), 1u);
        const NormalizedRect expected{70 - c.margin, 40 - c.margin, 60 + 2 * c.margin, 20 + 2 * c.margin};
        EXPECT_EQ(result[0].bounds, expected) << c.fontSize;
        ASSERT_TRUE(result[0].drawnBounds.rect.has_value());
        const NormalizedRect& r = *result[0].drawnBounds.rect;
        EXPECT_LE(r.x, expected.x);
        EXPECT_LE(r.y, expected.y);
        EXPECT_GE(r.x + r.w, expected.x + expected.w);
        EXPECT_GE(r.y + r.h, expected.y + expected.h);
    }
}

TEST(ConnectorLabels, UnchangedKeysKeepTheirRecording) {
    Scene scene;
    scene.boxes.set("a", LabelBox{100, 50, 60, 20});
    scene.boxes.set("b", LabelBox{300, 50, 60, 20});
    std::vector<Element> elements = {labelledArrow("a", "first"), labelledArrow("b", "second"),
                                     test::rectangle("other", 500, 500, 10, 10)};
    const auto before = items(scene, elements);
    ASSERT_EQ(before.size(), 2u);
    std::unordered_map<JSStringKey, ConnectorLabelItem> previous;
    for (const auto& item : before) previous.emplace(JSStringKey(item.id), item);

    // An unrelated element moves: both recordings are kept as they were.
    elements[2].x += 40;
    auto after = items(scene, elements, std::nullopt, previous);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(&after[0].displayList.ops(), &before[0].displayList.ops());
    EXPECT_EQ(&after[1].displayList.ops(), &before[1].displayList.ops());

    // A connector's opacity changes: its label is recorded again, the other one is kept.
    elements[1].opacity = 0.5;
    after = items(scene, elements, std::nullopt, previous);
    EXPECT_EQ(&after[0].displayList.ops(), &before[0].displayList.ops());
    EXPECT_NE(&after[1].displayList.ops(), &before[1].displayList.ops());
    EXPECT_EQ(named(test::callsOf(after[1].displayList), "globalAlpha")[0].args[0], 0.5);
}

TEST(ConnectorLabels, KeysCompareBitForBit) {
    ConnectorLabelItem::Key a{LabelBox{0, 0, 10, 10}, "x", 12, "f", "#000", 1, "#fff"};
    ConnectorLabelItem::Key b = a;
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<ConnectorLabelItem::Key>()(a), std::hash<ConnectorLabelItem::Key>()(b));
    b.box.x = -0.0;
    EXPECT_NE(a, b);  // -0 is another bit pattern
    EXPECT_EQ(std::hash<ConnectorLabelItem::Key>()(a), std::hash<ConnectorLabelItem::Key>()(b));
    b = a;
    b.canvasColor = "#080808";
    EXPECT_NE(a, b);
}

TEST(ConnectorLabels, DirectPaintingMatchesTheRecordedItems) {
    test::FakeImages images;
    const RenderEnvironment environment(RenderTheme::dark, images);
    std::vector<Element> elements = {labelledArrow("a", "one"), test::rectangle("r", 300, -40, 80, 80)};
    elements.push_back(labelledArrow("b", "two\nlines"));
    elements.back().y = 200;
    elements.back().payload.arrow()->y2 = 200;

    RecordingContext direct;
    drawConnectorLabels(direct, elements, "#080808", std::nullopt, environment);
    const auto directCalls = test::callsOf(direct.displayList());

    const ElementIndex index(elements);
    const ConnectorLabelLayout layout(index);
    ASSERT_EQ(layout.boxes().size(), 2u);
    RecordingContext withBoxes;
    drawConnectorLabels(withBoxes, index, layout.boxes(), "#080808", std::nullopt, environment);
    EXPECT_EQ(withBoxes.displayList(), direct.displayList());

    std::vector<Call> fromItems;
    for (const auto& item : connectorLabelItems(elements, "#080808", std::nullopt, environment)) {
        const auto calls = test::callsOf(item.displayList);
        fromItems.insert(fromItems.end(), calls.begin(), calls.end());
    }
    ASSERT_EQ(fromItems.size(), directCalls.size());
    for (std::size_t i = 0; i < fromItems.size(); ++i) {
        EXPECT_EQ(fromItems[i].name, directCalls[i].name);
        EXPECT_EQ(fromItems[i].args, directCalls[i].args);
    }
    // Each label sits on its box's centre.
    const auto texts = named(directCalls, "fillText");
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].args[0], layout.boxes()["a"]->x);
    EXPECT_EQ(texts[0].args[1], layout.boxes()["a"]->y);
}

}  // namespace
}  // namespace dv::test
