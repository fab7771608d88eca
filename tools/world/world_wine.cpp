// The world on real Windows (under Wine). It is cleaned up through the API; recording windows
// live on a world thread that pumps messages; a second world thread reads every message box and
// presses the button asked for; window owners and test libraries are real programs and DLLs.
// Open handles are found by probing the process's handle table, since Wine's
// GetProcessHandleCount reports 0; pauses and enumerations are counted at the program's imports,
// which the product linked into it shares.
#include <aclapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <cwchar>
#include <set>

#include "observe/box_answerer.h"
#include "observe/own_process.h"
#include "observe/remove_tree.h"
#include "standin/cab_installer.h"
#include "standin/install_record.h"
#include "support/compat.h"
#include "support/korvessa.h"
#include "world/internal.h"
#include "world/test_library.h"
#include "world/wine.h"

namespace world {
namespace {

// ---- The world the tests and the demo touch -------------------------------------------------

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

// What the stand-in installer keeps of each package the tests and the demo install, all of them
// Ternwick's, beyond \Windows\AppMgr (an owned path): the Apps key that lists it and its removal
// record in \Windows (standin/install_record.h).
constexpr WCHAR kProvider[] = L"Ternwick ";

void RemoveInstallerRecords() {
    HKEY apps = nullptr;
    std::vector<WideString> listed;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppsKey, 0, KEY_READ, &apps) == ERROR_SUCCESS) {
        WCHAR name[MAX_PATH];
        for (DWORD index = 0, length = MAX_PATH;
             RegEnumKeyExW(apps, index, name, &length, nullptr, nullptr, nullptr, nullptr) ==
             ERROR_SUCCESS;
             ++index, length = MAX_PATH) {
            if (wcsncmp(name, kProvider, wcslen(kProvider)) == 0) {
                listed.emplace_back(name);
            }
        }
        RegCloseKey(apps);
    }
    for (const WideString& name : listed) {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, AppsKeyPath(name).c_str());
    }
    WIN32_FIND_DATAW entry{};
    const HANDLE search =
        FindFirstFileW(RemovalRecordPath(WideString(kProvider) + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        DeleteFileW((L"\\Windows\\" + WideString(entry.cFileName)).c_str());
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

// The stand-in programs a run may leave running (an installer stuck for good, say).
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

// The handles open at the last Reset, each with its description: a value the platform closed
// meanwhile and the caller then got for an object of its own is still the caller's.
HandleList& Baseline() {
    static HandleList baseline;
    return baseline;
}

// The test libraries installed since Reset: a loaded library holds no handle, so the report
// looks for them by name.
std::vector<WideString>& InstalledLibraries() {
    static std::vector<WideString> libraries;
    return libraries;
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
    windowClass.lpszClassName = L"WrenfoldWorldControl";
    RegisterClassW(&windowClass);
    ControlWindow() = CreateWindowExW(0, L"WrenfoldWorldControl", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
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

// ---- Counted at the program's imports ---------------------------------------------------------
// Wall time under Wine on a busy machine cannot tell a pause of a second from a slow call, so
// the caller's thread's pauses are recorded as asked: every Sleep, and every wait that ran out
// its time. A wait that ended because its object was signalled is no pause, as on the device.
// The product pauses only through these two, the only ones the simulated device offers.

struct ImportLog {
    decltype(&EnumWindows) enumWindows = nullptr;  // the platform's own
    decltype(&Sleep) sleep = nullptr;
    decltype(&WaitForSingleObject) wait = nullptr;
    std::atomic<DWORD> thread{0};  // the caller's: the box thread enumerates all the time
    std::atomic<int> enumerations{0};
    std::vector<Pause> pauses;  // touched by that thread only
};

ImportLog& Imports() {
    static ImportLog log;
    return log;
}

BOOL WINAPI CountingEnumWindows(WNDENUMPROC callback, LPARAM value) {
    if (GetCurrentThreadId() == Imports().thread) {
        ++Imports().enumerations;
    }
    return Imports().enumWindows(callback, value);
}

void RecordPause(DWORD start, DWORD milliseconds) {
    if (GetCurrentThreadId() == Imports().thread && milliseconds != 0) {
        Imports().pauses.push_back(Pause{start, GetTickCount(), milliseconds});
    }
}

void WINAPI RecordingSleep(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    Imports().sleep(milliseconds);
    RecordPause(start, milliseconds);
}

DWORD WINAPI RecordingWait(HANDLE object, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    const DWORD result = Imports().wait(object, milliseconds);
    if (result == WAIT_TIMEOUT) {
        RecordPause(start, milliseconds);
    }
    return result;
}

template <typename Function>
void Resolve(Function& function, const Redirect& redirect) {
    function = reinterpret_cast<Function>(
        const_cast<void*>(PlatformFunction(redirect.library, redirect.function)));
}

const Redirect kCounted[] = {
    {L"user32.dll", "EnumWindows", reinterpret_cast<const void*>(&CountingEnumWindows)},
    {L"kernel32.dll", "Sleep", reinterpret_cast<const void*>(&RecordingSleep)},
    {L"kernel32.dll", "WaitForSingleObject", reinterpret_cast<const void*>(&RecordingWait)},
};

// The button AnswerBoxesWith chose, read by the box thread.
std::atomic<int>& AskedButton() {
    static std::atomic<int> button{IDOK};
    return button;
}

// The asked button where the box shows it, else its first.
int Pressed(UINT buttons, int asked) {
    switch (buttons) {
        case MB_YESNO:
            return asked == IDNO ? IDNO : IDYES;
        case MB_YESNOCANCEL:
            return asked == IDNO || asked == IDCANCEL ? asked : IDYES;
        case MB_OKCANCEL:
            return asked == IDCANCEL ? IDCANCEL : IDOK;
        default:
            return IDOK;
    }
}

int AnswerBox(const ObservedBox& box) {
    const int button = Pressed(box.flags & MB_TYPEMASK, AskedButton());
    detail::RecordBox(Box{box.owner, box.caption, box.text, box.flags, 0, button});
    return button;
}

DWORD LibraryMark(const WCHAR* path, const WCHAR* valueName) {
    const WCHAR* slash = wcsrchr(path, L'\\');
    const WideString key = WideString(kTestLibraryMarkKey) + L"\\" + (slash ? slash + 1 : path);
    return GetDword(HKEY_CURRENT_USER, key.c_str(), valueName);
}

// The world's threads start once per process, before the first baseline, so their handles and
// what the platform opens for good the first time a process does certain things are not charged
// to anyone.
void StartWorld() {
    static const bool started = [] {
        Resolve(Imports().enumWindows, kCounted[0]);
        Resolve(Imports().sleep, kCounted[1]);
        Resolve(Imports().wait, kCounted[2]);
        for (const Redirect& counted : kCounted) {
            RedirectImports(GetModuleHandleW(nullptr), counted);
        }
        CreateThread(nullptr, 0, WindowThread, nullptr, 0, nullptr);
        while (ControlWindow() == nullptr) {
            Sleep(1);
        }
        StartBoxAnswerer(AnswerBox);
        // The process's first box sets up fonts and the like for good; the box thread answers it.
        MessageBoxW(nullptr, L"The world is ready.", L"Wrenfold", MB_ICONEXCLAMATION);
        // So do its first file operations and its first child process.
        CreateDirectoryW(L"\\WrenfoldTest", nullptr);
        MakeFile(L"\\WrenfoldTest\\world", "world", FILE_ATTRIBUTE_READONLY);
        RemoveTree(L"\\WrenfoldTest");
        PROCESS_INFORMATION info{};
        if (StartProcess(L"C:\\windows\\system32\\cmd.exe", L"cmd.exe /c exit", 0, info)) {
            WaitForSingleObject(info.hProcess, 10000);
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
        }
        // And its first named object, which opens the session's object folder for good, and its
        // first debug message (GoogleTest copies every failure and skip there), after which Wine
        // keeps the debug output's mutex open.
        CloseHandle(CreateEventW(nullptr, TRUE, FALSE, L"WrenfoldWorldNamedObject"));
        OutputDebugStringA("");
        return true;
    }();
    (void)started;
}

}  // namespace

void CopyToDevice(const WCHAR* from, const WideString& to) {
    if (!CopyFileW(from, to.c_str(), FALSE)) {
        detail::Failed("error " + std::to_string(GetLastError()) + " copying " + Narrow(from) +
                       " to " + Narrow(to));
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message{};
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        if (done()) {
            return true;
        }
        if (GetTickCount() - start >= milliseconds) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
    }
}

bool WaitPumping(HANDLE object, DWORD milliseconds) {
    return PumpUntil([object] { return WaitForSingleObject(object, 0) == WAIT_OBJECT_0; },
                     milliseconds);
}

BOOL StartTestProgram(LPCWSTR program, LPCWSTR commandLine, PROCESS_INFORMATION& info) {
    for (int attempt = 1;; ++attempt) {
        if (StartProcess(program, commandLine, 0, info)) {
            return TRUE;
        }
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3) {
            return FALSE;
        }
        PumpUntil([] { return false; }, 500);
    }
}

void CloseStandInApplication() {
    const HWND window = FindWindowW(kKorvessaWindowClass, kKorvessaWindowTitle);
    if (window == nullptr) {
        return;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    SendMessageW(window, WM_CLOSE, 0, 0);
    if (process != nullptr) {
        WaitPumping(process, 5000);
        CloseHandle(process);
    }
}

void Reset() {
    StartWorld();
    SendMessageW(ControlWindow(), kDestroyAll, 0, 0);
    CloseStandInApplication();
    EndStandInPrograms();
    EndWindowOwners();
    for (const OwnedKey& owned : kOwnedKeys) {
        DeleteKeyTree(owned.root, owned.path);
    }
    for (const WCHAR* path : kOwnedPaths) {
        RemoveTree(path);
    }
    RemoveInstallerRecords();
    AnswerBoxesWith(IDOK);
    detail::ClearRecordings();
    InstalledLibraries().clear();
    Imports().thread = GetCurrentThreadId();
    Imports().enumerations = 0;
    Imports().pauses.clear();
    Baseline() = OpenHandles();
}

std::string LeakReport() {
    std::string report = HandleReport(HandlesOpenedSince(Baseline()));
    for (const WideString& library : InstalledLibraries()) {
        if (GetModuleHandleW(library.c_str()) != nullptr) {
            report += (report.empty() ? "library " : ", library ") + Narrow(library);
        }
    }
    return report;
}

// Denies value writes on the key to everyone; the key can still be read and deleted. The denial
// lasts until Reset removes the key, and covers deleting values.
void RefuseNextWrite(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, READ_CONTROL | WRITE_DAC, &key) != ERROR_SUCCESS) {
        detail::Failed("the key " + Narrow(path) + " cannot be opened to deny writes");
        return;
    }
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
    if (SetEntriesInAclW(2, entries, nullptr, &acl) != ERROR_SUCCESS ||
        SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, acl,
                        nullptr) != ERROR_SUCCESS) {
        detail::Failed("writes to the key " + Narrow(path) + " cannot be denied");
    }
    LocalFree(acl);
    RegCloseKey(key);
}

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

