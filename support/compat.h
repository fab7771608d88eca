// The one place where Windows CE (the device), desktop Win32 (the Wine-tested build) and the
// simulated device differ. Product modules use these names and never test the platform
// themselves. The simulated device behaves as CE does.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cwchar>

#if defined(_WIN32) && !defined(_WIN32_WCE)
#define WRENFOLD_DESKTOP_WIN32 1
#else
#define WRENFOLD_DESKTOP_WIN32 0
#endif

// ---- Registry access ------------------------------------------------------------------------
// CE ignores the access mask and expects 0. Desktop Win32 grants nothing for 0, so there the key
// is opened with whatever rights the caller holds; a write the caller may not make then fails
// at the set call, as it would on a locked-down device.
#if WRENFOLD_DESKTOP_WIN32
inline constexpr REGSAM kRegistryAccess = MAXIMUM_ALLOWED;
#else
inline constexpr REGSAM kRegistryAccess = 0;
#endif

// ---- Program entry --------------------------------------------------------------------------
// CE programs start at WinMain with a wide command line; desktop Win32 calls that wWinMain. The
// host build links programs into tests and tools, so each names its own entry there.
#ifndef WRENFOLD_PROGRAM_ENTRY
#if WRENFOLD_DESKTOP_WIN32
#define WRENFOLD_PROGRAM_ENTRY wWinMain
#else
#define WRENFOLD_PROGRAM_ENTRY WinMain
#endif
#endif
int WINAPI WRENFOLD_PROGRAM_ENTRY(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine,
                                  int nShowCmd);

// ---- Library entry --------------------------------------------------------------------------
// CE passes the module as a plain HANDLE, desktop Win32 as an HINSTANCE.
#if WRENFOLD_DESKTOP_WIN32
using LibraryModule = HINSTANCE;
#else
using LibraryModule = HANDLE;
#endif

// ---- Library exports ------------------------------------------------------------------------
// CE looks an export up by a wide name, desktop Win32 only by an 8-bit one. Export names are
// ASCII, so the wide name narrows unit by unit; any other unit, or a name longer than any this
// library looks up, names no export.
#if WRENFOLD_DESKTOP_WIN32
inline FARPROC GetProcAddressW(HMODULE module, LPCWSTR name) {
    char narrow[256];
    std::size_t length = 0;
    for (; name[length] != 0; ++length) {
        if (name[length] > 0x7F || length + 1 == sizeof narrow) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
        narrow[length] = static_cast<char>(name[length]);
    }
    narrow[length] = 0;
    return GetProcAddress(module, narrow);
}
#endif

// ---- System parameters ----------------------------------------------------------------------
// The platform-type query is CE's own: desktop SDKs do not name it, and desktop Windows refuses
// it, so there a desktop is never taken for a Pocket PC.
#ifndef SPI_GETPLATFORMTYPE
#define SPI_GETPLATFORMTYPE 257
#endif

// ---- Starting a process ---------------------------------------------------------------------
// Starts `program` with `commandLine`: no security attributes, no inherited handles, the
// caller's environment and folder. On success the caller closes both handles in `info`.
// Desktop Win32 may write into the command line and needs start-up information; CE takes the
// command line as it is and none.
inline BOOL StartProcess(LPCWSTR program, LPCWSTR commandLine, DWORD flags,
                         PROCESS_INFORMATION& info) {
#if WRENFOLD_DESKTOP_WIN32
    WCHAR writable[1024];
    const std::size_t length = wcslen(commandLine);
    if (length >= sizeof writable / sizeof writable[0]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    wcscpy(writable, commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(program, writable, nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                          &startup, &info);
#else
    return CreateProcessW(program, commandLine, nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                          nullptr, &info);
#endif
}

// ---- Posting to every top-level window ------------------------------------------------------
// CE posts any message to HWND_BROADCAST. Desktop Win32 refuses to post a message whose
// parameters may carry a pointer, WM_WININICHANGE among them (ERROR_MESSAGE_SYNC_ONLY), so there
// the message is sent instead, skipping hung windows and waiting at most this long for each.
inline constexpr UINT kBroadcastAnswerTimeout = 1000;

// Non-zero when the message went out.
inline BOOL PostBroadcast(UINT message, WPARAM wParam, LPARAM lParam) {
#if WRENFOLD_DESKTOP_WIN32
    return SendMessageTimeoutW(HWND_BROADCAST, message, wParam, lParam, SMTO_ABORTIFHUNG,
                               kBroadcastAnswerTimeout, nullptr) != 0
               ? TRUE
               : FALSE;
#else
    return PostMessageW(HWND_BROADCAST, message, wParam, lParam);
#endif
}

// ---- Folder search --------------------------------------------------------------------------
// CE lists only a folder's own entries; desktop Win32 adds "." and "..", which these skip.
inline bool IsDotEntry(const WIN32_FIND_DATAW& entry) {
#if WRENFOLD_DESKTOP_WIN32
    const WCHAR* name = entry.cFileName;
    return name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0));
#else
    (void)entry;
    return false;
#endif
}

inline BOOL FindNextEntry(HANDLE search, WIN32_FIND_DATAW& entry) {
    while (FindNextFileW(search, &entry)) {
        if (!IsDotEntry(entry)) {
            return TRUE;
        }
    }
    return FALSE;
}

// INVALID_HANDLE_VALUE when nothing but dot entries matched, as when nothing matched at all.
inline HANDLE FindFirstEntry(LPCWSTR pattern, WIN32_FIND_DATAW& entry) {
    const HANDLE search = FindFirstFileW(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE || !IsDotEntry(entry) || FindNextEntry(search, entry)) {
        return search;
    }
    FindClose(search);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}
