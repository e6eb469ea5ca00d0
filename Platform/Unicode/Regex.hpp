#pragma once
// Regular expressions in ICU's syntax (\A, \z, \x{..}, \p{..}) over UTF-16 texts. A pattern is
// compiled once and may then be shared between threads: every operation makes its own matcher.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace dv::unicode {

class Regex {
public:
    // The compiled pattern (no flags), or absent with the reason in `error` when it does not
    // compile. Never throws.
    static std::optional<Regex> compile(std::u16string_view pattern, std::string* error = nullptr);

    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;
    ~Regex();

    // True when the pattern matches somewhere in `text`.
    bool search(std::u16string_view text) const;
    // Capture group `group` of the first match; absent when there is no match or the group took
    // no part in it.
    std::optional<std::u16string> firstMatchGroup(std::u16string_view text, int group) const;
    // `text` with its first match, or every match, replaced by `replacement` taken literally
    // (no group references).
    std::u16string replaceFirst(std::u16string_view text, std::u16string_view replacement) const;
    std::u16string replaceAll(std::u16string_view text, std::u16string_view replacement) const;

private:
    struct Compiled;
    explicit Regex(std::unique_ptr<Compiled> compiled) noexcept;
    std::u16string replace(std::u16string_view text, std::u16string_view replacement, bool all) const;
    std::unique_ptr<Compiled> compiled_;
};

} // namespace dv::unicode
