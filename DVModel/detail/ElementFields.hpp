#pragma once
// The element key table: one slot per JSON key of an element kind, naming the typed field it
// fills and the values it takes. The writer, validation and key-by-key access all walk these
// slots, so a key, its field and its rules are written down once.

#include "DVModel/Element.hpp"

#include <cmath>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>
#include <string_view>

namespace dv::detail {

// What validation accepts beyond the kind of JSON value.
struct FieldBounds {
    double lo = 0;               // numbers: finite and lo <= value <= hi
    double hi = 0;
    std::size_t minUnits = 0;    // texts: length in UTF-16 code units
    std::size_t maxUnits = 0;
    bool (*textCheck)(std::string_view) = nullptr;  // texts: a further test of the content
};

struct FieldSlot {
    std::string_view key;
    bool required = false;
    FieldBounds bounds;
    // Appends the key with the field's JSON form; an absent optional field writes nothing.
    void (*write)(const FieldSlot&, const Element&, JSONObject&) = nullptr;
    // Key-by-key access: `value` nullptr stands for the absent value (not JSON null). Answers
    // applied, keptInExtra (the field is now absent) or rejected (nothing changed). Leaves
    // `extra` to the caller.
    FieldUpdate (*apply)(Element&, const JSONValue* value) = nullptr;
    // Validation of a present value: stores it and answers true when it passes every rule.
    bool (*validate)(Element&, const JSONValue& value, const FieldBounds& bounds) = nullptr;
    // The same test and result, taking the field's texts out of `value` rather than copying them;
    // `value` is left unspecified either way.
    bool (*take)(Element&, JSONValue& value, const FieldBounds& bounds) = nullptr;
};

struct KindFields {
    // "id" first, then the common keys, then the kind's own in write order ("type" is not a slot).
    std::vector<const FieldSlot*> slots;
    // The required keys other than "id", in order.
    std::vector<std::string_view> requiredKeys;
    // (key, position in `slots`), sorted by key
    std::vector<std::pair<std::string_view, int>> index;

    // The position in `slots` of the slot with this key, or -1 when the key is no field of the kind.
    int find(std::string_view key) const;
};

// Built once, on first use, for every kind.
const KindFields& fieldsOf(ElementType type);

// Validation rules of the nested values, shared with the writer's counterparts.
std::optional<ConnectorAnchor> validateAnchor(const JSONValue& value);
std::optional<StencilSource> validateStencilSource(const JSONValue& value);
// The number held by `value` when it is present, finite and within lo…hi. Inline: a long
// stroke checks two for each of its points.
[[gnu::always_inline]] inline std::optional<double> numberWithin(const JSONValue* value, double lo, double hi) {
    if (value == nullptr) return std::nullopt;
    const auto number = value->doubleValue();
    if (!number || !std::isfinite(*number) || !(lo <= *number && *number <= hi)) return std::nullopt;
    return number;
}
// True when the text has at most `maxUnits` UTF-16 code units (and at least `minUnits`).
bool unitsWithin(std::string_view text, std::size_t minUnits, std::size_t maxUnits);

}  // namespace dv::detail
