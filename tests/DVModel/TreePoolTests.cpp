#include "DVModel/detail/TreePool.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DVModel/JSONValue.hpp"

namespace dv {
namespace {

struct Block {
    unsigned char* data;
    std::size_t bytes;
};

// Blocks of every size the pool serves, enough of them to fill several chunks, are aligned, lie
// apart from each other and keep what was written into them until released, in any order.
TEST(TreePool, BlocksAreAlignedDisjointAndKeepTheirBytes) {
    std::mt19937 random(7);
    std::vector<Block> blocks;
    const std::size_t sizes[] = {1, 8, 15, 16, 17, 40, 80, 1000, detail::kTreeBlockLimit};
    for (int round = 0; round < 300; ++round) {
        for (std::size_t bytes : sizes) {
            auto* data = static_cast<unsigned char*>(detail::treeAllocate(bytes));
            ASSERT_EQ(reinterpret_cast<std::uintptr_t>(data) % 16, 0u) << bytes;
            std::memset(data, static_cast<int>(blocks.size() & 0xFF), bytes);
            blocks.push_back({data, bytes});
        }
    }
    std::shuffle(blocks.begin(), blocks.end(), random);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const Block& block = blocks[i];
        const unsigned char fill = block.data[0];
        for (std::size_t k = 0; k < block.bytes; ++k) ASSERT_EQ(block.data[k], fill) << "block of " << block.bytes;
        // Releasing must not disturb the blocks still held.
        detail::treeRelease(block.data, block.bytes);
    }
}

JSONValue pointList(int count, double offset) {
    JSONValue::Array points;
    for (int i = 0; i < count; ++i) points.push_back(JSONValue::Array{JSONValue(i + offset), JSONValue(-i - offset)});
    return JSONValue(JSONObject{{"points", JSONValue(std::move(points))}, {"name", JSONValue("stroke")}});
}

bool holdsPointList(const JSONValue& value, int count, double offset) {
    const JSONValue* points = value["points"];
    if (points == nullptr || points->arrayValue() == nullptr || points->arrayValue()->size() != std::size_t(count))
        return false;
    for (int i = 0; i < count; ++i) {
        const JSONValue::Array* point = (*points->arrayValue())[std::size_t(i)].arrayValue();
        if (point == nullptr || point->size() != 2 || (*point)[0] != JSONValue(i + offset) ||
            (*point)[1] != JSONValue(-i - offset))
            return false;
    }
    return true;
}

// Trees outlive the thread that built them, die on another thread while that one still builds,
// and grow past the pooled sizes; none of it loses or mixes values.
TEST(TreePool, TreesMoveBetweenThreads) {
    constexpr int kPoints = 5000;
    std::vector<JSONValue> built(4);
    std::thread builder([&] {
        for (std::size_t i = 0; i < built.size(); ++i) built[i] = pointList(kPoints, double(i));
    });
    builder.join();
    for (std::size_t i = 0; i < built.size(); ++i) EXPECT_TRUE(holdsPointList(built[i], kPoints, double(i))) << i;

    JSONValue mine = pointList(kPoints, 0.5);
    std::thread destroyer([&] {
        for (JSONValue& value : built) value = JSONValue();
    });
    JSONValue more = pointList(kPoints, 1.5);
    destroyer.join();
    EXPECT_TRUE(holdsPointList(mine, kPoints, 0.5));
    EXPECT_TRUE(holdsPointList(more, kPoints, 1.5));

    JSONValue copy;
    std::thread copier([&] { copy = mine; });
    copier.join();
    mine = JSONValue();
    EXPECT_TRUE(holdsPointList(copy, kPoints, 0.5));
}

}  // namespace
}  // namespace dv
