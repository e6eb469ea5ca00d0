#include "DVModel/Element.hpp"
#include "DVModel/Identity.hpp"

#include "ElementSamples.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace dv {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Another word of the enumeration `word` belongs to, if it is one.
std::optional<std::string> otherWord(const std::string& word) {
    std::optional<std::string> found;
    auto tryList = [&](const auto& list) {
        for (std::size_t i = 0; i < list.size() && !found; ++i) {
            if (list[i] == word) found = std::string(list[(i + 1) % list.size()]);
        }
    };
    tryList(Words<ElementType>::list);
    tryList(Words<StrokeStyle>::list);
    tryList(Words<LineCap>::list);
    tryList(Words<LineJoin>::list);
    tryList(Words<TextAlign>::list);
    tryList(Words<ArrowHead>::list);
    tryList(Words<ArrowHeadStyle>::list);
    tryList(Words<ConnectorRouting>::list);
    tryList(Words<ShapeKind>::list);
    return found;
}

// Values that differ from `v` in one place each, and still have the same JSON kind.
std::vector<JSONValue> variants(const JSONValue& v) {
    std::vector<JSONValue> out;
    if (auto n = v.doubleValue()) {
        out.emplace_back(std::nextafter(*n, 1e300));
        if (*n == 0) out.emplace_back(-*n);  // the other zero
    } else if (auto b = v.boolValue()) {
        out.emplace_back(!*b);
    } else if (const std::string* s = v.stringValue()) {
        if (auto w = otherWord(*s); w && *s != "builtin") out.emplace_back(*w);
        else out.emplace_back(*s + "x");
    } else if (const JSONValue::Array* a = v.arrayValue()) {
        for (const JSONValue& first : variants(a->front())) {
            JSONValue::Array copy = *a;
            copy.front() = first;
            out.emplace_back(std::move(copy));
        }
    } else if (const JSONObject* o = v.objectValue()) {
        for (const std::string& key : o->keys()) {
            if (key == "kind") continue;  // a source of the other kind lacks the fields of this one
            for (const JSONValue& changed : variants(*o->find(key))) {
                JSONObject copy = *o;
                copy.set(key, changed);
                out.emplace_back(std::move(copy));
            }
        }
        JSONObject grown = *o;
        grown.set("added", JSONValue(1));
        out.emplace_back(std::move(grown));
    }
    return out;
}

TEST(Identity, AnySingleFieldChangeOfAnyKindBreaksIdentity) {
    for (ElementType type : allCases<ElementType>()) {
        SCOPED_TRACE(std::string(toWord(type)));
        Element original = test::fullElement(type);
        original.extra.set("meta", JSONValue(JSONObject{{"a", JSONValue(1)}}));
        EXPECT_TRUE(original.isIdentical(Element(original)));
        const JSONObject written = original.jsonObject();
        std::size_t changes = 0;
        for (const std::string& key : written.keys()) {
            if (key == "type") continue;
            for (const JSONValue& changed : variants(*written.find(key))) {
                SCOPED_TRACE(key);
                JSONObject object = written;
                object.set(key, changed);
                const auto element = Element::fromLenientJSON(object);
                ASSERT_TRUE(element);
                EXPECT_FALSE(original.isIdentical(*element));
                EXPECT_FALSE(element->isIdentical(original));
                ++changes;
            }
        }
        EXPECT_GE(changes, written.count() - 1);  // every key but "type" changed at least once
    }
}

