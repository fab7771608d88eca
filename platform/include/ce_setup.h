// <ce_setup.h> as the Windows CE SDK declares it: the contract between the CAB installer
// (WCELOAD.EXE), which defines it, and a package's setup library, which implements it. The
// installer calls the four hooks by name; each returns one of its result codes. The SDK writes
// the folder arguments as LPCTSTR, which on CE is always LPCWSTR. The desktop SDK has no such
// header, so the Windows build is given this one alone (platform/CMakeLists.txt).
#pragma once

#include "windows.h"

extern "C" {

// Before anything is installed. The installer may call it again with another folder; only the
// first call has fFirstCall TRUE. fPreviouslyInstalled is TRUE when the application is
// installed already.
typedef enum { codeINSTALL_INIT_CONTINUE = 0, codeINSTALL_INIT_CANCEL = 1 } codeINSTALL_INIT;
codeINSTALL_INIT Install_Init(HWND hwndParent, BOOL fFirstCall, BOOL fPreviouslyInstalled,
                              LPCWSTR pszInstallDir);
typedef codeINSTALL_INIT (*pfnINSTALL_INIT)(HWND hwndParent, BOOL fFirstCall,
                                            BOOL fPreviouslyInstalled, LPCWSTR pszInstallDir);

// After everything is installed, with how many of each kind of part could not be. UNINSTALL
// makes the installer take away what it installed.
typedef enum { codeINSTALL_EXIT_DONE = 0, codeINSTALL_EXIT_UNINSTALL = 1 } codeINSTALL_EXIT;
codeINSTALL_EXIT Install_Exit(HWND hwndParent, LPCWSTR pszInstallDir, WORD cFailedDirs,
                              WORD cFailedFiles, WORD cFailedRegKeys, WORD cFailedRegVals,
                              WORD cFailedShortcuts);
typedef codeINSTALL_EXIT (*pfnINSTALL_EXIT)(HWND hwndParent, LPCWSTR pszInstallDir,
                                            WORD cFailedDirs, WORD cFailedFiles,
                                            WORD cFailedRegKeys, WORD cFailedRegVals,
                                            WORD cFailedShortcuts);

// Before anything is removed; CANCEL stops the removal.
typedef enum { codeUNINSTALL_INIT_CONTINUE = 0, codeUNINSTALL_INIT_CANCEL = 1 } codeUNINSTALL_INIT;
codeUNINSTALL_INIT Uninstall_Init(HWND hwndParent, LPCWSTR pszInstallDir);
typedef codeUNINSTALL_INIT (*pfnUNINSTALL_INIT)(HWND hwndParent, LPCWSTR pszInstallDir);

// After everything is removed.
typedef enum { codeUNINSTALL_EXIT_DONE = 0 } codeUNINSTALL_EXIT;
codeUNINSTALL_EXIT Uninstall_Exit(HWND hwndParent);
typedef codeUNINSTALL_EXIT (*pfnUNINSTALL_EXIT)(HWND hwndParent);

}  // extern "C"
