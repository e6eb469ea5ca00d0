#include "DVRender/Images/SVGSanitizer.hpp"
#include "Platform/XML/XMLDocument.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

namespace dv {
namespace {

// The sanitised text parsed again, so tests look at structure rather than bytes.
struct Parsed {
    xml::Document doc;
    xml::Element root() const { return doc.root(); }
    bool hasElement(const std::string& qualifiedName) const {
        for (const auto& e : doc.root().descendants()) {
            if (e.qualifiedName() == qualifiedName) return true;
        }
        return false;
    }
    std::optional<std::string> attributeOf(const std::string& element, const std::string& name) const {
        std::vector<xml::Element> all{doc.root()};
        for (const auto& e : doc.root().descendants()) all.push_back(e);
        for (const auto& e : all) {
            if (e.qualifiedName() != element) continue;
            for (const auto& a : e.attributes()) {
                if (a.qualifiedName == name) return a.value;
            }
        }
        return std::nullopt;
    }
};

std::optional<Parsed> sanitized(const std::string& svg) {
    auto out = sanitizeSvg(svg);
    if (!out) return std::nullopt;
    auto doc = xml::Document::parse(*out);
    EXPECT_TRUE(doc) << "sanitised output must parse: " << *out;
    if (!doc) return std::nullopt;
    return Parsed{std::move(*doc)};
}

TEST(SanitizeSvg, RemovesScriptsAndHandlersAndSizesFromTheViewBox) {
    auto p = sanitized("<svg viewBox='0 0 10 10'><script>alert(1)</script><rect onclick='x()' width='10' height='10'/></svg>");
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->hasElement("script"));
    EXPECT_TRUE(p->hasElement("rect"));
    EXPECT_FALSE(p->attributeOf("rect", "onclick"));
    EXPECT_EQ(p->attributeOf("svg", "width"), "10");
    EXPECT_EQ(p->attributeOf("svg", "height"), "10");
    EXPECT_EQ(p->root().namespaceURI(), std::string(SVG_NAMESPACE));
    ASSERT_EQ(p->root().descendants().size(), 1u);
    EXPECT_EQ(p->root().descendants()[0].namespaceURI(), std::string(SVG_NAMESPACE)) << "children land in the SVG namespace";
}

TEST(SanitizeSvg, ForbiddenElements) {
    struct Case { std::string inner; std::string name; bool kept; };
    const std::string svgNs = " xmlns:svg='http://www.w3.org/2000/svg'";
    const Case cases[] = {
        {"<foreignObject><div/></foreignObject>", "foreignObject", false},
        {"<iframe/>", "iframe", false},
        {"<object/>", "object", false},
        {"<embed/>", "embed", false},
        {"<audio/>", "audio", false},
        {"<video/>", "video", false},
        {"<g><animate/></g>", "animate", false},
        {"<animateMotion/>", "animateMotion", false},
        {"<animateTransform/>", "animateTransform", false},
        {"<set/>", "set", false},
        {"<script><script/></script>", "script", false},
        {"<Script/>", "Script", true},
        {"<foreignobject/>", "foreignobject", true},
        // A prefix bound to the SVG namespace names the same element.
        {"<svg:script" + svgNs + ">alert(1)</svg:script>", "svg:script", false},
        {"<x:foreignObject xmlns:x='http://www.w3.org/2000/svg'/>", "x:foreignObject", false},
        // Another namespace, or an undeclared prefix (no namespace at all), is something else.
        {"<h:script xmlns:h='http://www.w3.org/1999/xhtml'/>", "h:script", true},
        {"<svg:script/>", "svg:script", true},
        {"<:script/>", ":script", false},
        {"<svg::set xmlns:svg='urn:x'/>", "svg::set", false},
        {"<a:b:video/>", "a:b:video", false},
    };
    for (const auto& c : cases) {
        auto p = sanitized("<svg>" + c.inner + "<rect/></svg>");
        ASSERT_TRUE(p) << c.inner;
        EXPECT_EQ(p->hasElement(c.name), c.kept) << c.inner;
        EXPECT_TRUE(p->hasElement("rect")) << c.inner;
    }
}

TEST(SanitizeSvg, EventHandlersAndLinks) {
    struct Case { std::string attribute; std::string name; bool kept; };
    const std::string xlink = " xmlns:xlink='http://www.w3.org/1999/xlink'";
    const std::string other = " xmlns:x='http://www.w3.org/1999/xlink'";
    const Case cases[] = {
        {"ONLOAD='x()'", "ONLOAD", false},
        {"onmouseover='x()'", "onmouseover", false},
        {"fill='red'", "fill", true},
        {"href='#a'", "href", true},
        {"href='  #a'", "href", true},
        {"href='DATA:IMAGE/PNG;base64,AAAA'", "href", true},
        {"href=' data:image/jpeg;base64,AAAA'", "href", true},
        {"href='data:image/jpg;base64,AAAA'", "href", true},
        {"href='data:image/gif;base64,AAAA'", "href", true},
        {"href='data:image/webp;base64,AAAA'", "href", true},
        {"href='data:image/svg+xml;base64,AAAA'", "href", false},
        {"href='data:image/png,AAAA'", "href", false},
        {"href='javascript:alert(1)'", "href", false},
        {"href='http://example.com/a.png'", "href", false},
        {"href='file:///etc/passwd'", "href", false},
        {"href=''", "href", false},
        {"HREF='javascript:x'", "HREF", false},
        {"xlink:href='javascript:x'" + xlink, "xlink:href", false},
        {"xlink:href='#a'" + xlink, "xlink:href", true},
        // Any prefix for the XLink namespace, or none declared, is still a link.
        {"x:href='javascript:x'" + other, "x:href", false},
        {"y:HREF='http://example.com'", "y:HREF", false},
        {"x:href='#ok'" + other, "x:href", true},
    };
    for (const auto& c : cases) {
        auto p = sanitized("<svg><a " + c.attribute + "/></svg>");
        ASSERT_TRUE(p) << c.attribute;
        EXPECT_EQ(p->attributeOf("a", c.name).has_value(), c.kept) << c.attribute;
    }
}

TEST(SanitizeSvg, RootAndSize) {
    struct Case {
        std::string svg;
        bool accepted;
        std::optional<std::string> width, height;
    };
    const Case cases[] = {
        {"<SVG viewBox='0 0 5 6'/>", true, "5", "6"},
        {"<svg:svg xmlns:svg='http://www.w3.org/2000/svg'/>", false, {}, {}},
        {"<html/>", false, {}, {}},
        {"<svg><rect></svg>", false, {}, {}},
        {"", false, {}, {}},
        {"not xml", false, {}, {}},
        {"<svg viewBox='0 0 24'/>", true, {}, {}},
        {"<svg viewBox='0 0 24 24,'/>", true, {}, {}},
        {"<svg viewBox=' 0,0,\t24 24 '/>", true, "24", "24"},
        {"<svg viewBox='0 0 a b'/>", true, "a", "b"},
        {"<svg width='50%' viewBox='0 0 100 40'/>", true, "100", "40"},
        {"<svg width='48' height='32' viewBox='0 0 100 40'/>", true, "48", "32"},
        {"<svg width='48' height='100% ' viewBox='0 0 100 40'/>", true, "100", "40"},
        {"<svg width='48' viewBox='0 0 100 40'/>", true, "100", "40"},
        {"<svg width='48' height='32'/>", true, "48", "32"},
        {"<svg viewbox='0 0 1 2'/>", true, {}, {}},
    };
    for (const auto& c : cases) {
        auto p = sanitized(c.svg);
        ASSERT_EQ(p.has_value(), c.accepted) << c.svg;
        if (!p) continue;
        EXPECT_EQ(p->attributeOf(p->root().qualifiedName(), "width"), c.width) << c.svg;
        EXPECT_EQ(p->attributeOf(p->root().qualifiedName(), "height"), c.height) << c.svg;
    }
}

TEST(SanitizeSvg, DefaultNamespaceIsAddedOnce) {
    const std::string withNs = "<svg xmlns='http://www.w3.org/2000/svg'><rect/></svg>";
    auto out = sanitizeSvg(withNs);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->find("xmlns="), out->rfind("xmlns=")) << *out;
    // Another default namespace is left as it is.
    auto other = sanitizeSvg("<svg xmlns='urn:x'/>");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->find("http://www.w3.org/2000/svg"), std::string::npos) << *other;
    // The output is the root element alone: no declaration, doctype or comments around it.
    auto bare = sanitizeSvg("<?xml version='1.0'?><!-- c --><svg><!--inside--><rect/></svg><!-- after -->");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->rfind("<svg", 0), 0u) << *bare;
    EXPECT_NE(bare->find("<!--inside-->"), std::string::npos);
    EXPECT_EQ(bare->find("after"), std::string::npos);
}

