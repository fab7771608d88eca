// A stand-in for the platform's CAB installer (\Windows\WCELOAD.EXE). Its packages are text files
// (a real CAB's contents are the installer's business), one directive a line, fields separated
// by tabs:
//
//   setup<TAB>library          the setup library whose hooks are called around the copying
//   folder<TAB>path            the install folder handed to the hooks
//   copy<TAB>source<TAB>target copy a file
//   write<TAB>path             create a small file (a theme's image, say)
//   hang                       never finish, like an installer stuck on a dialog
//
// The package is the command line's last double-quoted argument (else its last word);
// "/uninstall" anywhere in it removes the package instead. Each start leaves a mark in the
// registry so tests can see how the installer was started and what it found.
#pragma once

#include <windows.h>

#include "setup/hooks.h"

// Where the marks go: HKEY_CURRENT_USER, this key. "Starts" counts the starts, "CommandLine" is
// the latest command line as received, "PackageAttributes" the package file's attributes when
// the installer began, "Result" its exit code.
inline constexpr WCHAR kInstallerMarkKey[] = TEXT("Software\\WrenfoldTest\\Installer");

// The setup hooks of a loaded setup library, as the installer calls them. Null when the package
// names none, or the library could not be loaded.
struct SetupHooks {
    decltype(&Install_Init) installInit;
    decltype(&Install_Exit) installExit;
    decltype(&Uninstall_Init) uninstallInit;
    decltype(&Uninstall_Exit) uninstallExit;
};

// Finds the library the package names, or fills nothing.
using LoadSetupHooks = bool (*)(LPCWSTR library, SetupHooks& hooks);

// Windows only: loads the library by name, as the platform's installer does, and takes its four
// hooks (null where it lacks one). False when it cannot be loaded; it stays loaded.
bool LoadSetupLibraryHooks(LPCWSTR libraryName, SetupHooks& hooks);

// Exit codes.
constexpr DWORD kInstallerDone = 0;
constexpr DWORD kInstallerCancelled = 1;
constexpr DWORD kInstallerNoPackage = 2;

// Runs the installer over its command line. `hang` is set when the package asks the installer
// never to finish; the caller then keeps the process alive.
DWORD RunCabInstaller(LPCWSTR commandLine, LoadSetupHooks load, bool& hang);
