// Input: four bytes of value, one of capacity. The text is "#" and the value's decimal digits
// with a minus sign for a negative one; it is written, with its zero, exactly when it fits, and
// otherwise nothing is written.
#include <windows.h>

#include <array>
#include <cstring>

#include "check.h"
#include "support/text.h"

namespace {

constexpr WCHAR kSentinel = 0xBEEF;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) {
        return 0;
    }
    INT value = 0;
    std::memcpy(&value, data, sizeof value);
    const DWORD capacity = data[4] % 40;
    const std::string text = "#" + std::to_string(value);

    std::array<WCHAR, 48> buffer{};
    buffer.fill(kSentinel);
    const BOOL written = FormatHashNumber(value, buffer.data(), capacity);
    FUZZ_CHECK((written != FALSE) == (text.size() < capacity));
    const std::size_t touched = written != FALSE ? text.size() + 1 : 0;
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        if (i < text.size() && i < touched) {
            FUZZ_CHECK(buffer[i] == static_cast<WCHAR>(text[i]));
        } else if (i == text.size() && i < touched) {
            FUZZ_CHECK(buffer[i] == 0);
        } else {
            FUZZ_CHECK(buffer[i] == kSentinel);
        }
    }
    return 0;
}
