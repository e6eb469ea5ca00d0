#pragma once

// In-memory JSON: every document the kit reads or writes is held as a JSONValue, every JSON object
// as a JSONObject, which keeps its keys in the order they were first set.

#include "DVModel/Hashing.hpp"
#include "DVModel/JSStringKey.hpp"
#include "DVModel/detail/TreePool.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <new>
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

namespace detail {

// A copy of `text`. Keys are mostly short: copies of a known length compile to a few moves,
// where a copy of any length costs a call.
inline std::string shortTextCopy(std::string_view text) {
    const char* p = text.data();
    switch (text.size()) {
    case 0: return std::string();
#define DV_SHORT_COPY(n) \
    case n: return std::string(p, n);
        DV_SHORT_COPY(1) DV_SHORT_COPY(2) DV_SHORT_COPY(3) DV_SHORT_COPY(4) DV_SHORT_COPY(5) DV_SHORT_COPY(6)
        DV_SHORT_COPY(7) DV_SHORT_COPY(8) DV_SHORT_COPY(9) DV_SHORT_COPY(10) DV_SHORT_COPY(11) DV_SHORT_COPY(12)
        DV_SHORT_COPY(13) DV_SHORT_COPY(14) DV_SHORT_COPY(15)
#undef DV_SHORT_COPY
    default: return std::string(text);
    }
}

// A member name in 16 bytes: up to 15 bytes in place, zero-padded, with the length in the last
// byte, so that two short names are equal exactly when their 16 bytes are; a longer name is held
// in a block of its own (its length, then its bytes) and the last byte is kLong.
class JSONKey {
    static_assert(std::endian::native == std::endian::little, "short keys are packed in little-endian words");

public:
    explicit JSONKey(std::string_view text) {
        if (text.size() <= kInline) {
            placeShort(text.data(), text.size());
            return;
        }
        makeLong(text);
    }
    JSONKey(const JSONKey& other) {
        if (other.isLong()) makeLong(other.view());
        else std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    }
    JSONKey(JSONKey&& other) noexcept {
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
        other.bytes_[kTag] = 0;
    }
    JSONKey& operator=(const JSONKey&) = delete;
    JSONKey& operator=(JSONKey&&) = delete;
    ~JSONKey() {
        if (isLong()) freeLong();
    }

    std::string_view view() const noexcept {
        const unsigned tag = static_cast<unsigned char>(bytes_[kTag]);
        if (tag <= kInline) return {bytes_, tag};
        const char* block = longBlock();
        std::size_t size;
        std::memcpy(&size, block, sizeof size);
        return {block + sizeof size, size};
    }
    bool isLong() const noexcept { return static_cast<unsigned char>(bytes_[kTag]) == kLong; }
    // Equal texts, for two short names.
    bool sameShort(const JSONKey& other) const noexcept {
        std::uint64_t a[2], b[2];
        std::memcpy(a, bytes_, sizeof a);
        std::memcpy(b, other.bytes_, sizeof b);
        return ((a[0] ^ b[0]) | (a[1] ^ b[1])) == 0;
    }
    // The probe a look-up of `text` compares by sameShort; nothing for longer texts.
    static bool probe(std::string_view text, JSONKey& out) noexcept {
        if (text.size() > kInline) return false;
        out.placeShort(text.data(), text.size());
        return true;
    }
    JSONKey() noexcept { std::memset(bytes_, 0, sizeof bytes_); }

private:
    static constexpr std::size_t kInline = 15;
    static constexpr std::size_t kTag = 15;
    static constexpr unsigned char kLong = 0xFF;

