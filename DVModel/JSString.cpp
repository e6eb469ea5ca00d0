#include "DVModel/JSString.hpp"

#include "DVModel/UTF8.hpp"

namespace dv {

bool isJSWhiteSpace(char32_t c) noexcept {
    if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    if (c < 0xA0) return false;
    return c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

std::string jsTrim(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t next = begin;
        if (!isJSWhiteSpace(decodeUTF8(text, next))) break;
        begin = next;
    }
    std::size_t end = text.size();
    while (end > begin) {
        std::size_t previous = end;
        if (!isJSWhiteSpace(decodeUTF8Backward(text, previous))) break;
        end = previous;
    }
    return std::string(text.substr(begin, end - begin));
}

bool jsStringIncludes(std::string_view text, std::string_view search) {
    if (search.empty()) return true;
    // On well-formed UTF-8 a match of UTF-16 code units is a match of whole scalars, hence of
    // bytes. Ill-formed bytes are first read the way every UTF-16 view of them reads them.
    if (isValidUTF8(text) && isValidUTF8(search)) return text.find(search) != std::string_view::npos;
    const std::string repairedText = repairUTF8(text);
    return repairedText.find(repairUTF8(search)) != std::string::npos;
}

bool hasPrefixIgnoringASCIICase(std::string_view text, std::string_view lowerPrefix) {
    // Scalars compare like their UTF-16 code units, and a prefix never ends inside a scalar.
    std::size_t t = 0;
    std::size_t p = 0;
    while (p < lowerPrefix.size()) {
        if (t >= text.size()) return false;
        char32_t expected = decodeUTF8(lowerPrefix, p);
        char32_t actual = decodeUTF8(text, t);
        if (actual >= U'A' && actual <= U'Z') actual += U'a' - U'A';
        if (actual != expected) return false;
    }
    return true;
}

} // namespace dv
