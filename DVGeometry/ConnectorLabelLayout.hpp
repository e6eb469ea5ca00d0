#pragma once
// Where each connector's label sits: on its own route, away from other connectors' strokes, from
// other elements' boxes and from the labels placed before it. Placement is greedy in board order.
// A layout keeps what its last pass computed, so that an update after a small edit places again
// only the labels whose surroundings changed.

#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/JSStringKey.hpp"
#include "DVText/TextMetrics.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dv {

namespace detail {
struct LabelLayoutDiff;
struct LabelLayoutProbe;
}

/// A label's box: (x, y) is its CENTRE, so its rectangle is (x - w/2, y - h/2, w, h).
struct LabelBox {
    double x = 0;
    double y = 0;
    double w = 0;
    double h = 0;
    bool operator==(const LabelBox&) const = default;
};

/// One box per connector id.
class ConnectorLabelBoxes {
public:
    /// The box of `id`, or absent.
    std::optional<LabelBox> operator[](std::string_view id) const;
    /// Inserts or replaces the box of `id`; an absent box removes the id.
    void set(std::string_view id, std::optional<LabelBox> box);
    /// Reads the box of `id` (absent or present), lets `change` edit it, and writes it back as
    /// `set` does.
    template <class F> void modify(std::string_view id, F&& change) {
        std::optional<LabelBox> box = (*this)[id];
        change(box);
        set(id, box);
    }

    /// All entries, in one order that the three agree on (ids in code-point order).
    std::vector<std::string> keys() const;
    std::vector<LabelBox> values() const;
    std::vector<std::pair<std::string, LabelBox>> entries() const;

    std::size_t size() const { return storage_.size(); }
    bool empty() const { return storage_.empty(); }
    bool operator==(const ConnectorLabelBoxes&) const = default;

private:
    // Looked up by the id's text, with no key made for the look-up.
    struct ByText {
        using is_transparent = void;
        static std::string_view text(const JSStringKey& key) { return key.string; }
        static std::string_view text(std::string_view id) { return id; }
        template <class A, class B> bool operator()(const A& a, const B& b) const { return text(a) < text(b); }
    };
    std::map<JSStringKey, LabelBox, ByText> storage_;
};

/// Past this many exact obstacle evaluations in one pass, the labels not yet placed sit on their
/// route's midpoint unscored, so that a board built to defeat the search cannot hang its caller.
inline constexpr std::uint64_t LABEL_LAYOUT_EVALUATION_BUDGET = 200'000'000;

class ConnectorLabelLayout {
public:
    /// The empty layout: no boxes, nothing kept.
    ConnectorLabelLayout();
    /// A full layout of the index.
    explicit ConnectorLabelLayout(const ElementIndex& index,
                                  std::uint64_t evaluationBudget = LABEL_LAYOUT_EVALUATION_BUDGET);
    /// The same boxes for a caller that lays out once (an export, a thumbnail): nothing is kept
    /// for updates, so the index is not copied, and an update lays out afresh.
    static ConnectorLabelLayout once(const ElementIndex& index,
                                     std::uint64_t evaluationBudget = LABEL_LAYOUT_EVALUATION_BUDGET);

    /// Lays out the new index, reusing what is still valid from the last pass.
    void update(const ElementIndex& index);
    /// The same, when the caller knows every position whose element changed; positions outside
    /// the list are ignored, and every position not named is taken as unchanged.
    void update(const ElementIndex& index, std::span<const std::int64_t> changedAt);

    const ConnectorLabelBoxes& boxes() const { return boxes_; }
    /// How many labels the last layout or update placed afresh.
    std::int64_t recomputedCount() const { return recomputedCount_; }
    /// Whether the last layout reused a previous state.
    bool wasIncremental() const { return wasIncremental_; }
    /// After an update that kept every element at its position and reused the kept state (or
    /// found nothing changed), the positions whose box it placed, moved or removed, ascending;
    /// absent after any other layout or update, when any box may have changed. Lets a caller
    /// that draws the labels redraw only those.
    const std::optional<std::vector<std::size_t>>& boxesChangedAt() const { return boxesChangedAt_; }

    struct State;

private:
    // A full pass without `diff`; a pass that reuses the kept state with it.
    void layout(const ElementIndex& index, const detail::LabelLayoutDiff* diff);

    friend struct detail::LabelLayoutProbe;

    ConnectorLabelBoxes boxes_;
    std::int64_t recomputedCount_ = 0;
    bool wasIncremental_ = false;
    std::optional<std::vector<std::size_t>> boxesChangedAt_;
    std::uint64_t evaluationBudget_ = LABEL_LAYOUT_EVALUATION_BUDGET;
    bool keepsState_ = true;
    // Tests hold the layout to the plain search, which prices every candidate against every
    // obstacle of its search region and counts every evaluation, even when the budget is out of
    // reach; `evaluations_` is what the last pass counted.
    bool plainSearch_ = false;
    std::uint64_t evaluations_ = 0;
    // The scene of the last pass and what that pass computed; both absent when nothing is kept.
    std::shared_ptr<const ElementIndex> scene_;
    std::shared_ptr<const State> state_;
};

/// Size of the element's label box, padding included.
TextSize getConnectorLabelSize(const Element& element);

/// Boxes of a full layout of the elements.
ConnectorLabelBoxes getConnectorLabelBoxes(const std::vector<Element>& elements);

} // namespace dv
