#pragma once
// Unicode services the kit needs beyond plain UTF-8 handling: text segmentation and
// character properties. Backed by ICU; texts are UTF-8 and may hold NUL bytes.

#include <cstddef>
#include <optional>
#include <string>
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

// The platform's white-space-and-newline set used to trim search text: space separators (Zs),
// line and paragraph separators, tab, U+000A to U+000D and U+0085. It differs from
// isWhiteSpace and from JavaScript's trim set (no U+FEFF, for one).
bool isWhiteSpaceOrNewline(char32_t scalar);

// The length in bytes of the first `maxClusters` extended grapheme clusters of `text` (all of
// it when it has fewer), with their number in `clusters`. Stops reading at that boundary.
std::size_t graphemePrefix(std::string_view text, std::size_t maxClusters, std::size_t& clusters);

// Full Unicode lower-case mapping, independent of locale ("İ" becomes "i̇", "ẞ" becomes "ß").
// Ill-formed UTF-8 reads as U+FFFD.
std::string toLowerCase(std::string_view text);

// Full Unicode upper-case mapping, independent of locale ("ß" becomes "SS", "i" stays "I" and
// never the Turkish dotted capital). Ill-formed UTF-8 reads as U+FFFD.
std::string toUpperCase(std::string_view text);

// Canonical composition (NFC). Ill-formed UTF-8 reads as U+FFFD.
std::string normalizeNFC(std::string_view text);

} // namespace dv::unicode
