#include "Platform/Graphics/detail/OpposedEdges.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace dv::gfx::detail {

namespace {

bool before(const GridPoint& a, const GridPoint& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); }

// A grid point in one word, for points whose coordinates fit in 32 bits, as those of gridPoint
// (within ±2^30) do.
bool packable(const GridPoint& p) {
    return p.x >= INT32_MIN && p.x <= INT32_MAX && p.y >= INT32_MIN && p.y <= INT32_MAX;
}

std::uint64_t packed(const GridPoint& p) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(p.x)) << 32 | static_cast<std::uint32_t>(p.y);
}

GridPoint unpacked(std::uint64_t v) {
    return {static_cast<std::int32_t>(static_cast<std::uint32_t>(v >> 32)), static_cast<std::int32_t>(static_cast<std::uint32_t>(v))};
}

// An edge without its direction: its ends packed, the earlier first, with whether it runs from
// `lo` to `hi`, and the hash the tables of edges share.
struct EdgeKey {
    std::uint64_t lo, hi;
    bool forward;
    std::uint64_t hash() const {
        const std::uint64_t h = (lo ^ (hi * 0x9e3779b97f4a7c15ULL)) * 0xff51afd7ed558ccdULL;
        return h ^ (h >> 29);
    }
};

EdgeKey keyOf(const GridPoint& a, const GridPoint& b) {
    const bool forward = before(a, b);
    return {packed(forward ? a : b), packed(forward ? b : a), forward};
}

// An undirected edge, its ends packed, with the number of times it is run from `lo` to `hi`
// and back.
struct Tally {
    std::uint64_t lo, hi;
    std::uint32_t forward, backward;
};

struct Edge {
    GridPoint from, to;
};

// Every edge reduced to its net runs, or to one run each way where they balance, in the order
// the edges first appear. `edgeCount` bounds the number of edges on the way in and is the number
// of edges of non-zero length on the way out. Absent for a point beyond 32 bits.
std::optional<std::vector<Edge>> netEdges(const std::vector<std::vector<GridPoint>>& subpaths, std::size_t& edgeCount,
                                          EdgeRunCounts* runs) {
    std::vector<Tally> tallies;
    tallies.reserve(edgeCount);
    std::size_t capacity = 16;
    while (capacity < 2 * edgeCount) capacity *= 2;
    std::vector<std::uint32_t> slots(capacity, 0);  // index into tallies + 1; 0 is empty
    auto count = [&](const GridPoint& a, const GridPoint& b) {
        const EdgeKey key = keyOf(a, b);
        const auto [lo, hi, forward] = key;
        std::size_t slot = key.hash() & (capacity - 1);
        while (slots[slot] != 0) {
            Tally& t = tallies[slots[slot] - 1];
            if (t.lo == lo && t.hi == hi) {
                ++(forward ? t.forward : t.backward);
                return;
            }
            slot = (slot + 1) & (capacity - 1);
        }
        tallies.push_back({lo, hi, forward ? 1u : 0u, forward ? 0u : 1u});
        slots[slot] = static_cast<std::uint32_t>(tallies.size());
    };
    edgeCount = 0;
    for (const auto& path : subpaths) {
        for (std::size_t i = 0; i < path.size(); ++i) {
            const GridPoint& a = path[i];
            const GridPoint& b = path[i + 1 < path.size() ? i + 1 : 0];
            if (!packable(a)) return std::nullopt;  // every point is the start of one edge
            if (a == b) continue;
            count(a, b);
            ++edgeCount;
        }
    }
    std::vector<Edge> edges;
    if (runs) *runs = {true, 0, 0};
    for (const Tally& t : tallies) {
        const GridPoint lo = unpacked(t.lo), hi = unpacked(t.hi);
        if (runs && lo.y != hi.y) {
            runs->sloped += std::size_t{t.forward} + t.backward;
            if (t.forward != t.backward) ++runs->slopedLeft;
        }
        if (t.forward == t.backward) {
            edges.push_back({lo, hi});
            edges.push_back({hi, lo});
        }
        for (std::uint32_t k = t.backward; k < t.forward; ++k) edges.push_back({lo, hi});
        for (std::uint32_t k = t.forward; k < t.backward; ++k) edges.push_back({hi, lo});
    }
    return edges;
}

// Rejoins edges in which every point is left as often as it is reached into closed walks,
// preferring at each point the edge that came first. Absent if the edges do not close up.
std::optional<std::vector<std::vector<GridPoint>>> closedWalks(const std::vector<Edge>& edges) {
    std::vector<std::size_t> order(edges.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (before(edges[a].from, edges[b].from)) return true;
        if (before(edges[b].from, edges[a].from)) return false;
        return a < b;
    });
    std::vector<std::size_t> cursor(order.size());
    for (std::size_t i = 0; i < cursor.size(); ++i) cursor[i] = i;
    std::vector<bool> used(edges.size(), false);
    // The first unused edge leaving v, taken; edges.size() when there is none.
    auto take = [&](const GridPoint& v) {
        auto group = std::lower_bound(order.begin(), order.end(), v,
                                      [&](std::size_t e, const GridPoint& p) { return before(edges[e].from, p); });
        if (group == order.end() || !(edges[*group].from == v)) return edges.size();
        std::size_t& pos = cursor[static_cast<std::size_t>(group - order.begin())];
        while (pos < order.size() && edges[order[pos]].from == v && used[order[pos]]) ++pos;
        if (pos == order.size() || !(edges[order[pos]].from == v)) return edges.size();
        used[order[pos]] = true;
        return order[pos];
    };

    std::vector<std::vector<GridPoint>> walks;
    for (std::size_t first = 0; first < edges.size(); ++first) {
        if (used[first]) continue;
        used[first] = true;
        std::vector<GridPoint> walk{edges[first].from};
        for (std::size_t e = first; e != edges.size(); e = take(edges[e].to)) walk.push_back(edges[e].to);
        if (!(walk.back() == walk.front())) return std::nullopt;
        walk.pop_back();  // the fill closes the walk
        walks.push_back(std::move(walk));
    }
    return walks;
}

