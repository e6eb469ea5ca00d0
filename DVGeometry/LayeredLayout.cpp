#include "DVGeometry/LayeredLayout.hpp"

#include "DVModel/Hashing.hpp"
#include "DVModel/JSNumber.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <span>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace dv::LayeredLayout {

namespace {

using Index = std::size_t;
constexpr Index kNone = static_cast<Index>(-1);

// An ordered pair of vertices, for telling repeated edges and known neighbours apart in constant
// time: a hub with tens of thousands of edges must not scan its lists for each new one.
struct VertexPair {
    Index a;
    Index b;
    bool operator==(const VertexPair&) const = default;
};

struct VertexPairHash {
    std::size_t operator()(const VertexPair& pair) const noexcept {
        Hasher h;
        h.writeU64(pair.a);
        h.writeU64(pair.b);
        return static_cast<std::size_t>(h.finish());
    }
};

// Adjacency lists of all vertices in one array: the list of v is items[start[v] .. start[v + 1]),
// in the order its entries were appended.
struct Adjacency {
    std::vector<std::size_t> start;
    std::vector<Index> items;

    std::span<const Index> operator[](Index v) const {
        return {items.data() + start[v], items.data() + start[v + 1]};
    }
};

// Lists from a sequence of appends "add b to a's list": a stable counting sort by owner.
Adjacency adjacency(Index n, const std::vector<VertexPair>& appends, bool ownerIsB = false) {
    Adjacency adj;
    adj.start.assign(n + 1, 0);
    for (const VertexPair& p : appends) ++adj.start[(ownerIsB ? p.b : p.a) + 1];
    for (Index v = 0; v < n; ++v) adj.start[v + 1] += adj.start[v];
    adj.items.resize(appends.size());
    std::vector<std::size_t> fill(adj.start.begin(), adj.start.end() - 1);
    for (const VertexPair& p : appends) {
        if (ownerIsB) adj.items[fill[p.b]++] = p.a;
        else adj.items[fill[p.a]++] = p.b;
    }
    return adj;
}

struct Graph {
    Adjacency outgoing;
    Adjacency incoming;
    // Undirected, in order of first connection.
    Adjacency neighbors;
    std::vector<std::size_t> rank;
};

// Ids hash with the kit's keyed hasher and compare by bytes, as JSStringKey does, but look texts
// up in place instead of copying them into keys.
struct IdHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view id) const noexcept { return static_cast<std::size_t>(hashBytes(id)); }
};
using IdMap = std::unordered_map<std::string_view, Index, IdHash, std::equal_to<>>;

// Later nodes with the same id take the id over; an edge names the last of them. `owner` gets,
// for every node, the node that now holds its id.
IdMap indexIds(std::span<const Node> nodes, std::vector<Index>& owner) {
    IdMap ids;
    ids.reserve(nodes.size());
    std::vector<IdMap::iterator> entries;
    entries.reserve(nodes.size());
    for (Index i = 0; i < nodes.size(); ++i) entries.push_back(ids.insert_or_assign(nodes[i].id, i).first);
    owner.resize(nodes.size());
    for (Index i = 0; i < nodes.size(); ++i) owner[i] = entries[i]->second;
    return ids;
}

void addEdges(Graph& g, Index n, const IdMap& ids, std::span<const Edge> edges) {
    std::unordered_set<VertexPair, VertexPairHash> directed;
    directed.reserve(edges.size());
    std::vector<VertexPair> outgoing, neighbors;
    for (const Edge& edge : edges) {
        const auto from = ids.find(std::string_view(edge.from));
        const auto to = ids.find(std::string_view(edge.to));
        if (from == ids.end() || to == ids.end()) continue;
        const Index u = from->second, v = to->second;
        if (u == v || !directed.insert({u, v}).second) continue;
        outgoing.push_back({u, v});
        // The two are neighbours already exactly when the opposite edge was taken before.
        if (!directed.contains({v, u})) {
            neighbors.push_back({u, v});
            neighbors.push_back({v, u});
        }
    }
    g.outgoing = adjacency(n, outgoing);
    g.neighbors = adjacency(n, neighbors);
}

