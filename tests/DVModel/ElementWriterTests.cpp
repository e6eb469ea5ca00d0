#include "DVModel/Element.hpp"

#include "ElementSamples.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dv {
namespace {

using Keys = std::vector<std::string>;

const Keys kCommonAlways{"id", "type", "x", "y", "strokeColor", "fillColor", "strokeWidth", "opacity", "roughness"};
const Keys kCommonOptional{"rotation",      "strokeStyle",   "lineCap", "lineJoin",  "shadowBlur", "shadowColor",
                           "shadowOffsetX", "shadowOffsetY", "visible", "layerName", "locked",     "groupId"};
const Keys kLabelKeys{"label", "labelFontSize", "labelFontFamily", "labelColor"};

Keys concat(std::initializer_list<Keys> parts) {
    Keys out;
    for (const Keys& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct KindKeys {
    ElementType type;
    Keys full;     // every payload key, in write order
    Keys minimal;  // the payload keys not marked optional
};

const std::vector<KindKeys>& kindKeys() {
    static const std::vector<KindKeys> table{
        {ElementType::rectangle, concat({{"width", "height", "cornerRadius"}, kLabelKeys}), {"width", "height"}},
        {ElementType::ellipse, concat({{"width", "height", "cornerRadius"}, kLabelKeys}), {"width", "height"}},
        {ElementType::rhombus, concat({{"width", "height", "cornerRadius"}, kLabelKeys}), {"width", "height"}},
        {ElementType::shape, concat({{"kind", "width", "height"}, kLabelKeys}), {"kind", "width", "height"}},
        {ElementType::stencil, concat({{"width", "height", "source"}, kLabelKeys}), {"width", "height", "source"}},
        {ElementType::line,
         concat({{"x2", "y2", "startElementId", "endElementId", "startAnchor", "endAnchor", "routing",
                  "startHeadStyle", "endHeadStyle", "cx", "cy", "arrowHead"},
                 kLabelKeys}),
         {"x2", "y2"}},
        {ElementType::arrow,
         concat({{"x2", "y2", "startElementId", "endElementId", "startAnchor", "endAnchor", "routing",
                  "endHeadStyle"},
                 kLabelKeys}),
         {"x2", "y2"}},
        {ElementType::curve, {"x2", "y2", "cx", "cy"}, {"x2", "y2", "cx", "cy"}},
        {ElementType::polygon, {"points", "closed"}, {"points", "closed"}},
        {ElementType::freehand, {"points", "pressures"}, {"points"}},
        {ElementType::text,
         {"content", "padding", "fontSize", "fontFamily", "width", "height", "textAlign", "isCode", "bold", "italic",
          "underline", "strikethrough"},
         {"content", "fontSize", "fontFamily", "width", "height"}},
        {ElementType::image,
         {"src", "width", "height", "naturalWidth", "naturalHeight"},
         {"src", "width", "height", "naturalWidth", "naturalHeight"}},
    };
    return table;
}

TEST(ElementWriter, FullyPopulatedElementsWriteTheKeyTableThenExtraKeys) {
    for (const KindKeys& k : kindKeys()) {
        SCOPED_TRACE(std::string(toWord(k.type)));
        Element e = test::fullElement(k.type);
        // one new key, then keys that collide with modelled ones: those are not written again
        e.extra.set("zCustom", JSONValue("kept"));
        e.extra.set("x", JSONValue(999));
        e.extra.set("id", JSONValue("other"));
        const JSONObject o = e.jsonObject();
        EXPECT_EQ(o.keys(), concat({kCommonAlways, kCommonOptional, k.full, {"zCustom"}}));
        EXPECT_EQ(*o.find("x"), JSONValue(10));
        EXPECT_EQ(*o.find("id"), JSONValue("e1"));
        EXPECT_EQ(*o.find("type"), JSONValue(toWord(k.type)));
    }
}

TEST(ElementWriter, MinimalElementsWriteOnlyTheAlwaysKeys) {
    for (const KindKeys& k : kindKeys()) {
        SCOPED_TRACE(std::string(toWord(k.type)));
        EXPECT_EQ(test::minimalElement(k.type).jsonObject().keys(), concat({kCommonAlways, k.minimal}));
    }
}

TEST(ElementWriter, ValueForms) {
    Element e = test::fullElement(ElementType::line);
    const JSONObject o = e.jsonObject();
    EXPECT_EQ(*o.find("visible"), JSONValue(false));  // a present false is written
    EXPECT_EQ(*o.find("strokeStyle"), JSONValue("dashed"));
    EXPECT_EQ(*o.find("endHeadStyle"), JSONValue("triangleFilled"));
    EXPECT_EQ(*o.find("strokeColor"), JSONValue("#1e1e1e"));
    const JSONObject* anchor = o.find("startAnchor")->objectValue();
    ASSERT_NE(anchor, nullptr);
    EXPECT_EQ(anchor->keys(), (Keys{"x", "y", "side"}));

    const JSONObject stencil = test::fullElement(ElementType::stencil).jsonObject();
    EXPECT_EQ(stencil.find("source")->objectValue()->keys(), (Keys{"kind", "ref", "note"}));

    const JSONObject polygon = test::minimalElement(ElementType::polygon).jsonObject();
    EXPECT_EQ(*polygon.find("points"),
              JSONValue(JSONValue::Array{JSONValue::Array{0, 0}, JSONValue::Array{10, 0}, JSONValue::Array{10, 10}}));
    EXPECT_EQ(*polygon.find("closed"), JSONValue(true));
}

TEST(ElementWriter, NumbersAreStoredUnchanged) {
    Element e = test::minimalElement(ElementType::rectangle);
    e.x = -0.0;
    e.y = std::nan("");
    e.rotation = 0.1 + 0.2;
    const JSONObject o = e.jsonObject();
    EXPECT_TRUE(std::signbit(*o.find("x")->doubleValue()));
    EXPECT_TRUE(std::isnan(*o.find("y")->doubleValue()));
    EXPECT_EQ(*o.find("rotation")->doubleValue(), 0.1 + 0.2);
}

TEST(ElementWriter, ArrowExtraControlPointsComeAfterItsLabelKeys) {
    Element e = test::fullElement(ElementType::arrow);
    e.extra.set("cy", JSONValue(2));
    e.extra.set("cx", JSONValue(1));
    const Keys keys = e.jsonObject().keys();
    const Keys tail(keys.end() - 6, keys.end());
    EXPECT_EQ(tail, (Keys{"label", "labelFontSize", "labelFontFamily", "labelColor", "cy", "cx"}));
}

TEST(ElementWriter, FreehandPressuresPresentEmptyAbsent) {
    Element e = test::minimalElement(ElementType::freehand);
    EXPECT_EQ(e.jsonObject().find("pressures"), nullptr);
    e.payload.freehand()->pressures = std::vector<double>{};
    const JSONObject written = e.jsonObject();
    const JSONValue* pressures = written.find("pressures");
    ASSERT_NE(pressures, nullptr);
    EXPECT_EQ(*pressures, JSONValue(JSONValue::Array{}));
}

TEST(ElementWriter, JsonValueWrapsTheObject) {
    const Element e = test::fullElement(ElementType::text);
    EXPECT_EQ(e.jsonValue(), JSONValue(e.jsonObject()));
}

}  // namespace
}  // namespace dv
