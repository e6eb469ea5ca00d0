#include "DVModel/JSNumber.hpp"

#include <charconv>
#include <cstddef>
#include <cstdint>

namespace dv {

namespace {

// The decimal digits d1…dk of |x| and the exponent n such that |x| = 0.d1…dk × 10^n.
struct DecimalDigits {
    char digits[24];
    int count = 0;
    int pointPosition = 0;
};

// Reads the text of the shortest round-trip formatting, whatever layout it chose
// ("1.0", "0.001", "1.2345e+20"): digits in order, the digits before the point counted,
// the exponent after an "e" added to that count; leading and trailing zeros dropped.
DecimalDigits readShortestDigits(double magnitude) {
    char text[64];
    auto [end, ec] = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific);
    (void)ec; // 64 characters always suffice for a binary64 value

    char raw[sizeof text];
    int rawCount = 0;
    int beforePoint = 0;
    bool seenPoint = false;
    int exponent = 0;
    for (const char* p = text; p < end; ++p) {
        char c = *p;
        if (c >= '0' && c <= '9') {
            raw[rawCount++] = c;
            if (!seenPoint) ++beforePoint;
        } else if (c == '.') {
            seenPoint = true;
        } else if (c == 'e') {
            ++p;
            bool negative = false;
            if (p < end && (*p == '+' || *p == '-')) {
                negative = *p == '-';
                ++p;
            }
            for (; p < end; ++p) exponent = exponent * 10 + (*p - '0');
            if (negative) exponent = -exponent;
            break;
        }
    }

    int first = 0;
    while (first < rawCount - 1 && raw[first] == '0') ++first;
    int last = rawCount;
    while (last - 1 > first && raw[last - 1] == '0') --last;

    DecimalDigits result;
    for (int i = first; i < last; ++i) result.digits[result.count++] = raw[i];
    result.pointPosition = (beforePoint - first) + exponent;
    return result;
}

char* writeExponent(char* out, int e) {
    *out++ = e >= 0 ? '+' : '-';
    int magnitude = e >= 0 ? e : -e;
    auto [end, ec] = std::to_chars(out, out + 8, magnitude);
    (void)ec;
    return end;
}

} // namespace

void appendJsNumberString(std::string& out, double x) {
    if (std::isnan(x)) {
        out += "NaN";
        return;
    }
    if (std::isinf(x)) {
        out += x > 0 ? "Infinity" : "-Infinity";
        return;
    }
    if (x == 0) {
        out += '0';
        return;
    }
    // Whole numbers below 2^53 are their integer's digits; widths, sizes and opacities mostly are.
    if (std::fabs(x) < 0x1p53) {
        const auto whole = static_cast<std::int64_t>(x);
        if (static_cast<double>(whole) == x) {
            char buffer[24];
            out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, whole).ptr);
            return;
        }
    }

    DecimalDigits d = readShortestDigits(std::fabs(x));
    const int k = d.count;
    const int n = d.pointPosition;

    // Longest layouts: 21 integer digits, or "0." + 5 zeros + 17 digits, or
    // "d." + 16 digits + "e-324"; a sign may precede each.
    char buffer[48];
    char* p = buffer;
    if (x < 0) *p++ = '-';
    if (k <= n && n <= 21) {
        for (int i = 0; i < k; ++i) *p++ = d.digits[i];
        for (int i = k; i < n; ++i) *p++ = '0';
    } else if (0 < n && n <= 21) {
        for (int i = 0; i < n; ++i) *p++ = d.digits[i];
        *p++ = '.';
        for (int i = n; i < k; ++i) *p++ = d.digits[i];
    } else if (-6 < n && n <= 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = 0; i < -n; ++i) *p++ = '0';
        for (int i = 0; i < k; ++i) *p++ = d.digits[i];
    } else {
        *p++ = d.digits[0];
        if (k > 1) {
            *p++ = '.';
            for (int i = 1; i < k; ++i) *p++ = d.digits[i];
        }
        *p++ = 'e';
        p = writeExponent(p, n - 1);
    }
    out.append(buffer, static_cast<std::size_t>(p - buffer));
}

void appendJsHundredthsString(std::string& out, double x) {
    const double scaled = x * 100;
    // Below 10^15 the hundredths are exact integers, rounded here as jsRound rounds them (the
    // sign of a zero does not show in the text), and a decimal of at most 15 significant digits
    // is the shortest text of the double nearest to it: the digits come straight from the
    // integer. The rest, NaN and the infinities included, take the general road.
    if (!(std::fabs(scaled) < 1e15)) {
        appendJsNumberString(out, jsRound(scaled) / 100);
        return;
    }
    auto hundredths = static_cast<std::int64_t>(scaled);  // toward zero
    if (static_cast<double>(hundredths) > scaled) --hundredths;  // now the floor
    if (scaled - static_cast<double>(hundredths) >= 0.5) ++hundredths;
    const std::uint64_t magnitude =
        hundredths < 0 ? static_cast<std::uint64_t>(-hundredths) : static_cast<std::uint64_t>(hundredths);
    char buffer[24];
    char* end = buffer;
    if (hundredths < 0) *end++ = '-';
    end = std::to_chars(end, buffer + sizeof buffer, magnitude / 100).ptr;
    if (const unsigned fraction = static_cast<unsigned>(magnitude % 100); fraction != 0) {
        *end++ = '.';
        *end++ = static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) *end++ = static_cast<char>('0' + fraction % 10);
    }
    out.append(buffer, end);
}

std::string jsNumberString(double x) {
    std::string text;
    appendJsNumberString(text, x);
    return text;
}

} // namespace dv
