#pragma once
// Elements on the pasteboard: under a private type whose content is a small JSON document, and as
// plain text made of a fixed prefix and the same JSON. Decoding a paste never throws: anything
// that is not a non-empty list of valid elements is absent, and the paste does nothing.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "DVModel/Element.hpp"

namespace dv {

inline constexpr std::string_view elementClipboardMIME = "application/x-drevalin-elements";
inline constexpr std::string_view elementClipboardTextPrefix = "drevalin-elements:";

// Compact {"version":1,"elements":[...]}.
std::string serializeElementClipboard(std::span<const Element> elements);
// The prefix immediately followed by the clipboard JSON.
std::string elementClipboardText(std::span<const Element> elements);

// The elements of clipboard JSON: version equal to the number 1, a non-empty valid list.
std::optional<std::vector<Element>> decodeElementClipboard(std::string_view json);
// The elements of the text form; the prefix must be at the very start.
std::optional<std::vector<Element>> decodeElementClipboardText(std::string_view text);
// What a paste yields: the private form when it is present and non-empty, even if it does not
// decode (the text is then not consulted); otherwise the text form.
std::optional<std::vector<Element>> decodeElementClipboard(std::optional<std::string_view> custom,
                                                           std::optional<std::string_view> text);

}  // namespace dv
