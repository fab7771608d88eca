// The device build's division helpers, computed by the same code on the host: ARMv4 has no
// divide instruction, so every division in the device's programs comes through them.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

#include "platform/device/arithmetic.h"

namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

void ExpectLikeTheProcessor(std::uint32_t n, std::uint32_t d) {
    const Division unsignedResult = DivideUnsigned(n, d);
    EXPECT_EQ(unsignedResult.quotient, n / d) << n << " / " << d;
    EXPECT_EQ(unsignedResult.remainder, n % d) << n << " % " << d;
    const auto sn = static_cast<std::int32_t>(n);
    const auto sd = static_cast<std::int32_t>(d);
    if (sn == kMin && sd == -1) {
        return;  // overflows in C++; the helper's wrap-around is checked below
    }
    const Division signedResult = DivideSigned(sn, sd);
    EXPECT_EQ(static_cast<std::int32_t>(signedResult.quotient), sn / sd) << sn << " / " << sd;
    EXPECT_EQ(static_cast<std::int32_t>(signedResult.remainder), sn % sd) << sn << " % " << sd;
}

TEST(DeviceDivision, AgreesWithTheHostsDivisionAtTheEdgesAndAtRandom) {
    const std::uint32_t edges[] = {0u,          1u,          2u,         3u,          7u,
                                   10u,         255u,        256u,       0x7FFFFFFFu, 0x80000000u,
                                   0x80000001u, 0xFFFFFFFEu, 0xFFFFFFFFu};
    for (const std::uint32_t n : edges) {
        for (const std::uint32_t d : edges) {
            if (d != 0) {
                ExpectLikeTheProcessor(n, d);
            }
        }
    }
    std::mt19937 random(20261208);
    // Numbers of every size, not only the large ones a uniform draw gives.
    const auto draw = [&random] {
        const auto bits = static_cast<std::uint32_t>(random());
        return bits >> (random() % 32);
    };
    for (int i = 0; i < 100000; ++i) {
        const std::uint32_t n = draw();
        const std::uint32_t d = draw();
        if (d != 0) {
            ExpectLikeTheProcessor(n, d);
        }
    }
}

TEST(DeviceDivision, WrapsTheOneOverflowAndDoesNotFaultOnZero) {
    const Division overflow = DivideSigned(kMin, -1);
    EXPECT_EQ(static_cast<std::int32_t>(overflow.quotient), kMin);
    EXPECT_EQ(overflow.remainder, 0u);
    const Division byZero = DivideUnsigned(1234u, 0u);
    EXPECT_EQ(byZero.quotient, 0u);
    EXPECT_EQ(byZero.remainder, 1234u);
    EXPECT_EQ(static_cast<std::int32_t>(DivideSigned(kMax, 0).remainder), kMax);
}

}  // namespace
