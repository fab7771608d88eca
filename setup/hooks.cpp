#include "setup/hooks.h"

#include "support/compat.h"
#include "support/files.h"
#include "support/fixed_buffer.h"
#include "support/korvessa.h"
#include "support/registry.h"

namespace {

constexpr WCHAR kApplicationKey[] = TEXT("Software\\Ternwick\\Korvessa");
constexpr WCHAR kInstallDirValue[] = TEXT("InstallDir");
constexpr WCHAR kFlashPlayerKey[] = TEXT("CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}");
constexpr WCHAR kBrowserTitle[] = TEXT("Internet Explorer");
constexpr WCHAR kAbortCaption[] = TEXT("Installation Aborted");
constexpr WCHAR kAbortText[] = TEXT(
    "Macromedia Flash player not detected!\n\n"
    "Korvessa requires the Macromedia Flash Player for Pocket PC is installed before it can be "
    "used.\n\n"
    "Download the player from http://www.macromedia.com/dlflash.htm then attempt the "
    "installation again.");

constexpr DWORD kPathUnits = MAX_PATH;
constexpr DWORD kFolderWorkUnits = 512;
constexpr DWORD kInstallPause = 1000;
constexpr DWORD kUninstallPause = 2000;

// The install folder with `suffix` appended. FALSE when InstallDir cannot be read, is empty, or
// the joined path would not fit: a truncated path, or one at the device's root, must never be
// started or emptied.
BOOL InstallFolderPath(LPCWSTR suffix, WCHAR (&path)[kPathUnits]) {
    return ReadHklmString(kApplicationKey, kInstallDirValue, path, kPathUnits) && path[0] != 0 &&
           AppendTextIfFits(path, kPathUnits, suffix);
}

// Asks a window to close and gives its owner time to do so.
void PostCloseAndWait(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    Sleep(kUninstallPause);
}

}  // namespace

HWND FindKorvessaWindow() {
    return FindWindowW(kKorvessaWindowClass, kKorvessaWindowTitle);
}

void LaunchDetached(LPCWSTR programPath, LPCWSTR commandLine) {
    PROCESS_INFORMATION info{};
    if (StartProcess(programPath, commandLine, 0, info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
}

int DeleteFilesInFolder(LPCWSTR folder, LPCWSTR pattern) {
    if (folder[0] == 0) {
        return 0;
    }
    WCHAR prefix[kFolderWorkUnits];
    WCHAR path[kFolderWorkUnits];
    const auto deletePlainFile = [](const WIN32_FIND_DATAW& entry, LPCWSTR entryPath, void*) {
        if (entry.dwFileAttributes != FILE_ATTRIBUTE_DIRECTORY && entryPath != nullptr) {
            DeleteFileW(entryPath);
        }
    };
    return WalkFolderEntries(folder, pattern, prefix, path, kFolderWorkUnits, deletePlainFile,
                             nullptr);
}

codeINSTALL_INIT Install_Init(HWND hwndParent, BOOL /*fFirstCall*/, BOOL /*fPreviouslyInstalled*/,
                              LPCWSTR /*pszInstallDir*/) {
    if (!RegKeyExists(HKEY_CLASSES_ROOT, kFlashPlayerKey)) {
        MessageBoxW(hwndParent, kAbortText, kAbortCaption, MB_OK);
        return codeINSTALL_INIT_CANCEL;
    }
    if (const HWND application = FindKorvessaWindow()) {
        SendMessageW(application, WM_CLOSE, 0, 0);
        Sleep(kInstallPause);
    }
    return codeINSTALL_INIT_CONTINUE;
}

codeINSTALL_EXIT Install_Exit(HWND /*hwndParent*/, LPCWSTR /*pszInstallDir*/, WORD /*cFailedDirs*/,
                              WORD /*cFailedFiles*/, WORD /*cFailedRegKeys*/,
                              WORD /*cFailedRegVals*/, WORD /*cFailedShortcuts*/) {
    WCHAR program[kPathUnits];
    if (InstallFolderPath(TEXT("\\Korvessa.exe"), program)) {
        LaunchDetached(program, TEXT(""));
    }
    return codeINSTALL_EXIT_DONE;
}

codeUNINSTALL_INIT Uninstall_Init(HWND /*hwndParent*/, LPCWSTR /*pszInstallDir*/) {
    // The browser first: it may be showing the application's pages.
    if (const HWND browser = FindWindowW(nullptr, kBrowserTitle)) {
        PostCloseAndWait(browser);
    }
    if (const HWND application = FindKorvessaWindow()) {
        PostCloseAndWait(application);
    }
    WCHAR preview[kPathUnits];
    if (InstallFolderPath(TEXT("\\Preview\\"), preview)) {
        DeleteFilesInFolder(preview, TEXT("*.*"));
    }
    return codeUNINSTALL_INIT_CONTINUE;
}

codeUNINSTALL_EXIT Uninstall_Exit(HWND /*hwndParent*/) {
    return codeUNINSTALL_EXIT_DONE;
}
