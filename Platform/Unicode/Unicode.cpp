#include "Platform/Unicode/Unicode.hpp"

#include <memory>

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace dv::unicode {

namespace {

struct BreakIteratorCloser {
    void operator()(UBreakIterator* it) const { ubrk_close(it); }
};
struct TextCloser {
    void operator()(UText* text) const { utext_close(text); }
};

} // namespace

std::vector<std::size_t> graphemeBoundaries(std::string_view text) {
    std::vector<std::size_t> bounds{0};
    if (text.empty()) return bounds;
    // Pure ASCII without CR: every byte is its own cluster, no ICU round trip needed.
    bool simple = true;
    for (char ch : text) {
        auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x80 || byte == '\r') { simple = false; break; }
    }
    if (simple) {
        bounds.reserve(text.size() + 1);
        for (std::size_t i = 1; i <= text.size(); ++i) bounds.push_back(i);
        return bounds;
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, TextCloser> utext(
        utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status));
    std::unique_ptr<UBreakIterator, BreakIteratorCloser> it(
        ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
    if (U_SUCCESS(status)) ubrk_setUText(it.get(), utext.get(), &status);
    if (U_FAILURE(status)) {
        // Without segmentation every byte stands alone; callers then see no merged clusters.
        for (std::size_t i = 1; i <= text.size(); ++i) bounds.push_back(i);
        return bounds;
    }
    for (int32_t pos = ubrk_next(it.get()); pos != UBRK_DONE; pos = ubrk_next(it.get())) {
        if (pos > 0) bounds.push_back(static_cast<std::size_t>(pos));
    }
    if (bounds.back() != text.size()) bounds.push_back(text.size());
    return bounds;
}

std::vector<std::string_view> graphemeClusters(std::string_view text) {
    std::vector<std::size_t> bounds = graphemeBoundaries(text);
    std::vector<std::string_view> clusters;
    clusters.reserve(bounds.size() - 1);
    for (std::size_t i = 1; i < bounds.size(); ++i)
        clusters.push_back(text.substr(bounds[i - 1], bounds[i] - bounds[i - 1]));
    return clusters;
}

std::optional<char32_t> singleScalar(std::string_view text) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    int32_t offset = 0;
    UChar32 scalar = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    U8_NEXT(bytes, offset, static_cast<int32_t>(text.size()), scalar);
    if (scalar < 0 || static_cast<std::size_t>(offset) != text.size()) return std::nullopt;
    return static_cast<char32_t>(scalar);
}

bool isWhiteSpace(char32_t scalar) {
    return u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_WHITE_SPACE) != 0;
}

} // namespace dv::unicode
