// The kit's programs under Wine: the built stand-ins and CloseKorvessa.exe, copied where a test
// starts them or run from the build, as real processes.
#include "kit/kit_internal.h"
#include "kit/programs.h"

namespace kit {
namespace {

// Runs one of the test's own programs to its end and gives its exit code; one that does not start
// (0xFFFFFFFF) or does not end in time fails the test.
DWORD RunTestProgram(LPCWSTR program, const WideString& commandLine, DWORD timeout,
                     const char* name) {
    PROCESS_INFORMATION info{};
    if (!detail::StartTestProgram(program, commandLine.c_str(), info)) {
        ADD_FAILURE() << name << " did not start: error " << GetLastError();
        return 0xFFFFFFFF;
    }
    EXPECT_EQ(WaitForSingleObject(info.hProcess, timeout), WAIT_OBJECT_0) << name << " hangs";
    DWORD exitCode = 0xFFFFFFFF;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return exitCode;
}

}  // namespace

void InstallStandInApplication(const WCHAR* path) {
    ASSERT_TRUE(CopyFileW(L"" WRENFOLD_STANDIN_PROGRAM, path, FALSE))
        << "error " << GetLastError() << " copying to " << Narrow(path);
}

HWND WaitForApplicationWindow() {
    for (int waited = 0; waited < 5000; waited += 20) {
        if (const HWND window = FindWindowW(L"KorvessaNotify", L"")) {
            return window;
        }
        Sleep(20);
    }
    return nullptr;
}

void CloseApplication() {
    detail::CloseStandInApplication();
}

void StartProgram(const WideString& path) {
    PROCESS_INFORMATION info{};
    if (detail::StartTestProgram(path.c_str(), L"", info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    WaitForApplicationWindow();
}

void InstallStandInInstaller() {
    ASSERT_TRUE(CopyFileW(L"" WRENFOLD_INSTALLER_PROGRAM, kInstallerPath, FALSE))
        << "error " << GetLastError();
    ASSERT_TRUE(CopyFileW(L"" WRENFOLD_UNLOAD_PROGRAM, kUnloadPath, FALSE))
        << "error " << GetLastError();
}

void InstallStuckInstaller() {
    ASSERT_TRUE(CopyFileW(L"" WRENFOLD_STANDIN_PROGRAM, kInstallerPath, FALSE))
        << "error " << GetLastError();
}

void PutPackage(const char* name, const WideString& path) {
    WideString from = L"" WRENFOLD_PACKAGES L"\\";
    for (const char* c = name; *c != 0; ++c) {
        from += static_cast<WCHAR>(*c);
    }
    ASSERT_TRUE(CopyFileW(from.c_str(), path.c_str(), FALSE))
        << "error " << GetLastError() << " copying " << Narrow(from);
    // A copy keeps the source's attributes; the package arrives as a plain file.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

DWORD RunUnload(const WideString& name) {
    return RunTestProgram(kUnloadPath, L"\"" + name + L"\"", 30000, "unload.exe");
}

bool InstallerCreationFlags(DWORD& /*flags*/) {
    return false;
}

DWORD RunInstaller(const WideString& commandLine) {
    return RunTestProgram(kInstallerPath, commandLine, 30000, "the installer");
}

DWORD RunCloseProgram(const WCHAR* commandLine, const WCHAR* installed) {
    // The C runtime takes the first word of the command line as the program's own name.
    return RunTestProgram(installed == nullptr ? L"" WRENFOLD_CLOSE_PROGRAM : installed,
                          L"CloseKorvessa.exe " + WideString(commandLine), 15000, "CloseKorvessa");
}

}  // namespace kit
