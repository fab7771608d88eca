// The package's life end to end, as a user plays it: Korvessa.cab, built by the test command, is
// installed by the stand-in CE installer, which loads the setup library the package carries and
// calls its hooks in order, acting on their results, installed again over itself, and removed
// again by unload.exe. The application and CloseKorvessa are the programs the package installed.
#include <string>

#include "cabinet_edit.h"
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
    // Korvessa installed and running, Internet Explorer open, a file in Preview: the browser.
    static HWND InstalledAndInUse() {
        RegisterFlashPlayer();
        EXPECT_EQ(Install(), 0u);
        EXPECT_NE(kit::WaitForApplicationWindow(), nullptr);
        kit::MakeFolder(kPreview);
        kit::MakeFile(kPreview + TEXT("\\scene.png"), "1");
        return kit::CreateRecordingWindow(TEXT("IEFrame"), TEXT("Internet Explorer"));
    }
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
    const HWND browser = InstalledAndInUse();
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

TEST_F(Lifecycle, InstallingOverAnInstalledCopyAsksThenRemovesItAsUnloadDoesAndInstallsAgain) {
    const HWND browser = InstalledAndInUse();
    // Declined, the earlier installation stays whole and in use; the package goes all the same.
    kit::AnswerBoxesWith(IDNO);
    kit::PutPackage("Korvessa.cab", kPackage);
    EXPECT_EQ(Install(), 1u) << "cancelled";
    EXPECT_TRUE(IsWindow(browser));
    EXPECT_NE(kit::ApplicationWindow(), nullptr);
    EXPECT_TRUE(kit::PathExists(kPreview + TEXT("\\scene.png")));
    EXPECT_FALSE(kit::PathExists(kPackage));

    kit::AnswerBoxesWith(IDYES);
    kit::PutPackage("Korvessa.cab", kPackage);
    EXPECT_EQ(Install(), 0u) << kit::LastInstallerStart().error;

    const std::vector<kit::Box> boxes = kit::Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    for (const kit::Box& box : boxes) {
        EXPECT_EQ(Ascii(box.caption), "Ternwick Korvessa");
        EXPECT_EQ(Ascii(box.text),
                  "Ternwick Korvessa is installed already. Remove it and install this package in "
                  "its place?");
        EXPECT_EQ(box.flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    }
    EXPECT_EQ(boxes[0].answer, IDNO);
    EXPECT_EQ(boxes[1].answer, IDYES);
    // The earlier installation's own library closed the browser and emptied Preview.
    EXPECT_FALSE(IsWindow(browser));
    EXPECT_FALSE(kit::PathExists(kPreview + TEXT("\\scene.png")));
    EXPECT_NE(kit::WaitForApplicationWindow(), nullptr);
    EXPECT_EQ(kit::ApplicationStarts(), 2u);
    EXPECT_EQ(InstallDirValue(), Ascii(kInstallDir));
    EXPECT_TRUE(kit::PathExists(kCloseProgram));
    EXPECT_TRUE(kit::GetValue(HKEY_LOCAL_MACHINE, kRemovalKey, TEXT("Instl")).present);
    EXPECT_TRUE(kit::PathExists(TEXT("\\Windows\\Ternwick Korvessa.unload")));
    EXPECT_TRUE(kit::PathExists(TEXT("\\Windows\\AppMgr\\Ternwick Korvessa.dll")));
    EXPECT_TRUE(kit::PathExists(TEXT("\\Windows\\AppMgr\\Ternwick Korvessa.dat")));
    kit::CloseApplication();
    EXPECT_EQ(Uninstall(), 0u) << kit::LastInstallerStart().error;
    EXPECT_FALSE(kit::PathExists(kProgram));
    EXPECT_FALSE(kit::GetValue(HKEY_LOCAL_MACHINE, kRemovalKey, TEXT("Instl")).present);
}

// A setup library the device could not load is refused before any hook runs (without the Flash
// Player, Install_Init would say so) or any file is written, in the device's words.
TEST_F(Lifecycle, ASetupLibraryTheDeviceCouldNotLoadIsRefusedBeforeAnyHookOrFile) {
    const std::string package = kit::ReadFileText(kPackage);
    const std::string library = cabinet_edit::Member(package, 999);
    ASSERT_GT(library.size(), 0x40u);
    const std::size_t pe = cabinet_edit::Get(library, 0x3C, 4);
    std::string notLibrary(2, '\0');
    cabinet_edit::Put(notLibrary, 0, cabinet_edit::Get(library, pe + 22, 2) & ~0x2000u, 2);
    const struct {
        const char* what;
        std::size_t at;
        std::string bytes;
        const char* error;
    } rows[] = {
        {"no PE file", 0, "XX", "its setup library is not a PE file"},
        {"for another processor", pe + 4, std::string("\x4c\x01", 2),
         "its setup library is for machine 0x014C"},
        {"no DLL", pe + 22, notLibrary, "its setup library is no DLL"},
        {"without Install_Init", library.find(std::string("\0Install_Init\0", 14)) + 1,
         "Install_Inix", "its setup library does not export Install_Init"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::string changed = package;
        cabinet_edit::ChangeMember(changed, 999, row.at, row.bytes);
        kit::MakeFile(kPackage, changed);
        EXPECT_EQ(Install(), 2u);
        EXPECT_EQ(kit::LastInstallerStart().error.substr(0, std::string(row.error).size()),
                  row.error);
        const std::vector<kit::Box> boxes = kit::Boxes();
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(Ascii(boxes.back().caption), "Setup Failed");
        EXPECT_EQ(Ascii(boxes.back().text),
                  "The file \"\\My Documents\\Korvessa.cab\" is not a valid Windows CE Setup "
                  "file.");
        EXPECT_FALSE(kit::PathExists(kInstallDir));
        EXPECT_FALSE(kit::PathExists(TEXT("\\Windows\\AppMgr\\Ternwick Korvessa.installing.dll")));
        EXPECT_FALSE(kit::PathExists(kPackage)) << "deleted all the same";
    }
    EXPECT_EQ(kit::Boxes().size(), std::size(rows)) << "no hook's box among them";
}

// A theme package installed to be removable, which the product never asks for, is recorded and
// removed like any package without a setup library.
TEST_F(Lifecycle, AThemePackageInstalledToBeRemovableIsRemovedWhole) {
    const WideString theme = TEXT("\\My Documents\\Water.tsk");
    const WCHAR* const name = TEXT("Ternwick Water Theme");
    const WideString apps = TEXT("Software\\Apps\\") + WideString(name);
    const WideString records[] = {TEXT("\\Windows\\Ternwick Water Theme.unload"),
                                  TEXT("\\Windows\\AppMgr\\Ternwick Water Theme.dat")};
    const WideString pictures[] = {TEXT("\\Windows\\tdywater.gif"), TEXT("\\Windows\\stwater.gif")};
    kit::PutPackage("Water.tsk", theme);
    EXPECT_EQ(kit::RunInstaller(TEXT("/noui \"") + theme + TEXT("\"")), 0u)
        << kit::LastInstallerStart().error;
    for (const WideString& file : pictures) {
        EXPECT_TRUE(kit::PathExists(file)) << Ascii(file);
    }
    EXPECT_TRUE(kit::GetValue(HKEY_LOCAL_MACHINE, apps.c_str(), TEXT("Instl")).present);
    EXPECT_FALSE(kit::GetValue(HKEY_LOCAL_MACHINE, apps.c_str(), TEXT("IsvFile")).present);
    for (const WideString& file : records) {
        EXPECT_TRUE(kit::PathExists(file)) << Ascii(file);
    }

    EXPECT_EQ(kit::RunUnload(name), 0u) << kit::LastInstallerStart().error;
    for (const WideString& file : pictures) {
        EXPECT_FALSE(kit::PathExists(file)) << Ascii(file);
    }
    for (const WideString& file : records) {
        EXPECT_FALSE(kit::PathExists(file)) << Ascii(file);
    }
    EXPECT_FALSE(kit::KeyExists(HKEY_LOCAL_MACHINE, apps.c_str()));
    EXPECT_TRUE(kit::PathExists(TEXT("\\Windows")));
}

}  // namespace
