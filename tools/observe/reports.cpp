#include "observe/reports.h"

namespace {

constexpr UINT kSettleRequest = WM_APP + 0x5E7;
const WCHAR* const kOriginalProcedure = L"WrenfoldWitnessed";

void Send(Report& report, HWND window) {
    const HWND observer = FindWindowW(kObserverClass, nullptr);
    if (observer == nullptr) {
        return;
    }
    report.threadId = GetCurrentThreadId();
    if (window != nullptr) {
        GetClassNameW(window, report.windowClass, 64);
        // Read without sending the window WM_GETTEXT, which the witness would see.
        InternalGetWindowText(window, report.windowTitle, 128);
    }
    COPYDATASTRUCT data{};
    data.cbData = sizeof report;
    data.lpData = &report;
    SendMessageW(observer, WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                 reinterpret_cast<LPARAM>(&data));
}

// How deep the thread is in witnessed procedures: a sent message's handling calls the procedure
// again directly (WM_DESTROY from DestroyWindow, say), and InSendMessage stays true in there.
int& Depth() {
    static thread_local int depth = 0;
    return depth;
}

LRESULT CALLBACK WitnessProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto original = reinterpret_cast<WNDPROC>(GetPropW(window, kOriginalProcedure));
    if (Depth() == 0 && InSendMessage()) {
        Report report{};
        report.kind = Report::Kind::Sent;
        report.message = message;
        report.wParam = wParam;
        report.lParam = lParam;
        Send(report, window);
    }
    if (message == WM_DESTROY) {
        Report report{};
        report.kind = Report::Kind::Closed;
        Send(report, window);
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropW(window, kOriginalProcedure);
    }
    ++Depth();
    const LRESULT result = CallWindowProcW(original, window, message, wParam, lParam);
    --Depth();
    return result;
}

}  // namespace

void WitnessWindow(HWND window) {
    const LONG_PTR original = GetWindowLongPtrW(window, GWLP_WNDPROC);
    SetPropW(window, kOriginalProcedure, reinterpret_cast<HANDLE>(original));
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WitnessProcedure));
}

bool IsSettleRequest(const MSG& message) {
    return message.hwnd == nullptr && message.message == kSettleRequest;
}

void ReportSettled() {
    Report report{};
    report.kind = Report::Kind::Settled;
    Send(report, nullptr);
}

bool PostSettleRequest(DWORD threadId) {
    return PostThreadMessageW(threadId, kSettleRequest, 0, 0) != FALSE;
}
