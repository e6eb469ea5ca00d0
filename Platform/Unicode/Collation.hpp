#pragma once
// Locale-aware ordering of texts for display (the user's language decides where "Ä" goes), at the
// collator's default strength. Texts are UTF-8; ill-formed bytes read as U+FFFD.

#include <memory>
#include <string>
#include <string_view>

namespace dv::unicode {

class Collator {
public:
    // `localeId` as "sv_SE", "sv-SE" or "de"; an unknown locale orders as the root locale does.
    // Never throws; should no collator be had at all, texts order by UTF-16 code units.
    explicit Collator(std::string_view localeId);
    Collator(Collator&&) noexcept;
    Collator& operator=(Collator&&) noexcept;
    ~Collator();

    // Negative, zero or positive, as `a` sorts before, with or after `b`.
    int compare(std::string_view a, std::string_view b) const;
    // Bytes whose plain byte order (std::string comparison) is the collation order of the texts:
    // worth making once per text when a list is sorted.
    std::string sortKey(std::string_view text) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace dv::unicode
