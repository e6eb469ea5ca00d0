#pragma once
// The grips an editor draws around a selection, in screen pixels: eight resize handles, a
// rotation handle above the selection and the two end grips of a selected connector, and which
// of them lies under the pointer. Screen = world × zoom + offset of the viewport.

#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/SmallRecords.hpp"
#include "DVModel/Viewport.hpp"
#include "DVModel/Vocabulary.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace dv {

/// Side of a drawn resize handle.
inline constexpr double HANDLE_SIZE = 8;
/// Half the side: how far from its centre a handle is hit.
inline constexpr double HANDLE_HALF = 4;
/// Radius of the drawn rotation handle.
inline constexpr double ROTATION_HANDLE_R = 7;
/// Height of the rotation handle above the selection's top edge.
inline constexpr double ROTATION_HANDLE_OFFSET = 34;

/// The eight resize handles, in the order they are listed and hit-tested.
enum class HandlePosition : std::uint8_t { nw, n, ne, w, e, sw, s, se };

template <> struct Words<HandlePosition> {
    static constexpr std::array<std::string_view, 8> list{"nw", "n", "ne", "w", "e", "sw", "s", "se"};
};

struct Handle {
    HandlePosition position = HandlePosition::nw;
    double screenX = 0;
    double screenY = 0;
    bool operator==(const Handle&) const = default;
};

enum class ConnectorEndpoint : std::uint8_t { start, end };

template <> struct Words<ConnectorEndpoint> {
    static constexpr std::array<std::string_view, 2> list{"start", "end"};
};

/// The eight handles of the selection's box, turned with the element when exactly one rotated
/// element is selected; none for an empty selection.
std::vector<Handle> getSelectionHandles(std::span<const Element> selected, const Viewport& viewport);

/// Centre of the rotation handle; absent for an empty selection and for one holding a stencil
/// whose picture is embedded (such pictures are never turned).
std::optional<Point> getRotationHandleScreen(std::span<const Element> selected, const Viewport& viewport,
                                             const ElementIndex* index = nullptr);

/// The first handle, in list order, whose square (grown by `tolerance`) holds (x, y).
std::optional<HandlePosition> hitTestHandle(std::span<const Handle> handles, double x, double y,
                                            double tolerance);

/// The end grip of a line or arrow within 9 pixels of (x, y), the start before the end. Ends are
/// resolved through `index` when one is given, else taken as stored.
std::optional<ConnectorEndpoint> hitTestEndpoint(const Element& element, const Viewport& viewport, double x,
                                                 double y, const ElementIndex* index = nullptr);

} // namespace dv

template <> struct std::hash<dv::Handle> {
    std::size_t operator()(const dv::Handle& handle) const noexcept;
};
