// The window, process and system helpers as a caller sees them: dialog text, the Pocket PC test,
// window searches over real window trees and processes, the system error box, and a library's
// self-registration, with nothing left loaded or allocated.
#include <algorithm>
#include <iterator>

#include "kit/kit.h"
#include "support/windows.h"

namespace {

constexpr WCHAR kFill = 0x7777;  // what a destination holds before a call

// A text whose every unit tells where it stands, so a cut or a shift shows.
WideString Alphabet(std::size_t length) {
    WideString text;
    for (std::size_t i = 0; i < length; ++i) {
        text += static_cast<WCHAR>(u'a' + i % 26);
    }
    return text;
}

// A control whose own WM_GETTEXT fills the whole buffer it is given, with no terminating zero.
LRESULT CALLBACK UnterminatedTextProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_GETTEXT) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    const WideString text = Alphabet(static_cast<std::size_t>(wParam));
    std::copy(text.begin(), text.end(), reinterpret_cast<WCHAR*>(lParam));
    return static_cast<LRESULT>(wParam);
}

HWND CreateUnterminatedTextControl(HWND dialog, int id) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = UnterminatedTextProc;
    windowClass.lpszClassName = TEXT("WrenfoldUnterminated");
    RegisterClassW(&windowClass);  // fails harmlessly when this process has it already
    return CreateWindowExW(0, windowClass.lpszClassName, TEXT(""), WS_CHILD, 0, 0, 0, 0, dialog,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

class WindowHelpers : public kit::DeviceTest {
  protected:
    void TearDown() override {
        kit::EndWindowOwners();
        DeviceTest::TearDown();
    }
};

// ---- Dialog text ------------------------------------------------------------------------------

TEST_F(WindowHelpers, DialogTextIsCopiedOnlyWhenItFitsWithItsZero) {
    const HWND dialog = kit::CreateTestWindow(TEXT("WrenfoldDialog"), nullptr);
    struct Case {
        const char* what;
        std::size_t length;
        DWORD capacity;
        BOOL result;
        std::size_t copied;
        bool unterminated = false;  // the control's own WM_GETTEXT fills its buffer, no zero
    };
    const Case cases[] = {
        {"259 characters fill a PathBuffer", 259, 260, TRUE, 259},
        {"a control that fills all 260 units without a zero gives its first 259", 260, 400, TRUE,
         259, true},
        {"a longer text is fetched as its first 259", 300, 260, TRUE, 259},
        {"10 characters leave no room for the zero in 10 units", 10, 10, FALSE, 0},
        {"9 characters fit 10 units", 9, 10, TRUE, 9},
        {"an empty text fits 1 unit", 0, 1, TRUE, 0},
        {"nothing fits 0 units", 0, 0, FALSE, 0},
    };
    int id = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const WideString text = Alphabet(c.length);
        if (c.unterminated) {
            ASSERT_NE(CreateUnterminatedTextControl(dialog, ++id), nullptr);
        } else {
            kit::CreateTestWindow(TEXT("WrenfoldEdit"), dialog, text.c_str(), ++id);
        }
        WCHAR destination[400];
        std::fill(std::begin(destination), std::end(destination), kFill);

        EXPECT_EQ(ReadDialogItemText(dialog, id, destination, c.capacity), c.result);

        const std::size_t written = c.result ? c.copied + 1 : 0;
        if (c.result) {
            EXPECT_EQ(WideString(destination), text.substr(0, c.copied));
        }
        EXPECT_EQ(std::count(destination + written, std::end(destination), kFill),
                  static_cast<std::ptrdiff_t>(std::size(destination) - written))
            << "nothing written past the text's zero";
    }
}

TEST_F(WindowHelpers, DialogWithoutTheControlGivesNothing) {
    const HWND dialog = kit::CreateTestWindow(TEXT("WrenfoldDialog"), nullptr, TEXT("Dialog"));
    const HWND control = kit::CreateTestWindow(TEXT("WrenfoldEdit"), dialog, TEXT("text"), 7);
    kit::CreateTestWindow(TEXT("WrenfoldEdit"), control, TEXT("nested"), 8);
    WCHAR destination[16];
    std::fill(std::begin(destination), std::end(destination), kFill);

    EXPECT_EQ(ReadDialogItemText(dialog, 9, destination, 16), FALSE);
    EXPECT_EQ(ReadDialogItemText(dialog, 8, destination, 16), FALSE)
        << "a control's own child is no item of the dialog";
    EXPECT_EQ(std::count(std::begin(destination), std::end(destination), kFill), 16);
}