void AnswerBoxesWith(int button) {
    AskedButton() = button;
}

// Real Windows offers no way to make these fail on request.
bool FailNext(Fault /*fault*/) {
    return false;
}

bool SetDeviceIdentity(DWORD /*major*/, const WCHAR* /*platformType*/) {
    return false;
}

bool SetScreenDensity(int /*horizontal*/, int /*vertical*/) {
    return false;
}

HWND CreateRecordingWindow(const WCHAR* className, const WCHAR* title) {
    CreateRequest request{className, title, nullptr};
    SendMessageW(ControlWindow(), kCreateRequest, 0, reinterpret_cast<LPARAM>(&request));
    return request.window;
}

DWORD RecordingWindowProcess() {
    return GetCurrentProcessId();  // the world's window thread is the program's own
}

std::vector<Pause> PausesSince(DWORD start) {
    std::vector<Pause> since;
    for (const Pause& pause : Imports().pauses) {
        if (pause.start - start < 0x80000000) {  // at or after `start`, the tick count wrapping
            since.push_back(pause);
        }
    }
    return since;
}

std::string PauseMismatch(DWORD start, DWORD milliseconds) {
    DWORD paused = 0;
    for (const Pause& pause : PausesSince(start)) {
        paused += pause.milliseconds;
    }
    // The pauses really took their time: the tick count moves in steps of up to 16 ms.
    const DWORD elapsed = GetTickCount() - start;
    if (paused == milliseconds && elapsed + 16 >= milliseconds) {
        return "";
    }
    return "paused " + std::to_string(paused) + " ms in " + std::to_string(elapsed) + " ms, not " +
           std::to_string(milliseconds);
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
    if (!StartTestProgram(L"" WRENFOLD_WINDOW_OWNER_PROGRAM, line.c_str(), info)) {
        detail::Failed("the window owner did not start: error " + std::to_string(GetLastError()));
        CloseHandle(ready);
        return owner;
    }
    owner.processId = info.dwProcessId;
    WindowOwners().push_back(RunningOwner{info.dwProcessId, info.dwThreadId});
    if (!WaitPumping(ready, 10000)) {
        detail::Failed("the window owner is not up");
    }
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
            WaitPumping(process, 5000);
            CloseHandle(process);
        }
    }
    WindowOwners().clear();
}

int WindowEnumerations() {
    return Imports().enumerations;
}

void InstallTestLibrary(const WCHAR* path, bool registerEntry) {
    CopyToDevice(registerEntry ? L"" WRENFOLD_LIBRARY_WITH_ENTRY : L"" WRENFOLD_LIBRARY_PLAIN,
                 path);
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

bool RecordedFills(std::vector<Fill>& fills) {
    fills.clear();
    return false;
}

}  // namespace world
