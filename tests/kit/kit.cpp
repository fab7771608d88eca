#include "kit/kit.h"

#include <cstdio>

namespace kit {
namespace {

std::vector<HWND>& TestWindows() {
    static std::vector<HWND> windows;  // top-level, made on the test's thread
    return windows;
}

}  // namespace

void ResetWorld() {
    // Under Wine GoogleTest's first trace opens what it keeps for good: before the world's first
    // baseline, so that no test is charged with it.
    static const bool ready = [] {
        SCOPED_TRACE("kit");
        ReportFailuresTo([](const std::string& what) { ADD_FAILURE() << what; });
        return true;
    }();
    (void)ready;
    world::Reset();
}

void DeviceTest::SetUp() {
    ResetWorld();
}

void DeviceTest::TearDown() {
    for (const HWND window : TestWindows()) {
        if (IsWindow(window)) {
            DestroyWindow(window);
        }
    }
    TestWindows().clear();
    EXPECT_EQ(LeakReport(), "") << "the test left handles open";
}

void FolderTest::SetUp() {
    DeviceTest::SetUp();
    MakeFolder(kTestFolder);
}

WideString FolderTest::In(const WCHAR* name) {
    return WideString(kTestFolder) + TEXT("\\") + name;
}

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

::testing::AssertionResult PausedFor(DWORD start, DWORD milliseconds) {
    const std::string mismatch = PauseMismatch(start, milliseconds);
    if (mismatch.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << mismatch;
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
