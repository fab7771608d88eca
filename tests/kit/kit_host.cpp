// The kit on the simulated device: the device's own control surface does the work.
#include "kit/kit_internal.h"
#include "sim.h"
#include "standin/korvessa_app.h"

// The close program's entry, as the host build names it.
int WINAPI CloseKorvessaMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                             int showCommand);

namespace kit {
namespace {

constexpr WCHAR kCloseProgramPath[] = TEXT("\\Windows\\CloseKorvessa.exe");

// The peer process that hosts this test's recording windows.
DWORD& WindowHost() {
    static DWORD processId = 0;
    return processId;
}

}  // namespace

void ResetWorld() {
    sim::Reset();
    detail::ClearRecordings();
    WindowHost() = 0;
    sim::ObserveEvents([](const sim::Event& event) {
        if (event.kind == sim::EventKind::MessageBox) {
            detail::RecordBox(Box{event.window, event.caption, event.text, event.flags, 0});
        }
    });
}

std::string LeakReport() {
    return sim::OpenHandlesReport();
}

void RefuseNextWrite(HKEY /*root*/, const WCHAR* /*path*/) {
    sim::FailNextRegistryCall(sim::RegistryCall::Set, ERROR_ACCESS_DENIED);
}

bool ReadOnlyFilesRefuseWriting() {
    return true;
}

bool FailNextAllocation() {
    sim::FailNextAllocation();
    return true;
}

bool FailNextFileRead() {
    sim::FailNextFileCall(sim::FileCall::Read, ERROR_READ_FAULT);
    return true;
}

bool FailNextFileWrite() {
    sim::FailNextFileCall(sim::FileCall::Write, ERROR_WRITE_FAULT);
    return true;
}

HWND CreateRecordingWindow(const WCHAR* className, const WCHAR* title) {
    HWND window = nullptr;
    const auto create = [&] { window = detail::CreateRecordingWindowHere(className, title); };
    if (WindowHost() == 0) {
        WindowHost() = sim::StartPeerProcess(TEXT("test windows"), create);
    } else {
        sim::RunInProcess(WindowHost(), create);
    }
    return window;
}

::testing::AssertionResult PausedFor(DWORD start, DWORD milliseconds) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed == milliseconds) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "paused " << elapsed << " ms, not " << milliseconds;
}

void InstallStandInApplication(const WCHAR* path) {
    MakeFile(path, "stand-in Korvessa");
    sim::RegisterProgram(path, [](const sim::WideString& commandLine) {
        return StartKorvessaStandIn(nullptr, commandLine.c_str()) != nullptr ? sim::kStillRunning
                                                                             : 1;
    });
}

HWND WaitForApplicationWindow() {
    return FindWindowW(TEXT("KorvessaNotify"), TEXT(""));
}

void CloseApplication() {
    if (const HWND window = WaitForApplicationWindow()) {
        SendMessageW(window, WM_CLOSE, 0, 0);
    }
}

DWORD RunCloseProgram(const WCHAR* commandLine) {
    if (!PathExists(kCloseProgramPath)) {
        MakeFolder(TEXT("\\Windows"));
        MakeFile(kCloseProgramPath, "CloseKorvessa");
        sim::RegisterProgram(kCloseProgramPath, [](const sim::WideString& line) {
            sim::WideString writable = line;
            return static_cast<DWORD>(
                CloseKorvessaMain(nullptr, nullptr, writable.data(), SW_SHOW));
        });
    }
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(kCloseProgramPath, commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, nullptr, &info)) {
        ADD_FAILURE() << "CloseKorvessa did not start: error " << GetLastError();
        return 0xFFFFFFFF;
    }
    WaitForSingleObject(info.hProcess, 0);
    DWORD exitCode = 0;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return exitCode;
}

}  // namespace kit
