// Every SVG document the export writes is well-formed XML, whatever the board's texts, ids and
// colours hold, and its masks are unique and referenced by exactly their own connector.

#include "DVModel/UTF8.hpp"
#include "DVRender/Export/SVGExport.hpp"
#include "Platform/XML/XMLDocument.hpp"
#include "tests/DVRender/Export/SVGBoards.hpp"
#include "tests/DVRender/Export/SVGTestSupport.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using namespace dv::svgtest;

// What a parser hands back for escaped text: the characters XML cannot hold are gone, ill-formed
// bytes read as U+FFFD, and line ends are normalised to line feeds; in an attribute, white space
// characters also become spaces.
std::string parsedForm(std::string_view text, bool attribute) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t c = dv::decodeUTF8(text, pos);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF) continue;
        dv::appendUTF8(out, c);
    }
    std::string normalised;
    for (std::size_t i = 0; i < out.size(); ++i) {
        char c = out[i];
        if (c == '\r') {
            if (i + 1 < out.size() && out[i + 1] == '\n') continue;
            c = '\n';
        }
        if (attribute && (c == '\n' || c == '\t')) c = ' ';
        normalised += c;
    }
    return normalised;
}

TEST(SVGWellFormed, EscapedTextReadsBackAsWritten) {
    BoardDice dice(7);
    for (int i = 0; i < 500; ++i) {
        std::string text = hostileText(dice);
        if (dice.chance(0.2)) text += "\xFF\xC3";  // ill-formed bytes
        std::string doc = "<t a=\"";
        dv::appendEscapedXml(doc, text);
        doc += "\">";
        dv::appendEscapedXml(doc, text);
        doc += "</t>";
        const auto parsed = dv::xml::Document::parse(doc);
        ASSERT_TRUE(parsed) << doc;
        EXPECT_EQ(parsed->root().attribute("a"), parsedForm(text, true)) << doc;
        EXPECT_EQ(parsed->root().text(), parsedForm(text, false)) << doc;
    }
}

// Parses the document and checks its masks: ids unique, each referenced by one masked group,
// and no reference to a mask that is not there.
void expectWellFormed(const std::string& svg, const std::string& name) {
    const auto parsed = dv::xml::Document::parse(svg);
    ASSERT_TRUE(parsed) << name << "\n" << svg;
    std::map<std::string, int> masks;
    std::map<std::string, int> uses;
    for (const dv::xml::Element& e : parsed->root().descendants()) {
        if (e.localName() == "mask") ++masks[e.attribute("id").value_or("")];
        if (auto mask = e.attribute("mask")) ++uses[*mask];
    }
    for (const auto& [id, n] : masks) {
        EXPECT_EQ(n, 1) << name << ": mask " << id << " written " << n << " times";
        EXPECT_EQ(uses["url(#" + id + ")"], 1) << name << ": mask " << id;
    }
    EXPECT_EQ(uses.size(), masks.size()) << name;
}

TEST(SVGWellFormed, GeneratedHostileBoards) {
    int masked = 0;
    for (std::uint32_t seed = 1; seed <= 240; ++seed) {
        const auto board = generatedBoard(seed, {.hostile = true, .rotated = true});
        BoardDice dice(seed);
        const std::string canvas = dice.chance(0.5) ? hostileText(dice) : std::string("#ffffff");
        const auto svg = dv::sceneToSVG(board, {canvas, seed % 2 == 0});
        ASSERT_TRUE(svg);
        if (svg->find("<mask ") != std::string::npos) ++masked;
        expectWellFormed(*svg, "seed " + std::to_string(seed));
    }
    // The boards are meant to exercise masks; a generator that stopped making them would pass
    // the checks above without testing anything.
    EXPECT_GT(masked, 100);
}

}  // namespace
