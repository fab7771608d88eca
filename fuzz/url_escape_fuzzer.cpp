// Both escapers: the strict escape unescapes to its input, and each escaper writes exactly what
// its per-byte rule says, built here from the three single-character functions.
#include "check.h"
#include "support/text.h"

namespace {

bool IsLetterOrDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string Escaped(char c) {
    const char high = static_cast<char>((static_cast<unsigned char>(c) >> 4) & 0xF);
    const char low = static_cast<char>(static_cast<unsigned char>(c) & 0xF);
    return std::string{'%', NibbleToHexChar(&high), NibbleToHexChar(&low)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = Bytes(data, size);

    const std::string strict = UrlEscapeStrict(input);
    FUZZ_CHECK(UrlUnescape(strict) == input);
    std::string expectedStrict;
    std::string expected;
    for (const char c : input) {
        expectedStrict += IsLetterOrDigit(c) ? std::string(1, c) : Escaped(c);
        expected += IsUrlSafeChar(&c) != 0 ? std::string(1, c) : Escaped(c);
        // The digits the escapers write read back as the byte's value.
        const std::string escape = Escaped(c);
        FUZZ_CHECK(16 * HexCharValue(&escape[1]) + HexCharValue(&escape[2]) ==
                   static_cast<unsigned char>(c));
    }
    FUZZ_CHECK(strict == expectedStrict);
    FUZZ_CHECK(UrlEscape(input) == expected);
    return 0;
}
