#include "standin/start_mark.h"

#include <cwchar>

void SetDwordMark(HKEY key, LPCWSTR name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

HKEY OpenStartMark(LPCWSTR keyPath, LPCWSTR commandLine) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    DWORD starts = 0;
    DWORD size = sizeof starts;
    if (RegQueryValueExW(key, TEXT("Starts"), nullptr, nullptr, reinterpret_cast<BYTE*>(&starts),
                         &size) != ERROR_SUCCESS) {
        starts = 0;
    }
    SetDwordMark(key, TEXT("Starts"), starts + 1);
    RegSetValueExW(key, TEXT("CommandLine"), 0, REG_SZ, reinterpret_cast<const BYTE*>(commandLine),
                   static_cast<DWORD>((wcslen(commandLine) + 1) * sizeof(WCHAR)));
    return key;
}
