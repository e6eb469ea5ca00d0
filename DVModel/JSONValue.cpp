#include "DVModel/JSONValue.hpp"

#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace dv {

// ---------------------------------------------------------------------------------------------
// Long member names

void detail::JSONKey::makeLong(std::string_view text) {
    const std::size_t size = text.size();
    const std::size_t bytes = sizeof size + size;
    char* block = static_cast<char*>(bytes <= kTreeBlockLimit ? treeAllocate(bytes) : ::operator new(bytes));
    std::memcpy(block, &size, sizeof size);
    std::memcpy(block + sizeof size, text.data(), size);
    std::memcpy(bytes_, &block, sizeof block);
    bytes_[kTag] = static_cast<char>(kLong);
}

void detail::JSONKey::freeLong() noexcept {
    char* block = const_cast<char*>(longBlock());
    std::size_t size;
    std::memcpy(&size, block, sizeof size);
    const std::size_t bytes = sizeof size + size;
    if (bytes <= kTreeBlockLimit) treeRelease(block, bytes);
    else ::operator delete(block, bytes);
}

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

}  // namespace

JSONObject::Storage* JSONObject::Storage::make(std::size_t capacity) {
    if (capacity > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("JSON object too large");
    const std::size_t bytes = sizeof(Storage) + capacity * sizeof(Member);
    void* block = bytes <= detail::kTreeBlockLimit ? detail::treeAllocate(bytes) : ::operator new(bytes);
    Storage* storage = new (block) Storage;
    storage->capacity = static_cast<std::uint32_t>(capacity);
    return storage;
}

void JSONObject::Storage::free(Storage* storage) noexcept {
    Member* members = storage->members();
    for (std::uint32_t i = 0; i < storage->size; ++i) members[i].~Member();
    const std::size_t bytes = sizeof(Storage) + storage->capacity * sizeof(Member);
    storage->~Storage();
    if (bytes <= detail::kTreeBlockLimit) detail::treeRelease(storage, bytes);
    else ::operator delete(storage, bytes);
}

std::size_t JSONObject::Storage::locate(std::string_view key) const noexcept {
    if (index.empty()) {
        const Member* m = members();
        detail::JSONKey probe;
        if (detail::JSONKey::probe(key, probe)) {
            for (std::size_t i = 0; i < size; ++i)
                if (m[i].key.sameShort(probe)) return i;
        } else {
            for (std::size_t i = 0; i < size; ++i)
                if (m[i].key.isLong() && m[i].key.view() == key) return i;
        }
        return npos;
    }
    return locateHashed(key, hashBytes(key));
}

std::size_t JSONObject::Storage::locateHashed(std::string_view key, std::uint64_t hash) const noexcept {
    const std::size_t mask = index.size() - 1;
    const std::uint32_t tag = hashTag(hash);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot slot = index[i];
        if (slot == 0) return npos;
        if (slotTag(slot) == tag && members()[slotPosition(slot)].key.view() == key) return slotPosition(slot);
    }
}

void JSONObject::Storage::insertSlot(std::uint64_t hash, std::size_t position) noexcept {
    const std::size_t mask = index.size() - 1;
    std::size_t i = hash & mask;
    while (index[i] != 0) i = (i + 1) & mask;
    index[i] = makeSlot(hash, position);
}

void JSONObject::Storage::rebuildIndex() {
    index.clear();
    if (size <= kLinearLimit) {
        index.shrink_to_fit();
        return;
    }
    std::size_t slots = 64;
    while (slots < 2 * std::size_t{size} + 2) slots *= 2;
    index.assign(slots, 0);
    for (std::size_t i = 0; i < size; ++i) insertSlot(hashBytes(members()[i].key.view()), i);
}

void JSONObject::destroy(Storage* storage) noexcept { Storage::free(storage); }

void JSONObject::ensureCapacity(std::size_t count) {
    if (storage_ != nullptr && storage_->capacity >= count) return;
    Storage* grown = Storage::make(count);
    if (storage_ != nullptr) {
        Member* from = storage_->members();
        Member* to = grown->members();
        // Moves cannot throw: nothing is lost if making the block did.
        for (std::uint32_t i = 0; i < storage_->size; ++i) {
            new (to + i) Member(std::move(from[i]));
            from[i].~Member();
        }
        grown->size = storage_->size;
        grown->index = std::move(storage_->index);
        storage_->size = 0;
        Storage::free(storage_);
    }
    storage_ = grown;
}

