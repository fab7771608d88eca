// The test kit's programs: the stand-in application and CAB installer (tools/standin) and the
// close program, put where a test starts them and observed through the marks they leave. Only
// the suites that run programs link this part.
#pragma once

#include "kit/kit.h"

namespace kit {

// ---- Programs -------------------------------------------------------------------------------
// Puts the stand-in application at `path`, so that starting that path runs it.
void InstallStandInApplication(const WCHAR* path);
// The application's notification window once it is up (under Wine, waiting a few seconds for
// it), or null.
HWND WaitForApplicationWindow();
// Closes the running stand-in application, if any, and waits until it has gone.
void CloseApplication();
// How often the stand-in application started since ResetWorld, and its latest command line.
DWORD ApplicationStarts();
WideString ApplicationCommandLine();
// Runs CloseKorvessa with the command line and returns its exit code once it has ended: the
// kit's own copy, or the one at `installed` (where a package put it).
DWORD RunCloseProgram(const WCHAR* commandLine, const WCHAR* installed = nullptr);
// Starts the program at `path` as the shell would, with an empty command line and no handle
// kept; under Wine, waits until the stand-in application's window is up.
void StartProgram(const WideString& path);

// ---- The CE installer -----------------------------------------------------------------------
// Puts the stand-in CE installer (tools/standin/cab_installer.h) at \Windows\WCELOAD.EXE and its
// removal program at \Windows\unload.exe; on the simulated device, also registers the programs
// of Korvessa.cab where it installs them, so that starting them runs them.
void InstallStandInInstaller();
inline const WCHAR* const kInstallerPath = TEXT("\\Windows\\WCELOAD.EXE");
inline const WCHAR* const kUnloadPath = TEXT("\\Windows\\unload.exe");
// Puts at \Windows\WCELOAD.EXE a program that never ends (the stand-in application: an
// installer stuck on a dialog, as far as its starter can tell).
void InstallStuckInstaller();
// Copies the package `name` the package build made (Korvessa.cab, for this build's processor, or
// a theme's .tsk) onto the device at `path`.
void PutPackage(const char* name, const WideString& path);
// Runs the installer with `commandLine` and waits for it to end: its exit code, or STILL_ACTIVE
// while it is still running.
DWORD RunInstaller(const WideString& commandLine);
// Runs unload.exe for the application `name` ("Ternwick Korvessa") and waits for it to end.
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
// simulated device logs them; Windows keeps no record a test can read, and this returns false.
bool InstallerCreationFlags(DWORD& flags);

}  // namespace kit
