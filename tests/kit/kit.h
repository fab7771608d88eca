// The test kit's core: what every suite needs to set the world up through the platform's own
// interface and to look at it afterwards. The same tests run on the simulated device and under
// Wine; only kit_host.cpp and kit_windows.cpp differ. The programs a suite may run (the stand-in
// application and installer, the close program) are the kit's other part, kit/programs.h.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/wide_string.h"

namespace kit {

// A key below each root that belongs to the tests alone.
inline const WCHAR* const kTestKey = TEXT("Software\\WrenfoldTest");

// Fresh world: on the host a factory-new device; on Windows the keys, folders and windows the
// suites touch removed and the recordings cleared.
void ResetWorld();

// What the calling process holds open beyond what it held at the last ResetWorld; "" for nothing.
std::string LeakReport();

// Every test of the product starts in a fresh world and ends with nothing left open.
class DeviceTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

// A DeviceTest that also has the tests' own folder (kTestFolder, declared below) made.
class FolderTest : public DeviceTest {
  protected:
    void SetUp() override;
    // The path of `name` inside the tests' folder.
    static WideString In(const WCHAR* name);
};

// Makes the next value write on the given key fail with ERROR_ACCESS_DENIED.
void RefuseNextWrite(HKEY root, const WCHAR* path);
// Makes the next value deletion on the given key fail with ERROR_ACCESS_DENIED (under Windows,
// every later one too, until ResetWorld removes the key).
void RefuseNextValueDeletion(HKEY root, const WCHAR* path);

// Registry set-up and inspection, through the registry interface itself.
void CreateKey(HKEY root, const WCHAR* path);
void DeleteKeyTree(HKEY root, const WCHAR* path);
bool KeyExists(HKEY root, const WCHAR* path);
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
std::vector<WideString> ValueNames(HKEY root, const WCHAR* path);

// ---- Windows that record what they receive -------------------------------------------------
// A top-level window on a thread of its own (another process on the simulated device, a kit
// thread under Wine) whose procedure records every message and otherwise behaves as
// DefWindowProc does: WM_CLOSE destroys it.
HWND CreateRecordingWindow(const WCHAR* className, const WCHAR* title);

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

// ---- Message boxes --------------------------------------------------------------------------
// Every box shown since ResetWorld, answered with OK.
struct Box {
    HWND owner = nullptr;
    WideString caption;
    WideString text;
    UINT flags = 0;
    int sequence = 0;
};
std::vector<Box> Boxes();

// ---- Time -----------------------------------------------------------------------------------
// A pause of the test's thread: a Sleep, or a timed wait that ran out (a wait that ended because
// its object was signalled is none). On the simulated device the clock moves by the pauses
// alone; under Wine they are recorded as asked, since wall time on a busy machine cannot tell a
// pause from a slow call.
struct Pause {
    DWORD start = 0;         // GetTickCount() when it began
    DWORD end = 0;           // and when it was over
    DWORD milliseconds = 0;  // as asked
};
// The test's thread's pauses that began at `start` (a GetTickCount value) or later, in order.
std::vector<Pause> PausesSince(DWORD start);
// Whether the test's thread has paused for exactly `milliseconds` since `start` (under Wine also
// taking that long by the clock). The kit itself does not pause the test's thread meanwhile.
::testing::AssertionResult PausedFor(DWORD start, DWORD milliseconds);

// ---- Files ----------------------------------------------------------------------------------
// A folder that belongs to the tests (root-relative; on drive C: under Wine).
inline const WCHAR* const kTestFolder = TEXT("\\WrenfoldTest");
void MakeFolder(const WideString& path);
// Makes the folder and any missing folders above it; an existing folder is fine.
void MakeFolders(const WideString& path);
void MakeFile(const WideString& path, const std::string& content, DWORD attributes = 0);
bool PathExists(const WideString& path);
// The file's bytes, or "<missing>" when it cannot be opened.
std::string ReadFileText(const WideString& path);
// Whether paths may run past MAX_PATH here (the simulated device keeps its files in a host folder;
// Win32 stops at MAX_PATH without the \\?\ prefix the product never uses).
bool PathsMayExceedMaxPath();
// Whether opening a read-only file for writing fails here, as it does on the device and on
// Windows. Wine run as root (as CI does) lets root's rights win.
bool ReadOnlyFilesRefuseWriting();
DWORD Attributes(const WideString& path);

// ---- Windows of the test's own -------------------------------------------------------------
// A window made on the test's thread through the window manager itself: top-level (WS_POPUP)
// without a parent, else a child control (WS_CHILD) with the identifier `id`. Its class is
// registered on first use and behaves as DefWindowProc does. The top-level ones, and with them
// their children, are destroyed when the test ends.
HWND CreateTestWindow(const WCHAR* className, HWND parent, const WCHAR* title = TEXT(""),
                      int id = 0);

// ---- Window owners, enumerations and the device's identity ---------------------------------
// The process that owns the recording windows: a peer process on the simulated device, the test
// process itself under Wine. Create a recording window first.
DWORD RecordingWindowProcess();

// A process of its own (a peer on the simulated device, a real program under Wine) that owns
// `count` hidden top-level windows of class `className`, created in that order, and no other
// window it makes itself. It lives until EndWindowOwners or the next ResetWorld.
struct WindowOwner {
    DWORD processId = 0;
    std::vector<HWND> windows;  // creation order
};
WindowOwner StartWindowOwner(const WCHAR* className, int count);
void EndWindowOwners();

// How many top-level window enumerations (EnumWindows) the test's thread has run since
// ResetWorld; under Wine counted at the test program's import of the function.
int WindowEnumerations();

// Makes the platform report OS version `major`.0 and the platform type `platformType` (null: the
// query fails). False where this cannot be arranged: desktop Windows reports its own version and
// refuses the CE-only platform-type query.
bool SetDeviceIdentity(DWORD major, const WCHAR* platformType);
// Makes the next OS version query fail; false where this cannot be arranged (desktop Windows).
bool FailNextVersionQuery();

// ---- Libraries ------------------------------------------------------------------------------
// Puts a test library at `path` (a registered library on the simulated device, a real DLL under
// Wine), exporting "DllRegisterServer" when `registerEntry` is set. The library counts how often
// it is loaded and how often that export is called.
void InstallTestLibrary(const WCHAR* path, bool registerEntry);
// Since ResetWorld, for the library installed at `path`.
DWORD TestLibraryLoads(const WCHAR* path);
DWORD TestLibraryRegistrations(const WCHAR* path);

// ---- Drawing --------------------------------------------------------------------------------
// GDI objects the process holds now: brushes, bitmaps and device contexts.
int GdiObjects();
// Sets the screen's logical pixels per inch; false where the build cannot.
bool SetScreenDensity(int horizontal, int vertical);
// Makes the next CreateSolidBrush fail; false where the build cannot.
bool FailNextBrushCreation();

// One FillRect call: the rectangle passed, the colour of the brush passed, and the brushes that
// were open at that moment.
struct Fill {
    RECT rect{};
    COLORREF color = 0;
    int brushesOpen = 0;
};
// The FillRect calls since ResetWorld, in order; false where the build keeps no record.
bool RecordedFills(std::vector<Fill>& fills);

// ---- Faults only the simulated device can make ----------------------------------------------
// Each makes the next call of its kind fail and returns true where the build can arrange that,
// or returns false (under Wine) so that the test can skip with a reason.
// The next malloc of the program's own code (in suites linked with the heap hook).
bool FailNextAllocation();
// The next read, or write, of a file's data: ReadFile or WriteFile, or a stream filling or
// emptying its buffer.
bool FailNextFileRead();
bool FailNextFileWrite();
// The next call on a file or its attributes (opening, reading, writing, attribute queries and
// changes, deletion; not folder searches).
bool FailNextFileSystemCall();

// Text helpers for building inputs and reading results.
WideString Repeat(WCHAR unit, std::size_t count);
// Each byte as the unit of the same value.
WideString Wide(const char* ascii);
// ASCII units as they are, every other unit as "?": failure messages show exactly what is plain.
std::string Narrow(const WideString& text);
// Each unit as four hexadecimal digits, so that a failure shows exactly which units differ.
std::string HexUnits(const WideString& units);

}  // namespace kit
