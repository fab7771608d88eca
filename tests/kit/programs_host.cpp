// The kit's programs on the simulated device: each is registered at its path and runs inside
// CreateProcessW, the installer with the product's hooks (product/product.h).
#include "kit/programs.h"
#include "product/product.h"
#include "sim.h"
#include "standin/cab_installer.h"
#include "standin/korvessa_app.h"

namespace kit {
namespace {

constexpr WCHAR kCloseProgramPath[] = TEXT("\\Windows\\CloseKorvessa.exe");

}  // namespace

void InstallStandInApplication(const WCHAR* path) {
    MakeFile(path, "stand-in Korvessa");
    RegisterStandInApplication(path);
}

HWND WaitForApplicationWindow() {
    return FindWindowW(TEXT("KorvessaNotify"), TEXT(""));
}

void CloseApplication() {
    if (const HWND window = WaitForApplicationWindow()) {
        SendMessageW(window, WM_CLOSE, 0, 0);
    }
}

void StartProgram(const WideString& path) {
    PROCESS_INFORMATION info{};
    if (CreateProcessW(path.c_str(), TEXT(""), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       nullptr, &info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
}

void InstallStandInInstaller() {
    MakeFolders(TEXT("\\Windows"));
    MakeFile(kInstallerPath, "stand-in WCELOAD");
    sim::RegisterProgram(kInstallerPath, [](const WideString& commandLine) {
        // The device's installer finds the product's hooks under any library name.
        const auto productHooks = [](LPCWSTR /*library*/, SetupHooks& hooks) {
            hooks = ProductHooks();
            return true;
        };
        bool hang = false;
        const DWORD result = RunCabInstaller(commandLine.c_str(), productHooks, hang);
        return hang ? sim::kStillRunning : result;
    });
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

WideString SetupLibrary() {
    return TEXT("Wrenfold.dll");
}

WideString ApplicationSource() {
    const WideString source = WideString(kTestFolder) + TEXT("\\Korvessa.new");
    if (!PathExists(source)) {
        MakeFile(source, "stand-in Korvessa, new version");
    }
    return source;
}

DWORD RunInstaller(const WideString& commandLine) {
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(kInstallerPath, commandLine.c_str(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, nullptr, &info)) {
        ADD_FAILURE() << "the installer did not start: error " << GetLastError();
        return 0xFFFFFFFF;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return exitCode;
}

DWORD RunCloseProgram(const WCHAR* commandLine) {
    if (!PathExists(kCloseProgramPath)) {
        MakeFolders(TEXT("\\Windows"));
        MakeFile(kCloseProgramPath, "CloseKorvessa");
        RegisterCloseProgram(kCloseProgramPath);
    }
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(kCloseProgramPath, commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, nullptr, &info)) {
        ADD_FAILURE() << "CloseKorvessa did not start: error " << GetLastError();
        return 0xFFFFFFFF;
    }
    WaitForSingleObject(info.hProcess, 0);
    DWORD exitCode = 0;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return exitCode;
}

}  // namespace kit
