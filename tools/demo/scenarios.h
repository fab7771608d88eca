// The demo's scenarios and its command line: scenario names pick what to play (all of them, in
// order, for none), "--list" names them, and an option the build knows takes the word after it.
#pragma once

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

// The package's life, as the CAB installer and the user play it, on either build.
std::vector<Scenario> LifeScenarios();

// The scenarios to play, in order; empty, with `exitCode` set, when the program should stop at
// once (0 after --list, 2 for a word it does not know).
std::vector<Scenario> ChooseScenarios(int argc, char** argv, const std::vector<Scenario>& scenarios,
                                      int& exitCode, const std::vector<ScenarioOption>& options);
