#include "DVModel/ElementValidation.hpp"
#include "DVModel/Identity.hpp"

#include "ElementSamples.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace dv {
namespace {

using A = JSONValue::Array;
using Keys = std::vector<std::string>;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kTwoPi = 6.283185307179586;

JSONObject base(ElementType type) { return test::fullElement(type).jsonObject(); }

bool accepts(const JSONObject& object) { return ElementValidation::parseElement(JSONValue(object)).has_value(); }

// The object with `key` set; a key in the form "outer.inner" sets a member of a nested object,
// "outer[i]" an entry of a nested array.
JSONObject with(JSONObject object, const std::string& key, JSONValue value) {
    const auto dot = key.find('.');
    const auto bracket = key.find('[');
    if (dot != std::string::npos) {
        JSONObject inner = *object.find(key.substr(0, dot))->objectValue();
        inner.set(key.substr(dot + 1), std::move(value));
        object.set(key.substr(0, dot), JSONValue(std::move(inner)));
    } else if (bracket != std::string::npos) {
        A outer = *object.find(key.substr(0, bracket))->arrayValue();
        outer[std::stoul(key.substr(bracket + 1))] = std::move(value);
        object.set(key.substr(0, bracket), JSONValue(std::move(outer)));
    } else {
        object.set(key, std::move(value));
    }
    return object;
}

// A text of exactly `units` UTF-16 code units, made mostly of a character outside the BMP.
std::string textOfUnits(std::size_t units, const std::string& prefix = "") {
    std::string out = prefix;
    std::size_t n = prefix.size();
    if ((units - n) % 2 == 1) {
        out += "a";
        ++n;
    }
    while (n < units) {
        out += "\xF0\x9F\x98\x80";  // U+1F600, two code units
        n += 2;
    }
    return out;
}

struct NumberRule {
    ElementType type;
    std::string key;
    double lo;
    double hi;
};

TEST(ElementValidation, EveryNumericBoundIsInclusiveAndFinite) {
    using T = ElementType;
    const NumberRule rules[] = {
        {T::rectangle, "x", -1e7, 1e7},
        {T::rectangle, "y", -1e7, 1e7},
        {T::rectangle, "strokeWidth", 0, 1000},
        {T::rectangle, "opacity", 0, 1},
        {T::rectangle, "roughness", 0, 10},
        {T::rectangle, "rotation", -kTwoPi, kTwoPi},
        {T::rectangle, "shadowBlur", 0, 1000},
        {T::rectangle, "shadowOffsetX", -1e7, 1e7},
        {T::rectangle, "shadowOffsetY", -1e7, 1e7},
        {T::rectangle, "width", -1e7, 1e7},
        {T::ellipse, "height", -1e7, 1e7},
        {T::rhombus, "cornerRadius", 0, 1000},
        {T::rectangle, "labelFontSize", 1, 1000},
        {T::shape, "width", -1e7, 1e7},
        {T::shape, "labelFontSize", 1, 1000},
        {T::stencil, "height", -1e7, 1e7},
        {T::line, "x2", -1e7, 1e7},
        {T::line, "y2", -1e7, 1e7},
        {T::line, "cx", -1e7, 1e7},
        {T::line, "cy", -1e7, 1e7},
        {T::line, "startAnchor.x", 0, 1},
        {T::line, "endAnchor.y", 0, 1},
        {T::arrow, "x2", -1e7, 1e7},
        {T::arrow, "labelFontSize", 1, 1000},
        {T::curve, "x2", -1e7, 1e7},
        {T::curve, "cy", -1e7, 1e7},
        {T::text, "padding", 0, 1000},
        {T::text, "fontSize", 1, 1000},
        {T::text, "width", -1e7, 1e7},
        {T::image, "height", -1e7, 1e7},
        {T::image, "naturalWidth", 1, 100000},
        {T::image, "naturalHeight", 1, 100000},
        {T::freehand, "pressures[1]", 0, 1},
    };
    for (const NumberRule& r : rules) {
        SCOPED_TRACE(std::string(toWord(r.type)) + " " + r.key);
        const JSONObject object = base(r.type);
        ASSERT_TRUE(accepts(object));
        EXPECT_TRUE(accepts(with(object, r.key, JSONValue(r.lo))));
        EXPECT_TRUE(accepts(with(object, r.key, JSONValue(r.hi))));
        EXPECT_FALSE(accepts(with(object, r.key, JSONValue(std::nextafter(r.lo, -kInf)))));
        EXPECT_FALSE(accepts(with(object, r.key, JSONValue(std::nextafter(r.hi, kInf)))));
        for (double bad : {std::nan(""), kInf, -kInf}) EXPECT_FALSE(accepts(with(object, r.key, JSONValue(bad))));
        EXPECT_FALSE(accepts(with(object, r.key, JSONValue("1"))));
        EXPECT_FALSE(accepts(with(object, r.key, JSONValue())));
    }
    // Point coordinates, inside the nested arrays.
    for (ElementType type : {T::polygon, T::freehand}) {
        const JSONObject object = base(type);
        EXPECT_TRUE(accepts(with(object, "points[0]", JSONValue(A{-1e7, 1e7}))));
        EXPECT_FALSE(accepts(with(object, "points[0]", JSONValue(A{std::nextafter(-1e7, -kInf), 0}))));
        EXPECT_FALSE(accepts(with(object, "points[2]", JSONValue(A{0, std::nextafter(1e7, kInf)}))));
        EXPECT_FALSE(accepts(with(object, "points[1]", JSONValue(A{0, std::nan("")}))));
    }
    // -0 lies within 0…1.
    EXPECT_TRUE(accepts(with(base(T::rectangle), "opacity", JSONValue(-0.0))));
    EXPECT_FALSE(accepts(with(base(T::rectangle), "rotation", JSONValue(6.3))));
}

struct LengthRule {
    ElementType type;
    std::string key;
    std::size_t max;
    std::string prefix;  // what a valid text of this key starts with
};

TEST(ElementValidation, EveryLengthBoundCountsUTF16Units) {
    using T = ElementType;
    const std::string svg = "data:image/svg+xml;base64,";
    const LengthRule rules[] = {
        {T::rectangle, "id", 128, ""},
        {T::rectangle, "groupId", 128, ""},
        {T::rectangle, "layerName", 1000, ""},
        {T::rectangle, "label", 10000, ""},
        {T::shape, "labelFontFamily", 256, ""},
        {T::line, "startElementId", 128, ""},
        {T::arrow, "endElementId", 128, ""},
        {T::text, "content", 10000, ""},
        {T::text, "fontFamily", 256, ""},
    };
    for (const LengthRule& r : rules) {
        SCOPED_TRACE(std::string(toWord(r.type)) + " " + r.key);
        const JSONObject object = base(r.type);
        const std::string atLimit = textOfUnits(r.max, r.prefix);
        EXPECT_TRUE(accepts(with(object, r.key, JSONValue(atLimit))));
        EXPECT_FALSE(accepts(with(object, r.key, JSONValue(atLimit + "a"))));
        EXPECT_FALSE(accepts(with(object, r.key, JSONValue(1))));
    }
    EXPECT_FALSE(accepts(with(base(T::rectangle), "id", JSONValue(""))));
    EXPECT_TRUE(accepts(with(base(T::rectangle), "label", JSONValue(""))));

    // Stencil references and embedded pictures: their own syntax restricts them to ASCII.
    JSONObject builtin = base(T::stencil);
    const std::string ref128 = std::string(63, 'a') + "/" + std::string(64, 'b');
    EXPECT_TRUE(accepts(with(builtin, "source.ref", JSONValue(ref128))));
    EXPECT_FALSE(accepts(with(builtin, "source.ref", JSONValue("a" + ref128))));
    JSONObject embedded = with(base(T::stencil), "source",
                               JSONValue(StencilSource::embedded(svg + "PHN2Zz4=", "p", "n").jsonObject()));
    embedded.remove("rotation");
    ASSERT_TRUE(accepts(embedded));
    EXPECT_TRUE(accepts(with(embedded, "source.pack", JSONValue(textOfUnits(128)))));
    EXPECT_FALSE(accepts(with(embedded, "source.pack", JSONValue(textOfUnits(129)))));
    EXPECT_TRUE(accepts(with(embedded, "source.name", JSONValue(textOfUnits(256)))));
    EXPECT_FALSE(accepts(with(embedded, "source.name", JSONValue(textOfUnits(257)))));
    const std::string src65536 = svg + std::string(65536 - svg.size(), 'Q');
    EXPECT_TRUE(accepts(with(embedded, "source.src", JSONValue(src65536))));
    EXPECT_FALSE(accepts(with(embedded, "source.src", JSONValue(src65536 + "Q"))));

    const std::string png = "data:image/png;base64,";
    const std::string image10M = png + std::string(10000000 - png.size(), 'A');
    EXPECT_TRUE(accepts(with(base(T::image), "src", JSONValue(image10M))));
    EXPECT_FALSE(accepts(with(base(T::image), "src", JSONValue(image10M + "A"))));
}

TEST(ElementValidation, ElementArraysAndTheirLimits) {
    const auto validate = [](JSONValue v) { return ElementValidation::validateElements(v); };
    EXPECT_EQ(validate(JSONValue(JSONObject{})), std::nullopt);
    EXPECT_EQ(validate(JSONValue(A{})), std::vector<Element>{});
    EXPECT_EQ(validate(JSONValue(A{1, "a", nullptr})), std::nullopt);

    A many;
    for (int i = 0; i < 5000; ++i) {
        many.push_back(test::minimalElement(allCases<ElementType>()[i % 12], "id" + std::to_string(i)).jsonValue());
    }
    const auto all = validate(JSONValue(many));
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), 5000u);
    EXPECT_EQ(all->back().id, "id4999");
    many.push_back(test::minimalElement(ElementType::text, "one more").jsonValue());
    EXPECT_EQ(validate(JSONValue(many)), std::nullopt);

    EXPECT_EQ(ElementValidation::maxElements, 5000u);
    EXPECT_EQ(ElementValidation::maxPointsPerElement, 100000u);
}

