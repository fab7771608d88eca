// Shared between the areas of the simulated device; not part of its interface.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "sim.h"

namespace sim::detail {

// ---- Each area returns to its factory state and counts what callers hold open -----------------
void ResetRegistry();
void ResetWindows();
void ResetProcesses();
void ResetFiles();
void ResetStreams();
void ResetSystem();
void ResetGdi();
void ResetHeap();
void ResetFailurePoint();

int OpenRegistryKeys();
int OpenSearches();
int OpenStreams();
int OpenLibraries();
int OpenLocalMemory();
int OpenGdiObjects();
int OpenDeviceContexts();

// ---- The general failure point ---------------------------------------------------------------
// Every call of the device that can fail asks first: true when it is the call to fail, which
// then returns its failure result. Counts the caller's thread only.
bool Refused(CallKind kind, const char* name);
// Marks whether the calls made now are not the caller's: a simulated program's thread runs, or
// the device looks something up through its own interface. Returns what was marked before.
bool SetUncounted(bool uncounted);
// The heap hook's book of the blocks it handed out and that are not yet freed.
void TrackBlock(const void* block);
void ForgetBlock(const void* block);
int LiveBlocks();

// ---- Kernel objects: files, processes and threads share one handle table and CloseHandle -----
struct KernelObject {
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject() = default;
    virtual HandleKind Kind() const = 0;
};

HANDLE AddKernelHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> FindKernelObject(HANDLE handle);
template <class T>
std::shared_ptr<T> FindKernelObjectOf(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(FindKernelObject(handle));
}
int CountKernelHandles(HandleKind kind);

// ---- Clock, log and errors ------------------------------------------------------------------
void Log(Event event);  // stamps the event with the clock
void AdvanceClock(DWORD milliseconds);

// Sets the calling thread's last-error value and returns `result`, for the failure paths.
template <class T>
T Fail(DWORD error, T result) {
    SetLastError(error);
    return result;
}

// ---- Who is running: the caller's own thread, or a simulated program's -----------------------
DWORD CurrentThreadId();
DWORD CurrentProcessId();

// Runs the enclosed code as the given thread of the given process.
class ScopedThread {
  public:
    ScopedThread(DWORD processId, DWORD threadId);
    ScopedThread(const ScopedThread&) = delete;
    ScopedThread& operator=(const ScopedThread&) = delete;
    ~ScopedThread();

  private:
    DWORD savedProcess_;
    DWORD savedThread_;
};

// ---- Between windows and processes -----------------------------------------------------------
// The threads of other processes handle the messages posted to them (when the caller yields).
void RunOtherThreads();
// A thread ended: its windows go without further messages.
void DestroyWindowsOfThread(DWORD threadId);
// A program's thread asked to quit (PostQuitMessage): its process ends.
void EndProcessOfThread(DWORD threadId, DWORD exitCode);
bool IsHostThread(DWORD threadId);
// Whether a running process was started from the file with this path key: its file is in use.
bool IsRunningProgram(const std::u16string& pathKey);

// ---- Files ----------------------------------------------------------------------------------
bool IsExistingFile(const WCHAR* path);
// The device's path as a lookup key: separators and case folded, "." and ".." resolved.
std::u16string PathKey(const WCHAR* path);
// Opens a file as CreateFileW does (dispositions, read-only, sharing) but outside the handle
// table, for the runtime's streams to hold. Null, with the last-error value set, on failure.
std::shared_ptr<KernelObject> OpenFileObject(const WCHAR* path, DWORD access, DWORD share,
                                             DWORD disposition);
// The host descriptor of a file object that OpenFileObject returned.
int HostDescriptor(const KernelObject& file);
// Takes the fault pending for the next call of that kind, if any, with its error.
bool TakeFileFault(FileCall call, DWORD& error);

// ---- Heap -----------------------------------------------------------------------------------
// Takes a pending allocation failure, if any. Called from the heap hook inside malloc, so it
// allocates nothing.
bool TakeAllocationFault();

// ---- Text -----------------------------------------------------------------------------------
// Names on the device compare without regard to case. ASCII and Latin-1 letters fold; that
// covers every name this device ever holds.
WCHAR FoldCase(WCHAR c);
bool EqualNoCase(const WCHAR* a, std::size_t aLength, const WCHAR* b, std::size_t bLength);
bool EqualNoCase(const std::u16string& a, const std::u16string& b);
int CompareNoCase(const std::u16string& a, const std::u16string& b);

// UTF-8 as the platform converts it (nls.cpp): malformed input and unpaired surrogates as U+FFFD.
std::string ToUtf8(const std::u16string& text);
std::u16string FromUtf8(const std::string& text);

}  // namespace sim::detail
