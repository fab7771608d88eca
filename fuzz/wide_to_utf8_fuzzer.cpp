// Input: one byte giving the capacity (its value - 4), then UTF-16 units, two bytes each, up to
// the first zero unit. Nothing is written beyond the capacity; success means a terminated text
// that is what the platform converts; well-formed UTF-16 converts to UTF-8 and back unchanged.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "check.h"
#include "support/text.h"

namespace {

constexpr char kSentinel = static_cast<char>(0xA5);
constexpr std::size_t kGuard = 16;

bool IsWellFormed(const std::u16string& units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size() &&
            units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            ++i;
        } else if (units[i] >= 0xD800 && units[i] <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int capacity = static_cast<int>(data[0]) - 4;
    std::u16string source;
    for (std::size_t i = 1; i + 1 < size; i += 2) {
        const auto unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        source += unit;
    }
    const std::size_t room = capacity > 0 ? static_cast<std::size_t>(capacity) : 0;
    std::vector<char> buffer(room + kGuard, kSentinel);

    const LPSTR result = WideToUtf8(source.c_str(), buffer.data(), capacity);
    for (std::size_t i = room; i < buffer.size(); ++i) {
        FUZZ_CHECK(buffer[i] == kSentinel);
    }
    if (capacity < 1) {
        FUZZ_CHECK(result == nullptr);
        return 0;
    }

    std::vector<char> whole(3 * source.size() + 1);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, source.c_str(), -1, whole.data(),
                                          static_cast<int>(whole.size()), nullptr, nullptr);
    FUZZ_CHECK(bytes > 0);
    const bool fits = bytes <= capacity && whole[static_cast<std::size_t>(bytes) - 1] == 0;
    FUZZ_CHECK((result != nullptr) == fits);
    if (result == nullptr) {
        return 0;
    }
    FUZZ_CHECK(result == buffer.data());
    FUZZ_CHECK(std::equal(whole.begin(), whole.begin() + bytes, buffer.begin()));

    if (IsWellFormed(source)) {
        std::u32string points;
        FUZZ_CHECK(DecodeUtf8(std::string(buffer.data()), points));
        FUZZ_CHECK(Utf16Of(points) == source);
        std::vector<WCHAR> back(source.size() + 1, 0x7777);
        FUZZ_CHECK(Utf8ToWide(buffer.data(), back.data(), static_cast<int>(back.size())) ==
                   back.data());
        FUZZ_CHECK(std::u16string(back.data()) == source);
    }
    return 0;
}
