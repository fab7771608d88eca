// The setup hooks as the installer and the user see them: what is refused, closed, started and
// deleted, the pauses between, and nothing left open.
#include "kit/programs.h"
#include "setup/hooks.h"

namespace {

const WCHAR* const kApplicationKey = TEXT("Software\\Ternwick\\Korvessa");
const WCHAR* const kFlashPlayerKey = TEXT("CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}");
const WideString kInstallDir = WideString(kit::kTestFolder) + TEXT("\\Korvessa");
const WideString kPreview = kInstallDir + TEXT("\\Preview");

const char* const kAbortText =
    "Macromedia Flash player not detected!\n\nKorvessa requires the Macromedia Flash Player for "
    "Pocket PC is installed before it can be used.\n\nDownload the player from "
    "http://www.macromedia.com/dlflash.htm then attempt the installation again.";

class SetupHooks : public kit::DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        kit::MakeFolder(kit::kTestFolder);
        kit::MakeFolder(kInstallDir);
    }

    void TearDown() override {
        kit::CloseApplication();
        DeviceTest::TearDown();
    }

    static void InstallFlashPlayer() { kit::CreateKey(HKEY_CLASSES_ROOT, kFlashPlayerKey); }
    static void SetInstallDir(const WideString& folder) {
        kit::SetString(HKEY_LOCAL_MACHINE, kApplicationKey, TEXT("InstallDir"), folder);
    }
    static HWND StartApplicationWindow() {
        return kit::CreateRecordingWindow(TEXT("KorvessaNotify"), TEXT(""));
    }
    static std::vector<kit::Delivery> ClosesOf(HWND window) {
        std::vector<kit::Delivery> closes;
        for (const kit::Delivery& delivery : kit::Deliveries(WM_CLOSE)) {
            if (delivery.window == window) {
                closes.push_back(delivery);
            }
        }
        return closes;
    }
};

TEST_F(SetupHooks, InstallWithoutTheFlashPlayerIsRefusedAndTouchesNothing) {
    const HWND installer = kit::CreateRecordingWindow(TEXT("InstallerFrame"), TEXT("Installer"));
    const HWND application = StartApplicationWindow();

    EXPECT_EQ(Install_Init(installer, TRUE, FALSE, kInstallDir.c_str()), codeINSTALL_INIT_CANCEL);

    const std::vector<kit::Box> boxes = kit::Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(kit::Narrow(boxes[0].caption), "Installation Aborted");
    EXPECT_EQ(kit::Narrow(boxes[0].text), kAbortText);
    EXPECT_EQ(boxes[0].flags, 0u) << "an OK button and no icon";
    EXPECT_EQ(boxes[0].owner, installer);
    EXPECT_TRUE(ClosesOf(application).empty());
    EXPECT_TRUE(IsWindow(application));
}

TEST_F(SetupHooks, InstallClosesTheRunningApplicationAndPausesOneSecond) {
    InstallFlashPlayer();
    const HWND application = StartApplicationWindow();
    const DWORD start = GetTickCount();

    EXPECT_EQ(Install_Init(nullptr, TRUE, FALSE, kInstallDir.c_str()), codeINSTALL_INIT_CONTINUE);

    const std::vector<kit::Delivery> closes = ClosesOf(application);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].wParam, 0u);
    EXPECT_EQ(closes[0].lParam, 0);
    EXPECT_TRUE(closes[0].sent) << "sent, so that the reply has come when the hook goes on";
    EXPECT_FALSE(IsWindow(application));
    EXPECT_TRUE(kit::PausedFor(start, 1000));
    EXPECT_TRUE(kit::Boxes().empty());
}

