#pragma once
// Deterministic generators of large inputs for the benchmarks: a typical board of 5000 mixed
// elements (labels, text, freehand strokes, connectors and one embedded image, several MB) and
// a text whose strings are dense with escapes.

#include <charconv>
#include <cstdint>
#include <string>

namespace dv::bench {

class BoardWriter {
public:
    std::string text;

    void number(double value) {
        char buf[32];
        auto res = std::to_chars(buf, buf + sizeof buf, value);
        text.append(buf, res.ptr);
    }
    void key(const char* name) {
        text += '"';
        text += name;
        text += "\":";
    }
    void field(const char* name, double value) {
        key(name);
        number(value);
        text += ',';
    }
    void field(const char* name, const std::string& value) {
        key(name);
        text += '"';
        text += value;
        text += "\",";
    }
    // Linear congruential numbers: the same board on every run.
    double next(double range) {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state_ >> 11) / 9007199254740992.0 * range;
    }

private:
    std::uint64_t state_ = 42;
};

inline const char* const kWords[] = {"service", "queue",  "gateway", "cache",   "worker", "database",
                                     "Überblick", "naïve", "日本語",   "review",  "deploy", "😀 ok"};

inline std::string sentence(BoardWriter& w, int words) {
    std::string out;
    for (int i = 0; i < words; ++i) {
        if (i) out += ' ';
        out += kWords[static_cast<int>(w.next(12))];
    }
    return out;
}

inline void commonKeys(BoardWriter& w, int index, const char* type) {
    w.text += '{';
    w.field("id", "el-" + std::to_string(index));
    w.field("type", std::string(type));
    w.field("x", static_cast<int>(w.next(20000)) - 10000 + 0.5);
    w.field("y", static_cast<int>(w.next(20000)) - 10000 + 0.25);
    w.field("strokeColor", std::string("#1e1e1e"));
    w.field("fillColor", std::string(index % 3 ? "#ffffff" : "#a5d8ff"));
    w.field("strokeWidth", 2);
    w.field("opacity", 1);
    w.field("roughness", 1);
    if (index % 7 == 0) w.field("layerName", std::string("Layer ") + std::to_string(index % 5));
}

// A "points" key with a random walk of `count` points from (x, y), each rounded to hundredths.
inline void freehandPoints(BoardWriter& w, int count, double x = 0, double y = 0) {
    w.key("points");
    w.text += '[';
    for (int p = 0; p < count; ++p) {
        x += w.next(6) - 3;
        y += w.next(6) - 3;
        w.text += '[';
        w.number(static_cast<int>(x * 100) / 100.0);
        w.text += ',';
        w.number(static_cast<int>(y * 100) / 100.0);
        w.text += "],";
    }
    w.text.back() = ']';
    w.text += ',';
}

inline void closeElement(BoardWriter& w) {
    w.text.back() = '}';
    w.text += ',';
}

// Ends the element list, empty or not, and the board.
inline std::string closeBoard(BoardWriter& w) {
    if (w.text.back() == ',') w.text.back() = ']';
    else w.text += ']';
    w.text += '}';
    return w.text;
}

// About 5 MB: 5000 elements, 750 freehand strokes of 150 points, a 2 MB image data URL.
inline std::string typicalBoard() {
    BoardWriter w;
    w.text.reserve(6 << 20);
    w.text += "{\"version\":1,\"viewport\":{\"offsetX\":0,\"offsetY\":0,\"zoom\":1},\"elements\":[";
    for (int i = 0; i < 5000; ++i) {
        int kind = i % 20;
        if (i == 2500) {
            commonKeys(w, i, "image");
            std::string src = "data:image/png;base64,";
            for (int k = 0; k < (2 << 20); ++k) src += "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[k % 64];
            w.field("src", src);
            w.field("width", 640);
            w.field("height", 480);
            w.field("naturalWidth", 640);
            w.field("naturalHeight", 480);
        } else if (kind < 8) {
            commonKeys(w, i, kind < 6 ? "rectangle" : "ellipse");
            w.field("width", 120 + w.next(200));
            w.field("height", 60 + w.next(100));
            w.field("label", sentence(w, 3));
        } else if (kind < 12) {
            commonKeys(w, i, "text");
            w.field("content", sentence(w, 12));
            w.field("fontSize", 16);
            w.field("fontFamily", std::string("Virgil, sans-serif"));
            w.field("width", 300);
            w.field("height", 40);
        } else if (kind < 15) {
            commonKeys(w, i, "freehand");
            freehandPoints(w, 150);
        } else {
            commonKeys(w, i, "arrow");
            w.field("x2", w.next(500));
            w.field("y2", w.next(500));
            w.field("startElementId", "el-" + std::to_string(i - 1));
            w.field("label", sentence(w, 2));
        }
        closeElement(w);
    }
    w.text.back() = ']';
    w.text += '}';
    return w.text;
}

