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
// Runs CloseKorvessa with the command line and returns its exit code once it has ended.
DWORD RunCloseProgram(const WCHAR* commandLine);
// Starts the program at `path` as the shell would, with an empty command line and no handle
// kept; under Wine, waits until the stand-in application's window is up.
void StartProgram(const WideString& path);

// ---- The CAB installer ----------------------------------------------------------------------
// Puts the stand-in CAB installer (tools/standin/cab_installer.h) at \Windows\WCELOAD.EXE.
void InstallStandInInstaller();
inline const WCHAR* const kInstallerPath = TEXT("\\Windows\\WCELOAD.EXE");
// The setup library a package names: under Wine the built Wrenfold.dll, loaded by name; on the
// simulated device, the hooks linked into the test.
WideString SetupLibrary();
// A file to install the stand-in application from.
WideString ApplicationSource();
// Runs the installer with `commandLine` and waits for it to end: its exit code, or STILL_ACTIVE
// while it is still running.
DWORD RunInstaller(const WideString& commandLine);
// What the installer's latest start left in the registry.
struct InstallerStart {
    DWORD starts = 0;
    WideString commandLine;
    DWORD packageAttributes = INVALID_FILE_ATTRIBUTES;
    DWORD result = 0;
};
InstallerStart LastInstallerStart();
// The creation flags of the installer's latest start, where the build can see them: the
// simulated device logs them; Windows keeps no record a test can read, and this returns false.
bool InstallerCreationFlags(DWORD& flags);

}  // namespace kit
