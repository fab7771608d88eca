// The stand-in CAB installer as a Windows program (WCELOAD.EXE): it loads the package's setup
// library by name, as the platform's installer does, and calls its hooks.
#include "standin/cab_installer.h"
#include "support/compat.h"

namespace {

template <class Hook>
Hook Export(HMODULE library, const char* name) {
    return reinterpret_cast<Hook>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// The library stays loaded until the process ends, as with the platform's installer.
bool LoadHooks(LPCWSTR libraryName, SetupHooks& hooks) {
    const HMODULE library = LoadLibraryW(libraryName);
    if (library == nullptr) {
        return false;
    }
    hooks.installInit = Export<decltype(hooks.installInit)>(library, "Install_Init");
    hooks.installExit = Export<decltype(hooks.installExit)>(library, "Install_Exit");
    hooks.uninstallInit = Export<decltype(hooks.uninstallInit)>(library, "Uninstall_Init");
    hooks.uninstallExit = Export<decltype(hooks.uninstallExit)>(library, "Uninstall_Exit");
    return true;
}

}  // namespace

int WINAPI WRENFOLD_PROGRAM_ENTRY(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/,
                                  LPWSTR /*lpCmdLine*/, int /*nShowCmd*/) {
    // The whole command line as the starter passed it: the runtime's lpCmdLine would drop its
    // first word as if it were the program's name.
    bool hang = false;
    const DWORD result = RunCabInstaller(GetCommandLineW(), LoadHooks, hang);
    if (hang) {
        Sleep(INFINITE);
    }
    return static_cast<int>(result);
}
