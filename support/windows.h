// Window, process and system helpers: the text of a dialog's control, window searches by class
// and by process, the system error box, a library's self-registration, and the Pocket PC test.
//
// Flags are TRUE (1) for success and FALSE (0) for failure; searches give the window found or
// null. A destination array is written only on success, and then with the whole text and its
// terminating zero; `capacity` is the number of units it holds. Every buffer is a fixed array
// on the stack: the only heap memory is the system's message text, which is freed before the
// box is shown, and a library loaded here is unloaded before the call returns.
#pragma once

#include <windows.h>

// The text of the dialog's control `itemId`, fetched into 260 units, so at most 259 characters
// of it. FALSE, leaving the destination as it was, when the dialog has no such control, no text
// arrives from it (the fetch failed), or the text does not fit.
BOOL ReadDialogItemText(HWND dialog, int itemId, LPWSTR destination, DWORD capacity);

// TRUE on a Pocket PC of OS major version 3: the version query reports major version 3 and the
// platform-type query reports exactly "PocketPC", case included. FALSE when either query fails.
BOOL IsPocketPcPlatform();

// The first window below `parent` whose class name equals `className` without regard to case,
// depth first in pre-order: a window is tested before its descendants, and all of them are
// searched before its next sibling. The parent itself is never tested. Only the first 31
// characters of a class name take part, so a name of 32 or more characters never matches. Null
// for a null parent or when nothing matches.
HWND FindDescendantByClass(HWND parent, LPCWSTR className);

// The same among the parent's direct children only, in the platform's child order.
HWND FindChildByClass(HWND parent, LPCWSTR className);

// What FindWindowByProcessId shares with its enumeration callback, for one enumeration.
struct WindowSearchRecord {
    DWORD processId;  // the process sought
    HWND window;      // the window found: null until a match
};

// The first top-level window, in the platform's enumeration order, that belongs to the process.
// Null when none does; null for 0 at once, without enumerating.
HWND FindWindowByProcessId(DWORD processId);

// The enumeration callback of FindWindowByProcessId; `record` is a WindowSearchRecord*. A window
// of the process sought is stored in the record and stops the enumeration (FALSE); any other
// window, and one the platform reports no thread for, lets it go on (TRUE).
BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM record);

// Shows a stop box without owner, captioned "System Error", with OK: `text`, a blank line,
// "System Error: " and the code in lowercase hexadecimal, a blank line, and the system's own text
// for the code (or "Unknown error." when it has none). Returns the button chosen. The message
// never passes 1024 units with its terminating zero: the system's text is cut first, and the
// caller's text only when it alone leaves no room for the code line. No character is split.
int ShowSystemError(LPCWSTR text, DWORD errorCode);

// Loads the library at `path`, calls its "DllRegisterServer" export if it has one (the export's
// result is not reported), and unloads it. FALSE when no file is at `path` or it does not load;
// TRUE otherwise, with or without the export.
BOOL RegisterServerLibrary(LPCWSTR path);
