// The stand-in application as a Windows program: its window and a message loop until it closes.
#include "standin/korvessa_app.h"
#include "support/compat.h"

int WINAPI WRENFOLD_PROGRAM_ENTRY(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/,
                                  LPWSTR lpCmdLine, int /*nShowCmd*/) {
    if (StartKorvessaStandIn(hInstance, lpCmdLine) == nullptr) {
        return 1;
    }
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
