// The product compiled into the program: the hooks and the close program are called directly.
#include "product/product.h"
#include "setup/hooks.h"
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

const SetupHooks& ProductHooks() {
    static const SetupHooks linked{Install_Init, Install_Exit, Uninstall_Init, Uninstall_Exit};
    return linked;
}

const char* ProductOrigin() {
    return "The simulated Pocket PC, with the product compiled into the demo.";
}

GradientFill ProductGradientFill() {
    return FillBandedGradient;
}
