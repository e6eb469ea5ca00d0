#pragma once
// Boards of text only, whose lines reach many font files at once: families in regular, bold,
// italic and bold italic, at many sizes, some rotated, some with Han, Arabic and emoji that
// only fallback fonts show. cairo keeps ten font faces open for the whole process; more files
// than that make threads drawing text at once open and close faces all the time.

#include "DVIO/BoardFile.hpp"
#include "DVRender/Canvas/FontResolver.hpp"
#include "DVRender/Export/RasterExport.hpp"
#include "tests/DVRender/Export/BandBoards.hpp"
#include "Platform/Text/Font.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace dv::test {

struct TextBoard {
    const char* what;
    std::vector<const char*> families;
    bool fallbacks;  // Han, Arabic and emoji in some texts
    int texts;
    std::size_t leastFiles;  // the font files its text must reach
};

inline const std::vector<TextBoard>& textBoards() {
    static const std::vector<TextBoard> boards = {
        {"12 font files", {"Liberation Sans", "Liberation Serif", "Liberation Mono"}, false, 120, 12},
        {"16 font files", {"Liberation Sans", "Liberation Serif", "Liberation Mono", "DejaVu Serif"}, false, 120, 16},
        {"40 font files",
         {"Liberation Sans", "Liberation Serif", "Liberation Mono", "DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono",
          "DejaVu Sans Condensed", "DejaVu Serif Condensed", "FreeSans", "FreeSerif"},
         true, 200, 40},
    };
    return boards;
}


inline std::string textBoardJSON(const TextBoard& board, std::uint64_t seed = 39) {
    Numbers r{seed};
    static const char* const latin[] = {"Quick brown fox", "naïve café Übermaß", "Jumps over 12 lazy dogs",
                                        "WAVY glyphs & kerning", "fi fl ffi ligatures"};
    static const char* const others[] = {"日本語の文字と漢字", "مرحبا بالعالم", "😀🎉🚀 emoji", "中文 and عربي 👍"};
    static const char* const inks[] = {"#1e1e1e", "#1971c2", "#c92a2a", "rgba(0,0,0,0.5)"};
    std::string text = "{\"version\":1,\"elements\":[";
    for (int i = 0; i < board.texts; ++i) {
        // Every family in every style early on, so that each board reaches all its files.
        const std::size_t family = static_cast<std::size_t>(i) % board.families.size();
        const int style = (i / static_cast<int>(board.families.size())) % 4;
        const double size = 10 + r.next(130);
        std::string content = latin[r.pick(5)];
        if (board.fallbacks && r.pick(3) == 0) content += std::string(" ") + others[r.pick(4)];
        std::ostringstream e;
        e << "{\"id\":\"t" << i << "\",\"type\":\"text\",\"x\":" << std::round(r.next(1400)) << ",\"y\":"
          << std::round(r.next(1400)) << ",\"strokeColor\":\"" << inks[r.pick(4)]
          << "\",\"fillColor\":\"transparent\",\"strokeWidth\":1,\"opacity\":1,\"roughness\":0,\"content\":\""
          << content << "\",\"fontSize\":" << size << ",\"fontFamily\":\"" << board.families[family]
          << "\",\"width\":" << std::round(size * 10) << ",\"height\":" << std::round(size * 1.3)
          << ",\"bold\":" << (style & 1 ? "true" : "false") << ",\"italic\":" << (style & 2 ? "true" : "false");
        if (r.pick(4) == 0) e << ",\"rotation\":" << std::round(r.next(628)) / 100;
        e << "}";
        if (i) text += ',';
        text += e.str();
    }
    return text + "]}";
}

inline std::vector<Element> readBoard(const std::string& text) {
    return readDrevalinFile(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())).document.elements;
}

inline std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The font files the texts of a board are shown in, each text laid out as one line.
inline std::set<std::string> fontFilesOf(const std::vector<Element>& elements) {
    std::set<std::string> files;
    for (const Element& element : elements) {
        const Element::Text* text = element.payload.text();
        if (!text) continue;
        CanvasFont font;
        font.size = text->fontSize;
        font.family = text->fontFamily;
        font.bold = text->bold.value_or(false);
        font.italic = text->italic.value_or(false);
        const auto resolved = FontResolver::ctFont(font);
        for (std::string& file : gfx::TextLine(*resolved, text->content).fontFiles()) files.insert(std::move(file));
    }
    return files;
}


}  // namespace dv::test
