#include "DVGeometry/ConnectorLabelLayout.hpp"

#include "DVGeometry/ArrowHeads.hpp"
#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/ElbowRoute.hpp"
#include "DVGeometry/detail/LabelGeometry.hpp"
#include "DVGeometry/detail/LabelLayoutDiff.hpp"
#include "DVGeometry/detail/LabelLayoutProbe.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVModel/StencilRegistry.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <iterator>
#include <cmath>
#include <unordered_map>

namespace dv {

using detail::Extent;
using detail::extentOfRect;
using detail::extentOfSegment;
using detail::LabelLayoutDiff;
using detail::overlapArea;
using detail::segmentRectClip;

namespace {

constexpr double kInfinity = HUGE_VAL;
// Coordinates from this magnitude on are not tame: extents stop being meaningful filters there.
constexpr double kTameLimit = 1e15;

bool isTame(double v) { return std::fabs(v) < kTameLimit; }

bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

bool sameRect(const NormalizedRect& a, const NormalizedRect& b) {
    return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.w, b.w) && sameBits(a.h, b.h);
}

bool sameBox(const LabelBox& a, const LabelBox& b) {
    return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.w, b.w) && sameBits(a.h, b.h);
}

NormalizedRect labelRect(const LabelBox& box) { return {box.x - box.w / 2, box.y - box.h / 2, box.w, box.h}; }

// How many candidates a search along the route weighs: none on a route shorter than 1.
std::uint64_t candidateCount(const std::vector<Point>& points) {
    double total = 0;
    std::uint64_t segments = 0;
    for (std::size_t k = 0; k + 1 < points.size(); ++k) {
        const double length = jsHypot(points[k + 1].x - points[k].x, points[k + 1].y - points[k].y);
        total += length;
        if (length >= 1) ++segments;
    }
    if (points.size() < 2 || total < 1) return 0;
    return 1 + 5 * segments;
}

struct Route {
    std::vector<Point> points;
    std::optional<Extent> extent;
    bool tame = true;
    // How many candidates a search along it weighs.
    std::uint64_t candidates = 0;

    explicit Route(std::vector<Point> pts) : points(std::move(pts)), candidates(candidateCount(points)) {
        if (points.size() < 2) return;
        Extent e{kInfinity, kInfinity, -kInfinity, -kInfinity};
        bool sawNaN = false;
        for (const Point& p : points) {
            if (std::isnan(p.x) || std::isnan(p.y)) sawNaN = true;
            if (p.x < e.minX) e.minX = p.x;
            if (p.y < e.minY) e.minY = p.y;
            if (p.x > e.maxX) e.maxX = p.x;
            if (p.y > e.maxY) e.maxY = p.y;
            if (!isTame(p.x) || !isTame(p.y)) tame = false;
        }
        extent = (sawNaN || !tame) ? Extent::infinite() : e;
    }

    bool samePoints(const Route& other) const {
        if (points.size() != other.points.size()) return false;
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (!sameBits(points[i].x, other.points[i].x) || !sameBits(points[i].y, other.points[i].y)) return false;
        }
        return true;
    }
};

using RouteRef = std::shared_ptr<const Route>;

struct Obstacle {
    NormalizedRect rect;
    Extent extent;
    explicit Obstacle(const NormalizedRect& r) : rect(r), extent(extentOfRect(r)) {}
    bool tame() const { return isTame(rect.x) && isTame(rect.y) && isTame(rect.w) && isTame(rect.h); }
};

struct Stroke {
    std::size_t owner;
    Point a;
    Point b;
    Extent extent;
    // The segment's length, which the clipped length scales.
    double length;
};

struct PlacedLabel {
    LabelBox box;
    std::optional<Extent> region;
};

struct Candidate {
    LabelBox box;
    NormalizedRect r;
    NormalizedRect inner;
    double along;
    double room;
};

// Label lines: split at every line feed, empty lines kept.
std::vector<std::string> labelLines(std::string_view text) {
    const std::vector<std::string_view> views = splitLines(text);
    return std::vector<std::string>(views.begin(), views.end());
}

bool takesPart(const Element& e) { return e.visible.value_or(true); }

bool isConnector(const Element& e) { return takesPart(e) && e.payload.connector() != nullptr; }

bool isNode(const Element& e) {
    return takesPart(e) && e.payload.connector() == nullptr && e.type() != ElementType::freehand;
}

const std::string* nonEmptyLabel(const Element& e) {
    const ConnectorFields* c = e.payload.connector();
    if (!c || !c->label || c->label->empty()) return nullptr;
    return &*c->label;
}

// The route a connector's label follows: the resolved route, or, for a curved line between two
// points, 13 points along the curve.
std::vector<Point> labelRoute(const Element& e, const ElementIndex& index) {
    std::vector<Point> points = resolveConnectorRoute(*connectorEnds(e), index);
    const std::optional<std::pair<double, double>> control = lineControlPoint(e);
    if (!control || points.size() != 2) return points;
    const Point p0 = points[0];
    const Point p1 = points[1];
    std::vector<Point> curve;
    curve.reserve(13);
    for (int i = 0; i <= 12; ++i) {
        const double t = static_cast<double>(i) / 12;
        const double a = (1 - t) * (1 - t);
        const double b = (2 * t) * (1 - t);
        const double c = t * t;
        curve.push_back({a * p0.x + b * control->first + c * p1.x, a * p0.y + b * control->second + c * p1.y});
    }
    return curve;
}

LabelBox centredBox(Point p, const TextSize& size) { return {p.x, p.y, size.width, size.height}; }

Extent frameOf(const std::vector<Stroke>& strokes, const std::vector<Obstacle>& nodes) {
    Extent f{kInfinity, kInfinity, -kInfinity, -kInfinity};
    auto grow = [&f](const Extent& e) {
        if (e.minX < f.minX) f.minX = e.minX;
        if (e.minY < f.minY) f.minY = e.minY;
        if (e.maxX > f.maxX) f.maxX = e.maxX;
        if (e.maxY > f.maxY) f.maxY = e.maxY;
    };
    for (const Stroke& s : strokes) grow(s.extent);
    for (const Obstacle& n : nodes) grow(n.extent);
    return f;
}

// The candidates of a search along the route, in the order they are weighed, and the route's
// length; none on a route shorter than 1.
double candidatesAlong(const std::vector<Point>& points, const TextSize& size, Point middle, std::vector<Candidate>& out) {
    const double w = size.width;
    const double h = size.height;
    out.clear();
    double total = 0;
    for (std::size_t k = 0; k + 1 < points.size(); ++k) {
        total += jsHypot(points[k + 1].x - points[k].x, points[k + 1].y - points[k].y);
    }
    if (points.size() < 2 || total < 1) return total;
    auto addCandidate = [&](Point p, double along, double room) {
        const NormalizedRect r{p.x - w / 2, p.y - h / 2, w, h};
        out.push_back({{p.x, p.y, w, h}, r, {r.x + 1, r.y + 1, w - 2, h - 2}, along, room});
    };
    addCandidate(middle, total / 2, kInfinity);
    double before = 0;
    for (std::size_t k = 0; k + 1 < points.size(); ++k) {
        const Point a = points[k];
        const Point b = points[k + 1];
        const double dx = b.x - a.x;
        const double dy = b.y - a.y;
        const double length = jsHypot(dx, dy);
        if (length >= 1) {
            const double e = std::fabs(dx) >= std::fabs(dy) ? w : h;
            for (double f : {0.5, 0.3, 0.7, 0.15, 0.85}) {
                addCandidate({a.x + f * dx, a.y + f * dy}, before + f * length, 2 * jsMin(f, 1 - f) * length - e);
            }
        }
        before += length;
    }
    return total;
}

