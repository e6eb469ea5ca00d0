#include "DVRender/Canvas/JSNumberText.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace dv {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

bool isJSWhiteSpace(char16_t unit) {
    return (unit >= 9 && unit <= 13) || unit == 32 || unit == 160 || unit == 5760 ||
           (unit >= 8192 && unit <= 8202) || unit == 8232 || unit == 8233 || unit == 8239 ||
           unit == 8287 || unit == 12288 || unit == 65279;
}

int hexDigit(char16_t unit) {
    if (unit >= u'0' && unit <= u'9') return unit - u'0';
    if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
    if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
    return -1;
}

bool isDigit(char ch) { return ch >= '0' && ch <= '9'; }

} // namespace

double jsParseHexInt(std::u16string_view units) {
    std::size_t i = 0;
    while (i < units.size() && isJSWhiteSpace(units[i])) ++i;
    double sign = 1;
    if (i < units.size() && (units[i] == u'+' || units[i] == u'-')) {
        if (units[i] == u'-') sign = -1;
        ++i;
    }
    if (units.size() - i >= 2 && units[i] == u'0' && (units[i + 1] == u'x' || units[i + 1] == u'X'))
        i += 2;
    double value = 0;
    bool any = false;
    for (; i < units.size(); ++i) {
        int digit = hexDigit(units[i]);
        if (digit < 0) break;
        value = value * 16 + digit;
        any = true;
    }
    return any ? sign * value : NaN;
}

double parseDecimalNumber(std::string_view text) {
    std::string integer;
    std::string fraction;
    bool inFraction = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char ch = text[i];
        if (ch == '.') {
            if (inFraction || i + 1 == text.size()) break;
            inFraction = true;
            continue;
        }
        if (!isDigit(ch)) break;
        (inFraction ? fraction : integer).push_back(ch);
    }
    if (integer.empty() && fraction.empty()) return NaN;
    std::string number = (integer.empty() ? "0" : integer) + "." + (fraction.empty() ? "0" : fraction);
    double value = 0;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // A decimal conversion gives +infinity for a too long integer part and 0 for a
        // fraction too small to represent.
        return integer.find_first_not_of('0') != std::string::npos
                   ? std::numeric_limits<double>::infinity()
                   : 0.0;
    }
    return value;
}

std::string jsToFixed(int digits, double x) {
    if (std::isnan(x)) return "NaN";
    if (digits < 0) digits = 0;
    if (std::fabs(x) >= 1e21) {
        if (std::isinf(x)) return x < 0 ? "-Infinity" : "Infinity";
        char buffer[400];
        auto result = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, 0);
        return std::string(buffer, result.ptr);
    }
    // The exact decimal expansion: a double has at most 1074 fraction digits.
    char buffer[1200];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x), std::chars_format::fixed, 1100);
    std::string_view expansion(buffer, static_cast<std::size_t>(result.ptr - buffer));
    std::size_t point = expansion.find('.');
    std::string integerDigits(expansion.substr(0, point));
    std::string_view fractionDigits = expansion.substr(point + 1);

    auto count = static_cast<std::size_t>(digits);
    std::string kept(fractionDigits.substr(0, count));
    kept.resize(count, '0');
    // All kept digits in one run, so that a round-up carries from the fraction into
    // the integer digits.
    std::string run = integerDigits + kept;
    if (count < fractionDigits.size() && fractionDigits[count] >= '5') {
        std::size_t i = run.size();
        while (i > 0 && run[i - 1] == '9') run[--i] = '0';
        if (i == 0) {
            run.insert(run.begin(), '1');
        } else {
            ++run[i - 1];
        }
    }
    std::size_t integerLength = run.size() - count;
    std::string text = x < 0 ? "-" : "";
    text.append(run, 0, integerLength);
    if (count > 0) {
        text += '.';
        text.append(run, integerLength, count);
    }
    return text;
}

} // namespace dv
