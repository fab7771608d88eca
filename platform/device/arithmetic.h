// Integer division for a processor without a divide instruction (ARMv4), in plain C++ so that
// the host can test what the device build's division helper computes.
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