// Grids over the strokes, element boxes or labels of one pass, through which the nearby search
// finds what lies near a candidate. A later pass that keeps the element order uses them again
// while few positions have changed since: the items at those positions are left out of the
// grids' answers and answered from short lists of the later pass's own items instead.
struct StrokeGrid {
    std::shared_ptr<const std::vector<Stroke>> strokes;
    detail::SegmentGrid grid;
    // The largest magnitude of a coordinate of its strokes.
    double magnitude = 0;
};

double magnitudeOf(const Extent& e) {
    return std::max({std::fabs(e.minX), std::fabs(e.minY), std::fabs(e.maxX), std::fabs(e.maxY)});
}

struct BoxGrid {
    std::vector<Obstacle> boxes;
    // The element position of each box, ascending.
    std::vector<std::uint32_t> positions;
    detail::ExtentGrid grid;
    BoxGrid(const Extent& frame, std::size_t expected) : grid(frame, expected) {}
    void add(std::uint32_t position, const Obstacle& box) {
        boxes.push_back(box);
        positions.push_back(position);
        grid.insert(box.extent);
    }
};

// The element boxes of a pass in element order, with their positions.
struct NodeList {
    std::vector<Obstacle> boxes;
    std::vector<std::uint32_t> positions;
};

// A grid kept from an earlier pass, and the positions whose items have changed since it was
// built (sorted).
template <class Grid> struct KeptGrid {
    std::shared_ptr<const Grid> grid;
    std::vector<std::uint32_t> changed;
};

// What a pass hands the search from the kept state: the grids, and which positions' routes,
// element boxes and labels differ since them (the kept changes and this pass's own). Past this
// many changed items a grid is built afresh instead.
constexpr std::size_t kMostChangedItems = 64;

struct KeptGrids {
    KeptGrid<StrokeGrid> strokes;
    KeptGrid<BoxGrid> nodes;
    KeptGrid<BoxGrid> labels;
};

// Positions flagged by a kept grid's changes, ready for lookups.
std::vector<bool> flagsOf(const std::vector<std::uint32_t>& changed, std::size_t n) {
    std::vector<bool> flags(n, false);
    for (std::uint32_t p : changed) {
        if (p < n) flags[p] = true;
    }
    return flags;
}

