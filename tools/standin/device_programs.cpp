#include "standin/device_programs.h"

#include "sim.h"
#include "standin/korvessa_app.h"

void RegisterStandInApplication(const WCHAR* path) {
    sim::RegisterProgram(path, [](const WideString& commandLine) {
        return StartKorvessaStandIn(nullptr, commandLine.c_str()) != nullptr ? sim::kStillRunning
                                                                             : 1;
    });
}

void RegisterCloseProgram(const WCHAR* path) {
    sim::RegisterProgram(path, [](const WideString& commandLine) {
        // The entry may write into its command line, as WinMain's may.
        WideString writable = commandLine;
        return static_cast<DWORD>(CloseKorvessaMain(nullptr, nullptr, writable.data(), SW_SHOW));
    });
}
