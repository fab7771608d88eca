// The world on both builds: the registry and the files through their own interface, and the
// recordings of boxes and deliveries.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

#include "standin/file_bytes.h"
#include "world/internal.h"

namespace world {
namespace {

using Report = void (*)(const std::string& what);

Report& FailureReport() {
    static Report report = [](const std::string& what) {
        std::fprintf(stderr, "%s\n", what.c_str());
    };
    return report;
}

}  // namespace

void ReportFailuresTo(Report report) {
    FailureReport() = report;
}

bool detail::Failed(const std::string& what) {
    FailureReport()(what);
    return false;
}

void CreateKey(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        detail::Failed("the key " + Narrow(path) + " cannot be made");
        return;
    }
    RegCloseKey(key);
}

void DeleteKeyTree(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    // Only the rights a deletion needs, so a key whose writes a test has denied still goes.
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return;
    }
    std::vector<WideString> children;
    WCHAR name[512];
    for (DWORD index = 0;; ++index) {
        DWORD length = 512;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        children.emplace_back(name, length);
    }
    for (const WideString& child : children) {
        DeleteKeyTree(key, child.c_str());
    }
    RegCloseKey(key);
    RegDeleteKeyW(root, path);
}

bool KeyExists(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void SetValue(HKEY root, const WCHAR* path, const WCHAR* name, DWORD type, const void* data,
              DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
            ERROR_SUCCESS ||
        RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size) != ERROR_SUCCESS) {
        detail::Failed("a value of the key " + Narrow(path) + " cannot be set");
    }
    if (key != nullptr) {
        RegCloseKey(key);
    }
}

void SetString(HKEY root, const WCHAR* path, const WCHAR* name, const WideString& text) {
    SetValue(root, path, name, REG_SZ, text.c_str(),
             static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

void SetDword(HKEY root, const WCHAR* path, const WCHAR* name, DWORD value) {
    SetValue(root, path, name, REG_DWORD, &value, sizeof value);
}

StoredValue GetValue(HKEY root, const WCHAR* path, const WCHAR* name) {
    StoredValue stored;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return stored;
    }
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &stored.type, nullptr, &size) == ERROR_SUCCESS) {
        stored.data.resize(size);
        stored.present = RegQueryValueExW(key, name, nullptr, &stored.type, stored.data.data(),
                                          &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return stored;
}

WideString GetString(HKEY root, const WCHAR* path, const WCHAR* name) {
    const StoredValue value = GetValue(root, path, name);
    WideString text(value.data.size() / sizeof(WCHAR), 0);
    std::copy_n(value.data.begin(), text.size() * sizeof(WCHAR),
                reinterpret_cast<BYTE*>(text.data()));
    return text.substr(0, text.find(WCHAR{0}));
}

DWORD GetDword(HKEY root, const WCHAR* path, const WCHAR* name) {
    const StoredValue value = GetValue(root, path, name);
    DWORD number = 0;
    if (value.data.size() == sizeof number) {
        std::copy(value.data.begin(), value.data.end(), reinterpret_cast<BYTE*>(&number));
    }
    return number;
}

std::vector<WideString> ValueNames(HKEY root, const WCHAR* path) {
    std::vector<WideString> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return names;
    }
    WCHAR name[16384];
    for (DWORD index = 0;; ++index) {
        DWORD length = 16384;
        if (RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

void MakeFolder(const WideString& path) {
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
        detail::Failed("the folder " + Narrow(path) + " cannot be made");
    }
}

void MakeFolders(const WideString& path) {
    for (std::size_t end = path.find(u'\\', 1);; end = path.find(u'\\', end + 1)) {
        const WideString folder = path.substr(0, end);
        if (!PathExists(folder)) {
            MakeFolder(folder);
        }
        if (end == WideString::npos) {
            return;
        }
    }
}

void MakeFile(const WideString& path, const std::string& content, DWORD attributes) {
    if (!WriteFileBytes(path.c_str(), content) ||
        (attributes != 0 && !SetFileAttributesW(path.c_str(), attributes))) {
        detail::Failed("the file " + Narrow(path) + " cannot be written");
    }
}

bool PathExists(const WideString& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD Attributes(const WideString& path) {
    return GetFileAttributesW(path.c_str());
}

std::string ReadFileText(const WideString& path) {
    std::string content;
    return ReadFileBytes(path.c_str(), content) ? content : "<missing>";
}

// ---- Recordings -----------------------------------------------------------------------------

namespace {

// Recordings come from the world's own threads under Wine, so they are guarded: by a spin lock,
// held for a copy at most. The C++ runtime's std::mutex (winpthreads under mingw-w64) creates an
// event object the first time two threads meet at it and keeps it for the mutex's life, which the
// handle probe would charge to whichever test ran at that moment.
class RecordingLock {
  public:
    void lock() {
        while (held_.test_and_set(std::memory_order_acquire)) {
            std::this_thread::yield();
        }
    }
    void unlock() { held_.clear(std::memory_order_release); }

  private:
    std::atomic_flag held_ = ATOMIC_FLAG_INIT;
};

struct Recordings {
    RecordingLock lock;
    std::vector<Delivery> deliveries;
    std::vector<Box> boxes;
    int sequence = 0;
    std::atomic<void (*)(const Box&)> watcher{nullptr};
};

Recordings& State() {
    static Recordings recordings;
    return recordings;
}

LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        Recordings& state = State();
        const std::lock_guard<RecordingLock> hold(state.lock);
        state.deliveries.push_back(Delivery{window, message, wParam, lParam, GetTickCount(),
                                            ++state.sequence, InSendMessage() != FALSE});
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

namespace detail {

HWND CreateRecordingWindowHere(const WCHAR* className, const WCHAR* title) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecordingProcedure;
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);  // fails harmlessly when this process has it already
    return CreateWindowExW(0, className, title, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                           nullptr);
}

void RecordBox(Box box) {
    Recordings& state = State();
    if (const auto watcher = state.watcher.load()) {
        watcher(box);
    }
    const std::lock_guard<RecordingLock> hold(state.lock);
    box.sequence = ++state.sequence;
    state.boxes.push_back(std::move(box));
}

void ClearRecordings() {
    Recordings& state = State();
    const std::lock_guard<RecordingLock> hold(state.lock);
    state.deliveries.clear();
    state.boxes.clear();
}

}  // namespace detail

void WatchBoxes(void (*seen)(const Box& box)) {
    State().watcher = seen;
}

std::vector<Delivery> Deliveries(UINT message) {
    Recordings& state = State();
    const std::lock_guard<RecordingLock> hold(state.lock);
    std::vector<Delivery> matching;
    for (const Delivery& delivery : state.deliveries) {
        if (delivery.message == message) {
            matching.push_back(delivery);
        }
    }
    return matching;
}

std::vector<Box> Boxes() {
    Recordings& state = State();
    const std::lock_guard<RecordingLock> hold(state.lock);
    return state.boxes;
}

}  // namespace world
