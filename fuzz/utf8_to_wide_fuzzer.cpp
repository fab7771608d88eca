// Input: one byte giving the capacity (its value - 4, so that 0 and negative ones come up too),
// then the UTF-8 source up to its first zero. Nothing is written beyond the capacity; success
// means a terminated text that is what the platform converts; well-formed UTF-8 converts to its
// code points and back to the same bytes.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "check.h"
#include "support/text.h"

namespace {

constexpr WCHAR kSentinel = 0xBEEF;
constexpr std::size_t kGuard = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int capacity = static_cast<int>(data[0]) - 4;
    const std::string source = Bytes(data + 1, size - 1).c_str();
    const std::size_t room = capacity > 0 ? static_cast<std::size_t>(capacity) : 0;
    std::vector<WCHAR> buffer(room + kGuard, kSentinel);

    const LPWSTR result = Utf8ToWide(source.c_str(), buffer.data(), capacity);
    for (std::size_t i = room; i < buffer.size(); ++i) {
        FUZZ_CHECK(buffer[i] == kSentinel);
    }
    if (capacity < 1) {
        FUZZ_CHECK(result == nullptr);
        return 0;
    }

    // The platform's whole conversion, into room enough.
    std::vector<WCHAR> whole(source.size() + 2);
    const int units = MultiByteToWideChar(CP_UTF8, 0, source.c_str(), -1, whole.data(),
                                          static_cast<int>(whole.size()));
    FUZZ_CHECK(units > 0);
    const bool fits = units <= capacity && whole[static_cast<std::size_t>(units) - 1] == 0;
    FUZZ_CHECK((result != nullptr) == fits);
    if (result == nullptr) {
        return 0;
    }
    FUZZ_CHECK(result == buffer.data());
    FUZZ_CHECK(std::equal(whole.begin(), whole.begin() + units, buffer.begin()));

    std::u32string points;
    if (DecodeUtf8(source, points)) {
        const std::u16string expected = Utf16Of(points);
        FUZZ_CHECK(std::u16string(buffer.data()) == expected);
        std::vector<char> back(source.size() + 1, 'x');
        FUZZ_CHECK(WideToUtf8(buffer.data(), back.data(), static_cast<int>(back.size())) ==
                   back.data());
        FUZZ_CHECK(std::string(back.data()) == source);
    }
    return 0;
}
