// The world's programs under Wine: the built stand-ins and CloseKorvessa.exe, copied where the
// device has them or run from the build, as real processes; or the installer inside the caller.
#include "world/internal.h"
#include "world/programs.h"
#include "world/wine.h"

namespace world {
namespace {

// Runs one of the rig's programs to its end, or for `timeout` milliseconds at most.
DWORD RunTestProgram(LPCWSTR program, const WideString& commandLine, DWORD timeout,
                     const char* name) {
    PROCESS_INFORMATION info{};
    if (!StartTestProgram(program, commandLine.c_str(), info)) {
        detail::Failed(std::string(name) + " did not start: error " +
                       std::to_string(GetLastError()));
        return 0xFFFFFFFF;
    }
    if (!WaitPumping(info.hProcess, timeout)) {
        detail::Failed(std::string(name) + " hangs");
    }
    DWORD exitCode = 0xFFFFFFFF;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return exitCode;
}

// The loader the installer runs inside the caller with, or null for the installer's process.
const SetupLibraryLoader*& InstallerInside() {
    static const SetupLibraryLoader* loader = nullptr;
    return loader;
}

}  // namespace

void InstallStandInApplication(const WCHAR* path) {
    CopyToDevice(L"" WRENFOLD_STANDIN_PROGRAM, path);
}

void StartProgram(const WideString& path) {
    PROCESS_INFORMATION info{};
    if (StartTestProgram(path.c_str(), L"", info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    WaitForApplicationWindow();
}

HWND WaitForApplicationWindow() {
    PumpUntil([] { return ApplicationWindow() != nullptr; }, 5000);
    return ApplicationWindow();
}

void CloseApplication() {
    CloseStandInApplication();
}

DWORD RunCloseProgram(const WCHAR* commandLine, const WCHAR* installed) {
    // The C runtime takes the first word of the command line as the program's own name.
    return RunTestProgram(installed == nullptr ? L"" WRENFOLD_CLOSE_PROGRAM : installed,
                          L"CloseKorvessa.exe " + WideString(commandLine), 15000, "CloseKorvessa");
}

void InstallStandInInstaller(const SetupLibraryLoader* inside) {
    InstallerInside() = inside;
    if (inside == nullptr) {
        CopyToDevice(L"" WRENFOLD_INSTALLER_PROGRAM, kInstallerPath);
        CopyToDevice(L"" WRENFOLD_UNLOAD_PROGRAM, kUnloadPath);
    }
}

void InstallStuckInstaller() {
    CopyToDevice(L"" WRENFOLD_STANDIN_PROGRAM, kInstallerPath);
}

void PutPackage(const char* name, const WideString& path) {
    CopyToDevice((L"" WRENFOLD_PACKAGES L"\\" + Widen(name)).c_str(), path);
    // A copy keeps the source's attributes; the package arrives as a plain file.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

DWORD RunInstaller(const WideString& commandLine) {
    if (InstallerInside() != nullptr) {
        return RunCabInstaller(commandLine.c_str(), *InstallerInside());
    }
    return RunTestProgram(kInstallerPath, commandLine, 30000, "the installer");
}

DWORD RunUnload(const WideString& name) {
    const WideString commandLine = L"\"" + name + L"\"";
    if (InstallerInside() != nullptr) {
        return ::RunUnload(commandLine.c_str(), *InstallerInside());
    }
    return RunTestProgram(kUnloadPath, commandLine, 30000, "unload.exe");
}

bool InstallerCreationFlags(DWORD& /*flags*/) {
    return false;
}

}  // namespace world
