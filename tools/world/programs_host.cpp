// The world's programs on the simulated device: each is registered at its path and runs inside
// CreateProcessW, the installer with the product's hooks (product/product.h).
#include <fstream>
#include <iterator>

#include "product/product.h"
#include "sim.h"
#include "standin/korvessa_app.h"
#include "world/internal.h"
#include "world/programs.h"

namespace world {
namespace {

constexpr WCHAR kCloseProgramPath[] = TEXT("\\Windows\\CloseKorvessa.exe");

// Runs the program at `path` to its end (the simulated device runs it inside CreateProcessW).
DWORD RunToEnd(const WCHAR* path, const WideString& commandLine) {
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(path, commandLine.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        nullptr, &info)) {
        detail::Failed(Narrow(path) + " did not start: error " + std::to_string(GetLastError()));
        return 0xFFFFFFFF;
    }
    WaitForSingleObject(info.hProcess, 0);  // lets the device's other programs handle their mail
    DWORD exitCode = 0;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return exitCode;
}

const SetupLibraryLoader*& InstallerLoader() {
    static const SetupLibraryLoader* loader = nullptr;
    return loader;
}

}  // namespace

void InstallStandInApplication(const WCHAR* path) {
    MakeFile(path, "stand-in Korvessa");
    RegisterStandInApplication(path);
}

void StartProgram(const WideString& path) {
    PROCESS_INFORMATION info{};
    if (CreateProcessW(path.c_str(), TEXT(""), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       nullptr, &info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
}

HWND WaitForApplicationWindow() {
    return ApplicationWindow();
}

void CloseApplication() {
    if (const HWND window = ApplicationWindow()) {
        SendMessageW(window, WM_CLOSE, 0, 0);
    }
}

DWORD RunCloseProgram(const WCHAR* commandLine, const WCHAR* installed) {
    if (installed == nullptr && !PathExists(kCloseProgramPath)) {
        MakeFolders(TEXT("\\Windows"));
        PutCloseProgram(kCloseProgramPath);
    }
    return RunToEnd(installed == nullptr ? kCloseProgramPath : installed, commandLine);
}

void InstallStandInInstaller(const SetupLibraryLoader* inside) {
    InstallerLoader() = inside != nullptr ? inside : &ProductSetupLibrary();
    MakeFolders(TEXT("\\Windows"));
    MakeFile(kInstallerPath, "stand-in WCELOAD");
    MakeFile(kUnloadPath, "stand-in unload");
    sim::RegisterProgram(kInstallerPath, [](const WideString& commandLine) {
        return RunCabInstaller(commandLine.c_str(), *InstallerLoader());
    });
    sim::RegisterProgram(kUnloadPath, [](const WideString& commandLine) {
        return ::RunUnload(commandLine.c_str(), *InstallerLoader());
    });
    // Where Korvessa.cab puts its programs: the stand-in application in place of the one its
    // makers supply, and the package's own CloseKorvessa.exe.
    RegisterStandInApplication(kInstalledApplication);
    RegisterCloseProgram(kInstalledCloseProgram);
}

void InstallStuckInstaller() {
    MakeFolders(TEXT("\\Windows"));
    InstallStandInApplication(kInstallerPath);
}

void PutPackage(const char* name, const WideString& path) {
    const std::string from = std::string(WRENFOLD_PACKAGES) + "/" + name;
    std::ifstream stream(from, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(stream),
                            std::istreambuf_iterator<char>()};
    if (bytes.empty()) {
        detail::Failed(from + " is missing: build the package first");
        return;
    }
    MakeFile(path, bytes);
}

DWORD RunInstaller(const WideString& commandLine) {
    return RunToEnd(kInstallerPath, commandLine);
}

DWORD RunUnload(const WideString& name) {
    return RunToEnd(kUnloadPath, TEXT("\"") + name + TEXT("\""));
}

bool InstallerCreationFlags(DWORD& flags) {
    const std::vector<sim::Event>& events = sim::Events();
    for (auto event = events.rbegin(); event != events.rend(); ++event) {
        if (event->kind == sim::EventKind::ProcessStarted &&
            _wcsicmp(event->path.c_str(), kInstallerPath) == 0) {
            flags = event->flags;
            return true;
        }
    }
    return false;
}

}  // namespace world
