// What the stand-in programs under Wine tell the demo, which cannot see inside them: the messages
// other threads send their windows, their windows' closing, and that they have handled all that
// was posted to them. Each report is a WM_COPYDATA sent to the demo's observer window, so the
// program waits until the demo has taken it; with no observer (in the tests) nothing is sent.
#pragma once

#include <windows.h>

// The observer window's class, one top-level window of the demo.
inline constexpr WCHAR kObserverClass[] = L"WrenfoldObserver";

struct Report {
    enum class Kind : DWORD {
        Sent,     // the window was sent `message` by another thread
        Closed,   // the window was destroyed
        Settled,  // the thread handled everything posted to it before the settle request
    };
    Kind kind;
    DWORD threadId;  // the reporting thread
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    WCHAR windowClass[64];
    WCHAR windowTitle[128];
};

// Reports from then on what `window` is sent by other threads and when it is destroyed.
void WitnessWindow(HWND window);

// The thread message the demo posts to a stand-in's thread behind what it posted before: posted
// messages reach a thread in order, so when this one is taken, the others have been handled.
bool IsSettleRequest(const MSG& message);
void ReportSettled();
// False while the thread has no message queue yet (a program just started) or is gone.
bool PostSettleRequest(DWORD threadId);
