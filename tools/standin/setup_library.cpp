#include "standin/setup_library.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "ce_loader/pe_image.h"
#include "support/compat.h"

namespace {

// A CE process has a 32 MB slot, and no library larger loads into one.
constexpr std::uint32_t kLargestImage = 32u << 20;

// The PE machine that runs on the processor GetSystemInfo names, or 0 for one no setup library
// is made for.
std::uint16_t MachineOf(DWORD processor) {
    switch (processor) {
        case 1824:   // ARM720
        case 2080:   // ARM820
        case 2336:   // ARM920
        case 2577:   // StrongARM and XScale
        case 70001:  // ARM7TDMI
            return ce::kMachineArm;
        case 386:
        case 486:
        case 586:
            return ce::kMachineI386;
        case 8664:
            return ce::kMachineAmd64;
        default:
            return 0;
    }
}

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

}  // namespace

bool CheckSetupLibrary(const std::string& bytes, std::string& error) {
    const std::vector<unsigned char> file(bytes.begin(), bytes.end());
    ce::Layout layout;
    std::string problem;
    if (!ce::ReadLayout(file, layout, problem)) {
        error = "its setup library " + std::string(problem == "not a PE file" ? "is " : "has ") +
                problem;
        return false;
    }
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const std::uint16_t machine = MachineOf(system.dwProcessorType);
    if (layout.machine != machine) {
        error = "its setup library is for machine " + Hex(layout.machine) +
                ", and this device's processor " + std::to_string(system.dwProcessorType) +
                " runs " + (machine == 0 ? std::string("none") : Hex(machine));
        return false;
    }
    if (!layout.library) {
        error = "its setup library is no DLL";
        return false;
    }
    if (layout.imageSize > kLargestImage) {
        error = "its setup library is larger than a process can hold";
        return false;
    }
    std::vector<unsigned char> image(layout.imageSize);
    ce::ExportTable exports;
    if (!ce::MapSections(file, layout, image.data(), problem) ||
        !ce::ReadExports(layout, image.data(), exports, problem)) {
        error = "its setup library has " + problem;
        return false;
    }
    for (const char* hook : {"Install_Init", "Install_Exit", "Uninstall_Init", "Uninstall_Exit"}) {
        std::uint32_t offset = 0;
        if (!ce::FindExportOffset(image.data(), image.size(), exports, hook, offset)) {
            error = std::string("its setup library does not export ") + hook;
            return false;
        }
    }
    return true;
}

bool CallRegistrationEntry(const WideString& path, const WCHAR* entry) {
    const HMODULE library = LoadLibraryW(path.c_str());
    if (library == nullptr) {
        return false;
    }
    const FARPROC found = GetProcAddressW(library, entry);
    bool registered = false;
    if (found != nullptr) {
        // Through the generic function type to the entry's own: it takes nothing and gives an
        // HRESULT, negative on failure.
        using AnyFunction = void (*)();
        using Entry = HRESULT(WINAPI*)();
        registered = reinterpret_cast<Entry>(reinterpret_cast<AnyFunction>(found))() >= 0;
    }
    FreeLibrary(library);
    return registered;
}
