// The device as a whole: reset and the handle counts across all areas.
#include <string>

#include "internal.h"
#include "sim.h"

namespace sim {

void Reset() {
    detail::ResetRegistry();
}

int OpenHandles(HandleKind kind) {
    switch (kind) {
        case HandleKind::RegistryKey:
            return detail::OpenRegistryKeys();
        case HandleKind::kCount:
            break;
    }
    return 0;
}

std::string OpenHandlesReport() {
    static const char* const kNames[] = {"registry key"};
    static_assert(sizeof(kNames) / sizeof(kNames[0]) == static_cast<int>(HandleKind::kCount));
    std::string report;
    for (int kind = 0; kind < static_cast<int>(HandleKind::kCount); ++kind) {
        const int count = OpenHandles(static_cast<HandleKind>(kind));
        if (count == 0) {
            continue;
        }
        if (!report.empty()) {
            report += ", ";
        }
        report += std::to_string(count) + " " + kNames[kind] + (count == 1 ? "" : "s");
    }
    return report;
}

}  // namespace sim

namespace sim::detail {

WCHAR FoldCase(WCHAR c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
        return static_cast<WCHAR>(c + 32);
    }
    return c;
}

bool EqualNoCase(const WCHAR* a, std::size_t aLength, const WCHAR* b, std::size_t bLength) {
    if (aLength != bLength) {
        return false;
    }
    for (std::size_t i = 0; i < aLength; ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

bool EqualNoCase(const WideString& a, const WideString& b) {
    return EqualNoCase(a.data(), a.size(), b.data(), b.size());
}

int CompareNoCase(const WideString& a, const WideString& b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const WCHAR x = FoldCase(a[i]);
        const WCHAR y = FoldCase(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

std::string Narrow(const WideString& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (const WCHAR c : text) {
        narrow += (c >= 0x20 && c < 0x7F) || c == u'\n' ? static_cast<char>(c) : '?';
    }
    return narrow;
}

}  // namespace sim::detail
