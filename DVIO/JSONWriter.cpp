#include "DVIO/JSONWriter.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "DVIO/detail/JSONWriterCore.hpp"
#include "DVModel/JSNumber.hpp"

namespace dv {

namespace {

// What each byte becomes inside a string: 0 = itself, 'u' = \u00xx, else the letter after '\'.
constexpr std::array<char, 256> makeEscapes() {
    std::array<char, 256> table{};
    for (int b = 0; b < 0x20; ++b) table[b] = 'u';
    table['"'] = '"';
    table['\\'] = '\\';
    table['\b'] = 'b';
    table['\t'] = 't';
    table['\n'] = 'n';
    table['\f'] = 'f';
    table['\r'] = 'r';
    return table;
}
constexpr std::array<char, 256> kEscapes = makeEscapes();

void writeString(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        char escape = kEscapes[byte];
        if (!escape) continue;
        out.append(text.data() + run, i - run);
        run = i + 1;
        out.push_back('\\');
        if (escape == 'u') {
            const char code[] = {'u', '0', '0', hex[byte >> 4], hex[byte & 0xF]};
            out.append(code, sizeof code);
        } else {
            out.push_back(escape);
        }
    }
    out.append(text.data() + run, text.size() - run);
    out.push_back('"');
}

void newline(std::string& out, int width, int depth) {
    out.push_back('\n');
    out.append(static_cast<std::size_t>(width) * static_cast<std::size_t>(depth), ' ');
}

// The array index a key names, as JSON.stringify orders keys: 1 to 10 ASCII digits, no
// leading zero unless the key is "0", at most 2^32 - 2.
std::optional<std::uint64_t> arrayIndex(std::string_view key) {
    if (key.empty() || key.size() > 10) return std::nullopt;
    if (key.size() > 1 && key[0] == '0') return std::nullopt;
    std::uint64_t value = 0;
    for (char c : key) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > 4294967294ULL) return std::nullopt;
    return value;
}

void writeMember(std::string& out, std::string_view key, const JSONValue& value, int depth, int width,
                 bool& first) {
    if (!first) out.push_back(',');
    first = false;
    if (width > 0) newline(out, width, depth + 1);
    writeString(out, key);
    out.push_back(':');
    if (width > 0) out.push_back(' ');
    detail::writeJSON(out, value, depth + 1, width);
}

void writeObject(std::string& out, const JSONObject& object, int depth, int width) {
    if (object.isEmpty()) {
        out += "{}";
        return;
    }
    out.push_back('{');
    bool first = true;
    bool anyDigitKey = false;
    for (const auto& [key, value] : object) {
        if (!key.empty() && key[0] >= '0' && key[0] <= '9') {
            anyDigitKey = true;
            break;
        }
    }
    if (!anyDigitKey) {
        for (const auto& [key, value] : object) writeMember(out, key, value, depth, width, first);
    } else {
        struct Entry {
            std::uint64_t index;
            std::string_view key;
            const JSONValue* value;
        };
        std::vector<Entry> indexed;
        for (const auto& [key, value] : object)
            if (auto index = arrayIndex(key)) indexed.push_back({*index, key, &value});
        std::sort(indexed.begin(), indexed.end(), [](const Entry& a, const Entry& b) { return a.index < b.index; });
        for (const Entry& e : indexed) writeMember(out, e.key, *e.value, depth, width, first);
        for (const auto& [key, value] : object)
            if (!arrayIndex(key)) writeMember(out, key, value, depth, width, first);
    }
    if (width > 0) newline(out, width, depth);
    out.push_back('}');
}

int clampIndent(std::optional<std::int64_t> indent) {
    if (!indent || *indent <= 0) return 0;
    return static_cast<int>(std::min<std::int64_t>(*indent, 10));
}

}  // namespace

namespace detail {

void writeJSON(std::string& out, const JSONValue& value, int depth, int width) {
    if (value.isNull()) {
        out += "null";
    } else if (auto b = value.boolValue()) {
        out += *b ? "true" : "false";
    } else if (auto number = value.doubleValue()) {
        if (std::isfinite(*number))
            appendJsNumberString(out, *number);
        else
            out += "null";
    } else if (const std::string* text = value.stringValue()) {
        writeString(out, *text);
    } else if (const auto* items = value.arrayValue()) {
        if (items->empty()) {
            out += "[]";
            return;
        }
        out.push_back('[');
        bool first = true;
        for (const JSONValue& item : *items) {
            if (!first) out.push_back(',');
            first = false;
            if (width > 0) newline(out, width, depth + 1);
            writeJSON(out, item, depth + 1, width);
        }
        if (width > 0) newline(out, width, depth);
        out.push_back(']');
    } else if (const JSONObject* object = value.objectValue()) {
        writeObject(out, *object, depth, width);
    }
}

}  // namespace detail

std::string JSONWriter::stringify(const JSONValue& value, std::optional<std::int64_t> indent, bool trailingNewline) {
    std::string out;
    out.reserve(4096);
    detail::writeJSON(out, value, 0, clampIndent(indent));
    if (trailingNewline) out.push_back('\n');
    return out;
}

std::vector<std::uint8_t> JSONWriter::data(const JSONValue& value, std::optional<std::int64_t> indent,
                                           bool trailingNewline) {
    std::string text = stringify(value, indent, trailingNewline);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace dv
