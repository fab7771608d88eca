// Window trees, the window list, system information, message texts and libraries as the product
// relies on them. Run on the simulated device and under Wine alike; where the device (CE) and
// desktop Windows differ, the case says which it checks where.
#include <algorithm>
#include <iterator>

#include "kit/kit.h"
#include "support/compat.h"

namespace {

// Set before a call whose last-error value is checked, so that a stale value cannot pass.
constexpr DWORD kStaleError = 0x5EE7;

constexpr WCHAR kFill = 0x7777;

class PlatformWindowTree : public kit::DeviceTest {
  protected:
    void TearDown() override {
        kit::EndWindowOwners();
        DeviceTest::TearDown();
    }
};

TEST_F(PlatformWindowTree, ChildrenComeInCreationOrder) {
    const HWND parent = kit::CreateTestWindow(TEXT("WrenfoldTreeRoot"), nullptr);
    const HWND first = kit::CreateTestWindow(TEXT("WrenfoldTreeNode"), parent);
    const HWND second = kit::CreateTestWindow(TEXT("WrenfoldTreeNode"), parent);
    const HWND third = kit::CreateTestWindow(TEXT("WrenfoldTreeNode"), parent);
    const HWND grandchild = kit::CreateTestWindow(TEXT("WrenfoldTreeNode"), second);

    EXPECT_EQ(GetWindow(parent, GW_CHILD), first);
    EXPECT_EQ(GetWindow(first, GW_HWNDNEXT), second);
    EXPECT_EQ(GetWindow(second, GW_HWNDNEXT), third);
    EXPECT_EQ(GetWindow(third, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(GetWindow(third, GW_HWNDPREV), second);
    EXPECT_EQ(GetWindow(second, GW_HWNDFIRST), first);
    EXPECT_EQ(GetWindow(first, GW_HWNDLAST), third);
    EXPECT_EQ(GetWindow(second, GW_CHILD), grandchild);
    EXPECT_EQ(GetWindow(grandchild, GW_HWNDNEXT), nullptr) << "the level ends with its parent's";
    EXPECT_EQ(GetWindow(first, GW_CHILD), nullptr);

    DestroyWindow(second);
    EXPECT_EQ(GetWindow(first, GW_HWNDNEXT), third);
    EXPECT_FALSE(IsWindow(grandchild)) << "children go with their parent";
}

TEST_F(PlatformWindowTree, ClassNamesAreCutToTheBuffer) {
    const WideString name = TEXT("WrenfoldTree") + kit::Repeat(u'x', 28);
    ASSERT_EQ(name.size(), 40u);
    const HWND window = kit::CreateTestWindow(name.c_str(), nullptr);
    ASSERT_NE(window, nullptr);
    struct Case {
        int units;
        int result;
    };
    for (const Case c : {Case{64, 40}, Case{41, 40}, Case{40, 39}, Case{32, 31}, Case{5, 4}}) {
        SCOPED_TRACE(testing::Message() << c.units << " units");
        WCHAR buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), kFill);
        EXPECT_EQ(GetClassNameW(window, buffer, c.units), c.result);
        EXPECT_EQ(WideString(buffer), name.substr(0, static_cast<std::size_t>(c.result)));
        EXPECT_EQ(std::count(buffer + c.result + 1, std::end(buffer), kFill), 64 - c.result - 1);
    }
    WCHAR untouched[2] = {kFill, kFill};
    EXPECT_EQ(GetClassNameW(window, untouched, 0), 0);
    EXPECT_EQ(untouched[0], kFill);
}

TEST_F(PlatformWindowTree, DialogItemsAreTheDirectChildrenByIdentifier) {
    const HWND dialog = kit::CreateTestWindow(TEXT("WrenfoldTreeRoot"), nullptr);
    const HWND seven = kit::CreateTestWindow(TEXT("WrenfoldTreeNode"), dialog, TEXT("7"), 7);
    const HWND eight = kit::CreateTestWindow(TEXT("WrenfoldTreeNode"), dialog, TEXT("8"), 8);
    const HWND nested = kit::CreateTestWindow(TEXT("WrenfoldTreeNode"), seven, TEXT("9"), 9);

    EXPECT_EQ(GetDlgItem(dialog, 7), seven);
    EXPECT_EQ(GetDlgItem(dialog, 8), eight);
    EXPECT_EQ(GetDlgItem(dialog, 9), nullptr);
    EXPECT_EQ(GetDlgItem(seven, 9), nested);
    EXPECT_EQ(GetDlgItem(dialog, 10), nullptr);

    WCHAR text[4] = {kFill, kFill, kFill, kFill};
    EXPECT_EQ(SendMessageW(eight, WM_GETTEXT, 4, reinterpret_cast<LPARAM>(text)), 1);
    EXPECT_EQ(WideString(text), TEXT("8"));
}

// The test's own windows among all of them, in the order the enumeration reports them.
std::vector<HWND> Enumerated(const std::vector<HWND>& among) {
    struct Walk {
        const std::vector<HWND>* among;
        std::vector<HWND> seen;
    } walk{&among, {}};
    EnumWindows(
        [](HWND window, LPARAM value) -> BOOL {
            auto& into = *reinterpret_cast<Walk*>(value);
            if (std::find(into.among->begin(), into.among->end(), window) != into.among->end()) {
                into.seen.push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
    return walk.seen;
}

TEST_F(PlatformWindowTree, TopLevelWindowsEnumerateNewestFirstAndStopWhenAsked) {
    const HWND older = kit::CreateTestWindow(TEXT("WrenfoldTreeRoot"), nullptr);
    const HWND newer = kit::CreateTestWindow(TEXT("WrenfoldTreeRoot"), nullptr);
    const HWND child = kit::CreateTestWindow(TEXT("WrenfoldTreeNode"), newer);
    const HWND other = kit::CreateRecordingWindow(TEXT("WrenfoldTreeOther"), TEXT(""));

    EXPECT_EQ(Enumerated({older, newer, child, other}), (std::vector<HWND>{other, newer, older}))
        << "top-level windows only, the newest on top";

    int calls = 0;
    EXPECT_FALSE(EnumWindows(
        [](HWND, LPARAM value) -> BOOL {
            ++*reinterpret_cast<int*>(value);
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&calls)));
    EXPECT_EQ(calls, 1);
}

TEST_F(PlatformWindowTree, WindowsReportTheirThreadAndProcess) {
    const kit::WindowOwner owner = kit::StartWindowOwner(TEXT("WrenfoldTreeOwned"), 1);
    ASSERT_EQ(owner.windows.size(), 1u);
    const HWND recording = kit::CreateRecordingWindow(TEXT("WrenfoldTreeRecording"), TEXT(""));
    const HWND own = kit::CreateTestWindow(TEXT("WrenfoldTreeRoot"), nullptr);

    struct Case {
        const char* what;
        HWND window;
        DWORD process;
    };
    for (const Case& c : {Case{"another process's", owner.windows[0], owner.processId},
                          Case{"a recording window", recording, kit::RecordingWindowProcess()},
                          Case{"the test's own", own, GetCurrentProcessId()}}) {
        SCOPED_TRACE(c.what);
        DWORD process = 0;
        EXPECT_NE(GetWindowThreadProcessId(c.window, &process), 0u);
        EXPECT_EQ(process, c.process);
    }
    EXPECT_EQ(GetWindowThreadProcessId(own, nullptr), GetCurrentThreadId());

    DestroyWindow(own);
    DWORD process = kFill;
    EXPECT_EQ(GetWindowThreadProcessId(own, &process), 0u) << "a window gone has no thread";
}

class PlatformSystem : public kit::DeviceTest {};

TEST_F(PlatformSystem, TheVersionRecordMustGiveItsSize) {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version - 1;
    EXPECT_FALSE(GetVersionExW(&version));

    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExW(&version));
    EXPECT_GE(version.dwMajorVersion, 3u);
}

// The platform-type query is CE's own: desktop Windows (and so Wine) refuses it.
TEST_F(PlatformSystem, ThePlatformTypeComesWholeOrNotAtAll) {
    WCHAR type[64];
    std::fill(std::begin(type), std::end(type), kFill);
    if (!kit::SetDeviceIdentity(3, TEXT("PocketPC"))) {
        EXPECT_FALSE(SystemParametersInfoW(SPI_GETPLATFORMTYPE, sizeof type, type, 0));
        return;
    }
    EXPECT_FALSE(SystemParametersInfoW(SPI_GETPLATFORMTYPE, 17, type, 0)) << "the size is bytes";
    EXPECT_EQ(type[0], kFill);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETPLATFORMTYPE, 18, type, 0));
    EXPECT_EQ(WideString(type), TEXT("PocketPC"));

    ASSERT_TRUE(kit::SetDeviceIdentity(3, nullptr));
    EXPECT_FALSE(SystemParametersInfoW(SPI_GETPLATFORMTYPE, sizeof type, type, 0));
}

TEST_F(PlatformSystem, MessageTextsComeFromTheSystemsTable) {
    constexpr DWORD kAllocate =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    for (const DWORD code : {2u, 3u, 5u, 87u, 122u, 126u, 127u, 193u, 255u}) {
        SCOPED_TRACE(testing::Message() << "code " << code);
        LPWSTR text = nullptr;
        const DWORD length = FormatMessageW(kAllocate, nullptr, code, 0,
                                            reinterpret_cast<LPWSTR>(&text), 0, nullptr);
        ASSERT_GT(length, 2u);
        ASSERT_NE(text, nullptr);
        const WideString message(text);
        EXPECT_EQ(message.size(), length);
        EXPECT_EQ(message.substr(message.size() - 2), TEXT("\r\n")) << "each ends its line";
        EXPECT_EQ(LocalFree(text), nullptr);
    }

    LPWSTR none = reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(0xdeadbeef));
    SetLastError(kStaleError);
    EXPECT_EQ(
        FormatMessageW(kAllocate, nullptr, 0x12345, 0, reinterpret_cast<LPWSTR>(&none), 0, nullptr),
        0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(none, nullptr);

    WCHAR small[4];
    SetLastError(kStaleError);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5,
                             0, small, 4, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(PlatformSystem, LibrariesLoadOnceAndGoWithTheirLastRelease) {
    kit::MakeFolder(kit::kTestFolder);
    const WideString server = WideString(kit::kTestFolder) + TEXT("\\WrenfoldServer.dll");
    const WideString plain = WideString(kit::kTestFolder) + TEXT("\\WrenfoldPlain.dll");
    kit::InstallTestLibrary(server.c_str(), true);
    kit::InstallTestLibrary(plain.c_str(), false);

    const HMODULE first = LoadLibraryW(server.c_str());
    ASSERT_NE(first, nullptr);
    const HMODULE second = LoadLibraryW(server.c_str());
    EXPECT_EQ(second, first);
    EXPECT_EQ(kit::TestLibraryLoads(server.c_str()), 1u);
    EXPECT_EQ(GetModuleHandleW(server.c_str()), first);
    EXPECT_EQ(GetModuleHandleW(TEXT("WRENFOLDSERVER.DLL")), first)
        << "by file name, without regard to case";

    const FARPROC entry = GetProcAddressW(first, TEXT("DllRegisterServer"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(GetProcAddressW(first, TEXT("dllregisterserver")), nullptr) << "names are exact";
    using Entry = HRESULT(WINAPI*)();
    using AnyFunction = void (*)();
    EXPECT_EQ(reinterpret_cast<Entry>(reinterpret_cast<AnyFunction>(entry))(), S_OK);
    EXPECT_EQ(kit::TestLibraryRegistrations(server.c_str()), 1u);

    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(GetModuleHandleW(server.c_str()), first) << "still held once";
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(GetModuleHandleW(server.c_str()), nullptr);

    const HMODULE other = LoadLibraryW(plain.c_str());
    ASSERT_NE(other, nullptr);
    SetLastError(kStaleError);
    EXPECT_EQ(GetProcAddressW(other, TEXT("DllRegisterServer")), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    FreeLibrary(other);
}

TEST_F(PlatformSystem, WhatIsNoLibraryDoesNotLoad) {
    kit::MakeFolder(kit::kTestFolder);
    const WideString notes = WideString(kit::kTestFolder) + TEXT("\\WrenfoldNotes.dll");
    kit::MakeFile(notes, "not a library");
    struct Case {
        const char* what;
        WideString path;
        DWORD error;
    };
    for (const Case& c :
         {Case{"a missing file", WideString(kit::kTestFolder) + TEXT("\\missing.dll"),
               ERROR_MOD_NOT_FOUND},
          Case{"a file that is no library", notes, ERROR_BAD_EXE_FORMAT}}) {
        SCOPED_TRACE(c.what);
        SetLastError(kStaleError);
        EXPECT_EQ(LoadLibraryW(c.path.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

}  // namespace
