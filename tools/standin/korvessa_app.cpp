#include "standin/korvessa_app.h"

#include "standin/start_mark.h"
#include "support/korvessa.h"

namespace {

LRESULT CALLBACK NotifyWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND StartKorvessaStandIn(HINSTANCE instance, LPCWSTR commandLine) {
    const HKEY mark =
        OpenStartMark(kStandInMarkKey, commandLine == nullptr ? TEXT("") : commandLine);
    if (mark != nullptr) {
        RegCloseKey(mark);
    }
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
