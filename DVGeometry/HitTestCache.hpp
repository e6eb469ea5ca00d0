#pragma once
// Hit testing and connector snapping for one element list, asked many times a second while the
// pointer moves. Answers exactly what hitTest and findConnectorSnapTarget answer on the current
// list, as long as every change of the list is reported through update.

#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/ConnectorSnapping.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVGeometry/HitTesting.hpp"
#include "DVModel/Element.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dv {

/// Keeps per element what the answers need (connector geometry, a box that rejects far-away
/// elements before the exact test, snapping ports and boxes), filled lazily by the queries, and
/// the answer to the last hit query.
///
/// Not thread-safe, and it has no lock: the queries themselves fill entries and the memo, so
/// even concurrent queries need the caller's exclusion. Use one cache from one thread at a time.
class HitTestCache {
public:
    /// Shared immutable storage, so that "the same list again" can be told by identity: an
    /// editor hands over the same storage when nothing changed, and comparing contents would cost
    /// as much as the rebuild it saves.
    using ElementList = std::shared_ptr<const std::vector<Element>>;
    /// Given the cache's previous version, the positions whose elements changed since, or
    /// absent when the caller cannot tell.
    using ChangedPositions = std::function<std::optional<std::vector<std::int64_t>>(std::int64_t)>;

    HitTestCache();

    const ElementIndex& elementIndex() const { return index_; }

    /// Takes a new element list (null counts as empty). The very same list keeps everything but
    /// the version. With a version, the previous version and `changedPositions`, only the
    /// reported positions are dropped, and the connectors bound to their elements with them;
    /// ids must stay at their positions. Anything else starts over.
    void update(ElementList elements, std::optional<std::int64_t> version,
                const ChangedPositions& changedPositions = {});

    /// Same answer as hitTest on the current list.
    std::optional<Element> hitTest(double x, double y, double zoom, double extraPadPx);

    /// Same answer as findConnectorSnapTarget on the current list.
    std::optional<ElementSnapTarget> connectorSnapTarget(double x, double y, double borderDistance,
                                                         double portDistance,
                                                         const std::optional<std::string>& ignoreId);

    /// Elements the queries have visited so far; a query answered from the memo visits none.
    std::uint64_t elementVisits() const { return elementVisits_; }

private:
    /// The last hit query, by the exact bit patterns of its arguments, and its answer.
    struct Memo {
        std::uint64_t wx = 0;
        std::uint64_t wy = 0;
        std::uint64_t zoom = 0;
        std::uint64_t extra = 0;
        std::optional<std::size_t> result;
        bool operator==(const Memo&) const = default;
    };

    struct Box {
        bool computed = false;
        /// The bounds below may be used to reject.
        bool hasBox = false;
        double minX = 0;
        double minY = 0;
        double maxX = 0;
        double maxY = 0;
        /// World units added to the tolerance.
        double slack = 0;
        /// Tested with the stroke tolerance rather than the body pad.
        bool usesLinePad = false;
        /// The greatest magnitude of the four bounds, which scales the rounding slack.
        double magnitude = 0;
        bool operator==(const Box&) const = default;
    };

    struct SnapEntry {
        struct Bounds {
            double minX = 0;
            double minY = 0;
            double maxX = 0;
            double maxY = 0;
            /// The greatest magnitude of the four, which scales the rounding slack.
            double magnitude = 0;
            bool operator==(const Bounds&) const = default;
        };
        bool computed = false;
        /// Never a snap target.
        bool skip = false;
        bool hasPorts = false;
        bool isConnector = false;
        std::vector<ElementPort> ports;
        /// Box of the ports.
        std::optional<Bounds> portBox;
        /// Box of everything a border snap can land on.
        std::optional<Bounds> box;
        bool operator==(const SnapEntry&) const = default;
    };

    static Box boxOf(const Element& element, const HitGeometry& geometry);
    static SnapEntry snapEntryOf(const Element& element);

    void reset(std::size_t position);

    ElementList elements_;
    ElementIndex index_;
    std::optional<std::int64_t> version_;
    std::vector<Box> boxes_;
    std::vector<std::optional<HitGeometry>> geometries_;
    std::optional<Memo> memo_;
    std::vector<SnapEntry> snaps_;
    std::uint64_t elementVisits_ = 0;
};

} // namespace dv
