// The kit on real Windows (under Wine). The world is cleaned up through the API; recording
// windows live on a kit thread that pumps messages; a second kit thread reads every message box
// (caption, text, owner, icon and buttons) and presses OK; programs are real processes. Open
// handles are found by probing the process's handle table, since Wine's GetProcessHandleCount
// reports 0.
#include <aclapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "kit/kit_internal.h"
#include "kit/test_library.h"
#include "observe/box_answerer.h"
#include "observe/own_process.h"
#include "observe/remove_tree.h"
#include "support/compat.h"

namespace kit {
namespace {

// ---- Handles ----------------------------------------------------------------------------------

// The handles open at the last ResetWorld, each with its description: a value the platform
// closed meanwhile and the test then got for an object of its own is still the test's.
std::map<ULONG_PTR, std::string>& Baseline() {
    static std::map<ULONG_PTR, std::string> baseline;
    return baseline;
}

// The test libraries installed since ResetWorld: a loaded library holds no handle, so the report
// looks for them by name.
std::vector<WideString>& InstalledLibraries() {
    static std::vector<WideString> libraries;
    return libraries;
}

// ---- The world the suites touch --------------------------------------------------------------

struct OwnedKey {
    HKEY root;
    const WCHAR* path;
};

const OwnedKey kOwnedKeys[] = {
    {HKEY_LOCAL_MACHINE, L"Software\\WrenfoldTest"},
    {HKEY_CURRENT_USER, L"Software\\WrenfoldTest"},
    {HKEY_CLASSES_ROOT, L"WrenfoldTest"},
    {HKEY_CLASSES_ROOT, L"CLSID\\{WrenfoldTest}"},
    {HKEY_LOCAL_MACHINE, L"Software\\Ternwick"},
    {HKEY_LOCAL_MACHINE, L"Software\\Apps\\Ternwick Korvessa"},
    {HKEY_LOCAL_MACHINE, L"Software\\Apps\\Ternwick Sample"},
    {HKEY_CLASSES_ROOT, L"CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Today"},
    {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Color"},
};

const WCHAR* const kOwnedPaths[] = {L"\\WrenfoldTest",
                                    L"\\Korvessa.exe",
                                    L"\\Preview",
                                    L"\\Program Files\\Korvessa",
                                    L"\\My Documents",
                                    L"\\Windows\\AppMgr",
                                    L"\\Windows\\Start Menu\\Programs\\Korvessa.lnk",
                                    L"\\Windows\\Start Menu\\Programs\\Close Korvessa.lnk",
                                    L"\\Windows\\WCELOAD.EXE",
                                    L"\\Windows\\unload.exe",
                                    L"\\Windows\\tdywater.gif",
                                    L"\\Windows\\stwater.gif",
                                    L"\\Windows\\WrenfoldTestServer.dll"};

// The stand-in programs a test may leave running (an installer stuck for good, say).
const WCHAR* const kStandInPrograms[] = {L"WCELOAD.EXE", L"unload.exe", L"Korvessa.exe",
                                         L"CloseKorvessa.exe"};

void EndStandInPrograms() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        for (const WCHAR* name : kStandInPrograms) {
            if (_wcsicmp(entry.szExeFile, name) != 0) {
                continue;
            }
            const HANDLE process =
                OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
            if (process != nullptr) {
                TerminateProcess(process, 1);
                WaitForSingleObject(process, 5000);
                CloseHandle(process);
            }
        }
    }
    CloseHandle(snapshot);
}

// ---- The window thread ---------------------------------------------------------------------

constexpr UINT kCreateRequest = WM_APP + 1;
constexpr UINT kDestroyAll = WM_APP + 2;

struct CreateRequest {
    const WCHAR* className;
    const WCHAR* title;
    HWND window;
};

std::set<HWND>& RecordingWindows() {
    static std::set<HWND> windows;  // touched by the window thread only
    return windows;
}

LRESULT CALLBACK ControlProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCreateRequest) {
        auto* request = reinterpret_cast<CreateRequest*>(lParam);
        request->window = detail::CreateRecordingWindowHere(request->className, request->title);
        RecordingWindows().insert(request->window);
        return 0;
    }
    if (message == kDestroyAll) {
        for (const HWND recording : RecordingWindows()) {
            if (IsWindow(recording)) {
                DestroyWindow(recording);
            }
        }
        RecordingWindows().clear();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::atomic<HWND>& ControlWindow() {
    static std::atomic<HWND> window{nullptr};
    return window;
}

DWORD WINAPI WindowThread(LPVOID) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ControlProcedure;
    windowClass.lpszClassName = L"WrenfoldKitControl";
    RegisterClassW(&windowClass);
    ControlWindow() = CreateWindowExW(0, L"WrenfoldKitControl", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, nullptr, nullptr);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}

