// The product as the simulated device's programs find it (host build only), in one of two forms,
// chosen by what a program links: compiled into it (linked.cpp), or the device's own files run
// by the CE loader (images.cpp, on ARM only). The close program is registered at a path, so that
// CreateProcessW of that path runs it inside the calling process.
#pragma once

#include <windows.h>

#include "standin/cab_installer.h"

// The close program's entry: its WinMain, under the name the host build gives it.
int WINAPI CloseKorvessaMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                             int showCommand);

// Starting `path` runs CloseKorvessa to its end with the command line it is started with: the
// program compiled in, or the device's file at `path` (where a package installed it).
void RegisterCloseProgram(const WCHAR* path);
// Puts CloseKorvessa at `path` (the device build's file, where the product is the device's) and
// registers it.
void PutCloseProgram(const WCHAR* path);

// The setup library as the simulated device's installer loads it from where it put the
// package's `.999`: the hooks compiled in, or that file run by the CE loader.
const SetupLibraryLoader& ProductSetupLibrary();

// Where the product comes from, in one line for a transcript.
const char* ProductOrigin();

// The product's gradient fill, or null where the product is the device's library, which exports
// only its hooks.
using GradientFill = void (*)(HDC dc, const RECT& rect, COLORREF start, COLORREF end,
                              int bandCount);
GradientFill ProductGradientFill();
