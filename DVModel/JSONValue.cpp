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

}  // namespace

std::size_t JSONObject::Storage::locate(std::string_view key) const noexcept {
    if (index.empty()) {
        for (std::size_t i = 0; i < members.size(); ++i)
            if (members[i].key == key) return i;
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
        if (slotTag(slot) == tag && members[slotPosition(slot)].key == key) return slotPosition(slot);
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
    if (members.size() <= kLinearLimit) {
        index.shrink_to_fit();
        return;
    }
    std::size_t capacity = 64;
    while (capacity < 2 * members.size() + 2) capacity *= 2;
    index.assign(capacity, 0);
    for (std::size_t i = 0; i < members.size(); ++i) insertSlot(hashBytes(members[i].key), i);
}

JSONValue& JSONObject::Storage::set(std::string&& key, JSONValue&& value) {
    std::uint64_t hash = 0;
    std::size_t position;
    if (index.empty()) {
        position = locate(key);
    } else {
        hash = hashBytes(key);
        position = locateHashed(key, hash);
    }
    if (position != npos) {
        members[position].value = std::move(value);
        return members[position].value;
    }
    members.emplace_back(std::move(key), std::move(value));
    const std::size_t added = members.size() - 1;
    if (!index.empty() && 2 * members.size() + 2 <= index.size()) insertSlot(hash, added);
    else if (members.size() > kLinearLimit) rebuildIndex();
    return members[added].value;
}

void JSONObject::destroy(Storage* storage) noexcept { delete storage; }

JSONObject::Storage& JSONObject::storage() {
    if (storage_ == nullptr) storage_ = new Storage;
    return *storage_;
}

JSONObject::JSONObject(const JSONObject& other)
    : storage_(other.storage_ != nullptr ? new Storage(*other.storage_) : nullptr) {}

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
    Storage& s = storage();
    s.members.reserve(n);
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
        if (!repeated) s.members.emplace_back(key, std::move(values[i]));
        else s.members[s.locate(key)].value = std::move(values[i]);
    }
}

std::vector<std::string> JSONObject::keys() const {
    std::vector<std::string> out;
    out.reserve(count());
    for (std::size_t i = 0; i < count(); ++i) out.push_back(keyAt(i));
    return out;
}

const JSONValue* JSONObject::find(std::string_view key) const noexcept {
    if (storage_ == nullptr) return nullptr;
    const std::size_t position = storage_->locate(key);
    return position == Storage::npos ? nullptr : &storage_->members[position].value;
}

JSONValue* JSONObject::find(std::string_view key) noexcept {
    return const_cast<JSONValue*>(std::as_const(*this).find(key));
}

JSONValue& JSONObject::set(std::string key, JSONValue value) { return storage().set(std::move(key), std::move(value)); }

std::optional<JSONValue> JSONObject::remove(std::string_view key) {
    if (storage_ == nullptr) return std::nullopt;
    const std::size_t position = storage_->locate(key);
    if (position == Storage::npos) return std::nullopt;
    std::optional<JSONValue> removed(std::move(storage_->members[position].value));
    storage_->members.erase(storage_->members.begin() + static_cast<std::ptrdiff_t>(position));
    // The positions after the removed key have shifted.
    if (!storage_->index.empty()) storage_->rebuildIndex();
    return removed;
}

void JSONObject::reserve(std::size_t count) {
    if (count == 0) return;
    storage().members.reserve(count);
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

std::string* JSONValue::boxText(std::string_view text) {
    void* block = detail::treeAllocate(sizeof(std::string));
    try {
        // Made in place: moving a short string in would copy it a second time.
        return new (block) std::string(detail::shortTextCopy(text));
    } catch (...) {
        detail::treeRelease(block, sizeof(std::string));
        throw;
    }
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
