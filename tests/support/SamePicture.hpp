#pragma once
// Pictures that must match another drawing of the same thing within the project's tolerance.
#include "tests/support/TestSurface.hpp"

#include <gtest/gtest.h>

#include <string>

namespace dv::test {

/// No channel off by more than 3 levels in more than 0.5 % of the pixels, and none by more
/// than 64.
inline void expectSamePicture(const TestSurface& expected, const TestSurface& actual, const std::string& what) {
    const Difference d = compare(expected, actual);
    EXPECT_LE(d.beyondTolerance, expected.width() * expected.height() / 200) << what;
    EXPECT_LE(d.worst, 64) << what;
}

} // namespace dv::test