TEST(ElementValidation, RepeatedIdsKeepTheFirstValidEntry) {
    Element first = test::minimalElement(ElementType::rectangle, "same");
    Element second = test::minimalElement(ElementType::ellipse, "same");
    JSONObject broken = test::minimalElement(ElementType::text, "dup").jsonObject();
    broken.set("opacity", JSONValue(2));
    const Element valid = test::minimalElement(ElementType::curve, "dup");
    const Element composed = test::minimalElement(ElementType::line, "\u00E9");
    const Element decomposed = test::minimalElement(ElementType::line, "e\u0301");
    const auto out = ElementValidation::validateElements(JSONValue(A{first.jsonValue(), second.jsonValue(), broken,
                                                                     valid.jsonValue(), JSONValue("skip me"),
                                                                     composed.jsonValue(), decomposed.jsonValue()}));
    ASSERT_TRUE(out);
    ASSERT_EQ(out->size(), 4u);
    EXPECT_EQ((*out)[0].type(), ElementType::rectangle);
    EXPECT_EQ((*out)[1].type(), ElementType::curve);
    EXPECT_EQ((*out)[2].id, "\u00E9");
    EXPECT_EQ((*out)[3].id, "e\u0301");
}

TEST(ElementValidation, NullInAnyModelledKeyDropsTheElement) {
    for (ElementType type : allCases<ElementType>()) {
        SCOPED_TRACE(std::string(toWord(type)));
        const JSONObject object = base(type);
        for (const std::string& key : object.keys()) {
            EXPECT_FALSE(accepts(with(object, key, JSONValue()))) << key;
        }
    }
    EXPECT_FALSE(accepts(with(base(ElementType::line), "startAnchor.y", JSONValue())));
    EXPECT_FALSE(accepts(with(base(ElementType::stencil), "source.ref", JSONValue())));
    // an absent optional key is simply absent
    JSONObject noVisible = base(ElementType::rectangle);
    noVisible.remove("visible");
    const auto element = ElementValidation::parseElement(JSONValue(noVisible));
    ASSERT_TRUE(element);
    EXPECT_FALSE(element->visible);
}

