// The stand-in CE installer as Windows programs: WCELOAD.EXE installs a package, UNLOAD.EXE
// (built from this file with WRENFOLD_UNLOAD) removes an installed application.
#include "standin/cab_installer.h"
#include "support/compat.h"

int WINAPI WRENFOLD_PROGRAM_ENTRY(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/,
                                  LPWSTR /*lpCmdLine*/, int /*nShowCmd*/) {
    // The whole command line as the starter passed it: the runtime's lpCmdLine would drop its
    // first word as if it were the program's name.
#ifdef WRENFOLD_UNLOAD
    return static_cast<int>(RunUnload(GetCommandLineW(), kLoadLibraryLoader));
#else
    return static_cast<int>(RunCabInstaller(GetCommandLineW(), kLoadLibraryLoader));
#endif
}