// ---- Window owners ---------------------------------------------------------------------------

struct RunningOwner {
    DWORD processId;
    DWORD threadId;
};

std::vector<RunningOwner>& WindowOwners() {
    static std::vector<RunningOwner> owners;
    return owners;
}

// ---- Counting enumerations --------------------------------------------------------------------

using EnumWindowsFunction = BOOL(WINAPI*)(WNDENUMPROC, LPARAM);

struct EnumerationCount {
    EnumWindowsFunction real = nullptr;
    std::atomic<DWORD> thread{0};  // the test's thread: the box thread enumerates all the time
    std::atomic<int> count{0};
};

EnumerationCount& Enumerations() {
    static EnumerationCount enumerations;
    return enumerations;
}

BOOL WINAPI CountingEnumWindows(WNDENUMPROC callback, LPARAM value) {
    EnumerationCount& enumerations = Enumerations();
    if (GetCurrentThreadId() == enumerations.thread) {
        ++enumerations.count;
    }
    return enumerations.real(callback, value);
}

// Points this program's imports of `real` (the product's, the kit's and the runtime's: all are
// linked into the program) at `replacement`.
void RedirectImports(const void* real, const void* replacement) {
    ::RedirectImports(GetModuleHandleW(nullptr), real, replacement);
}

template <typename Function>
Function RealFunction(const WCHAR* module, const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name)));
}

void CountEnumerations() {
    Enumerations().real = RealFunction<EnumWindowsFunction>(L"user32.dll", "EnumWindows");
    RedirectImports(reinterpret_cast<const void*>(Enumerations().real),
                    reinterpret_cast<const void*>(&CountingEnumWindows));
}

// ---- Pauses -------------------------------------------------------------------------------
// Wall time under Wine on a busy machine cannot tell a pause of a second from a slow call, so
// the test's thread's pauses are recorded as asked: every Sleep, and every wait that ran out its
// time. A wait that ended because its object was signalled is no pause, as on the device.

using SleepFunction = void(WINAPI*)(DWORD);
using WaitFunction = DWORD(WINAPI*)(HANDLE, DWORD);

struct PauseLog {
    SleepFunction realSleep = nullptr;
    WaitFunction realWait = nullptr;
    std::atomic<DWORD> thread{0};  // the test's thread
    std::vector<Pause> pauses;     // touched by that thread only
};

PauseLog& Pauses() {
    static PauseLog log;
    return log;
}

void RecordPause(DWORD start, DWORD milliseconds) {
    PauseLog& log = Pauses();
    if (GetCurrentThreadId() == log.thread && milliseconds != 0) {
        log.pauses.push_back(Pause{start, GetTickCount(), milliseconds});
    }
}

void WINAPI RecordingSleep(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    Pauses().realSleep(milliseconds);
    RecordPause(start, milliseconds);
}

DWORD WINAPI RecordingWait(HANDLE object, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    const DWORD result = Pauses().realWait(object, milliseconds);
    if (result == WAIT_TIMEOUT) {
        RecordPause(start, milliseconds);
    }
    return result;
}

