// Plays the Korvessa package's life, as the CAB installer and the user would, and prints what
// each step did: on the host on the simulated device, under Wine with the real programs.
// Usage: demo [--list] [scenario ...]; with no scenario, all of them in order. The host build
// also draws the library's gradients (demo gradients [--pictures FOLDER]).
#include <string>
#include <vector>

#include "demo/scenarios.h"
#include "demo/stage.h"

int main(int argc, char** argv) {
    std::vector<Scenario> scenarios = LifeScenarios();
    for (const Scenario& own : stage::OwnScenarios()) {
        scenarios.push_back(own);
    }
    int exitCode = 0;
    const std::vector<Scenario> chosen =
        ChooseScenarios(argc, argv, scenarios, exitCode, stage::OwnOptions());
    if (chosen.empty()) {
        return exitCode;
    }
    stage::Begin();
    for (const Scenario& scenario : chosen) {
        stage::Say("\n== " + std::string(scenario.title) + " ==");
        scenario.play();
    }
    return stage::End();
}
