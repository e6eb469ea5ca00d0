#include "DVIO/BoardSearchContent.hpp"

#include <optional>
#include <set>
#include <string_view>

#include "DVIO/BoardFile.hpp"
#include "DVModel/UTF8.hpp"
#include "Platform/Unicode/Unicode.hpp"

namespace dv {

namespace {

// The candidate without leading and trailing white space and line breaks; empty when nothing
// else is left.
std::string_view cleaned(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t next = begin;
        if (!unicode::isWhiteSpaceOrNewline(decodeUTF8(text, next))) break;
        begin = next;
    }
    std::size_t end = text.size();
    while (end > begin) {
        std::size_t previous = end;
        if (!unicode::isWhiteSpaceOrNewline(decodeUTF8Backward(text, previous))) break;
        end = previous;
    }
    return text.substr(begin, end - begin);
}

// The keyword a built-in stencil reference gives: its last non-empty "/" part (the whole
// reference when there is none) with every "-" read as a space.
std::string builtinKeyword(std::string_view ref) {
    std::string_view part = ref;
    std::size_t end = ref.size();
    while (end > 0) {
        std::size_t slash = ref.rfind('/', end - 1);
        std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
        if (start < end) {
            part = ref.substr(start, end - start);
            break;
        }
        end = slash;  // an empty part: the slash just before `end`
    }
    std::string keyword(part);
    for (char& c : keyword)
        if (c == '-') c = ' ';
    return keyword;
}

class Collector {
public:
    explicit Collector(BoardSearchContent& content) : content_(content) {}

    void optionalText(const std::optional<std::string>& candidate) {
        if (candidate) text(*candidate);
    }
    void text(std::string_view candidate) {
        std::string_view value = cleaned(candidate);
        if (!value.empty()) content_.texts.emplace_back(value);
    }

    // Keywords compare by their lower-case form under canonical equivalence; the first
    // spelling seen is the one kept.
    void keyword(std::string_view candidate) {
        std::string_view value = cleaned(candidate);
        if (value.empty()) return;
        if (seen_.insert(unicode::normalizeNFC(unicode::toLowerCase(value))).second)
            content_.keywords.emplace_back(value);
    }

private:
    BoardSearchContent& content_;
    std::set<std::string> seen_;  // a tree: keys come from files
};

}  // namespace

BoardSearchContent::BoardSearchContent(const std::vector<Element>& elements)
    : elementCount(static_cast<std::int64_t>(elements.size())) {
    Collector collect(*this);
    for (const Element& element : elements) {
        const Element::Payload& payload = element.payload;
        if (const Element::Stencil* stencil = payload.stencil()) {
            collect.optionalText(stencil->label);
            if (const auto* builtin = std::get_if<StencilSource::Builtin>(&stencil->source.kind))
                collect.keyword(builtinKeyword(builtin->ref));
            else if (const auto* embedded = std::get_if<StencilSource::Embedded>(&stencil->source.kind))
                collect.keyword(embedded->name);
        } else if (const LabelFields* labels = payload.labels()) {
            // Boxes, flowchart shapes, lines and arrows.
            collect.optionalText(labels->label);
        } else if (const Element::Text* text = payload.text()) {
            collect.text(text->content);
        }
        if (element.layerName) collect.keyword(*element.layerName);
    }
}

BoardSearchContent BoardSearchContent::fromFileData(std::span<const std::uint8_t> data) {
    return BoardSearchContent(readDrevalinFile(data).document.elements);
}

std::string BoardSearchContent::textContent() const {
    // Every text is trimmed, so none ends in a carriage return, and a line feed is always a
    // cluster of its own: each text can be counted on its own.
    std::string out;
    // A character holds at least one code point: short texts need no segmentation at all.
    std::size_t codePoints = texts.empty() ? 0 : texts.size() - 1;
    for (const std::string& text : texts)
        for (char byte : text) codePoints += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    if (codePoints <= static_cast<std::size_t>(maxTextLength)) {
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (i > 0) out.push_back('\n');
            out += texts[i];
        }
        return out;
    }
    auto remaining = static_cast<std::size_t>(maxTextLength);
    for (std::size_t i = 0; i < texts.size() && remaining > 0; ++i) {
        if (i > 0) {
            out.push_back('\n');
            if (--remaining == 0) break;
        }
        std::size_t clusters = 0;
        std::size_t bytes = unicode::graphemePrefix(texts[i], remaining, clusters);
        out.append(texts[i], 0, bytes);
        remaining -= clusters;
        if (bytes < texts[i].size()) break;
    }
    return out;
}

}  // namespace dv
