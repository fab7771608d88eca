// The product compiled into the program: the hooks and the close program are called directly.
#include <ce_setup.h>

#include "product/product.h"
#include "sim.h"
#include "support/draw.h"
#include "support/wide_string.h"

void RegisterCloseProgram(const WCHAR* path) {
    sim::RegisterProgram(path, [](const WideString& commandLine) {
        // The entry may write into its command line, as WinMain's may.
        WideString writable = commandLine;
        return static_cast<DWORD>(CloseKorvessaMain(nullptr, nullptr, writable.data(), SW_SHOW));
    });
}

void PutCloseProgram(const WCHAR* path) {
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
    RegisterCloseProgram(path);
}

namespace {

// The hooks compiled in stand for whatever library the package carries; it must be on the
// device all the same.
bool LoadLinked(LPCWSTR path, SetupHooks& hooks, void*& token) {
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    hooks = SetupHooks{Install_Init, Install_Exit, Uninstall_Init, Uninstall_Exit};
    token = nullptr;
    return true;
}

void UnloadLinked(void* /*token*/) {}

}  // namespace

const SetupLibraryLoader& ProductSetupLibrary() {
    static const SetupLibraryLoader linked{LoadLinked, UnloadLinked};
    return linked;
}

const char* ProductOrigin() {
    return "The simulated Pocket PC, with the product compiled into the demo.";
}

GradientFill ProductGradientFill() {
    return FillBandedGradient;
}
