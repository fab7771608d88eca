// Input: bytes that become UTF-16 units, many of them spaces. The whole array after the trim,
// its terminating zero and what lies behind, is what the plain rule gives: trailing spaces
// zeroed, then the rest copied from the first non-space to the start; nothing else is touched.
#include <windows.h>

#include <vector>

#include "check.h"
#include "support/text.h"

namespace {

constexpr WCHAR kSentinel = 0xBEEF;

WCHAR UnitOf(std::uint8_t byte) {
    switch (byte % 4) {
        case 0:
        case 1:
            return u' ';
        case 2:
            return byte < 128 ? u'\t' : static_cast<WCHAR>(0x00A0);
        default:
            return static_cast<WCHAR>(u'!' + byte % 90);
    }
}

void PlainTrim(std::vector<WCHAR>& units) {
    std::size_t length = 0;
    while (units[length] != 0) {
        ++length;
    }
    for (std::size_t k = length; k > 0 && units[k - 1] == u' '; --k) {
        units[k - 1] = 0;
    }
    if (length == 0) {
        return;
    }
    std::size_t spaces = 0;
    while (spaces < length && units[spaces] == u' ') {
        ++spaces;
    }
    if (spaces > 0) {
        std::vector<WCHAR> working;
        for (std::size_t k = spaces; units[k] != 0; ++k) {
            working.push_back(units[k]);
        }
        working.push_back(0);
        std::copy(working.begin(), working.end(), units.begin());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<WCHAR> units;
    for (std::size_t i = 0; i < size; ++i) {
        units.push_back(UnitOf(data[i]));
    }
    units.push_back(0);
    units.insert(units.end(), 8, kSentinel);
    std::vector<WCHAR> expected = units;
    PlainTrim(expected);
    TrimSpaces(units.data());
    FUZZ_CHECK(units == expected);
    return 0;
}
