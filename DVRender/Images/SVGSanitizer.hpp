#pragma once
// Cleaning of untrusted SVG text into a reduced, self-contained SVG document.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

inline constexpr std::string_view SVG_NAMESPACE = "http://www.w3.org/2000/svg";

// The sanitised SVG text, or nothing when the text is no acceptable SVG document.
std::optional<std::string> sanitizeSvg(std::string_view svg);

// Splits a viewBox value at runs of commas and JavaScript white space.
std::vector<std::string> splitViewBox(std::string_view text);

}  // namespace dv
