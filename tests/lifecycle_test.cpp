// The package's life end to end, as a user plays it: Korvessa.cab, built by the test command, is
// installed by the stand-in CE installer, which loads the setup library the package carries and
// calls its hooks in order, acting on their results, and removed again by unload.exe. The
// application and CloseKorvessa are the programs the package installed.
#include <string>

#include "kit/programs.h"

namespace {

const WideString kInstallDir = TEXT("\\Program Files\\Korvessa");
const WideString kProgram = kInstallDir + TEXT("\\Korvessa.exe");
const WideString kCloseProgram = kInstallDir + TEXT("\\CloseKorvessa.exe");
const WideString kPreview = kInstallDir + TEXT("\\Preview");
const WideString kPackage = TEXT("\\My Documents\\Korvessa.cab");
const WideString kShortcuts = TEXT("\\Windows\\Start Menu\\Programs");
const WCHAR* const kApplicationKey = TEXT("Software\\Ternwick\\Korvessa");
const WCHAR* const kRemovalKey = TEXT("Software\\Apps\\Ternwick Korvessa");

std::string Ascii(const WideString& text) {
    return kit::Narrow(text);
}

class Lifecycle : public kit::DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        kit::MakeFolders(TEXT("\\My Documents"));
        kit::InstallStandInInstaller();
        kit::PutPackage("Korvessa.cab", kPackage);
    }

    void TearDown() override {
        kit::CloseApplication();
        DeviceTest::TearDown();
    }

    static void RegisterFlashPlayer() {
        kit::CreateKey(HKEY_CLASSES_ROOT, TEXT("CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}"));
    }
    static DWORD Install() { return kit::RunInstaller(TEXT("\"") + kPackage + TEXT("\"")); }
    static DWORD Uninstall() { return kit::RunUnload(TEXT("Ternwick Korvessa")); }
    static std::string InstallDirValue() {
        const kit::StoredValue value =
            kit::GetValue(HKEY_LOCAL_MACHINE, kApplicationKey, TEXT("InstallDir"));
        return value.present && value.type == REG_SZ
                   ? Ascii(reinterpret_cast<const WCHAR*>(value.data.data()))
                   : "<none>";
    }
};

TEST_F(Lifecycle, WithoutTheFlashPlayerTheInstallationStops) {
    EXPECT_EQ(Install(), 1u) << "cancelled";

    const std::vector<kit::Box> boxes = kit::Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(Ascii(boxes[0].caption), "Installation Aborted");
    EXPECT_EQ(Ascii(boxes[0].text),
              "Macromedia Flash player not detected!\n\nKorvessa requires the Macromedia Flash "
              "Player for Pocket PC is installed before it can be used.\n\nDownload the player "
              "from http://www.macromedia.com/dlflash.htm then attempt the installation again.");
    EXPECT_NE(boxes[0].owner, nullptr) << "owned by the installer's window";
    EXPECT_FALSE(kit::PathExists(kInstallDir)) << "nothing was installed";
    EXPECT_EQ(InstallDirValue(), "<none>");
    EXPECT_FALSE(kit::GetValue(HKEY_LOCAL_MACHINE, kRemovalKey, TEXT("Instl")).present);
    EXPECT_FALSE(kit::PathExists(TEXT("\\Windows\\AppMgr\\Ternwick Korvessa.dll")));
    EXPECT_EQ(kit::ApplicationStarts(), 0u);
}

