// The control surface of the simulated device, for tests and tools. The product never includes
// this header: it sees only the programming interface in include/.
//
// The device is single-threaded: everything runs on the caller's thread. Other simulated
// processes run when the caller lets time pass (Sleep, a wait): then their threads handle the
// messages posted to them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace sim {

using WideString = std::basic_string<WCHAR>;

// Returns the device to its factory state: empty registry and file system, no windows, programs
// or processes besides the caller's own, clock at zero, no scripted answers or pending faults,
// empty event log.
void Reset();

// ---- Open handles ---------------------------------------------------------------------------

// Things a caller opens and must give back. Every test ends with all counts at zero.
enum class HandleKind {
    RegistryKey,
    File,
    Search,
    Process,
    Thread,
    Library,        // LoadLibraryW, given back with FreeLibrary
    GdiObject,      // brushes, bitmaps: DeleteObject
    DeviceContext,  // GetDC / ReleaseDC, CreateCompatibleDC / DeleteDC
    LocalMemory,    // text the platform allocates (FormatMessageW): LocalFree
    Stream,         // the runtime's FILE streams: fclose
    kCount,
};

int OpenHandles(HandleKind kind);

// "" when nothing is open; otherwise a readable list such as "2 registry keys, 1 file".
std::string OpenHandlesReport();

// ---- Registry -------------------------------------------------------------------------------

enum class RegistryCall {
    Open,
    Query,
    Set,
    DeleteValue,
};

// The next call of that kind on any key returns `code` and changes nothing.
void FailNextRegistryCall(RegistryCall call, LONG code);

// ---- Time -----------------------------------------------------------------------------------

// Milliseconds since the device was reset. Sleep and timed waits advance it and return at once.
DWORD Now();

// ---- Message boxes --------------------------------------------------------------------------

// The button every later box is answered with (IDOK after a reset).
void SetBoxAnswer(int button);

// ---- Programs and processes -----------------------------------------------------------------

// A program's start-up, run inside CreateProcessW as the new process. It may create windows,
// which then belong to that process and live on after it returns. It returns the process's exit
// code, or kStillRunning to keep the process alive until a window procedure of its thread calls
// PostQuitMessage.
constexpr DWORD kStillRunning = STILL_ACTIVE;
using Program = std::function<DWORD(const WideString& commandLine)>;

// CreateProcessW of `path` runs `program`. The path must also name a file on the device, as an
// executable does; a path that names no program fails like a missing file.
void RegisterProgram(const WCHAR* path, Program program);

// The caller's own process and thread (the installer that loads the hooks, or a test).
DWORD HostProcessId();
DWORD HostThreadId();

// A process that no program started: a peer on the device for a test's or tool's own windows.
// `body` runs as its only thread; so does every later RunInProcess. Returns its process id.
DWORD StartPeerProcess(const WCHAR* name, const std::function<void()>& body);
void RunInProcess(DWORD processId, const std::function<void()>& body);

// ---- Files ----------------------------------------------------------------------------------

// The host folder that holds the device's file system ("\" on the device); fresh after Reset.
std::string FileSystemRoot();

// ---- Event log ------------------------------------------------------------------------------

enum class EventKind {
    MessageBox,       // caption, text, window (owner), flags, result (the button)
    MessageSent,      // window, message, wParam, lParam, windowClass, windowTitle
    MessagePosted,    // the same
    Sleep,            // milliseconds
    Wait,             // milliseconds waited before the time-out, result WAIT_*
    ProcessStarted,   // path, commandLine, flags, processId
    ProcessFailed,    // path, commandLine, flags, result (the error code)
    ProcessExited,    // path, processId, result (the exit code)
    WindowDestroyed,  // window, windowClass, windowTitle
    FileDeleted,      // path
    FileKept,         // path, result (why the deletion was refused)
};

struct Event {
    EventKind kind = EventKind::Sleep;
    DWORD time = 0;  // the clock when it happened
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    UINT flags = 0;
    DWORD milliseconds = 0;
    DWORD result = 0;
    DWORD processId = 0;
    WideString caption;
    WideString text;
    WideString windowClass;
    WideString windowTitle;
    WideString path;
    WideString commandLine;
};

const std::vector<Event>& Events();
void ClearEvents();

// Called with every event as it is logged; an empty function stops it. Reset keeps it.
void ObserveEvents(std::function<void(const Event&)> observer);

// One readable line for a transcript, e.g. `box "Close Korvessa": "Korvessa is not ..."`.
std::string Describe(const Event& event);

// Narrow text for reports and transcripts (UTF-8).
std::string Narrow(const WideString& text);

}  // namespace sim
