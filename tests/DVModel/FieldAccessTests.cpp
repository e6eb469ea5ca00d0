#include "DVModel/Element.hpp"
#include "DVModel/ElementValidation.hpp"

#include "ElementSamples.hpp"

#include <gtest/gtest.h>

#include <random>

namespace dv {
namespace {

using A = JSONValue::Array;
using Keys = std::vector<std::string>;

std::optional<Element> lenient(const JSONObject& object) { return Element::fromLenientJSON(object); }

JSONObject with(JSONObject object, const std::string& key, JSONValue value) {
    object.set(key, std::move(value));
    return object;
}

JSONObject without(JSONObject object, const std::string& key) {
    object.remove(key);
    return object;
}

// One key, built by `set` (brace-built objects trip a false uninitialised warning of the
// sanitizer build).
JSONObject objectWith(const std::string& key, JSONValue value) {
    JSONObject object;
    object.set(key, std::move(value));
    return object;
}

JSONObject full(ElementType type) { return test::fullElement(type).jsonObject(); }

TEST(FieldAccess, RequiredKeysOfEveryType) {
    const Keys common{"x", "y", "strokeColor", "fillColor", "strokeWidth", "opacity", "roughness"};
    const std::pair<ElementType, Keys> rows[] = {
        {ElementType::rectangle, {"width", "height"}},
        {ElementType::ellipse, {"width", "height"}},
        {ElementType::rhombus, {"width", "height"}},
        {ElementType::shape, {"kind", "width", "height"}},
        {ElementType::stencil, {"width", "height", "source"}},
        {ElementType::line, {"x2", "y2"}},
        {ElementType::arrow, {"x2", "y2"}},
        {ElementType::curve, {"x2", "y2", "cx", "cy"}},
        {ElementType::polygon, {"points", "closed"}},
        {ElementType::freehand, {"points"}},
        {ElementType::text, {"content", "fontSize", "fontFamily", "width", "height"}},
        {ElementType::image, {"src", "width", "height", "naturalWidth", "naturalHeight"}},
    };
    for (const auto& [type, own] : rows) {
        Keys expected = common;
        expected.insert(expected.end(), own.begin(), own.end());
        const auto keys = Element::requiredKeys(type);
        EXPECT_EQ(Keys(keys.begin(), keys.end()), expected) << toWord(type);
    }
}

TEST(FieldAccess, LenientDecodingRefusals) {
    const JSONObject rect = full(ElementType::rectangle);
    EXPECT_TRUE(lenient(rect));
    EXPECT_FALSE(lenient(with(rect, "id", JSONValue(7))));
    EXPECT_FALSE(lenient(with(rect, "type", JSONValue("Rectangle"))));
    EXPECT_FALSE(lenient(with(rect, "type", JSONValue("square"))));
    EXPECT_FALSE(lenient(without(rect, "roughness")));
    EXPECT_FALSE(lenient(without(rect, "id")));
    EXPECT_FALSE(lenient(with(rect, "x", JSONValue())));
    EXPECT_FALSE(lenient(with(full(ElementType::shape), "kind", JSONValue("process"))));
    EXPECT_FALSE(lenient(with(full(ElementType::polygon), "closed", JSONValue(1))));
    EXPECT_FALSE(lenient(with(full(ElementType::polygon), "points", JSONValue(A{A{1, 2, 3}}))));
    JSONObject noName = StencilSource::embedded("s", "p", "n").jsonObject();
    noName.remove("name");
    EXPECT_FALSE(lenient(with(full(ElementType::stencil), "source", JSONValue(noName))));
}

TEST(FieldAccess, WrongKindsForOptionalFieldsAreKeptInExtra) {
    struct Row {
        ElementType type;
        std::string key;
        JSONValue value;
    };
    const Row rows[] = {
        {ElementType::rectangle, "rotation", JSONValue("abc")},
        {ElementType::rectangle, "rotation", JSONValue()},
        {ElementType::rectangle, "strokeStyle", JSONValue("wavy")},
        {ElementType::rectangle, "visible", JSONValue(1)},
        {ElementType::rectangle, "labelColor", JSONValue(3)},
        {ElementType::line, "startAnchor", JSONValue(5)},
        {ElementType::line, "endAnchor", JSONValue(objectWith("x", JSONValue(0.5)))},
        {ElementType::line, "arrowHead", JSONValue("sideways")},
        {ElementType::freehand, "pressures", JSONValue(A{0.5, "x", 0.5})},
        {ElementType::text, "textAlign", JSONValue("justify")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        const auto element = lenient(with(full(row.type), row.key, row.value));
        ASSERT_TRUE(element);
        const JSONValue* kept = element->extra.find(row.key);
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(*kept, row.value);
        // written back, the key reappears with what was given
        const JSONObject written = element->jsonObject();
        EXPECT_EQ(*written.find(row.key), row.value);
    }
    const auto rect = lenient(with(full(ElementType::rectangle), "rotation", JSONValue("abc")));
    EXPECT_FALSE(rect->rotation);
}

TEST(FieldAccess, KeysOfOtherKindsAndOrderOfExtra) {
    JSONObject arrow = full(ElementType::arrow);
    arrow.set("cx", JSONValue(1));
    arrow.set("unknown", JSONValue());
    arrow.set("startHeadStyle", JSONValue("circle"));
    arrow.set("cy", JSONValue(2));
    const auto a = lenient(arrow);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->extra.keys(), (Keys{"cx", "unknown", "startHeadStyle", "cy"}));

    const auto line = lenient(full(ElementType::line));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->payload.line()->cx, 50);
    EXPECT_EQ(line->payload.line()->startHeadStyle, ArrowHeadStyle::circle);
    EXPECT_TRUE(line->extra.isEmpty());

