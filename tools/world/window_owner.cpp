// A program for the world under Wine that owns hidden top-level windows and nothing else.
// Command line: the number of windows, the name of an event to set once they are made, and
// their class name, e.g. "2 WrenfoldOwnerReady7 WrenfoldOwned"; the windows are titled "1",
// "2", ... in the order they are made. It ends on WM_QUIT sent to its thread, or after a minute
// in case the world never sends it.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

constexpr UINT kLifetime = 60000;

LRESULT CALLBACK OwnedWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR commandLine, int /*show*/) {
    WCHAR* rest = nullptr;
    const long count = std::wcstol(commandLine, &rest, 10);
    const std::wstring words(rest);
    const std::size_t eventStart = words.find_first_not_of(L' ');
    const std::size_t eventEnd = words.find(L' ', eventStart);
    if (eventStart == std::wstring::npos || eventEnd == std::wstring::npos) {
        return 1;
    }
    const std::wstring readyEvent = words.substr(eventStart, eventEnd - eventStart);
    const std::wstring classText = words.substr(words.find_first_not_of(L' ', eventEnd));
    const WCHAR* const className = classText.c_str();
    if (count > 0) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = OwnedWindowProcedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = className;
        if (RegisterClassW(&windowClass) == 0) {
            return 1;
        }
    }
    for (long made = 1; made <= count; ++made) {
        CreateWindowExW(0, className, std::to_wstring(made).c_str(), WS_POPUP, 0, 0, 0, 0, nullptr,
                        nullptr, instance, nullptr);
    }
    SetTimer(nullptr, 0, kLifetime, nullptr);
    if (const HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, readyEvent.c_str())) {
        SetEvent(ready);
        CloseHandle(ready);
    }
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr) {
            break;
        }
        DispatchMessageW(&message);
    }
    return 0;
}
