// The demo with the real programs under Wine: the hooks come from the built Wrenfold.dll, loaded
// by name as the CAB installer loads it; CloseKorvessa.exe and the stand-in application run as
// processes. What a step does is observed by real means and shown as the simulated device logs
// it: Wrenfold.dll's calls to Sleep, PostMessageW, SendMessageW, CreateProcessW and DeleteFileW
// go through recorders here (its import table is pointed at them); the stand-ins report what
// their windows are sent and their closing (observe/reports.h); every message box is read off
// the screen and answered by the world's thread; the demo sees the processes it knows end. Times
// are the device's clock, the pauses asked for so far; each step also says how long it took.
//
// The order is the simulated device's, by construction rather than by timing. There a program
// runs only when the caller yields: a posted message is handled during the poster's next pause,
// a program that quits on a sent message ends as the send returns. Here every program runs at
// once, so the demo decides when what they did is shown: every report is a message sent to the
// observer window on the demo's own thread, which takes it only where that thread waits (inside
// a send, a box or a pause), and keeps it with the program that sent it. At each point where the
// simulated device would let the programs run (after a pause is shown; after a send; before a
// box is shown, the box being what its program does next; after a start), the demo settles the
// programs one at a time, those posted to first, in posting order: it posts each a settle
// request, which the program takes only after everything posted to it before, and waits for its
// answer or its end; then it shows that program's reports, then its end. So a program's lines
// come in its own order, the programs' in a fixed one, and all of them between the same two
// lines of the caller's as on the simulated device, however the two cores run them.
#include <windows.h>

#include <cstdio>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "demo/hook_calls.h"
#include "demo/stage.h"
#include "demo/transcript.h"
#include "observe/own_process.h"
#include "observe/reports.h"
#include "support/compat.h"
#include "world/wine.h"

