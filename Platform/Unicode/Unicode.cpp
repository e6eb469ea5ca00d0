#include "Platform/Unicode/Unicode.hpp"

#include <algorithm>
#include <climits>
#include <memory>

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace dv::unicode {

namespace {

struct BreakIteratorCloser {
    void operator()(UBreakIterator* it) const { ubrk_close(it); }
};

// Whole UTF-8 text to UTF-16 and back; ill-formed input reads as U+FFFD. The texts here are
// short (keywords), so one round trip through ICU's strings is cheap.
icu::UnicodeString toICU(std::string_view text) {
    icu::UnicodeString out;
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) return out;
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8WithSub(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr,
                         &status);
    status = U_ZERO_ERROR;
    UChar* buffer = out.getBuffer(length);
    if (!buffer) return out;
    u_strFromUTF8WithSub(buffer, length, nullptr, text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr,
                         &status);
    out.releaseBuffer(U_SUCCESS(status) ? length : 0);
    return out;
}

std::string fromICU(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

// Runs `segment` with this thread's character break iterator set on `text`, or returns false
// when ICU could give none. Opening an iterator costs far more than segmenting a short text, so
// each thread keeps one; it is released from the text before returning.
template <class Segment> bool withCharacterBreaks(std::string_view text, Segment&& segment) {
    UErrorCode status = U_ZERO_ERROR;
    thread_local std::unique_ptr<UBreakIterator, BreakIteratorCloser> iterator(
        ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
    if (!iterator) return false;
    UText utext = UTEXT_INITIALIZER;
    status = U_ZERO_ERROR;
    utext_openUTF8(&utext, text.data(), static_cast<int64_t>(text.size()), &status);
    if (U_SUCCESS(status)) ubrk_setUText(iterator.get(), &utext, &status);
    const bool ready = U_SUCCESS(status);
    if (ready) segment(iterator.get());
    // The iterator keeps no reference to the text once it is given another; an empty one drops it.
    UText empty = UTEXT_INITIALIZER;
    status = U_ZERO_ERROR;
    utext_openUTF8(&empty, "", 0, &status);
    ubrk_setUText(iterator.get(), &empty, &status);
    utext_close(&utext);
    utext_close(&empty);
    return ready;
}

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
    const bool segmented = withCharacterBreaks(text, [&](UBreakIterator* it) {
        for (int32_t pos = ubrk_next(it); pos != UBRK_DONE; pos = ubrk_next(it)) {
            if (pos > 0) bounds.push_back(static_cast<std::size_t>(pos));
        }
    });
    if (!segmented) {
        // Without segmentation every byte stands alone; callers then see no merged clusters.
        bounds.resize(1);
        for (std::size_t i = 1; i <= text.size(); ++i) bounds.push_back(i);
        return bounds;
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

bool isWhiteSpaceOrNewline(char32_t scalar) {
    if ((scalar >= 0x09 && scalar <= 0x0D) || scalar == 0x20 || scalar == 0x85) return true;
    if (scalar < 0x80) return false;
    const int8_t type = u_charType(static_cast<UChar32>(scalar));
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

std::size_t graphemePrefix(std::string_view text, std::size_t maxClusters, std::size_t& clusters) {
    clusters = 0;
    if (maxClusters == 0 || text.empty()) return 0;
    // ASCII without CR: one cluster per byte.
    std::size_t simple = 0;
    while (simple < text.size() && simple < maxClusters) {
        auto byte = static_cast<unsigned char>(text[simple]);
        if (byte >= 0x80 || byte == '\r') break;
        ++simple;
    }
    if (simple == text.size() || simple == maxClusters) {
        // The cluster ends at `simple` unless a combining character follows it.
        if (simple == text.size() || static_cast<unsigned char>(text[simple]) < 0x80) {
            clusters = simple;
            return simple;
        }
    }
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) text = text.substr(0, INT32_MAX);
    std::size_t end = 0;
    const bool segmented = withCharacterBreaks(text, [&](UBreakIterator* it) {
        for (int32_t pos = ubrk_next(it); pos != UBRK_DONE && clusters < maxClusters; pos = ubrk_next(it)) {
            end = static_cast<std::size_t>(pos);
            ++clusters;
        }
    });
    if (!segmented) {
        // Without segmentation each byte counts as a cluster: the cut stays within bounds.
        clusters = std::min(maxClusters, text.size());
        return clusters;
    }
    return end;
}

std::string toLowerCase(std::string_view text) {
    icu::UnicodeString unicode = toICU(text);
    unicode.toLower(icu::Locale::getRoot());
    return fromICU(unicode);
}

std::string toUpperCase(std::string_view text) {
    icu::UnicodeString unicode = toICU(text);
    unicode.toUpper(icu::Locale::getRoot());
    return fromICU(unicode);
}

std::string normalizeNFC(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    icu::UnicodeString unicode = toICU(text);
    if (U_FAILURE(status)) return fromICU(unicode);
    icu::UnicodeString normalized = nfc->normalize(unicode, status);
    return fromICU(U_SUCCESS(status) ? normalized : unicode);
}

} // namespace dv::unicode
