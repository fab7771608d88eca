// The one-pass unescaper against the plain rule it replaces: decode in place, remove the two
// digits, and search on right behind the "%" just handled.
#include "check.h"
#include "support/text.h"

namespace {

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::string PlainUnescape(std::string text) {
    for (std::size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 1)) {
        // c_str(): the zero behind the last byte is no digit.
        const char* at = text.c_str() + p;
        if (IsHexDigit(at[1]) && IsHexDigit(at[2])) {
            text[p] = static_cast<char>(16 * HexCharValue(at + 1) + HexCharValue(at + 2));
            text.erase(p + 1, 2);
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = Bytes(data, size);
    const std::string plain = UrlUnescape(input);
    FUZZ_CHECK(plain.size() <= input.size());
    FUZZ_CHECK(plain == PlainUnescape(input));
    return 0;
}
