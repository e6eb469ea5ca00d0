#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DVIO/BoardFile.hpp"
#include "DVIO/BoardSearchContent.hpp"

namespace dv {
namespace {

using Strings = std::vector<std::string>;

Element element(Element::Payload payload, std::optional<std::string> layer = std::nullopt) {
    Element e;
    e.id = "e";
    e.payload = std::move(payload);
    e.layerName = std::move(layer);
    return e;
}

Element box(std::optional<std::string> label, std::optional<std::string> layer = std::nullopt) {
    Element::Box b;
    b.label = std::move(label);
    return element(Element::Payload::rectangle(b), std::move(layer));
}

Element text(std::string content) {
    Element::Text t;
    t.content = std::move(content);
    return element(t);
}

Element stencil(StencilSource source, std::optional<std::string> label = std::nullopt,
                std::optional<std::string> layer = std::nullopt) {
    Element::Stencil s;
    s.source = std::move(source);
    s.label = std::move(label);
    return element(s, std::move(layer));
}

TEST(BoardSearchContent, CollectsLabelsAndTextsInElementOrder) {
    EXPECT_EQ(BoardSearchContent(std::vector<Element>{}), BoardSearchContent());
    EXPECT_EQ(BoardSearchContent().textContent(), "");

    Element::Shape shape;
    shape.label = "decide";
    Element::Arrow arrow;
    arrow.label = " yes ";
    Element::Line line;
    line.label = "no";
    const std::vector<Element> elements = {
        box("  word "),
        box(" \n\t\u3000\u2028\r\n "),  // only white space and line breaks
        box(std::nullopt),
        text("Same"),
        text("Same"),
        element(shape),
        element(arrow),
        element(line),
        element(Element::Payload::ellipse({})),
        element(Element::Curve{}),
        element(Element::Polygon{}),
        element(Element::Freehand{}),
        element(Element::Image{}),
        text("\xC2\x85tab\t"),
        text("\xEF\xBB\xBFkept"),  // U+FEFF is not trimmed here
    };
    BoardSearchContent content(elements);
    EXPECT_EQ(content.texts, (Strings{"word", "Same", "Same", "decide", "yes", "no", "tab", "\xEF\xBB\xBFkept"}));
    EXPECT_TRUE(content.keywords.empty());
    EXPECT_EQ(content.elementCount, 15);
    EXPECT_EQ(content.textContent(), "word\nSame\nSame\ndecide\nyes\nno\ntab\n\xEF\xBB\xBFkept");
}

TEST(BoardSearchContent, KeywordsFromStencilsAndLayersFirstSpellingWins) {
    struct Case {
        std::vector<Element> elements;
        Strings keywords;
    };
    const Case cases[] = {
        {{stencil(StencilSource::builtin("pack/group/app-server"))}, {"app server"}},
        {{stencil(StencilSource::builtin("pack/group/app-server/"))}, {"app server"}},
        {{stencil(StencilSource::builtin("pack//app-server//"))}, {"app server"}},
        {{stencil(StencilSource::builtin("load-balancer"))}, {"load balancer"}},
        {{stencil(StencilSource::builtin("///"))}, {"///"}},  // no non-empty part: the whole reference
        {{stencil(StencilSource::builtin("-/"))}, {}},   // "-" becomes a space, then trimmed away
        {{stencil(StencilSource::embedded("data:x", "pack", "my-icon"))}, {"my-icon"}},
        {{box("a", "Layer"), box("b", "LAYER"), box("c", "layer ")}, {"Layer"}},
        {{stencil(StencilSource::embedded("data:x", "pack", "Cloud"), std::nullopt, "cloud")}, {"Cloud"}},
        {{box("a", "Caf\xC3\xA9"), box("b", "CAFE\xCC\x81")}, {"Caf\xC3\xA9"}},  // canonically equal
        {{box("a", "\xC3\x9F"), box("b", "SS")}, {"\xC3\x9F", "SS"}},  // lower-casing does not fold
        {{box("a", "  "), text("t")}, {}},
        {{element(Element::Freehand{}, "Sketch")}, {"Sketch"}},
    };
    for (const Case& c : cases) {
        BoardSearchContent content(c.elements);
        EXPECT_EQ(content.keywords, c.keywords);
        EXPECT_EQ(content.elementCount, static_cast<std::int64_t>(c.elements.size()));
    }
    // The stencil's label is a text; its keyword comes before the layer name.
    BoardSearchContent content({stencil(StencilSource::builtin("k8s/pod"), "web pod", "Cluster")});
    EXPECT_EQ(content.texts, Strings{"web pod"});
    EXPECT_EQ(content.keywords, (Strings{"pod", "Cluster"}));
}

TEST(BoardSearchContent, TextContentIsCutAtOneHundredThousandCharacters) {
    const std::string combining = "e\xCC\x81";  // one character of two code points
    struct Case {
        Strings texts;
        std::size_t expectedBytes;
    };
    const std::string full(99999, 'a');
    const Case cases[] = {
        {{std::string(100000, 'a')}, 100000},
        {{std::string(100001, 'a')}, 100000},
        {{full, "b"}, 100000},                  // "a"... "\n" is the 100000th character
        {{full, "bc"}, 100000},                 // "b" would be the 100001st
        {{std::string(99998, 'a'), "b"}, 100000},
        {{std::string(99999, 'x') + combining + "z"}, 99999 + combining.size()},  // not split
        {{std::string(100001 / 2, 'x'), std::string(100001 / 2, 'y')}, 100000},
    };
    for (const Case& c : cases) {
        BoardSearchContent content;
        content.texts = c.texts;
        std::string joined;
        for (std::size_t i = 0; i < c.texts.size(); ++i) {
            if (i) joined += '\n';
            joined += c.texts[i];
        }
        EXPECT_EQ(content.textContent(), joined.substr(0, c.expectedBytes));
    }
    BoardSearchContent accents;
    for (int i = 0; i < 100001; ++i) accents.texts.push_back(i % 2 ? combining : "\xC3\xA9");
    std::string cut = accents.textContent();
    // 50000 texts, each followed by its line feed: half of them two bytes long, half three.
    EXPECT_EQ(cut.size(), 25000u * (2 + 1) + 25000u * (3 + 1));
    EXPECT_EQ(cut.back(), '\n');
}

TEST(BoardSearchContent, ReadsBoardFilesAndPassesReadErrorsOn) {
    const std::string board =
        "{\"version\":1,\"elements\":[{\"id\":\"t\",\"type\":\"text\",\"x\":0,\"y\":0,\"strokeColor\":\"#000000\","
        "\"fillColor\":\"#ffffff\",\"strokeWidth\":1,\"opacity\":1,\"roughness\":0,\"content\":\" Hello \","
        "\"fontSize\":16,\"fontFamily\":\"Virgil\",\"width\":10,\"height\":10,\"layerName\":\"Notes\"},7]}";
    BoardSearchContent content = BoardSearchContent::fromFileData(
        std::span(reinterpret_cast<const std::uint8_t*>(board.data()), board.size()));
    EXPECT_EQ(content.texts, Strings{"Hello"});
    EXPECT_EQ(content.keywords, Strings{"Notes"});
    EXPECT_EQ(content.elementCount, 1);

    const std::string notBoard = "{\"a\":1}";
    try {
        BoardSearchContent::fromFileData(std::span(reinterpret_cast<const std::uint8_t*>(notBoard.data()), notBoard.size()));
        FAIL();
    } catch (const DrevalinFileError& error) {
        EXPECT_EQ(error, DrevalinFileError::missingElements());
    }
}

}  // namespace
}  // namespace dv
