// sanitizeSvg on arbitrary text. Whatever it returns must be clean: it parses again, its root
// is an svg element, no forbidden element or event handler is left, every link points inside
// the document or at an accepted raster data: URL, and cleaning it again changes nothing. The
// cleaned text is then measured as the SVG renderer would be given it: measuring lowers what it
// lowers once, so a second measure finds nothing left to lower and the same cost.

#include "DVModel/JSString.hpp"
#include "DVRender/Images/SVGBounds.hpp"
#include "DVRender/Images/SVGSanitizer.hpp"
#include "Platform/XML/XMLDocument.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

std::string lowered(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

bool forbidden(const dv::xml::Element& e) {
    static constexpr std::string_view names[] = {"script", "foreignObject", "iframe", "object", "embed", "audio",
                                                 "video", "animate", "animateMotion", "animateTransform", "set"};
    const auto ns = e.namespaceURI();
    for (auto n : names) {
        if (e.qualifiedName() == n) return true;
        if (ns && *ns == dv::SVG_NAMESPACE && e.localName() == n) return true;
    }
    return false;
}

std::size_t checkClean(std::string_view text) {
    auto doc = dv::xml::Document::parse(text);
    check(doc.has_value());
    check(lowered(doc->root().qualifiedName()) == "svg");
    std::vector<dv::xml::Element> all{doc->root()};
    for (const auto& e : doc->root().descendants()) all.push_back(e);
    std::size_t count = all.size();
    for (const auto& e : all) {
        check(!forbidden(e) || e.qualifiedName() == doc->root().qualifiedName());
        for (const auto& a : e.attributes()) {
            ++count;
            check(!lowered(a.qualifiedName).starts_with("on"));
            if (lowered(a.localName) == "href") {
                const std::string v = lowered(dv::jsTrim(a.value));
                check(v.starts_with("#") || v.starts_with("data:image/png;") || v.starts_with("data:image/jpeg;") ||
                      v.starts_with("data:image/jpg;") || v.starts_with("data:image/gif;") ||
                      v.starts_with("data:image/webp;"));
            }
        }
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto once = dv::sanitizeSvg(text);
    if (!once) return 0;
    const std::size_t count = checkClean(*once);
    auto twice = dv::sanitizeSvg(*once);
    check(twice.has_value());
    check(checkClean(*twice) == count);

    auto doc = dv::xml::Document::parse(*once);
    check(doc.has_value());
    auto first = dv::measureSvg(doc->root());
    if (!first) return 0;
    auto second = dv::measureSvg(doc->root());
    check(second.has_value() && !second->rewritten && second->cost == first->cost);
    return 0;
}