// The positions in either of two ascending lists, ascending.
std::vector<std::uint32_t> unionOf(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    std::vector<std::uint32_t> out;
    out.reserve(a.size() + b.size());
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

// The obstacles of one pass and the search that places a label among them.
class LabelSearch {
public:
    // `counted`: whether evaluations are counted against the budget. A pass that cannot reach its
    // budget even if every candidate met every obstacle need not count, and then prices each
    // candidate against the obstacles near it only, found through grids kept from an earlier
    // pass (`kept`, whose changes this pass has completed) or built when first needed.
    LabelSearch(std::shared_ptr<const std::vector<Stroke>> strokes, std::shared_ptr<const NodeList> nodes, bool tame,
                std::size_t expectedLabels, std::uint64_t budget, bool counted, std::size_t positions, KeptGrids kept)
        : strokeList_(std::move(strokes)), nodeList_(std::move(nodes)), strokes_(*strokeList_),
          nodes_(nodeList_->boxes), tame_(tame), counted_(counted), budget_(budget), strokeGrid_(Extent{}, 0),
          nodeGrid_(Extent{}, 0), labelGrid_(Extent{}, 0) {
        if (counted_) {
            strokeGrid_ = detail::ExtentGrid(frame(), tame ? strokes_.size() : 0);
            nodeGrid_ = detail::ExtentGrid(frame(), nodes_.size());
            labelGrid_ = detail::ExtentGrid(frame(), expectedLabels);
        }
        if (!tame_) return;
        if (counted_) {
            for (const Stroke& s : strokes_) strokeGrid_.insert(s.extent);
            for (const Obstacle& n : nodes_) nodeGrid_.insert(n.extent);
            return;
        }
        // Kept grids with their overlays of changed items; those with too many changes are
        // dropped, and built again when a search first needs them (an update that places no
        // label again never does).
        keptStrokes_ = std::move(kept.strokes);
        strokeChanged_ = flagsOf(keptStrokes_.changed, positions);
        for (const Stroke& s : strokes_) {
            if (keptStrokes_.grid && strokeChanged_[s.owner]) changedStrokes_.push_back(&s);
        }
        if (changedStrokes_.size() > kMostChangedItems) keptStrokes_ = {};
        if (!keptStrokes_.grid) changedStrokes_.clear();
        // The reach of a stroke's clip needs a bound on the magnitudes of the strokes' coordinates.
        if (keptStrokes_.grid) {
            strokeMagnitude_ = keptStrokes_.grid->magnitude;
            for (const Stroke* s : changedStrokes_) strokeMagnitude_ = std::max(strokeMagnitude_, magnitudeOf(s->extent));
        }
        keptNodes_ = std::move(kept.nodes);
        nodeChanged_ = flagsOf(keptNodes_.changed, positions);
        for (std::size_t k = 0; k < nodes_.size(); ++k) {
            if (keptNodes_.grid && nodeChanged_[nodeList_->positions[k]]) changedNodes_.push_back(k);
        }
        if (changedNodes_.size() > kMostChangedItems) keptNodes_ = {};
        if (!keptNodes_.grid) changedNodes_.clear();
        keptLabels_ = std::move(kept.labels);
        if (keptLabels_.changed.size() > kMostChangedItems) keptLabels_ = {};
        labelChanged_ = flagsOf(keptLabels_.changed, positions);
        if (!keptLabels_.grid) freshLabels_ = std::make_shared<BoxGrid>(frame(), expectedLabels);
    }

    bool exhausted() const { return budget_ < evaluations_; }
    std::uint64_t evaluations() const { return evaluations_; }

    // The label placed at `position`; `changed` when its box differs from the one the last pass
    // placed there (or that pass placed none).
    void addPlaced(std::size_t position, const LabelBox& box, bool changed) {
        placed_.emplace_back(labelRect(box));
        if (!tame_) return;
        if (counted_) {
            labelGrid_.insert(placed_.back().extent);
        } else if (freshLabels_) {
            freshLabels_->add(static_cast<std::uint32_t>(position), placed_.back());
        } else if (changed || labelChanged_[position]) {
            if (!labelChanged_[position]) newlyChangedLabels_.push_back(static_cast<std::uint32_t>(position));
            labelChanged_[position] = true;
            changedLabels_.push_back({static_cast<std::uint32_t>(position), placed_.back()});
        }
    }
    // The last pass placed a label at `position`, and this one places none there.
    void labelGone(std::size_t position) {
        if (!tame_ || counted_ || freshLabels_ || labelChanged_[position]) return;
        newlyChangedLabels_.push_back(static_cast<std::uint32_t>(position));
        labelChanged_[position] = true;
    }

    PlacedLabel place(std::size_t position, std::size_t owner, const std::vector<Point>& points, const TextSize& size) {
        const Point middle = getRoutePointAt(points, 0.5);
        // Past the budget the label keeps its first candidate, unscored.
        if (exhausted()) return {centredBox(middle, size), std::nullopt};
        return search(position, owner, points, size, middle);
    }

    // The grids to keep for the next pass, with the positions changed since they were built.
    KeptGrids grids() const {
        KeptGrids out;
        if (counted_ || !tame_) return out;
        // The strokes' and boxes' changes are complete from the start (none for a grid built
        // in this pass); the labels' grow as the pass places them.
        out.strokes = keptStrokes_;
        out.nodes = keptNodes_;
        if (freshLabels_) {
            out.labels.grid = freshLabels_;
        } else {
            out.labels = {keptLabels_.grid, unionOf(keptLabels_.changed, newlyChangedLabels_)};
        }
        return out;
    }

private:
    PlacedLabel search(std::size_t position, std::size_t owner, const std::vector<Point>& points, const TextSize& size,
                       Point middle) {
        const double total = candidatesAlong(points, size, middle, candidates_);
        if (candidates_.empty()) return {centredBox(middle, size), std::nullopt};

        bool filtered = tame_;
        Extent region{kInfinity, kInfinity, -kInfinity, -kInfinity};
        for (const Candidate& c : candidates_) {
            for (const NormalizedRect* rect : {&c.r, &c.inner}) {
                if (!(isTame(rect->x) && isTame(rect->y) && isTame(rect->w) && isTame(rect->h) &&
                      isTame(rect->x + rect->w) && isTame(rect->y + rect->h))) {
                    filtered = false;
                }
                const Extent e = extentOfRect(*rect);
                if (e.minX < region.minX) region.minX = e.minX;
                if (e.minY < region.minY) region.minY = e.minY;
                if (e.maxX > region.maxX) region.maxX = e.maxX;
                if (e.maxY > region.maxY) region.maxY = e.maxY;
            }
        }
        if (!filtered) region = Extent::infinite();
        const std::size_t selected =
            filtered && !counted_ ? priceNearby(position, owner, total) : priceAll(owner, total, filtered, region);
        return {candidates_[selected].box, region};
    }

    // Prices every candidate against the obstacles whose extent meets the search region, counting
    // each evaluation; returns the chosen candidate.
    std::size_t priceAll(std::size_t owner, double total, bool filtered, const Extent& region) {
        // The obstacles considered, each list in its own order (strokes, placed labels, nodes).
        consideredStrokes_.clear();
        collect(strokeGrid_, strokes_.size(), filtered, region, consideredStrokes_, [&](std::uint32_t i) {
            return strokes_[i].owner != owner && (!filtered || strokes_[i].extent.meets(region));
        });
        consideredLabels_.clear();
        collect(labelGrid_, placed_.size(), filtered, region, consideredLabels_,
                [&](std::uint32_t i) { return !filtered || placed_[i].extent.meets(region); });
        consideredNodes_.clear();
        collect(nodeGrid_, nodes_.size(), filtered, region, consideredNodes_,
                [&](std::uint32_t i) { return !filtered || nodes_[i].extent.meets(region); });

        std::size_t selected = 0;
        double best = kInfinity;
        for (std::size_t k = 0; k < candidates_.size(); ++k) {
            const Candidate& c = candidates_[k];
            const Extent innerRange{c.inner.x, c.inner.y, c.inner.x + c.inner.w, c.inner.y + c.inner.h};
            double cost = 0;
            for (std::uint32_t i : consideredStrokes_) {
                const Stroke& s = strokes_[i];
                if (filtered && !s.extent.meets(innerRange)) continue;
                ++evaluations_;
                cost += 20 * segmentRectClip(s.a.x, s.a.y, s.b.x, s.b.y, s.length, c.inner);
            }
            for (std::uint32_t i : consideredLabels_) {
                ++evaluations_;
                cost += 2 * overlapArea(c.r, placed_[i].rect);
            }
            for (std::uint32_t i : consideredNodes_) {
                ++evaluations_;
                cost += 2 * overlapArea(c.inner, nodes_[i].rect);
            }
            weigh(k, cost, total, selected, best);
        }
        return selected;
    }

    // Adds candidate k's own terms to what its obstacles cost, and makes it the selection when
    // that beats the best so far by more than 1e-6 (ties keep the earlier; NaN never wins).
    void weigh(std::size_t k, double cost, double total, std::size_t& selected, double& best) const {
        const Candidate& c = candidates_[k];
        cost += 2 * jsMax(0.0, -c.room);
        cost += 0.05 * std::fabs(c.along - total / 2);
        if (best - 1e-6 > cost) {
            selected = k;
            best = cost;
        }
    }

    // The same choice as `priceAll` over a filtered search, looking at each candidate's own
    // surroundings only. An obstacle away from a candidate adds exactly 0 to its cost (every
    // term is +0 or positive, so leaving it out changes no bit of the sum), and the obstacles
    // that do add something are met in the same ascending order, so every cost, and the choice,
    // comes out bit for bit the same. Nothing is counted.
    std::size_t priceNearby(std::size_t position, std::size_t owner, double total) {
        std::size_t selected = 0;
        double best = kInfinity;
        double obstacleCost = 0;
        for (std::size_t k = 0; k < candidates_.size(); ++k) {
            const Candidate& c = candidates_[k];
            // The midpoint of a one-segment route is also its first segment candidate: the same
            // rectangles meet the same obstacles.
            if (k == 0 || !sameRect(c.r, candidates_[k - 1].r) || !sameRect(c.inner, candidates_[k - 1].inner)) {
                obstacleCost = obstaclesNear(position, owner, c);
            }
            weigh(k, obstacleCost, total, selected, best);
        }
        return selected;
    }

    // The obstacles' share of a candidate's cost, summed in the order `priceAll` sums it: strokes
    // in list order, then labels and element boxes by position. Only the terms that are not 0
    // are gathered, each keyed by its obstacle's place in that order, and added in it (leaving
    // out a +0 changes no bit of a sum).
    double obstaclesNear(std::size_t position, std::size_t owner, const Candidate& c) {
        const Extent innerRange{c.inner.x, c.inner.y, c.inner.x + c.inner.w, c.inner.y + c.inner.h};
        const Extent inner = extentOfRect(c.inner);
        const Extent outer = extentOfRect(c.r);
        ensureStrokeGrid();
        const double reach = detail::clipReach(std::max({strokeMagnitude_, std::fabs(innerRange.minX), std::fabs(innerRange.minY),
                                                         std::fabs(innerRange.maxX), std::fabs(innerRange.maxY)}));
        double cost = 0;
        terms_.clear();
        nearStrokes(inner, [&](const Stroke& s, std::uint64_t key) {
            if (s.owner == owner || !s.extent.meets(innerRange)) return;
            if (detail::lineClearOfRect(s.a.x, s.a.y, s.b.x, s.b.y, s.length, c.inner, reach)) return;
            const double clip = segmentRectClip(s.a.x, s.a.y, s.b.x, s.b.y, s.length, c.inner);
            if (clip != 0) terms_.push_back({key, 20 * clip});
        });
        addInOrder(cost);
        nearLabels(outer, position, [&](const Obstacle& label, std::uint64_t key) {
            const double area = overlapArea(c.r, label.rect);
            if (area != 0) terms_.push_back({key, 2 * area});
        });
        addInOrder(cost);
        nearNodes(inner, [&](const Obstacle& node, std::uint64_t key) {
            const double area = overlapArea(c.inner, node.rect);
            if (area != 0) terms_.push_back({key, 2 * area});
        });
        addInOrder(cost);
        return cost;
    }

    // Adds the gathered terms to `cost` by key, each key once (an obstacle met through several
    // cells is gathered once per cell), and clears them.
    void addInOrder(double& cost) {
        if (terms_.size() > 1) {
            std::sort(terms_.begin(), terms_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        }
        for (std::size_t k = 0; k < terms_.size(); ++k) {
            if (k == 0 || terms_[k].first != terms_[k - 1].first) cost += terms_[k].second;
        }
        terms_.clear();
    }

    // Visits the strokes that may lie in `region`, keyed by their place in the list.
    void ensureStrokeGrid() {
        if (keptStrokes_.grid) return;
        auto fresh = std::make_shared<StrokeGrid>();
        fresh->strokes = strokeList_;
        for (const Stroke& s : strokes_) fresh->grid.add(s.a.x, s.a.y, s.b.x, s.b.y);
        fresh->grid.build(frame());
        fresh->magnitude = magnitudeOf(frame());
        strokeMagnitude_ = fresh->magnitude;
        keptStrokes_ = {std::move(fresh), {}};
        strokeChanged_.assign(strokeChanged_.size(), false);
        changedStrokes_.clear();
    }

    template <class Visit> void nearStrokes(const Extent& region, Visit&& visit) {
        ensureStrokeGrid();
        const std::vector<Stroke>& kept = *keptStrokes_.grid->strokes;
        // A stroke listed in several of the region's cells is looked at once.
        if (seen_.size() != kept.size()) seen_.assign(kept.size(), 0);
        if (++epoch_ == 0) {
            std::fill(seen_.begin(), seen_.end(), 0);
            epoch_ = 1;
        }
        auto first = [&](std::uint32_t i) {
            if (seen_[i] == epoch_) return false;
            seen_[i] = epoch_;
            return true;
        };
        if (keptStrokes_.changed.empty()) {
            keptStrokes_.grid->grid.visitCandidates(region, [&](std::uint32_t i) {
                if (first(i)) visit(kept[i], i);
            });
            return;
        }
        // With changed strokes beside the grid's, the list is in connector order (ids are
        // unique), so the key is the connector's position, then the place in its own list.
        auto key = [](const Stroke& s, std::size_t i) { return (std::uint64_t{s.owner} << 32) | i; };
        keptStrokes_.grid->grid.visitCandidates(region, [&](std::uint32_t i) {
            if (first(i) && !strokeChanged_[kept[i].owner]) visit(kept[i], key(kept[i], i));
        });
        for (const Stroke* s : changedStrokes_) {
            if (s->extent.meets(region)) visit(*s, key(*s, static_cast<std::size_t>(s - strokes_.data())));
        }
    }

    // Visits, keyed by position, the labels placed before `position` that may meet `region`.
    template <class Visit> void nearLabels(const Extent& region, std::size_t position, Visit&& visit) {
        const BoxGrid* grid = freshLabels_ ? freshLabels_.get() : keptLabels_.grid.get();
        const bool listed = grid && grid->grid.visitCandidates(region, [&](std::uint32_t i) {
            const std::uint32_t at = grid->positions[i];
            if (at < position && (freshLabels_ || !labelChanged_[at])) visit(grid->boxes[i], at);
        });
        if (!listed) {
            for (std::size_t k = 0; k < placed_.size(); ++k) visit(placed_[k], k);
            return;
        }
        for (const auto& [at, label] : changedLabels_) {
            if (label.extent.meets(region)) visit(label, at);
        }
    }

    // Visits, keyed by position, the element boxes that may meet `region`.
    template <class Visit> void nearNodes(const Extent& region, Visit&& visit) {
        if (!keptNodes_.grid) {
            auto fresh = std::make_shared<BoxGrid>(frame(), nodes_.size());
            for (std::size_t k = 0; k < nodes_.size(); ++k) fresh->add(nodeList_->positions[k], nodes_[k]);
            keptNodes_ = {std::move(fresh), {}};
            nodeChanged_.assign(nodeChanged_.size(), false);
            changedNodes_.clear();
        }
        const BoxGrid& grid = *keptNodes_.grid;
        const bool listed = grid.grid.visitCandidates(region, [&](std::uint32_t i) {
            const std::uint32_t at = grid.positions[i];
            if (!nodeChanged_[at]) visit(grid.boxes[i], at);
        });
        if (!listed) {
            for (std::size_t k = 0; k < nodes_.size(); ++k) visit(nodes_[k], k);
            return;
        }
        for (std::size_t k : changedNodes_) {
            if (nodes_[k].extent.meets(region)) visit(nodes_[k], nodeList_->positions[k]);
        }
    }

    // The items that `accept` lets through, ascending; the grid narrows the items looked at when
    // the search is filtered.
    template <class Accept>
    void collect(detail::ExtentGrid& grid, std::size_t count, bool filtered, const Extent& region,
                 std::vector<std::uint32_t>& out, Accept accept) {
        if (filtered && grid.candidates(region, scratch_)) {
            for (std::uint32_t i : scratch_) {
                if (accept(i)) out.push_back(i);
            }
            return;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            if (accept(i)) out.push_back(i);
        }
    }

    std::shared_ptr<const std::vector<Stroke>> strokeList_;
    std::shared_ptr<const NodeList> nodeList_;
    const std::vector<Stroke>& strokes_;
    const std::vector<Obstacle>& nodes_;
    std::vector<Obstacle> placed_;
    bool tame_;
    bool counted_;
    std::uint64_t budget_;
    std::uint64_t evaluations_ = 0;
    // The extent of every stroke and element box, found when a grid is first built over them.
    const Extent& frame() {
        if (!frameKnown_) frame_ = frameOf(strokes_, nodes_);
        frameKnown_ = true;
        return frame_;
    }
    Extent frame_;
    bool frameKnown_ = false;
    // At least the largest magnitude of a stroke's coordinate, for the reach of a stroke's clip.
    double strokeMagnitude_ = 0;
    // The counted search's grids.
    detail::ExtentGrid strokeGrid_;
    detail::ExtentGrid nodeGrid_;
    detail::ExtentGrid labelGrid_;
    // The nearby search's grids, with the positions whose items changed since they were built
    // and this pass's items at those positions.
    KeptGrid<StrokeGrid> keptStrokes_;
    std::vector<bool> strokeChanged_;
    std::vector<const Stroke*> changedStrokes_;
    KeptGrid<BoxGrid> keptNodes_;
    std::vector<bool> nodeChanged_;
    std::vector<std::size_t> changedNodes_;
    KeptGrid<BoxGrid> keptLabels_;
    std::vector<bool> labelChanged_;
    std::vector<std::pair<std::uint32_t, Obstacle>> changedLabels_;
    // The positions this pass found changed that the kept grid's changes did not list.
    std::vector<std::uint32_t> newlyChangedLabels_;
    // The labels of this pass, listed as they are placed, when no grid of them was kept.
    std::shared_ptr<BoxGrid> freshLabels_;
    std::vector<Candidate> candidates_;
    // The terms of a candidate's cost that are not 0, keyed by their place in the sum.
    std::vector<std::pair<std::uint64_t, double>> terms_;
    std::vector<std::uint32_t> consideredStrokes_;
    std::vector<std::uint32_t> consideredLabels_;
    std::vector<std::uint32_t> consideredNodes_;
    std::vector<std::uint32_t> scratch_;
    // Which strokes of the kept grid the current query has looked at.
    std::vector<std::uint32_t> seen_;
    std::uint32_t epoch_ = 0;
};

// What changed since the kept pass, taken exactly: the segments of every route that appeared,
// went or changed, and the rectangles of element boxes and labels that did.
struct Changes {
    std::vector<Stroke> segments;
    std::vector<Extent> boxes;

    // Whether a search along the route could see any of it: a changed box meeting one of the
    // candidates, or a changed segment whose clip with one of them could come out non-zero.
    // When none can, the search would price the same obstacles, in the same order, as before.
    bool reach(const std::vector<Point>& points, const TextSize& size, std::vector<Candidate>& scratch) const {
        candidatesAlong(points, size, getRoutePointAt(points, 0.5), scratch);
        for (const Candidate& c : scratch) {
            const Extent outer = extentOfRect(c.r);
            const Extent inner{c.inner.x, c.inner.y, c.inner.x + c.inner.w, c.inner.y + c.inner.h};
            const double magnitude = std::max({std::fabs(outer.minX), std::fabs(outer.minY), std::fabs(outer.maxX),
                                               std::fabs(outer.maxY), std::fabs(inner.minX), std::fabs(inner.minY),
                                               std::fabs(inner.maxX), std::fabs(inner.maxY)});
            if (!(magnitude < kTameLimit)) return true;
            for (const Extent& e : boxes) {
                if (e.meets(outer)) return true;
            }
            for (const Stroke& s : segments) {
                if (!s.extent.meets(inner)) continue;
                const double reach = detail::clipReach(
                    std::max({magnitude, std::fabs(s.a.x), std::fabs(s.a.y), std::fabs(s.b.x), std::fabs(s.b.y)}));
                if (!detail::lineClearOfRect(s.a.x, s.a.y, s.b.x, s.b.y, s.length, c.inner, reach)) return true;
            }
        }
        return false;
    }
};

} // namespace

struct ConnectorLabelLayout::State {
    // Shared with the passes that kept them.
    std::vector<RouteRef> routes;
    // The positions each connector's start and end are bound to (-1: none), when kept.
    std::vector<std::array<std::int32_t, 2>> bound;
    std::vector<std::optional<Obstacle>> nodes;
    std::vector<std::optional<PlacedLabel>> labels;
    std::shared_ptr<const std::vector<Stroke>> strokes;
    std::shared_ptr<const NodeList> nodeList;
    // The nearby search's grids, for the next pass that keeps the element order.
    KeptGrids grids;
};

// ---------------------------------------------------------------------------------------------
// Boxes

std::optional<LabelBox> ConnectorLabelBoxes::operator[](std::string_view id) const {
    auto found = storage_.find(id);
    if (found == storage_.end()) return std::nullopt;
    return found->second;
}

void ConnectorLabelBoxes::set(std::string_view id, std::optional<LabelBox> box) {
    if (box) {
        auto found = storage_.find(id);
        if (found != storage_.end()) {
            found->second = *box;
        } else {
            storage_.emplace(JSStringKey(id), *box);
        }
    } else if (auto found = storage_.find(id); found != storage_.end()) {
        storage_.erase(found);
    }
}

std::vector<std::string> ConnectorLabelBoxes::keys() const {
    std::vector<std::string> out;
    out.reserve(storage_.size());
    for (const auto& [key, box] : storage_) out.push_back(key.string);
    return out;
}

std::vector<LabelBox> ConnectorLabelBoxes::values() const {
    std::vector<LabelBox> out;
    out.reserve(storage_.size());
    for (const auto& [key, box] : storage_) out.push_back(box);
    return out;
}

std::vector<std::pair<std::string, LabelBox>> ConnectorLabelBoxes::entries() const {
    std::vector<std::pair<std::string, LabelBox>> out;
    out.reserve(storage_.size());
    for (const auto& [key, box] : storage_) out.emplace_back(key.string, box);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Sizes

TextSize getConnectorLabelSize(const Element& element) {
    double fontSize = LabelDefaults::defaultConnectorLabelFontSize;
    double padding = 4.8;
    std::string_view text;
    std::string_view family = LabelDefaults::defaultLabelFontFamily;
    if (const ConnectorFields* c = element.payload.connector()) {
        fontSize = c->labelFontSize.value_or(LabelDefaults::defaultConnectorLabelFontSize);
        padding = 0.4 * fontSize;
        if (c->label) text = *c->label;
        if (c->labelFontFamily) family = *c->labelFontFamily;
    }
    const TextSize measured = measureTextBlock(labelLines(text), fontSize, family, false);
    return {measured.width + 2 * padding, measured.height + 2 * padding};
}

ConnectorLabelBoxes getConnectorLabelBoxes(const std::vector<Element>& elements) {
    return ConnectorLabelLayout::once(ElementIndex(elements)).boxes();
}

// ---------------------------------------------------------------------------------------------
// Layout

ConnectorLabelLayout::ConnectorLabelLayout() = default;

ConnectorLabelLayout::ConnectorLabelLayout(const ElementIndex& index, std::uint64_t evaluationBudget)
    : evaluationBudget_(evaluationBudget) {
    layout(index, nullptr);
}

ConnectorLabelLayout ConnectorLabelLayout::once(const ElementIndex& index, std::uint64_t evaluationBudget) {
    ConnectorLabelLayout layout;
    layout.evaluationBudget_ = evaluationBudget;
    layout.keepsState_ = false;
    layout.layout(index, nullptr);
    return layout;
}

ConnectorLabelLayout detail::LabelLayoutProbe::plain(const ElementIndex& index, std::uint64_t budget) {
    ConnectorLabelLayout layout;
    layout.evaluationBudget_ = budget;
    layout.plainSearch_ = true;
    layout.layout(index, nullptr);
    return layout;
}

void ConnectorLabelLayout::update(const ElementIndex& index) {
    if (!state_ || index.positions().size() < index.elements().size()) {
        layout(index, nullptr);
        return;
    }
    const LabelLayoutDiff diff = detail::labelLayoutDiff(*scene_, index);
    if (!diff.changedIds.empty() || diff.structural) {
        layout(index, &diff);
        return;
    }
    scene_ = std::make_shared<const ElementIndex>(index);
    recomputedCount_ = 0;
    wasIncremental_ = true;
    boxesChangedAt_.emplace();
}

void ConnectorLabelLayout::update(const ElementIndex& index, std::span<const std::int64_t> changedAt) {
    if (!state_ || index.positions().size() < index.elements().size()) {
        layout(index, nullptr);
        return;
    }
    const std::vector<Element>& oldElements = scene_->elements();
    const std::vector<Element>& newElements = index.elements();
    const std::size_t n = newElements.size();
    if (n != oldElements.size()) {
        update(index);
        return;
    }
    LabelLayoutDiff diff;
    diff.changedAt.assign(n, false);
    diff.movedAt.assign(n, false);
    diff.oldPosition.resize(n);
    for (std::size_t p = 0; p < n; ++p) diff.oldPosition[p] = static_cast<std::int64_t>(p);
    for (std::int64_t given : changedAt) {
        if (given < 0 || static_cast<std::uint64_t>(given) >= n) continue;
        const auto p = static_cast<std::size_t>(given);
        if (diff.changedAt[p]) continue;
        if (!jsStringEquals(oldElements[p].id, newElements[p].id)) {
            update(index);
            return;
        }
        if (!newElements[p].isIdentical(oldElements[p])) {
            diff.changedIds.insert(JSStringKey(newElements[p].id));
            diff.changedAt[p] = true;
        }
    }
    if (!diff.changedIds.empty()) {
        layout(index, &diff);
        return;
    }
    scene_ = std::make_shared<const ElementIndex>(index);
    recomputedCount_ = 0;
    wasIncremental_ = true;
    boxesChangedAt_.emplace();
}

void ConnectorLabelLayout::layout(const ElementIndex& index, const LabelLayoutDiff* diff) {
    const std::vector<Element>& elements = index.elements();
    const std::size_t n = elements.size();
    const bool uniqueIds = index.positions().size() == n;
    // A reusing pass runs only over a kept state, which exists only for unique ids.
    const State* old = diff ? state_.get() : nullptr;

    auto oldPosition = [&](std::size_t i) -> std::int64_t { return old ? diff->oldPosition[i] : -1; };
    auto changedAt = [&](std::size_t i) { return old && diff->changedAt[i]; };
    auto movedAt = [&](std::size_t i) { return old && diff->movedAt[i]; };

    // With repeated ids, every connector follows the route of the last connector bearing its id
    // and its strokes and search belong to the first position of that id.
    std::unordered_map<JSStringKey, std::size_t> lastConnectorOfId;
    if (!uniqueIds) {
        for (std::size_t i = 0; i < n; ++i) {
            if (isConnector(elements[i])) lastConnectorOfId.insert_or_assign(JSStringKey(elements[i].id), i);
        }
    }
    auto owner = [&](std::size_t i) -> std::size_t {
        return uniqueIds ? i : index.positions().at(JSStringKey(elements[i].id));
    };

    auto state = std::make_shared<State>();
    state->routes.resize(n);
    state->nodes.resize(n);
    state->labels.resize(n);
    std::vector<Extent> dirty;
    std::vector<bool> routeChanged(n, false);
    // Positions whose route or element box differs from the last pass's (appeared and gone included).
    std::vector<std::uint32_t> routeDiffers;
    std::vector<std::uint32_t> nodeDiffers;
    auto differs = [](std::vector<std::uint32_t>& at, std::size_t i) {
        if (at.empty() || at.back() != i) at.push_back(static_cast<std::uint32_t>(i));
    };
    bool routesChanged = false;
    bool nodesChanged = false;
    bool nodesCameOrWent = false;
    // Beside `dirty`, which holds whole route extents, the changes themselves: the segments of
    // every route that appeared, went or changed, and the rectangles of element boxes and labels.
    Changes changes;
    std::vector<Candidate> scratch;
    auto addRoute = [&](const Route& route) {
        if (!route.extent) return;
        dirty.push_back(*route.extent);
        const std::vector<Point>& p = route.points;
        for (std::size_t k = 0; k + 1 < p.size(); ++k) {
            changes.segments.push_back({0, p[k], p[k + 1], extentOfSegment(p[k].x, p[k].y, p[k + 1].x, p[k + 1].y),
                                       jsHypot(p[k + 1].x - p[k].x, p[k + 1].y - p[k].y)});
        }
    };
    auto addBox = [&](const Extent& e) {
        dirty.push_back(e);
        changes.boxes.push_back(e);
    };

    // In a pass over the same positions, an element not named changed is the one the kept state
    // was made from: what that state holds for it is taken as it is, without looking at it.
    const bool inPlace = old && !diff->structural;
    // The positions a connector's ends are bound to (for unique ids), which in such a pass tell
    // whether a bound element changed without looking its id up.
    const bool keepsBindings = keepsState_ && uniqueIds;
    if (keepsBindings) state->bound.resize(n);
    auto boundOf = [&](const Element& e) -> std::array<std::int32_t, 2> {
        const ConnectorFields* c = e.payload.connector();
        auto at = [&](const std::optional<std::string>& id) -> std::int32_t {
            if (!id) return -1;
            const std::optional<std::size_t> p = index.firstPosition(*id);
            return p ? static_cast<std::int32_t>(*p) : -1;
        };
        return {at(c->startElementId), at(c->endElementId)};
    };
    auto boundChanged = [&](std::size_t i) {
        for (std::int32_t p : old->bound[i]) {
            if (p >= 0 && diff->changedAt[static_cast<std::size_t>(p)]) return true;
        }
        return false;
    };

    // Routes.
    for (std::size_t i = 0; i < n; ++i) {
        if (inPlace && !changedAt(i)) {
            if (!old->routes[i]) continue;
            if (!boundChanged(i)) {
                state->routes[i] = old->routes[i];
                state->bound[i] = old->bound[i];
                continue;
            }
        }
        const Element& e = elements[i];
        const std::int64_t o = oldPosition(i);
        const RouteRef* oldRoute = o >= 0 ? &old->routes[static_cast<std::size_t>(o)] : nullptr;
        const bool hadRoute = oldRoute && *oldRoute;
        if (!isConnector(e)) {
            if (hadRoute) {
                addRoute(**oldRoute);
                routesChanged = true;
                differs(routeDiffers, i);
            }
            continue;
        }
        if (!uniqueIds) {
            const std::size_t source = lastConnectorOfId.at(JSStringKey(e.id));
            if (!state->routes[source]) state->routes[source] = std::make_shared<const Route>(labelRoute(elements[source], index));
            state->routes[i] = state->routes[source];
            continue;
        }
        if (hadRoute && !changedAt(i)) {
            const ConnectorFields* c = e.payload.connector();
            auto changedId = [&](const std::optional<std::string>& id) {
                if (!id) return false;
                // An edit changes few ids: comparing with each beats hashing.
                if (diff->changedIds.size() > 8) return diff->changedIds.count(JSStringKey(*id)) > 0;
                for (const JSStringKey& changed : diff->changedIds) {
                    if (changed.string == *id) return true;
                }
                return false;
            };
            if (!changedId(c->startElementId) && !changedId(c->endElementId)) {
                state->routes[i] = *oldRoute;
                if (keepsBindings) state->bound[i] = boundOf(e);
                if (movedAt(i)) {
                    addRoute(**oldRoute);
                    addRoute(*state->routes[i]);
                }
                continue;
            }
        }
        state->routes[i] = std::make_shared<const Route>(labelRoute(e, index));
        if (keepsBindings) state->bound[i] = boundOf(e);
        if (old) {
            if (!hadRoute) {
                routeChanged[i] = true;
                differs(routeDiffers, i);
                routesChanged = true;
                addRoute(*state->routes[i]);
            } else if (!(*oldRoute)->samePoints(*state->routes[i])) {
                routeChanged[i] = true;
                differs(routeDiffers, i);
                routesChanged = true;
                addRoute(**oldRoute);
                addRoute(*state->routes[i]);
            }
            if (movedAt(i)) {
                if (hadRoute) addRoute(**oldRoute);
                addRoute(*state->routes[i]);
            }
        }
    }

    // Element boxes.
    for (std::size_t i = 0; i < n; ++i) {
        if (inPlace && !changedAt(i)) {
            state->nodes[i] = old->nodes[i];
            continue;
        }
        const Element& e = elements[i];
        const std::int64_t o = oldPosition(i);
        const std::optional<Obstacle>* oldNode = o >= 0 ? &old->nodes[static_cast<std::size_t>(o)] : nullptr;
        const bool hadNode = oldNode && oldNode->has_value();
        if (!isNode(e)) {
            if (hadNode) {
                addBox((*oldNode)->extent);
                nodesChanged = true;
                nodesCameOrWent = true;
                differs(nodeDiffers, i);
            }
            continue;
        }
        if (hadNode && !changedAt(i)) {
            state->nodes[i] = *oldNode;
        } else {
            state->nodes[i] = Obstacle(getConnectorBox(e));
            if (old) {
                if (!hadNode) {
                    nodesChanged = true;
                    nodesCameOrWent = true;
                    differs(nodeDiffers, i);
                    addBox(state->nodes[i]->extent);
                } else if (!sameRect((*oldNode)->rect, state->nodes[i]->rect)) {
                    nodesChanged = true;
                    differs(nodeDiffers, i);
                    addBox((*oldNode)->extent);
                    addBox(state->nodes[i]->extent);
                }
            }
        }
        if (movedAt(i)) {
            if (hadNode) addBox((*oldNode)->extent);
            addBox(state->nodes[i]->extent);
        }
    }

    if (old) {
        for (std::size_t r : diff->removed) {
            if (old->routes[r]) {
                addRoute(*old->routes[r]);
                routesChanged = true;
            }
            if (old->nodes[r]) {
                addBox(old->nodes[r]->extent);
                nodesChanged = true;
            }
        }
    }

    bool tame = true;
    for (std::size_t i = 0; i < n && tame; ++i) {
        if (state->routes[i] && !state->routes[i]->tame) tame = false;
        if (state->nodes[i] && !state->nodes[i]->tame()) tame = false;
    }
    if (old && !tame) {
        layout(index, nullptr);
        return;
    }

    if (old && !diff->structural && !routesChanged) {
        state->strokes = old->strokes;
    } else {
        auto strokes = std::make_shared<std::vector<Stroke>>();
        strokes->reserve(old ? old->strokes->size() + 16 : 0);
        // In a pass over the same positions the kept strokes are in position order, and a route
        // taken over keeps its strokes.
        std::size_t kept = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const RouteRef& route = state->routes[i];
            if (inPlace) {
                const std::vector<Stroke>& before = *old->strokes;
                while (kept < before.size() && before[kept].owner < i) ++kept;
                if (route && route == old->routes[i]) {
                    for (; kept < before.size() && before[kept].owner == i; ++kept) strokes->push_back(before[kept]);
                    continue;
                }
            }
            if (!route) continue;
            const std::vector<Point>& p = route->points;
            for (std::size_t k = 0; k + 1 < p.size(); ++k) {
                strokes->push_back({owner(i), p[k], p[k + 1], extentOfSegment(p[k].x, p[k].y, p[k + 1].x, p[k + 1].y),
                                    jsHypot(p[k + 1].x - p[k].x, p[k + 1].y - p[k].y)});
            }
        }
        state->strokes = std::move(strokes);
    }
    if (old && !diff->structural && !nodesChanged) {
        state->nodeList = old->nodeList;
    } else if (inPlace && !nodesCameOrWent) {
        // The same boxes at the same positions, a few of them moved.
        auto nodes = std::make_shared<NodeList>(*old->nodeList);
        for (std::uint32_t i : nodeDiffers) {
            const auto at = std::lower_bound(nodes->positions.begin(), nodes->positions.end(), i);
            nodes->boxes[static_cast<std::size_t>(at - nodes->positions.begin())] = *state->nodes[i];
        }
        state->nodeList = std::move(nodes);
    } else {
        auto nodes = std::make_shared<NodeList>();
        for (std::size_t i = 0; i < n; ++i) {
            if (!state->nodes[i]) continue;
            nodes->boxes.push_back(*state->nodes[i]);
            nodes->positions.push_back(static_cast<std::uint32_t>(i));
        }
        state->nodeList = std::move(nodes);
    }

    if (old) {
        for (std::size_t r : diff->removed) {
            if (old->labels[r]) addBox(extentOfRect(labelRect(old->labels[r]->box)));
        }
        for (std::size_t i = 0; i < n; ++i) {
            const std::int64_t o = oldPosition(i);
            if (o < 0 || !(changedAt(i) || movedAt(i))) continue;
            const std::optional<PlacedLabel>& oldLabel = old->labels[static_cast<std::size_t>(o)];
            if (oldLabel) addBox(extentOfRect(labelRect(oldLabel->box)));
        }
    }

    // The most evaluations the pass could make: every label searched, each of its candidates
    // priced against every stroke, every node and every label placed before it. Within the
    // budget, nothing needs counting.
    std::size_t labelled = 0;
    std::uint64_t mostEvaluations = 0;
    const std::uint64_t obstacles = state->strokes->size() + state->nodeList->boxes.size();
    for (std::size_t i = 0; i < n && mostEvaluations <= evaluationBudget_; ++i) {
        std::uint64_t candidates = 0;
        if (inPlace && !changedAt(i)) {
            // A kept label that was searched has a region; one on a curve has none.
            const std::optional<PlacedLabel>& label = old->labels[i];
            if (!label) continue;
            if (label->region) candidates = state->routes[i]->candidates;
        } else {
            if (!isConnector(elements[i]) || !nonEmptyLabel(elements[i])) continue;
            if (!lineControlPoint(elements[i])) candidates = state->routes[i]->candidates;
        }
        std::uint64_t evaluations = 0;
        if (__builtin_mul_overflow(candidates, obstacles + labelled, &evaluations) ||
            __builtin_add_overflow(mostEvaluations, evaluations, &mostEvaluations)) {
            mostEvaluations = UINT64_MAX;
        }
        ++labelled;
    }
    const bool counted = plainSearch_ || mostEvaluations > evaluationBudget_;
    if (counted) {
        labelled = 0;
        for (const Element& e : elements) {
            if (isConnector(e) && nonEmptyLabel(e)) ++labelled;
        }
    }
    // With the order kept and nothing counted, a search sees only the obstacles near it, the
    // changed ones among them known exactly, and the last pass's grids find them.
    const bool sameSurroundings = old && !diff->structural && !counted;
    KeptGrids grids;
    if (sameSurroundings) {
        grids = old->grids;
        grids.strokes.changed = unionOf(grids.strokes.changed, routeDiffers);
        grids.nodes.changed = unionOf(grids.nodes.changed, nodeDiffers);
    }
    LabelSearch search(state->strokes, state->nodeList, tame, labelled, evaluationBudget_, counted, n, std::move(grids));
    ConnectorLabelBoxes boxes;
    std::vector<std::size_t> boxesChanged;
    std::int64_t recomputed = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Element& e = elements[i];
        const std::int64_t o = oldPosition(i);
        const std::optional<PlacedLabel>* oldLabel =
            o >= 0 ? &old->labels[static_cast<std::size_t>(o)] : nullptr;
        const bool hadLabel = oldLabel && oldLabel->has_value();
        const bool unchanged = inPlace && !changedAt(i);
        if (unchanged ? !hadLabel : !isConnector(e) || !nonEmptyLabel(e)) {
            if (hadLabel) {
                search.labelGone(i);
                if (sameSurroundings) {
                    boxes_.set(e.id, std::nullopt);
                    boxesChanged.push_back(i);
                }
            }
            continue;
        }
        bool keep = hadLabel && !changedAt(i) && !movedAt(i) && !routeChanged[i];
        if (keep && (*oldLabel)->region) {
            for (const Extent& d : dirty) {
                if (d.meets(*(*oldLabel)->region)) {
                    keep = false;
                    break;
                }
            }
        }
        if (keep) {
            state->labels[i] = *oldLabel;
        } else if (sameSurroundings && hadLabel && !changedAt(i) && !routeChanged[i] && (*oldLabel)->region &&
                   !changes.reach(state->routes[i]->points, {(*oldLabel)->box.w, (*oldLabel)->box.h}, scratch)) {
            // Placed afresh by the rules, yet nothing that changed comes near its search: it
            // would price the same obstacles in the same order and land where it was. (Its
            // element is unchanged, so its box has the size it would be searched with; a label
            // with a search region is not on a curve.)
            ++recomputed;
            state->labels[i] = *oldLabel;
        } else {
            ++recomputed;
            const TextSize size = getConnectorLabelSize(e);
            const std::vector<Point>& points = state->routes[i]->points;
            if (lineControlPoint(e)) {
                // Curved labels sit at the middle of the curve and avoid nothing.
                state->labels[i] = PlacedLabel{centredBox(getRoutePointAt(points, 0.5), size), std::nullopt};
            } else {
                state->labels[i] = search.place(i, owner(i), points, size);
            }
            if (old) {
                const LabelBox& box = state->labels[i]->box;
                if (!hadLabel) {
                    addBox(extentOfRect(labelRect(box)));
                } else if (!sameBox((*oldLabel)->box, box) || movedAt(i)) {
                    addBox(extentOfRect(labelRect((*oldLabel)->box)));
                    addBox(extentOfRect(labelRect(box)));
                }
            }
        }
        const LabelBox& box = state->labels[i]->box;
        const bool boxChanged = !hadLabel || !sameBox((*oldLabel)->box, box);
        // A pass over the same positions patches the last pass's boxes where they changed.
        if (!sameSurroundings) {
            boxes.set(e.id, box);
        } else if (boxChanged) {
            boxes_.set(e.id, box);
            boxesChanged.push_back(i);
        }
        search.addPlaced(i, box, boxChanged);
    }

    if (old && search.exhausted()) {
        // Reuse and a cut-short search would no longer agree with a full pass.
        layout(index, nullptr);
        return;
    }

    if (sameSurroundings) {
        boxesChangedAt_ = std::move(boxesChanged);
    } else {
        boxes_ = std::move(boxes);
        boxesChangedAt_.reset();
    }
    evaluations_ = search.evaluations();
    recomputedCount_ = recomputed;
    wasIncremental_ = old != nullptr;
    if (keepsState_ && tame && uniqueIds && !search.exhausted()) {
        state->grids = search.grids();
        scene_ = std::make_shared<const ElementIndex>(index);
        state_ = std::move(state);
    } else {
        scene_.reset();
        state_.reset();
    }
}

