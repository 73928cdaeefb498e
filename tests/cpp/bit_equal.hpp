#pragma once
// Exact comparison of doubles for the native tests: equal bit patterns (so
// -0.0 differs from 0.0), or both NaN whatever their payload.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace zyl::test {

inline ::testing::AssertionResult bit_equal(double want, double got) {
    if (std::isnan(want) && std::isnan(got)) return ::testing::AssertionSuccess();
    if (std::bit_cast<std::uint64_t>(want) == std::bit_cast<std::uint64_t>(got)) return ::testing::AssertionSuccess();
    char msg[96];
    std::snprintf(msg, sizeof msg, "want %.17g, got %.17g", want, got);
    return ::testing::AssertionFailure() << msg;
}

}  // namespace zyl::test
