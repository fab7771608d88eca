// CloseKorvessa: asks the running application to close and tells the user whether it was
// running. It reads no command line and always exits with 0.
#include <windows.h>

#include "support/compat.h"
#include "support/korvessa.h"

int WINAPI WRENFOLD_PROGRAM_ENTRY(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/,
                                  LPWSTR /*lpCmdLine*/, int /*nShowCmd*/) {
    const HWND application = FindWindowW(kKorvessaWindowClass, kKorvessaWindowTitle);
    if (application != nullptr) {
        // Synchronous: the box appears only once the application has handled the request.
        SendMessageW(application, WM_CLOSE, 0, 0);
        MessageBoxW(nullptr, TEXT("If you wish to reload Korvessa perform a soft reset."),
                    TEXT("Korvessa Closed"), MB_ICONEXCLAMATION);
    } else {
        MessageBoxW(nullptr, TEXT("Korvessa is not currently loaded"), TEXT("Close Korvessa"),
                    MB_ICONEXCLAMATION);
    }
    return 0;
}
