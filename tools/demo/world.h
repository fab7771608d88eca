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
// and its programs registered; under Wine the application is closed and the Flash Player's key,
// the Preview folder and the old files are removed.
void Reset();
// Puts the Korvessa program at `path`: a file on the simulated device, the stand-in program
// under Wine.
void PutApplication(const WCHAR* path);
// The close program where the user starts it, \Windows\CloseKorvessa.exe: on the simulated
// device its file, under Wine a copy of the built program.
void PutCloseProgram();
// Starts the program at `path` as the shell would, keeping no handle, and waits until the
// application is up.
void StartApplication(const WCHAR* path);
// Opens Pocket Internet Explorer, as far as the hooks see it: a top-level window with that
// title, which closes on WM_CLOSE.
void OpenBrowser();
inline constexpr WCHAR kBrowserClass[] = TEXT("IExplore");
inline constexpr WCHAR kBrowserTitle[] = TEXT("Internet Explorer");

// The hooks as the installer calls them: linked into the demo on the host, taken from the built
// Wrenfold.dll, loaded by name, under Wine.
const SetupHooks& Hooks();
// Runs the close program as the user would, and gives its exit code once it has ended.
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
