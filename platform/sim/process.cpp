// Programs, processes and time. A registered program's start-up runs inside CreateProcessW as the
// new process; a process that keeps running lives on through its windows until its thread quits.
// Sleep and timed waits move the clock on and let the other processes handle their messages.
#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "internal.h"
#include "sim.h"

namespace {

using sim::CallKind;
using sim::detail::Fail;
using sim::detail::Refused;

struct Process {
    DWORD id = 0;
    DWORD threadId = 0;
    std::u16string path;
    bool running = true;
    DWORD exitCode = STILL_ACTIVE;
};

struct ProcessHandle : sim::detail::KernelObject {
    explicit ProcessHandle(std::shared_ptr<Process> p) : process(std::move(p)) {}
    sim::HandleKind Kind() const override { return sim::HandleKind::Process; }
    std::shared_ptr<Process> process;
};

struct ThreadHandle : sim::detail::KernelObject {
    explicit ThreadHandle(std::shared_ptr<Process> p) : process(std::move(p)) {}
    sim::HandleKind Kind() const override { return sim::HandleKind::Thread; }
    std::shared_ptr<Process> process;
};

struct Processes {
    std::map<std::u16string, sim::Program> programs;  // by path key
    std::map<DWORD, std::shared_ptr<Process>> byThread;
    DWORD nextId = 0x100;
};

Processes& State() {
    static Processes processes;
    return processes;
}

void EndProcess(Process& process, DWORD exitCode) {
    if (!process.running) {
        return;
    }
    process.running = false;
    process.exitCode = exitCode;
    sim::detail::DestroyWindowsOfThread(process.threadId);
    sim::Event event;
    event.kind = sim::EventKind::ProcessExited;
    event.path = process.path;
    event.processId = process.id;
    event.result = exitCode;
    sim::detail::Log(std::move(event));
}

// The program named by the application name, or else by the command line's first word.
std::u16string ProgramPath(LPCWSTR application, LPCWSTR commandLine) {
    if (application != nullptr) {
        return application;
    }
    std::u16string path;
    const WCHAR* p = commandLine;
    if (*p == u'"') {
        for (++p; *p != 0 && *p != u'"'; ++p) {
            path += *p;
        }
        return path;
    }
    for (; *p != 0 && *p != u' '; ++p) {
        path += *p;
    }
    return path;
}

std::shared_ptr<Process> ProcessBehind(HANDLE handle) {
    if (const auto process = sim::detail::FindKernelObjectOf<ProcessHandle>(handle)) {
        return process->process;
    }
    if (const auto thread = sim::detail::FindKernelObjectOf<ThreadHandle>(handle)) {
        return thread->process;
    }
    return nullptr;
}

}  // namespace

namespace sim {

void RegisterProgram(const WCHAR* path, Program program) {
    State().programs[detail::PathKey(path)] = std::move(program);
}

DWORD StartPeerProcess(const WCHAR* name, const std::function<void()>& body) {
    auto process = std::make_shared<Process>();
    process->id = State().nextId;
    process->threadId = State().nextId + 4;
    process->path = name;
    State().nextId += 8;
    State().byThread[process->threadId] = process;
    RunInProcess(process->id, body);
    return process->id;
}

void RunInProcess(DWORD processId, const std::function<void()>& body) {
    for (const auto& entry : State().byThread) {
        if (entry.second->id == processId && entry.second->running) {
            const detail::ScopedThread running(processId, entry.first);
            body();
            return;
        }
    }
}

namespace detail {

void ResetProcesses() {
    State() = Processes();
}

bool IsRunningProgram(const std::u16string& pathKey) {
    const auto& processes = State().byThread;
    return std::any_of(processes.begin(), processes.end(), [&pathKey](const auto& entry) {
        return entry.second->running && PathKey(entry.second->path.c_str()) == pathKey;
    });
}

void EndProcessOfThread(DWORD threadId, DWORD exitCode) {
    const auto found = State().byThread.find(threadId);
    if (found != State().byThread.end()) {
        EndProcess(*found->second, exitCode);
    }
}

}  // namespace detail
}  // namespace sim

BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPCWSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES /*lpProcessAttributes*/,
                           LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, BOOL /*bInheritHandles*/,
                           DWORD dwCreationFlags, LPVOID /*lpEnvironment*/,
                           LPCWSTR /*lpCurrentDirectory*/, LPSTARTUPINFOW /*lpStartupInfo*/,
                           LPPROCESS_INFORMATION lpProcessInformation) {
    if (lpProcessInformation == nullptr ||
        (lpApplicationName == nullptr && lpCommandLine == nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    const std::u16string path = ProgramPath(lpApplicationName, lpCommandLine);
    const std::u16string commandLine =
        lpCommandLine == nullptr ? std::u16string() : std::u16string(lpCommandLine);

    sim::Event event;
    event.path = path;
    event.commandLine = commandLine;
    event.flags = dwCreationFlags;

    const auto program = State().programs.find(sim::detail::PathKey(path.c_str()));
    DWORD error = ERROR_SUCCESS;
    if (Refused(CallKind::Process, "CreateProcessW")) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    } else if (!sim::detail::IsExistingFile(path.c_str())) {
        // The device's own look at the path, not one of the caller's calls.
        const bool uncounted = sim::detail::SetUncounted(true);
        const DWORD attributes = GetFileAttributesW(path.c_str());
        error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_ACCESS_DENIED;
        sim::detail::SetUncounted(uncounted);
    } else if (program == State().programs.end()) {
        error = ERROR_BAD_EXE_FORMAT;  // a file, but nothing the device can run
    }
    if (error != ERROR_SUCCESS) {
        event.kind = sim::EventKind::ProcessFailed;
        event.result = error;
        sim::detail::Log(std::move(event));
        return Fail(error, FALSE);
    }

    auto process = std::make_shared<Process>();
    process->id = State().nextId;
    process->threadId = State().nextId + 4;
    process->path = path;
    State().nextId += 8;
    State().byThread[process->threadId] = process;

    event.kind = sim::EventKind::ProcessStarted;
    event.processId = process->id;
    sim::detail::Log(std::move(event));

    // Copy the program: its start-up may register programs of its own.
    const sim::Program start = program->second;
    DWORD exitCode = sim::kStillRunning;
    {
        const sim::detail::ScopedThread running(process->id, process->threadId);
        exitCode = start(commandLine);
    }
    if (exitCode != sim::kStillRunning) {
        EndProcess(*process, exitCode);
    }

    lpProcessInformation->hProcess =
        sim::detail::AddKernelHandle(std::make_shared<ProcessHandle>(process));
    lpProcessInformation->hThread =
        sim::detail::AddKernelHandle(std::make_shared<ThreadHandle>(process));
    lpProcessInformation->dwProcessId = process->id;
    lpProcessInformation->dwThreadId = process->threadId;
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    const auto process = sim::detail::FindKernelObjectOf<ProcessHandle>(hProcess);
    if (!process || lpExitCode == nullptr) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (Refused(CallKind::Process, "GetExitCodeProcess")) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    *lpExitCode = process->process->running ? STILL_ACTIVE : process->process->exitCode;
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    const std::shared_ptr<Process> process = ProcessBehind(hHandle);
    if (!process) {
        return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
    }
    if (Refused(CallKind::Process, "WaitForSingleObject")) {
        return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
    }
    if (process->running) {
        sim::detail::RunOtherThreads();
    }
    if (!process->running) {
        return WAIT_OBJECT_0;
    }
    if (dwMilliseconds == INFINITE) {
        // Nothing else runs on the device: waiting for ever would never return.
        return Fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    }
    sim::Event event;
    event.kind = sim::EventKind::Wait;
    event.milliseconds = dwMilliseconds;
    event.path = process->path;
    event.result = WAIT_TIMEOUT;
    sim::detail::Log(std::move(event));
    sim::detail::AdvanceClock(dwMilliseconds);
    return WAIT_TIMEOUT;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    sim::Event event;
    event.kind = sim::EventKind::Sleep;
    event.milliseconds = dwMilliseconds;
    sim::detail::Log(std::move(event));
    sim::detail::RunOtherThreads();
    sim::detail::AdvanceClock(dwMilliseconds);
}
