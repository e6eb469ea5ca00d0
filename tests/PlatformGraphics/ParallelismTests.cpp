#include "Platform/Graphics/Parallelism.hpp"

#include <gtest/gtest.h>

namespace dv::gfx {
namespace {

TEST(Parallelism, FreeProcessorsComeFromTheRunningCount) {
    struct Case {
        const char* line;
        std::size_t processors, expected;
    };
    const Case cases[] = {
        {"0.52 0.58 0.59 1/512 12345\n", 8, 8},   // only the caller runs
        {"3.00 2.00 1.00 3/512 12345\n", 8, 6},
        {"9.10 8.00 7.00 8/300 1\n", 8, 1},       // every other processor is busy
        {"12.07 10.65 7.99 17/243 27910\n", 8, 1},
        {"0.00 0.00 0.00 0/100 1\n", 4, 4},       // no count of the caller: nothing else runs
        {"1.0 1.0 1.0 2/10 1", 0, 1},             // processors unknown count as one
        {"garbage", 8, 8},                        // unreadable lines leave every processor free
        {"1.0 1.0 1.0 x/10 1", 8, 8},
        {"1.0 1.0 1.0 5", 8, 8},
        {"", 2, 2},
    };
    for (const Case& c : cases) EXPECT_EQ(freeProcessorCount(c.line, c.processors), c.expected) << c.line;
}

TEST(Parallelism, TheEnvironmentSetsWholeProcessorCountsOnly) {
    EXPECT_EQ(freeProcessorsByEnvironment(nullptr), std::nullopt);
    EXPECT_EQ(freeProcessorsByEnvironment("4"), 4);
    EXPECT_EQ(freeProcessorsByEnvironment("1"), 1);
    EXPECT_EQ(freeProcessorsByEnvironment("64"), 64);
    for (const char* refused : {"", "0", "-2", "65", "4x", " 4", "4 ", "99999999999999999999"})
        EXPECT_EQ(freeProcessorsByEnvironment(refused), std::nullopt) << refused;
}

TEST(Parallelism, TheMachineAlwaysOffersTheCallersProcessor) {
    EXPECT_GE(freeProcessorCount(), 1u);
}

}  // namespace
}  // namespace dv::gfx
