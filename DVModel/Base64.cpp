#include "DVModel/Base64.hpp"

namespace dv {

namespace {

constexpr char kStandard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kURL[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string encode(std::span<const std::uint8_t> bytes, const char* alphabet, bool pad) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        std::uint32_t n = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out.push_back(alphabet[(n >> 18) & 63]);
        out.push_back(alphabet[(n >> 12) & 63]);
        out.push_back(alphabet[(n >> 6) & 63]);
        out.push_back(alphabet[n & 63]);
    }
    std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t n = std::uint32_t{bytes[i]} << 16;
        if (rest == 2) n |= std::uint32_t{bytes[i + 1]} << 8;
        out.push_back(alphabet[(n >> 18) & 63]);
        out.push_back(alphabet[(n >> 12) & 63]);
        if (rest == 2) out.push_back(alphabet[(n >> 6) & 63]);
        if (pad) out.append(rest == 2 ? "=" : "==");
    }
    return out;
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool isSkippedWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

}  // namespace

std::string base64Encode(std::span<const std::uint8_t> bytes) { return encode(bytes, kStandard, true); }

std::string base64URLEncode(std::span<const std::uint8_t> bytes) { return encode(bytes, kURL, false); }

std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text, Base64Decoding mode) {
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (!isSkippedWhiteSpace(c)) s.push_back(c);
    }
    if (mode == Base64Decoding::strict && s.size() % 4 != 0) return std::nullopt;
    if (s.size() % 4 == 0) {
        // At most two "=" end a group; a third is left in place and refused below.
        if (!s.empty() && s.back() == '=') s.pop_back();
        if (!s.empty() && s.back() == '=') s.pop_back();
    }
    if (s.size() % 4 == 1) return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(s.size() / 4 * 3 + 2);
    std::uint32_t bits = 0;
    int count = 0;
    for (char c : s) {
        const int v = base64Value(c);
        if (v < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<std::uint8_t>(bits >> count));
            bits &= (1u << count) - 1;
        }
    }
    return out;
}

}  // namespace dv
