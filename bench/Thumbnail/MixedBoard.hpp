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

// Boxes with labels, ellipses, text, freehand strokes, generic-icon stencils, flowchart shapes and
// labelled arrows bound to their neighbours, spread over a square that grows with the count.
inline std::string mixedBoard(int count) {
    BoardWriter w;
    double side = 200.0 * std::max(10, static_cast<int>(std::sqrt(count)));
    w.text = "{\"version\":1,\"elements\":[";
    auto common = [&](int i, const char* type) {
        w.text += '{';
        w.field("id", "el-" + std::to_string(i));
        w.field("type", std::string(type));
        w.field("x", static_cast<int>(w.next(side)));
        w.field("y", static_cast<int>(w.next(side)));
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
            freehandPoints(w, 80);
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
            w.field("x2", w.next(side));
            w.field("y2", w.next(side));
            w.field("startElementId", "el-" + std::to_string(i - 1 - (i % 3)));
            w.field("endElementId", "el-" + std::to_string(i - 4));
            w.field("label", sentence(w, 1));
        }
        w.text.back() = '}';
        w.text += ',';
    }
    if (w.text.back() == ',') w.text.back() = ']';
    else w.text += ']';
    w.text += '}';
    return w.text;
}

inline fs::path boardFolder() {
    fs::path dir = fs::temp_directory_path() / "drevalin-thumbnail-bench";
    fs::create_directories(dir);
    return dir;
}

inline const fs::path& boardFile(int count) {
    static std::map<int, fs::path> files;
    auto it = files.find(count);
    if (it != files.end()) return it->second;
    fs::path file = boardFolder() / ("mixed-" + std::to_string(count) + ".drevalin");
    const std::string text = mixedBoard(count);
    // A figure is only worth its board: every element must survive reading.
    const std::size_t read =
        readDrevalinFile(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())).document.elements.size();
    if (read != static_cast<std::size_t>(count)) {
        std::fprintf(stderr, "the generated board of %d elements reads as %zu\n", count, read);
        std::abort();
    }
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