// ---------------------------------------------------------------------------------------------
// Diff

namespace detail {

LabelLayoutDiff labelLayoutDiff(const ElementIndex& oldIndex, const ElementIndex& newIndex) {
    const std::vector<Element>& before = oldIndex.elements();
    const std::vector<Element>& after = newIndex.elements();
    const std::size_t m = before.size();
    const std::size_t n = after.size();
    LabelLayoutDiff d;
    d.changedAt.assign(n, false);
    d.movedAt.assign(n, false);
    d.oldPosition.assign(n, -1);
    bool sameOrder = n == m;
    std::size_t found = 0;
    for (std::size_t p = 0; p < n; ++p) {
        const std::string& id = after[p].id;
        std::optional<std::size_t> q;
        if (p < m && jsStringEquals(before[p].id, id)) {
            q = p;
        } else {
            q = oldIndex.firstPosition(id);
        }
        if (!q) {
            d.changedIds.insert(JSStringKey(id));
            d.changedAt[p] = true;
            sameOrder = false;
            continue;
        }
        ++found;
        if (!after[p].isIdentical(before[*q])) {
            d.changedIds.insert(JSStringKey(id));
            d.changedAt[p] = true;
        }
        d.oldPosition[p] = static_cast<std::int64_t>(*q);
        sameOrder = sameOrder && p == *q;
    }
    if (found != m) {
        for (std::size_t c = 0; c < m; ++c) {
            if (!newIndex.firstPosition(before[c].id)) {
                d.removed.push_back(c);
                d.changedIds.insert(JSStringKey(before[c].id));
            }
        }
    }
    if (sameOrder) return d;

    d.structural = true;
    // Keep one longest strictly increasing run of old positions (patience method); every other
    // kept element has moved.
    std::vector<std::size_t> keptAt;
    std::vector<std::int64_t> seq;
    for (std::size_t p = 0; p < n; ++p) {
        if (d.oldPosition[p] >= 0) {
            keptAt.push_back(p);
            seq.push_back(d.oldPosition[p]);
        }
    }
    std::vector<std::size_t> piles;
    std::vector<std::int64_t> predecessor(seq.size(), -1);
    for (std::size_t i = 0; i < seq.size(); ++i) {
        std::size_t lo = 0;
        std::size_t hi = piles.size();
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (seq[piles[mid]] >= seq[i]) {
                hi = mid;
            } else {
                lo = mid + 1;
            }
        }
        if (lo > 0) predecessor[i] = static_cast<std::int64_t>(piles[lo - 1]);
        if (lo == piles.size()) {
            piles.push_back(i);
        } else {
            piles[lo] = i;
        }
    }
    std::vector<bool> member(seq.size(), false);
    if (!piles.empty()) {
        for (std::int64_t k = static_cast<std::int64_t>(piles.back()); k >= 0; k = predecessor[static_cast<std::size_t>(k)]) {
            member[static_cast<std::size_t>(k)] = true;
        }
    }
    for (std::size_t k = 0; k < seq.size(); ++k) d.movedAt[keptAt[k]] = !member[k];
    return d;
}

} // namespace detail

} // namespace dv
