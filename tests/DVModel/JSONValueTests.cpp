#include "DVModel/JSONValue.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace dv {
namespace {

using Keys = std::vector<std::string>;
using Kind = JSONValue::Kind;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---------------------------------------------------------------------------------------------
// Key order rules

struct Op {
    enum { set, remove } action;
    std::string key;
    double value = 0;
};

struct OrderCase {
    const char* name;
    std::vector<Op> ops;
    std::vector<std::pair<std::string, double>> expected;
};

TEST(JSONObject, SetAndRemoveKeepFirstSetOrder) {
    const std::vector<OrderCase> cases = {
        {"re-set keeps position",
         {{Op::set, "a", 1}, {Op::set, "b", 2}, {Op::set, "a", 3}},
         {{"a", 3}, {"b", 2}}},
        {"removed then set again goes last",
         {{Op::set, "a", 1}, {Op::set, "b", 2}, {Op::set, "c", 3}, {Op::remove, "a"}, {Op::set, "a", 4}},
         {{"b", 2}, {"c", 3}, {"a", 4}}},
        {"removing a missing key changes nothing",
         {{Op::set, "a", 1}, {Op::remove, "z"}, {Op::remove, ""}},
         {{"a", 1}}},
        {"remove keeps the others' order",
         {{Op::set, "a", 1}, {Op::set, "b", 2}, {Op::set, "c", 3}, {Op::remove, "b"}},
         {{"a", 1}, {"c", 3}}},
        {"empty key is a key", {{Op::set, "", 1}, {Op::set, "x", 2}, {Op::set, "", 5}}, {{"", 5}, {"x", 2}}},
        {"keys differing after a NUL",
         {{Op::set, std::string("k\0a", 3), 1}, {Op::set, std::string("k\0b", 3), 2}, {Op::set, "k", 3}},
         {{std::string("k\0a", 3), 1}, {std::string("k\0b", 3), 2}, {"k", 3}}},
        // Precomposed é and e + combining acute are different keys.
        {"no normalisation",
         {{Op::set, "\xC3\xA9", 1}, {Op::set, "e\xCC\x81", 2}},
         {{"\xC3\xA9", 1}, {"e\xCC\x81", 2}}},
        {"all removed", {{Op::set, "a", 1}, {Op::remove, "a"}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JSONObject object;
        for (const Op& op : c.ops) {
            if (op.action == Op::set) object.set(op.key, op.value);
            else object.remove(op.key);
        }
        Keys expectedKeys;
        for (const auto& [key, value] : c.expected) {
            expectedKeys.push_back(key);
            const JSONValue* stored = object.find(key);
            ASSERT_NE(stored, nullptr) << key;
            EXPECT_EQ(stored->doubleValue(), value) << key;
        }
        EXPECT_EQ(object.keys(), expectedKeys);
        EXPECT_EQ(object.count(), c.expected.size());
        EXPECT_EQ(object.isEmpty(), c.expected.empty());
        Keys iterated;
        for (const auto& [key, value] : object) {
            iterated.emplace_back(key);
            EXPECT_EQ(&value, object.find(key));
        }
        EXPECT_EQ(iterated, expectedKeys);
    }
}

TEST(JSONObject, BuildingFromPairsKeepsFirstPositionAndLastValue) {
    const JSONObject literal{{"x", 1}, {"y", 2}, {"x", 3}};
    const JSONObject fromPairs(std::vector<std::pair<std::string, JSONValue>>{{"x", 1}, {"y", 2}, {"x", 3}});
    for (const JSONObject* object : {&literal, &fromPairs}) {
        EXPECT_EQ(object->keys(), (Keys{"x", "y"}));
        EXPECT_EQ(object->count(), 2u);
        EXPECT_EQ(*object->find("x"), JSONValue(3));
    }
}

TEST(JSONObject, RemoveReturnsTheValueAndLookUpsNeverInsert) {
    JSONObject object{{"a", "text"}};
    EXPECT_EQ(object.find("b"), nullptr);
    EXPECT_EQ(object["b"], nullptr);
    EXPECT_EQ(object.count(), 1u);
    EXPECT_EQ(object.remove("a"), std::optional<JSONValue>("text"));
    EXPECT_EQ(object.remove("a"), std::nullopt);
    EXPECT_TRUE(object.isEmpty());
}

TEST(JSONObject, EmptyObject) {
    const JSONObject empty;
    EXPECT_EQ(empty.count(), 0u);
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_TRUE(empty.keys().empty());
    EXPECT_EQ(empty.begin(), empty.end());
    EXPECT_EQ(empty.find(""), nullptr);
    EXPECT_EQ(empty, JSONObject{});
}

TEST(JSONObject, CopiesAreIndependent) {
    JSONObject original;
    for (int i = 0; i < 40; ++i) original.set(std::to_string(i).insert(0, 1, 'k'), i);
    JSONObject copy = original;
    copy.set("k0", "changed");
    copy.remove("k1");
    copy.set("new", true);
    EXPECT_EQ(*original.find("k0"), JSONValue(0));
    EXPECT_NE(original.find("k1"), nullptr);
    EXPECT_EQ(original.find("new"), nullptr);
    EXPECT_EQ(original.count(), 40u);

    JSONObject moved = std::move(copy);
    EXPECT_EQ(moved.count(), 40u);
    EXPECT_EQ(*moved.find("k0"), JSONValue("changed"));
    copy = original;  // a moved-from object can be assigned again
    EXPECT_EQ(copy, original);
}

// ---------------------------------------------------------------------------------------------
// Equality and hashing

struct EqualityCase {
    const char* name;
    JSONValue a, b;
    bool equal;
};

TEST(JSONValue, EqualityAndHashAgree) {
    const double negativeZero = -0.0;
    const std::vector<EqualityCase> cases = {
        {"reordered objects", JSONObject{{"a", 1}, {"b", 2}}, JSONObject{{"b", 2}, {"a", 1}}, true},
        {"nested reordered", JSONObject{{"o", JSONObject{{"p", 1}, {"q", JSONValue::Array{1, "x"}}}}},
         JSONObject{{"o", JSONObject{{"q", JSONValue::Array{1, "x"}}, {"p", 1}}}}, true},
        {"object with one more key", JSONObject{{"a", 1}}, JSONObject{{"a", 1}, {"b", 2}}, false},
        {"same keys, other value", JSONObject{{"a", 1}, {"b", 2}}, JSONObject{{"a", 1}, {"b", 3}}, false},
        {"same count, other key", JSONObject{{"a", 1}}, JSONObject{{"b", 1}}, false},
        {"NaN", kNaN, kNaN, false},
        {"NaN inside an array", JSONValue::Array{kNaN}, JSONValue::Array{kNaN}, false},
        {"signed zeros", 0.0, negativeZero, true},
        {"signed zeros in objects", JSONObject{{"z", 0.0}}, JSONObject{{"z", negativeZero}}, true},
        {"1 and 1.0", 1, 1.0, true},
        {"number and bool", 1, true, false},
        {"number and string", 1, "1", false},
        {"false and null", false, nullptr, false},
        {"null and null", nullptr, JSONValue(), true},
        {"empty array and empty object", JSONValue::Array{}, JSONObject{}, false},
        {"array order matters", JSONValue::Array{1, 2}, JSONValue::Array{2, 1}, false},
        {"array length", JSONValue::Array{1}, JSONValue::Array{1, 1}, false},
        {"precomposed and decomposed", "\xC3\xA9", "e\xCC\x81", false},
        {"strings with NUL", std::string("a\0b", 3), std::string("a\0c", 3), false},
        {"string split differently", JSONValue::Array{"ab", "c"}, JSONValue::Array{"a", "bc"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.a == c.b, c.equal);
        EXPECT_EQ(c.b == c.a, c.equal);
        if (c.equal) {
            EXPECT_EQ(c.a.hashValue(), c.b.hashValue());
        } else if (c.a == c.a && c.b == c.b) {
            // Unequal values colliding here would be a 2^-64 accident or a broken hash.
            EXPECT_NE(c.a.hashValue(), c.b.hashValue());
        }
    }
}

TEST(JSONObject, EqualObjectsIterateInTheirOwnOrder) {
    const JSONObject ab{{"a", 1}, {"b", 2}};
    const JSONObject ba{{"b", 2}, {"a", 1}};
    EXPECT_EQ(ab, ba);
    EXPECT_EQ(std::hash<JSONObject>{}(ab), std::hash<JSONObject>{}(ba));
    EXPECT_EQ(ab.keys(), (Keys{"a", "b"}));
    EXPECT_EQ(ba.keys(), (Keys{"b", "a"}));
}

TEST(Hasher, SplitWritesHashLikeOneWrite) {
    const std::string text = "The quick brown fox jumps over the lazy dog, 0123456789";
    for (std::size_t cut1 = 0; cut1 <= text.size(); cut1 += 3) {
        for (std::size_t cut2 = cut1; cut2 <= text.size(); cut2 += 5) {
            Hasher hasher;
            hasher.write(std::string_view(text).substr(0, cut1));
            hasher.write(std::string_view(text).substr(cut1, cut2 - cut1));
            hasher.write(std::string_view(text).substr(cut2));
            EXPECT_EQ(hasher.finish(), hashBytes(text)) << cut1 << " " << cut2;
        }
    }
    EXPECT_NE(hashBytes(""), hashBytes(std::string(1, '\0')));
    EXPECT_NE(hashBytes("a"), hashBytes("b"));
}

TEST(JSStringKey, ComparesByCodeUnits) {
    EXPECT_TRUE(jsStringEquals("\xC3\xA9", "\xC3\xA9"));
    EXPECT_FALSE(jsStringEquals("\xC3\xA9", "e\xCC\x81"));
    const std::optional<std::string> none, a = "a", b = "b";
    EXPECT_TRUE(jsStringEquals(none, none));
    EXPECT_FALSE(jsStringEquals(none, a));
    EXPECT_FALSE(jsStringEquals(a, none));
    EXPECT_TRUE(jsStringEquals(a, std::optional<std::string>("a")));
    EXPECT_FALSE(jsStringEquals(a, b));

    std::unordered_set<JSStringKey> set{"\xC3\xA9", "e\xCC\x81", "x"};
    EXPECT_EQ(set.size(), 3u);
    EXPECT_TRUE(set.contains(JSStringKey("e\xCC\x81")));
    EXPECT_FALSE(set.contains(JSStringKey("e")));
}

// ---------------------------------------------------------------------------------------------
// Accessors

// A value may take one of its own members or items: what it takes must survive the release of
// what it held.
TEST(JSONValue, TakesAValueFromInsideItself) {
    JSONValue array(JSONValue::Array{JSONValue(JSONValue::Array{JSONValue("inner text that is long enough")}),
                                     JSONValue(2)});
    array = std::move((*array.arrayValue())[0]);
    ASSERT_NE(array.arrayValue(), nullptr);
    ASSERT_EQ(array.arrayValue()->size(), 1u);
    EXPECT_EQ((*array.arrayValue())[0], JSONValue("inner text that is long enough"));

    JSONValue object(JSONObject{{"child", JSONValue(JSONObject{{"name", JSONValue("kept")}})}, {"n", JSONValue(1)}});
    object = std::move(*object.objectValue()->find("child"));
    EXPECT_EQ(object, JSONValue(JSONObject{{"name", JSONValue("kept")}}));

    JSONObject outer{{"a", JSONValue(JSONObject{{"b", JSONValue(true)}})}};
    outer = std::move(*outer.find("a")->objectValue());
    EXPECT_EQ(outer.keys(), std::vector<std::string>{"b"});
    EXPECT_EQ(*outer.find("b"), JSONValue(true));
}

TEST(JSONValue, AccessorsNeverConvertBetweenCases) {
    const JSONValue values[] = {true, 2.5, "s", JSONValue::Array{1}, JSONObject{{"k", 1}}, nullptr};
    const Kind kinds[] = {Kind::boolean, Kind::number, Kind::string, Kind::array, Kind::object, Kind::null};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const JSONValue& v = values[i];
        EXPECT_EQ(v.kind(), kinds[i]);
        EXPECT_EQ(v.boolValue().has_value(), i == 0);
        EXPECT_EQ(v.doubleValue().has_value(), i == 1);
        EXPECT_EQ(v.stringValue() != nullptr, i == 2);
        EXPECT_EQ(v.arrayValue() != nullptr, i == 3);
        EXPECT_EQ(v.objectValue() != nullptr, i == 4);
        EXPECT_EQ(v.isNull(), i == 5);
        // Only an object answers a subscript.
        EXPECT_EQ(v["k"] != nullptr, i == 4);
    }
    EXPECT_EQ(values[0].boolValue(), true);
    EXPECT_EQ(values[1].doubleValue(), 2.5);
    EXPECT_EQ(*values[2].stringValue(), "s");
    EXPECT_EQ(*values[4]["k"], JSONValue(1));
    EXPECT_EQ(values[4]["missing"], nullptr);
}

TEST(JSONValue, LiteralsLandInTheRightCase) {
    EXPECT_EQ(JSONValue(0).kind(), Kind::number);
    EXPECT_EQ(JSONValue(1u).kind(), Kind::number);
    EXPECT_EQ(JSONValue(std::int64_t{-7}).doubleValue(), -7.0);
    EXPECT_EQ(JSONValue(false).kind(), Kind::boolean);
    EXPECT_EQ(JSONValue("").kind(), Kind::string);
    EXPECT_EQ(JSONValue(std::string_view("v")).kind(), Kind::string);
    EXPECT_EQ(JSONValue().kind(), Kind::null);
    static_assert(!std::is_constructible_v<JSONValue, int*>);
    static_assert(std::is_nothrow_move_constructible_v<JSONValue>);
    const double negativeZero = -0.0;
    EXPECT_TRUE(std::signbit(*JSONValue(negativeZero).doubleValue()));
    EXPECT_TRUE(std::isnan(*JSONValue(kNaN).doubleValue()));
}

// ---------------------------------------------------------------------------------------------
// Differential test against a plain list of pairs

struct NaiveObject {
    std::vector<std::pair<std::string, JSONValue>> entries;

    std::pair<std::string, JSONValue>* find(const std::string& key) {
        for (auto& entry : entries)
            if (entry.first == key) return &entry;
        return nullptr;
    }
    void set(const std::string& key, const JSONValue& value) {
        if (auto* entry = find(key)) entry->second = value;
        else entries.emplace_back(key, value);
    }
    void remove(const std::string& key) {
        std::erase_if(entries, [&](const auto& entry) { return entry.first == key; });
    }
};

TEST(JSONObject, MatchesANaiveModelOnRandomOperations) {
    std::mt19937 rng(20240601);
    for (int sequence = 0; sequence < 300; ++sequence) {
        // Small pools keep objects under the scanning limit, large ones push them well past it.
        const int poolSize = sequence % 3 == 0 ? 8 : (sequence % 3 == 1 ? 40 : 200);
        // Names of every length from 1 to 26, across the sizes held in place and those held apart,
        // some padded with NUL bytes that must not read as the end of a name.
        std::vector<std::string> pool;
        for (int i = 0; i < poolSize; ++i)
            pool.push_back(i % 7 == 0   ? std::string(i % 5, 'k') + std::to_string(i)
                           : i % 2 == 0 ? "key" + std::to_string(i)
                                        : std::to_string(i) + std::string(i % 24, i % 3 == 0 ? '\0' : 'x'));
        JSONObject object;
        NaiveObject model;
        const int steps = 50 + static_cast<int>(rng() % 400);
        for (int step = 0; step < steps; ++step) {
            const std::string& key = pool[rng() % pool.size()];
            const int action = static_cast<int>(rng() % 10);
            if (action < 6) {
                const JSONValue value = static_cast<double>(rng() % 1000);
                object.set(key, value);
                model.set(key, value);
            } else if (action < 9) {
                const bool wasThere = model.find(key) != nullptr;
                EXPECT_EQ(object.remove(key).has_value(), wasThere);
                model.remove(key);
            } else {
                // Changing a value in place keeps the key where it is.
                if (JSONValue* value = object.find(key)) *value = "edited";
                if (auto* entry = model.find(key)) entry->second = "edited";
            }
        }
        ASSERT_EQ(object.count(), model.entries.size());
        std::size_t i = 0;
        for (const auto& [key, value] : object) {
            ASSERT_EQ(key, model.entries[i].first);
            ASSERT_EQ(value, model.entries[i].second);
            ++i;
        }
        for (const std::string& key : pool) {
            const auto* entry = model.find(key);
            const JSONValue* found = object.find(key);
            ASSERT_EQ(found != nullptr, entry != nullptr) << key;
            if (found) {
                EXPECT_EQ(*found, entry->second);
            }
        }
        // Equality ignores order: the same entries rebuilt in reverse order compare equal.
        JSONObject reversed;
        for (auto it = model.entries.rbegin(); it != model.entries.rend(); ++it) reversed.set(it->first, it->second);
        EXPECT_EQ(reversed, object);
        EXPECT_EQ(reversed.hashValue(), object.hashValue());
    }
}

// ---------------------------------------------------------------------------------------------
// Large and hostile key sets must load in linear-ish time (a quadratic index would take minutes).

TEST(JSONObject, TwoHundredThousandKeys) {
    constexpr int n = 200000;
    const std::vector<std::function<std::string(int)>> keySets = {
        [](int i) { return std::to_string(i); },
        // Long shared prefix: defeats hashes that look only at the start.
        [](int i) { return std::string(200, 'p') + std::to_string(i); },
        // Long shared suffix.
        [](int i) { return std::to_string(i) + std::string(200, 's'); },
        // Same length, differing in one position only.
        [](int i) {
            std::string key(24, 'a');
            for (int digit = 0; i > 0; i /= 26, ++digit) key[digit] = static_cast<char>('a' + i % 26);
            return key;
        },
    };
    for (const auto& makeKey : keySets) {
        JSONObject object;
        for (int i = 0; i < n; ++i) object.set(makeKey(i), i);
        // Every key again: last value wins, positions stay.
        for (int i = 0; i < n; i += 2) object.set(makeKey(i), -i);
        ASSERT_EQ(object.count(), static_cast<std::size_t>(n));
        for (int i = 0; i < n; i += 997) {
            ASSERT_EQ(object.keyAt(static_cast<std::size_t>(i)), makeKey(i));
            ASSERT_EQ(*object.find(makeKey(i)), JSONValue(i % 2 == 0 ? -i : i));
        }
        EXPECT_EQ(object.find(makeKey(n)), nullptr);
        const JSONObject copy = object;
        EXPECT_EQ(copy, object);
    }
}

}  // namespace
}  // namespace dv
