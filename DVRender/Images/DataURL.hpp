#pragma once
// data: URLs as image sources.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

struct DataURL {
    std::string mediaType;            // lowercased essence, such as "image/png"
    std::vector<std::uint8_t> body;   // percent-decoded, base64-decoded when marked so
};

// Nothing when the text is not a data: URL (no scheme, no comma, bad base64).
std::optional<DataURL> parseDataURL(std::string_view input);

}  // namespace dv
