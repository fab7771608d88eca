#include "setup/hooks.h"

#include "support/compat.h"
#include "support/korvessa.h"
#include "support/registry.h"
#include "support/wide_buffer.h"

namespace {

constexpr WCHAR kApplicationKey[] = TEXT("Software\\Ternwick\\Korvessa");
constexpr WCHAR kInstallDirValue[] = TEXT("InstallDir");
constexpr WCHAR kFlashPlayerKey[] = TEXT("CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}");
constexpr WCHAR kBrowserTitle[] = TEXT("Internet Explorer");
constexpr WCHAR kAbortCaption[] = TEXT("Installation Aborted");
constexpr WCHAR kAbortText[] =
    TEXT("Macromedia Flash player not detected!\n\nKorvessa requires the Macromedia Flash Player ")
        TEXT("for Pocket PC is installed before it can be used.\n\nDownload the player from ")
            TEXT("http://www.macromedia.com/dlflash.htm")
                TEXT(" then attempt the installation again.");

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
    constexpr int kSearchNotStarted = -1;  // the platform's invalid handle value, as a number
    if (folder[0] == 0) {
        return 0;
    }
    WCHAR work[kFolderWorkUnits] = {};
    WCHAR prefix[kFolderWorkUnits] = {};
    const std::size_t folderLength = wcslen(folder);
    if (!CopyTextIfFits(folder, folderLength, work, kFolderWorkUnits) ||
        (folder[folderLength - 1] != u'\\' &&
         !AppendTextIfFits(work, kFolderWorkUnits, TEXT("\\")))) {
        return kSearchNotStarted;
    }
    wcscpy(prefix, work);
    if (!AppendTextIfFits(work, kFolderWorkUnits, pattern)) {
        return kSearchNotStarted;
    }
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstEntry(work, entry);
    if (search == INVALID_HANDLE_VALUE) {
        return kSearchNotStarted;
    }
    do {
        if (entry.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) {
            continue;
        }
        // An entry whose full path does not fit is skipped rather than cut short.
        wcscpy(work, prefix);
        if (AppendTextIfFits(work, kFolderWorkUnits, entry.cFileName)) {
            DeleteFileW(work);
        }
    } while (FindNextEntry(search, entry));
    return FindClose(search);
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