// ---- The Pocket PC test -----------------------------------------------------------------------

TEST_F(WindowHelpers, PocketPcIsMajorVersionThreeWithExactlyThePocketPcType) {
    struct Case {
        DWORD major;
        const WCHAR* type;  // null: the query fails
        BOOL expected;
    };
    const Case cases[] = {
        {3, TEXT("PocketPC"), TRUE},    {4, TEXT("PocketPC"), FALSE},  {2, TEXT("PocketPC"), FALSE},
        {3, TEXT("pocketpc"), FALSE},   {3, TEXT("PocketPC2"), FALSE}, {3, TEXT("Pocket"), FALSE},
        {3, TEXT("Smartphone"), FALSE}, {3, TEXT(""), FALSE},          {3, nullptr, FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "major " << c.major << ", type "
                                        << (c.type == nullptr ? "refused" : kit::Narrow(c.type)));
        if (!kit::SetDeviceIdentity(c.major, c.type)) {
            GTEST_SKIP() << "desktop Windows reports its own version and refuses the CE-only "
                            "platform-type query; DesktopWindowsIsNoPocketPc covers it";
        }
        EXPECT_EQ(IsPocketPcPlatform(), c.expected);
    }
}

TEST_F(WindowHelpers, NoPocketPcWhenTheVersionQueryFails) {
    if (!kit::FailNext(kit::Fault::VersionQuery)) {
        GTEST_SKIP() << "the version query cannot be made to fail on desktop Windows";
    }
    EXPECT_EQ(IsPocketPcPlatform(), FALSE);
}

// What the Windows build can check: a desktop, whose version is not 3 and which refuses the
// platform-type query, is never taken for a Pocket PC.
TEST_F(WindowHelpers, DesktopWindowsIsNoPocketPc) {
    if (kit::SetDeviceIdentity(3, TEXT("PocketPC"))) {
        GTEST_SKIP() << "the simulated device is a Pocket PC; the table above covers it";
    }
    EXPECT_EQ(IsPocketPcPlatform(), FALSE);
}

// ---- Searches by class ------------------------------------------------------------------------

// root
// ├── panel      WrenfoldPanel
// │   ├── inner  WrenfoldPanel
// │   │   └── deep   WrenfoldDeep
// │   └── nested WrenfoldTarget
// ├── target     WrenfoldTarget
// ├── shout      WRENFOLDSHOUT
// └── long       a class name of 40 characters
class ClassSearch : public WindowHelpers {
  protected:
    void SetUp() override {
        WindowHelpers::SetUp();
        root = kit::CreateTestWindow(TEXT("WrenfoldRoot"), nullptr);
        panel = kit::CreateTestWindow(TEXT("WrenfoldPanel"), root);
        inner = kit::CreateTestWindow(TEXT("WrenfoldPanel"), panel);
        deep = kit::CreateTestWindow(TEXT("WrenfoldDeep"), inner);
        nested = kit::CreateTestWindow(TEXT("WrenfoldTarget"), panel);
        target = kit::CreateTestWindow(TEXT("WrenfoldTarget"), root);
        shout = kit::CreateTestWindow(TEXT("WRENFOLDSHOUT"), root);
        ASSERT_EQ(longClass.size(), 40u);
        longName = kit::CreateTestWindow(longClass.c_str(), root);
        ASSERT_NE(longName, nullptr);
    }

    const WideString longClass = TEXT("WrenfoldClassNameOfFortyCharacters") + Alphabet(6);
    HWND root = nullptr;
    HWND panel = nullptr;
    HWND inner = nullptr;
    HWND deep = nullptr;
    HWND nested = nullptr;
    HWND target = nullptr;
    HWND shout = nullptr;
    HWND longName = nullptr;
};

