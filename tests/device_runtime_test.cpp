// The device build's division helper, computed by the same code on the host: ARMv4 has no divide
// instruction, so every division in the device's programs comes through it.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "platform/device/arithmetic.h"

namespace {

void ExpectLikeTheProcessor(std::uint32_t n, std::uint32_t d) {
    const Division result = DivideUnsigned(n, d);
    EXPECT_EQ(result.quotient, n / d) << n << " / " << d;
    EXPECT_EQ(result.remainder, n % d) << n << " % " << d;
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

TEST(DeviceDivision, DoesNotFaultOnZero) {
    const Division byZero = DivideUnsigned(1234u, 0u);
    EXPECT_EQ(byZero.quotient, 0u);
    EXPECT_EQ(byZero.remainder, 1234u);
}

}  // namespace
