// The demo's text on either build: what a step did on the device, as lines.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/wide_string.h"

// One thing a step did on the device, as either world sees it: on the host the simulated
// device's own log; under Wine what the demo's recorders and the stand-in programs report.
struct DeviceEvent {
    enum class Kind {
        Box,           // caption, text, flags, owned, result (the button pressed)
        Sent,          // message, wParam, lParam, the target window (or every window)
        Posted,        // the same
        Pause,         // milliseconds
        Wait,          // milliseconds waited for `path`, in vain
        Started,       // path, commandLine
        NotStarted,    // path, result (the error code)
        Ended,         // path, result (the exit code)
        WindowClosed,  // the window
        Deleted,       // path
        Kept,          // path, result (why the deletion was refused)
        Called,        // call: a setup library's hook, as the demo's loader shows it
    };
    Kind kind = Kind::Pause;
    DWORD time = 0;  // the device's clock: the pauses asked for so far in the scenario
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool everyWindow = false;  // a broadcast
    WideString windowClass;
    WideString windowTitle;
    WideString caption;
    WideString text;
    UINT flags = 0;
    bool owned = false;  // a box owned by the installer's window
    DWORD milliseconds = 0;
    DWORD result = 0;
    WideString path;
    WideString commandLine;
    std::string call;
};

// The text in UTF-8, converted by the platform.
std::string Utf8(const WideString& text);

// A step's lines: each event with the device's clock, e.g.
// `    [ 2000 ms] posted WM_CLOSE (0x0, 0x0) to window KorvessaNotify ""`, a box with one "| "
// line for each line of its text; then `=> outcome` unless it is empty.
std::string StepLines(const std::vector<DeviceEvent>& events, const std::string& outcome);
