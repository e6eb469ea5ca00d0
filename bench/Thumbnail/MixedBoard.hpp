#pragma once
// The generated boards of the thumbnail benchmarks: mixed elements of every common kind, written
// once per count to a temporary folder and shared by the whole-process and the per-stage runs.

#include "bench/DVIO/BoardGenerator.hpp"
#include "DVIO/BoardFile.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <span>
#include <string>

namespace dv::bench {

namespace fs = std::filesystem;

// Where the elements of a mixed board lie.
enum class MixedLayout {
    // Anywhere on the square, so an arrow joining list neighbours crosses the board: the worst
    // case of long connectors.
    scattered,
    // In groups of `GROUP` consecutive elements, each group in its own cell of a grid over the
    // same square, as diagrams are drawn: every arrow joins elements of its own group, except
    // one in `LONG_EVERY`, whose end goes to an element of a group picked at random anywhere.
    grouped,
};

inline constexpr int GROUP = 20, LONG_EVERY = 20;

// Boxes with labels, ellipses, text, freehand strokes, generic-icon stencils, flowchart shapes and
// labelled arrows bound to their neighbours in the list, over a square that grows with the count.
inline std::string mixedBoard(int count, MixedLayout layout = MixedLayout::scattered) {
    BoardWriter w;
    double side = 200.0 * std::max(10, static_cast<int>(std::sqrt(count)));
    const int groups = (count + GROUP - 1) / GROUP;
    const int perRow = std::max(1, static_cast<int>(std::ceil(std::sqrt(groups))));
    const double cell = side / perRow;
    // Both layouts draw the same random numbers, so the scattered board stays what it was.
    auto at = [&](int i, bool vertical) {
        const double r = w.next(layout == MixedLayout::grouped ? cell * 0.8 : side);
        if (layout == MixedLayout::scattered) return r;
        const int group = i / GROUP;
        return (vertical ? group / perRow : group % perRow) * cell + r;
    };
    w.text = "{\"version\":1,\"elements\":[";
    int x = 0, y = 0;
    auto common = [&](int i, const char* type) {
        w.text += '{';
        w.field("id", "el-" + std::to_string(i));
        w.field("type", std::string(type));
        x = static_cast<int>(at(i, false));
        y = static_cast<int>(at(i, true));
        w.field("x", x);
        w.field("y", y);
        w.field("strokeColor", std::string(i % 4 ? "#1e1e1e" : "#1971c2"));
        w.field("fillColor", std::string(i % 3 ? "transparent" : "#a5d8ff"));
        w.field("strokeWidth", 2);
        w.field("opacity", 1);
        w.field("roughness", 1);
    };
    for (int i = 0; i < count; ++i) {
        int kind = i % 10;
        if (kind < 4) {
            common(i, kind < 3 ? "rectangle" : "ellipse");
            w.field("width", 80 + w.next(120));
            w.field("height", 40 + w.next(60));
            w.field("label", sentence(w, 2));
        } else if (kind == 4) {
            common(i, "text");
            w.field("content", sentence(w, 8));
            w.field("fontSize", 16);
            w.field("fontFamily", std::string("sans-serif"));
            w.field("width", 240);
            w.field("height", 40);
        } else if (kind == 5) {
            common(i, "freehand");
            // Points are board coordinates: the scattered board keeps its strokes at the origin.
            if (layout == MixedLayout::grouped) freehandPoints(w, 80, x, y);
            else freehandPoints(w, 80);
        } else if (kind == 6) {
            common(i, "stencil");
            w.field("width", 64);
            w.field("height", 64);
            w.key("source");
            w.text += "{\"kind\":\"builtin\",\"ref\":\"generic/server\"},";
            w.field("label", sentence(w, 1));
        } else if (kind == 7) {
            common(i, "shape");
            w.field("kind", std::string(i % 2 ? "terminator" : "database"));
            w.field("width", 140);
            w.field("height", 70);
            w.field("label", sentence(w, 2));
        } else {
            common(i, "arrow");
            w.field("x2", at(i, false));
            w.field("y2", at(i, true));
            w.field("startElementId", "el-" + std::to_string(i - 1 - (i % 3)));
            int end = i - 4;
            // Arrows are the positions 8 and 9 of every ten; a long one ends on a box (position 0
            // to 3) of another group.
            if (layout == MixedLayout::grouped && (i / 10 * 2 + i % 10 - 8) % LONG_EVERY == LONG_EVERY - 1) {
                const int group = static_cast<int>(w.next(groups));
                end = std::min(count - 1, group * GROUP + i % 4);
                if (end % 10 > 3) end = i - 4;
            }
            w.field("endElementId", "el-" + std::to_string(end));
            w.field("label", sentence(w, 1));
        }
        closeElement(w);
    }
    return closeBoard(w);
}

// Boxes in a square and as many labelled arrows, each joining a box to one half the board
// away: the board on which label layout meets long routes.
inline std::string distantArrowBoard(int count) {
    BoardWriter w;
    const int boxes = count / 2;
    const int side = std::max(1, static_cast<int>(std::sqrt(boxes)));
    w.text = "{\"version\":1,\"elements\":[";
    for (int i = 0; i < count; ++i) {
        const bool box = i < boxes;
        w.text += '{';
        w.field("id", "el-" + std::to_string(i));
        w.field("type", std::string(box ? "rectangle" : "arrow"));
        const int at = box ? i : i - boxes;
        w.field("x", (at % side) * 300);
        w.field("y", (at / side) * 200);
        w.field("strokeColor", std::string("#1e1e1e"));
        w.field("fillColor", std::string("transparent"));
        w.field("strokeWidth", 2);
        w.field("opacity", 1);
        w.field("roughness", 0);
        if (box) {
            w.field("width", 160);
            w.field("height", 80);
            w.field("label", sentence(w, 2));
        } else {
            const int to = (at + boxes / 2 + static_cast<int>(w.next(side))) % boxes;
            w.field("x2", (to % side) * 300);
            w.field("y2", (to / side) * 200);
            w.field("startElementId", "el-" + std::to_string(at));
            w.field("endElementId", "el-" + std::to_string(to));
            w.field("label", sentence(w, 1));
        }
        closeElement(w);
    }
    return closeBoard(w);
}

// A board of one image element around `dataURL`.
inline std::string oneImageBoard(const std::string& dataURL, int width, int height) {
    BoardWriter w;
    w.text = "{\"version\":1,\"elements\":[";
    commonKeys(w, 0, "image");
    w.field("src", dataURL);
    w.field("width", width);
    w.field("height", height);
    w.field("naturalWidth", width);
    w.field("naturalHeight", height);
    closeElement(w);
    w.text.back() = ']';
    w.text += '}';
    return w.text;
}

inline fs::path boardFolder() {
    fs::path dir = fs::temp_directory_path() / "drevalin-thumbnail-bench";
    fs::create_directories(dir);
    return dir;
}

// A figure is only worth its board: every element must survive reading.
inline void checkElementCount(const std::string& name, const std::string& text, std::size_t count) {
    const std::size_t read =
        readDrevalinFile(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())).document.elements.size();
    if (read != count) {
        std::fprintf(stderr, "the generated board %s of %zu elements reads as %zu\n", name.c_str(), count, read);
        std::abort();
    }
}

inline const fs::path& boardFile(int count) {
    static std::map<int, fs::path> files;
    auto it = files.find(count);
    if (it != files.end()) return it->second;
    const std::string name = "mixed-" + std::to_string(count);
    const std::string text = mixedBoard(count);
    checkElementCount(name, text, static_cast<std::size_t>(count));
    fs::path file = boardFolder() / (name + ".drevalin");
    std::ofstream(file, std::ios::binary) << text;
    return files.emplace(count, file).first->second;
}

// A board of its own name written beside the generated ones.
inline fs::path namedBoardFile(const std::string& name, const std::string& text) {
    fs::path file = boardFolder() / (name + ".drevalin");
    std::ofstream(file, std::ios::binary) << text;
    return file;
}

}  // namespace dv::bench
