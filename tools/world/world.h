// The world the tests and the demo play in, one implementation per build: the simulated Pocket
// PC on the host (world_host.cpp, over sim.h), real windows, files and processes under Wine
// (world_wine.cpp). It sets the world up through the platform's own interface and looks at it
// afterwards. It knows no test framework: what it cannot arrange it reports as a line of text
// (ReportFailuresTo), which the kit turns into a test failure and the demo into its end. The
// programs it runs (the stand-in application and installer, the close program) are its other
// part, world/programs.h.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/wide_string.h"
#include "world/text.h"

namespace world {

// Where the world's failures go from now on; until then, to the standard error stream.
void ReportFailuresTo(void (*report)(const std::string& what));

// A fresh world: on the host a factory-new device; under Wine the keys and files the tests and the
// demo touch removed, the programs they start ended and the recordings cleared (the first call
// also starts the world's own threads: the box answerer, the recording windows' thread).
void Reset();

// What the calling process holds open beyond what it held at the last Reset; "" for nothing.
std::string LeakReport();

// ---- Registry, through its own interface ----------------------------------------------------
void CreateKey(HKEY root, const WCHAR* path);
void DeleteKeyTree(HKEY root, const WCHAR* path);
bool KeyExists(HKEY root, const WCHAR* path);
// Each creates the key if it is missing.
void SetValue(HKEY root, const WCHAR* path, const WCHAR* name, DWORD type, const void* data,
              DWORD size);
void SetString(HKEY root, const WCHAR* path, const WCHAR* name, const WideString& text);
void SetDword(HKEY root, const WCHAR* path, const WCHAR* name, DWORD value);

struct StoredValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
StoredValue GetValue(HKEY root, const WCHAR* path, const WCHAR* name);
// The value's text, or "" when it is missing or holds none.
WideString GetString(HKEY root, const WCHAR* path, const WCHAR* name);
// The value as a DWORD, or 0 when it is missing or of another size.
DWORD GetDword(HKEY root, const WCHAR* path, const WCHAR* name);
std::vector<WideString> ValueNames(HKEY root, const WCHAR* path);

// Makes the next value write on the key fail with ERROR_ACCESS_DENIED (under Windows every later
// one too, until Reset removes the key); the next value deletion.
void RefuseNextWrite(HKEY root, const WCHAR* path);
void RefuseNextValueDeletion(HKEY root, const WCHAR* path);

// ---- Files ----------------------------------------------------------------------------------
void MakeFolder(const WideString& path);
// Makes the folder and any missing folders above it; an existing folder is fine.
void MakeFolders(const WideString& path);
// Writes a file of `content`, replacing one there, with `attributes` when they are not 0.
void MakeFile(const WideString& path, const std::string& content, DWORD attributes = 0);
bool PathExists(const WideString& path);
DWORD Attributes(const WideString& path);
// The file's bytes, or "<missing>" when it cannot be read.
std::string ReadFileText(const WideString& path);
// Whether paths may run past MAX_PATH here (the simulated device keeps its files in a host folder;
// Win32 stops at MAX_PATH without the \\?\ prefix the product never uses).
bool PathsMayExceedMaxPath();
// Whether opening a read-only file for writing fails here, as it does on the device and on
// Windows. Wine run as root (as CI does) lets root's rights win.
bool ReadOnlyFilesRefuseWriting();

// ---- Message boxes --------------------------------------------------------------------------
// Every box is answered: on the host by the device, under Wine by a thread of the world's that
// reads each box off the screen (caption, text, owner, icon and buttons) and presses a button.
// From now until Reset, that is `button` (IDOK, IDYES, IDNO, IDCANCEL) where the box shows it,
// else the box's first, as a user can press only what is there. After Reset it is IDOK, which
// answers a question Yes.
void AnswerBoxesWith(int button);
struct Box {
    HWND owner = nullptr;
    WideString caption;
    WideString text;
    UINT flags = 0;
    int sequence = 0;  // order among boxes and recorded deliveries
    int answer = 0;    // the button pressed
};
// Every box shown since Reset.
std::vector<Box> Boxes();
// Calls `seen` with each box as it is shown and before it is answered (under Wine on the
// answering thread, which waits for it); null stops it. Reset keeps it.
void WatchBoxes(void (*seen)(const Box& box));

// ---- Windows that record what they receive -------------------------------------------------
// A top-level window on a thread of its own (another process on the simulated device, a world
// thread under Wine) whose procedure records every message and otherwise behaves as
// DefWindowProc does: WM_CLOSE destroys it.
HWND CreateRecordingWindow(const WCHAR* className, const WCHAR* title);
// The process that owns them: a peer process on the simulated device, the caller's own under
// Wine. Create a recording window first.
DWORD RecordingWindowProcess();

struct Delivery {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD tick = 0;     // GetTickCount() when the procedure got it
    int sequence = 0;   // order among deliveries and boxes
    bool sent = false;  // sent (SendMessageW) by another thread, rather than posted
};
// The recorded deliveries of one message, to any recording window, in the order they came.
std::vector<Delivery> Deliveries(UINT message);

// A process of its own (a peer on the simulated device, a real program under Wine) that owns
// `count` hidden top-level windows of class `className`, created in that order, and no other
// window it makes itself. It lives until EndWindowOwners or the next Reset.
struct WindowOwner {
    DWORD processId = 0;
    std::vector<HWND> windows;  // creation order
};
WindowOwner StartWindowOwner(const WCHAR* className, int count);
void EndWindowOwners();

// How many top-level window enumerations (EnumWindows) the caller's thread has run since Reset;
// under Wine counted at the program's import of the function.
int WindowEnumerations();

// ---- Time -----------------------------------------------------------------------------------
// A pause of the caller's thread (the one that called Reset): a Sleep, or a timed wait that ran
// out (a wait that ended because its object was signalled is none). On the simulated device the
// clock moves by the pauses alone; under Wine they are recorded as asked, since wall time on a
// busy machine cannot tell a pause from a slow call.
struct Pause {
    DWORD start = 0;         // GetTickCount() when it began
    DWORD end = 0;           // and when it was over
    DWORD milliseconds = 0;  // as asked
};
// The pauses that began at `start` (a GetTickCount value) or later, in order.
std::vector<Pause> PausesSince(DWORD start);
// "" when the thread has paused for exactly `milliseconds` since `start` (under Wine also taking
// that long by the clock), else what it did. The world itself does not pause the thread.
std::string PauseMismatch(DWORD start, DWORD milliseconds);

// ---- What only some builds can arrange -------------------------------------------------------
// Makes the next call of its kind fail and gives true where the build can arrange that; false
// (under Wine) so that a test can skip with a reason.
enum class Fault {
    Allocation,      // the next malloc of the program's own code (with the heap hook)
    FileRead,        // ReadFile, or a stream filling its buffer
    FileWrite,       // WriteFile, or a stream emptying its buffer
    FileSystemCall,  // opening, reading, writing, attributes, deletion; not folder searches
    VersionQuery,    // GetVersionExW
    BrushCreation,   // CreateSolidBrush
};
bool FailNext(Fault fault);

// Makes the platform report OS version `major`.0 and the platform type `platformType` (null: the
// query fails). False where this cannot be arranged: desktop Windows reports its own version and
// refuses the CE-only platform-type query.
bool SetDeviceIdentity(DWORD major, const WCHAR* platformType);
// Sets the screen's logical pixels per inch; false where the build cannot (Windows reads it once,
// when a process starts).
bool SetScreenDensity(int horizontal, int vertical);

// GDI objects the process holds now: brushes, bitmaps and device contexts.
int GdiObjects();
// One FillRect call: the rectangle and the colour of the brush passed, and the brushes open then.
struct Fill {
    RECT rect{};
    COLORREF color = 0;
    int brushesOpen = 0;
};
// The FillRect calls since Reset, in order; false where the build keeps no record.
bool RecordedFills(std::vector<Fill>& fills);

// ---- Libraries ------------------------------------------------------------------------------
// Puts a test library at `path` (a registered library on the simulated device, a real DLL under
// Wine), exporting "DllRegisterServer" when `registerEntry` is set. The library counts how often
// it is loaded and how often that export is called, which the next two tell since Reset.
void InstallTestLibrary(const WCHAR* path, bool registerEntry);
DWORD TestLibraryLoads(const WCHAR* path);
DWORD TestLibraryRegistrations(const WCHAR* path);

}  // namespace world
