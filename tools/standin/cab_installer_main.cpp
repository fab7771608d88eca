// The stand-in CAB installer as a Windows program (WCELOAD.EXE): it loads the package's setup
// library by name, as the platform's installer does, and calls its hooks. The library stays
// loaded until the process ends.
#include "standin/cab_installer.h"
#include "support/compat.h"

int WINAPI WRENFOLD_PROGRAM_ENTRY(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/,
                                  LPWSTR /*lpCmdLine*/, int /*nShowCmd*/) {
    // The whole command line as the starter passed it: the runtime's lpCmdLine would drop its
    // first word as if it were the program's name.
    bool hang = false;
    const DWORD result = RunCabInstaller(GetCommandLineW(), LoadSetupLibraryHooks, hang);
    if (hang) {
        Sleep(INFINITE);
    }
    return static_cast<int>(result);
}