TEST_F(Lifecycle, InstallingOverARunningCopyClosesItAndStartsTheNewOne) {
    RegisterFlashPlayer();
    kit::MakeFolders(kInstallDir);
    kit::InstallStandInApplication(kProgram.c_str());
    kit::StartProgram(kProgram);
    const HWND oldWindow = kit::WaitForApplicationWindow();
    ASSERT_NE(oldWindow, nullptr);

    // The running copy's file could not be replaced: the installer copies only after
    // Install_Init has closed it.
    EXPECT_EQ(Install(), 0u);

    EXPECT_TRUE(kit::Boxes().empty());
    EXPECT_FALSE(IsWindow(oldWindow));
    const HWND newWindow = kit::WaitForApplicationWindow();
    EXPECT_NE(newWindow, nullptr);
    EXPECT_NE(newWindow, oldWindow);
    EXPECT_EQ(kit::ApplicationStarts(), 2u);
    EXPECT_EQ(kit::LastInstallerStart().result, 0u) << kit::LastInstallerStart().error;
    // What the package itself put on the device.
    EXPECT_EQ(InstallDirValue(), Ascii(kInstallDir)) << "written by the package, expanded";
    EXPECT_TRUE(kit::PathExists(kCloseProgram));
    EXPECT_EQ(kit::ReadFileText(kShortcuts + TEXT("\\Korvessa.lnk")),
              "38#\"\\Program Files\\Korvessa\\Korvessa.exe\"");
    EXPECT_EQ(kit::ReadFileText(kShortcuts + TEXT("\\Close Korvessa.lnk")),
              "43#\"\\Program Files\\Korvessa\\CloseKorvessa.exe\"");
    EXPECT_TRUE(kit::GetValue(HKEY_LOCAL_MACHINE, kRemovalKey, TEXT("Instl")).present);
    EXPECT_FALSE(kit::PathExists(kPackage)) << "the installer deletes the package it installed";
}

TEST_F(Lifecycle, CloseKorvessaClosesTheInstalledApplicationThenSaysItIsNotLoaded) {
    RegisterFlashPlayer();
    ASSERT_EQ(Install(), 0u);
    ASSERT_NE(kit::WaitForApplicationWindow(), nullptr);

    EXPECT_EQ(kit::RunCloseProgram(TEXT(""), kCloseProgram.c_str()), 0u);
    EXPECT_EQ(kit::RunCloseProgram(TEXT(""), kCloseProgram.c_str()), 0u);

    const std::vector<kit::Box> boxes = kit::Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(Ascii(boxes[0].caption), "Korvessa Closed");
    EXPECT_EQ(Ascii(boxes[0].text), "If you wish to reload Korvessa perform a soft reset.");
    EXPECT_EQ(Ascii(boxes[1].caption), "Close Korvessa");
    EXPECT_EQ(Ascii(boxes[1].text), "Korvessa is not currently loaded");
    EXPECT_EQ(FindWindowW(TEXT("KorvessaNotify"), TEXT("")), nullptr);
}

TEST_F(Lifecycle, RemovingClosesTheBrowserAndTheApplicationAndTakesAwayWhatWasInstalled) {
    RegisterFlashPlayer();
    ASSERT_EQ(Install(), 0u);
    ASSERT_NE(kit::WaitForApplicationWindow(), nullptr);
    const HWND browser = kit::CreateRecordingWindow(TEXT("IEFrame"), TEXT("Internet Explorer"));
    kit::MakeFolder(kPreview);
    kit::MakeFile(kPreview + TEXT("\\scene.png"), "1");
    kit::MakeFolder(kPreview + TEXT("\\Thumbnails"));
    kit::MakeFile(kPreview + TEXT("\\Thumbnails\\scene.png"), "2");

    EXPECT_EQ(Uninstall(), 0u);

    EXPECT_EQ(kit::Deliveries(WM_CLOSE).size(), 1u);
    EXPECT_FALSE(IsWindow(browser));
    EXPECT_EQ(FindWindowW(TEXT("KorvessaNotify"), TEXT("")), nullptr);
    EXPECT_FALSE(kit::PathExists(kPreview + TEXT("\\scene.png")));
    EXPECT_TRUE(kit::PathExists(kPreview + TEXT("\\Thumbnails\\scene.png")))
        << "the application's own files stay, and the folders that hold them";
    for (const WideString& installed :
         {kProgram, kCloseProgram, kShortcuts + TEXT("\\Korvessa.lnk"),
          kShortcuts + TEXT("\\Close Korvessa.lnk"),
          WideString(TEXT("\\Windows\\AppMgr\\Ternwick Korvessa.dll"))}) {
        EXPECT_FALSE(kit::PathExists(installed)) << Ascii(installed);
    }
    EXPECT_EQ(InstallDirValue(), "<none>");
    EXPECT_FALSE(kit::GetValue(HKEY_LOCAL_MACHINE, kRemovalKey, TEXT("Instl")).present);
    EXPECT_TRUE(kit::Boxes().empty());
}

}  // namespace