namespace {

// How long a program may take to settle or to end: far beyond what any of them needs.
constexpr DWORD kPatience = 15000;
// The observer's own message: a box the world's answering thread has read (lParam a world::Box).
constexpr UINT kBoxSeen = WM_APP + 1;

struct Program {
    WideString path;
    HANDLE waitable = nullptr;  // the process, or the browser's thread
    DWORD threadId = 0;
    bool answersSettle = false;  // a stand-in
    bool endShown = true;        // the browser is a thread of the demo's: its end is no process's
    bool ended = false;
    bool settled = false;
    std::vector<DeviceEvent> reports;  // taken, not shown yet
};

struct Device {
    HWND observer = nullptr;
    DWORD clock = 0;
    DWORD stepStart = 0;
    std::vector<DeviceEvent> events;
    std::deque<Program> programs;  // in starting order; a deque keeps them in place
    std::vector<DWORD> postedTo;   // threads posted to since the last settling, in order
    HandleList handlesBefore;      // the demo's handles as the step began
    HandleList leaked;             // what steps left open
};

Device& TheDevice() {
    static Device device;
    return device;
}

void Show(DeviceEvent event) {
    event.time = TheDevice().clock;
    TheDevice().events.push_back(std::move(event));
}

// An event of a program or a file: a start (with its command line), an end or a deletion (with
// the exit code or the error).
void Show(DeviceEvent::Kind kind, const WideString& path, const WideString& commandLine,
          DWORD result) {
    DeviceEvent event;
    event.kind = kind;
    event.path = path;
    event.commandLine = commandLine;
    event.result = result;
    Show(event);
}

Program* ProgramOfThread(DWORD threadId) {
    for (Program& program : TheDevice().programs) {
        if (program.threadId == threadId) {
            return &program;
        }
    }
    return nullptr;
}

bool HasEnded(const Program& program) {
    return program.ended || WaitForSingleObject(program.waitable, 0) == WAIT_OBJECT_0;
}

void NoteEnd(Program& program) {
    program.ended = true;
    if (program.endShown) {
        DWORD exitCode = 0;
        GetExitCodeProcess(program.waitable, &exitCode);
        Show(DeviceEvent::Kind::Ended, program.path, L"", exitCode);
    }
}

bool IsProductKind(const std::string& description) {
    for (const char* kind : {"Key ", "File ", "Process ", "Thread "}) {
        if (description.compare(0, std::string(kind).size(), kind) == 0) {
            return true;
        }
    }
    return false;
}

void ShowReports(Program& program) {
    for (DeviceEvent& report : program.reports) {
        Show(std::move(report));
    }
    program.reports.clear();
}

// Lets the program handle everything posted to it so far, then shows what it reported and,
// for a stand-in that ended meanwhile, its end. A program that is no stand-in (the close
// program) is not asked: the demo sees it end where it waits for it.
void Settle(Program& program) {
    if (program.answersSettle && !program.ended) {
        program.settled = false;
        // A program just started has no message queue until it makes its window.
        const bool asked = world::PumpUntil(
            [&program] { return HasEnded(program) || PostSettleRequest(program.threadId); },
            kPatience);
        if (!asked || !world::PumpUntil([&program] { return program.settled || HasEnded(program); },
                                        kPatience)) {
            stage::Say("    (" + Utf8(program.path) + " did not settle)");
        }
    }
    ShowReports(program);
    if (program.answersSettle && !program.ended && HasEnded(program)) {
        NoteEnd(program);
    }
}

void SettleAll() {
    Device& device = TheDevice();
    std::vector<DWORD> order = device.postedTo;
    device.postedTo.clear();
    for (const Program& program : device.programs) {
        order.push_back(program.threadId);
    }
    std::set<DWORD> settled;
    for (const DWORD threadId : order) {
        Program* program = ProgramOfThread(threadId);
        if (program != nullptr && settled.insert(threadId).second) {
            Settle(*program);
        }
    }
}

DeviceEvent MessageEvent(DeviceEvent::Kind kind, HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam) {
    DeviceEvent event;
    event.kind = kind;
    event.message = message;
    event.wParam = wParam;
    event.lParam = lParam;
    event.everyWindow = window == HWND_BROADCAST;
    WCHAR text[128] = {};
    if (!event.everyWindow && GetClassNameW(window, text, 128) > 0) {
        event.windowClass = text;
    }
    // Read without sending the window WM_GETTEXT.
    if (!event.everyWindow && InternalGetWindowText(window, text, 128) >= 0) {
        event.windowTitle = text;
    }
    return event;
}

LRESULT CALLBACK ObserverProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kBoxSeen) {
        const auto& box = *reinterpret_cast<const world::Box*>(lParam);
        SettleAll();
        DeviceEvent event;
        event.kind = DeviceEvent::Kind::Box;
        event.caption = box.caption;
        event.text = box.text;
        event.flags = box.flags;
        event.owned = box.owner != nullptr;
        event.result = static_cast<DWORD>(box.answer);
        Show(event);
        return 0;
    }
    if (message != WM_COPYDATA) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    const auto& data = *reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (data.cbData != sizeof(Report)) {
        return 0;
    }
    const auto& report = *static_cast<const Report*>(data.lpData);
    Program* program = ProgramOfThread(report.threadId);
    if (report.kind == Report::Kind::Settled) {
        if (program != nullptr) {
            program->settled = true;
        }
        return 1;
    }
    DeviceEvent event;
    event.kind = report.kind == Report::Kind::Sent ? DeviceEvent::Kind::Sent
                                                   : DeviceEvent::Kind::WindowClosed;
    event.message = report.message;
    event.wParam = report.wParam;
    event.lParam = report.lParam;
    event.windowClass = report.windowClass;
    event.windowTitle = report.windowTitle;
    if (program != nullptr) {
        program->reports.push_back(event);
    } else {
        Show(event);  // a program the demo did not start
    }
    return 1;
}

// ---- What Wrenfold.dll calls -----------------------------------------------------------------

