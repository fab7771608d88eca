// Windows only: the setup hooks of a real library, found by name as the platform's installer
// finds them.
#include "standin/cab_installer.h"

namespace {

template <class Hook>
Hook Export(HMODULE library, const char* name) {
    return reinterpret_cast<Hook>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

bool LoadSetupLibraryHooks(LPCWSTR libraryName, SetupHooks& hooks) {
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
