// The device the demo plays on, one implementation per build: the simulated Pocket PC on the
// host (world_host.cpp), the real programs under Wine (world_wine.cpp). The scenarios
// (scenarios.cpp) are written once against these functions and the Win32 API itself.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "demo/scenarios.h"
#include "standin/cab_installer.h"
#include "support/wide_string.h"

namespace world {

// Before the first scenario: the observers and whatever the build keeps for the whole run.
void Begin();
// After the last one: what was left behind, and the program's exit code.
int End();

// A fresh start for a scenario, as far as the build can give one: the simulated device is reset
// and its programs registered; under Wine the application is closed and what an earlier run
// installed (the Flash Player's key, Korvessa and its records, the Preview folder) is removed.
void Reset();
// The stand-in CE installer where the device has its own: \Windows\WCELOAD.EXE, and
// \Windows\unload.exe for removal.
void PutInstaller();
// Korvessa.cab, as the package build made it for this world's processor, at `path`.
void PutPackage(const WCHAR* path);
// Runs the installer (or unload.exe) with the command line as the user's shell starts it, and
// gives its exit code once it has ended.
DWORD RunInstaller(const WideString& commandLine);
DWORD RunUnload(const WideString& commandLine);
// Starts the program at `path` as the shell would, keeping no handle, and waits until the
// application is up.
void StartApplication(const WCHAR* path);
// Opens Pocket Internet Explorer, as far as the hooks see it: a top-level window with that
// title, which closes on WM_CLOSE.
void OpenBrowser();
inline constexpr WCHAR kBrowserClass[] = TEXT("IExplore");
inline constexpr WCHAR kBrowserTitle[] = TEXT("Internet Explorer");

// Runs the close program the package installed, as the user would, and gives its exit code once
// it has ended.
DWORD RunCloseProgram();
// Whether the application's window is up (under Wine, after giving a starting copy a moment).
bool ApplicationRunning();

// Around each step: every box, message, pause, process and deletion of the step is shown when
// it ends, with `outcome` (under Wine also how long the step took by the wall clock).
void BeginStep();
void EndStep(const std::string& outcome);

// Prints a line.
void Say(const std::string& line);

// Shared by both worlds: writes a file of `content` (replacing one there) and gives it
// `attributes` when they are not 0.
void WriteDeviceFile(const WideString& path, const char* content, DWORD attributes = 0);

// Scenarios and options only this build can play.
std::vector<Scenario> OwnScenarios();
std::vector<ScenarioOption> OwnOptions();

}  // namespace world
