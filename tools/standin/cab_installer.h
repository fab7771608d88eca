// A stand-in for the platform's CE installer: \Windows\WCELOAD.EXE, which installs a CE package
// (a cabinet whose `.000` member holds the instructions and whose `.999` member is the setup
// library), and \Windows\unload.exe, which removes an installed application again. It does what
// the CE installer does, in its order, calling the setup library's hooks as it calls them: a
// package for an application already installed replaces it, once the user agrees, removing the
// earlier installation as unload.exe does; what it installs it records where the device keeps
// its records (standin/install_record.h); what it could not install or remove it tells the user.
//
//   WCELOAD.EXE [/delete 0|1] [/noui] [/nouninstall] [/safe] [/noaskdest] "package"
//   unload.exe "Provider AppName"
//
// The package is the command line's last double-quoted argument (else its last word). Each start
// leaves a mark in the registry so that tests can see how the installer was started, what it
// found and, when it stopped short, why.
#pragma once

#include <ce_setup.h>
#include <windows.h>

// Where the marks go: HKEY_CURRENT_USER, this key. "Starts" counts the starts of either program,
// "CommandLine" is the latest command line as received, "PackageAttributes" the package file's
// attributes when the installer began, "Result" its exit code and "Error" what stopped it ("" when
// nothing did).
inline constexpr WCHAR kInstallerMarkKey[] = TEXT("Software\\WrenfoldTest\\Installer");

// Where the device lists installed applications, HKLM\Software\Apps\<Provider> <AppName>, and
// its folder of the kept setup libraries and instructions (standin/install_record.h has them all).
inline constexpr WCHAR kAppsKey[] = TEXT("Software\\Apps");
inline constexpr WCHAR kRecordFolder[] = TEXT("\\Windows\\AppMgr");

// The setup hooks of a loaded setup library; null where it lacks one.
struct SetupHooks {
    pfnINSTALL_INIT installInit;
    pfnINSTALL_EXIT installExit;
    pfnUNINSTALL_INIT uninstallInit;
    pfnUNINSTALL_EXIT uninstallExit;
};

// How a world loads the setup library the installer has put on the device at `path` (a device
// path): `load` fills the hooks and a token for `unload`, or fails; `unload` is called once for
// every library loaded, before its file is deleted.
struct SetupLibraryLoader {
    bool (*load)(LPCWSTR path, SetupHooks& hooks, void*& library);
    void (*unload)(void* library);
};

// Windows only: LoadLibraryW of the path and its four exports by name, as the platform's
// installer takes them; FreeLibrary to unload.
extern const SetupLibraryLoader kLoadLibraryLoader;

// Exit codes.
constexpr DWORD kInstallerDone = 0;
// A hook cancelled, Install_Exit asked for the installation to be undone, or the user declined
// (to replace the installed application, or to install on a platform the package does not
// support).
constexpr DWORD kInstallerCancelled = 1;
// No package, none the installer can read (a damaged one, a setup library the device could not
// load: "not a valid Windows CE Setup file"), or, for removal, records it cannot read.
constexpr DWORD kInstallerNoPackage = 2;
// The package is not for this device (processor, version, build), or /safe refused it.
constexpr DWORD kInstallerRefused = 3;
// unload.exe: no application of that name is installed.
constexpr DWORD kInstallerNotInstalled = 4;
// Done but for some parts: files, folders, values or shortcuts that could not be installed
// (Install_Exit was told how many) or removed (the removal record keeps them, for another try).
constexpr DWORD kInstallerIncomplete = 5;
// Begun and undone: a file that may not be skipped could not be installed.
constexpr DWORD kInstallerUndone = 6;

DWORD RunCabInstaller(LPCWSTR commandLine, const SetupLibraryLoader& loader);
DWORD RunUnload(LPCWSTR commandLine, const SetupLibraryLoader& loader);
