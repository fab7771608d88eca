// Fixed-buffer text handling shared by the helpers: measure within an array, and hand a text to a
// caller's array only when it fits there with its terminating zero.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>

// Units before the first zero, looking at no more than `units` of them.
inline std::size_t BoundedLength(const WCHAR* text, std::size_t units) {
    std::size_t length = 0;
    while (length < units && text[length] != 0) {
        ++length;
    }
    return length;
}

// Writes `length` units of `text` and a terminating zero to `destination` when they fit in
// `capacity` units; otherwise leaves the destination as it was and returns FALSE.
inline BOOL CopyTextIfFits(const WCHAR* text, std::size_t length, LPWSTR destination,
                           DWORD capacity) {
    if (length >= capacity) {
        return FALSE;
    }
    std::memcpy(destination, text, length * sizeof(WCHAR));
    destination[length] = 0;
    return TRUE;
}

// Appends `text` to the zero-terminated text in `destination` when the whole fits in `capacity`
// units with its terminating zero; otherwise leaves the destination as it was.
inline BOOL AppendTextIfFits(LPWSTR destination, DWORD capacity, LPCWSTR text) {
    const std::size_t used = BoundedLength(destination, capacity);
    const std::size_t added = wcslen(text);
    if (used >= capacity || added >= capacity - used) {
        return FALSE;
    }
    std::memcpy(destination + used, text, (added + 1) * sizeof(WCHAR));
    return TRUE;
}