TEST_F(SetupHooks, InstallLeavesLookAlikeWindowsAloneAndDoesNotPause) {
    InstallFlashPlayer();
    const HWND titled = kit::CreateRecordingWindow(TEXT("KorvessaNotify"), TEXT("Korvessa"));
    const HWND otherClass = kit::CreateRecordingWindow(TEXT("SomethingElse"), TEXT(""));
    const DWORD start = GetTickCount();

    EXPECT_EQ(Install_Init(nullptr, TRUE, FALSE, kInstallDir.c_str()), codeINSTALL_INIT_CONTINUE);

    EXPECT_TRUE(kit::Deliveries(WM_CLOSE).empty());
    EXPECT_TRUE(IsWindow(titled));
    EXPECT_TRUE(IsWindow(otherClass));
    EXPECT_TRUE(kit::PausedFor(start, 0));
}

TEST_F(SetupHooks, InstallExitStartsTheInstalledApplication) {
    SetInstallDir(kInstallDir);
    kit::InstallStandInApplication((kInstallDir + TEXT("\\Korvessa.exe")).c_str());

    EXPECT_EQ(Install_Exit(nullptr, kInstallDir.c_str(), 0, 0, 0, 0, 0), codeINSTALL_EXIT_DONE);

    EXPECT_NE(kit::WaitForApplicationWindow(), nullptr);
    EXPECT_EQ(kit::ApplicationStarts(), 1u);
    EXPECT_EQ(kit::ApplicationCommandLine(), TEXT(""));
}

TEST_F(SetupHooks, InstallExitWithoutAnInstallFolderStartsNothing) {
    // A hook that joined an unread folder would start \Korvessa.exe.
    kit::InstallStandInApplication(TEXT("\\Korvessa.exe"));
    EXPECT_EQ(Install_Exit(nullptr, kInstallDir.c_str(), 0, 0, 0, 0, 0), codeINSTALL_EXIT_DONE);
    EXPECT_EQ(kit::ApplicationStarts(), 0u);
}

TEST_F(SetupHooks, AnEmptyInstallFolderIsAnUnreadOne) {
    // Joined to "", the paths would name \Korvessa.exe and \Preview\ at the root.
    SetInstallDir(TEXT(""));
    kit::InstallStandInApplication(TEXT("\\Korvessa.exe"));
    kit::MakeFolder(TEXT("\\Preview"));
    kit::MakeFile(TEXT("\\Preview\\root.png"), "r");

    EXPECT_EQ(Install_Exit(nullptr, kInstallDir.c_str(), 0, 0, 0, 0, 0), codeINSTALL_EXIT_DONE);
    EXPECT_EQ(Uninstall_Init(nullptr, kInstallDir.c_str()), codeUNINSTALL_INIT_CONTINUE);

    EXPECT_EQ(kit::ApplicationStarts(), 0u);
    EXPECT_TRUE(kit::PathExists(TEXT("\\Preview\\root.png")));
}

TEST_F(SetupHooks, InstallExitNeverStartsACutShortPath) {
    // The folder is long enough that "\Korvessa.exe" no longer fits a 260-unit path; cut short
    // to 259 characters, the path would name "<folder>\Korvessa.ex", where a program waits.
    const WideString folder =
        kInstallDir + TEXT("\\") + kit::Repeat(u'f', 259 - 12 - kInstallDir.size() - 1);
    ASSERT_EQ(folder.size() + 13, 260u);  // the joined path needs 261 units
    kit::MakeFolder(folder);
    kit::InstallStandInApplication((folder + TEXT("\\Korvessa.ex")).c_str());
    SetInstallDir(folder);

    EXPECT_EQ(Install_Exit(nullptr, kInstallDir.c_str(), 0, 0, 0, 0, 0), codeINSTALL_EXIT_DONE);
    EXPECT_EQ(kit::ApplicationStarts(), 0u);
}

TEST_F(SetupHooks, InstallExitWhenTheApplicationCannotStartStillSucceeds) {
    SetInstallDir(kInstallDir);  // no Korvessa.exe in it
    EXPECT_EQ(Install_Exit(nullptr, kInstallDir.c_str(), 1, 2, 3, 4, 5), codeINSTALL_EXIT_DONE);
    EXPECT_EQ(kit::ApplicationStarts(), 0u);
}

