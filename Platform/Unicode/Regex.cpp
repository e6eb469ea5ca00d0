#include "Platform/Unicode/Regex.hpp"

#include <climits>

#include <unicode/errorcode.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace dv::unicode {

struct Regex::Compiled {
    std::unique_ptr<icu::RegexPattern> pattern;
};

namespace {

// A read-only ICU view of the text, no copy. Texts longer than ICU can index are left unmatched.
std::optional<icu::UnicodeString> view(std::u16string_view text) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) return std::nullopt;
    return icu::UnicodeString(false, text.data(), static_cast<int32_t>(text.size()));
}

} // namespace

Regex::Regex(std::unique_ptr<Compiled> compiled) noexcept : compiled_(std::move(compiled)) {}
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;
Regex::~Regex() = default;

std::optional<Regex> Regex::compile(std::u16string_view pattern, std::string* error) {
    auto source = view(pattern);
    if (!source) {
        if (error) *error = "pattern too long";
        return std::nullopt;
    }
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(*source, 0, parseError, status));
    if (U_FAILURE(status) || !compiled) {
        if (error) {
            *error = u_errorName(status);
            *error += " at offset " + std::to_string(parseError.offset);
        }
        return std::nullopt;
    }
    return Regex(std::make_unique<Compiled>(Compiled{std::move(compiled)}));
}

bool Regex::search(std::u16string_view text) const {
    auto input = view(text);
    if (!input) return false;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(compiled_->pattern->matcher(*input, status));
    if (U_FAILURE(status)) return false;
    const bool found = matcher->find(status);
    return U_SUCCESS(status) && found;
}

std::optional<std::u16string> Regex::firstMatchGroup(std::u16string_view text, int group) const {
    auto input = view(text);
    if (!input) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(compiled_->pattern->matcher(*input, status));
    if (U_FAILURE(status) || !matcher->find(status) || U_FAILURE(status)) return std::nullopt;
    if (group < 0 || group > matcher->groupCount()) return std::nullopt;
    const int32_t start = matcher->start(group, status);
    const int32_t end = matcher->end(group, status);
    if (U_FAILURE(status) || start < 0 || end < start) return std::nullopt;
    return std::u16string(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

std::u16string Regex::replace(std::u16string_view text, std::u16string_view replacement, bool all) const {
    auto input = view(text);
    if (!input) return std::u16string(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(compiled_->pattern->matcher(*input, status));
    if (U_FAILURE(status)) return std::u16string(text);
    std::u16string out;
    std::size_t copied = 0;
    bool matched = false;
    // find() steps past empty matches itself, so every match is visited once.
    while (matcher->find(status) && U_SUCCESS(status)) {
        const auto start = static_cast<std::size_t>(matcher->start(status));
        const auto end = static_cast<std::size_t>(matcher->end(status));
        if (U_FAILURE(status)) break;
        out.append(text.substr(copied, start - copied));
        out.append(replacement);
        copied = end;
        matched = true;
        if (!all) break;
    }
    if (!matched) return std::u16string(text);
    out.append(text.substr(copied));
    return out;
}

std::u16string Regex::replaceFirst(std::u16string_view text, std::u16string_view replacement) const {
    return replace(text, replacement, false);
}

std::u16string Regex::replaceAll(std::u16string_view text, std::u16string_view replacement) const {
    return replace(text, replacement, true);
}

} // namespace dv::unicode
