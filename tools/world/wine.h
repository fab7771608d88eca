// What the world under Wine shares with its programs' part and with the Wine demo.
#pragma once

#include <windows.h>

#include <functional>

#include "support/wide_string.h"

namespace world {

// Copies a file of the build's to the device; a copy that fails is reported.
void CopyToDevice(const WCHAR* from, const WideString& to);

// Waits until `done` or `milliseconds` have passed, handling the messages other threads send the
// caller's meanwhile (a program reporting to a window of the caller's waits for that). False
// when time ran out.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds);
// The same until `object` is signalled.
bool WaitPumping(HANDLE object, DWORD milliseconds);

// Starts one of the rig's own programs. Wine, now and then under load, fails a start with
// ERROR_INTERNAL_ERROR and succeeds when asked again; the product is not in the way here, so the
// world asks again rather than fail on it.
BOOL StartTestProgram(LPCWSTR program, LPCWSTR commandLine, PROCESS_INFORMATION& info);

// Closes the stand-in application, if it runs, and waits until its process has ended.
void CloseStandInApplication();

}  // namespace world