// Whether few edges lie on the same two points as another (see dropOpposedEdges), judged from
// every edge against an even sample of them, which a small table holds; a bit for each slot's
// hash keeps most edges from looking in the table at all.
bool hardlyCoincide(const std::vector<std::vector<GridPoint>>& subpaths, std::size_t edgeCount) {
    constexpr std::size_t SAMPLE = 1024, SLOTS = 4096, BITS = 1 << 15;
    if (edgeCount < 16 * SAMPLE) return false;  // light enough to tally whole
    struct Slot {
        std::uint64_t lo = 0, hi = 0;
        std::uint32_t seen = 0;
        bool used = false;
    };
    std::vector<Slot> slots(SLOTS);
    std::vector<std::uint64_t> bits(BITS / 64, 0);
    auto slotOf = [&](const EdgeKey& key, std::uint64_t h, bool add) -> Slot* {
        for (std::size_t slot = h & (SLOTS - 1);; slot = (slot + 1) & (SLOTS - 1)) {
            Slot& s = slots[slot];
            if (!s.used) {
                if (!add) return nullptr;
                s = {key.lo, key.hi, 0, true};
                return &s;
            }
            if (s.lo == key.lo && s.hi == key.hi) return &s;
        }
    };
    // Edges of the points beyond 32 bits are tallied whole (and refused there).
    for (const auto& path : subpaths)
        for (const GridPoint& p : path)
            if (!packable(p)) return false;
    const std::size_t stride = edgeCount / SAMPLE;
    std::size_t sampled = 0, skip = 0;
    for (const auto& path : subpaths) {
        for (std::size_t i = skip; i < path.size() && sampled < SAMPLE; i += stride) {
            const GridPoint& a = path[i];
            const GridPoint& b = path[i + 1 < path.size() ? i + 1 : 0];
            if (a == b) continue;
            const EdgeKey key = keyOf(a, b);
            const std::uint64_t h = key.hash();
            slotOf(key, h, true);
            bits[(h >> 20) % BITS / 64] |= std::uint64_t{1} << ((h >> 20) % 64);
            ++sampled;
        }
        // The next sample lies `stride` edges on, in the next subpath where this one ends first.
        const std::size_t past = path.size() > skip ? (path.size() - skip + stride - 1) / stride * stride + skip : skip;
        skip = past - path.size();
    }
    for (const auto& path : subpaths) {
        for (std::size_t i = 0; i < path.size(); ++i) {
            const GridPoint& a = path[i];
            const GridPoint& b = path[i + 1 < path.size() ? i + 1 : 0];
            const EdgeKey key = keyOf(a, b);
            const std::uint64_t h = key.hash();
            if (!(bits[(h >> 20) % BITS / 64] >> ((h >> 20) % 64) & 1)) continue;
            if (Slot* s = slotOf(key, h, false)) ++s->seen;
        }
    }
    // A sampled edge lies on another where its two points were seen more than once.
    std::size_t partnered = 0, distinct = 0;
    for (const Slot& s : slots) {
        if (!s.used) continue;
        ++distinct;
        partnered += s.seen > 1;
    }
    return distinct > 0 && partnered * 8 < distinct;
}

} // namespace

void GridPath::moveTo(GridPoint p) {
    if (!subpaths_.empty() && subpaths_.back().size() == 1) {
        subpaths_.back().front() = p;
        return;
    }
    subpaths_.emplace_back();
    // Only the first subpath gets the room: a long path is one subpath, and a path of many
    // short subpaths must not reserve the whole length for each.
    if (subpaths_.size() == 1) subpaths_.back().reserve(reserved_);
    subpaths_.back().push_back(p);
}

void GridPath::reserve(std::size_t points) { reserved_ = points; }

void GridPath::close() {
    if (subpaths_.empty()) return;
    std::vector<GridPoint>& path = subpaths_.back();
    if (path.size() < 2) return;
    const GridPoint start = path.front();
    lineTo(start);
    path.pop_back();
    // The next edge starts a new subpath at the same point, as it does in cairo.
    subpaths_.push_back({start});
}

std::optional<std::vector<std::vector<GridPoint>>> dropOpposedEdges(const std::vector<std::vector<GridPoint>>& subpaths,
                                                                     std::size_t minEdges, EdgeRunCounts* runs) {
    if (runs) *runs = {};
    std::size_t edgeCount = 0;
    for (const auto& path : subpaths) edgeCount += path.size();
    if (edgeCount < minEdges || edgeCount >= (std::size_t{1} << 31)) return std::nullopt;
    if (hardlyCoincide(subpaths, edgeCount)) {
        if (runs) runs->hardlyCoincide = true;
        return std::nullopt;
    }
    const std::optional<std::vector<Edge>> net = netEdges(subpaths, edgeCount, runs);
    if (!net) return std::nullopt;
    const std::vector<Edge>& edges = *net;
    if (edgeCount < minEdges || 2 * edges.size() > edgeCount || edges.size() == edgeCount) return std::nullopt;
    return closedWalks(edges);
}

} // namespace dv::gfx::detail
