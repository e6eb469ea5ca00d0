#pragma once
// Per-character advances in em, shared by measurement and wrapping.

#include "DVModel/UTF8.hpp"
#include "DVText/detail/WidthTables.hpp"

#include <cstddef>
#include <string_view>

namespace dv::detail {

/// The table of the font class named by a CSS font-family text, in the given weight.
const WidthTable& widthTableFor(std::string_view fontFamily, bool bold);

/// Advance of one Unicode scalar in em.
inline double scalarAdvance(const WidthTable& table, char32_t s) {
    if (s >= 0x20 && s <= 0x7E) return table[s - 0x20];
    if (s >= 0xA0 && s <= 0xFF) return table[s - 0xA0 + 95];
    if ((s >= 0x1100 && s <= 0x115F) || (s >= 0x2E80 && s <= 0xA4CF) || (s >= 0xAC00 && s <= 0xD7A3) ||
        (s >= 0xF900 && s <= 0xFAFF) || (s >= 0xFF00 && s <= 0xFF60) || s >= 0x1F300)
        return 1.0;
    return table['n' - 0x20];
}

/// Em width of `text`, summed left to right from 0.
inline double emWidth(const WidthTable& table, std::string_view text) {
    double em = 0;
    std::size_t pos = 0;
    while (pos < text.size()) em += scalarAdvance(table, decodeUTF8(text, pos));
    return em;
}

} // namespace dv::detail
