// Reads every message box that appears on the desktop, whichever process shows it, and answers
// it with OK: its caption, text, owner and flags (the icon is told apart by its pixels on the
// screen, since another process's icon handles mean nothing here). Windows only: tests and the
// demo use it to see, by real means, what the programs under test tell the user.
#pragma once

#include <windows.h>

#include "support/wide_string.h"

struct ObservedBox {
    HWND owner;
    WideString caption;
    WideString text;
    UINT flags;
};

// Starts the thread that answers boxes and reports each to `report` (called on that thread).
// The thread runs until the process ends.
void StartBoxAnswerer(void (*report)(const ObservedBox& box));
