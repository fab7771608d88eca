// The demo with the real programs under Wine: the hooks come from the built Wrenfold.dll, loaded
// by name as the CAB installer loads it; CloseKorvessa.exe and the stand-in application run as
// processes; every message box is read off the screen and answered by a second thread, which
// prints it as it comes. Each step shows how long it took, where the hooks' pauses show.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "demo/transcript.h"
#include "demo/world.h"
#include "observe/box_answerer.h"
#include "observe/remove_tree.h"
#include "support/compat.h"
#include "support/korvessa.h"

namespace {

const WCHAR* const kPreview = L"\\Program Files\\Korvessa\\Preview";
const WCHAR* const kFlashPlayerKey = L"CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}";

std::mutex& PrintLock() {
    static std::mutex lock;
    return lock;
}

DWORD& StepStart() {
    static DWORD start = 0;
    return start;
}

HWND ApplicationWindow() {
    return FindWindowW(kKorvessaWindowClass, kKorvessaWindowTitle);
}

// Waits up to `milliseconds` for the application's window to be up, or gone.
bool WaitForApplication(bool up, DWORD milliseconds) {
    for (DWORD waited = 0; (ApplicationWindow() != nullptr) != up && waited < milliseconds;
         waited += 20) {
        Sleep(20);
    }
    return (ApplicationWindow() != nullptr) == up;
}

void CloseApplication() {
    if (const HWND window = ApplicationWindow()) {
        SendMessageW(window, WM_CLOSE, 0, 0);
        WaitForApplication(false, 5000);
    }
}

LRESULT CALLBACK BrowserProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        world::Say("    Internet Explorer received WM_CLOSE and closes");
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Internet Explorer's window on a thread of the demo's own, which pumps its messages until the
// window is gone.
DWORD WINAPI BrowserThread(LPVOID) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = BrowserProcedure;
    windowClass.lpszClassName = L"IEFrame";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, L"IEFrame", L"Internet Explorer", WS_POPUP, 0, 0, 0, 0,
                                        nullptr, nullptr, nullptr, nullptr);
    MSG message{};
    while (IsWindow(window) && GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}

std::vector<HANDLE>& BrowserThreads() {
    static std::vector<HANDLE> threads;
    return threads;
}

}  // namespace

namespace world {

void Begin() {
    StartBoxAnswerer([](const ObservedBox& box) {
        Say("    " + BoxLines(box.caption, box.text, box.flags, box.owner != nullptr, "        "));
    });
    Say("The real programs under Wine: Wrenfold.dll loaded by name, CloseKorvessa.exe and the");
    Say("stand-in Korvessa.exe as processes, each message box read off the screen and answered.");
}

int End() {
    CloseApplication();
    for (const HANDLE thread : BrowserThreads()) {
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
    }
    BrowserThreads().clear();
    return 0;
}

void Reset() {
    CloseApplication();
    RegDeleteKeyW(HKEY_CLASSES_ROOT, kFlashPlayerKey);
    RemoveTree(kPreview);
}

void PutApplication(const WCHAR* path) {
    CopyFileW(L"" WRENFOLD_STANDIN_PROGRAM, path, FALSE);
}

void PutCloseProgram() {}

void StartApplication(const WCHAR* path) {
    PROCESS_INFORMATION info{};
    if (StartProcess(path, L"", 0, info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    WaitForApplication(true, 5000);
}

void OpenBrowser() {
    BrowserThreads().push_back(CreateThread(nullptr, 0, BrowserThread, nullptr, 0, nullptr));
    while (FindWindowW(L"IEFrame", L"Internet Explorer") == nullptr) {
        Sleep(10);
    }
}

const SetupHooks& Hooks() {
    static const SetupHooks hooks = [] {
        SetupHooks loaded{};
        if (!LoadSetupLibraryHooks(L"" WRENFOLD_SETUP_LIBRARY, loaded)) {
            std::fprintf(stderr, "Wrenfold.dll could not be loaded: error %lu\n", GetLastError());
            std::exit(1);
        }
        return loaded;
    }();
    return hooks;
}

DWORD RunCloseProgram() {
    // The C runtime takes the first word of the command line as the program's own name.
    return RunToEnd(L"" WRENFOLD_CLOSE_PROGRAM, L"CloseKorvessa.exe");
}

// A copy just started shows its window a moment later; one that was closed is gone already.
// The wait is the observer's, not the step's: it is left out of the step's time.
bool ApplicationRunning() {
    const DWORD start = GetTickCount();
    const bool running = WaitForApplication(true, 2000);
    StepStart() += GetTickCount() - start;
    return running;
}

void BeginStep() {
    StepStart() = GetTickCount();
}

void EndStep(const std::string& outcome) {
    char took[32];
    std::snprintf(took, sizeof took, "%.1f s", (GetTickCount() - StepStart()) / 1000.0);
    Say("    => " + outcome + "; took " + took);
}

void Say(const std::string& line) {
    const std::lock_guard<std::mutex> hold(PrintLock());
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::vector<Scenario> OwnScenarios() {
    return {};
}

std::vector<ScenarioOption> OwnOptions() {
    return {};
}

}  // namespace world
