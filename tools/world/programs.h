// The world's programs: the stand-in application and CE installer (tools/standin) and the close
// program, put where the device has them and run as its shell runs them, observed through the
// marks they leave. On the simulated device each is registered at its path and runs inside
// CreateProcessW, with the product in the form the program links (product/product.h); under Wine
// they are the built programs, run as processes. Only programs that run them link this part.
#pragma once

#include "standin/cab_installer.h"
#include "world/world.h"

namespace world {

inline const WCHAR* const kInstallerPath = TEXT("\\Windows\\WCELOAD.EXE");
inline const WCHAR* const kUnloadPath = TEXT("\\Windows\\unload.exe");
inline const WCHAR* const kInstalledApplication = TEXT("\\Program Files\\Korvessa\\Korvessa.exe");
inline const WCHAR* const kInstalledCloseProgram =
    TEXT("\\Program Files\\Korvessa\\CloseKorvessa.exe");

// ---- The application ------------------------------------------------------------------------
// Puts the stand-in application at `path`, so that starting that path runs it.
void InstallStandInApplication(const WCHAR* path);
// Starts the program at `path` as the shell would, with an empty command line and no handle
// kept; under Wine, waits until the stand-in application's window is up.
void StartProgram(const WideString& path);
// The application's notification window, or null: at once, or (under Wine) after giving a
// starting copy a few seconds.
HWND ApplicationWindow();
HWND WaitForApplicationWindow();
// Closes the running stand-in application, if any, and waits until it has gone.
void CloseApplication();
// How often the stand-in application started since Reset, and its latest command line.
DWORD ApplicationStarts();
WideString ApplicationCommandLine();

// Runs CloseKorvessa with the command line, the world's own copy or the one at `installed` (where
// a package put it), and gives its exit code once it has ended.
DWORD RunCloseProgram(const WCHAR* commandLine, const WCHAR* installed = nullptr);

// ---- The CE installer -----------------------------------------------------------------------
// Puts the stand-in CE installer at kInstallerPath and its removal program at kUnloadPath; on the
// simulated device, also registers the programs Korvessa.cab installs where it puts them. With
// `inside`, both run inside the caller and load the package's setup library through it (under
// Wine so that the caller may record what the library asks of the platform); else the product's
// hooks as the program links them (host), or the installed library by LoadLibrary in a process of
// the installer's own (Wine).
void InstallStandInInstaller(const SetupLibraryLoader* inside = nullptr);
// Puts at kInstallerPath a program that never ends (the stand-in application: an installer stuck
// on a dialog, as far as its starter can tell).
void InstallStuckInstaller();
// Copies the package `name` made for this world by the host build's builder (Korvessa.cab, for
// this world's processor, or a theme's .tsk) onto the device at `path`, as a plain file.
void PutPackage(const char* name, const WideString& path);
// Runs the installer with `commandLine`, or unload.exe for the application `name` ("Ternwick
// Korvessa"), and gives its exit code once it has ended: STILL_ACTIVE while it runs on, 0xFFFFFFFF
// when it did not start.
DWORD RunInstaller(const WideString& commandLine);
DWORD RunUnload(const WideString& name);

// What the installer's latest start left in the registry.
struct InstallerStart {
    DWORD starts = 0;
    WideString commandLine;
    DWORD packageAttributes = INVALID_FILE_ATTRIBUTES;
    DWORD result = 0;
    std::string error;  // what stopped it, "" when nothing did
};
InstallerStart LastInstallerStart();
// The creation flags of the installer's latest start, where the build can see them: the
// simulated device logs them; Windows keeps no record to read, and this gives false.
bool InstallerCreationFlags(DWORD& flags);

}  // namespace world
