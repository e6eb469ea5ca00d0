#pragma once
// Automatic arrangement of boxes joined by directed edges: every edge points from one rank to a
// later one, boxes within a rank are ordered to cross fewer edges, ranks run down or across, and
// unconnected parts of the graph stand side by side. Knows nothing of elements: it works on
// plain node and edge records.

#include "DVModel/SmallRecords.hpp"
#include "DVModel/Vocabulary.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

namespace LayeredLayout {

enum class Direction : std::uint8_t { topToBottom, leftToRight };

struct Node {
    std::string id;
    double width = 0;
    double height = 0;
    bool operator==(const Node&) const = default;
};

struct Edge {
    std::string from;
    std::string to;
    bool operator==(const Edge&) const = default;
};

struct Options {
    Direction direction = Direction::topToBottom;
    /// Between neighbouring boxes in a rank, and between components.
    double nodeGap = 60;
    /// Between consecutive ranks.
    double rankGap = 100;
    /// Added to every position.
    Point origin{0, 0};
    bool operator==(const Options&) const = default;
};

/// Top-left corner of a node's box.
struct Position {
    std::string id;
    double x = 0;
    double y = 0;
    bool operator==(const Position&) const = default;
};

/// One position per distinct node id, in the order the ids were first placed. Edges with an
/// unknown end, self-loops and repeated edges are ignored; cycles are broken by reversing edges.
/// Runs in about linear time and without recursion, however long or wide the graph.
std::vector<Position> layout(std::span<const Node> nodes, std::span<const Edge> edges, const Options& options = {});

} // namespace LayeredLayout

template <> struct Words<LayeredLayout::Direction> {
    static constexpr std::array<std::string_view, 2> list{"TB", "LR"};
};

} // namespace dv

template <> struct std::hash<dv::LayeredLayout::Node> {
    std::size_t operator()(const dv::LayeredLayout::Node& node) const noexcept;
};
template <> struct std::hash<dv::LayeredLayout::Edge> {
    std::size_t operator()(const dv::LayeredLayout::Edge& edge) const noexcept;
};
template <> struct std::hash<dv::LayeredLayout::Options> {
    std::size_t operator()(const dv::LayeredLayout::Options& options) const noexcept;
};
template <> struct std::hash<dv::LayeredLayout::Position> {
    std::size_t operator()(const dv::LayeredLayout::Position& position) const noexcept;
};
