// Windows only: the setup library the installer put on the device, loaded by its path and its
// hooks found by name, as the platform's installer finds them.
#include "standin/cab_installer.h"

namespace {

template <class Hook>
Hook Export(HMODULE library, const char* name) {
    return reinterpret_cast<Hook>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

bool Load(LPCWSTR path, SetupHooks& hooks, void*& token) {
    const HMODULE library = LoadLibraryW(path);
    if (library == nullptr) {
        return false;
    }
    hooks.installInit = Export<decltype(hooks.installInit)>(library, "Install_Init");
    hooks.installExit = Export<decltype(hooks.installExit)>(library, "Install_Exit");
    hooks.uninstallInit = Export<decltype(hooks.uninstallInit)>(library, "Uninstall_Init");
    hooks.uninstallExit = Export<decltype(hooks.uninstallExit)>(library, "Uninstall_Exit");
    token = library;
    return true;
}

void Unload(void* token) {
    FreeLibrary(static_cast<HMODULE>(token));
}

}  // namespace

const SetupLibraryLoader kLoadLibraryLoader{Load, Unload};
