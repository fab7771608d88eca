// The demos' command line: scenario names pick what to play (all of them, in order, for none),
// "--list" names them, and an option a demo knows takes the word after it.
#pragma once

#include <cstdio>
#include <cstring>
#include <vector>

struct Scenario {
    const char* name;
    const char* title;
    void (*play)();
};

// An option with a value, such as "--pictures FOLDER".
struct ScenarioOption {
    const char* name;
    void (*take)(const char* value);
};

// The scenarios to play, in order; empty, with `exitCode` set, when the program should stop at
// once (0 after --list, 2 for a word it does not know).
template <std::size_t Count>
std::vector<const Scenario*> ChooseScenarios(int argc, char** argv,
                                             const Scenario (&scenarios)[Count], int& exitCode,
                                             const std::vector<ScenarioOption>& options = {}) {
    std::vector<const Scenario*> chosen;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list") == 0) {
            for (const Scenario& scenario : scenarios) {
                std::printf("%-16s %s\n", scenario.name, scenario.title);
            }
            exitCode = 0;
            return {};
        }
        const ScenarioOption* option = nullptr;
        for (const ScenarioOption& known : options) {
            option = std::strcmp(argv[i], known.name) == 0 ? &known : option;
        }
        if (option != nullptr && i + 1 < argc) {
            option->take(argv[++i]);
            continue;
        }
        const Scenario* found = nullptr;
        for (const Scenario& scenario : scenarios) {
            found = std::strcmp(argv[i], scenario.name) == 0 ? &scenario : found;
        }
        if (found == nullptr) {
            std::fprintf(stderr, "unknown scenario '%s' (try --list)\n", argv[i]);
            exitCode = 2;
            return {};
        }
        chosen.push_back(found);
    }
    if (chosen.empty()) {
        for (const Scenario& scenario : scenarios) {
            chosen.push_back(&scenario);
        }
    }
    return chosen;
}
