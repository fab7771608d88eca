// The copy runs to the first zero byte; ASCII letters are lower case; every other byte, 0x80 to
// 0xFF included, is unchanged.
#include "check.h"
#include "support/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = Bytes(data, size);
    std::string expected = input.c_str();
    for (char& c : expected) {
        c = LowerAscii(c);
    }
    FUZZ_CHECK(CaseConvertedCopy(input) == expected);
    return 0;
}
