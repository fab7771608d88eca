// Shared by the kit's common part and its two build-specific parts.
#pragma once

#include "kit/kit.h"

namespace kit::detail {

// The class every recording window is registered under in its thread or process, besides the
// class name the test asked for.
LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers `className` with the recording procedure (once per process) and creates the window.
HWND CreateRecordingWindowHere(const WCHAR* className, const WCHAR* title);

void RecordBox(Box box);
void ClearRecordings();

// Windows only. Starts one of the test's own programs, asking Wine again after a spurious failure.
BOOL StartTestProgram(LPCWSTR program, LPCWSTR commandLine, PROCESS_INFORMATION& info);
// Closes the stand-in application, if it runs, and waits until its process has ended.
void CloseStandInApplication();

}  // namespace kit::detail