// The product pauses only through these two, the only ones the simulated device offers.
void RecordPauses() {
    PauseLog& log = Pauses();
    log.realSleep = RealFunction<SleepFunction>(L"kernel32.dll", "Sleep");
    log.realWait = RealFunction<WaitFunction>(L"kernel32.dll", "WaitForSingleObject");
    RedirectImports(reinterpret_cast<const void*>(log.realSleep),
                    reinterpret_cast<const void*>(&RecordingSleep));
    RedirectImports(reinterpret_cast<const void*>(log.realWait),
                    reinterpret_cast<const void*>(&RecordingWait));
}

WideString FileNameOf(const WCHAR* path) {
    const WCHAR* slash = wcsrchr(path, L'\\');
    return slash == nullptr ? path : slash + 1;
}

DWORD LibraryMark(const WCHAR* path, const WCHAR* valueName) {
    const WideString key = WideString(kTestLibraryMarkKey) + L"\\" + FileNameOf(path);
    const StoredValue mark = GetValue(HKEY_CURRENT_USER, key.c_str(), valueName);
    DWORD count = 0;
    if (mark.present && mark.data.size() == sizeof count) {
        std::memcpy(&count, mark.data.data(), sizeof count);
    }
    return count;
}

// Both kit threads start once per process, before the first baseline, so their handles and
// GoogleTest's own trace thread are not charged to any test.
void StartKitThreads() {
    static const bool started = [] {
        { SCOPED_TRACE("kit"); }
        CountEnumerations();
        RecordPauses();
        CreateThread(nullptr, 0, WindowThread, nullptr, 0, nullptr);
        while (ControlWindow() == nullptr) {
            Sleep(1);
        }
        StartBoxAnswerer([](const ObservedBox& box) {
            detail::RecordBox(Box{box.owner, box.caption, box.text, box.flags, 0});
        });
        // The process's first box sets up fonts and the like for good; the box thread answers it.
        MessageBoxW(nullptr, L"The test kit is ready.", L"Wrenfold tests", MB_ICONEXCLAMATION);
        // GoogleTest writes every failure and skip as debug output too; the first opens the
        // debug-output mutex for good.
        OutputDebugStringA("");
        // So do its first file operations and its first child process.
        CreateDirectoryW(L"\\WrenfoldTest", nullptr);
        MakeFile(L"\\WrenfoldTest\\kit", "kit", FILE_ATTRIBUTE_READONLY);
        RemoveTree(L"\\WrenfoldTest");
        PROCESS_INFORMATION info{};
        if (StartProcess(L"C:\\windows\\system32\\cmd.exe", L"cmd.exe /c exit", 0, info)) {
            WaitForSingleObject(info.hProcess, 10000);
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
        }
        // And its first named object, which opens the session's object folder for good, and
        // its first debug message (GoogleTest copies every failure and skip there), after which
        // Wine keeps the debug output's mutex open.
        CloseHandle(CreateEventW(nullptr, TRUE, FALSE, L"WrenfoldKitNamedObject"));
        OutputDebugStringA("");
        return true;
    }();
    (void)started;
}

HANDLE OpenProcessOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return OpenProcess(SYNCHRONIZE, FALSE, processId);
}

}  // namespace

namespace detail {

// Starts one of the test's own programs. Wine, now and then under load, fails a start with
// ERROR_INTERNAL_ERROR and succeeds when asked again; the product is not in the way here, so the
// kit asks again rather than fail the test on it.
BOOL StartTestProgram(LPCWSTR program, LPCWSTR commandLine, PROCESS_INFORMATION& info) {
    for (int attempt = 1;; ++attempt) {
        if (StartProcess(program, commandLine, 0, info)) {
            return TRUE;
        }
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3) {
            return FALSE;
        }
        Sleep(500);
    }
}

