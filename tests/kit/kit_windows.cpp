// The kit on real Windows (under Wine). The world is cleaned up through the API; recording
// windows live on a kit thread that pumps messages; a second kit thread reads every message box
// (caption, text, owner, icon and buttons) and presses OK; programs are real processes. Open
// handles are found by probing the process's handle table, since Wine's GetProcessHandleCount
// reports 0.
#include <aclapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "kit/kit_internal.h"
#include "support/compat.h"

namespace kit {
namespace {

// ---- Handles ----------------------------------------------------------------------------------

// Wine hands out the lowest free handle values, so a test's handles lie well below this.
constexpr ULONG_PTR kHighestProbedHandle = 0x2000;

std::set<ULONG_PTR> OpenHandleValues() {
    std::set<ULONG_PTR> values;
    for (ULONG_PTR value = 4; value <= kHighestProbedHandle; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            values.insert(value);
        }
    }
    return values;
}

std::set<ULONG_PTR>& Baseline() {
    static std::set<ULONG_PTR> baseline;
    return baseline;
}

// The kernel object type of a handle ("Key", "File", "Process", ...), for a readable report.
std::string HandleTypeName(HANDLE handle) {
    using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    alignas(8) BYTE buffer[1024] = {};
    constexpr int kObjectTypeInformation = 2;
    if (query == nullptr ||
        query(handle, kObjectTypeInformation, buffer, sizeof buffer, nullptr) != 0) {
        return "handle";
    }
    // The record starts with a counted UTF-16 name: length in bytes, capacity, pointer.
    const auto length = *reinterpret_cast<const USHORT*>(buffer);
    const WCHAR* name = *reinterpret_cast<WCHAR* const*>(buffer + sizeof(void*));
    std::string type;
    for (USHORT i = 0; i < length / sizeof(WCHAR); ++i) {
        type += static_cast<char>(name[i]);
    }
    return type + " handle";
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
    {HKEY_CLASSES_ROOT, L"CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Today"},
    {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Color"},
};

const WCHAR* const kOwnedPaths[] = {
    L"\\WrenfoldTest",         L"\\Korvessa.exe",          L"\\Preview",
    L"\\Windows\\WCELOAD.EXE", L"\\Windows\\tdywater.gif", L"\\Windows\\stwater.gif"};

// The stand-in programs a test may leave running (an installer told to hang, say).
const WCHAR* const kStandInPrograms[] = {L"WCELOAD.EXE", L"Korvessa.exe", L"CloseKorvessa.exe"};

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

void RemoveTree(const WideString& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstEntry((path + L"\\*").c_str(), entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            RemoveTree(path + L"\\" + entry.cFileName);
        } while (FindNextEntry(search, entry));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
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

// ---- The box thread ------------------------------------------------------------------------

constexpr int kMessageBoxTextId = 0xFFFF;

WideString WindowText(HWND window) {
    WCHAR text[4096] = {};
    GetWindowTextW(window, text, 4096);
    return text;
}

// The pixels of a 32 x 32 area, read back from the screen as the X server shows it.
std::vector<COLORREF> ScreenPixels(int left, int top) {
    std::vector<COLORREF> pixels;
    const HDC screen = GetDC(nullptr);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            pixels.push_back(GetPixel(screen, left + x, top + y));
        }
    }
    ReleaseDC(nullptr, screen);
    return pixels;
}

// How a standard icon looks drawn over `background`.
std::vector<COLORREF> IconPixels(LPCWSTR icon, COLORREF background) {
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    const HBRUSH brush = CreateSolidBrush(background);
    const RECT all{0, 0, 32, 32};
    FillRect(memory, &all, brush);
    DrawIconEx(memory, 0, 0, LoadIconW(nullptr, icon), 32, 32, 0, nullptr, DI_NORMAL);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            pixels.push_back(GetPixel(memory, x, y));
        }
    }
    SelectObject(memory, previous);
    DeleteObject(brush);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// The icon part of a box's flags: which standard icon its icon control shows, told apart by
// the pixels on the screen (the box may belong to another process, whose icon handles mean
// nothing here).
UINT IconFlags(HWND box) {
    HWND shown = nullptr;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr && shown == nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsWindowVisible(child) && SendMessageW(child, STM_GETICON, 0, 0) != 0) {
            shown = child;
        }
    }
    if (shown == nullptr) {
        return 0;
    }
    RECT place{};
    GetWindowRect(shown, &place);
    struct Known {
        LPCWSTR icon;
        UINT flags;
    };
    UINT best = 0;
    int fewestDifferences = 32 * 32 / 4;  // beyond this it is no standard icon
    for (int attempt = 0; attempt < 20 && best == 0; ++attempt) {
        Sleep(25);  // the box paints itself after it appears
        const std::vector<COLORREF> seen = ScreenPixels(place.left, place.top);
        for (const Known known :
             {Known{IDI_HAND, MB_ICONHAND}, Known{IDI_QUESTION, MB_ICONQUESTION},
              Known{IDI_EXCLAMATION, MB_ICONEXCLAMATION}, Known{IDI_ASTERISK, MB_ICONASTERISK}}) {
            const std::vector<COLORREF> drawn = IconPixels(known.icon, seen[0]);
            int differences = 0;
            for (std::size_t i = 0; i < seen.size(); ++i) {
                differences += seen[i] != drawn[i] ? 1 : 0;
            }
            if (differences < fewestDifferences) {
                fewestDifferences = differences;
                best = known.flags;
            }
        }
    }
    return best;
}

// The button part of a box's flags, from the buttons it shows.
UINT ButtonFlags(HWND box) {
    const auto shows = [box](int id) {
        const HWND button = GetDlgItem(box, id);
        return button != nullptr && IsWindowVisible(button);
    };
    if (shows(IDYES) && shows(IDNO)) {
        return shows(IDCANCEL) ? MB_YESNOCANCEL : MB_YESNO;
    }
    if (shows(IDOK) && shows(IDCANCEL)) {
        return MB_OKCANCEL;
    }
    return MB_OK;
}

