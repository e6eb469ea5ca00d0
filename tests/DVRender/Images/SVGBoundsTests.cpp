#include "DVRender/Images/SVGBounds.hpp"
#include "DVRender/Images/SVGImage.hpp"
#include "Platform/SVG/SVGDocument.hpp"
#include "Platform/XML/XMLDocument.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

namespace dv {
namespace {

std::span<const std::uint8_t> bytes(const std::string& s) { return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }

const std::string head = "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
                         "width='100' height='100'>";

std::string repeated(const std::string& s, std::int64_t n) {
    std::string out;
    for (std::int64_t i = 0; i < n; ++i) out += s;
    return out;
}

std::string ones(std::int64_t n) {
    std::string out;
    for (std::int64_t i = 0; i < n; ++i) out += i ? " 1" : "1";
    return out;
}

// One filter of the given primitives applied to `uses` full-size rectangles.
std::string filtered(const std::string& primitives, std::int64_t uses = 1, const std::string& attributes = "") {
    return head + "<filter id='f' " + attributes + ">" + primitives + "</filter>" +
           repeated("<rect width='100' height='100' fill='red' filter='url(#f)'/>", uses) + "</svg>";
}

std::optional<SVGMeasure> measured(const std::string& svg) {
    auto doc = xml::Document::parse(svg);
    if (!doc) return std::nullopt;
    return measureSvg(doc->root());
}

SVGCost costOf(const std::string& svg) {
    auto m = measured(svg);
    EXPECT_TRUE(m) << svg.substr(0, 200);
    return m ? m->cost : SVGCost{};
}

bool loads(const std::string& svg) { return SVGImage::load(bytes(svg)) != nullptr; }

// Each bound at, just inside and just past: the document loads exactly when within.
TEST(SVGBounds, EachBoundAtJustInsideAndJustPast) {
    struct Case { std::string what; std::string svg; bool loads; };
    // A <use> of a group of k rectangles counts 2 + k where it is drawn; the defs count 2 + k once.
    auto uses = [](std::int64_t k, std::int64_t n) {
        return head + "<defs><g id='g'>" + repeated("<rect width='1' height='1'/>", k) + "</g></defs>" +
               repeated("<use href='#g'/>", n) + "</svg>";
    };
    // 1 (svg) + (2 + 98) + 198 * (1 + 1 + 98) + r = 19,901 + r nodes.
    auto nodes = [&](std::int64_t r) {
        std::string s = uses(98, 198);
        return s.substr(0, s.size() - 6) + repeated("<rect/>", r) + "</svg>";
    };
    auto nested = [](int n) {
        return head + repeated("<g opacity='0.5'>", n) + "<rect width='10' height='10'/>" + repeated("</g>", n) +
               "</svg>";
    };
    auto text = [](std::int64_t n) { return head + "<text y='10'>" + std::string(static_cast<std::size_t>(n), 'x') + "</text></svg>"; };
    const Case cases[] = {
        // Convolution kernels: 400 values or more that do not match the order make the renderer
        // abort; the work of a kernel is 8 a value, so an order of 11 is the largest square one
        // within the budget.
        {"mismatched kernel of 399 values", filtered("<feConvolveMatrix order='1 20' kernelMatrix='" + ones(20) + "'/>" +
                                                     "<feConvolveMatrix order='3' kernelMatrix='" + ones(399) + "'/>"), true},
        {"mismatched kernel of 400 values", filtered("<feConvolveMatrix order='3' kernelMatrix='" + ones(400) + "'/>"), false},
        {"mismatched kernel of 401 values", filtered("<feConvolveMatrix order='3' kernelMatrix='" + ones(401) + "'/>"), false},
        {"a kernel of what is not numbers", filtered("<feConvolveMatrix order='3' kernelMatrix='1 1 1 1 x 1 1 1 1'/>"), false},
        {"order 20 x 20", filtered("<feConvolveMatrix order='20' kernelMatrix='" + ones(400) + "'/>"), false},
        {"order 21", filtered("<feConvolveMatrix order='21' kernelMatrix='" + ones(441) + "'/>"), false},
        {"order 20 21", filtered("<feConvolveMatrix order='20 21' kernelMatrix='" + ones(420) + "'/>"), false},
        {"order 11", filtered("<feConvolveMatrix order='11' kernelMatrix='" + ones(121) + "'/>"), true},
        {"order 12", filtered("<feConvolveMatrix order='12' kernelMatrix='" + ones(144) + "'/>"), false},
        {"order 0", filtered("<feConvolveMatrix order='0' kernelMatrix=''/>"), false},
        {"order of three numbers", filtered("<feConvolveMatrix order='3 3 3' kernelMatrix='" + ones(9) + "'/>"), false},
        // Filter work: a feOffset costs 4, so 250 rectangles through it reach the budget of 1000.
        {"work 996", filtered("<feOffset dx='1'/>", 249), true},
        {"work 1000", filtered("<feOffset dx='1'/>", 250), true},
        {"work 1004", filtered("<feOffset dx='1'/>", 251), false},
        {"morphology", filtered("<feMorphology radius='1'/>"), false},
        {"10,000 merge nodes", filtered("<feMerge>" + repeated("<feMergeNode/>", 10'000) + "</feMerge>"), false},
        // Nodes through references.
        {"19,999 nodes", nodes(98), true},
        {"20,000 nodes", nodes(99), true},
        {"20,001 nodes", nodes(100), false},
        {"100,000 shapes through 5 x 10 uses", [] {
             std::string s = head + "<defs><g id='a0'>" + repeated("<rect width='1' height='1'/>", 10) + "</g>";
             for (int i = 1; i <= 5; ++i) {
                 s += "<g id='a" + std::to_string(i) + "'>" +
                      repeated("<use href='#a" + std::to_string(i - 1) + "'/>", 10) + "</g>";
             }
             return s + "</defs><use href='#a5'/></svg>";
         }(), false},
        {"a reference cycle", head + "<g id='a'><use href='#b'/></g><g id='b'><use href='#a'/></g></svg>", false},
        // Offscreen surfaces: each translucent group holds one while its content is drawn.
        {"31 nested layers", nested(31), true},
        {"32 nested layers", nested(32), true},
        {"33 nested layers", nested(33), false},
        // Text.
        {"19,999 bytes of text", text(19'999), true},
        {"20,000 bytes of text", text(20'000), true},
        {"20,001 bytes of text", text(20'001), false},
        // A marker is drawn at every vertex of the outline that uses it.
        {"markers on 150 vertices", head + "<marker id='m'>" + repeated("<circle r='1'/>", 50) +
                                        "</marker><polyline marker-mid='url(#m)' points='" + ones(300) + "'/></svg>", true},
        {"markers on 20,000 vertices", head + "<marker id='m'>" + repeated("<circle r='1'/>", 50) +
                                           "</marker><polyline marker-mid='url(#m)' points='" + ones(40'000) +
                                           "'/></svg>", false},
        // Style sheets may give a filter to every element.
        {"a style sheet's filter on 250 elements", head + "<style>rect{filter:url(#f)}</style><filter id='f'>"
                                                          "<feOffset dx='1'/></filter>" +
                                                          repeated("<rect width='1' height='1'/>", 250) + "</svg>", true},
        {"a style sheet's filter on 251 elements", head + "<style>rect{filter:url(#f)}</style><filter id='f'>"
                                                          "<feOffset dx='1'/></filter>" +
                                                          repeated("<rect width='1' height='1'/>", 251) + "</svg>", false},
        // Rules of plain class selectors reach only their class; a rule may reach into what it refers to.
        {"a class's layer on 500 of 1,000 paths", head + "<style>.a{opacity:0.5} .b, #c{clip-path:url(#c)}</style>"
                                                         "<clipPath id='c'><rect class='b' width='9' height='9'/></clipPath>" +
                                                         repeated("<path class='x a' d='M0 0 L1 1'/><path d='M0 0 L1 1'/>", 500) +
                                                         "</svg>", true},
        {"a class's layer on 501 paths", head + "<style>.a{opacity:0.5}</style>" +
                                             repeated("<path class='a' d='M0 0 L1 1'/>", 501) + "</svg>", false},
        {"filter functions in style", head + repeated("<rect width='1' height='1' style='filter:blur(2px)'/>", 16) + "</svg>", true},
        {"filter functions in style past the work", head + repeated("<rect width='1' height='1' style='filter:blur(2px)'/>", 17) + "</svg>", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(loads(c.svg), c.loads) << c.what;
    }
}

TEST(SVGBounds, CostsCountEveryPlaceAReferenceIsDrawn) {
    // svg 1, defs 1 + g 1 + 10 rects, and each of 3 uses 1 + 11.
    const auto c = costOf(head + "<defs><g id='g'>" + repeated("<rect width='1' height='1'/>", 10) + "</g></defs>" +
                          repeated("<use xlink:href='#g'/>", 3) + "</svg>");
    EXPECT_EQ(c.nodes, 1 + 12 + 3 * 12);
    EXPECT_EQ(c.work, 0);
    EXPECT_EQ(c.surfaces, 0);
    // Two rectangles through a filter of a blur (60) and an offset (4): 4 surfaces each, not held
    // at once; an unused filter costs nothing but its nodes.
    const auto f = costOf(head + "<filter id='f'><feGaussianBlur stdDeviation='2'/><feOffset/></filter>"
                                 "<filter id='unused'><feMorphology/></filter>"
                                 "<rect filter='url(#f)' width='1' height='1'/><rect style='filter: url(\"#f\")'/></svg>");
    EXPECT_EQ(f.work, 2 * 64);
    EXPECT_EQ(f.surfaces, 4);
    EXPECT_EQ(f.nodes, 1 + 3 + 2 + 2 * (1 + 3));

    // The renderer clips a filter's region to the picture and has no filter resolution: neither
    // changes what a filter costs.
    const std::string blur = "<feGaussianBlur stdDeviation='5'/>";
    EXPECT_EQ(costOf(filtered(blur, 3, "x='-1e30' y='-1e30' width='1e38' height='1e38' filterUnits='userSpaceOnUse' "
                                       "filterRes='1e9 1e9'")),
              costOf(filtered(blur, 3)));
    // Octaves cost 70 each, up to ten.
    EXPECT_EQ(costOf(filtered("<feTurbulence numOctaves='9'/>")).work, 9 * 70);
    EXPECT_EQ(costOf(filtered("<feTurbulence numOctaves='10'/>")).work, 10 * 70);
    EXPECT_EQ(costOf(filtered("<feTurbulence numOctaves='100000'/>")).work, 10 * 70);
}

TEST(SVGBounds, OctavesAndKernelUnitsAreLoweredWithoutChangingThePicture) {
    struct Case { std::string lowered, reference; };
    const Case cases[] = {
        {filtered("<feTurbulence baseFrequency='0.05' numOctaves='100000'/>"),
         filtered("<feTurbulence baseFrequency='0.05' numOctaves='10'/>")},
        {filtered("<feTurbulence baseFrequency='0.05' numOctaves='1e9'/>"),
         filtered("<feTurbulence baseFrequency='0.05' numOctaves='10'/>")},
        {filtered("<feTurbulence baseFrequency='0.05' numOctaves='11'/>"),
         filtered("<feTurbulence baseFrequency='0.05' numOctaves='10'/>")},
        {filtered("<feDiffuseLighting kernelUnitLength='0.005'><feDistantLight/></feDiffuseLighting>"),
         filtered("<feDiffuseLighting><feDistantLight/></feDiffuseLighting>")},
        {filtered("<feSpecularLighting kernelUnitLength='0.001 0.001'><fePointLight z='5'/></feSpecularLighting>"),
         filtered("<feSpecularLighting><fePointLight z='5'/></feSpecularLighting>")},
        {filtered("<feConvolveMatrix kernelUnitLength='1e-9' kernelMatrix='" + ones(9) + "'/>"),
         filtered("<feConvolveMatrix kernelMatrix='" + ones(9) + "'/>")},
    };
    for (const auto& c : cases) {
        auto m = measured(c.lowered);
        ASSERT_TRUE(m);
        EXPECT_TRUE(m->rewritten);
        EXPECT_FALSE(measured(c.reference)->rewritten);
        auto a = SVGImage::load(bytes(c.lowered));
        auto b = SVGImage::load(bytes(c.reference));
        ASSERT_TRUE(a && b) << c.lowered;
        auto pa = a->rasterize(64, 64), pb = b->rasterize(64, 64);
        ASSERT_TRUE(pa && pb);
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) ASSERT_EQ(pa->pixel(x, y), pb->pixel(x, y)) << c.lowered << " at " << x << "," << y;
        }
    }
}

// The documents an SVG links as data: images count with it, and cannot be rewritten.
TEST(SVGBounds, LinkedDocumentsCountWithTheirImage) {
    auto outer = [](const std::string& octaves, int copies) {
        const std::string inner = "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'><filter id='f'>"
                                  "<feTurbulence numOctaves='" + octaves + "'/></filter><rect filter='url(#f)'/></svg>";
        std::string encoded;
        for (unsigned char c : inner) {
            static constexpr char hex[] = "0123456789ABCDEF";
            if (std::isalnum(c)) encoded += static_cast<char>(c);
            else encoded += std::string("%") + hex[c >> 4] + hex[c & 15];
        }
        return head + repeated("<rect width='10' height='10' fill='url(data:image/svg+xml," + encoded + ")'/>", copies) +
               "</svg>";
    };
    EXPECT_TRUE(loads(outer("5", 1)));
    EXPECT_FALSE(loads(outer("100", 1)));
    // 350 work each: two fit, three do not.
    EXPECT_TRUE(loads(outer("5", 2)));
    EXPECT_FALSE(loads(outer("5", 3)));
}

// A document past a bound never reaches the renderer.
TEST(SVGBounds, RefusedDocumentsAreNeverHandedToTheRenderer) {
    const auto before = gfx::SVGDocument::loadCount();
    EXPECT_FALSE(loads(filtered("<feConvolveMatrix order='21' kernelMatrix='" + ones(441) + "'/>")));
    EXPECT_EQ(gfx::SVGDocument::loadCount(), before);
}

}  // namespace
}  // namespace dv