void CloseStandInApplication() {
    const HWND window = FindWindowW(L"KorvessaNotify", L"");
    if (window == nullptr) {
        return;
    }
    const HANDLE process = OpenProcessOf(window);
    SendMessageW(window, WM_CLOSE, 0, 0);
    if (process != nullptr) {
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

}  // namespace detail

void ResetWorld() {
    StartKitThreads();
    SendMessageW(ControlWindow(), kDestroyAll, 0, 0);
    detail::CloseStandInApplication();
    EndStandInPrograms();
    EndWindowOwners();
    for (const OwnedKey& owned : kOwnedKeys) {
        DeleteKeyTree(owned.root, owned.path);
    }
    for (const WCHAR* path : kOwnedPaths) {
        RemoveTree(path);
    }
    detail::ClearRecordings();
    InstalledLibraries().clear();
    Enumerations().thread = GetCurrentThreadId();
    Enumerations().count = 0;
    Pauses().thread = GetCurrentThreadId();
    Pauses().pauses.clear();
    Baseline().clear();
    for (const ULONG_PTR value : OpenHandleValues()) {
        Baseline()[value] = DescribeHandle(reinterpret_cast<HANDLE>(value));
    }
}

std::string LeakReport() {
    std::string report;
    for (const ULONG_PTR value : OpenHandleValues()) {
        const std::string description = DescribeHandle(reinterpret_cast<HANDLE>(value));
        const auto before = Baseline().find(value);
        if (before == Baseline().end() || before->second != description) {
            char number[24];
            std::snprintf(number, sizeof number, " (0x%llx)",
                          static_cast<unsigned long long>(value));
            report += (report.empty() ? "" : ", ") + description + number;
        }
    }
    for (const WideString& library : InstalledLibraries()) {
        if (GetModuleHandleW(library.c_str()) != nullptr) {
            report += (report.empty() ? "library " : ", library ") + Narrow(library);
        }
    }
    return report;
}

// Denies value writes on the key to everyone; the key can still be read and deleted. The denial
// lasts until ResetWorld removes the key.
void RefuseNextWrite(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(root, path, 0, READ_CONTROL | WRITE_DAC, &key), ERROR_SUCCESS);
    EXPLICIT_ACCESSW entries[2] = {};
    entries[0].grfAccessPermissions = KEY_SET_VALUE;
    entries[0].grfAccessMode = DENY_ACCESS;
    entries[1].grfAccessPermissions = KEY_ALL_ACCESS;
    entries[1].grfAccessMode = GRANT_ACCESS;
    for (EXPLICIT_ACCESSW& entry : entries) {
        entry.grfInheritance = NO_INHERITANCE;
        entry.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
        entry.Trustee.ptstrName = const_cast<LPWSTR>(L"EVERYONE");
    }
    PACL acl = nullptr;
    ASSERT_EQ(SetEntriesInAclW(2, entries, nullptr, &acl), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              acl, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    LocalFree(acl);
    RegCloseKey(key);
}

// The same denial covers deleting values.
void RefuseNextValueDeletion(HKEY root, const WCHAR* path) {
    RefuseNextWrite(root, path);
}

// Wine run as root (as CI does) lets a read-only file be opened for writing, as root's rights
// allow; Windows refuses. Tests that need the refusal ask first.
bool ReadOnlyFilesRefuseWriting() {
    static const bool refuses = [] {
        const WideString probe = L"\\WrenfoldProbe.tmp";
        MakeFile(probe, "probe", FILE_ATTRIBUTE_READONLY);
        const HANDLE file =
            CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        RemoveTree(probe);
        return file == INVALID_HANDLE_VALUE;
    }();
    return refuses;
}

bool PathsMayExceedMaxPath() {
    return false;
}

// Real Windows offers no way to make these fail on request.
bool FailNextAllocation() {
    return false;
}

bool FailNextFileRead() {
    return false;
}

bool FailNextFileWrite() {
    return false;
}

bool FailNextFileSystemCall() {
    return false;
}

HWND CreateRecordingWindow(const WCHAR* className, const WCHAR* title) {
    CreateRequest request{className, title, nullptr};
    SendMessageW(ControlWindow(), kCreateRequest, 0, reinterpret_cast<LPARAM>(&request));
    return request.window;
}

std::vector<Pause> PausesSince(DWORD start) {
    std::vector<Pause> since;
    for (const Pause& pause : Pauses().pauses) {
        if (pause.start - start < 0x80000000) {  // at or after `start`, the tick count wrapping
            since.push_back(pause);
        }
    }
    return since;
}

::testing::AssertionResult PausedFor(DWORD start, DWORD milliseconds) {
    DWORD paused = 0;
    for (const Pause& pause : PausesSince(start)) {
        paused += pause.milliseconds;
    }
    // The pauses really took their time: the tick count moves in steps of up to 16 ms.
    const DWORD elapsed = GetTickCount() - start;
    if (paused == milliseconds && elapsed + 16 >= milliseconds) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "paused " << paused << " ms in " << elapsed << " ms, not " << milliseconds;
}

DWORD RecordingWindowProcess() {
    return GetCurrentProcessId();  // the kit's window thread is the test program's own
}

WindowOwner StartWindowOwner(const WCHAR* className, int count) {
    WindowOwner owner;
    // Set by the program once its windows are made. (WaitForInputIdle would do, but Wine keeps
    // an event handle open for every call.)
    static int started = 0;
    const WideString readyName = L"WrenfoldWindowOwnerReady" + std::to_wstring(++started);
    const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    const WideString line =
        L"window_owner.exe " + std::to_wstring(count) + L" " + readyName + L" " + className;
    PROCESS_INFORMATION info{};
    if (!detail::StartTestProgram(L"" WRENFOLD_WINDOW_OWNER_PROGRAM, line.c_str(), info)) {
        ADD_FAILURE() << "the window owner did not start: error " << GetLastError();
        CloseHandle(ready);
        return owner;
    }
    owner.processId = info.dwProcessId;
    WindowOwners().push_back(RunningOwner{info.dwProcessId, info.dwThreadId});
    EXPECT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0) << "the window owner is not up";
    CloseHandle(ready);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    for (int made = 1; made <= count; ++made) {
        owner.windows.push_back(FindWindowW(className, std::to_wstring(made).c_str()));
    }
    return owner;
}

