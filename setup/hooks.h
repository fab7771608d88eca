// The setup hooks that the CAB installer loads from the package and calls by name around copying
// and removing its files, and the steps that only they use.
#pragma once

#include <ce_setup.h>
#include <windows.h>

#include "support/compat.h"

// The four hooks are declared where the installer defines their contract (ce_setup.h), which
// holds this library's definitions to it. What Korvessa's do:
// - Install_Init, before any file is copied: refuses (with a box) a device without the Flash
//   Player, and closes a running copy of the application.
// - Install_Exit, after the files are copied: starts the installed application; nothing when
//   InstallDir is missing, unreadable or empty.
// - Uninstall_Init, before files are removed: closes the browser and the application, and
//   deletes the plain files of the application's Preview folder (none when InstallDir is
//   missing, unreadable or empty, or too long to take "\Preview\"). Never cancels.
// - Uninstall_Exit, after files are removed: nothing to do.
// They read the install folder from the InstallDir value the package writes, not pszInstallDir:
// it is the one record of where Korvessa lives, from installation to a removal long after.
extern "C" {

// The library's attach and detach entry: nothing to set up or tear down, whatever the reason.
BOOL WINAPI DllMain(LibraryModule module, DWORD reason, LPVOID reserved);

}  // extern "C"

// The application's notification window, or null when it is not running.
HWND FindKorvessaWindow();

// Starts a program without waiting for it; nothing is reported and no handle is kept.
void LaunchDetached(LPCWSTR programPath, LPCWSTR commandLine);

// Deletes the entries of `folder` that match `pattern`, except plain folders (attribute word
// exactly FILE_ATTRIBUTE_DIRECTORY); subfolders are not entered and what cannot be deleted is
// left. Returns 0 for an empty folder text, -1 when the search cannot start (or the folder and
// pattern do not fit the 512-unit work buffer), else the search's closing result (non-zero).
int DeleteFilesInFolder(LPCWSTR folder, LPCWSTR pattern);
