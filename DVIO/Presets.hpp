#pragma once
// Small ready-made diagrams (a flowchart, a mind map, a SWOT matrix, a sequence diagram) that an
// editor drops onto the board around a point.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DVModel/Element.hpp"

namespace dv {

struct Presets {
    struct Preset {
        std::string id;
        std::string labelKey;  // the key under which an editor finds the display name

        bool operator==(const Preset&) const = default;
    };

    static const std::vector<Preset>& all();

    // The preset's elements centred on (cx, cy), coloured for a dark or light canvas, with ids
    // drawn from `createId` in creation order; absent for an id that is not exactly a preset's.
    static std::optional<std::vector<Element>> buildElements(std::string_view id, double cx, double cy, bool isDark,
                                                             const std::function<std::string()>& createId);
};

}  // namespace dv

template <> struct std::hash<dv::Presets::Preset> {
    std::size_t operator()(const dv::Presets::Preset& preset) const noexcept {
        return std::hash<std::string>()(preset.id) ^ (std::hash<std::string>()(preset.labelKey) * 31);
    }
};
