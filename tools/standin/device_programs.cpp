#include "standin/device_programs.h"

#include "sim.h"
#include "standin/korvessa_app.h"

void RegisterStandInApplication(const WCHAR* path) {
    sim::RegisterProgram(path, [](const WideString& commandLine) {
        return StartKorvessaStandIn(nullptr, commandLine.c_str()) != nullptr ? sim::kStillRunning
                                                                             : 1;
    });
}
