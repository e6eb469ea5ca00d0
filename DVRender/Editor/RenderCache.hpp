#pragma once
// Each element's painting recorded once, with a key of everything it depends on, so that an
// editor redrawing many times a second records only what changed and replays the rest.

#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/JSStringKey.hpp"
#include "DVRender/Canvas/DisplayList.hpp"
#include "DVRender/Canvas/DrawnBounds.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "DVRender/Scene/ConnectorLabels.hpp"
#include "DVRender/Scene/RenderTheme.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace dv {

struct ElementRenderKey {
    Element element;
    RenderTheme theme;
    bool labelHidden = false;
    std::vector<double> resolvedGeometry;  // bound connector geometry, compared bit for bit
    std::optional<ImageStateKey> imageState;

    ElementRenderKey(const Element& element, const ElementIndex& index, const RenderTheme& theme,
                     const std::optional<std::string>& editingShapeLabelId, ImageProvider* images);

    bool operator==(const ElementRenderKey& other) const;
};

/// One element's recorded painting. Immutable and shared between a cache and its snapshots.
struct RenderedElement {
    std::string id;
    ElementRenderKey key;
    DisplayList displayList;
    NormalizedRect cullBounds;
    DrawnBounds drawnBounds;  // always holds a rectangle: the drawing united with cullBounds

    RenderedElement(std::string id, ElementRenderKey key, DisplayList displayList, NormalizedRect cullBounds);

    /// Whether the cull bounds meet `rect` (touching counts).
    bool intersects(const NormalizedRect& rect) const;
};

using RenderedElementRef = std::shared_ptr<const RenderedElement>;
/// A recorded connector label, shared like the elements' recordings.
using ConnectorLabelItemRef = std::shared_ptr<const ConnectorLabelItem>;

/// The element's bounds, turned with it, grown by its stroke, shadow and a margin of 4.
NormalizedRect cullBounds(const Element& element, const ElementIndex& index);

struct RenderSnapshot {
    std::vector<RenderedElementRef> elements;  // in drawing order
    std::vector<ConnectorLabelItemRef> labels;  // in element order
    RenderTheme theme;

    /// Replays every element, then every label, that can reach `visibleRect` (board units; all
    /// without one). Each is culled by what its own recording can touch (its drawn bounds,
    /// widened by their device padding at the context's scale), so captions below stencils,
    /// overflowing text and arrow heads past the ends are never cut off, and a label is drawn
    /// whenever it is in view, wherever its connector is.
    void draw(DrawingContext& context, const std::optional<NormalizedRect>& visibleRect) const;
};

/// Owned by one view and not guarded: one snapshot at a time.
class RenderCache {
public:
    RenderCache() = default;

    /// The snapshot of `elements`, recording only elements whose key changed. With
    /// `changedAt` (positions that may have changed) the build touches only those positions and
    /// the connectors bound to them, falling back to the full build when the change could reach
    /// further (different count, theme, editing ids, ids, visibility or bindings).
    RenderSnapshot snapshot(const std::vector<Element>& elements, const RenderEnvironment& environment,
                            const std::optional<std::string>& editingId,
                            const std::optional<std::string>& editingShapeLabelId,
                            const std::optional<std::vector<std::int64_t>>& changedAt = std::nullopt);

    std::size_t count() const { return entries_.size(); }
    const ElementIndex* lastScene() const { return last_ ? &last_->scene : nullptr; }
    const std::optional<std::vector<std::int64_t>>& lastRekeyedIndices() const { return lastRekeyedIndices_; }

private:
    struct Last {
        // The scene's list, held mutable so the list of the build before can be patched into
        // the next one instead of copying every element again.
        std::shared_ptr<std::vector<Element>> list;
        ElementIndex scene;  // over `list`
        // The list of the build before, once nothing else reads it, and the positions at which it
        // differs from `list`.
        std::shared_ptr<std::vector<Element>> spare;
        std::vector<std::size_t> spareStale;
        RenderTheme theme;
        std::optional<std::string> editingId;
        std::optional<std::string> editingShapeLabelId;
        std::vector<RenderedElementRef> visible;
        std::vector<std::int64_t> visibleIndex;  // position -> index in visible, or -1
        std::unordered_map<std::size_t, std::vector<std::size_t>> dependents;
    };

    RenderedElementRef keyed(const Element& element, const ElementIndex& index, const RenderEnvironment& environment,
                             const std::optional<std::string>& editingShapeLabelId,
                             std::unordered_map<JSStringKey, RenderedElementRef>& into);
    std::optional<RenderSnapshot> incremental(const std::vector<Element>& elements, const RenderEnvironment& environment,
                                              const std::optional<std::string>& editingId,
                                              const std::optional<std::string>& editingShapeLabelId,
                                              const std::vector<std::int64_t>& changedAt);
    RenderSnapshot full(const std::vector<Element>& elements, const RenderEnvironment& environment,
                        const std::optional<std::string>& editingId,
                        const std::optional<std::string>& editingShapeLabelId);
    void relabel(const ElementIndex& scene, const RenderEnvironment& environment,
                 const std::optional<std::string>& editingShapeLabelId);
    bool relabelAt(const ElementIndex& scene, const RenderEnvironment& environment,
                   const std::optional<std::string>& editingShapeLabelId, const std::vector<bool>& rekeyed);
    std::shared_ptr<std::vector<Element>> nextList(const std::vector<Element>& elements,
                                                   const std::vector<std::size_t>& changed);

    std::unordered_map<JSStringKey, RenderedElementRef> entries_;
    ConnectorLabelLayout labelLayout_;
    std::vector<ConnectorLabelItemRef> labels_;
    std::vector<std::size_t> labelPositions_;  // the element position of each label
    std::optional<Last> last_;
    std::optional<std::vector<std::int64_t>> lastRekeyedIndices_;
};

}  // namespace dv

/// Agrees with the key's equality through the fields that tell most keys apart: the element's id,
/// its x and y bit for bit, `labelHidden` and how many numbers `resolvedGeometry` holds.
template <>
struct std::hash<dv::ElementRenderKey> {
    std::size_t operator()(const dv::ElementRenderKey& key) const noexcept;
};