TEST(ElementValidation, WordsMatchExactly) {
    using T = ElementType;
    const std::pair<T, std::string> keys[] = {
        {T::rectangle, "type"},     {T::rectangle, "strokeStyle"},  {T::rectangle, "lineCap"},
        {T::rectangle, "lineJoin"}, {T::shape, "kind"},             {T::line, "routing"},
        {T::line, "arrowHead"},     {T::line, "startHeadStyle"},    {T::arrow, "endHeadStyle"},
        {T::text, "textAlign"},     {T::stencil, "source.kind"},
    };
    for (const auto& [type, key] : keys) {
        SCOPED_TRACE(key);
        const JSONObject object = base(type);
        const JSONValue* current = key.find('.') == std::string::npos ? object.find(key)
                                                                       : object.find("source")->objectValue()->find("kind");
        std::string word = *current->stringValue();
        word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
        EXPECT_FALSE(accepts(with(object, key, JSONValue(word))));
        EXPECT_FALSE(accepts(with(object, key, JSONValue(*current->stringValue() + " "))));
    }
    EXPECT_FALSE(accepts(with(base(T::shape), "kind", JSONValue("process"))));
}

TEST(ElementValidation, ColoursGoThroughTheColourGate) {
    for (const char* key : {"strokeColor", "fillColor", "shadowColor", "labelColor"}) {
        const JSONObject object = base(ElementType::rectangle);
        EXPECT_TRUE(accepts(with(object, key, JSONValue("rgb(1, 2, 3)")))) << key;
        EXPECT_FALSE(accepts(with(object, key, JSONValue(" #fff")))) << key;
        EXPECT_FALSE(accepts(with(object, key, JSONValue(std::string(129, 'a'))))) << key;
    }
    EXPECT_TRUE(ElementValidation::isCssColor(JSONValue("none")));
    EXPECT_FALSE(ElementValidation::isCssColor(JSONValue(1)));
    EXPECT_FALSE(ElementValidation::isCssColor(JSONValue("rgb()")));
}

