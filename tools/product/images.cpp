// The product as users install it: Wrenfold.dll and CloseKorvessa.exe from the device build, run
// by the CE loader on the processor's own terms, with the simulated device as their COREDLL.dll.
// The library is loaded once, as the installer loads it, and detached when the program ends;
// the close program is loaded afresh for each run, as a process is.
#include <cstdio>
#include <cstdlib>

#include "ce_loader/ce_image.h"
#include "product/product.h"
#include "sim.h"
#include "support/wide_string.h"

namespace {

ce::Image& Library() {
    static ce::Image library = [] {
        ce::Image image = ce::LoadOrStop(WRENFOLD_DEVICE_LIBRARY);
        if (!ce::CallDllMain(image, DLL_PROCESS_ATTACH)) {
            std::fprintf(stderr, "%s refused to attach\n", WRENFOLD_DEVICE_LIBRARY);
            std::exit(1);
        }
        std::atexit([] {
            ce::CallDllMain(Library(), DLL_PROCESS_DETACH);
            ce::Unload(Library());
        });
        return image;
    }();
    return library;
}

template <class Hook>
Hook Export(const char* name) {
    return reinterpret_cast<Hook>(ce::FindExport(Library(), name));
}

}  // namespace

void RegisterCloseProgram(const WCHAR* path) {
    sim::RegisterProgram(path, [](const WideString& commandLine) {
        ce::Image program = ce::LoadOrStop(WRENFOLD_DEVICE_PROGRAM);
        WideString writable = commandLine;
        const int exitCode = ce::CallWinMain(program, writable.data());
        ce::Unload(program);
        return static_cast<DWORD>(exitCode);
    });
}

const SetupHooks& ProductHooks() {
    static const SetupHooks hooks{
        Export<decltype(SetupHooks::installInit)>("Install_Init"),
        Export<decltype(SetupHooks::installExit)>("Install_Exit"),
        Export<decltype(SetupHooks::uninstallInit)>("Uninstall_Init"),
        Export<decltype(SetupHooks::uninstallExit)>("Uninstall_Exit"),
    };
    return hooks;
}

const char* ProductOrigin() {
    return "The simulated Pocket PC, running the device's own Wrenfold.dll and CloseKorvessa.exe "
           "on an emulated XScale.";
}

GradientFill ProductGradientFill() {
    return nullptr;
}
