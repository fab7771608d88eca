// Integer division for a processor without a divide instruction (ARMv4), in plain C++ so that
// the host can test what the device build's division helpers compute.
#pragma once

#include <cstdint>

struct Division {
    std::uint32_t quotient;
    std::uint32_t remainder;
};

// Long division, one quotient bit per step, from the highest bit the quotient can have. A zero
// denominator gives quotient 0 and the numerator as remainder, rather than a fault.
constexpr Division DivideUnsigned(std::uint32_t numerator, std::uint32_t denominator) {
    constexpr std::uint32_t kTopBit = 0x80000000u;
    Division result{0, numerator};
    if (denominator == 0) {
        return result;
    }
    std::uint32_t bit = 1;
    while (denominator < result.remainder && (denominator & kTopBit) == 0) {
        denominator <<= 1;
        bit <<= 1;
    }
    for (; bit != 0; bit >>= 1, denominator >>= 1) {
        if (result.remainder >= denominator) {
            result.remainder -= denominator;
            result.quotient |= bit;
        }
    }
    return result;
}

// C's division: the quotient rounded towards zero, the remainder with the numerator's sign. Both
// are returned as the two's-complement bits of the signed results.
constexpr Division DivideSigned(std::int32_t numerator, std::int32_t denominator) {
    const bool negativeNumerator = numerator < 0;
    const bool negativeDenominator = denominator < 0;
    // Magnitudes in unsigned arithmetic, where the most negative value has one too.
    const std::uint32_t n = negativeNumerator ? 0u - static_cast<std::uint32_t>(numerator)
                                              : static_cast<std::uint32_t>(numerator);
    const std::uint32_t d = negativeDenominator ? 0u - static_cast<std::uint32_t>(denominator)
                                                : static_cast<std::uint32_t>(denominator);
    Division result = DivideUnsigned(n, d);
    if (negativeNumerator != negativeDenominator) {
        result.quotient = 0u - result.quotient;
    }
    if (negativeNumerator) {
        result.remainder = 0u - result.remainder;
    }
    return result;
}
