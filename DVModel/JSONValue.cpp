#include "DVModel/JSONValue.hpp"

#include <bit>

namespace dv {

// ---------------------------------------------------------------------------------------------
// JSONObject

namespace {

/// Objects up to this size are searched by scanning their keys: cheaper than hashing for the
/// typical element object, and they need no index.
constexpr std::size_t kLinearLimit = 16;

/// An index slot: 0 when empty, else (hash tag << 32) | (position + 1).
using Slot = std::uint64_t;

inline std::uint32_t slotPosition(Slot slot) noexcept { return static_cast<std::uint32_t>(slot) - 1; }
inline std::uint32_t slotTag(Slot slot) noexcept { return static_cast<std::uint32_t>(slot >> 32); }
inline std::uint32_t hashTag(std::uint64_t hash) noexcept { return static_cast<std::uint32_t>(hash >> 32); }
inline Slot makeSlot(std::uint64_t hash, std::size_t position) noexcept {
    return (Slot{hashTag(hash)} << 32) | static_cast<std::uint32_t>(position + 1);
}

const std::vector<std::string>& emptyKeys() noexcept {
    static const std::vector<std::string> empty;
    return empty;
}

}  // namespace

struct JSONObject::Storage {
    std::vector<std::string> keys;
    std::vector<JSONValue, detail::TreeAllocator<JSONValue>> values;
    /// Open-addressing table (linear probing, at most half full) over `keys`, present only while
    /// the object has more than kLinearLimit keys.
    std::vector<Slot, detail::TreeAllocator<Slot>> index;

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    static void* operator new(std::size_t bytes) {
        static_assert(sizeof(Storage) <= detail::kTreeBlockLimit);
        return detail::treeAllocate(bytes);
    }
    static void operator delete(void* block, std::size_t bytes) noexcept { detail::treeRelease(block, bytes); }

    std::size_t locate(std::string_view key) const noexcept {
        if (index.empty()) {
            for (std::size_t i = 0; i < keys.size(); ++i)
                if (keys[i] == key) return i;
            return npos;
        }
        return locateHashed(key, hashBytes(key));
    }

    std::size_t locateHashed(std::string_view key, std::uint64_t hash) const noexcept {
        const std::size_t mask = index.size() - 1;
        const std::uint32_t tag = hashTag(hash);
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot slot = index[i];
            if (slot == 0) return npos;
            if (slotTag(slot) == tag && keys[slotPosition(slot)] == key) return slotPosition(slot);
        }
    }

    void insertSlot(std::uint64_t hash, std::size_t position) noexcept {
        const std::size_t mask = index.size() - 1;
        std::size_t i = hash & mask;
        while (index[i] != 0) i = (i + 1) & mask;
        index[i] = makeSlot(hash, position);
    }

    void rebuildIndex() {
        index.clear();
        if (keys.size() <= kLinearLimit) {
            index.shrink_to_fit();
            return;
        }
        std::size_t capacity = 64;
        while (capacity < 2 * keys.size() + 2) capacity *= 2;
        index.assign(capacity, 0);
        for (std::size_t i = 0; i < keys.size(); ++i) insertSlot(hashBytes(keys[i]), i);
    }

    JSONValue& set(std::string&& key, JSONValue&& value) {
        std::uint64_t hash = 0;
        std::size_t position;
        if (index.empty()) {
            position = locate(key);
        } else {
            hash = hashBytes(key);
            position = locateHashed(key, hash);
        }
        if (position != npos) {
            values[position] = std::move(value);
            return values[position];
        }
        keys.push_back(std::move(key));
        values.push_back(std::move(value));
        const std::size_t added = keys.size() - 1;
        if (!index.empty() && 2 * keys.size() + 2 <= index.size()) insertSlot(hash, added);
        else if (keys.size() > kLinearLimit) rebuildIndex();
        return values[added];
    }
};

JSONObject::JSONObject() noexcept = default;
JSONObject::JSONObject(JSONObject&& other) noexcept = default;
JSONObject& JSONObject::operator=(JSONObject&& other) noexcept = default;
JSONObject::~JSONObject() = default;

JSONObject::JSONObject(const JSONObject& other)
    : storage_(other.storage_ ? std::make_unique<Storage>(*other.storage_) : nullptr) {}

JSONObject& JSONObject::operator=(const JSONObject& other) {
    if (this != &other) {
        JSONObject copy(other);
        *this = std::move(copy);
    }
    return *this;
}

JSONObject::JSONObject(std::initializer_list<std::pair<std::string_view, JSONValue>> pairs) {
    reserve(pairs.size());
    for (const auto& [key, value] : pairs) set(std::string(key), value);
}

JSONObject::JSONObject(std::vector<std::pair<std::string, JSONValue>> pairs) {
    reserve(pairs.size());
    for (auto& [key, value] : pairs) set(std::move(key), std::move(value));
}

JSONObject::JSONObject(std::span<const std::string_view> keys, std::span<JSONValue> values) {
    const std::size_t n = keys.size();
    if (n == 0) return;
    storage_ = std::make_unique<Storage>();
    Storage& s = *storage_;
    s.keys.reserve(n);
    s.values.reserve(n);
    if (n > kLinearLimit) {
        for (std::size_t i = 0; i < n; ++i) s.set(std::string(keys[i]), std::move(values[i]));
        return;
    }
    // Few keys, nearly always distinct: each is compared with the views already taken, which is
    // cheaper than comparing with the stored strings.
    // Keys of one length mostly differ in their first or last byte, which spares the full comparison.
    auto same = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() &&
               (a.empty() || (a.front() == b.front() && a.back() == b.back() && a.compare(b) == 0));
    };
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view key = keys[i];
        bool repeated = false;
        for (std::size_t k = 0; k < i && !repeated; ++k) repeated = same(keys[k], key);
        if (!repeated) {
            s.keys.emplace_back(key);
            s.values.push_back(std::move(values[i]));
        } else {
            s.values[s.locate(key)] = std::move(values[i]);
        }
    }
}

