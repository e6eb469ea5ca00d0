#pragma once

// Text operations that behave as JavaScript's string built-ins do, so that what the web
// implementation of the board format accepts, trims or matches is exactly what we do.

#include <string>
#include <string_view>

namespace dv {

// JavaScript's white space for String.prototype.trim: U+0009..U+000D, U+0020, U+00A0, U+2028,
// U+2029, U+FEFF and the space separators (U+1680, U+2000..U+200A, U+202F, U+205F, U+3000).
// U+180E and U+200B are not white space.
bool isJSWhiteSpace(char32_t scalar) noexcept;

// String.prototype.trim: the text without leading and trailing JavaScript white space.
std::string jsTrim(std::string_view text);

// String.prototype.includes, matching UTF-16 code units; the empty search text is always found.
bool jsStringIncludes(std::string_view text, std::string_view search);

// True when `text` begins with `lowerPrefix`, the text's ASCII capitals taken as small letters.
// The prefix is used as given, so a prefix holding a capital letter never matches.
bool hasPrefixIgnoringASCIICase(std::string_view text, std::string_view lowerPrefix);

} // namespace dv
