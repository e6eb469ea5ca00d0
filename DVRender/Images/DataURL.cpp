#include "DVRender/Images/DataURL.hpp"

#include "DVModel/Base64.hpp"

namespace dv {

namespace {

bool isASCIIWhiteSpace(char c) { return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string asciiLowercased(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = asciiLower(c);
    return out;
}

std::string_view trimASCIIWhiteSpace(std::string_view s) {
    while (!s.empty() && isASCIIWhiteSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isASCIIWhiteSpace(s.back())) s.remove_suffix(1);
    return s;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<std::uint8_t> percentDecode(std::string_view s) {
    std::vector<std::uint8_t> out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            out.push_back(static_cast<std::uint8_t>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2])));
            i += 2;
        } else {
            out.push_back(static_cast<std::uint8_t>(s[i]));
        }
    }
    return out;
}

bool isTokenText(std::string_view s) {
    static constexpr std::string_view token = "!#$%&'*+-.^_`|~0123456789abcdefghijklmnopqrstuvwxyz";
    if (s.empty()) return false;
    for (char c : s) {
        if (token.find(c) == std::string_view::npos) return false;
    }
    return true;
}

}  // namespace

std::optional<DataURL> parseDataURL(std::string_view input) {
    // Scalars at or below U+0020 are single ASCII bytes in UTF-8, so bytes serve here.
    while (!input.empty() && static_cast<unsigned char>(input.front()) <= 0x20) input.remove_prefix(1);
    while (!input.empty() && static_cast<unsigned char>(input.back()) <= 0x20) input.remove_suffix(1);
    std::string text;
    text.reserve(input.size());
    for (char c : input) {
        if (c != '\t' && c != '\n' && c != '\r') text.push_back(c);
    }
    if (text.size() < 5 || asciiLowercased(std::string_view(text).substr(0, 5)) != "data:") return std::nullopt;
    std::string_view rest = std::string_view(text).substr(5);
    rest = rest.substr(0, rest.find('#'));
    const auto comma = rest.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    std::string header(trimASCIIWhiteSpace(rest.substr(0, comma)));
    DataURL result;
    result.body = percentDecode(rest.substr(comma + 1));

    std::string lower = asciiLowercased(header);
    if (lower.size() >= 6 && lower.compare(lower.size() - 6, 6, "base64") == 0) {
        lower.resize(lower.size() - 6);
        while (!lower.empty() && lower.back() == ' ') lower.pop_back();
        if (!lower.empty() && lower.back() == ';') {
            auto decoded = base64Decode(
                std::string_view(reinterpret_cast<const char*>(result.body.data()), result.body.size()),
                Base64Decoding::forgiving);
            if (!decoded) return std::nullopt;
            result.body = std::move(*decoded);
            header.resize(lower.size() - 1);
        }
    }
    if (!header.empty() && header.front() == ';') header.insert(0, "text/plain");

    const std::string essence = asciiLowercased(trimASCIIWhiteSpace(std::string_view(header).substr(0, header.find(';'))));
    const auto slash = essence.find('/');
    result.mediaType = "text/plain";
    if (slash != std::string::npos) {
        const std::string_view type = std::string_view(essence).substr(0, slash);
        const std::string_view subtype = std::string_view(essence).substr(slash + 1);
        if (isTokenText(type) && isTokenText(subtype)) result.mediaType = essence;
    }
    return result;
}

}  // namespace dv