TEST_F(ClassSearch, DescendantsAreSearchedDepthFirstInPreOrder) {
    struct Case {
        const char* what;
        WideString sought;
        HWND expected;
    };
    const Case cases[] = {
        {"a grandchild before a later child", TEXT("WrenfoldTarget"), nested},
        {"a window before its own descendants", TEXT("WrenfoldPanel"), panel},
        {"any depth", TEXT("WrenfoldDeep"), deep},
        {"without regard to case", TEXT("wrenfoldshout"), shout},
        {"never the parent itself", TEXT("WrenfoldRoot"), nullptr},
        {"a name of 32 or more never matches", longClass, nullptr},
        {"a name of 32 exactly never matches", longClass.substr(0, 32), nullptr},
        {"only the first 31 characters of a class take part", longClass.substr(0, 31), longName},
        {"no such class", TEXT("WrenfoldMissing"), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FindDescendantByClass(root, c.sought.c_str()), c.expected);
    }
}

TEST_F(ClassSearch, ChildrenAreSearchedOnlyAtTheFirstLevel) {
    struct Case {
        const char* what;
        const WCHAR* sought;
        HWND expected;
    };
    const Case cases[] = {
        {"the child, not the earlier grandchild", TEXT("WrenfoldTarget"), target},
        {"the first child of the class", TEXT("WrenfoldPanel"), panel},
        {"no grandchild", TEXT("WrenfoldDeep"), nullptr},
        {"without regard to case", TEXT("WrenfoldShout"), shout},
        {"never the parent itself", TEXT("WrenfoldRoot"), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FindChildByClass(root, c.sought), c.expected);
    }
}

TEST_F(ClassSearch, NoParentOrNoChildrenFindsNothing) {
    EXPECT_EQ(FindDescendantByClass(nullptr, TEXT("WrenfoldTarget")), nullptr);
    EXPECT_EQ(FindChildByClass(nullptr, TEXT("WrenfoldTarget")), nullptr);
    EXPECT_EQ(FindDescendantByClass(deep, TEXT("WrenfoldDeep")), nullptr);
    EXPECT_EQ(FindChildByClass(deep, TEXT("WrenfoldDeep")), nullptr);
}

// ---- Searches by process ----------------------------------------------------------------------

std::vector<HWND> TopLevelWindowsOf(DWORD processId) {
    struct Collected {
        DWORD processId;
        std::vector<HWND> windows;
    } collected{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM value) -> BOOL {
            auto& into = *reinterpret_cast<Collected*>(value);
            DWORD owner = 0;
            if (GetWindowThreadProcessId(window, &owner) != 0 && owner == into.processId) {
                into.windows.push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&collected));
    return collected.windows;
}

TEST_F(WindowHelpers, ProcessZeroIsNeverSearchedFor) {
    kit::CreateRecordingWindow(TEXT("WrenfoldAnyWindow"), TEXT(""));
    const int enumerations = kit::WindowEnumerations();

    EXPECT_EQ(FindWindowByProcessId(0), nullptr);
    EXPECT_EQ(kit::WindowEnumerations(), enumerations) << "no enumeration at all";
}

TEST_F(WindowHelpers, TheProcesssFirstWindowInEnumerationOrderIsFound) {
    const kit::WindowOwner owner = kit::StartWindowOwner(TEXT("WrenfoldOwned"), 2);
    ASSERT_EQ(owner.windows.size(), 2u);
    // Another process's window, made last, so the enumeration meets it first.
    const HWND above = kit::CreateRecordingWindow(TEXT("WrenfoldAbove"), TEXT(""));
    const std::vector<HWND> ownWindows = TopLevelWindowsOf(owner.processId);
    ASSERT_GE(ownWindows.size(), 2u);
    ASSERT_NE(std::find(ownWindows.begin(), ownWindows.end(), owner.windows[0]), ownWindows.end());
    ASSERT_NE(std::find(ownWindows.begin(), ownWindows.end(), owner.windows[1]), ownWindows.end());
    const int enumerations = kit::WindowEnumerations();

    const HWND found = FindWindowByProcessId(owner.processId);

    EXPECT_EQ(found, ownWindows.front());
    EXPECT_NE(found, above);
    EXPECT_EQ(kit::WindowEnumerations(), enumerations + 1);
}

