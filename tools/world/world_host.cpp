// The world on the simulated device: the device's own control surface does the work.
#include "sim.h"
#include "world/internal.h"

namespace world {
namespace {

// The peer process that hosts the recording windows.
DWORD& WindowHost() {
    static DWORD processId = 0;
    return processId;
}

std::vector<WindowOwner>& WindowOwners() {
    static std::vector<WindowOwner> owners;
    return owners;
}

constexpr char kRegisterServerExport[] = "DllRegisterServer";

}  // namespace

void Reset() {
    sim::Reset();
    detail::ClearRecordings();
    WindowHost() = 0;
    WindowOwners().clear();
    sim::ObserveEvents([](const sim::Event& event) {
        if (event.kind == sim::EventKind::MessageBox) {
            detail::RecordBox(Box{event.window, event.caption, event.text, event.flags, 0,
                                  static_cast<int>(event.result)});
        }
    });
}

void AnswerBoxesWith(int button) {
    sim::SetBoxAnswer(button);
}

std::string LeakReport() {
    return sim::OpenHandlesReport();
}

void RefuseNextWrite(HKEY /*root*/, const WCHAR* /*path*/) {
    sim::FailNextRegistryCall(sim::RegistryCall::Set, ERROR_ACCESS_DENIED);
}

void RefuseNextValueDeletion(HKEY /*root*/, const WCHAR* /*path*/) {
    sim::FailNextRegistryCall(sim::RegistryCall::DeleteValue, ERROR_ACCESS_DENIED);
}

bool ReadOnlyFilesRefuseWriting() {
    return true;
}

bool PathsMayExceedMaxPath() {
    return true;
}

bool FailNext(Fault fault) {
    switch (fault) {
        case Fault::Allocation:
            sim::FailNextAllocation();
            break;
        case Fault::FileRead:
            sim::FailNextFileCall(sim::FileCall::Read, ERROR_READ_FAULT);
            break;
        case Fault::FileWrite:
            sim::FailNextFileCall(sim::FileCall::Write, ERROR_WRITE_FAULT);
            break;
        case Fault::FileSystemCall:
            sim::FailCall(1, sim::CallKind::File);
            break;
        case Fault::VersionQuery:
            sim::FailNextVersionQuery();
            break;
        case Fault::BrushCreation:
            sim::FailNextBrushCreation();
            break;
    }
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

DWORD RecordingWindowProcess() {
    return WindowHost();
}

std::vector<Pause> PausesSince(DWORD start) {
    std::vector<Pause> pauses;
    for (const sim::Event& event : sim::Events()) {
        if ((event.kind == sim::EventKind::Sleep || event.kind == sim::EventKind::Wait) &&
            event.time >= start && event.milliseconds != 0) {
            pauses.push_back(
                Pause{event.time, event.time + event.milliseconds, event.milliseconds});
        }
    }
    return pauses;
}

std::string PauseMismatch(DWORD start, DWORD milliseconds) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed == milliseconds) {
        return "";
    }
    return "paused " + std::to_string(elapsed) + " ms, not " + std::to_string(milliseconds);
}

WindowOwner StartWindowOwner(const WCHAR* className, int count) {
    WindowOwner owner;
    owner.processId = sim::StartPeerProcess(TEXT("window owner"), [&] {
        for (int i = 1; i <= count; ++i) {
            const WideString title = Widen(std::to_string(i));
            owner.windows.push_back(detail::CreateRecordingWindowHere(className, title.c_str()));
        }
    });
    WindowOwners().push_back(owner);
    return owner;
}

void EndWindowOwners() {
    for (const WindowOwner& owner : WindowOwners()) {
        sim::RunInProcess(owner.processId, [&] {
            for (const HWND window : owner.windows) {
                DestroyWindow(window);
            }
        });
    }
    WindowOwners().clear();
}

int WindowEnumerations() {
    return sim::WindowEnumerations();
}

bool SetDeviceIdentity(DWORD major, const WCHAR* platformType) {
    sim::SetOsVersion(major, 0);
    sim::SetPlatformType(platformType);
    return true;
}

bool SetScreenDensity(int horizontal, int vertical) {
    sim::SetScreenDensity(horizontal, vertical);
    return true;
}

int GdiObjects() {
    return sim::OpenHandles(sim::HandleKind::GdiObject) +
           sim::OpenHandles(sim::HandleKind::DeviceContext);
}

bool RecordedFills(std::vector<Fill>& fills) {
    fills.clear();
    for (const sim::Fill& fill : sim::Fills()) {
        fills.push_back(Fill{fill.rect, fill.color, fill.brushesOpen});
    }
    return true;
}

void InstallTestLibrary(const WCHAR* path, bool registerEntry) {
    // A device always has the folders libraries live in; a fresh simulated one may not.
    const WideString file(path);
    const std::size_t split = file.find_last_of(u'\\');
    if (split != WideString::npos && split > 0) {
        MakeFolders(file.substr(0, split));
    }
    MakeFile(file, "test library");
    std::vector<std::string> exports;
    if (registerEntry) {
        exports.emplace_back(kRegisterServerExport);
    }
    sim::RegisterLibrary(path, exports);
}

DWORD TestLibraryLoads(const WCHAR* path) {
    return static_cast<DWORD>(sim::LibraryLoads(path));
}

DWORD TestLibraryRegistrations(const WCHAR* path) {
    return static_cast<DWORD>(sim::ExportCalls(path, kRegisterServerExport));
}

}  // namespace world
