// The stand-in application as a program of the simulated device.
#include "standin/korvessa_app.h"

#include "sim.h"
#include "support/wide_string.h"

void RegisterStandInApplication(const WCHAR* path) {
    sim::RegisterProgram(path, [](const WideString& commandLine) {
        return StartKorvessaStandIn(nullptr, commandLine.c_str()) != nullptr ? sim::kStillRunning
                                                                             : 1;
    });
}