TEST(Identity, SignedZerosAndNaN) {
    EXPECT_FALSE(sameNumberBits(0.0, -0.0));
    EXPECT_TRUE(sameNumberBits(kNaN, kNaN));
    EXPECT_TRUE(sameNumberBits(std::optional<double>(), std::optional<double>()));
    EXPECT_FALSE(sameNumberBits(std::optional<double>(), std::optional<double>(0.0)));

    EXPECT_EQ(JSONValue(0.0), JSONValue(-0.0));
    EXPECT_FALSE(isIdentical(JSONValue(0.0), JSONValue(-0.0)));
    EXPECT_NE(JSONValue(kNaN), JSONValue(kNaN));
    EXPECT_TRUE(isIdentical(JSONValue(kNaN), JSONValue(kNaN)));
    EXPECT_FALSE(isIdentical(JSONValue(1), JSONValue(true)));
    EXPECT_TRUE(isIdentical(JSONValue(), JSONValue()));
    EXPECT_FALSE(isIdentical(JSONValue(JSONValue::Array{1}), JSONValue(JSONValue::Array{1, 2})));

    Element a = test::minimalElement(ElementType::rectangle);
    a.x = kNaN;
    EXPECT_TRUE(a.isIdentical(Element(a)));
    EXPECT_FALSE(a.isExactlyEqual(Element(a)));

    Element p = test::minimalElement(ElementType::rectangle);
    Element n = p;
    p.rotation = 0.0;
    n.rotation = -0.0;
    EXPECT_TRUE(p.isExactlyEqual(n));
    EXPECT_FALSE(p.isIdentical(n));
    n.rotation.reset();
    EXPECT_FALSE(p.isExactlyEqual(n));
    EXPECT_FALSE(p.isIdentical(n));
}

TEST(Identity, ObjectsIgnoreKeyOrderButNotCodeUnits) {
    const JSONObject ab{{"a", JSONValue(1)}, {"b", JSONValue(JSONObject{{"c", JSONValue(-0.0)}})}};
    const JSONObject ba{{"b", JSONValue(JSONObject{{"c", JSONValue(-0.0)}})}, {"a", JSONValue(1)}};
    EXPECT_TRUE(isIdentical(ab, ba));
    EXPECT_FALSE(isIdentical(ab, JSONObject{{"a", JSONValue(1)}}));
    EXPECT_TRUE(isIdentical(JSONObject{}, JSONObject{}));

    Element x = test::minimalElement(ElementType::ellipse);
    Element y = x;
    x.extra = ab;
    y.extra = ba;
    EXPECT_TRUE(x.isIdentical(y));
    EXPECT_TRUE(x.isExactlyEqual(y));

    Element composed = test::fullElement(ElementType::shape);
    Element decomposed = composed;
    composed.payload.labels()->label = "\u00E9";
    decomposed.payload.labels()->label = "e\u0301";
    EXPECT_FALSE(composed.isIdentical(decomposed));
    EXPECT_FALSE(composed.isExactlyEqual(decomposed));
}

TEST(Identity, PayloadCasesAndSourceKinds) {
    Element line = test::minimalElement(ElementType::line);
    Element arrow = test::minimalElement(ElementType::arrow);
    EXPECT_FALSE(line.isIdentical(arrow));
    EXPECT_FALSE(line.isExactlyEqual(arrow));

    Element rect = test::minimalElement(ElementType::rectangle);
    Element rhombus = rect;
    rhombus.payload = Element::Payload::rhombus(*rect.payload.box());
    EXPECT_FALSE(rect.isIdentical(rhombus));

    Element builtin = test::minimalElement(ElementType::stencil);
    Element embedded = builtin;
    embedded.payload.stencil()->source = StencilSource::embedded("data:image/svg+xml;base64,PHN2Zz4=", "p", "n");
    EXPECT_FALSE(builtin.isIdentical(embedded));
}

TEST(Identity, ElementLists) {
    const std::vector<Element> one{test::minimalElement(ElementType::text)};
    const std::vector<Element> two{test::minimalElement(ElementType::text), test::minimalElement(ElementType::text)};
    EXPECT_TRUE(elementsAreIdentical({}, {}));
    EXPECT_FALSE(elementsAreIdentical(one, two));
    EXPECT_TRUE(elementsAreIdentical(two, two));
    std::vector<Element> changed = two;
    changed[1].y = -0.0;
    EXPECT_FALSE(elementsAreIdentical(two, changed));
    EXPECT_TRUE(elementsAreIdentical(two, std::vector<Element>(two)));
}

}  // namespace
}  // namespace dv
