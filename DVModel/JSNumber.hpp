#pragma once

// Number behaviour shared with the web implementation of the board format: minimum, maximum,
// rounding, distance, sign, the `||` fallback and number text, exactly as JavaScript computes
// them on binary64 values (NaN, infinities and signed zeros included).

#include <cmath>
#include <concepts>
#include <initializer_list>
#include <span>
#include <string>

namespace dv {

namespace detail {

// One step of JavaScript's Math.min: a NaN wins at once (the caller checks), a smaller value
// replaces the running result, and between two zeros -0 wins.
inline double jsMinStep(double result, double value) {
    if (value < result) return value;
    if (value == 0 && result == 0 && std::signbit(value)) return value;
    return result;
}

// Mirror image of jsMinStep: between two zeros +0 wins.
inline double jsMaxStep(double result, double value) {
    if (value > result) return value;
    if (value == 0 && result == 0 && !std::signbit(value)) return value;
    return result;
}

} // namespace detail

// Math.min: +infinity for no values, NaN as soon as any value is NaN, -0 below +0.
inline double jsMin(std::span<const double> values) {
    double result = HUGE_VAL;
    for (double value : values) {
        if (std::isnan(value)) return value;
        result = detail::jsMinStep(result, value);
    }
    return result;
}

// Math.max: -infinity for no values, NaN as soon as any value is NaN, +0 above -0.
inline double jsMax(std::span<const double> values) {
    double result = -HUGE_VAL;
    for (double value : values) {
        if (std::isnan(value)) return value;
        result = detail::jsMaxStep(result, value);
    }
    return result;
}

inline double jsMin(std::initializer_list<double> values) {
    return jsMin(std::span<const double>(values.begin(), values.size()));
}

inline double jsMax(std::initializer_list<double> values) {
    return jsMax(std::span<const double>(values.begin(), values.size()));
}

template <typename... T>
    requires(std::convertible_to<T, double> && ...)
inline double jsMin(T... values) {
    return jsMin({static_cast<double>(values)...});
}

template <typename... T>
    requires(std::convertible_to<T, double> && ...)
inline double jsMax(T... values) {
    return jsMax({static_cast<double>(values)...});
}

// Math.round: halves go toward +infinity and the sign of a zero result is kept
// (-0.5 and -0.2 give -0).
inline double jsRound(double x) {
    if (std::isnan(x) || std::isinf(x) || x == 0) return x;
    if (x > 0 && x < 0.5) return 0.0;
    if (x >= -0.5 && x < 0) return -0.0;
    double f = std::floor(x);
    return (x - f >= 0.5) ? f + 1 : f;
}

// Math.hypot of two operands: an infinity beats a NaN; scaled by the larger magnitude so that
// large operands do not overflow.
inline double jsHypot(double a, double b) {
    double absA = std::fabs(a);
    double absB = std::fabs(b);
    if (std::isinf(absA) || std::isinf(absB)) return HUGE_VAL;
    if (std::isnan(a) || std::isnan(b)) return NAN;
    double m = absA > absB ? absA : absB;
    if (m == 0) return 0.0;
    // The larger operand over itself is exactly 1, so only the smaller one needs the division.
    double r = (absA > absB ? absB : absA) / m;
    return std::sqrt(r * r + 1.0) * m;
}

// Math.sign: NaN and both zeros come back as they are.
inline double jsSign(double x) {
    if (x < 0) return -1.0;
    if (x > 0) return 1.0;
    return x;
}

// `value || fallback` on numbers: +0, -0 and NaN are false in JavaScript.
inline double jsOr(double value, double fallback) {
    if (value == 0 || std::isnan(value)) return fallback;
    return value;
}

// Number.prototype.toString() in radix 10: "NaN", "Infinity", "-Infinity", "0" for both zeros,
// otherwise the shortest round-trip digits laid out as JavaScript lays them out
// ("100", "0.000001", "1e-7", "1e+21", "1.7976931348623157e+308").
std::string jsNumberString(double x);

// The same text appended to `out`, for writers that print many numbers into one buffer.
void appendJsNumberString(std::string& out, double x);

// jsNumberString(jsRound(x * 100) / 100) appended to `out`: the two-decimal numbers of path
// data and exported documents.
void appendJsHundredthsString(std::string& out, double x);

} // namespace dv
