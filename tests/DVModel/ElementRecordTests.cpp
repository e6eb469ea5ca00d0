#include "DVModel/Element.hpp"

#include "ElementSamples.hpp"

#include <gtest/gtest.h>

namespace dv {
namespace {

using Keys = std::vector<std::string>;

TEST(Vocabulary, WordsMatchExactly) {
    EXPECT_EQ(fromWord<ArrowHeadStyle>("triangleFilled"), ArrowHeadStyle::triangleFilled);
    for (std::string_view miss : {"trianglefilled", " triangleFilled", "triangleFilled ", "TriangleFilled", ""}) {
        EXPECT_EQ(fromWord<ArrowHeadStyle>(miss), std::nullopt) << miss;
    }
    EXPECT_EQ(fromWord<StrokeStyle>("Solid"), std::nullopt);
    EXPECT_EQ(fromWord<ElementType>("Rectangle"), std::nullopt);
    EXPECT_EQ(fromWord<ShapeKind>("predefinedprocess"), std::nullopt);
}

TEST(Vocabulary, CasesInDeclaredOrder) {
    const auto kinds = allCases<ShapeKind>();
    ASSERT_EQ(kinds.size(), 8u);
    EXPECT_EQ(toWord(kinds[4]), "predefinedProcess");
    EXPECT_EQ(toWord(kinds[7]), "delay");
    const std::vector<std::string_view> types{"rectangle", "ellipse", "rhombus", "shape",    "stencil", "line",
                                              "arrow",     "curve",   "polygon", "freehand", "text",    "image"};
    const auto cases = allCases<ElementType>();
    ASSERT_EQ(cases.size(), types.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
        EXPECT_EQ(toWord(cases[i]), types[i]);
        EXPECT_EQ(fromWord<ElementType>(types[i]), cases[i]);
    }
    EXPECT_EQ(Words<ArrowHead>::list, (std::array<std::string_view, 4>{"none", "start", "end", "both"}));
    EXPECT_EQ(Words<LineJoin>::list, (std::array<std::string_view, 3>{"round", "miter", "bevel"}));
}

TEST(ElementPayload, TypeIsTheCaseAndInterfacesFollowIt) {
    struct Row {
        ElementType type;
        bool labels;
        bool connector;
    };
    const Row rows[] = {
        {ElementType::rectangle, true, false}, {ElementType::ellipse, true, false}, {ElementType::rhombus, true, false},
        {ElementType::shape, true, false},     {ElementType::stencil, true, false}, {ElementType::line, true, true},
        {ElementType::arrow, true, true},      {ElementType::curve, false, false},  {ElementType::polygon, false, false},
        {ElementType::freehand, false, false}, {ElementType::text, false, false},   {ElementType::image, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(toWord(row.type)));
        const Element e = test::fullElement(row.type);
        EXPECT_EQ(e.type(), row.type);
        EXPECT_EQ(Element::Payload::empty(row.type).type(), row.type);
        EXPECT_EQ(e.payload.labels() != nullptr, row.labels);
        EXPECT_EQ(e.payload.connector() != nullptr, row.connector);
        if (row.labels) {
            EXPECT_EQ(e.payload.labels()->label, "Label é");
        }
    }
}

TEST(ElementPayload, BoxKindsShareTheRecordButNotTheCase) {
    Element::Box box;
    box.width = 5;
    const auto r = Element::Payload::rectangle(box);
    const auto e = Element::Payload::ellipse(box);
    const auto h = Element::Payload::rhombus(box);
    EXPECT_EQ(r.type(), ElementType::rectangle);
    EXPECT_EQ(e.type(), ElementType::ellipse);
    EXPECT_EQ(h.type(), ElementType::rhombus);
    EXPECT_EQ(*r.box(), *h.box());
    EXPECT_NE(r, e);
    EXPECT_EQ(r.shape(), nullptr);
}

TEST(ElementEquality, FieldByFieldWithJsonObjectExtra) {
    Element a = test::minimalElement(ElementType::rectangle);
    EXPECT_EQ(a, a);
    Element b = a;
    a.extra.set("p", JSONValue(1));
    a.extra.set("q", JSONValue(2));
    b.extra.set("q", JSONValue(2));
    b.extra.set("p", JSONValue(1));
    EXPECT_EQ(a, b);  // key order of extra plays no part
    EXPECT_EQ(std::hash<Element>{}(a), std::hash<Element>{}(b));
    b.rotation = 0;
    EXPECT_NE(a, b);  // absent differs from every value
    a.rotation = -0.0;
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<Element>{}(a), std::hash<Element>{}(b));
}

TEST(SmallRecords, AnchorReadsOtherKeysIntoExtraAndWritesThemLast) {
    const JSONValue object(JSONObject{{"side", JSONValue("top")}, {"y", JSONValue(0.25)}, {"x", JSONValue(0.75)}});
    const auto anchor = readConnectorAnchor(object);
    ASSERT_TRUE(anchor);
    EXPECT_EQ(anchor->x, 0.75);
    EXPECT_EQ(anchor->y, 0.25);
    EXPECT_EQ(anchor->extra.keys(), Keys{"side"});
    EXPECT_EQ(anchor->jsonObject().keys(), (Keys{"x", "y", "side"}));

    ConnectorAnchor shadowed{0.5, 0.5, JSONObject{{"x", JSONValue(9)}, {"k", JSONValue(1)}}};
    const JSONObject written = shadowed.jsonObject();
    EXPECT_EQ(written.keys(), (Keys{"x", "y", "k"}));
    EXPECT_EQ(*written.find("x"), JSONValue(0.5));
}

TEST(SmallRecords, AnchorRefusals) {
    const JSONValue refused[] = {
        JSONValue(1),
        JSONValue(JSONObject{{"x", JSONValue(0.5)}}),
        JSONValue(JSONObject{{"x", JSONValue("0.5")}, {"y", JSONValue(0.5)}}),
        JSONValue(JSONObject{{"x", JSONValue(0.5)}, {"y", JSONValue()}}),
    };
    for (const JSONValue& v : refused) EXPECT_EQ(readConnectorAnchor(v), std::nullopt);
}

TEST(SmallRecords, StencilSourceReading) {
    const auto builtin = readStencilSource(JSONValue(JSONObject{{"kind", JSONValue("builtin")},
                                                                {"ref", JSONValue("k8s/pod")},
                                                                {"src", JSONValue("s")},
                                                                {"pack", JSONValue("p")},
                                                                {"name", JSONValue("n")}}));
    ASSERT_TRUE(builtin);
    EXPECT_TRUE(builtin->isBuiltin());
    EXPECT_EQ(builtin->extra.keys(), (Keys{"src", "pack", "name"}));
    EXPECT_EQ(builtin->jsonObject().keys(), (Keys{"kind", "ref", "src", "pack", "name"}));

    const auto embedded = readStencilSource(JSONValue(JSONObject{{"ref", JSONValue("x")},
                                                                 {"kind", JSONValue("embedded")},
                                                                 {"src", JSONValue("s")},
                                                                 {"pack", JSONValue("p")},
                                                                 {"name", JSONValue("n")}}));
    ASSERT_TRUE(embedded);
    EXPECT_FALSE(embedded->isBuiltin());
    EXPECT_EQ(embedded->kind, StencilSource::Kind(StencilSource::Embedded{"s", "p", "n"}));
    EXPECT_EQ(embedded->extra.keys(), Keys{"ref"});
    EXPECT_EQ(embedded->jsonObject().keys(), (Keys{"kind", "src", "pack", "name", "ref"}));

    const JSONValue refused[] = {
        JSONValue(JSONObject{{"kind", JSONValue("Builtin")}, {"ref", JSONValue("k8s/pod")}}),
        JSONValue(JSONObject{{"kind", JSONValue("builtin")}}),
        JSONValue(JSONObject{{"kind", JSONValue("builtin")}, {"ref", JSONValue(1)}}),
        JSONValue(JSONObject{{"kind", JSONValue("embedded")}, {"src", JSONValue("s")}, {"pack", JSONValue("p")}}),
        JSONValue(JSONObject{{"ref", JSONValue("k8s/pod")}}),
        JSONValue("builtin"),
    };
    for (const JSONValue& v : refused) EXPECT_EQ(readStencilSource(v), std::nullopt);
}

TEST(SmallRecords, PointAndNumberLists) {
    using A = JSONValue::Array;
    EXPECT_EQ(readPointList(JSONValue(A{})), std::vector<Point>{});
    EXPECT_EQ(readPointList(JSONValue(A{A{1, 2}, A{3, 4}})), (std::vector<Point>{{1, 2}, {3, 4}}));
    EXPECT_EQ(readPointList(JSONValue(A{A{1, 2}, A{3, 4, 5}})), std::nullopt);
    EXPECT_EQ(readPointList(JSONValue(A{A{1}})), std::nullopt);
    EXPECT_EQ(readPointList(JSONValue(A{A{1, "2"}})), std::nullopt);
    EXPECT_EQ(readPointList(JSONValue(A{1, 2})), std::nullopt);
    EXPECT_EQ(readNumberList(JSONValue(A{})), std::vector<double>{});
    EXPECT_EQ(readNumberList(JSONValue(A{0.5, 1})), (std::vector<double>{0.5, 1}));
    EXPECT_EQ(readNumberList(JSONValue(A{0.5, "1"})), std::nullopt);
    EXPECT_EQ(readNumberList(JSONValue(JSONObject{})), std::nullopt);
    EXPECT_EQ((Point{1, 2}).jsonValue(), JSONValue(A{1, 2}));
}

TEST(SmallRecords, AppendExtraKeysKeepsModelledValuesInPlace) {
    JSONObject target{{"a", JSONValue(1)}, {"b", JSONValue(2)}};
    appendExtraKeys(target, JSONObject{{"c", JSONValue(3)}, {"a", JSONValue(9)}, {"d", JSONValue()}});
    EXPECT_EQ(target.keys(), (Keys{"a", "b", "c", "d"}));
    EXPECT_EQ(*target.find("a"), JSONValue(1));
    EXPECT_TRUE(target.find("d")->isNull());
}

}  // namespace
}  // namespace dv
