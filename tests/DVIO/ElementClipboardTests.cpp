#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DVIO/ElementClipboard.hpp"
#include "DVIO/JSONParser.hpp"
#include "DVModel/ElementValidation.hpp"

namespace dv {
namespace {

const std::string kBox =
    R"({"id":"b1","type":"rectangle","x":10,"y":20,"strokeColor":"#1e1e1e","fillColor":"transparent",)"
    R"("strokeWidth":2,"opacity":1,"roughness":1,"width":120,"height":60,"label":"Box","custom":[1,"two"]})";
const std::string kEllipse =
    R"({"id":"e1","type":"ellipse","x":-5.5,"y":0,"strokeColor":"#1e1e1e","fillColor":"#ffc9c9",)"
    R"("strokeWidth":1,"opacity":0.5,"roughness":0,"width":40,"height":40})";

std::vector<Element> elementsOf(const std::string& json) {
    return ElementValidation::validateElements(JSONParser::parse(json)).value();
}

TEST(ElementClipboard, TypeAndPrefix) {
    EXPECT_EQ(elementClipboardMIME, "application/x-drevalin-elements");
    EXPECT_EQ(elementClipboardTextPrefix, "drevalin-elements:");
    EXPECT_EQ(elementClipboardTextPrefix.size(), 18u);
}

TEST(ElementClipboard, TextFormIsThePrefixAndCompactJSON) {
    const std::vector<Element> list = elementsOf("[" + kBox + "," + kEllipse + "]");
    const std::string json = serializeElementClipboard(list);
    EXPECT_EQ(json, R"({"version":1,"elements":[)" + kBox + "," + kEllipse + "]}");
    EXPECT_EQ(elementClipboardText(list), "drevalin-elements:" + json);
    EXPECT_EQ(decodeElementClipboard(json), list);
    EXPECT_EQ(decodeElementClipboardText(elementClipboardText(list)), list);
    EXPECT_EQ(serializeElementClipboard({}), R"({"version":1,"elements":[]})");
}

TEST(ElementClipboard, VersionMustEqualTheNumberOne) {
    const std::string elements = R"(,"elements":[)" + kEllipse + "]";
    struct Case {
        std::string json;
        bool decodes;
    };
    const Case cases[] = {
        {R"({"version":1)" + elements + "}", true},
        {R"({"version":1.0)" + elements + "}", true},
        {R"({"version":10e-1)" + elements + "}", true},
        {R"({"version":"1")" + elements + "}", false},
        {R"({"version":true)" + elements + "}", false},
        {R"({"version":2)" + elements + "}", false},
        {R"({"version":[1])" + elements + "}", false},
        {std::string(1, '{').append(elements.substr(1)).append("}"), false},
        {R"({"version":1,"elements":[],"extra":1})", false},
        {R"({"version":1})", false},
        {R"({"version":1,"elements":null})", false},
        {R"({"version":1,"elements":[1,2]})", false},
        {R"({"version":1,"elements":{}})", false},
        {R"({"elements":[)" + kEllipse + R"(],"extra":{"a":1},"version":1})", true},
        {"[" + kEllipse + "]", false},
        {"", false},
        {"{", false},
        {R"({"version":1)" + elements + "} x", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(decodeElementClipboard(c.json).has_value(), c.decodes);
        EXPECT_EQ(decodeElementClipboardText("drevalin-elements:" + c.json).has_value(), c.decodes);
    }
    // Invalid entries are dropped, the others kept.
    EXPECT_EQ(decodeElementClipboard(R"({"version":1,"elements":[{"id":"x"},)" + kEllipse + "]}"), elementsOf("[" + kEllipse + "]"));
}

TEST(ElementClipboard, ThePrefixMustOpenTheText) {
    const std::string json = serializeElementClipboard(elementsOf("[" + kBox + "]"));
    for (const std::string& text : {" drevalin-elements:" + json, "Drevalin-elements:" + json,
                                    "drevalin-elements" + json, json, std::string("drevalin-elements:")}) {
        EXPECT_EQ(decodeElementClipboardText(text), std::nullopt) << text;
    }
}

TEST(ElementClipboard, ThePrivateFormComesFirstEvenWhenItFails) {
    const std::vector<Element> box = elementsOf("[" + kBox + "]"), ellipse = elementsOf("[" + kEllipse + "]");
    const std::string custom = serializeElementClipboard(box), text = elementClipboardText(ellipse);
    EXPECT_EQ(decodeElementClipboard(custom, text), box);
    EXPECT_EQ(decodeElementClipboard(custom, std::nullopt), box);
    EXPECT_EQ(decodeElementClipboard(std::string_view("{not json"), text), std::nullopt);
    EXPECT_EQ(decodeElementClipboard(std::string_view(R"({"version":1,"elements":[]})"), text), std::nullopt);
    EXPECT_EQ(decodeElementClipboard(std::string_view(""), text), ellipse);
    EXPECT_EQ(decodeElementClipboard(std::nullopt, text), ellipse);
    EXPECT_EQ(decodeElementClipboard(std::nullopt, std::nullopt), std::nullopt);
    EXPECT_EQ(decodeElementClipboard(std::string_view(""), std::nullopt), std::nullopt);
}

}  // namespace
}  // namespace dv
