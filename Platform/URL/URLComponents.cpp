#include "Platform/URL/URLComponents.hpp"

#include <cstdint>

namespace dv {
namespace {

bool isAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool isSubDelim(char c) {
    switch (c) {
    case '!': case '$': case '&': case '\'': case '(': case ')':
    case '*': case '+': case ',': case ';': case '=':
        return true;
    default:
        return false;
    }
}

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// True when every byte of `s` is unreserved, a sub-delimiter, one of `extra`, or part of a
// well-formed percent escape.
bool allowed(std::string_view s, std::string_view extra) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '%') {
            if (i + 2 >= s.size()) return false;
            if (!isHex(s[i + 1]) || !isHex(s[i + 2])) return false;
            i += 2;
            continue;
        }
        if (isUnreserved(c) || isSubDelim(c) || extra.find(c) != std::string_view::npos) continue;
        return false;
    }
    return true;
}

// True when every "%" of `s` starts a well-formed escape.
bool allowedEscapes(std::string_view s) {
    for (std::size_t i = s.find('%'); i != std::string_view::npos; i = s.find('%', i + 3)) {
        if (i + 2 >= s.size() || !isHex(s[i + 1]) || !isHex(s[i + 2])) return false;
    }
    return true;
}

std::string percentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out.push_back(static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// IP-literal = "[" ( IPv6address / IPvFuture ) "]". The IPv6 form is checked for its
// alphabet and group shape only; no address is built from it.
bool isIPLiteralBody(std::string_view s) {
    if (s.empty()) return false;
    if (s[0] == 'v' || s[0] == 'V') {
        std::size_t dot = s.find('.');
        if (dot == std::string_view::npos || dot < 2 || dot + 1 >= s.size()) return false;
        for (std::size_t i = 1; i < dot; ++i)
            if (!isHex(s[i])) return false;
        for (std::size_t i = dot + 1; i < s.size(); ++i)
            if (!isUnreserved(s[i]) && !isSubDelim(s[i]) && s[i] != ':') return false;
        return true;
    }
    int groups = 0;
    int run = 0;
    bool sawDoubleColon = false;
    bool sawDot = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == ':') {
            if (i + 1 < s.size() && s[i + 1] == ':') {
                if (sawDoubleColon) return false;
                sawDoubleColon = true;
                ++i;
            }
            if (run > 0) ++groups;
            run = 0;
        } else if (isHex(c)) {
            if (++run > 4 && !sawDot) return false;
        } else if (c == '.') {
            sawDot = true;  // an embedded IPv4 tail
        } else {
            return false;
        }
    }
    if (run > 0) ++groups;
    return sawDoubleColon ? groups <= 7 : groups >= 7;
}

}  // namespace

std::optional<URLComponents> URLComponents::parse(std::string_view text) {
    URLComponents out;
    std::string_view rest = text;

    // scheme ":" when the first segment holds a ':' before any '/', '?' or '#'.
    std::size_t firstDelim = rest.find_first_of(":/?#");
    if (firstDelim != std::string_view::npos && rest[firstDelim] == ':') {
        std::string_view scheme = rest.substr(0, firstDelim);
        if (scheme.empty() || !isAlpha(scheme[0])) return std::nullopt;
        for (char c : scheme)
            if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
        out.scheme = std::string(scheme);
        rest.remove_prefix(firstDelim + 1);
    }

    // Fragment and query are split off first; their delimiters mark them present even when empty.
    if (std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
        std::string_view frag = rest.substr(hash + 1);
        if (!allowed(frag, ":@/?")) return std::nullopt;
        out.fragment = std::string(frag);
        rest = rest.substr(0, hash);
    }
    if (std::size_t q = rest.find('?'); q != std::string_view::npos) {
        std::string_view query = rest.substr(q + 1);
        if (!allowed(query, ":@/?")) return std::nullopt;
        out.query = std::string(query);
        rest = rest.substr(0, q);
    }

    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        std::size_t slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);

        if (std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
            std::string_view userinfo = authority.substr(0, at);
            if (!allowed(userinfo, ":")) return std::nullopt;
            std::size_t colon = userinfo.find(':');
            out.user = std::string(userinfo.substr(0, colon));
            if (colon != std::string_view::npos) out.password = std::string(userinfo.substr(colon + 1));
            authority.remove_prefix(at + 1);
        }

        std::string_view host;
        std::string_view afterHost;
        if (!authority.empty() && authority[0] == '[') {
            std::size_t close = authority.find(']');
            if (close == std::string_view::npos) return std::nullopt;
            if (!isIPLiteralBody(authority.substr(1, close - 1))) return std::nullopt;
            host = authority.substr(0, close + 1);
            afterHost = authority.substr(close + 1);
        } else {
            std::size_t colon = authority.find(':');
            host = authority.substr(0, colon);
            if (!allowed(host, "")) return std::nullopt;
            afterHost = colon == std::string_view::npos ? std::string_view() : authority.substr(colon);
        }
        if (!afterHost.empty()) {
            if (afterHost[0] != ':') return std::nullopt;
            std::string_view port = afterHost.substr(1);
            for (char c : port)
                if (!isDigit(c)) return std::nullopt;
            out.port = std::string(port);
        }
        out.host = percentDecode(host);
    }

    if (!allowed(rest, ":@/")) return std::nullopt;
    out.path = std::string(rest);
    return out;
}

std::optional<std::string> percentDecodeStrict(std::string_view text) {
    if (!allowedEscapes(text)) return std::nullopt;
    return percentDecode(text);
}

}  // namespace dv