TEST(ElementValidation, UnknownKeysGoToExtraInObjectOrder) {
    JSONObject rect = base(ElementType::rectangle);
    rect.set("points", JSONValue(A{1}));
    rect.set("meta", JSONValue());
    rect.set("x2", JSONValue("anything"));
    auto element = ElementValidation::parseElement(JSONValue(rect));
    ASSERT_TRUE(element);
    EXPECT_EQ(element->extra.keys(), (Keys{"points", "meta", "x2"}));
    EXPECT_TRUE(element->extra.find("meta")->isNull());

    JSONObject arrow = base(ElementType::arrow);
    for (const char* key : {"cx", "cy", "startHeadStyle", "arrowHead"}) arrow.set(key, JSONValue("unchecked"));
    element = ElementValidation::parseElement(JSONValue(arrow));
    ASSERT_TRUE(element);
    EXPECT_EQ(element->extra.keys(), (Keys{"cx", "cy", "startHeadStyle", "arrowHead"}));
    EXPECT_FALSE(accepts(with(base(ElementType::line), "cx", JSONValue("a"))));

    // A source's and an anchor's own unknown keys stay with them.
    const auto stencil = ElementValidation::parseElement(
        JSONValue(with(base(ElementType::stencil), "source.style", JSONValue("outline"))));
    ASSERT_TRUE(stencil);
    EXPECT_EQ(stencil->payload.stencil()->source.extra.keys(), (Keys{"note", "style"}));
    EXPECT_TRUE(stencil->extra.isEmpty());
    const auto line = ElementValidation::parseElement(JSONValue(base(ElementType::line)));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->payload.line()->startAnchor->extra.keys(), Keys{"side"});
}

