// The package's life end to end, as the CAB installer plays it: the installer loads the setup
// library (under Wine the real Wrenfold.dll, by name) and calls the four hooks in order, acting on
// their results; the application and CloseKorvessa are real programs under Wine.
#include <string>

#include "kit/programs.h"

namespace {

const WideString kInstallDir = WideString(kit::kTestFolder) + TEXT("\\Korvessa");
const WideString kProgram = kInstallDir + TEXT("\\Korvessa.exe");
const WideString kPreview = kInstallDir + TEXT("\\Preview");
const WideString kPackage = WideString(kit::kTestFolder) + TEXT("\\Korvessa.cab");

std::string Ascii(const WideString& text) {
    return kit::Narrow(text);
}

class Lifecycle : public kit::DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        kit::MakeFolder(kit::kTestFolder);
        kit::MakeFolder(kInstallDir);
        kit::InstallStandInInstaller();
        // What the package's own registry section sets up.
        kit::SetString(HKEY_LOCAL_MACHINE, TEXT("Software\\Ternwick\\Korvessa"), TEXT("InstallDir"),
                       kInstallDir);
        kit::MakeFile(kPackage, "setup\t" + Ascii(kit::SetupLibrary()) + "\nfolder\t" +
                                    Ascii(kInstallDir) + "\ncopy\t" +
                                    Ascii(kit::ApplicationSource()) + "\t" + Ascii(kProgram) +
                                    "\n");
    }

    void TearDown() override {
        kit::CloseApplication();
        DeviceTest::TearDown();
    }

    static void RegisterFlashPlayer() {
        kit::CreateKey(HKEY_CLASSES_ROOT, TEXT("CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}"));
    }
    static DWORD Install() { return kit::RunInstaller(TEXT("\"") + kPackage + TEXT("\"")); }
    static DWORD Uninstall() {
        return kit::RunInstaller(TEXT("/uninstall \"") + kPackage + TEXT("\""));
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
    EXPECT_FALSE(kit::PathExists(kProgram)) << "nothing was copied";
    EXPECT_EQ(kit::ApplicationStarts(), 0u);
}

TEST_F(Lifecycle, InstallingOverARunningCopyClosesItAndStartsTheNewOne) {
    RegisterFlashPlayer();
    kit::InstallStandInApplication(kProgram.c_str());
    kit::StartProgram(kProgram);
    ASSERT_NE(kit::WaitForApplicationWindow(), nullptr);
    const HWND oldWindow = kit::WaitForApplicationWindow();

    // The running copy's file could not be replaced: the installer copies only after
    // Install_Init has closed it.
    EXPECT_EQ(Install(), 0u);

    EXPECT_TRUE(kit::Boxes().empty());
    EXPECT_FALSE(IsWindow(oldWindow));
    const HWND newWindow = kit::WaitForApplicationWindow();
    EXPECT_NE(newWindow, nullptr);
    EXPECT_NE(newWindow, oldWindow);
    EXPECT_EQ(kit::ApplicationStarts(), 2u);
    EXPECT_EQ(kit::LastInstallerStart().result, 0u);
}

TEST_F(Lifecycle, CloseKorvessaClosesTheInstalledApplicationThenSaysItIsNotLoaded) {
    RegisterFlashPlayer();
    kit::InstallStandInApplication(kProgram.c_str());
    ASSERT_EQ(Install(), 0u);
    ASSERT_NE(kit::WaitForApplicationWindow(), nullptr);

    EXPECT_EQ(kit::RunCloseProgram(TEXT("")), 0u);
    EXPECT_EQ(kit::RunCloseProgram(TEXT("")), 0u);

    const std::vector<kit::Box> boxes = kit::Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(Ascii(boxes[0].caption), "Korvessa Closed");
    EXPECT_EQ(Ascii(boxes[0].text), "If you wish to reload Korvessa perform a soft reset.");
    EXPECT_EQ(Ascii(boxes[1].caption), "Close Korvessa");
    EXPECT_EQ(Ascii(boxes[1].text), "Korvessa is not currently loaded");
    EXPECT_EQ(FindWindowW(TEXT("KorvessaNotify"), TEXT("")), nullptr);
}

TEST_F(Lifecycle, UninstallingClosesTheBrowserAndTheApplicationAndEmptiesPreview) {
    RegisterFlashPlayer();
    kit::InstallStandInApplication(kProgram.c_str());
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
    EXPECT_TRUE(kit::PathExists(kPreview + TEXT("\\Thumbnails\\scene.png")));
    EXPECT_FALSE(kit::PathExists(kProgram)) << "the installer removed the package's file";
    EXPECT_TRUE(kit::Boxes().empty());
}

}  // namespace
