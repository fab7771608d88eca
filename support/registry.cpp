#include "support/registry.h"

#include "support/compat.h"
#include "support/fixed_buffer.h"

namespace {

constexpr DWORD kTextScratchBytes = 1024;
constexpr DWORD kNameScratchUnits = 512;
constexpr DWORD kNumberBytes = 4;

LONG OpenExistingKey(HKEY root, LPCWSTR subkey, HKEY& key) {
    return RegOpenKeyExW(root, subkey, 0, kRegistryAccess, &key);
}

// The size of a text with its terminating zero, in bytes, as the registry stores it.
bool TextValueBytes(LPCWSTR text, DWORD& bytes) {
    const std::size_t units = wcslen(text) + 1;
    if (units > MAXDWORD / sizeof(WCHAR)) {
        return false;
    }
    bytes = static_cast<DWORD>(units * sizeof(WCHAR));
    return true;
}

BOOL WriteValue(HKEY root, LPCWSTR subkey, LPCWSTR valueName, DWORD type, const BYTE* data,
                DWORD size) {
    HKEY key = nullptr;
    if (OpenExistingKey(root, subkey, key) != ERROR_SUCCESS) {
        return FALSE;
    }
    const LONG status = RegSetValueExW(key, valueName, 0, type, data, size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? TRUE : FALSE;
}

using EnumerateName = LONG (*)(HKEY key, DWORD index, LPWSTR name, LPDWORD length);

LONG EnumerateSubkeyName(HKEY key, DWORD index, LPWSTR name, LPDWORD length) {
    return RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
}

LONG EnumerateValueName(HKEY key, DWORD index, LPWSTR name, LPDWORD length) {
    return RegEnumValueW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
}

BOOL NextName(EnumerateName enumerate, HKEY key, DWORD& index, LPWSTR destination, DWORD capacity) {
    WCHAR name[kNameScratchUnits];
    DWORD length = kNameScratchUnits;
    if (enumerate(key, index, name, &length) != ERROR_SUCCESS) {
        index = 0;
        return FALSE;
    }
    if (!CopyTextIfFits(name, BoundedLength(name, kNameScratchUnits), destination, capacity)) {
        index = 0;
        return FALSE;
    }
    ++index;
    return TRUE;
}

}  // namespace

BOOL ReadRegString(HKEY root, LPCWSTR subkey, LPCWSTR valueName, LPWSTR destination,
                   DWORD capacity) {
    HKEY key = nullptr;
    if (OpenExistingKey(root, subkey, key) != ERROR_SUCCESS) {
        return FALSE;
    }
    WCHAR scratch[kTextScratchBytes / sizeof(WCHAR)];
    DWORD type = REG_NONE;
    DWORD size = kTextScratchBytes;
    const LONG status =
        RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(scratch), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return FALSE;
    }
    // Any type reads as text. Data without a terminating zero counts up to its end (an odd
    // trailing byte is no whole unit); nothing beyond the bytes the query returned is read.
    const std::size_t length = BoundedLength(scratch, size / sizeof(WCHAR));
    return CopyTextIfFits(scratch, length, destination, capacity);
}

BOOL ReadHklmString(LPCWSTR subkey, LPCWSTR valueName, LPWSTR destination, DWORD capacity) {
    return ReadRegString(HKEY_LOCAL_MACHINE, subkey, valueName, destination, capacity);
}

BOOL ReadHkcuString(LPCWSTR subkey, LPCWSTR valueName, LPWSTR destination, DWORD capacity) {
    return ReadRegString(HKEY_CURRENT_USER, subkey, valueName, destination, capacity);
}

BOOL WriteRegString(HKEY root, LPCWSTR subkey, LPCWSTR valueName, LPCWSTR text) {
    DWORD size = 0;
    if (!TextValueBytes(text, size)) {
        return FALSE;
    }
    return WriteValue(root, subkey, valueName, REG_SZ, reinterpret_cast<const BYTE*>(text), size);
}

BOOL WriteHklmString(LPCWSTR subkey, LPCWSTR valueName, LPCWSTR text) {
    return WriteRegString(HKEY_LOCAL_MACHINE, subkey, valueName, text);
}

BOOL WriteHkcuString(LPCWSTR subkey, LPCWSTR valueName, LPCWSTR text) {
    return WriteRegString(HKEY_CURRENT_USER, subkey, valueName, text);
}

DWORD ReadRegDword(HKEY root, LPCWSTR subkey, LPCWSTR valueName) {
    HKEY key = nullptr;
    if (OpenExistingKey(root, subkey, key) != ERROR_SUCCESS) {
        return 0;
    }
    BYTE cell[kNumberBytes] = {};
    DWORD type = REG_NONE;
    DWORD size = kNumberBytes;
    const LONG status = RegQueryValueExW(key, valueName, nullptr, &type, cell, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return 0;
    }
    // Little-endian whatever the processor; a shorter value leaves the high bytes zero.
    return static_cast<DWORD>(cell[0]) | static_cast<DWORD>(cell[1]) << 8 |
           static_cast<DWORD>(cell[2]) << 16 | static_cast<DWORD>(cell[3]) << 24;
}

DWORD ReadHklmDword(LPCWSTR subkey, LPCWSTR valueName) {
    return ReadRegDword(HKEY_LOCAL_MACHINE, subkey, valueName);
}

BOOL WriteRegDword(HKEY root, LPCWSTR subkey, LPCWSTR valueName, DWORD value) {
    const BYTE cell[kNumberBytes] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                                     static_cast<BYTE>(value >> 16),
                                     static_cast<BYTE>(value >> 24)};
    return WriteValue(root, subkey, valueName, REG_DWORD, cell, kNumberBytes);
}

BOOL WriteHklmDword(LPCWSTR subkey, LPCWSTR valueName, DWORD value) {
    return WriteRegDword(HKEY_LOCAL_MACHINE, subkey, valueName, value);
}

BOOL WriteHkcuDword(LPCWSTR subkey, LPCWSTR valueName, DWORD value) {
    return WriteRegDword(HKEY_CURRENT_USER, subkey, valueName, value);
}

BOOL RegKeyExists(HKEY root, LPCWSTR subkey) {
    HKEY key = nullptr;
    if (OpenExistingKey(root, subkey, key) != ERROR_SUCCESS) {
        return FALSE;
    }
    RegCloseKey(key);
    return TRUE;
}

LONG OpenRegKey(HKEY root, LPCWSTR subkey, HKEY& key) {
    return OpenExistingKey(root, subkey, key);
}

LONG OpenHklmKey(LPCWSTR subkey, HKEY& key) {
    return OpenExistingKey(HKEY_LOCAL_MACHINE, subkey, key);
}

LONG CloseRegKey(const HKEY& key) {
    return RegCloseKey(key);
}

BOOL NextRegSubkeyName(const HKEY& key, DWORD& index, LPWSTR destination, DWORD capacity) {
    return NextName(EnumerateSubkeyName, key, index, destination, capacity);
}

BOOL NextRegValueName(const HKEY& key, DWORD& index, LPWSTR destination, DWORD capacity) {
    return NextName(EnumerateValueName, key, index, destination, capacity);
}