// A freehand-heavy board: `strokes` strokes of `points` points each (about 16 bytes a point),
// the shape of board whose parsed form dwarfs its file.
inline std::string freehandBoard(int strokes, int points) {
    BoardWriter w;
    w.text.reserve(static_cast<std::size_t>(strokes) * static_cast<std::size_t>(points) * 17 + 4096);
    w.text += "{\"version\":1,\"elements\":[";
    for (int i = 0; i < strokes; ++i) {
        commonKeys(w, i, "freehand");
        freehandPoints(w, points);
        closeElement(w);
    }
    w.text.back() = ']';
    w.text += '}';
    return w.text;
}

// About 3 MB of small objects and no image: 12000 labelled boxes, texts, stencils with their source
// objects, flowchart shapes and arrows anchored by point objects; the board where allocation and
// member look-ups weigh most.
inline std::string objectHeavyBoard() {
    BoardWriter w;
    w.text.reserve(3500000);
    w.text += "{\"version\":1,\"viewport\":{\"offsetX\":0,\"offsetY\":0,\"zoom\":1},\"elements\":[";
    for (int i = 0; i < 12000; ++i) {
        int kind = i % 10;
        if (kind < 4) {
            commonKeys(w, i, kind < 3 ? "rectangle" : "ellipse");
            w.field("width", 120 + w.next(200));
            w.field("height", 60 + w.next(100));
            w.field("label", sentence(w, 2));
        } else if (kind == 4) {
            commonKeys(w, i, "text");
            w.field("content", sentence(w, 4));
            w.field("fontSize", 16);
            w.field("width", 200);
            w.field("height", 24);
        } else if (kind == 5) {
            commonKeys(w, i, "stencil");
            w.field("width", 64);
            w.field("height", 64);
            w.key("source");
            w.text += "{\"kind\":\"builtin\",\"ref\":\"generic/server\"},";
        } else if (kind == 6) {
            commonKeys(w, i, "shape");
            w.field("kind", std::string(i % 4 ? "terminator" : "database"));
            w.field("width", 140);
            w.field("height", 70);
        } else {
            commonKeys(w, i, "arrow");
            w.field("x2", w.next(500));
            w.field("y2", w.next(500));
            w.field("startElementId", "el-" + std::to_string(i - 1));
            w.key("startAnchor");
            w.text += "{\"x\":";
            w.number(static_cast<int>(w.next(100)) / 100.0);
            w.text += ",\"y\":0.5},";
            w.key("endAnchor");
            w.text += "{\"x\":1,\"y\":";
            w.number(static_cast<int>(w.next(100)) / 100.0);
            w.text += "},";
            w.field("label", sentence(w, 1));
        }
        closeElement(w);
    }
    w.text.back() = ']';
    w.text += '}';
    return w.text;
}

// A PNG data URL of `bytes` base64 characters whose payload is not an image: for the cost of
// reading and decoding the text alone.
inline std::string base64DataURL(std::size_t bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string url = "data:image/png;base64,";
    url.reserve(url.size() + bytes);
    BoardWriter w;
    for (std::size_t k = 0; k < bytes; ++k) url += alphabet[static_cast<int>(w.next(64))];
    return url;
}

// One image element whose data URL is a single string of about `bytes` bytes.
inline std::string oneStringBoard(std::size_t bytes) {
    BoardWriter w;
    w.text = "{\"version\":1,\"elements\":[";
    commonKeys(w, 0, "image");
    w.field("src", base64DataURL(bytes));
    w.field("width", 640);
    w.field("height", 480);
    closeElement(w);
    w.text.back() = ']';
    w.text += '}';
    return w.text;
}

// About 2 MB of strings dense with escapes and surrogate pairs.
inline std::string escapeHeavyText() {
    std::string text = "[";
    for (int i = 0; i < 20000; ++i) {
        text += "\"line\\n\\t\\\"quoted\\\" \\u00e9\\u4e2d\\uD83D\\uDE00 caf\\u00E9 \\\\ end ";
        text += std::to_string(i);
        text += "\",";
    }
    text.back() = ']';
    return text;
}

}  // namespace dv::bench