    const auto emptyPressures = lenient(with(full(ElementType::freehand), "pressures", JSONValue(A{})));
    ASSERT_TRUE(emptyPressures);
    EXPECT_EQ(emptyPressures->payload.freehand()->pressures, std::vector<double>{});

    // lenient decoding sets no minimum on points
    const auto polygon = lenient(with(with(full(ElementType::polygon), "points", JSONValue(A{})), "closed", JSONValue(false)));
    ASSERT_TRUE(polygon);
    EXPECT_TRUE(polygon->payload.polygon()->points.empty());
}

TEST(FieldAccess, FullElementsDecodeToThemselves) {
    for (ElementType type : allCases<ElementType>()) {
        Element e = test::fullElement(type);
        e.extra.set("meta", JSONValue(objectWith("k", JSONValue(1))));
        const auto back = lenient(e.jsonObject());
        ASSERT_TRUE(back) << toWord(type);
        EXPECT_TRUE(back->isIdentical(e)) << toWord(type);
    }
}

TEST(FieldAccess, SetFieldAndRemoveField) {
    Element rect = test::fullElement(ElementType::rectangle);
    const Element before = rect;
    EXPECT_TRUE(rect.setField("type", JSONValue("rectangle")));
    EXPECT_FALSE(rect.setField("type", JSONValue("ellipse")));
    EXPECT_FALSE(rect.setField("width", JSONValue("wide")));
    EXPECT_FALSE(rect.setField("x", JSONValue()));
    EXPECT_FALSE(rect.removeField("x"));
    EXPECT_FALSE(rect.removeField("id"));
    EXPECT_FALSE(rect.removeField("type"));
    EXPECT_FALSE(rect.removeField("width"));
    EXPECT_TRUE(rect.isIdentical(before));

    EXPECT_TRUE(rect.setField("x2", JSONValue(1)));
    EXPECT_EQ(*rect.extra.find("x2"), JSONValue(1));
    EXPECT_TRUE(rect.removeField("groupId"));
    EXPECT_FALSE(rect.groupId);
    EXPECT_TRUE(rect.removeField("nowhere"));
    EXPECT_TRUE(rect.removeField("x2"));
    EXPECT_TRUE(rect.extra.isEmpty());

    // a kept value leaves the field absent; a good value later takes it back out of extra
    EXPECT_TRUE(rect.setField("rotation", JSONValue("abc")));
    EXPECT_FALSE(rect.rotation);
    EXPECT_TRUE(rect.extra.contains("rotation"));
    EXPECT_TRUE(rect.setField("rotation", JSONValue(1.5)));
    EXPECT_EQ(rect.rotation, 1.5);
    EXPECT_FALSE(rect.extra.contains("rotation"));
    EXPECT_TRUE(rect.setField("id", JSONValue("new")));
    EXPECT_EQ(rect.id, "new");
}

// Random keys and values from every kind's key table, applied to every kind: a refused call
// changes nothing, and after an accepted one the key lives in its field or in extra, not both.
TEST(FieldAccess, RandomCallsKeepTheKeyInOnePlace) {
    std::mt19937_64 rng(7);
    std::vector<std::string> keys{"type", "nowhere"};
    for (ElementType type : allCases<ElementType>()) {
        const JSONObject written = test::fullElement(type).jsonObject();
        for (const auto& entry : written) keys.emplace_back(entry.key);
    }
    const JSONValue values[] = {JSONValue(),
                                JSONValue(1),
                                JSONValue(-0.0),
                                JSONValue(true),
                                JSONValue("solid"),
                                JSONValue("rectangle"),
                                JSONValue("x"),
                                JSONValue(A{A{1, 2}, A{3, 4}}),
                                JSONValue(A{0.5, 0.5}),
                                JSONValue(with(objectWith("x", JSONValue(0.5)), "y", JSONValue(0.5))),
                                JSONValue(StencilSource::builtin("generic/a").jsonObject())};
    for (int i = 0; i < 20000; ++i) {
        Element e = test::fullElement(allCases<ElementType>()[rng() % 12]);
        for (int step = 0; step < 4; ++step) {
            const std::string& key = keys[rng() % keys.size()];
            const Element before = e;
            const bool remove = rng() % 4 == 0;
            const bool accepted = remove ? e.removeField(key) : e.setField(key, values[rng() % std::size(values)]);
            if (!accepted) {
                ASSERT_TRUE(e.isIdentical(before)) << key;
                continue;
            }
            // The fields alone write the key, or extra holds it, never both.
            Element bare = e;
            bare.extra = JSONObject();
            const bool inField = key != "type" && bare.jsonObject().contains(key);
            ASSERT_FALSE(inField && e.extra.contains(key)) << key;
        }
    }
}

}  // namespace
}  // namespace dv
