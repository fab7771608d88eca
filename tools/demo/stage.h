// The world as the demo's transcript sees it, one implementation per build: on the host the
// simulated device's own log (stage_host.cpp); under Wine what the demo's recorders and the
// stand-ins report, put in the simulated device's order (stage_wine.cpp). The scenarios
// (scenarios.cpp) are written once against these functions, the world (tools/world) and the
// Win32 API itself.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "demo/scenarios.h"
#include "demo/transcript.h"
#include "world/programs.h"

namespace stage {

// Before the first scenario: the observers and whatever the build keeps for the whole run. What
// the world cannot arrange then ends the demo.
void Begin();
// After the last one: what was left behind, and the program's exit code.
int End();

// A fresh world with the stand-in CE installer (world::Reset, InstallStandInInstaller), whose
// setup libraries' hooks are shown as they are called, as the transcript sees it.
void Reset();
// Runs the installer, unload.exe for the application `name`, or the close program the package
// installed, as the user's shell starts them, and gives the exit code once it has ended.
DWORD RunInstaller(const WideString& commandLine);
DWORD RunUnload(const WideString& name);
DWORD RunCloseProgram();
// Opens Pocket Internet Explorer, as far as the hooks see it: a top-level window with that
// title, which closes on WM_CLOSE.
void OpenBrowser();
inline constexpr WCHAR kBrowserClass[] = TEXT("IExplore");
inline constexpr WCHAR kBrowserTitle[] = TEXT("Internet Explorer");

// Around each step: every box, message, pause, process and deletion of the step is shown when
// it ends, with `outcome` (under Wine also how long the step took by the wall clock).
void BeginStep();
void EndStep(const std::string& outcome);
// An event the world does not see for itself (a hook called: demo/hook_calls.h), shown in its
// place among the step's.
void Note(DeviceEvent event);

// Prints a line.
void Say(const std::string& line);
// Shared by both builds: from now on what the world cannot arrange ends the demo.
void StopOnFailures();

// Scenarios and options only this build can play.
std::vector<Scenario> OwnScenarios();
std::vector<ScenarioOption> OwnOptions();

}  // namespace stage
