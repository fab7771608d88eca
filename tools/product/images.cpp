// The product as users install it: Wrenfold.dll and CloseKorvessa.exe as the device build made
// them, run by the CE loader on the processor's own terms, with the simulated device as their
// COREDLL.dll. Each is read from the simulated device, where the installer put it, so the bytes
// a package carries are the bytes that run: the library is loaded when the installer loads it
// and detached when it unloads it, and the close program afresh for each run, as a process is.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ce_loader/ce_image.h"
#include "product/product.h"
#include "sim.h"
#include "standin/file_bytes.h"
#include "support/wide_string.h"
#include "world/text.h"

namespace {

// The device file's bytes, through the device's own file calls; empty when it cannot be read.
std::vector<unsigned char> DeviceFile(const WCHAR* path) {
    std::string bytes;
    ReadFileBytes(path, bytes);
    return {bytes.begin(), bytes.end()};
}

bool LoadImage(const WCHAR* path, ce::Image& image) {
    std::string error;
    if (!ce::Load(DeviceFile(path), Narrow(path), ce::Coredll(), image, error)) {
        std::fprintf(stderr, "the CE loader refuses %s\n", error.c_str());
        return false;
    }
    return true;
}

template <class Hook>
Hook Export(const ce::Image& image, const char* name) {
    return reinterpret_cast<Hook>(ce::FindExport(image, name));
}

bool LoadLibraryImage(LPCWSTR path, SetupHooks& hooks, void*& token) {
    auto* image = new ce::Image;
    if (!LoadImage(path, *image) || !image->library ||
        !ce::CallDllMain(*image, DLL_PROCESS_ATTACH)) {
        ce::Unload(*image);
        delete image;
        return false;
    }
    hooks.installInit = Export<decltype(hooks.installInit)>(*image, "Install_Init");
    hooks.installExit = Export<decltype(hooks.installExit)>(*image, "Install_Exit");
    hooks.uninstallInit = Export<decltype(hooks.uninstallInit)>(*image, "Uninstall_Init");
    hooks.uninstallExit = Export<decltype(hooks.uninstallExit)>(*image, "Uninstall_Exit");
    token = image;
    return true;
}

void UnloadLibraryImage(void* token) {
    auto* image = static_cast<ce::Image*>(token);
    ce::CallDllMain(*image, DLL_PROCESS_DETACH);
    ce::Unload(*image);
    delete image;
}

}  // namespace

void RegisterCloseProgram(const WCHAR* path) {
    const WideString at = path;
    sim::RegisterProgram(path, [at](const WideString& commandLine) {
        ce::Image program;
        if (!LoadImage(at.c_str(), program)) {
            return static_cast<DWORD>(ERROR_BAD_EXE_FORMAT);
        }
        WideString writable = commandLine;
        const int exitCode = ce::CallWinMain(program, writable.data());
        ce::Unload(program);
        return static_cast<DWORD>(exitCode);
    });
}

void PutCloseProgram(const WCHAR* path) {
    std::ifstream stream(WRENFOLD_DEVICE_PROGRAM, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(stream),
                            std::istreambuf_iterator<char>()};
    WriteFileBytes(path, bytes);
    RegisterCloseProgram(path);
}

const SetupLibraryLoader& ProductSetupLibrary() {
    static const SetupLibraryLoader images{LoadLibraryImage, UnloadLibraryImage};
    return images;
}

const char* ProductOrigin() {
    return "The simulated Pocket PC, running the device's own Wrenfold.dll and CloseKorvessa.exe "
           "on an emulated XScale.";
}

GradientFill ProductGradientFill() {
    return nullptr;
}
