#include "support/theme.h"

#include "support/compat.h"
#include "support/fixed_buffer.h"
#include "support/registry.h"

namespace {

constexpr WCHAR kTodayKey[] = TEXT("Software\\Microsoft\\Today");
constexpr WCHAR kSkinValue[] = TEXT("Skin");
constexpr WCHAR kUseStartImageValue[] = TEXT("UseStartImage");
constexpr WCHAR kColorKey[] = TEXT("Software\\Microsoft\\Color");
constexpr WCHAR kKeptColorValue[] = TEXT("Restriction");
constexpr WCHAR kTodayImage[] = TEXT("\\Windows\\tdywater.gif");
constexpr WCHAR kStartImage[] = TEXT("\\Windows\\stwater.gif");
constexpr WCHAR kInstallerProgram[] = TEXT("\\Windows\\WCELOAD.EXE");
// Silent, no questions, not listed for removal, and the package is not deleted afterwards.
constexpr WCHAR kInstallerArguments[] = TEXT("/safe /noui /nouninstall /delete 0 \"%s\"");

constexpr DWORD kCommandLineUnits = 300;
// The template's own characters once "%s" has given way to the path.
constexpr std::size_t kCommandLineFixedUnits = sizeof kInstallerArguments / sizeof(WCHAR) - 1 - 2;
constexpr std::size_t kLongestPackagePath = kCommandLineUnits - 1 - kCommandLineFixedUnits;
static_assert(kLongestPackagePath == 262, "the command line holds a path of 262 units");

constexpr DWORD kInstallerWait = 10000;

// What the shell takes as "reload the Today screen": WM_WININICHANGE with this first parameter.
constexpr WPARAM kTodaySettingsChanged = 0xF2;

bool FileExists(LPCWSTR path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// Starts the installer over the package and waits for it, for a while. FALSE when it could not
// be started.
BOOL RunInstaller(LPCWSTR commandLine) {
    PROCESS_INFORMATION info{};
    if (!StartProcess(kInstallerProgram, commandLine, CREATE_NEW_CONSOLE, info)) {
        return FALSE;
    }
    // An installer still at work after the wait (stuck on a question, say) is left to finish on
    // its own; the theme is recorded all the same.
    WaitForSingleObject(info.hProcess, kInstallerWait);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return TRUE;
}

// Deletes every value of the open colour key except "Restriction". A deletion moves the later
// values down one place, so the walk steps back onto the place it just emptied; a value that
// will not go is stepped over, or the walk would fetch it for ever.
void DeleteColorValues(const HKEY& key) {
    WCHAR name[MAX_PATH];
    DWORD index = 0;
    while (NextRegValueName(key, index, name, MAX_PATH)) {
        if (_wcsicmp(name, kKeptColorValue) != 0 && RegDeleteValueW(key, name) == ERROR_SUCCESS) {
            --index;
        }
    }
}

}  // namespace

BOOL InstallTodayTheme(LPCWSTR packagePath) {
    if (!FileExists(packagePath) || wcslen(packagePath) > kLongestPackagePath) {
        return FALSE;
    }
    WCHAR commandLine[kCommandLineUnits];
    wsprintfW(commandLine, kInstallerArguments, packagePath);

    // The installer must neither change nor remove the package it is working from.
    SetFileAttributesW(packagePath, FILE_ATTRIBUTE_READONLY);
    // The new theme brings its own pictures, or none.
    DeleteFileW(kTodayImage);
    DeleteFileW(kStartImage);
    if (!RunInstaller(commandLine)) {
        return FALSE;
    }
    SetFileAttributesW(packagePath, FILE_ATTRIBUTE_NORMAL);

    WriteHkcuString(kTodayKey, kSkinValue, packagePath);
    WriteHkcuDword(kTodayKey, kUseStartImageValue, FileExists(kTodayImage) ? 0 : 1);
    RefreshTodayScreen();
    return TRUE;
}

BOOL ReadCurrentTodayTheme(LPWSTR destination, DWORD capacity) {
    WCHAR skin[MAX_PATH];
    if (!ReadHkcuString(kTodayKey, kSkinValue, skin, MAX_PATH)) {
        return FALSE;
    }
    const std::size_t length = BoundedLength(skin, MAX_PATH);
    if (length == 0) {
        return FALSE;  // the default theme
    }
    return CopyTextIfFits(skin, length, destination, capacity);
}

LRESULT ResetTodayTheme() {
    WriteHkcuString(kTodayKey, kSkinValue, TEXT(""));
    WriteHkcuDword(kTodayKey, kUseStartImageValue, 1);
    DeleteFileW(kStartImage);
    DeleteFileW(kTodayImage);

    HKEY colors = nullptr;
    if (OpenHklmKey(kColorKey, colors) == ERROR_SUCCESS) {
        DeleteColorValues(colors);
        CloseRegKey(colors);
    }
    // Sent, not posted: the shell has reloaded by the time the reset returns.
    return SendMessageW(HWND_BROADCAST, WM_WININICHANGE, kTodaySettingsChanged, 0);
}

BOOL RefreshTodayScreen() {
    return PostBroadcast(WM_WININICHANGE, kTodaySettingsChanged, 0);
}
