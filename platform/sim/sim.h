// The control surface of the simulated device, for tests and tools. The product never includes
// this header: it sees only the programming interface in platform/include. Text is
// std::u16string, since WCHAR is char16_t on the host; the simulated device knows nothing of the
// product it stands under.
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
    HeapBlock,      // malloc blocks of the program's own code not yet freed (with the heap hook)
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
// The calendar clock (GetSystemTime) moves with it from 2004-06-15 09:30:00.000 UTC at reset.
DWORD Now();

// ---- Message boxes --------------------------------------------------------------------------

// The button every later box is answered with where it shows that button, else with its first
// (IDOK after a reset, which answers a question Yes).
void SetBoxAnswer(int button);

// ---- Windows --------------------------------------------------------------------------------

// How often EnumWindows has run since the reset.
int WindowEnumerations();

// ---- Programs and processes -----------------------------------------------------------------

// A program's start-up, run inside CreateProcessW as the new process. It may create windows,
// which then belong to that process and live on after it returns. It returns the process's exit
// code, or kStillRunning to keep the process alive until a window procedure of its thread calls
// PostQuitMessage.
constexpr DWORD kStillRunning = STILL_ACTIVE;
using Program = std::function<DWORD(const std::u16string& commandLine)>;

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

// ---- Libraries ------------------------------------------------------------------------------

// LoadLibraryW of `path` loads a library with these exports. Every export takes no arguments and
// returns S_OK, as a library's self-registration entries do, and counts its calls; calling one
// after its library was unloaded ends the test program, as the crash it would be. The path must
// also name a file on the device; a file that names no library fails like a foreign file.
void RegisterLibrary(const WCHAR* path, const std::vector<std::string>& exports);

// How often the library at `path` was loaded (brought in by a LoadLibraryW while not loaded) and
// how often its export `name` was called, since the reset.
int LibraryLoads(const WCHAR* path);
int ExportCalls(const WCHAR* path, const char* name);

// ---- System ---------------------------------------------------------------------------------

// What GetVersionExW reports (3.0 after a reset: Windows CE 3.0).
void SetOsVersion(DWORD major, DWORD minor);
// What SystemParametersInfoW(SPI_GETPLATFORMTYPE) reports ("PocketPC" after a reset); null makes
// the query fail.
void SetPlatformType(const WCHAR* type);
// The next GetVersionExW fails.
void FailNextVersionQuery();
// The processor GetSystemInfo reports (PROCESSOR_STRONGARM after a reset: an ARM of the
// StrongARM and XScale family).
void SetProcessorType(DWORD type);

// ---- Files ----------------------------------------------------------------------------------

// The host folder that holds the device's file system ("\" on the device); fresh after Reset.
// It is made in the host's temporary folder, which TMPDIR chooses (e.g. /dev/shm for speed).
std::string FileSystemRoot();

enum class FileCall {
    Read,
    Write,
};

// The next read or write of a file's data fails with `error` and moves nothing: a ReadFile or
// WriteFile call, or a stream filling or emptying its buffer (fread, fwrite, fflush, fclose),
// which then sets the stream's error indicator.
void FailNextFileCall(FileCall call, DWORD error);

// ---- Graphics -------------------------------------------------------------------------------

// The screen that GetDC draws on: its size in pixels and its logical pixels per inch along the
// width and the height, as GetDeviceCaps reports them for every device context. A fresh device
// has a black screen of 240 x 320 at 96 both ways. A new size gives a new, black screen.
void SetScreenSize(int width, int height);
void SetScreenDensity(int horizontal, int vertical);

// One FillRect call, as the caller made it.
struct Fill {
    HDC dc = nullptr;
    RECT rect{};             // as passed, before the device orders and clips it
    HBRUSH brush = nullptr;  // as passed
    // The colour the brush was created with (bits 24 to 31 included), or that of the brush
    // selected into the device context when the one passed is no brush.
    COLORREF color = CLR_INVALID;
    int brushesOpen = 0;  // brushes created and not yet deleted at that moment
};

// Every FillRect since the last Reset or ClearFills, in order.
const std::vector<Fill>& Fills();
void ClearFills();

// The next CreateSolidBrush fails and returns NULL.
void FailNextBrushCreation();

// What a device context draws on (the screen, or the bitmap selected into a memory device
// context): its size and the colour of every pixel, row by row from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> colors;
};
// False, leaving `pixels` as it was, when `dc` is no device context.
bool ReadPixels(HDC dc, Pixels& pixels);

// ---- Heap -----------------------------------------------------------------------------------

// The next malloc that the program's own code makes returns null. Takes effect only in programs
// linked with the heap hook (the wrenfold_heap_faults target), which routes their malloc here.
void FailNextAllocation();

// ---- Failing any call -------------------------------------------------------------------------

// The kinds of call the failure point counts. Only calls made on the caller's own thread count:
// simulated programs (the application, the installer) run their own code, not the product's.
enum class CallKind {
    Any,
    Registry,    // RegOpenKeyExW ... RegDeleteKeyW, RegCloseKey
    File,        // CreateFileW, ReadFile, WriteFile, sizes, times, attributes, deletion,
                 // folders, and CloseHandle of a file
    Stream,      // _wfopen, and a stream filling, emptying or closing its buffer (fread, fwrite,
                 // fflush, fclose reach the device through these)
    Search,      // FindFirstFileW, FindNextFileW, FindClose
    Window,      // window searches and enumeration, class names, sending and posting
    MessageBox,  // MessageBoxW
    Process,     // CreateProcessW, WaitForSingleObject, GetExitCodeProcess, CloseHandle of a
                 // process or thread
    Library,     // LoadLibraryW, GetProcAddressW, FreeLibrary
    Gdi,         // device contexts, brushes, bitmaps, selection, fills, device capabilities
    Heap,        // malloc (in programs linked with the heap hook), LocalFree
    System,      // GetVersionExW, SystemParametersInfoW, FormatMessageW, SystemTimeToFileTime
    Text,        // MultiByteToWideChar, WideCharToMultiByte
    kCount,
};

// The n-th counted call of `kind` from now on (1: the very next) fails as that call fails on the
// device: its documented failure result and, where it has one, a last-error value (for the
// runtime's streams, errno and the stream's error indicator). A call that gives something back
// (a close) reports the failure but gives it back all the same: there is nothing a caller could
// do about it. Restarts the count; n = 0 only counts. Reset disarms it.
void FailCall(long n, CallKind kind = CallKind::Any);

// Calls counted since the last FailCall or Reset, of every kind.
long CountedCalls();

// The name of the call that the failure point failed (such as "RegOpenKeyExW"), or null while
// it has not struck.
const char* FailedCall();

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
    std::u16string caption;
    std::u16string text;
    std::u16string windowClass;
    std::u16string windowTitle;
    std::u16string path;
    std::u16string commandLine;
};

const std::vector<Event>& Events();
void ClearEvents();

// Called with every event as it is logged; an empty function stops it. Reset keeps it.
void ObserveEvents(std::function<void(const Event&)> observer);

}  // namespace sim
