// A stand-in for the Korvessa application: it owns the notification window, ends when that
// window is closed, and leaves a mark in the registry each time it starts, so tests can see
// that and how it was started.
#pragma once

#include <windows.h>

// Where the marks go: HKEY_CURRENT_USER, this key; "Starts" counts the starts and
// "CommandLine" holds the latest start's command line.
inline constexpr WCHAR kStandInMarkKey[] = TEXT("Software\\WrenfoldTest\\StandIn");

// The start-up: leaves the mark and creates the notification window. Null if it could not.
HWND StartKorvessaStandIn(HINSTANCE instance, LPCWSTR commandLine);

// Host only: the stand-in as a program of the simulated device, at `path`. Starting it opens the
// application's window, which stays until closed.
void RegisterStandInApplication(const WCHAR* path);
