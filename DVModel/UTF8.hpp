#pragma once

// UTF-8 text helpers shared by the whole kit. Texts are UTF-8 std::string; lengths, limits and
// orderings follow JavaScript, i.e. they count and compare UTF-16 code units. Every function here
// accepts arbitrary bytes: an ill-formed sequence reads as U+FFFD, one per maximal subpart
// (the Unicode recommended practice), so that counting, comparing and repairing always agree.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dv {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

/// Decodes the code point starting at byte `pos` of `text` (pos < text.size()) and advances `pos`
/// past it. An ill-formed sequence gives U+FFFD and advances past its maximal subpart (at least
/// one byte). Never yields a surrogate or a value above U+10FFFF.
char32_t decodeUTF8(std::string_view text, std::size_t& pos) noexcept;

/// Moves `pos` (0 < pos <= text.size()) back to the start of the code point that ends just before
/// it and returns that code point. On well-formed text this undoes `decodeUTF8`; on ill-formed
/// text it steps back one byte at a time over bytes that cannot close a sequence, giving U+FFFD.
char32_t decodeUTF8Backward(std::string_view text, std::size_t& pos) noexcept;

/// True when `text` is well-formed UTF-8 (no surrogates, nothing above U+10FFFF, no overlong forms).
bool isValidUTF8(std::string_view text) noexcept;

/// `text` with every ill-formed subpart replaced by U+FFFD (a plain copy when already valid).
std::string repairUTF8(std::string_view text);

/// Appends the repaired form of `text` to `out`.
void appendRepairedUTF8(std::string& out, std::string_view text);

/// The code points of `text`, ill-formed subparts read as U+FFFD.
std::u32string decodeUTF8ToCodePoints(std::string_view text);

/// Appends `cp` encoded as UTF-8. Surrogates and values above U+10FFFF are written as U+FFFD.
void appendUTF8(std::string& out, char32_t cp);

/// Number of UTF-16 code units of the (repaired) text.
std::size_t utf16Length(std::string_view text) noexcept;

/// Orders two texts by their UTF-16 code units, as JavaScript compares strings: negative, zero or
/// positive. Differs from byte (code point) order where a supplementary character meets one of
/// U+E000..U+FFFF: the surrogate pair sorts first.
int compareUTF16(std::string_view a, std::string_view b) noexcept;

/// The UTF-16 code units of the (repaired) text.
std::u16string toUTF16(std::string_view text);

/// UTF-8 of a UTF-16 sequence; a lone surrogate becomes U+FFFD.
std::string fromUTF16(std::u16string_view units);

}  // namespace dv
