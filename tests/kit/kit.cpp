#include "kit/kit.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "kit/kit_internal.h"

namespace kit {

void DeviceTest::SetUp() {
    ResetWorld();
}

namespace {

std::vector<HWND>& TestWindows() {
    static std::vector<HWND> windows;  // top-level, made on the test's thread
    return windows;
}

}  // namespace

void DeviceTest::TearDown() {
    for (const HWND window : TestWindows()) {
        if (IsWindow(window)) {
            DestroyWindow(window);
        }
    }
    TestWindows().clear();
    const std::string leaks = LeakReport();
    EXPECT_EQ(leaks, "") << "the test left handles open";
}

namespace {

// Recordings come from the kit's own threads under Wine, so they are guarded: by a spin lock,
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
};

Recordings& State() {
    static Recordings recordings;
    return recordings;
}

}  // namespace

namespace detail {

LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        Recordings& state = State();
        const std::lock_guard<RecordingLock> hold(state.lock);
        state.deliveries.push_back(Delivery{window, message, wParam, lParam, GetTickCount(),
                                            ++state.sequence, InSendMessage() != FALSE});
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

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

HWND CreateTestWindow(const WCHAR* className, HWND parent, const WCHAR* title, int id) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);  // fails harmlessly when this process has it already
    if (parent != nullptr) {
        return CreateWindowExW(0, className, title, WS_CHILD, 0, 0, 0, 0, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
    const HWND window = CreateWindowExW(0, className, title, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        nullptr, nullptr);
    TestWindows().push_back(window);
    return window;
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

void MakeFolder(const WideString& path) {
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << Narrow(path);
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
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
    DWORD written = 0;
    EXPECT_TRUE(
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
    CloseHandle(file);
    if (attributes != 0) {
        EXPECT_TRUE(SetFileAttributesW(path.c_str(), attributes)) << Narrow(path);
    }
}

std::string ReadFileText(const WideString& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string content;
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) {
        content.append(buffer, count);
    }
    CloseHandle(file);
    return content;
}

bool PathExists(const WideString& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD Attributes(const WideString& path) {
    return GetFileAttributesW(path.c_str());
}

void FolderTest::SetUp() {
    DeviceTest::SetUp();
    MakeFolder(kTestFolder);
}

WideString FolderTest::In(const WCHAR* name) {
    return WideString(kTestFolder) + TEXT("\\") + name;
}

void CreateKey(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
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
    ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
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

WideString Repeat(WCHAR unit, std::size_t count) {
    return WideString(count, unit);
}

WideString Wide(const char* ascii) {
    WideString wide;
    for (; *ascii != 0; ++ascii) {
        wide += static_cast<WCHAR>(static_cast<unsigned char>(*ascii));
    }
    return wide;
}

std::string Narrow(const WideString& text) {
    std::string narrow;
    for (const WCHAR unit : text) {
        narrow += unit < 0x80 ? static_cast<char>(unit) : '?';  // ASCII exactly
    }
    return narrow;
}

std::string HexUnits(const WideString& units) {
    std::string text;
    for (const WCHAR unit : units) {
        char part[8];
        std::snprintf(part, sizeof part, " %04x", static_cast<unsigned>(unit));
        text += part;
    }
    return text;
}

}  // namespace kit
