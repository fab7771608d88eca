// The stand-ins leave marks in the registry so that a test can see what they were asked to do.
#pragma once

#include <windows.h>

// Opens (creating it when missing) the stand-in's mark key under HKEY_CURRENT_USER, counts this
// start in "Starts" and records "CommandLine". Gives the open key for the caller's own marks (the
// caller closes it), or null when the key cannot be made.
HKEY OpenStartMark(LPCWSTR keyPath, LPCWSTR commandLine);

void SetDwordMark(HKEY key, LPCWSTR name, DWORD value);
