// Today-screen theme helpers: install a theme package silently through the CAB installer, read
// the current theme, return to the default theme, and ask the shell to reload its settings.
//
// The Today settings live under HKEY_CURRENT_USER\Software\Microsoft\Today (values Skin and
// UseStartImage), the colour scheme under HKEY_LOCAL_MACHINE\Software\Microsoft\Color, and a
// theme's pictures in \Windows\tdywater.gif and \Windows\stwater.gif. The registry is written
// through the registry helpers, which open existing keys only: on a device without the Today
// key nothing is written there, and nothing says so. Flags are TRUE (1) for success and FALSE
// (0) for failure. Nothing is taken from the heap; no message is shown.
#pragma once

#include <windows.h>

// Installs the package at `packagePath` with \Windows\WCELOAD.EXE, without asking the user, and
// makes it the current theme. The package is read-only while the installer runs and normal
// afterwards. FALSE, with nothing changed, when the path names no file or is longer than 262
// characters (the installer's command line would not fit its buffer). FALSE when the installer
// cannot be started; the package is then left read-only and the theme pictures deleted, but
// the registry is untouched and the shell is not told. Otherwise TRUE, once the installer has
// ended or 10 seconds have passed, whichever is first: Skin then holds `packagePath` as given,
// UseStartImage is 0 when the installer left \Windows\tdywater.gif behind and 1 otherwise, and
// the shell has been asked to reload.
BOOL InstallTodayTheme(LPCWSTR packagePath);

// Copies the current theme package's path into `destination`, which holds `capacity` units.
// FALSE, with the destination untouched, for the default theme (Skin empty or missing) or a
// path that does not fit with its terminating zero.
BOOL ReadCurrentTodayTheme(LPWSTR destination, DWORD capacity);

// Returns the device to the default theme: Skin emptied, UseStartImage 1, the theme pictures
// deleted, and every colour value but "Restriction" (in any letter case) deleted. Then tells
// every top-level window and waits until each has handled it; returns what that send returned.
// A colour value whose name has 260 characters or more ends the walk over the colour values,
// leaving it and those not yet reached.
LRESULT ResetTodayTheme();

// Asks the shell to reload its settings without waiting for it. Non-zero when the request went
// out.
BOOL RefreshTodayScreen();