void WINAPI RecordedSleep(DWORD milliseconds) {
    DeviceEvent event;
    event.kind = DeviceEvent::Kind::Pause;
    event.milliseconds = milliseconds;
    Show(event);
    SettleAll();
    Sleep(milliseconds);
    TheDevice().clock += milliseconds;
}

BOOL WINAPI RecordedPostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Read before posting, while the window is surely there.
    const DeviceEvent event =
        MessageEvent(DeviceEvent::Kind::Posted, window, message, wParam, lParam);
    const DWORD threadId = window == HWND_BROADCAST ? 0 : GetWindowThreadProcessId(window, nullptr);
    if (!PostMessageW(window, message, wParam, lParam)) {
        return FALSE;
    }
    const DWORD error = GetLastError();
    Show(event);
    TheDevice().postedTo.push_back(threadId);
    SetLastError(error);
    return TRUE;
}

// The receiving stand-in reports the message itself, as it gets it.
LRESULT WINAPI SettledSendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const DWORD threadId = GetWindowThreadProcessId(window, nullptr);
    const LRESULT result = SendMessageW(window, message, wParam, lParam);
    const DWORD error = GetLastError();
    // The simulated device ends a program that quit on the message as the delivery ends.
    if (Program* program = ProgramOfThread(threadId)) {
        Settle(*program);
    }
    SetLastError(error);
    return result;
}

BOOL WINAPI RecordedCreateProcessW(LPCWSTR application, LPWSTR commandLine,
                                   LPSECURITY_ATTRIBUTES processAttributes,
                                   LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                                   DWORD flags, LPVOID environment, LPCWSTR folder,
                                   LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info) {
    const WideString path = application != nullptr ? application : commandLine;
    const BOOL started =
        CreateProcessW(application, commandLine, processAttributes, threadAttributes,
                       inheritHandles, flags, environment, folder, startup, info);
    const DWORD error = GetLastError();
    Show(started ? DeviceEvent::Kind::Started : DeviceEvent::Kind::NotStarted, path,
         commandLine != nullptr ? commandLine : L"", error);
    if (started) {
        Program program;
        program.path = path;
        DuplicateHandle(GetCurrentProcess(), info->hProcess, GetCurrentProcess(), &program.waitable,
                        0, FALSE, DUPLICATE_SAME_ACCESS);
        program.threadId = info->dwThreadId;
        program.answersSettle = lstrcmpiW(program.path.c_str(), world::kInstalledApplication) == 0;
        TheDevice().programs.push_back(program);
        // The simulated device runs a program's start-up inside CreateProcessW.
        Settle(TheDevice().programs.back());
    }
    SetLastError(error);
    return started;
}

BOOL WINAPI RecordedDeleteFileW(LPCWSTR path) {
    // The real call, not this program's import of it: the installer's own calls come here too.
    static const auto real = reinterpret_cast<decltype(&DeleteFileW)>(
        const_cast<void*>(PlatformFunction(L"kernel32.dll", "DeleteFileW")));
    const BOOL deleted = real(path);
    const DWORD error = GetLastError();
    Show(deleted ? DeviceEvent::Kind::Deleted : DeviceEvent::Kind::Kept, path, L"", error);
    SetLastError(error);
    return deleted;
}

BOOL WINAPI RecordedDestroyWindow(HWND window) {
    static const auto real = reinterpret_cast<decltype(&DestroyWindow)>(
        const_cast<void*>(PlatformFunction(L"user32.dll", "DestroyWindow")));
    DeviceEvent event = MessageEvent(DeviceEvent::Kind::WindowClosed, window, 0, 0, 0);
    const BOOL destroyed = real(window);
    if (destroyed) {
        Show(event);
    }
    return destroyed;
}

const Redirect kRecorders[] = {
    {L"kernel32.dll", "Sleep", reinterpret_cast<const void*>(&RecordedSleep)},
    {L"user32.dll", "PostMessageW", reinterpret_cast<const void*>(&RecordedPostMessageW)},
    {L"user32.dll", "SendMessageW", reinterpret_cast<const void*>(&SettledSendMessageW)},
    {L"kernel32.dll", "CreateProcessW", reinterpret_cast<const void*>(&RecordedCreateProcessW)},
    {L"kernel32.dll", "DeleteFileW", reinterpret_cast<const void*>(&RecordedDeleteFileW)},
};

