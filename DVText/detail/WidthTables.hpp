#pragma once
// Static advance widths in em for the three font classes in two weights. Entries 0..94 are
// U+0020..U+007E, entries 95..190 are U+00A0..U+00FF. The values live in
// DVText/data/WidthTables.txt; WidthTables.cpp is generated from it.

#include <array>
#include <cstddef>

namespace dv::detail {

inline constexpr std::size_t WIDTH_TABLE_SIZE = 191;
using WidthTable = std::array<double, WIDTH_TABLE_SIZE>;

extern const WidthTable SANS_REGULAR;
extern const WidthTable SANS_BOLD;
extern const WidthTable SERIF_REGULAR;
extern const WidthTable SERIF_BOLD;
extern const WidthTable MONO_REGULAR;
extern const WidthTable MONO_BOLD;

} // namespace dv::detail
