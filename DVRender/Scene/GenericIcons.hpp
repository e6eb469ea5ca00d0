#pragma once
// The twenty generic architecture icons that stencils with a "generic/<id>" reference show,
// drawn as vector outlines on a 24-unit grid: an optional outline to fill and the strokes.

#include "DVModel/ShapeDefinition.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dv {

inline constexpr double ICON_GRID = 24;

struct GenericIcon {
    std::optional<std::vector<ShapeCommand>> fill;  // absent for icons made of strokes only
    std::vector<ShapeCommand> strokes;

    bool operator==(const GenericIcon&) const = default;
};

// The icons in their fixed order, built once on first use.
const std::vector<std::pair<std::string, GenericIcon>>& GENERIC_ICONS();
const std::vector<std::string>& GENERIC_ICON_IDS();

// The icon of a reference "generic/<id>", or nothing for any other reference.
const GenericIcon* getGenericIcon(std::string_view ref);
// The id of a generic reference ("generic/<id>", later pieces ignored), or nothing.
std::optional<std::string> genericIconIdOf(std::string_view ref);
// Whether a bare id is one of the twenty.
bool isGenericIconId(std::string_view id);

}  // namespace dv

template <>
struct std::hash<dv::GenericIcon> {
    std::size_t operator()(const dv::GenericIcon& icon) const noexcept;
};