    // Copies of a known small length compile to a few moves, where a copy of any length costs a call.
    void placeShort(const char* p, std::size_t n) noexcept {
        std::uint64_t lo = 0, hi = 0;
        if (n > 8) {
            std::memcpy(&lo, p, 8);
            std::memcpy(&hi, p + n - 8, 8);
            // The last eight bytes overlap the first; keep only those past byte 8.
            hi >>= 8 * (16 - n);
        } else if (n == 8) {
            std::memcpy(&lo, p, 8);
        } else if (n >= 4) {
            std::uint32_t a, b;
            std::memcpy(&a, p, 4);
            std::memcpy(&b, p + n - 4, 4);
            lo = a | (std::uint64_t{b} << (8 * (n - 4)));
        } else if (n > 0) {
            lo = static_cast<unsigned char>(p[0]) | (std::uint64_t{static_cast<unsigned char>(p[n / 2])} << (8 * (n / 2))) |
                 (std::uint64_t{static_cast<unsigned char>(p[n - 1])} << (8 * (n - 1)));
        }
        hi |= std::uint64_t{n} << 56;
        std::memcpy(bytes_, &lo, 8);
        std::memcpy(bytes_ + 8, &hi, 8);
    }
    const char* longBlock() const noexcept {
        const char* block;
        std::memcpy(&block, bytes_, sizeof block);
        return block;
    }
    void makeLong(std::string_view text);
    void freeLong() noexcept;

    alignas(8) char bytes_[16];
};

}  // namespace detail

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
        std::string_view key;
        const JSONValue& value;
    };
    class Iterator;

    JSONObject() noexcept = default;
    /// Built pair by pair: a repeated key keeps the position of its first occurrence and takes
    /// the value of its last.
    JSONObject(std::initializer_list<std::pair<std::string_view, JSONValue>> pairs);
    explicit JSONObject(std::vector<std::pair<std::string, JSONValue>> pairs);
    /// The same from parallel lists, moving the values out of `values` (which must be as long as
    /// `keys`): the road of a parser, which holds its members this way.
    JSONObject(std::span<const std::string_view> keys, std::span<JSONValue> values);
    JSONObject(const JSONObject& other);
    JSONObject(JSONObject&& other) noexcept : storage_(std::exchange(other.storage_, nullptr)) {}
    JSONObject& operator=(const JSONObject& other);
    JSONObject& operator=(JSONObject&& other) noexcept {
        // `other` may live inside the members given up here: take its storage first.
        Storage* old = std::exchange(storage_, std::exchange(other.storage_, nullptr));
        if (old != nullptr) destroy(old);
        return *this;
    }
    ~JSONObject() {
        if (storage_ != nullptr) destroy(storage_);
    }

    /// The keys in order, copied; iterating the object itself or keyAt copies nothing.
    std::vector<std::string> keys() const;
    inline std::size_t count() const noexcept;
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
    JSONValue& set(std::string_view key, JSONValue value);
    /// Removes `key` and its value and returns the value; the other keys keep their order. A key
    /// that is not present changes nothing. Setting a removed key again appends it at the end.
    std::optional<JSONValue> remove(std::string_view key);

    void reserve(std::size_t count);

    /// Positional access, 0 <= index < count(), in key order. A key's text lives as long as its member.
    inline std::string_view keyAt(std::size_t index) const noexcept;
    inline const JSONValue& valueAt(std::size_t index) const noexcept;
    inline JSONValue& valueAt(std::size_t index) noexcept;

    /// Iterates (key, value) entries in key order.
    inline Iterator begin() const noexcept;
    inline Iterator end() const noexcept;

    friend bool operator==(const JSONObject& a, const JSONObject& b) noexcept;
    std::uint64_t hashValue() const noexcept;

private:
    struct Member;
    struct Storage;
    static void destroy(Storage* storage) noexcept;
    // Room for `count` members at least, keeping those present.
    void ensureCapacity(std::size_t count);
    // Appends a member whose key is not present yet.
    JSONValue& append(std::string_view key, JSONValue&& value);

    Storage* storage_ = nullptr;
};