TEST_F(WindowHelpers, AProcessWithoutWindowsHasNoneFound) {
    const kit::WindowOwner owner = kit::StartWindowOwner(TEXT("WrenfoldUnused"), 0);
    ASSERT_NE(owner.processId, 0u);
    kit::CreateRecordingWindow(TEXT("WrenfoldAnyWindow"), TEXT(""));

    EXPECT_EQ(FindWindowByProcessId(owner.processId), nullptr);
}

TEST_F(WindowHelpers, MatchingStopsOnlyAtALiveWindowOfTheProcess) {
    const HWND recording = kit::CreateRecordingWindow(TEXT("WrenfoldMatch"), TEXT(""));
    const DWORD recordingProcess = kit::RecordingWindowProcess();
    const kit::WindowOwner owner = kit::StartWindowOwner(TEXT("WrenfoldOther"), 1);
    ASSERT_EQ(owner.windows.size(), 1u);
    const HWND gone = kit::CreateRecordingWindow(TEXT("WrenfoldGone"), TEXT(""));
    SendMessageW(gone, WM_CLOSE, 0, 0);
    ASSERT_FALSE(IsWindow(gone));

    const HWND untouched = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0xdeadbeef));
    struct Case {
        const char* what;
        HWND window;
        DWORD sought;
        BOOL goOn;
        HWND stored;
    };
    const Case cases[] = {
        {"a window of the process sought", recording, recordingProcess, FALSE, recording},
        {"another process's window", owner.windows[0], recordingProcess, TRUE, untouched},
        {"a window without a thread, even for process 0", gone, 0, TRUE, untouched},
        {"a window without a thread", gone, recordingProcess, TRUE, untouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WindowSearchRecord record{c.sought, untouched};
        EXPECT_EQ(MatchProcessWindow(c.window, reinterpret_cast<LPARAM>(&record)), c.goOn);
        EXPECT_EQ(record.window, c.stored);
        EXPECT_EQ(record.processId, c.sought);
    }
}

// ---- The system error box ---------------------------------------------------------------------

// The platform's own text for a code, as the system's message table has it; empty if none.
WideString SystemText(DWORD code) {
    LPWSTR text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    const WideString copy = length > 0 && text != nullptr ? WideString(text, length) : WideString();
    LocalFree(text);
    return copy;
}

const WCHAR* const kCallerText = TEXT("The settings could not be saved.");

// The box the latest call showed, which must have been the only one since `before` boxes.
kit::Box NewBox(std::size_t before) {
    const std::vector<kit::Box> boxes = kit::Boxes();
    EXPECT_EQ(boxes.size(), before + 1) << "one box per call";
    return boxes.size() > before ? boxes.back() : kit::Box{};
}

TEST_F(WindowHelpers, SystemErrorShowsTheTextTheCodeAndTheSystemsWording) {
    struct Case {
        DWORD code;
        const WCHAR* line;
        const WCHAR* gist;  // in the platform's wording, on the device and on Windows alike
    };
    const Case cases[] = {
        {5, TEXT("\n\nSystem Error: 5\n\n"), TEXT("denied")},
        {255, TEXT("\n\nSystem Error: ff\n\n"), TEXT("xtended attribute")},
        {0, TEXT("\n\nSystem Error: 0\n\n"), TEXT("ucc")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code);
        const WideString system = SystemText(c.code);
        EXPECT_NE(system.find(c.gist), WideString::npos) << kit::Narrow(system);
        const std::size_t before = kit::Boxes().size();

        EXPECT_EQ(ShowSystemError(kCallerText, c.code), IDOK);

        const kit::Box box = NewBox(before);
        EXPECT_EQ(kit::Narrow(box.text), kit::Narrow(kCallerText + WideString(c.line) + system));
        EXPECT_EQ(kit::Narrow(box.caption), "System Error");
        EXPECT_EQ(box.flags, 16u) << "the stop icon and OK";
        EXPECT_EQ(box.owner, nullptr);
    }
}

