#pragma once
// Builders and markup pieces the SVG export tests share.

#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVRender/Export/SVGExport.hpp"
#include "Platform/XML/XMLDocument.hpp"
#include "tests/DVGeometry/TestElements.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace dv::svgtest {

using dv::Element;
namespace t = dv::test;

inline constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Black stroke, no fill, width 2, fully opaque, solid.
inline Element plain(Element e) {
    e.strokeColor = "#000000";
    e.fillColor = "transparent";
    return e;
}

inline Element rect(double x, double y, double w, double h) { return plain(t::rectangle("r", x, y, w, h)); }

// Every fragment a test looks at must also stand in a document that an XML parser accepts.
inline void expectParses(const std::string& fragment) {
    const std::string document = R"(<svg xmlns="http://www.w3.org/2000/svg">)" + fragment + "</svg>";
    EXPECT_TRUE(dv::xml::Document::parse(document)) << fragment;
}

inline std::optional<std::string> document(const std::vector<Element>& board, const dv::SceneToSVGOptions& options) {
    std::optional<std::string> svg = dv::sceneToSVG(board, options);
    if (svg) {
        EXPECT_TRUE(dv::xml::Document::parse(*svg)) << *svg;
    }
    return svg;
}

inline std::string label(const Element& e, const dv::LabelBox& box, double dx, double dy, std::string_view canvas) {
    std::string out = dv::connectorLabelToSVG(e, box, dx, dy, canvas);
    expectParses(out);
    return out;
}

inline std::string fragment(const Element& e, double dx = 0, double dy = 0) {
    dv::ElementIndex index(std::vector<Element>{e});
    dv::SVGMaskIds ids;
    std::string out = dv::elementToSVG(e, index, dx, dy, ids);
    expectParses(out);
    return out;
}

inline std::vector<std::string> fragments(const std::vector<Element>& elements) {
    dv::ElementIndex index(elements);
    dv::SVGMaskIds ids;
    std::vector<std::string> out;
    for (const Element& e : elements) out.push_back(dv::elementToSVG(e, index, 0, 0, ids));
    for (const std::string& f : out) expectParses(f);
    return out;
}

inline std::size_t count(const std::string& text, const std::string& piece) {
    std::size_t n = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) ++n;
    return n;
}

inline const std::string rectStyle =
    R"(fill="none" stroke="#000000" stroke-width="2" stroke-linecap="round" stroke-linejoin="round" opacity="1")";
inline const std::string connectorStyle =
    R"(stroke="#000000" stroke-width="2" stroke-linecap="round" stroke-linejoin="round" fill="none" opacity="1")";
inline const std::string headStyle =
    R"(stroke="#000000" stroke-width="2" stroke-linecap="round" stroke-linejoin="round" opacity="1")";
inline const std::string maskRect = R"(x="-10000000" y="-10000000" width="20000000" height="20000000")";

}  // namespace dv::svgtest