BOOL CALLBACK AnswerBox(HWND window, LPARAM seenBoxes) {
    auto& seen = *reinterpret_cast<std::set<HWND>*>(seenBoxes);
    WCHAR className[16] = {};
    GetClassNameW(window, className, 16);
    const HWND textControl = GetDlgItem(window, kMessageBoxTextId);
    if (std::wstring(className) != L"#32770" || textControl == nullptr ||
        !IsWindowVisible(window) || seen.count(window) != 0) {
        return TRUE;
    }
    seen.insert(window);
    detail::RecordBox(Box{GetWindow(window, GW_OWNER), WindowText(window), WindowText(textControl),
                          IconFlags(window) | ButtonFlags(window), 0});
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
}

DWORD WINAPI BoxThread(LPVOID) {
    std::set<HWND> seen;
    for (;;) {
        EnumWindows(AnswerBox, reinterpret_cast<LPARAM>(&seen));
        Sleep(10);
    }
}

// Both kit threads start once per process, before the first baseline, so their handles and
// GoogleTest's own trace thread are not charged to any test.
void StartKitThreads() {
    static const bool started = [] {
        { SCOPED_TRACE("kit"); }
        // GoogleTest reports a skip or a failure to the debugger as well; Wine keeps the handles
        // its first debug output opens.
        OutputDebugStringA("Wrenfold test kit starting\n");
        CreateThread(nullptr, 0, WindowThread, nullptr, 0, nullptr);
        while (ControlWindow() == nullptr) {
            Sleep(1);
        }
        CreateThread(nullptr, 0, BoxThread, nullptr, 0, nullptr);
        // The process's first box sets up fonts and the like for good; the box thread answers it.
        MessageBoxW(nullptr, L"The test kit is ready.", L"Wrenfold tests", MB_ICONEXCLAMATION);
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

void ResetWorld() {
    StartKitThreads();
    SendMessageW(ControlWindow(), kDestroyAll, 0, 0);
    CloseApplication();
    EndStandInPrograms();
    for (const OwnedKey& owned : kOwnedKeys) {
        DeleteKeyTree(owned.root, owned.path);
    }
    for (const WCHAR* path : kOwnedPaths) {
        RemoveTree(path);
    }
    detail::ClearRecordings();
    Baseline() = OpenHandleValues();
}

std::string LeakReport() {
    std::string report;
    for (const ULONG_PTR value : OpenHandleValues()) {
        if (Baseline().count(value) == 0) {
            report +=
                (report.empty() ? "" : ", ") + HandleTypeName(reinterpret_cast<HANDLE>(value));
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

HWND CreateRecordingWindow(const WCHAR* className, const WCHAR* title) {
    CreateRequest request{className, title, nullptr};
    SendMessageW(ControlWindow(), kCreateRequest, 0, reinterpret_cast<LPARAM>(&request));
    return request.window;
}

::testing::AssertionResult PausedFor(DWORD start, DWORD milliseconds) {
    // The tick count moves in steps of up to 16 ms; a loaded machine may add more after.
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed + 20 >= milliseconds && elapsed <= milliseconds + 1500) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "paused " << elapsed << " ms, not " << milliseconds;
}

void InstallStandInApplication(const WCHAR* path) {
    ASSERT_TRUE(CopyFileW(L"" WRENFOLD_STANDIN_PROGRAM, path, FALSE))
        << "error " << GetLastError() << " copying to " << Narrow(path);
}

HWND WaitForApplicationWindow() {
    for (int waited = 0; waited < 5000; waited += 20) {
        if (const HWND window = FindWindowW(L"KorvessaNotify", L"")) {
            return window;
        }
        Sleep(20);
    }
    return nullptr;
}

void CloseApplication() {
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

void StartProgram(const WideString& path) {
    PROCESS_INFORMATION info{};
    if (StartProcess(path.c_str(), L"", 0, info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    WaitForApplicationWindow();
}

void InstallStandInInstaller() {
    ASSERT_TRUE(CopyFileW(L"" WRENFOLD_INSTALLER_PROGRAM, kInstallerPath, FALSE))
        << "error " << GetLastError();
}

bool InstallerCreationFlags(DWORD& /*flags*/) {
    return false;
}

WideString SetupLibrary() {
    return L"" WRENFOLD_SETUP_LIBRARY;
}

WideString ApplicationSource() {
    return L"" WRENFOLD_STANDIN_PROGRAM;
}

DWORD RunInstaller(const WideString& commandLine) {
    PROCESS_INFORMATION info{};
    if (!StartProcess(kInstallerPath, commandLine.c_str(), 0, info)) {
        ADD_FAILURE() << "the installer did not start: error " << GetLastError();
        return 0xFFFFFFFF;
    }
    WaitForSingleObject(info.hProcess, 30000);
    DWORD exitCode = 0xFFFFFFFF;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return exitCode;
}

DWORD RunCloseProgram(const WCHAR* commandLine) {
    // The C runtime takes the first word of the command line as the program's own name.
    const WideString line = L"CloseKorvessa.exe " + WideString(commandLine);
    PROCESS_INFORMATION info{};
    if (!StartProcess(L"" WRENFOLD_CLOSE_PROGRAM, line.c_str(), 0, info)) {
        ADD_FAILURE() << "CloseKorvessa did not start: error " << GetLastError();
        return 0xFFFFFFFF;
    }
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 15000), WAIT_OBJECT_0);
    DWORD exitCode = 0xFFFFFFFF;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return exitCode;
}

}  // namespace kit