// Vertices in reverse order of completion of a depth-first search over the outgoing edges, with
// an explicit stack so that a long chain cannot exhaust the call stack.
std::vector<Index> depthFirstOrder(const Graph& g, Index n) {
    std::vector<bool> visited(n, false);
    std::vector<Index> emitted;
    emitted.reserve(n);
    std::vector<std::pair<Index, std::size_t>> stack;  // vertex, next outgoing entry to try
    for (Index root = 0; root < n; ++root) {
        if (visited[root]) continue;
        visited[root] = true;
        stack.push_back({root, 0});
        while (!stack.empty()) {
            auto& [u, next] = stack.back();
            const std::span<const Index> out = g.outgoing[u];
            if (next < out.size()) {
                const Index v = out[next++];
                if (!visited[v]) {
                    visited[v] = true;
                    stack.push_back({v, 0});
                }
            } else {
                emitted.push_back(u);
                stack.pop_back();
            }
        }
    }
    std::reverse(emitted.begin(), emitted.end());
    return emitted;
}

// Points every edge forward in `order`, which reverses the edges that closed a cycle.
void orient(Graph& g, Index n, const std::vector<Index>& order) {
    std::vector<Index> place(n);
    for (Index i = 0; i < n; ++i) place[order[i]] = i;
    std::vector<VertexPair> kept;
    kept.reserve(g.outgoing.items.size());
    for (Index u = 0; u < n; ++u) {
        for (Index v : g.outgoing[u]) kept.push_back(place[u] < place[v] ? VertexPair{u, v} : VertexPair{v, u});
    }
    g.outgoing = adjacency(n, kept);
    g.incoming = adjacency(n, kept, true);
}

void assignRanks(Graph& g, const std::vector<Index>& order) {
    for (Index u : order) {
        for (Index v : g.outgoing[u]) g.rank[v] = std::max(g.rank[v], g.rank[u] + 1);
    }
}

// Vertex sets of the undirected components, each in index order, components ordered by their
// first vertex.
std::vector<std::vector<Index>> components(const Graph& g, Index n) {
    std::vector<bool> seen(n, false);
    std::vector<std::vector<Index>> result;
    for (Index root = 0; root < n; ++root) {
        if (seen[root]) continue;
        seen[root] = true;
        std::vector<Index> members{root};
        for (std::size_t head = 0; head < members.size(); ++head) {
            for (Index w : g.neighbors[members[head]]) {
                if (!seen[w]) {
                    seen[w] = true;
                    members.push_back(w);
                }
            }
        }
        std::sort(members.begin(), members.end());
        result.push_back(std::move(members));
    }
    return result;
}

// The layers of one component, stored one after another in `nodes`; layer r is
// nodes[start[r] .. start[r + 1]).
struct Layers {
    std::vector<Index> nodes;
    std::vector<std::size_t> start;

    std::size_t count() const { return start.size() - 1; }
};

Layers layersOf(const Graph& g, const std::vector<Index>& members) {
    std::size_t top = 0;
    for (Index v : members) top = std::max(top, g.rank[v]);
    Layers layers;
    layers.start.assign(top + 2, 0);
    for (Index v : members) ++layers.start[g.rank[v] + 1];
    for (std::size_t r = 1; r < layers.start.size(); ++r) layers.start[r] += layers.start[r - 1];
    layers.nodes.resize(members.size());
    std::vector<std::size_t> fill(layers.start.begin(), layers.start.end() - 1);
    for (Index v : members) layers.nodes[fill[g.rank[v]]++] = v;  // members are in index order
    return layers;
}

// Barycentre ordering: each layer sorted by the mean position of its vertices' neighbours on the
// chosen side, four times down and up.
void reduceCrossings(const Graph& g, Layers& layers, std::vector<double>& pos) {
    const std::size_t count = layers.count();
    for (std::size_t r = 0; r < count; ++r) {
        for (std::size_t k = layers.start[r]; k < layers.start[r + 1]; ++k) {
            pos[layers.nodes[k]] = static_cast<double>(k - layers.start[r]);
        }
    }
    if (count <= 1) return;

    std::vector<std::pair<double, Index>> keyed;
    auto reorder = [&](std::size_t r, const Adjacency& side) {
        const std::size_t begin = layers.start[r], end = layers.start[r + 1];
        // A single vertex keeps its place whatever its key.
        if (end - begin <= 1) return;
        keyed.clear();
        for (std::size_t k = begin; k < end; ++k) {
            const Index v = layers.nodes[k];
            const std::span<const Index> around = side[v];
            double key = static_cast<double>(k - begin);
            if (!around.empty()) {
                double sum = 0;
                for (Index u : around) sum += pos[u];
                key = sum / static_cast<double>(around.size());
            }
            keyed.push_back({key, v});
        }
        // Stable, so equal keys keep the current order.
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t k = begin; k < end; ++k) {
            layers.nodes[k] = keyed[k - begin].second;
            pos[layers.nodes[k]] = static_cast<double>(k - begin);
        }
    };
    for (int pass = 0; pass < 4; ++pass) {
        for (std::size_t r = 1; r < count; ++r) reorder(r, g.incoming);
        for (std::size_t r = count - 1; r-- > 0;) reorder(r, g.outgoing);
    }
}

} // namespace

