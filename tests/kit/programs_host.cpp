// The kit's programs on the simulated device: each is registered at its path and runs inside
// CreateProcessW, the installer with the product's hooks (product/product.h).
#include <fstream>
#include <iterator>
#include <string>

#include "kit/programs.h"
#include "product/product.h"
#include "sim.h"
#include "standin/cab_installer.h"
#include "standin/korvessa_app.h"

namespace kit {
namespace {

constexpr WCHAR kCloseProgramPath[] = TEXT("\\Windows\\CloseKorvessa.exe");

// Runs the program at `path` to its end (the simulated device runs it inside CreateProcessW) and
// gives its exit code, or STILL_ACTIVE while it runs on.
DWORD RunInstalled(const WCHAR* path, const WideString& commandLine) {
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(path, commandLine.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        nullptr, &info)) {
        ADD_FAILURE() << Narrow(path) << " did not start: error " << GetLastError();
        return 0xFFFFFFFF;
    }
    WaitForSingleObject(info.hProcess, 0);  // lets the device's other programs handle their mail
    DWORD exitCode = 0;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return exitCode;
}

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
        return RunCabInstaller(commandLine.c_str(), ProductSetupLibrary());
    });
    MakeFile(kUnloadPath, "stand-in unload");
    sim::RegisterProgram(kUnloadPath, [](const WideString& commandLine) {
        return RunUnload(commandLine.c_str(), ProductSetupLibrary());
    });
    // Where Korvessa.cab puts its programs: the stand-in application in place of the one its
    // makers supply, and the package's own CloseKorvessa.exe.
    RegisterStandInApplication(TEXT("\\Program Files\\Korvessa\\Korvessa.exe"));
    RegisterCloseProgram(TEXT("\\Program Files\\Korvessa\\CloseKorvessa.exe"));
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
    ASSERT_TRUE(stream.good() || stream.eof()) << from << " cannot be read";
    ASSERT_FALSE(bytes.empty()) << from << " is missing: build the package first";
    MakeFile(path, bytes);
}

DWORD RunUnload(const WideString& name) {
    return RunInstalled(kUnloadPath, TEXT("\"") + name + TEXT("\""));
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

DWORD RunInstaller(const WideString& commandLine) {
    return RunInstalled(kInstallerPath, commandLine);
}

DWORD RunCloseProgram(const WCHAR* commandLine, const WCHAR* installed) {
    if (installed == nullptr && !PathExists(kCloseProgramPath)) {
        MakeFolders(TEXT("\\Windows"));
        PutCloseProgram(kCloseProgramPath);
    }
    return RunInstalled(installed == nullptr ? kCloseProgramPath : installed, commandLine);
}

}  // namespace kit
