// The test kit: what every suite needs to set the world up through the platform's own interface
// and to look at it afterwards. The same tests run on the simulated device and under Wine; only
// kit_host.cpp and kit_windows.cpp differ.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace kit {

using WideString = std::basic_string<WCHAR>;

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
// Whether the time since `start` (a GetTickCount value) is the pause expected: exactly on the
// simulated device's clock, within the timer's slack under Wine.
::testing::AssertionResult PausedFor(DWORD start, DWORD milliseconds);

// ---- Programs -------------------------------------------------------------------------------
// Puts the stand-in application at `path`, so that starting that path runs it.
void InstallStandInApplication(const WCHAR* path);
// The application's notification window once it is up (under Wine, waiting a few seconds for
// it), or null.
HWND WaitForApplicationWindow();
// Closes the running stand-in application, if any, and waits until it has gone.
void CloseApplication();
// How often the stand-in application started since ResetWorld, and its latest command line.
DWORD ApplicationStarts();
WideString ApplicationCommandLine();
// Runs CloseKorvessa with the command line and returns its exit code once it has ended.
DWORD RunCloseProgram(const WCHAR* commandLine);
// Starts the program at `path` as the shell would, with an empty command line and no handle
// kept; under Wine, waits until the stand-in application's window is up.
void StartProgram(const WideString& path);

// ---- The CAB installer ----------------------------------------------------------------------
// Puts the stand-in CAB installer (tools/standin/cab_installer.h) at \Windows\WCELOAD.EXE.
void InstallStandInInstaller();
inline const WCHAR* const kInstallerPath = TEXT("\\Windows\\WCELOAD.EXE");
// The setup library a package names: under Wine the built Wrenfold.dll, loaded by name; on the
// simulated device, the hooks linked into the test.
WideString SetupLibrary();
// A file to install the stand-in application from.
WideString ApplicationSource();
// Runs the installer with `commandLine` and waits for it to end: its exit code, or STILL_ACTIVE
// while it is still running.
DWORD RunInstaller(const WideString& commandLine);
// What the installer's latest start left in the registry.
struct InstallerStart {
    DWORD starts = 0;
    WideString commandLine;
    DWORD packageAttributes = INVALID_FILE_ATTRIBUTES;
    DWORD result = 0;
};
InstallerStart LastInstallerStart();
// The creation flags of the installer's latest start, where the build can see them: the
// simulated device logs them; Windows keeps no record a test can read, and this returns false.
bool InstallerCreationFlags(DWORD& flags);

// ---- Files ----------------------------------------------------------------------------------
// A folder that belongs to the tests (root-relative; on drive C: under Wine).
inline const WCHAR* const kTestFolder = TEXT("\\WrenfoldTest");
void MakeFolder(const WideString& path);
// Makes the folder and any missing folders above it; an existing folder is fine.
void MakeFolders(const WideString& path);
void MakeFile(const WideString& path, const std::string& content, DWORD attributes = 0);
bool PathExists(const WideString& path);
// Whether opening a read-only file for writing fails here, as it does on the device and on
// Windows. Wine run as root (as CI does) lets root's rights win.
bool ReadOnlyFilesRefuseWriting();
DWORD Attributes(const WideString& path);

// Text helpers for building inputs and reading results.
WideString Repeat(WCHAR unit, std::size_t count);
WideString Wide(const char* ascii);
std::string Narrow(const WideString& text);

}  // namespace kit
