#include "DVModel/Base64.hpp"

#include "DVModel/detail/Base64Reader.hpp"

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

}  // namespace

std::string base64Encode(std::span<const std::uint8_t> bytes) { return encode(bytes, kStandard, true); }

std::string base64URLEncode(std::span<const std::uint8_t> bytes) { return encode(bytes, kURL, false); }

std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text, Base64Decoding mode) {
    detail::Base64Reader reader(text.size());
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        p = reader.readRun(p, end);
        if (p < end && !reader.put(*p++)) return std::nullopt;
    }
    return reader.finish(mode == Base64Decoding::strict);
}

}  // namespace dv