TEST(ElementValidation, RequiredKeysAndTheirKinds) {
    for (ElementType type : allCases<ElementType>()) {
        const JSONObject object = base(type);
        for (std::string_view key : Element::requiredKeys(type)) {
            JSONObject missing = object;
            missing.remove(key);
            EXPECT_FALSE(accepts(missing)) << toWord(type) << " " << key;
        }
        JSONObject noId = object;
        noId.remove("id");
        EXPECT_FALSE(accepts(noId));
        JSONObject noType = object;
        noType.remove("type");
        EXPECT_FALSE(accepts(noType));
    }
    EXPECT_FALSE(ElementValidation::isValidElement(JSONValue(A{})));
    EXPECT_TRUE(ElementValidation::isValidElement(base(ElementType::image)));
    EXPECT_FALSE(accepts(with(base(ElementType::polygon), "closed", JSONValue(1))));
    EXPECT_FALSE(accepts(with(base(ElementType::text), "bold", JSONValue("true"))));
    EXPECT_FALSE(accepts(with(base(ElementType::line), "startAnchor", JSONValue(A{0, 0}))));
}

TEST(ElementValidation, PointAndPressureCounts) {
    const auto points = [](std::size_t n) {
        A out;
        for (std::size_t i = 0; i < n; ++i) out.push_back(JSONValue(A{double(i), 0}));
        return JSONValue(std::move(out));
    };
    for (ElementType type : {ElementType::polygon, ElementType::freehand}) {
        JSONObject object = base(type);
        object.remove("pressures");
        EXPECT_FALSE(accepts(with(object, "points", points(1))));
        EXPECT_TRUE(accepts(with(object, "points", points(2))));
        EXPECT_TRUE(accepts(with(object, "points", points(100000))));
        EXPECT_FALSE(accepts(with(object, "points", points(100001))));
        EXPECT_FALSE(accepts(with(object, "points[1]", JSONValue(A{1, 2, 3}))));
        EXPECT_FALSE(accepts(with(object, "points[1]", JSONValue(A{1}))));
    }
    const JSONObject freehand = base(ElementType::freehand);  // three points, three pressures
    EXPECT_FALSE(accepts(with(freehand, "pressures", JSONValue(A{0.5, 0.5}))));
    EXPECT_FALSE(accepts(with(freehand, "pressures", JSONValue(A{}))));
    EXPECT_FALSE(accepts(with(freehand, "pressures[0]", JSONValue(1.5))));
    // the pressures may come before the points in the object
    JSONObject reordered;
    reordered.set("pressures", JSONValue(A{0, 1}));
    for (const auto& [key, value] : freehand) {
        if (key != "pressures") reordered.set(key, key == "points" ? points(2) : value);
    }
    EXPECT_TRUE(accepts(reordered));
}

TEST(ElementValidation, StencilSourcesAndRotation) {
    const std::string svg = "data:image/svg+xml;base64,PHN2Zz4=";
    JSONObject embedded =
        with(base(ElementType::stencil), "source", JSONValue(StencilSource::embedded(svg, "p", "n").jsonObject()));
    EXPECT_FALSE(accepts(with(embedded, "rotation", JSONValue(0.5))));
    EXPECT_TRUE(accepts(with(embedded, "rotation", JSONValue(-0.0))));
    EXPECT_TRUE(accepts(with(embedded, "rotation", JSONValue(0.0))));
    embedded.remove("rotation");
    EXPECT_TRUE(accepts(embedded));
    EXPECT_TRUE(accepts(with(base(ElementType::stencil), "rotation", JSONValue(1))));

    JSONObject noRef = base(ElementType::stencil);
    JSONObject source = *noRef.find("source")->objectValue();
    source.remove("ref");
    EXPECT_FALSE(accepts(with(noRef, "source", JSONValue(source))));
    EXPECT_FALSE(accepts(with(base(ElementType::stencil), "source.ref", JSONValue("K8s/pod"))));
    EXPECT_FALSE(accepts(with(embedded, "source.src", JSONValue("data:image/svg+xml;base64,"))));
    EXPECT_FALSE(accepts(with(base(ElementType::stencil), "source", JSONValue("generic/server"))));
}