// What the installer itself does that the simulated device logs: it runs inside the demo, so
// the demo's own imports are pointed at these.
const Redirect kInstallerRecorders[] = {
    {L"kernel32.dll", "DeleteFileW", reinterpret_cast<const void*>(&RecordedDeleteFileW)},
    {L"user32.dll", "DestroyWindow", reinterpret_cast<const void*>(&RecordedDestroyWindow)},
};

// The setup library as the installer loads it from where it put it, its calls recorded.
bool LoadRecordedLibrary(LPCWSTR path, SetupHooks& hooks, void*& token) {
    if (!kLoadLibraryLoader.load(path, hooks, token)) {
        return false;
    }
    for (const Redirect& recorder : kRecorders) {
        if (RedirectImports(static_cast<HMODULE>(token), recorder) == 0) {
            std::fprintf(stderr, "the setup library does not import %s\n", recorder.function);
            std::exit(1);
        }
    }
    return true;
}

const SetupLibraryLoader kRecordedLibrary{LoadRecordedLibrary, kLoadLibraryLoader.unload};

// ---- The device's programs -------------------------------------------------------------------

// Starts `path` as the shell would, through the same recorder as the hooks' starts, and gives
// the program, or null.
Program* Start(const WCHAR* path) {
    WCHAR commandLine[1] = {};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!RecordedCreateProcessW(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &info)) {
        return nullptr;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return &TheDevice().programs.back();
}

// Internet Explorer's window on a thread of the demo's own, which pumps its messages until the
// window is gone.
DWORD WINAPI BrowserThread(LPVOID) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = stage::kBrowserClass;
    RegisterClassW(&windowClass);  // fails harmlessly when an earlier scenario made it
    const HWND window = CreateWindowExW(0, stage::kBrowserClass, stage::kBrowserTitle, WS_POPUP, 0,
                                        0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    WitnessWindow(window);
    MSG message{};
    while (IsWindow(window) && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsSettleRequest(message)) {
            ReportSettled();
            continue;
        }
        DispatchMessageW(&message);
    }
    return 0;
}

// Ends whatever of the device's programs still runs, and forgets them.
void EndPrograms() {
    Device& device = TheDevice();
    for (Program& program : device.programs) {
        if (program.answersSettle && !HasEnded(program)) {
            PostThreadMessageW(program.threadId, WM_QUIT, 0, 0);
        }
    }
    for (Program& program : device.programs) {
        world::PumpUntil([&program] { return HasEnded(program); }, kPatience);
        CloseHandle(program.waitable);
    }
    device.programs.clear();
    device.postedTo.clear();
    device.events.clear();
}

}  // namespace

