// The device as a whole: reset, the kernel handle table, the clock, the event log, the
// last-error value and which simulated thread is running.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "internal.h"
#include "sim.h"

namespace {

using sim::detail::KernelObject;

struct Device {
    std::map<HANDLE, std::shared_ptr<KernelObject>> kernelHandles;
    std::vector<sim::Event> events;
    DWORD clock = 0;
    std::map<DWORD, DWORD> lastError;  // by thread
    DWORD currentProcess = 0;
    DWORD currentThread = 0;
};

constexpr DWORD kHostProcessId = 0x40;
constexpr DWORD kHostThreadId = 0x44;

Device& State() {
    static Device device{{}, {}, 0, {}, kHostProcessId, kHostThreadId};
    return device;
}

std::function<void(const sim::Event&)>& Observer() {
    static std::function<void(const sim::Event&)> observer;
    return observer;
}

// Kernel handle values keep growing across resets, so a stale handle never names a new object.
HANDLE NewKernelHandleValue() {
    static ULONG_PTR next = 0x100;
    next += 4;
    return reinterpret_cast<HANDLE>(next);
}

}  // namespace

namespace sim {

void Reset() {
    // Windows first: their procedures may still reach the other areas while they go.
    detail::ResetWindows();
    detail::ResetProcesses();
    detail::ResetStreams();
    detail::ResetFiles();
    detail::ResetRegistry();
    detail::ResetSystem();
    detail::ResetGdi();
    detail::ResetHeap();
    detail::ResetFailurePoint();
    State() = Device{{}, {}, 0, {}, kHostProcessId, kHostThreadId};
}

int OpenHandles(HandleKind kind) {
    switch (kind) {
        case HandleKind::RegistryKey:
            return detail::OpenRegistryKeys();
        case HandleKind::Search:
            return detail::OpenSearches();
        case HandleKind::File:
        case HandleKind::Process:
        case HandleKind::Thread:
            return detail::CountKernelHandles(kind);
        case HandleKind::Library:
            return detail::OpenLibraries();
        case HandleKind::GdiObject:
            return detail::OpenGdiObjects();
        case HandleKind::DeviceContext:
            return detail::OpenDeviceContexts();
        case HandleKind::LocalMemory:
            return detail::OpenLocalMemory();
        case HandleKind::Stream:
            return detail::OpenStreams();
        case HandleKind::HeapBlock:
            return detail::LiveBlocks();
        case HandleKind::kCount:
            break;
    }
    return 0;
}

std::string OpenHandlesReport() {
    static const char* const kNames[] = {"registry key", "file",    "search",     "process",
                                         "thread",       "library", "GDI object", "device context",
                                         "local memory", "stream",  "heap block"};
    static_assert(sizeof(kNames) / sizeof(kNames[0]) == static_cast<int>(HandleKind::kCount));
    std::string report;
    for (int kind = 0; kind < static_cast<int>(HandleKind::kCount); ++kind) {
        const int count = OpenHandles(static_cast<HandleKind>(kind));
        if (count == 0) {
            continue;
        }
        if (!report.empty()) {
            report += ", ";
        }
        report += std::to_string(count) + " " + kNames[kind] + (count == 1 ? "" : "s");
    }
    return report;
}

DWORD Now() {
    return State().clock;
}

DWORD HostProcessId() {
    return kHostProcessId;
}
DWORD HostThreadId() {
    return kHostThreadId;
}

const std::vector<Event>& Events() {
    return State().events;
}

void ClearEvents() {
    State().events.clear();
}

void ObserveEvents(std::function<void(const Event&)> observer) {
    Observer() = std::move(observer);
}

}  // namespace sim

namespace sim::detail {

HANDLE AddKernelHandle(std::shared_ptr<KernelObject> object) {
    const HANDLE handle = NewKernelHandleValue();
    State().kernelHandles.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<KernelObject> FindKernelObject(HANDLE handle) {
    const auto found = State().kernelHandles.find(handle);
    return found == State().kernelHandles.end() ? nullptr : found->second;
}

int CountKernelHandles(HandleKind kind) {
    int count = 0;
    for (const auto& entry : State().kernelHandles) {
        count += entry.second->Kind() == kind ? 1 : 0;
    }
    return count;
}

void Log(Event event) {
    event.time = State().clock;
    State().events.push_back(std::move(event));
    if (Observer()) {
        Observer()(State().events.back());
    }
}

void AdvanceClock(DWORD milliseconds) {
    State().clock += milliseconds;
}

DWORD CurrentThreadId() {
    return State().currentThread;
}
DWORD CurrentProcessId() {
    return State().currentProcess;
}
bool IsHostThread(DWORD threadId) {
    return threadId == kHostThreadId;
}

ScopedThread::ScopedThread(DWORD processId, DWORD threadId)
    : savedProcess_(State().currentProcess), savedThread_(State().currentThread) {
    State().currentProcess = processId;
    State().currentThread = threadId;
    SetUncounted(!IsHostThread(threadId));
}

ScopedThread::~ScopedThread() {
    State().currentProcess = savedProcess_;
    State().currentThread = savedThread_;
    SetUncounted(!IsHostThread(savedThread_));
}

WCHAR FoldCase(WCHAR c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
        return static_cast<WCHAR>(c + 32);
    }
    return c;
}

bool EqualNoCase(const WCHAR* a, std::size_t aLength, const WCHAR* b, std::size_t bLength) {
    if (aLength != bLength) {
        return false;
    }
    for (std::size_t i = 0; i < aLength; ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

bool EqualNoCase(const std::u16string& a, const std::u16string& b) {
    return EqualNoCase(a.data(), a.size(), b.data(), b.size());
}

int CompareNoCase(const std::u16string& a, const std::u16string& b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const WCHAR x = FoldCase(a[i]);
        const WCHAR y = FoldCase(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace sim::detail

BOOL WINAPI CloseHandle(HANDLE hObject) {
    auto& handles = State().kernelHandles;
    const auto found = handles.find(hObject);
    if (found == handles.end()) {
        return sim::detail::Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    const bool file = found->second->Kind() == sim::HandleKind::File;
    // The object itself goes when its last holder lets go (a process outlives its handle).
    handles.erase(found);
    // A close that fails has still let go of the handle.
    if (sim::detail::Refused(file ? sim::CallKind::File : sim::CallKind::Process, "CloseHandle")) {
        return sim::detail::Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    return TRUE;
}

DWORD WINAPI GetLastError() {
    return State().lastError[State().currentThread];
}

void WINAPI SetLastError(DWORD dwErrCode) {
    State().lastError[State().currentThread] = dwErrCode;
}

DWORD WINAPI GetTickCount() {
    return State().clock;
}

DWORD WINAPI GetCurrentProcessId() {
    return State().currentProcess;
}

DWORD WINAPI GetCurrentThreadId() {
    return State().currentThread;
}
