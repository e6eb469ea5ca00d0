#pragma once
// Unicode services the kit needs beyond plain UTF-8 handling: text segmentation and
// character properties. Backed by ICU; texts are UTF-8 and may hold NUL bytes.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace dv::unicode {

// Byte offsets of the extended grapheme cluster boundaries of `text`, in increasing
// order, starting with 0 and ending with text.size() (a single 0 for an empty text).
// Ill-formed UTF-8 is segmented as though each maximal ill-formed subpart were U+FFFD.
std::vector<std::size_t> graphemeBoundaries(std::string_view text);

// The user-perceived characters of `text`, each a view into `text`.
std::vector<std::string_view> graphemeClusters(std::string_view text);

// The scalar `text` consists of, when it is exactly one well-formed UTF-8 scalar.
std::optional<char32_t> singleScalar(std::string_view text);

// The Unicode White_Space property.
bool isWhiteSpace(char32_t scalar);

} // namespace dv::unicode