TEST(SanitizeSvg, EntitiesNeverReachOutsideTheText) {
    const std::string secretPath = ::testing::TempDir() + "svg-secret.txt";
    {
        std::ofstream(secretPath) << "TOP-SECRET";
    }
    const std::size_t refusedBefore = xml::Document::refusedLoadCount();
    const std::string external = "<!DOCTYPE svg [<!ENTITY x SYSTEM 'file://" + secretPath +
                                 "'>]><svg><text>&x;</text></svg>";
    auto out = sanitizeSvg(external);
    if (out) {
        EXPECT_EQ(out->find("TOP-SECRET"), std::string::npos) << *out;
    }
    EXPECT_GT(xml::Document::refusedLoadCount(), refusedBefore) << "the load was asked for and refused";

    // An external DTD is never fetched either.
    auto dtd = sanitizeSvg("<!DOCTYPE svg SYSTEM 'file://" + secretPath + "'><svg/>");
    if (dtd) {
        EXPECT_EQ(dtd->find("TOP-SECRET"), std::string::npos);
    }
    std::remove(secretPath.c_str());

    // Internal entities expand, so a namespace declared through one is kept.
    auto declared = sanitized("<!DOCTYPE svg [<!ENTITY ns_svg 'http://www.w3.org/2000/svg'>]>"
                              "<svg xmlns='&ns_svg;' viewBox='0 0 4 4'><rect width='4' height='4'/></svg>");
    ASSERT_TRUE(declared);
    EXPECT_EQ(declared->root().namespaceURI(), std::string(SVG_NAMESPACE));

    // A billion laughs stops at the parser's amplification guard.
    std::string bomb = "<!DOCTYPE svg [<!ENTITY a0 'aaaaaaaaaa'>";
    for (int i = 1; i <= 10; ++i) {
        bomb += "<!ENTITY a" + std::to_string(i) + " '";
        for (int k = 0; k < 10; ++k) bomb += "&a" + std::to_string(i - 1) + ";";
        bomb += "'>";
    }
    bomb += "]><svg><text>&a10;</text></svg>";
    auto exploded = sanitizeSvg(bomb);
    EXPECT_FALSE(exploded.has_value());
}

TEST(SplitViewBox, SplitsLikeTheWebsRegularExpressionSplit) {
    struct Case { std::string text; std::vector<std::string> parts; };
    const Case cases[] = {
        {"0 0 24 24", {"0", "0", "24", "24"}},
        {"0,0,24,24", {"0", "0", "24", "24"}},
        {"0, 0,\t24 24", {"0", "0", "24", "24"}},
        {"0 0 24 24,", {"0", "0", "24", "24", ""}},
        {" 0 0", {"", "0", "0"}},
        {"", {""}},
        {"1\xC2\xA0" "2\xE3\x80\x80" "3", {"1", "2", "3"}},  // no-break and ideographic spaces
    };
    for (const auto& c : cases) EXPECT_EQ(splitViewBox(c.text), c.parts) << c.text;
}

}  // namespace
}  // namespace dv
