#pragma once
// The small records that elements embed: points, connector anchors and stencil sources, with
// their JSON forms and the lenient readers that build them from JSON values made by this system.
// Anchors and sources keep the keys they do not model in `extra`, so those survive a round trip.

#include "DVModel/Hashing.hpp"
#include "DVModel/JSONValue.hpp"

#include <initializer_list>
#include <optional>
#include <string_view>
#include <string>
#include <variant>
#include <vector>

namespace dv {

struct Point {
    double x = 0;
    double y = 0;

    bool operator==(const Point&) const = default;
    // [x, y]
    JSONValue jsonValue() const;
};

// Where a connector end attaches on the element it is bound to, as fractions of that element.
struct ConnectorAnchor {
    double x = 0;
    double y = 0;
    JSONObject extra;

    bool operator==(const ConnectorAnchor&) const = default;
    // "x", "y", then the extra keys the model does not hold itself.
    JSONObject jsonObject() const;
};

// Where a stencil's picture comes from: a reference the registry resolves, or an SVG data URL.
struct StencilSource {
    struct Builtin {
        std::string ref;
        bool operator==(const Builtin&) const = default;
    };
    struct Embedded {
        std::string src;
        std::string pack;
        std::string name;
        bool operator==(const Embedded&) const = default;
    };
    using Kind = std::variant<Builtin, Embedded>;

    Kind kind;
    JSONObject extra;

    static StencilSource builtin(std::string ref);
    static StencilSource embedded(std::string src, std::string pack, std::string name);

    bool isBuiltin() const { return std::holds_alternative<Builtin>(kind); }
    bool operator==(const StencilSource&) const = default;
    // "kind", then "ref" or "src", "pack", "name", then the extra keys.
    JSONObject jsonObject() const;
};

// Appends every key of `extra`, in its order, that `target` does not already hold: a value the
// model wrote wins and keeps its place.
void appendExtraKeys(JSONObject& target, const JSONObject& extra);

// Lenient readers (for JSON this system produced itself). Each yields absent when the value does
// not have the expected shape; none of them checks ranges or text content.
std::optional<ConnectorAnchor> readConnectorAnchor(const JSONValue& value);
std::optional<StencilSource> readStencilSource(const JSONValue& value);
// Every entry an array of exactly two numbers; one bad entry makes the whole list absent.
std::optional<std::vector<Point>> readPointList(const JSONValue& value);
// Numbers only; one bad entry makes the whole list absent.
std::optional<std::vector<double>> readNumberList(const JSONValue& value);

namespace detail {
// Every key of `object` but the listed ones, in order, with their values.
JSONObject keysExcept(const JSONObject& object, std::initializer_list<std::string_view> taken);
}  // namespace detail

}  // namespace dv

DV_HASH_MEMBERS(dv::Point, &dv::Point::x, &dv::Point::y);
DV_HASH_MEMBERS(dv::ConnectorAnchor, &dv::ConnectorAnchor::x, &dv::ConnectorAnchor::y, &dv::ConnectorAnchor::extra);
DV_HASH_MEMBERS(dv::StencilSource::Builtin, &dv::StencilSource::Builtin::ref);
DV_HASH_MEMBERS(dv::StencilSource::Embedded, &dv::StencilSource::Embedded::src, &dv::StencilSource::Embedded::pack,
                &dv::StencilSource::Embedded::name);
DV_HASH_MEMBERS(dv::StencilSource, &dv::StencilSource::kind, &dv::StencilSource::extra);