TEST(ElementValidation, ImageSources) {
    const JSONObject image = base(ElementType::image);
    for (const char* src : {"data:image/png;base64,", "DATA:Image/PNG;Base64,x", "data:image/jpg;base64,x",
                            "data:image/jpeg;base64,x", "data:image/gif;base64,x", "data:image/webp;base64,x",
                            "data:image/SVG+xml;base64,x"}) {
        EXPECT_TRUE(accepts(with(image, "src", JSONValue(src)))) << src;
    }
    for (const char* src : {"data:image/bmp;base64,x", "data:image/png,x", "data:image/png", "https://x/y.png", ""}) {
        EXPECT_FALSE(accepts(with(image, "src", JSONValue(src)))) << src;
    }
}

TEST(ElementValidation, Viewports) {
    const auto viewport = [](double x, double y, double zoom) {
        return ElementValidation::validateViewport(
            JSONValue(JSONObject{{"offsetX", JSONValue(x)}, {"offsetY", JSONValue(y)}, {"zoom", JSONValue(zoom)}}));
    };
    EXPECT_EQ(viewport(1, 2, 0.05), (Viewport{1, 2, 0.05}));
    EXPECT_TRUE(viewport(0, 0, 30));
    EXPECT_FALSE(viewport(0, 0, 0.049));
    EXPECT_FALSE(viewport(0, 0, 30.5));
    EXPECT_FALSE(viewport(0, 0, std::nextafter(30.0, kInf)));
    EXPECT_TRUE(viewport(1e7, -1e7, 1));
    EXPECT_FALSE(viewport(std::nextafter(1e7, kInf), 0, 1));
    EXPECT_FALSE(viewport(0, std::nextafter(-1e7, -kInf), 1));
    EXPECT_FALSE(viewport(std::nan(""), 0, 1));
    EXPECT_FALSE(ElementValidation::validateViewport(JSONValue(JSONObject{{"offsetX", JSONValue(0)},
                                                                           {"offsetY", JSONValue(0)}})));
    EXPECT_EQ(ElementValidation::validateViewport(JSONValue(JSONObject{{"extra", JSONValue()},
                                                                        {"zoom", JSONValue(2)},
                                                                        {"offsetY", JSONValue(0)},
                                                                        {"offsetX", JSONValue(0)}})),
              (Viewport{0, 0, 2}));
    EXPECT_FALSE(ElementValidation::validateViewport(JSONValue(A{0, 0, 1})));
}

TEST(ElementValidation, WrittenElementsReadBackIdentical) {
    std::mt19937_64 rng(20261209);
    for (int i = 0; i < 100000; ++i) {
        const Element e = test::randomValidElement(rng, std::to_string(i).append("r"));
        const auto back = ElementValidation::parseElement(e.jsonValue());
        ASSERT_TRUE(back) << i;
        ASSERT_TRUE(back->isIdentical(e)) << i;
    }
}

// Valid elements with one key given a random value of any kind: whatever is accepted must write
// and read back identical, and its extra must hold none of the keys its kind models.
TEST(ElementValidation, MutatedElementsNeverYieldInconsistentResults) {
    std::mt19937_64 rng(99);
    const JSONValue values[] = {JSONValue(),         JSONValue(true),      JSONValue(-0.0),
                                JSONValue(1e7),      JSONValue(1e300),     JSONValue(std::nan("")),
                                JSONValue(""),       JSONValue("solid"),   JSONValue("k8s/pod"),
                                JSONValue(A{}),      JSONValue(A{A{1, 2}, A{3, 4}}), JSONValue(A{0.5, 0.5}),
                                JSONValue(JSONObject()), JSONValue(StencilSource::builtin("generic/x").jsonObject())};
    for (int i = 0; i < 20000; ++i) {
        const Element e = test::randomValidElement(rng, std::to_string(i).append("m"));
        JSONObject object = e.jsonObject();
        const std::string key(object.keyAt(rng() % object.count()));
        object.set(key, values[rng() % std::size(values)]);
        const auto parsed = ElementValidation::parseElement(JSONValue(object));
        ASSERT_EQ(parsed.has_value(), ElementValidation::isValidElement(JSONValue(object)));
        if (!parsed) continue;
        const auto again = ElementValidation::parseElement(parsed->jsonValue());
        ASSERT_TRUE(again) << key;
        ASSERT_TRUE(again->isIdentical(*parsed)) << key;
        Element bare = *parsed;
        bare.extra = JSONObject();
        for (const std::string& k : parsed->extra.keys()) ASSERT_FALSE(bare.jsonObject().contains(k)) << k;
    }
}