std::vector<Position> layout(std::span<const Node> nodes, std::span<const Edge> edges, const Options& options) {
    const Index n = nodes.size();
    std::vector<Index> owner;
    const IdMap ids = indexIds(nodes, owner);

    Graph g;
    g.rank.assign(n, 0);
    addEdges(g, n, ids, edges);
    const std::vector<Index> order = depthFirstOrder(g, n);
    orient(g, n, order);
    assignRanks(g, order);

    const bool topToBottom = options.direction == Direction::topToBottom;
    auto alongSize = [&](Index v) { return topToBottom ? nodes[v].width : nodes[v].height; };
    auto acrossSize = [&](Index v) { return topToBottom ? nodes[v].height : nodes[v].width; };

    std::vector<Position> result;
    result.reserve(ids.size());
    // Where each id's entry sits in `result`, keyed by the id's last node.
    std::vector<Index> slot(n, kNone);
    std::vector<double> pos(n, 0);
    double componentOffset = 0;
    for (const std::vector<Index>& members : components(g, n)) {
        Layers layers = layersOf(g, members);
        reduceCrossings(g, layers, pos);

        std::vector<double> lengths(layers.count());
        double maxLength = -HUGE_VAL;
        for (std::size_t r = 0; r < layers.count(); ++r) {
            double sum = 0;
            for (std::size_t k = layers.start[r]; k < layers.start[r + 1]; ++k) sum += alongSize(layers.nodes[k]);
            const double gaps = static_cast<double>(layers.start[r + 1] - layers.start[r]) - 1;
            lengths[r] = gaps * options.nodeGap + sum;
            maxLength = jsMax(maxLength, lengths[r]);
        }

        double rankOffset = 0;
        for (std::size_t r = 0; r < layers.count(); ++r) {
            double thickness = -HUGE_VAL;
            for (std::size_t k = layers.start[r]; k < layers.start[r + 1]; ++k) {
                thickness = jsMax(thickness, acrossSize(layers.nodes[k]));
            }
            // Every layer is centred against the component's longest one.
            double along = componentOffset + (maxLength - lengths[r]) * 0.5;
            for (std::size_t k = layers.start[r]; k < layers.start[r + 1]; ++k) {
                const Index v = layers.nodes[k];
                const double across = rankOffset + (thickness - acrossSize(v)) * 0.5;
                const double x = (topToBottom ? along : across) + options.origin.x;
                const double y = (topToBottom ? across : along) + options.origin.y;
                Index& entry = slot[owner[v]];
                if (entry == kNone) {
                    entry = result.size();
                    result.push_back({nodes[v].id, x, y});
                } else {
                    result[entry].x = x;
                    result[entry].y = y;
                }
                along += alongSize(v) + options.nodeGap;
            }
            rankOffset += thickness + options.rankGap;
        }
        componentOffset += maxLength + options.nodeGap;
    }
    return result;
}

} // namespace dv::LayeredLayout

namespace {

void writeText(dv::Hasher& h, std::string_view text) {
    // Length first, so neighbouring texts cannot trade characters and hash alike.
    h.writeU64(text.size());
    h.write(text);
}

} // namespace

std::size_t std::hash<dv::LayeredLayout::Node>::operator()(const dv::LayeredLayout::Node& node) const noexcept {
    dv::Hasher h;
    writeText(h, node.id);
    h.writeDouble(node.width);
    h.writeDouble(node.height);
    return h.finish();
}

std::size_t std::hash<dv::LayeredLayout::Edge>::operator()(const dv::LayeredLayout::Edge& edge) const noexcept {
    dv::Hasher h;
    writeText(h, edge.from);
    writeText(h, edge.to);
    return h.finish();
}

std::size_t std::hash<dv::LayeredLayout::Options>::operator()(const dv::LayeredLayout::Options& options) const noexcept {
    dv::Hasher h;
    h.write(dv::toWord(options.direction));
    h.writeDouble(options.nodeGap);
    h.writeDouble(options.rankGap);
    h.writeDouble(options.origin.x);
    h.writeDouble(options.origin.y);
    return h.finish();
}

std::size_t std::hash<dv::LayeredLayout::Position>::operator()(const dv::LayeredLayout::Position& position) const noexcept {
    dv::Hasher h;
    writeText(h, position.id);
    h.writeDouble(position.x);
    h.writeDouble(position.y);
    return h.finish();
}
