#include "DVModel/UTF8.hpp"

#include <cstring>

namespace dv {
namespace {

using Byte = unsigned char;

inline bool isContinuation(Byte b) noexcept { return (b & 0xC0) == 0x80; }

/// Length of the run of ASCII bytes at the start of [s, s+n), eight bytes at a time: the JSON
/// parser and the length checks mostly see ASCII, so this carries most of the work.
inline std::size_t asciiRun(const Byte* s, std::size_t n) noexcept {
    std::size_t i = 0;
    while (i + 8 <= n) {
        std::uint64_t word;
        std::memcpy(&word, s + i, 8);
        if (word & 0x8080808080808080ull) break;
        i += 8;
    }
    while (i < n && s[i] < 0x80) ++i;
    return i;
}

/// One decoding step at s[pos] (pos < n) for a byte >= 0x80. Returns true and the code point when
/// the sequence is well-formed; false when it is not, with `pos` past the maximal subpart.
inline bool decodeMultiByte(const Byte* s, std::size_t n, std::size_t& pos, char32_t& cp) noexcept {
    const Byte b0 = s[pos];
    unsigned need;
    Byte lo = 0x80, hi = 0xBF;  // allowed range of the next byte
    if (b0 < 0xC2) {            // stray continuation byte or overlong two-byte lead
        ++pos;
        return false;
    } else if (b0 < 0xE0) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 < 0xF0) {
        need = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;       // overlong
        else if (b0 == 0xED) hi = 0x9F;  // surrogates
    } else if (b0 < 0xF5) {
        need = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;       // overlong
        else if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
        ++pos;
        return false;
    }
    std::size_t p = pos + 1;
    for (unsigned i = 0; i < need; ++i, ++p) {
        if (p >= n || s[p] < lo || s[p] > hi) {
            pos = p;
            return false;
        }
        cp = (cp << 6) | (s[p] & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    pos = p;
    return true;
}

inline char32_t decodeAt(const Byte* s, std::size_t n, std::size_t& pos) noexcept {
    if (s[pos] < 0x80) return s[pos++];
    char32_t cp;
    return decodeMultiByte(s, n, pos, cp) ? cp : kReplacementCharacter;
}

inline const Byte* bytes(std::string_view text) noexcept {
    return reinterpret_cast<const Byte*>(text.data());
}

/// Sort key that orders code points as their UTF-16 forms compare: the surrogate pairs of
/// supplementary characters (D800..DFFF) sort before U+E000..U+FFFF.
inline std::uint32_t utf16OrderKey(char32_t cp) noexcept {
    return (cp >= 0xE000 && cp <= 0xFFFF) ? cp + 0x110000 : cp;
}

inline std::size_t commonPrefix(const Byte* a, const Byte* b, std::size_t n) noexcept {
    std::size_t i = 0;
    while (i + 8 <= n) {
        std::uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) break;
        i += 8;
    }
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

}  // namespace

char32_t decodeUTF8(std::string_view text, std::size_t& pos) noexcept {
    return decodeAt(bytes(text), text.size(), pos);
}

char32_t decodeUTF8Backward(std::string_view text, std::size_t& pos) noexcept {
    const Byte* s = bytes(text);
    // Every byte that is not a continuation byte starts a decoding step, and a step is at most
    // four bytes long: the step that ends at `pos` starts at the nearest such byte within four.
    const std::size_t lowest = pos >= 4 ? pos - 4 : 0;
    std::size_t start = pos - 1;
    while (start > lowest && isContinuation(s[start])) --start;
    if (!isContinuation(s[start])) {
        std::size_t p = start;
        const char32_t cp = decodeAt(s, text.size(), p);
        if (p == pos) {
            pos = start;
            return cp;
        }
    }
    // The byte before `pos` is a continuation byte that no sequence claims: a step of its own.
    --pos;
    return kReplacementCharacter;
}

bool isValidUTF8(std::string_view text) noexcept {
    const Byte* s = bytes(text);
    const std::size_t n = text.size();
    std::size_t pos = 0;
    while (pos < n) {
        pos += asciiRun(s + pos, n - pos);
        if (pos >= n) break;
        char32_t cp;
        if (!decodeMultiByte(s, n, pos, cp)) return false;
    }
    return true;
}

void appendUTF8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
        return;
    }
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacementCharacter;
    char buf[4];
    std::size_t len;
    if (cp < 0x800) {
        buf[0] = static_cast<char>(0xC0 | (cp >> 6));
        buf[1] = static_cast<char>(0x80 | (cp & 0x3F));
        len = 2;
    } else if (cp < 0x10000) {
        buf[0] = static_cast<char>(0xE0 | (cp >> 12));
        buf[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        buf[2] = static_cast<char>(0x80 | (cp & 0x3F));
        len = 3;
    } else {
        buf[0] = static_cast<char>(0xF0 | (cp >> 18));
        buf[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        buf[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        buf[3] = static_cast<char>(0x80 | (cp & 0x3F));
        len = 4;
    }
    out.append(buf, len);
}

void appendRepairedUTF8(std::string& out, std::string_view text) {
    const Byte* s = bytes(text);
    const std::size_t n = text.size();
    std::size_t pos = 0;
    while (pos < n) {
        // Copy well-formed stretches whole; only the bad subparts are rewritten.
        std::size_t good = pos;
        char32_t cp;
        while (good < n) {
            good += asciiRun(s + good, n - good);
            if (good >= n) break;
            std::size_t p = good;
            if (!decodeMultiByte(s, n, p, cp)) break;
            good = p;
        }
        out.append(text.data() + pos, good - pos);
        pos = good;
        if (pos < n) {
            decodeMultiByte(s, n, pos, cp);
            out.append("\xEF\xBF\xBD", 3);
        }
    }
}

std::string repairUTF8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendRepairedUTF8(out, text);
    return out;
}

std::u32string decodeUTF8ToCodePoints(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    const Byte* s = bytes(text);
    std::size_t pos = 0;
    while (pos < text.size()) out.push_back(decodeAt(s, text.size(), pos));
    return out;
}

std::size_t utf16Length(std::string_view text) noexcept {
    const Byte* s = bytes(text);
    const std::size_t n = text.size();
    std::size_t pos = 0, units = 0;
    while (pos < n) {
        const std::size_t run = asciiRun(s + pos, n - pos);
        pos += run;
        units += run;
        if (pos >= n) break;
        units += decodeAt(s, n, pos) >= 0x10000 ? 2 : 1;
    }
    return units;
}

int compareUTF16(std::string_view a, std::string_view b) noexcept {
    const Byte* sa = bytes(a);
    const Byte* sb = bytes(b);
    const std::size_t d = commonPrefix(sa, sb, a.size() < b.size() ? a.size() : b.size());
    if (d == a.size() && d == b.size()) return 0;
    // Restart decoding at a step boundary shared by both texts: the nearest byte before `d` that
    // is not a continuation byte (no step reaches across one), or `d` itself when none of the
    // three bytes before it is, since no step that starts earlier can reach `d` then.
    std::size_t start = d;
    for (std::size_t back = 1; back <= 3 && back <= d; ++back) {
        if (!isContinuation(sa[d - back])) {
            start = d - back;
            break;
        }
    }
    std::size_t i = start, j = start;
    while (i < a.size() && j < b.size()) {
        const char32_t ca = decodeAt(sa, a.size(), i);
        const char32_t cb = decodeAt(sb, b.size(), j);
        if (ca != cb) return utf16OrderKey(ca) < utf16OrderKey(cb) ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::u16string toUTF16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    const Byte* s = bytes(text);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t cp = decodeAt(s, text.size(), pos);
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string fromUTF16(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            appendUTF8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else {
            appendUTF8(out, u);  // a lone surrogate comes out as U+FFFD
        }
    }
    return out;
}

}  // namespace dv
