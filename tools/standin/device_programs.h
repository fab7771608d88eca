// The programs the tests and the demo put on the simulated device (host build only). Each is
// registered at a path, so that CreateProcessW of that path runs it inside the calling process.
#pragma once

#include <windows.h>

// The close program's entry: its WinMain, under the name the host build gives it.
int WINAPI CloseKorvessaMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                             int showCommand);

// The stand-in Korvessa: starting it opens the application's window, which stays until closed.
void RegisterStandInApplication(const WCHAR* path);

// CloseKorvessa itself, run to its end with the command line it is started with.
void RegisterCloseProgram(const WCHAR* path);