const std::vector<std::string>& JSONObject::keys() const noexcept {
    return storage_ ? storage_->keys : emptyKeys();
}

std::size_t JSONObject::count() const noexcept { return storage_ ? storage_->keys.size() : 0; }

const JSONValue* JSONObject::find(std::string_view key) const noexcept {
    if (!storage_) return nullptr;
    const std::size_t position = storage_->locate(key);
    return position == Storage::npos ? nullptr : &storage_->values[position];
}

JSONValue* JSONObject::find(std::string_view key) noexcept {
    return const_cast<JSONValue*>(std::as_const(*this).find(key));
}

JSONValue& JSONObject::set(std::string key, JSONValue value) {
    if (!storage_) storage_ = std::make_unique<Storage>();
    return storage_->set(std::move(key), std::move(value));
}

std::optional<JSONValue> JSONObject::remove(std::string_view key) {
    if (!storage_) return std::nullopt;
    const std::size_t position = storage_->locate(key);
    if (position == Storage::npos) return std::nullopt;
    std::optional<JSONValue> removed(std::move(storage_->values[position]));
    storage_->keys.erase(storage_->keys.begin() + static_cast<std::ptrdiff_t>(position));
    storage_->values.erase(storage_->values.begin() + static_cast<std::ptrdiff_t>(position));
    // The positions after the removed key have shifted.
    if (!storage_->index.empty()) storage_->rebuildIndex();
    return removed;
}

void JSONObject::reserve(std::size_t count) {
    if (count == 0) return;
    if (!storage_) storage_ = std::make_unique<Storage>();
    storage_->keys.reserve(count);
    storage_->values.reserve(count);
}

const std::string& JSONObject::keyAt(std::size_t index) const noexcept { return storage_->keys[index]; }
const JSONValue& JSONObject::valueAt(std::size_t index) const noexcept { return storage_->values[index]; }
JSONValue& JSONObject::valueAt(std::size_t index) noexcept { return storage_->values[index]; }

JSONObject::Iterator JSONObject::begin() const noexcept {
    if (!storage_) return Iterator();
    return Iterator(storage_->keys.data(), storage_->values.data());
}

JSONObject::Iterator JSONObject::end() const noexcept {
    if (!storage_) return Iterator();
    return Iterator(storage_->keys.data() + storage_->keys.size(),
                    storage_->values.data() + storage_->values.size());
}

bool operator==(const JSONObject& a, const JSONObject& b) noexcept {
    const std::size_t n = a.count();
    if (n != b.count()) return false;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& key = a.keyAt(i);
        // Objects of the same origin usually share their order: try the same position first.
        const JSONValue* other = b.keyAt(i) == key ? &b.valueAt(i) : b.find(key);
        if (other == nullptr || !(a.valueAt(i) == *other)) return false;
    }
    return true;
}

std::uint64_t JSONObject::hashValue() const noexcept {
    // Entry hashes combine by exclusive or, so that the result does not depend on key order.
    std::uint64_t combined = 0;
    for (std::size_t i = 0; i < count(); ++i) {
        Hasher entry;
        entry.writeU64(hashBytes(keyAt(i)));
        valueAt(i).hash(entry);
        combined ^= entry.finish();
    }
    Hasher hasher;
    hasher.writeU64(combined);
    return hasher.finish();
}

// ---------------------------------------------------------------------------------------------
// JSONValue

const JSONValue* JSONValue::operator[](std::string_view key) const noexcept {
    const JSONObject* object = objectValue();
    return object ? object->find(key) : nullptr;
}

bool operator==(const JSONValue& a, const JSONValue& b) noexcept {
    // Per case: Booleans, doubles numerically, texts by bytes, arrays element-wise, objects by
    // their own order-free equality, nulls always.
    return a.value_ == b.value_;
}

void JSONValue::hash(Hasher& hasher) const noexcept {
    switch (kind()) {
    case Kind::null:
        hasher.writeByte(0);
        break;
    case Kind::boolean:
        hasher.writeByte(1);
        hasher.writeByte(std::get<bool>(value_) ? 1 : 0);
        break;
    case Kind::number:
        hasher.writeByte(2);
        hasher.writeDouble(std::get<double>(value_));
        break;
    case Kind::string: {
        const std::string& text = std::get<std::string>(value_);
        hasher.writeByte(3);
        hasher.writeU64(text.size());
        hasher.write(text);
        break;
    }
    case Kind::array: {
        const Array& array = std::get<Array>(value_);
        hasher.writeByte(4);
        hasher.writeU64(array.size());
        for (const JSONValue& element : array) element.hash(hasher);
        break;
    }
    case Kind::object:
        hasher.writeByte(5);
        hasher.writeU64(std::get<JSONObject>(value_).hashValue());
        break;
    }
}

std::uint64_t JSONValue::hashValue() const noexcept {
    Hasher hasher;
    hash(hasher);
    return hasher.finish();
}

}  // namespace dv
