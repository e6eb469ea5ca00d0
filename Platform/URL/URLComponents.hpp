#pragma once
// URL components (RFC 3986): splits a URI reference into its parts without any network
// access or normalisation. A component that is present but empty (a bare "?" or "#", the
// empty user of "https://@host") is reported as present, which callers rely on.

#include <optional>
#include <string>
#include <string_view>

namespace dv {

struct URLComponents {
    std::optional<std::string> scheme;    // as written
    std::optional<std::string> user;      // as written (percent escapes kept)
    std::optional<std::string> password;  // as written
    std::optional<std::string> host;      // percent-decoded, case kept; present with an authority
    std::optional<std::string> port;      // the digits as written (may be empty)
    std::string path;                     // as written
    std::optional<std::string> query;     // without the "?"
    std::optional<std::string> fragment;  // without the "#"

    // Parses a URI or a relative reference. Absent when the text is not a well-formed
    // RFC 3986 reference: bytes outside the allowed sets (spaces, non-ASCII, `"<>\^`{|}`),
    // a bad percent escape, a non-numeric port, or a malformed IP literal.
    static std::optional<URLComponents> parse(std::string_view text);

    bool operator==(const URLComponents&) const = default;
};

// The bytes of `text` with every percent escape decoded. Absent when a "%" is not followed by two
// hexadecimal digits (either case); every other byte, "+" included, is kept as it is. The result
// may be any bytes: callers that need text check its UTF-8 themselves.
std::optional<std::string> percentDecodeStrict(std::string_view text);

}  // namespace dv
