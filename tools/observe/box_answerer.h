// Reads every message box that appears on the desktop, whichever process shows it (its caption,
// text, owner and flags; the icon is told apart by its pixels on the screen, since another
// process's icon handles mean nothing here), and presses the button its caller chooses. Windows
// only: the world under Wine uses it to see, by real means, what the programs tell the user.
#pragma once

#include <windows.h>

#include "support/wide_string.h"

struct ObservedBox {
    HWND owner;
    WideString caption;
    WideString text;
    UINT flags;
};

// Starts the thread that reads boxes and answers each with the button `answer` gives for it
// (called on that thread, before the box is answered). The thread runs until the process ends.
void StartBoxAnswerer(int (*answer)(const ObservedBox& box));