namespace stage {

void Begin() {
    StopOnFailures();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ObserverProcedure;
    windowClass.lpszClassName = kObserverClass;
    RegisterClassW(&windowClass);
    TheDevice().observer = CreateWindowExW(0, kObserverClass, L"Wrenfold demo observer", WS_POPUP,
                                           0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    // The box waits, unanswered, until the demo's thread has shown it in its place.
    world::WatchBoxes([](const world::Box& box) {
        SendMessageW(TheDevice().observer, kBoxSeen, 0, reinterpret_cast<LPARAM>(&box));
    });
    for (const Redirect& recorder : kInstallerRecorders) {
        RedirectImports(GetModuleHandleW(nullptr), recorder);
    }
    Say("The real programs under Wine: Korvessa.cab installed by the stand-in installer, its "
        "Wrenfold.dll loaded as the installer loads it, CloseKorvessa.exe and the stand-in "
        "Korvessa.exe as processes, each message box read off the screen and answered.");
}

int End() {
    EndPrograms();
    HandleList left;
    for (const auto& [value, description] : TheDevice().leaked) {
        // Still open, and still the same object.
        if (DescribeHandle(reinterpret_cast<HANDLE>(value)) == description) {
            left.emplace(value, description);
        }
    }
    const std::string leaks = HandleReport(left);
    Say("\nOpen handles left on the device: " + (leaks.empty() ? std::string("none") : leaks));
    return leaks.empty() ? 0 : 1;
}

void Reset() {
    EndPrograms();
    world::Reset();
    world::InstallStandInInstaller(&ShowingHookCalls(kRecordedLibrary));
    TheDevice().clock = 0;
    TheDevice().events.clear();
}

// The installer runs inside the demo (world::InstallStandInInstaller), with its own library
// loader: its start and end are shown as the simulated device shows a program's.
DWORD RunInstaller(const WideString& commandLine) {
    Show(DeviceEvent::Kind::Started, world::kInstallerPath, commandLine, 0);
    const DWORD exitCode = world::RunInstaller(commandLine);
    Show(DeviceEvent::Kind::Ended, world::kInstallerPath, L"", exitCode);
    return exitCode;
}

DWORD RunUnload(const WideString& name) {
    Show(DeviceEvent::Kind::Started, world::kUnloadPath, L"\"" + name + L"\"", 0);
    const DWORD exitCode = world::RunUnload(name);
    Show(DeviceEvent::Kind::Ended, world::kUnloadPath, L"", exitCode);
    return exitCode;
}

void OpenBrowser() {
    Program browser;
    browser.path = L"\\Windows\\iexplore.exe";
    browser.waitable = CreateThread(nullptr, 0, BrowserThread, nullptr, 0, &browser.threadId);
    browser.answersSettle = true;
    browser.endShown = false;
    TheDevice().programs.push_back(browser);
    Settle(TheDevice().programs.back());
}

// Started through the same recorder as the hooks' starts, so that its end is shown in its place.
DWORD RunCloseProgram() {
    Program* program = Start(world::kInstalledCloseProgram);
    if (program == nullptr) {
        return GetLastError();
    }
    if (!world::PumpUntil([program] { return HasEnded(*program); }, kPatience)) {
        Say("    (CloseKorvessa.exe did not end)");
    }
    NoteEnd(*program);
    DWORD exitCode = 0;
    GetExitCodeProcess(program->waitable, &exitCode);
    return exitCode;
}

void Note(DeviceEvent event) {
    Show(std::move(event));
}

void BeginStep() {
    Device& device = TheDevice();
    device.events.clear();
    for (Program& program : device.programs) {
        program.reports.clear();
    }
    device.handlesBefore = OpenHandles();
    device.stepStart = GetTickCount();
}

void EndStep(const std::string& outcome) {
    Device& device = TheDevice();
    for (Program& program : device.programs) {
        ShowReports(program);
    }
    Say(StepLines(device.events, outcome));
    // What the step opened and did not close, of the kinds of kernel object the product opens
    // (the simulated device counts the rest: libraries, GDI objects, memory). Wine keeps some
    // objects of its own for good the first time a process does certain things (a box, a post
    // to another thread): semaphores and the like, none of these kinds. The demo's own hold on a
    // program it started is not the step's.
    for (const auto& [value, description] : HandlesOpenedSince(device.handlesBefore)) {
        bool demos = false;
        for (const Program& program : device.programs) {
            demos = demos || reinterpret_cast<ULONG_PTR>(program.waitable) == value;
        }
        if (!demos && IsProductKind(description)) {
            device.leaked.emplace(value, description);
        }
    }
    char took[32];
    std::snprintf(took, sizeof took, "    took %.1f s",
                  (GetTickCount() - device.stepStart) / 1000.0);
    Say(took);
}

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::vector<Scenario> OwnScenarios() {
    return {};
}

std::vector<ScenarioOption> OwnOptions() {
    return {};
}

}  // namespace stage
