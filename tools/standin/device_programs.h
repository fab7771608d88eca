// The programs the tests and the demo put on the simulated device (host build only). Each is
// registered at a path, so that CreateProcessW of that path runs it inside the calling process.
// The product comes in one of two forms, chosen by what a program links: compiled into it
// (product_linked.cpp), or the device's own files run by the CE loader (product_images.cpp, on
// ARM only).
#pragma once

#include <windows.h>

#include "standin/cab_installer.h"

// The close program's entry: its WinMain, under the name the host build gives it.
int WINAPI CloseKorvessaMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                             int showCommand);

// The stand-in Korvessa: starting it opens the application's window, which stays until closed.
void RegisterStandInApplication(const WCHAR* path);

// CloseKorvessa itself, run to its end with the command line it is started with.
void RegisterCloseProgram(const WCHAR* path);

// The setup hooks, as the simulated device's installer finds them under any library name.
const SetupHooks& ProductHooks();

// Where the product comes from, in one line for a transcript.
const char* ProductOrigin();

// The product's gradient fill, or null where the product is the device's library, which exports
// only its hooks.
using GradientFill = void (*)(HDC dc, const RECT& rect, COLORREF start, COLORREF end,
                              int bandCount);
GradientFill ProductGradientFill();
