// The stand-in application as a Windows program: its window and a message loop until it closes.
// Under the Wine demo it reports what its window is sent and its closing, and answers the demo's
// settle requests (observe/reports.h).
#include "observe/reports.h"
#include "standin/korvessa_app.h"
#include "support/compat.h"

int WINAPI WRENFOLD_PROGRAM_ENTRY(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/,
                                  LPWSTR lpCmdLine, int /*nShowCmd*/) {
    const HWND window = StartKorvessaStandIn(hInstance, lpCmdLine);
    if (window == nullptr) {
        return 1;
    }
    WitnessWindow(window);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsSettleRequest(message)) {
            // With its window gone the program is on its way out: its end is the answer.
            if (IsWindow(window)) {
                ReportSettled();
            }
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