// Validation that takes texts and values out of the JSON, and the list fed entry by entry, must
// give exactly what validation of a const tree gives, for accepted and refused input alike.
TEST(ElementValidation, TakingFromTheTreeGivesTheSameElements) {
    std::mt19937_64 rng(1213);
    const JSONValue odd[] = {JSONValue(),           JSONValue(3),       JSONValue("solid"),
                             JSONValue(A{1, 2}),    JSONValue(-0.0),    JSONValue(std::string(300, 'x')),
                             JSONValue(JSONObject{{"k", JSONValue(A{JSONValue("v")})}})};
    const auto sameLists = [](const std::optional<std::vector<Element>>& a,
                              const std::optional<std::vector<Element>>& b) {
        return a.has_value() == b.has_value() && (!a || elementsAreIdentical(*a, *b));
    };
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        // Valid elements, some with a key set to an odd value, repeated ids, and entries that are
        // no objects at all.
        A entries;
        const int count = static_cast<int>(rng() % 12);
        for (int i = 0; i < count; ++i) {
            const std::string id = std::to_string(rng() % 8);
            JSONObject object = test::randomValidElement(rng, id).jsonObject();
            if (rng() % 3 == 0) object.set(object.keyAt(rng() % object.count()), odd[rng() % std::size(odd)]);
            entries.push_back(rng() % 10 == 0 ? odd[rng() % std::size(odd)] : JSONValue(std::move(object)));
        }
        const JSONValue tree(entries);

        for (const JSONValue& entry : entries) {
            const auto copied = ElementValidation::parseElement(entry);
            const auto taken = ElementValidation::parseElement(JSONValue(entry));
            ASSERT_EQ(copied.has_value(), taken.has_value());
            if (copied) {
                ASSERT_TRUE(copied->isIdentical(*taken));
            }
        }

        const auto copied = ElementValidation::validateElements(tree);
        JSONValue owned = tree;
        ASSERT_TRUE(sameLists(copied, ElementValidation::validateElements(std::move(owned))));
        ElementValidation::ElementList byCopy, byTaking;
        for (const JSONValue& entry : entries) {
            byCopy.add(entry);
            byTaking.add(JSONValue(entry));
        }
        EXPECT_EQ(byTaking.offered(), entries.size());
        ASSERT_TRUE(sameLists(copied, std::move(byCopy).finish()));
        ASSERT_TRUE(sameLists(copied, std::move(byTaking).finish()));
    }
}

TEST(ElementValidation, ElementListKeepsTheArrayLimits) {
    const JSONValue valid = test::minimalElement(ElementType::rectangle, "r").jsonValue();
    struct Case {
        JSONValue::Array entries;
        std::optional<std::size_t> kept;  // absent: no list at all
    };
    JSONValue::Array tooMany(ElementValidation::maxElements + 1, JSONValue(7));
    tooMany.front() = valid;
    JSONValue::Array atLimit(ElementValidation::maxElements, JSONValue(7));
    atLimit.back() = valid;
    const Case cases[] = {
        {{}, 0},
        {{JSONValue(1), JSONValue("a")}, std::nullopt},
        {{JSONValue(1), valid, valid}, 1},
        {atLimit, 1},
        {tooMany, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entries.size());
        ElementValidation::ElementList list;
        for (const JSONValue& entry : c.entries) list.add(entry);
        const auto out = std::move(list).finish();
        ASSERT_EQ(out.has_value(), c.kept.has_value());
        if (out) {
            EXPECT_EQ(out->size(), *c.kept);
        }
        EXPECT_EQ(ElementValidation::validateElements(JSONValue(A(c.entries))).has_value(), c.kept.has_value());
    }
}

}  // namespace
}  // namespace dv