TEST_F(WindowHelpers, SystemErrorWithoutASystemTextSaysSo) {
    const DWORD code = 0x12345;
    ASSERT_TRUE(SystemText(code).empty());

    ShowSystemError(kCallerText, code);

    EXPECT_EQ(kit::Narrow(NewBox(0).text),
              kit::Narrow(kCallerText + WideString(TEXT("\n\nSystem Error: 12345\n\n")) +
                          TEXT("Unknown error.")));
}

TEST_F(WindowHelpers, SystemErrorCutsTheSystemTextFirstAndNeverTheCodeLine) {
    const WideString line = TEXT("\n\nSystem Error: 5\n\n");
    const WideString system = SystemText(5);
    ASSERT_GT(system.size(), 4u);
    const WideString pair = TEXT("\xD83D\xDE00");  // one character in two units
    struct Case {
        const char* what;
        WideString caller;
        WideString shown;
    };
    const Case cases[] = {
        {"the system text is cut to what is left", Alphabet(1000),
         Alphabet(1000) + line + system.substr(0, 1023 - 1000 - line.size())},
        {"no room left for the system text", Alphabet(1004), Alphabet(1004) + line},
        {"a caller text too long on its own is cut to leave the code line", Alphabet(3000),
         Alphabet(1004) + line},
        {"a cut never splits a character", Alphabet(1003) + pair,
         Alphabet(1003) + line + system.substr(0, 1)},
        {"a cut just after a whole character keeps it", Alphabet(1002) + pair + TEXT("x"),
         Alphabet(1002) + pair + line},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = kit::Boxes().size();

        ShowSystemError(c.caller.c_str(), 5);

        const WideString shown = NewBox(before).text;
        EXPECT_LE(shown.size(), 1023u);
        EXPECT_EQ(shown.size(), c.shown.size());
        EXPECT_TRUE(shown == c.shown) << kit::Narrow(shown.substr(990));
    }
}

// ---- Self-registration ------------------------------------------------------------------------

TEST_F(WindowHelpers, RegistrationCallsTheEntryOnceAndUnloads) {
    kit::MakeFolder(kit::kTestFolder);
    const WideString folder = WideString(kit::kTestFolder) + TEXT("\\");
    const WideString server = folder + TEXT("WrenfoldServer.dll");
    const WideString plain = folder + TEXT("WrenfoldPlain.dll");
    const WideString notes = folder + TEXT("WrenfoldNotes.dll");
    kit::InstallTestLibrary(server.c_str(), true);
    kit::InstallTestLibrary(plain.c_str(), false);
    kit::MakeFile(notes, "not a library");
    struct Case {
        const char* what;
        WideString path;
        BOOL result;
        DWORD loads;
        DWORD registrations;
    };
    const Case cases[] = {
        {"a missing file", folder + TEXT("missing.dll"), FALSE, 0, 0},
        {"a file that is no library", notes, FALSE, 0, 0},
        {"a library without the entry", plain, TRUE, 1, 0},
        {"a library with the entry", server, TRUE, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RegisterServerLibrary(c.path.c_str()), c.result);
        EXPECT_EQ(kit::TestLibraryLoads(c.path.c_str()), c.loads);
        EXPECT_EQ(kit::TestLibraryRegistrations(c.path.c_str()), c.registrations);
        EXPECT_EQ(GetModuleHandleW(c.path.c_str()), nullptr) << "unloaded again";
    }
}

// The file check looks where the name leads from the current folder (the root); the loader would
// also search the system's folders, and would find the library there.
TEST_F(WindowHelpers, RegistrationOnlyLoadsTheFileItChecked) {
    const WCHAR* const installed = TEXT("\\Windows\\WrenfoldTestServer.dll");
    const WCHAR* const name = TEXT("WrenfoldTestServer.dll");
    kit::InstallTestLibrary(installed, true);
    ASSERT_FALSE(kit::PathExists(name));

    EXPECT_EQ(RegisterServerLibrary(name), FALSE);
    EXPECT_EQ(kit::TestLibraryLoads(installed), 0u);
    EXPECT_EQ(kit::TestLibraryRegistrations(installed), 0u);

    const HMODULE found = LoadLibraryW(name);
    EXPECT_NE(found, nullptr) << "the loader itself finds it";
    if (found != nullptr) {
        FreeLibrary(found);
    }
}

}  // namespace