JSONValue& JSONObject::append(std::string_view key, JSONValue&& value) {
    if (storage_ == nullptr || storage_->size == storage_->capacity)
        ensureCapacity(storage_ == nullptr ? 4 : 2 * std::size_t{storage_->capacity});
    Storage& s = *storage_;
    Member* added = new (s.members() + s.size) Member(key, std::move(value));
    ++s.size;
    return added->value;
}

JSONObject::JSONObject(const JSONObject& other) {
    if (other.storage_ == nullptr) return;
    storage_ = Storage::make(other.storage_->size);
    try {
        // Counted member by member, so that a failed copy frees what was made.
        for (std::uint32_t i = 0; i < other.storage_->size; ++i) {
            new (storage_->members() + i) Member(other.storage_->members()[i]);
            ++storage_->size;
        }
        storage_->index = other.storage_->index;
    } catch (...) {
        Storage::free(storage_);
        throw;
    }
}

JSONObject& JSONObject::operator=(const JSONObject& other) {
    if (this != &other) {
        JSONObject copy(other);
        *this = std::move(copy);
    }
    return *this;
}

JSONObject::JSONObject(std::initializer_list<std::pair<std::string_view, JSONValue>> pairs) {
    reserve(pairs.size());
    for (const auto& [key, value] : pairs) set(key, value);
}

JSONObject::JSONObject(std::vector<std::pair<std::string, JSONValue>> pairs) {
    reserve(pairs.size());
    for (auto& [key, value] : pairs) set(std::move(key), std::move(value));
}

JSONObject::JSONObject(std::span<const std::string_view> keys, std::span<JSONValue> values) {
    const std::size_t n = keys.size();
    if (n == 0) return;
    ensureCapacity(n);
    if (n > kLinearLimit) {
        for (std::size_t i = 0; i < n; ++i) set(keys[i], std::move(values[i]));
        return;
    }
    Storage& s = *storage_;
    // Few keys, nearly always distinct: each is compared with the views already taken, which is
    // cheaper than comparing with the stored strings.
    // Keys of one length mostly differ in their first or last byte, which spares the full comparison.
    auto same = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() &&
               (a.empty() || (a.front() == b.front() && a.back() == b.back() && a.compare(b) == 0));
    };
    // A bit per (length, first byte, last byte) class seen so far: a key of a new class is new.
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view key = keys[i];
        const unsigned cls =
            key.empty() ? 0
                        : (static_cast<unsigned>(key.size()) + 3 * static_cast<unsigned char>(key.front()) +
                           5 * static_cast<unsigned char>(key.back())) & 63;
        bool repeated = false;
        if ((seen >> cls) & 1)
            for (std::size_t k = 0; k < i && !repeated; ++k) repeated = same(keys[k], key);
        seen |= std::uint64_t{1} << cls;
        if (!repeated) append(key, std::move(values[i]));
        else s.members()[s.locate(key)].value = std::move(values[i]);
    }
}

std::vector<std::string> JSONObject::keys() const {
    std::vector<std::string> out;
    out.reserve(count());
    for (std::size_t i = 0; i < count(); ++i) out.emplace_back(keyAt(i));
    return out;
}

const JSONValue* JSONObject::find(std::string_view key) const noexcept {
    if (storage_ == nullptr) return nullptr;
    const std::size_t position = storage_->locate(key);
    return position == Storage::npos ? nullptr : &storage_->members()[position].value;
}

JSONValue* JSONObject::find(std::string_view key) noexcept {
    return const_cast<JSONValue*>(std::as_const(*this).find(key));
}

