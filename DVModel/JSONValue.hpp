#pragma once

// In-memory JSON: every document the kit reads or writes is held as a JSONValue, every JSON object
// as a JSONObject, which keeps its keys in the order they were first set.

#include "DVModel/Hashing.hpp"
#include "DVModel/JSStringKey.hpp"
#include "DVModel/detail/TreePool.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace dv {

class JSONValue;

/// The payload of JSON null.
struct JSONNull {
    friend bool operator==(JSONNull, JSONNull) noexcept { return true; }
};

/// An object with unique keys kept in first-set order. Keys compare by code units
/// (`jsStringEquals`); equality of two objects ignores key order.
///
/// Look-ups scan small objects and use a hash index (keyed per process, see Hashing.hpp) on larger
/// ones, so an object with hundreds of thousands of keys, whatever they are, still loads in
/// linear time. An empty object allocates nothing; copies are deep.
class JSONObject {
public:
    struct Entry {
        const std::string& key;
        const JSONValue& value;
    };
    class Iterator;

    JSONObject() noexcept;
    /// Built pair by pair: a repeated key keeps the position of its first occurrence and takes
    /// the value of its last.
    JSONObject(std::initializer_list<std::pair<std::string_view, JSONValue>> pairs);
    explicit JSONObject(std::vector<std::pair<std::string, JSONValue>> pairs);
    /// The same from parallel lists, moving the values out of `values` (which must be as long as
    /// `keys`): the road of a parser, which holds its members this way.
    JSONObject(std::span<const std::string_view> keys, std::span<JSONValue> values);
    JSONObject(const JSONObject& other);
    JSONObject(JSONObject&& other) noexcept;
    JSONObject& operator=(const JSONObject& other);
    JSONObject& operator=(JSONObject&& other) noexcept;
    ~JSONObject();

    /// The keys in order.
    const std::vector<std::string>& keys() const noexcept;
    std::size_t count() const noexcept;
    bool isEmpty() const noexcept { return count() == 0; }

    /// The value stored under `key`, or nullptr. Reading never inserts.
    const JSONValue* find(std::string_view key) const noexcept;
    /// Changing a value in place keeps its key's position.
    JSONValue* find(std::string_view key) noexcept;
    const JSONValue* operator[](std::string_view key) const noexcept { return find(key); }
    bool contains(std::string_view key) const noexcept { return find(key) != nullptr; }

    /// Stores `value` under `key`. A new key goes to the end; a key already present keeps its
    /// position and takes the new value. This is also the parser's path for building objects
    /// (a repeated member keeps its first position, the last value wins).
    JSONValue& set(std::string key, JSONValue value);
    /// Removes `key` and its value and returns the value; the other keys keep their order. A key
    /// that is not present changes nothing. Setting a removed key again appends it at the end.
    std::optional<JSONValue> remove(std::string_view key);

    void reserve(std::size_t count);

    /// Positional access, 0 <= index < count(), in key order.
    const std::string& keyAt(std::size_t index) const noexcept;
    const JSONValue& valueAt(std::size_t index) const noexcept;
    JSONValue& valueAt(std::size_t index) noexcept;

    /// Iterates (key, value) entries in key order.
    Iterator begin() const noexcept;
    Iterator end() const noexcept;

    friend bool operator==(const JSONObject& a, const JSONObject& b) noexcept;
    std::uint64_t hashValue() const noexcept;

private:
    struct Storage;
    std::unique_ptr<Storage> storage_;
};

/// A JSON value. The cases, in this order: bool, number (any double, NaN and infinities
/// included), string, array, object, null. Accessors never convert between cases.
class JSONValue {
public:
    using Array = std::vector<JSONValue, detail::TreeAllocator<JSONValue>>;
    enum class Kind : std::uint8_t { boolean, number, string, array, object, null };

    JSONValue() noexcept : value_(JSONNull{}) {}
    JSONValue(JSONNull) noexcept : value_(JSONNull{}) {}
    JSONValue(std::nullptr_t) noexcept : value_(JSONNull{}) {}
    JSONValue(bool value) noexcept : value_(value) {}
    JSONValue(double value) noexcept : value_(value) {}
    /// Integers are numbers, never Booleans.
    template <class Integer>
        requires(std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>)
    JSONValue(Integer value) noexcept : value_(static_cast<double>(value)) {}
    JSONValue(std::string value) noexcept : value_(std::move(value)) {}
    JSONValue(std::string_view value) : value_(std::string(value)) {}
    JSONValue(const char* value) : value_(std::string(value)) {}
    JSONValue(Array value) noexcept : value_(std::move(value)) {}
    JSONValue(JSONObject value) noexcept : value_(std::move(value)) {}
    /// Other pointers would silently become Booleans.
    template <class T>
    JSONValue(T*) = delete;

    Kind kind() const noexcept { return static_cast<Kind>(value_.index()); }
    bool isNull() const noexcept { return kind() == Kind::null; }

    std::optional<bool> boolValue() const noexcept {
        if (const bool* value = std::get_if<bool>(&value_)) return *value;
        return std::nullopt;
    }
    std::optional<double> doubleValue() const noexcept {
        if (const double* value = std::get_if<double>(&value_)) return *value;
        return std::nullopt;
    }
    const std::string* stringValue() const noexcept { return std::get_if<std::string>(&value_); }
    std::string* stringValue() noexcept { return std::get_if<std::string>(&value_); }
    const Array* arrayValue() const noexcept { return std::get_if<Array>(&value_); }
    Array* arrayValue() noexcept { return std::get_if<Array>(&value_); }
    const JSONObject* objectValue() const noexcept { return std::get_if<JSONObject>(&value_); }
    JSONObject* objectValue() noexcept { return std::get_if<JSONObject>(&value_); }

    /// The member `key` of an object; nullptr when absent or when this is not an object.
    const JSONValue* operator[](std::string_view key) const noexcept;

    /// Same case and equal payloads: numbers compare numerically (NaN equals nothing, +0 equals
    /// −0), objects ignore key order.
    friend bool operator==(const JSONValue& a, const JSONValue& b) noexcept;
    std::uint64_t hashValue() const noexcept;
    void hash(Hasher& hasher) const noexcept;

private:
    std::variant<bool, double, std::string, Array, JSONObject, JSONNull> value_;
};

class JSONObject::Iterator {
public:
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;

    Iterator() noexcept = default;
    Iterator(const std::string* key, const JSONValue* value) noexcept : key_(key), value_(value) {}

    Entry operator*() const noexcept { return Entry{*key_, *value_}; }
    Iterator& operator++() noexcept {
        ++key_;
        ++value_;
        return *this;
    }
    Iterator operator++(int) noexcept {
        Iterator old = *this;
        ++*this;
        return old;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) noexcept { return a.key_ == b.key_; }

private:
    const std::string* key_ = nullptr;
    const JSONValue* value_ = nullptr;
};

}  // namespace dv

template <>
struct std::hash<dv::JSONValue> {
    std::size_t operator()(const dv::JSONValue& value) const noexcept {
        return static_cast<std::size_t>(value.hashValue());
    }
};

template <>
struct std::hash<dv::JSONObject> {
    std::size_t operator()(const dv::JSONObject& object) const noexcept {
        return static_cast<std::size_t>(object.hashValue());
    }
};