/// A JSON value. The cases, in this order: bool, number (any double, NaN and infinities
/// included), string, array, object, null. Accessors never convert between cases.
///
/// Sixteen bytes: a string or an array is held in a block of its own from the tree pool, so that
/// values move as a pair of words and the lists of a large tree stay dense. A moved-from value is
/// null.
class JSONValue {
public:
    using Array = std::vector<JSONValue, detail::TreeAllocator<JSONValue>>;
    enum class Kind : std::uint8_t { boolean, number, string, array, object, null };

    JSONValue() noexcept : number_(0), kind_(Kind::null) {}
    JSONValue(JSONNull) noexcept : JSONValue() {}
    JSONValue(std::nullptr_t) noexcept : JSONValue() {}
    JSONValue(bool value) noexcept : bits_(0), kind_(Kind::boolean) { boolean_ = value; }
    JSONValue(double value) noexcept : number_(value), kind_(Kind::number) {}
    /// Integers are numbers, never Booleans.
    template <class Integer>
        requires(std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>)
    JSONValue(Integer value) noexcept : JSONValue(static_cast<double>(value)) {}
    JSONValue(std::string value) : string_(box<std::string>(std::move(value))), kind_(Kind::string) {}
    JSONValue(std::string_view value) : string_(boxText(value)), kind_(Kind::string) {}
    JSONValue(const char* value) : JSONValue(std::string_view(value)) {}
    JSONValue(Array value) : array_(box<Array>(std::move(value))), kind_(Kind::array) {}
    JSONValue(JSONObject value) noexcept : object_(std::move(value)), kind_(Kind::object) {}
    /// Other pointers would silently become Booleans.
    template <class T>
    JSONValue(T*) = delete;

    JSONValue(const JSONValue& other);
    JSONValue(JSONValue&& other) noexcept : kind_(other.kind_) {
        takePayload(other);
        other.kind_ = Kind::null;
    }
    JSONValue& operator=(const JSONValue& other);
    JSONValue& operator=(JSONValue&& other) noexcept {
        if (this != &other) {
            // The old payload may own `other` (a member of this very object): free it last.
            JSONValue old(std::move(*this));
            kind_ = other.kind_;
            takePayload(other);
            other.kind_ = Kind::null;
        }
        return *this;
    }
    ~JSONValue() {
        if (kind_ >= Kind::string && kind_ <= Kind::object) release();
    }

    Kind kind() const noexcept { return kind_; }
    bool isNull() const noexcept { return kind_ == Kind::null; }

    std::optional<bool> boolValue() const noexcept {
        if (kind_ == Kind::boolean) return boolean_;
        return std::nullopt;
    }
    std::optional<double> doubleValue() const noexcept {
        if (kind_ == Kind::number) return number_;
        return std::nullopt;
    }
    const std::string* stringValue() const noexcept { return kind_ == Kind::string ? string_ : nullptr; }
    std::string* stringValue() noexcept { return kind_ == Kind::string ? string_ : nullptr; }
    const Array* arrayValue() const noexcept { return kind_ == Kind::array ? array_ : nullptr; }
    Array* arrayValue() noexcept { return kind_ == Kind::array ? array_ : nullptr; }
    const JSONObject* objectValue() const noexcept { return kind_ == Kind::object ? &object_ : nullptr; }
    JSONObject* objectValue() noexcept { return kind_ == Kind::object ? &object_ : nullptr; }

    /// The member `key` of an object; nullptr when absent or when this is not an object.
    const JSONValue* operator[](std::string_view key) const noexcept;