JSONValue& JSONObject::set(std::string_view key, JSONValue value) {
    std::uint64_t hash = 0;
    std::size_t position = Storage::npos;
    if (storage_ != nullptr) {
        if (storage_->index.empty()) {
            position = storage_->locate(key);
        } else {
            hash = hashBytes(key);
            position = storage_->locateHashed(key, hash);
        }
    }
    if (position != Storage::npos) {
        JSONValue& held = storage_->members()[position].value;
        held = std::move(value);
        return held;
    }
    append(key, std::move(value));
    Storage& s = *storage_;
    const std::size_t added = s.size - 1;
    if (!s.index.empty() && 2 * std::size_t{s.size} + 2 <= s.index.size()) s.insertSlot(hash, added);
    else if (s.size > kLinearLimit) s.rebuildIndex();
    return s.members()[added].value;
}

std::optional<JSONValue> JSONObject::remove(std::string_view key) {
    if (storage_ == nullptr) return std::nullopt;
    Storage& s = *storage_;
    const std::size_t position = s.locate(key);
    if (position == Storage::npos) return std::nullopt;
    Member* members = s.members();
    std::optional<JSONValue> removed(std::move(members[position].value));
    for (std::size_t i = position; i + 1 < s.size; ++i) {
        members[i].~Member();
        new (members + i) Member(std::move(members[i + 1]));
    }
    members[s.size - 1].~Member();
    --s.size;
    // The positions after the removed key have shifted.
    if (!s.index.empty()) s.rebuildIndex();
    return removed;
}

void JSONObject::reserve(std::size_t count) {
    if (count == 0) return;
    ensureCapacity(count);
}

bool operator==(const JSONObject& a, const JSONObject& b) noexcept {
    const std::size_t n = a.count();
    if (n != b.count()) return false;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view key = a.keyAt(i);
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

JSONValue::JSONValue(const JSONValue& other) : bits_(0), kind_(Kind::null) {
    switch (other.kind_) {
    case Kind::string: string_ = box<std::string>(*other.string_); break;
    case Kind::array: array_ = box<Array>(*other.array_); break;
    case Kind::object: new (&object_) JSONObject(other.object_); break;
    default: bits_ = other.bits_; break;
    }
    kind_ = other.kind_;
}

JSONValue& JSONValue::operator=(const JSONValue& other) {
    if (this != &other) {
        JSONValue copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void JSONValue::release() noexcept {
    switch (kind_) {
    case Kind::string: unbox(string_); break;
    case Kind::array: unbox(array_); break;
    case Kind::object: object_.~JSONObject(); break;
    default: break;
    }
}

bool operator==(const JSONValue& a, const JSONValue& b) noexcept {
    // Per case: Booleans, doubles numerically, texts by bytes, arrays element-wise, objects by
    // their own order-free equality, nulls always.
    if (a.kind_ != b.kind_) return false;
    switch (a.kind_) {
    case JSONValue::Kind::boolean: return a.boolean_ == b.boolean_;
    case JSONValue::Kind::number: return a.number_ == b.number_;
    case JSONValue::Kind::string: return *a.string_ == *b.string_;
    case JSONValue::Kind::array: return *a.array_ == *b.array_;
    case JSONValue::Kind::object: return a.object_ == b.object_;
    case JSONValue::Kind::null: return true;
    }
    return false;
}

void JSONValue::hash(Hasher& hasher) const noexcept {
    switch (kind()) {
    case Kind::null:
        hasher.writeByte(0);
        break;
    case Kind::boolean:
        hasher.writeByte(1);
        hasher.writeByte(boolean_ ? 1 : 0);
        break;
    case Kind::number:
        hasher.writeByte(2);
        hasher.writeDouble(number_);
        break;
    case Kind::string: {
        const std::string& text = *string_;
        hasher.writeByte(3);
        hasher.writeU64(text.size());
        hasher.write(text);
        break;
    }
    case Kind::array: {
        const Array& array = *array_;
        hasher.writeByte(4);
        hasher.writeU64(array.size());
        for (const JSONValue& element : array) element.hash(hasher);
        break;
    }
    case Kind::object:
        hasher.writeByte(5);
        hasher.writeU64(object_.hashValue());
        break;
    }
}

std::uint64_t JSONValue::hashValue() const noexcept {
    Hasher hasher;
    hash(hasher);
    return hasher.finish();
}

}  // namespace dv
