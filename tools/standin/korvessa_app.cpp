#include "standin/korvessa_app.h"

#include <cwchar>

#include "support/korvessa.h"

namespace {

LRESULT CALLBACK NotifyWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void LeaveStartMark(LPCWSTR commandLine) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kStandInMarkKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    DWORD starts = 0;
    DWORD size = sizeof starts;
    if (RegQueryValueExW(key, TEXT("Starts"), nullptr, nullptr, reinterpret_cast<BYTE*>(&starts),
                         &size) != ERROR_SUCCESS) {
        starts = 0;
    }
    ++starts;
    RegSetValueExW(key, TEXT("Starts"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&starts),
                   sizeof starts);
    RegSetValueExW(key, TEXT("CommandLine"), 0, REG_SZ, reinterpret_cast<const BYTE*>(commandLine),
                   static_cast<DWORD>((wcslen(commandLine) + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
}

}  // namespace

HWND StartKorvessaStandIn(HINSTANCE instance, LPCWSTR commandLine) {
    LeaveStartMark(commandLine == nullptr ? TEXT("") : commandLine);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = NotifyWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kKorvessaWindowClass;
    if (RegisterClassW(&windowClass) == 0) {
        return nullptr;
    }
    return CreateWindowExW(0, kKorvessaWindowClass, kKorvessaWindowTitle, WS_POPUP, 0, 0, 0, 0,
                           nullptr, nullptr, instance, nullptr);
}
