// A library for the world under Wine: it counts how often it is loaded and, built with
// WRENFOLD_REGISTER_ENTRY, exports DllRegisterServer and counts its calls (see test_library.h).
#include "world/test_library.h"

#include <cwchar>
#include <string>

namespace {

HMODULE& ThisLibrary() {
    static HMODULE library = nullptr;
    return library;
}

void Count(const WCHAR* valueName) {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(ThisLibrary(), path, MAX_PATH);
    const WCHAR* slash = wcsrchr(path, L'\\');
    const std::wstring key =
        std::wstring(kTestLibraryMarkKey) + L"\\" + (slash == nullptr ? path : slash + 1);
    HKEY marks = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &marks, nullptr) != ERROR_SUCCESS) {
        return;
    }
    DWORD count = 0;
    DWORD size = sizeof count;
    if (RegQueryValueExW(marks, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&count),
                         &size) != ERROR_SUCCESS) {
        count = 0;
    }
    ++count;
    RegSetValueExW(marks, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count),
                   sizeof count);
    RegCloseKey(marks);
}

}  // namespace

extern "C" {
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
HRESULT WINAPI DllRegisterServer();
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        ThisLibrary() = instance;
        Count(L"Loads");
    }
    return TRUE;
}

#ifdef WRENFOLD_REGISTER_ENTRY
extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
    Count(L"Registrations");
    return S_OK;
}
#endif
