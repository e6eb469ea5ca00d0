#include "DVRender/Images/SVGSanitizer.hpp"

#include "DVModel/JSString.hpp"
#include "DVModel/UTF8.hpp"
#include "Platform/XML/XMLDocument.hpp"

#include <algorithm>
#include <array>

namespace dv {

namespace {

// Elements that run code, embed other documents or animate attributes.
const std::array<std::string_view, 11>& forbiddenElements() {
    static const std::array<std::string_view, 11> names = {
        "script", "foreignObject", "iframe", "object", "embed", "audio",
        "video",  "animate",       "animateMotion", "animateTransform", "set",
    };
    return names;
}

bool isForbiddenName(std::string_view name) {
    const auto& names = forbiddenElements();
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool isPrefixedName(std::string_view name) {
    const auto colon = name.find(':');
    return colon != std::string_view::npos && colon > 0 && colon + 1 < name.size() &&
           name.find(':', colon + 1) == std::string_view::npos;
}

// A prefixed name such as "svg:script" is the same element as "script" once the prefix is
// bound to the SVG namespace; an undeclared prefix leaves it in no namespace.
bool isForbidden(const xml::Element& element) {
    const std::string name = element.qualifiedName();
    if (isForbiddenName(name)) return true;
    auto ns = element.namespaceURI();
    if (ns && *ns == SVG_NAMESPACE) return isForbiddenName(element.localName());
    // A name that is no proper "prefix:local" (":script", "a::set") is kept as written and
    // lands in the default namespace, which the output declares as SVG, once the text is read
    // again. A proper name with an undeclared prefix stays outside any namespace.
    return !ns && !isPrefixedName(name) && isForbiddenName(element.localName());
}

std::string asciiLowercased(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool isAcceptedHref(const std::string& value) {
    const std::string trimmed = jsTrim(value);
    if (!trimmed.empty() && trimmed.front() == '#') return true;
    static constexpr std::string_view prefixes[] = {
        "data:image/png;", "data:image/jpeg;", "data:image/jpg;", "data:image/gif;", "data:image/webp;",
    };
    for (auto prefix : prefixes) {
        if (hasPrefixIgnoringASCIICase(trimmed, prefix)) return true;
    }
    return false;
}

bool endsWithPercent(const std::string& value) {
    const std::string trimmed = jsTrim(value);
    return !trimmed.empty() && trimmed.back() == '%';
}

}  // namespace

std::vector<std::string> splitViewBox(std::string_view text) {
    std::vector<std::string> parts(1);
    bool inRun = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const char32_t c = decodeUTF8(text, pos);
        if (c == U',' || isJSWhiteSpace(c)) {
            if (!inRun) parts.emplace_back();
            inRun = true;
        } else {
            inRun = false;
            parts.back().append(text.substr(start, pos - start));
        }
    }
    return parts;
}

std::optional<std::string> sanitizeSvg(std::string_view svg) {
    auto doc = xml::Document::parse(svg);
    if (!doc) return std::nullopt;
    xml::Element root = doc->root();
    if (asciiLowercased(root.qualifiedName()) != "svg") return std::nullopt;

    // Later elements first, so that a forbidden element inside another one is freed before
    // its ancestor.
    auto descendants = root.descendants();
    for (auto it = descendants.rbegin(); it != descendants.rend(); ++it) {
        if (isForbidden(*it)) it->detach();
    }

    std::vector<xml::Element> elements{root};
    for (const auto& e : root.descendants()) elements.push_back(e);
    for (auto& element : elements) {
        for (const auto& attribute : element.attributes()) {
            const std::string name = asciiLowercased(attribute.qualifiedName);
            if (name.starts_with("on")) {
                element.removeAttribute(attribute);
            } else if (name == "href" || name == "xlink:href" || asciiLowercased(attribute.localName) == "href") {
                if (!isAcceptedHref(attribute.value)) element.removeAttribute(attribute);
            }
        }
    }

    if (auto viewBox = root.attribute("viewBox")) {
        const auto parts = splitViewBox(jsTrim(*viewBox));
        if (parts.size() == 4) {
            auto width = root.attribute("width");
            auto height = root.attribute("height");
            const bool keepSize = width && height && !endsWithPercent(*width) && !endsWithPercent(*height);
            if (!keepSize) {
                root.setAttribute("width", parts[2]);
                root.setAttribute("height", parts[3]);
            }
        }
    }

    if (!root.declaresDefaultNamespace() && !root.attribute("xmlns")) {
        root.declareDefaultNamespace(std::string(SVG_NAMESPACE));
    }
    return doc->xmlString(root);
}

}  // namespace dv
