#include "Platform/Unicode/Collation.hpp"

#include <climits>

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace dv::unicode {

struct Collator::State {
    std::unique_ptr<icu::Collator> collator;
};

namespace {

icu::UnicodeString toICU(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) text = text.substr(0, INT32_MAX);
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

} // namespace

Collator::Collator(std::string_view localeId) : state_(std::make_unique<State>()) {
    std::string name(localeId);
    for (char& ch : name)
        if (ch == '-') ch = '_';
    icu::Locale locale = icu::Locale::createCanonical(name.c_str());
    UErrorCode status = U_ZERO_ERROR;
    state_->collator.reset(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        state_->collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) state_->collator.reset();
    }
}

Collator::Collator(Collator&&) noexcept = default;
Collator& Collator::operator=(Collator&&) noexcept = default;
Collator::~Collator() = default;

int Collator::compare(std::string_view a, std::string_view b) const {
    const icu::UnicodeString left = toICU(a), right = toICU(b);
    if (!state_->collator) return left.compare(right);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result = state_->collator->compare(left, right, status);
    if (U_FAILURE(status)) return left.compare(right);
    return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
}

std::string Collator::sortKey(std::string_view text) const {
    const icu::UnicodeString unicode = toICU(text);
    std::string key;
    if (!state_->collator) {
        // Big-endian code units: byte order is then code-unit order.
        key.reserve(static_cast<std::size_t>(unicode.length()) * 2);
        for (int32_t i = 0; i < unicode.length(); ++i) {
            const char16_t unit = unicode.charAt(i);
            key.push_back(static_cast<char>(unit >> 8));
            key.push_back(static_cast<char>(unit & 0xFF));
        }
        return key;
    }
    key.resize(64);
    int32_t needed = state_->collator->getSortKey(unicode, reinterpret_cast<uint8_t*>(key.data()),
                                                   static_cast<int32_t>(key.size()));
    if (needed > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<std::size_t>(needed));
        needed = state_->collator->getSortKey(unicode, reinterpret_cast<uint8_t*>(key.data()), needed);
    }
    // The key ends with a NUL that takes no part in the order.
    key.resize(needed > 0 ? static_cast<std::size_t>(needed - 1) : 0);
    return key;
}

} // namespace dv::unicode
