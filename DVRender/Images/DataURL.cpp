#include "DVRender/Images/DataURL.hpp"

#include "DVModel/detail/Base64Reader.hpp"

#include <optional>

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

bool isURLStripped(std::uint8_t c) { return c == '\t' || c == '\n' || c == '\r'; }

// A body as the URL holds it: tab, LF and CR are not part of the URL, a "#" ends the body, and
// "%" with two hexadecimal digits stands for a byte.
class BodyReader {
public:
    explicit BodyReader(std::string_view body)
        : p_(reinterpret_cast<const std::uint8_t*>(body.data())), end_(p_ + body.size()) {}

    const std::uint8_t*& at() { return p_; }
    const std::uint8_t* end() const { return end_; }

    // The next byte of the body, or absent at its end.
    std::optional<std::uint8_t> next() {
        while (p_ < end_) {
            const std::uint8_t c = *p_++;
            if (isURLStripped(c)) continue;
            if (c == '#') {
                p_ = end_;
                return std::nullopt;
            }
            if (c == '%') return escaped();
            return c;
        }
        return std::nullopt;
    }

private:
    std::uint8_t escaped() {
        const std::uint8_t* q = p_;
        int digits[2];
        for (int& digit : digits) {
            while (q < end_ && isURLStripped(*q)) ++q;
            digit = q < end_ ? hexValue(static_cast<char>(*q++)) : -1;
            if (digit < 0) return '%';
        }
        p_ = q;
        return static_cast<std::uint8_t>(digits[0] * 16 + digits[1]);
    }

    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

std::vector<std::uint8_t> percentDecoded(std::string_view body) {
    std::vector<std::uint8_t> out;
    out.reserve(body.size());
    BodyReader reader(body);
    while (auto byte = reader.next()) out.push_back(*byte);
    return out;
}

// The body's bytes read as base64 in the same pass that undoes the URL's own forms.
std::optional<std::vector<std::uint8_t>> base64Decoded(std::string_view body) {
    detail::Base64Reader base64(body.size());
    BodyReader reader(body);
    for (;;) {
        // Runs of plain alphabet need none of the URL's care.
        reader.at() = base64.readRun(reader.at(), reader.end());
        const auto byte = reader.next();
        if (!byte) break;
        if (!base64.put(*byte)) return std::nullopt;
    }
    return base64.finish(false);
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
    // The scheme and the header, up to the first comma, without the characters a URL drops; a
    // fragment before the comma leaves no body.
    std::string text;
    std::size_t comma = 0;
    for (;; ++comma) {
        if (comma == input.size() || input[comma] == '#') return std::nullopt;
        const char c = input[comma];
        if (c == ',') break;
        if (!isURLStripped(static_cast<std::uint8_t>(c))) text.push_back(c);
    }
    if (text.size() < 5 || asciiLowercased(std::string_view(text).substr(0, 5)) != "data:") return std::nullopt;
    std::string header(trimASCIIWhiteSpace(std::string_view(text).substr(5)));
    const std::string_view body = input.substr(comma + 1);
    DataURL result;

    bool base64 = false;
    std::string lower = asciiLowercased(header);
    if (lower.size() >= 6 && lower.compare(lower.size() - 6, 6, "base64") == 0) {
        lower.resize(lower.size() - 6);
        while (!lower.empty() && lower.back() == ' ') lower.pop_back();
        if (!lower.empty() && lower.back() == ';') {
            auto decoded = base64Decoded(body);
            if (!decoded) return std::nullopt;
            result.body = std::move(*decoded);
            header.resize(lower.size() - 1);
            base64 = true;
        }
    }
    if (!base64) result.body = percentDecoded(body);
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