class UninstallHooks : public SetupHooks {
  protected:
    void SetUp() override {
        SetupHooks::SetUp();
        SetInstallDir(kInstallDir);
        kit::MakeFolder(kPreview);
        kit::MakeFile(kPreview + TEXT("\\one.png"), "1");
        kit::MakeFile(kPreview + TEXT("\\two"), "2");
        kit::MakeFile(kPreview + TEXT("\\locked.png"), "3",
                      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
        kit::MakeFolder(kPreview + TEXT("\\Sub"));
        kit::MakeFile(kPreview + TEXT("\\Sub\\inner.png"), "4");
    }
};

TEST_F(UninstallHooks, ClosesTheBrowserThenTheApplicationWithAPauseAfterEach) {
    const HWND browser = kit::CreateRecordingWindow(TEXT("IExplore"), TEXT("Internet Explorer"));
    const HWND application = StartApplicationWindow();
    const DWORD start = GetTickCount();

    EXPECT_EQ(Uninstall_Init(nullptr, kInstallDir.c_str()), codeUNINSTALL_INIT_CONTINUE);

    const std::vector<kit::Delivery> closes = kit::Deliveries(WM_CLOSE);
    ASSERT_EQ(closes.size(), 2u);
    EXPECT_EQ(closes[0].window, browser);
    EXPECT_EQ(closes[1].window, application);
    for (const kit::Delivery& close : closes) {
        EXPECT_EQ(close.wParam, 0u);
        EXPECT_EQ(close.lParam, 0);
        EXPECT_FALSE(close.sent) << "posted: the hook does not wait for a reply";
    }
    EXPECT_TRUE(kit::PausedFor(start, 4000));
    const std::vector<kit::Pause> pauses = kit::PausesSince(start);
    ASSERT_EQ(pauses.size(), 2u);
    EXPECT_EQ(pauses[0].milliseconds, 2000u);
    EXPECT_GE(closes[1].tick, pauses[0].end) << "the application is asked after the first pause";
    EXPECT_FALSE(IsWindow(browser));
    EXPECT_FALSE(IsWindow(application));
}

TEST_F(UninstallHooks, EmptiesPreviewOfPlainFilesAndKeepsTheRest) {
    // In use: opened without sharing for the length of the hook.
    kit::MakeFile(kPreview + TEXT("\\busy.png"), "5");
    const HANDLE busy = CreateFileW((kPreview + TEXT("\\busy.png")).c_str(), GENERIC_READ, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    const DWORD start = GetTickCount();

    EXPECT_EQ(Uninstall_Init(nullptr, kInstallDir.c_str()), codeUNINSTALL_INIT_CONTINUE);
    CloseHandle(busy);

    EXPECT_TRUE(kit::PausedFor(start, 0)) << "nothing was running";
    EXPECT_FALSE(kit::PathExists(kPreview + TEXT("\\one.png")));
    EXPECT_FALSE(kit::PathExists(kPreview + TEXT("\\two")));
    EXPECT_TRUE(kit::PathExists(kPreview + TEXT("\\locked.png")));
    EXPECT_TRUE(kit::PathExists(kPreview + TEXT("\\busy.png")));
    EXPECT_TRUE(kit::PathExists(kPreview + TEXT("\\Sub\\inner.png")));
    EXPECT_EQ(kit::Attributes(kPreview + TEXT("\\Sub")),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_TRUE(kit::PathExists(kPreview));
}

TEST_F(UninstallHooks, WithoutAnInstallFolderDeletesNothing) {
    kit::DeleteKeyTree(HKEY_LOCAL_MACHINE, kApplicationKey);
    // A hook that joined an unread folder would empty \Preview.
    kit::MakeFolder(TEXT("\\Preview"));
    kit::MakeFile(TEXT("\\Preview\\root.png"), "r");

    EXPECT_EQ(Uninstall_Init(nullptr, kInstallDir.c_str()), codeUNINSTALL_INIT_CONTINUE);

    EXPECT_TRUE(kit::PathExists(TEXT("\\Preview\\root.png")));
    EXPECT_TRUE(kit::PathExists(kPreview + TEXT("\\one.png")));
}

TEST_F(UninstallHooks, NeverEmptiesACutShortPreviewPath) {
    if (!kit::PathsMayExceedMaxPath()) {
        GTEST_SKIP() << "paths here stop at MAX_PATH, so the Preview folder could not be made";
    }
    // "\Preview\" no longer fits the 260-unit path by one unit; cut short, the path would name
    // "<folder>\Preview", the same folder, and its files would go.
    const WideString folder =
        kInstallDir + TEXT("\\") + kit::Repeat(u'p', 259 - 8 - kInstallDir.size() - 1);
    ASSERT_EQ(folder.size() + 8, 259u);
    kit::MakeFolder(folder);
    kit::MakeFolder(folder + TEXT("\\Preview"));
    kit::MakeFile(folder + TEXT("\\Preview\\kept.png"), "k");
    SetInstallDir(folder);

    EXPECT_EQ(Uninstall_Init(nullptr, kInstallDir.c_str()), codeUNINSTALL_INIT_CONTINUE);

    EXPECT_TRUE(kit::PathExists(folder + TEXT("\\Preview\\kept.png")));
}

TEST_F(UninstallHooks, WithoutAPreviewFolderStillContinues) {
    SetInstallDir(kit::kTestFolder);  // has no Preview folder
    EXPECT_EQ(Uninstall_Init(nullptr, kInstallDir.c_str()), codeUNINSTALL_INIT_CONTINUE);
    EXPECT_TRUE(kit::PathExists(kPreview + TEXT("\\one.png")));
}

TEST_F(SetupHooks, UninstallExitDoesNothing) {
    const HWND application = StartApplicationWindow();
    const DWORD start = GetTickCount();
    EXPECT_EQ(Uninstall_Exit(nullptr), codeUNINSTALL_EXIT_DONE);
    EXPECT_TRUE(kit::PausedFor(start, 0));
    EXPECT_TRUE(kit::Deliveries(WM_CLOSE).empty());
    EXPECT_TRUE(kit::Boxes().empty());
    EXPECT_TRUE(IsWindow(application));
}

class FolderDeletion : public kit::DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        kit::MakeFolder(kit::kTestFolder);
        kit::MakeFolder(folder);
        kit::MakeFile(folder + TEXT("\\a.txt"), "a");
        kit::MakeFile(folder + TEXT("\\b.dat"), "b");
        kit::MakeFolder(folder + TEXT("\\Hidden"));
        SetFileAttributesW((folder + TEXT("\\Hidden")).c_str(),
                           FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    }
    const WideString folder = WideString(kit::kTestFolder) + TEXT("\\Work");
};

TEST_F(FolderDeletion, ReportsHowTheSearchWent) {
    EXPECT_EQ(DeleteFilesInFolder(TEXT(""), TEXT("*.*")), 0);
    EXPECT_EQ(DeleteFilesInFolder((folder + TEXT("\\Missing")).c_str(), TEXT("*.*")), -1);
    EXPECT_EQ(DeleteFilesInFolder(folder.c_str(), TEXT("*.none")), -1);
    EXPECT_NE(DeleteFilesInFolder(folder.c_str(), TEXT("*.txt")), 0);
    EXPECT_FALSE(kit::PathExists(folder + TEXT("\\a.txt")));
    EXPECT_TRUE(kit::PathExists(folder + TEXT("\\b.dat")));
}

TEST_F(FolderDeletion, AFolderAndPatternBeyondTheWorkBufferAreNoSearch) {
    if (!kit::PathsMayExceedMaxPath()) {
        GTEST_SKIP() << "paths here stop at MAX_PATH, so no folder can come near 512 units";
    }
    // 511 units with the separator fit the work buffer with its terminating zero; 512 do not.
    const WideString deep = folder + TEXT("\\") + kit::Repeat(u'd', 200) + TEXT("\\") +
                            kit::Repeat(u'e', 200) + TEXT("\\") +
                            kit::Repeat(u'f', 500 - folder.size() - 403);
    ASSERT_EQ(deep.size(), 500u);
    kit::MakeFolders(deep);
    kit::MakeFile(deep + TEXT("\\x.dat"), "x");
    const WideString fits = TEXT("*.dat") + kit::Repeat(u'*', 5);  // 500 + 1 + 10 = 511
    const WideString over = fits + TEXT("*");                      // 512

    EXPECT_EQ(DeleteFilesInFolder(deep.c_str(), over.c_str()), -1);
    EXPECT_TRUE(kit::PathExists(deep + TEXT("\\x.dat")));
    EXPECT_NE(DeleteFilesInFolder(deep.c_str(), fits.c_str()), -1);
    EXPECT_FALSE(kit::PathExists(deep + TEXT("\\x.dat")));
}

TEST_F(FolderDeletion, WorksWithOrWithoutTheTrailingSeparator) {
    for (const WideString& given : {folder, folder + TEXT("\\")}) {
        kit::MakeFile(folder + TEXT("\\a.txt"), "a");
        EXPECT_NE(DeleteFilesInFolder(given.c_str(), TEXT("a.txt")), 0);
        EXPECT_FALSE(kit::PathExists(folder + TEXT("\\a.txt"))) << kit::Narrow(given);
    }
}

TEST_F(FolderDeletion, AFolderWithMoreThanTheFolderBitIsTriedAndKept) {
    EXPECT_NE(DeleteFilesInFolder(folder.c_str(), TEXT("*.*")), 0);
    EXPECT_TRUE(kit::PathExists(folder + TEXT("\\Hidden")));
    EXPECT_FALSE(kit::PathExists(folder + TEXT("\\b.dat")));
}

TEST_F(FolderDeletion, SkipsAnEntryWhosePathWouldNotFitRatherThanCutIt) {
    if (!kit::PathsMayExceedMaxPath()) {
        GTEST_SKIP() << "paths here stop at MAX_PATH, so no entry can outgrow the buffer";
    }
    const WideString deep =
        folder + TEXT("\\") + kit::Repeat(u'd', 200) + TEXT("\\") + kit::Repeat(u'e', 200);
    kit::MakeFolders(deep);
    const WideString longName = kit::Repeat(u'n', 120) + TEXT(".long");
    ASSERT_GT(deep.size() + 1 + longName.size(), 511u);
    // Cut to the buffer, the long entry's path would name this file, which the pattern spares.
    const WideString cutName = longName.substr(0, 511 - deep.size() - 1);
    kit::MakeFile(deep + TEXT("\\") + longName, "long");
    kit::MakeFile(deep + TEXT("\\") + cutName, "spared");
    kit::MakeFile(deep + TEXT("\\s.long"), "short");

    EXPECT_NE(DeleteFilesInFolder(deep.c_str(), TEXT("*.long")), 0);

    EXPECT_TRUE(kit::PathExists(deep + TEXT("\\") + longName)) << "skipped";
    EXPECT_TRUE(kit::PathExists(deep + TEXT("\\") + cutName)) << "never a cut-short path";
    EXPECT_FALSE(kit::PathExists(deep + TEXT("\\s.long"))) << "the walk goes on after a skip";
}

TEST(LibraryEntry, AcceptsEveryReason) {
    for (DWORD reason = 0; reason < 4; ++reason) {
        EXPECT_EQ(DllMain(nullptr, reason, nullptr), TRUE) << "reason " << reason;
    }
}

}  // namespace