    /// Same case and equal payloads: numbers compare numerically (NaN equals nothing, +0 equals
    /// −0), objects ignore key order.
    friend bool operator==(const JSONValue& a, const JSONValue& b) noexcept;
    std::uint64_t hashValue() const noexcept;
    void hash(Hasher& hasher) const noexcept;

private:
    template <class T, class... Args>
    static T* box(Args&&... args) {
        static_assert(sizeof(T) <= detail::kTreeBlockLimit && alignof(T) <= 16);
        void* block = detail::treeAllocate(sizeof(T));
        try {
            return new (block) T(std::forward<Args>(args)...);
        } catch (...) {
            detail::treeRelease(block, sizeof(T));
            throw;
        }
    }
    static std::string* boxText(std::string_view text) {
        void* block = detail::treeAllocate(sizeof(std::string));
        try {
            // Made in place: moving a short string in would copy it a second time.
            return new (block) std::string(detail::shortTextCopy(text));
        } catch (...) {
            detail::treeRelease(block, sizeof(std::string));
            throw;
        }
    }
    template <class T>
    static void unbox(T* held) noexcept {
        held->~T();
        detail::treeRelease(held, sizeof(T));
    }

    // Takes the payload of `other`, whose kind this value already has; leaves `other` to be
    // marked null.
    void takePayload(JSONValue& other) noexcept {
        if (kind_ == Kind::object) {
            new (&object_) JSONObject(std::move(other.object_));
            other.object_.~JSONObject();
        } else {
            bits_ = other.bits_;
        }
    }
    void release() noexcept;

    union {
        bool boolean_;
        double number_;
        std::string* string_;
        Array* array_;
        JSONObject object_;
        std::uint64_t bits_;  // any payload but an object's, copied whole
    };
    Kind kind_;
};

struct JSONObject::Member {
    Member(std::string_view key, JSONValue&& value) : key(key), value(std::move(value)) {}

    detail::JSONKey key;
    JSONValue value;
};

// The members in order, right after this header in one block (from the tree pool unless large).
struct JSONObject::Storage {
    std::uint32_t size = 0;
    std::uint32_t capacity = 0;
    /// Open-addressing table (linear probing, at most half full) over the keys, present only
    /// while the object has more than a few keys; see JSONValue.cpp.
    std::vector<std::uint64_t, detail::TreeAllocator<std::uint64_t>> index;

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // The header's size keeps the members aligned.
    Member* members() noexcept {
        static_assert(sizeof(Storage) % alignof(Member) == 0);
        return reinterpret_cast<Member*>(this + 1);
    }
    const Member* members() const noexcept { return reinterpret_cast<const Member*>(this + 1); }

    // A block for `capacity` members, none made yet.
    static Storage* make(std::size_t capacity);
    // Destroys the members and gives the block back.
    static void free(Storage* storage) noexcept;

    std::size_t locate(std::string_view key) const noexcept;
    std::size_t locateHashed(std::string_view key, std::uint64_t hash) const noexcept;
    void insertSlot(std::uint64_t hash, std::size_t position) noexcept;
    void rebuildIndex();
};

class JSONObject::Iterator {
public:
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;

    Iterator() noexcept = default;
    explicit Iterator(const Member* member) noexcept : member_(member) {}

    Entry operator*() const noexcept { return Entry{member_->key.view(), member_->value}; }
    Iterator& operator++() noexcept {
        ++member_;
        return *this;
    }
    Iterator operator++(int) noexcept {
        Iterator old = *this;
        ++*this;
        return old;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) noexcept { return a.member_ == b.member_; }

private:
    const Member* member_ = nullptr;
};

std::size_t JSONObject::count() const noexcept { return storage_ != nullptr ? storage_->size : 0; }
std::string_view JSONObject::keyAt(std::size_t index) const noexcept { return storage_->members()[index].key.view(); }
const JSONValue& JSONObject::valueAt(std::size_t index) const noexcept { return storage_->members()[index].value; }
JSONValue& JSONObject::valueAt(std::size_t index) noexcept { return storage_->members()[index].value; }
JSONObject::Iterator JSONObject::begin() const noexcept {
    return Iterator(storage_ != nullptr ? storage_->members() : nullptr);
}
JSONObject::Iterator JSONObject::end() const noexcept {
    return Iterator(storage_ != nullptr ? storage_->members() + storage_->size : nullptr);
}

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
