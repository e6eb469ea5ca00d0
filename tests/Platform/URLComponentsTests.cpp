#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Platform/URL/URLComponents.hpp"

namespace dv {
namespace {

using Opt = std::optional<std::string>;

struct Split {
    const char* text;
    Opt scheme, user, password, host, port;
    std::string path;
    Opt query, fragment;
};

TEST(URLComponents, SplitsEveryComponentAndKeepsPresentButEmptyOnes) {
    const Split cases[] = {
        {"https://example.com", "https", {}, {}, "example.com", {}, "", {}, {}},
        {"HTTPS://EXAMPLE.COM/", "HTTPS", {}, {}, "EXAMPLE.COM", {}, "/", {}, {}},
        {"http://localhost:8080", "http", {}, {}, "localhost", "8080", "", {}, {}},
        {"http://h:", "http", {}, {}, "h", "", "", {}, {}},
        {"https://x.com?", "https", {}, {}, "x.com", {}, "", "", {}},
        {"https://x.com#", "https", {}, {}, "x.com", {}, "", {}, ""},
        {"https://x.com/a/b?q=1#f", "https", {}, {}, "x.com", {}, "/a/b", "q=1", "f"},
        {"https://u@x.com", "https", "u", {}, "x.com", {}, "", {}, {}},
        {"https://@x.com", "https", "", {}, "x.com", {}, "", {}, {}},
        {"https://u:p@x.com", "https", "u", "p", "x.com", {}, "", {}, {}},
        {"https://", "https", {}, {}, "", {}, "", {}, {}},
        {"https://%6Cocalhost", "https", {}, {}, "localhost", {}, "", {}, {}},
        {"https://[::1]:443/", "https", {}, {}, "[::1]", "443", "/", {}, {}},
        {"mailto:a@b", "mailto", {}, {}, {}, {}, "a@b", {}, {}},
        {"/just/a/path", {}, {}, {}, {}, {}, "/just/a/path", {}, {}},
        {"", {}, {}, {}, {}, {}, "", {}, {}},
    };
    for (const Split& c : cases) {
        SCOPED_TRACE(c.text);
        auto parts = URLComponents::parse(c.text);
        ASSERT_TRUE(parts.has_value());
        EXPECT_EQ(parts->scheme, c.scheme);
        EXPECT_EQ(parts->user, c.user);
        EXPECT_EQ(parts->password, c.password);
        EXPECT_EQ(parts->host, c.host);
        EXPECT_EQ(parts->port, c.port);
        EXPECT_EQ(parts->path, c.path);
        EXPECT_EQ(parts->query, c.query);
        EXPECT_EQ(parts->fragment, c.fragment);
    }
}

TEST(URLComponents, RejectsTextOutsideTheGrammar) {
    const char* cases[] = {
        "https://exa mple.com",       // space
        "https://bücher.example",     // non-ASCII host
        "https://x.com:80a",          // port with a letter
        "https://x.com/%zz",          // bad escape
        "https://x.com/%4",           // truncated escape
        "https://x.com/<a>",          // excluded delimiters
        "https://x.com/{}",
        "https://x.com/a|b",
        "https://x.com/\\",
        "https://x.com/`",
        "https://x.com/^",
        "https://x.com/\"",
        "https://a@b@x.com",          // '@' inside the user information
        "https://[::1",               // unclosed IP literal
        "https://[zz]/",              // not an IP literal
        "1http://x.com",              // scheme must start with a letter
        "ht_tp://x.com",              // '_' is not a scheme character
        "https://x.com#a#b",          // '#' inside the fragment
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(URLComponents::parse(text).has_value());
    }
}

}  // namespace
}  // namespace dv