void EndWindowOwners() {
    for (const RunningOwner& owner : WindowOwners()) {
        const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, owner.processId);
        PostThreadMessageW(owner.threadId, WM_QUIT, 0, 0);
        if (process != nullptr) {
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
    WindowOwners().clear();
}

int WindowEnumerations() {
    return Enumerations().count;
}

bool SetDeviceIdentity(DWORD /*major*/, const WCHAR* /*platformType*/) {
    return false;
}

bool FailNextVersionQuery() {
    return false;
}

void InstallTestLibrary(const WCHAR* path, bool registerEntry) {
    const WCHAR* built =
        registerEntry ? L"" WRENFOLD_LIBRARY_WITH_ENTRY : L"" WRENFOLD_LIBRARY_PLAIN;
    ASSERT_TRUE(CopyFileW(built, path, FALSE))
        << "error " << GetLastError() << " copying to " << Narrow(path);
    InstalledLibraries().emplace_back(path);
}

DWORD TestLibraryLoads(const WCHAR* path) {
    return LibraryMark(path, L"Loads");
}

DWORD TestLibraryRegistrations(const WCHAR* path) {
    return LibraryMark(path, L"Registrations");
}

// Wine's GetGuiResources is a stub that answers 0. Wine also takes a handle's table index
// alone as the handle, so there the live objects are found by probing the indices.
int GdiObjects() {
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0) {
        return static_cast<int>(reported);
    }
    constexpr ULONG_PTR kHandleTableSize = 0x10000;
    int count = 0;
    for (ULONG_PTR index = 1; index < kHandleTableSize; ++index) {
        count += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0 ? 1 : 0;
    }
    return count;
}

// The platform reads the density once, when a process starts, and a process that has not
// declared itself aware of the density is told 96 whatever the setting.
bool SetScreenDensity(int /*horizontal*/, int /*vertical*/) {
    return false;
}

bool FailNextBrushCreation() {
    return false;
}

bool RecordedFills(std::vector<Fill>& fills) {
    fills.clear();
    return false;
}

}  // namespace kit
