// The Today theme helpers as a user of the device sees them: which theme package the installer
// was handed and how, what the Today settings and the colour scheme hold afterwards, which
// pictures are left in \Windows, and how the shell is told. The packages are the host build's
// (package/themes/*.inf), installed by the stand-in CE installer.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kit/programs.h"
#include "support/compat.h"
#include "support/theme.h"

namespace {

const WCHAR* const kTodayKey = TEXT("Software\\Microsoft\\Today");
const WCHAR* const kColorKey = TEXT("Software\\Microsoft\\Color");
const WCHAR* const kTodayImage = TEXT("\\Windows\\tdywater.gif");
const WCHAR* const kStartImage = TEXT("\\Windows\\stwater.gif");

constexpr WPARAM kTodaySettingsChanged = 0xF2;
constexpr DWORD kMissing = 0xFFFFFFFF;
constexpr UINT kMarker = WM_APP + 7;

// The install's broadcast is posted on the device; desktop Win32 cannot post WM_WININICHANGE and
// sends it instead (support/compat.h).
constexpr bool kInstallBroadcastIsSent = WRENFOLD_DESKTOP_WIN32 != 0;

WideString In(const WCHAR* name) {
    return WideString(kit::kTestFolder) + TEXT("\\") + name;
}

// Wine reports the archive bit on every file and never the normal bit; Windows and the device
// report FILE_ATTRIBUTE_NORMAL for a file with no other bit. These are the bits that matter.
DWORD SignificantAttributes(DWORD attributes) {
    return attributes == INVALID_FILE_ATTRIBUTES
               ? attributes
               : attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL);
}

std::string Skin() {
    const kit::StoredValue value = kit::GetValue(HKEY_CURRENT_USER, kTodayKey, TEXT("Skin"));
    if (!value.present) {
        return "<missing>";
    }
    WideString text(value.data.size() / sizeof(WCHAR), TEXT('\0'));
    std::memcpy(&text[0], value.data.data(), text.size() * sizeof(WCHAR));
    if (value.type != REG_SZ || text.empty() || text.back() != 0) {
        return "<not a terminated REG_SZ>";
    }
    text.pop_back();
    return kit::Narrow(text);
}

DWORD UseStartImage() {
    const kit::StoredValue value =
        kit::GetValue(HKEY_CURRENT_USER, kTodayKey, TEXT("UseStartImage"));
    DWORD number = kMissing;
    if (value.present && value.type == REG_DWORD && value.data.size() == sizeof number) {
        std::memcpy(&number, value.data.data(), sizeof number);
    }
    return number;
}

class TodayTheme : public kit::DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        kit::MakeFolder(kit::kTestFolder);
        kit::MakeFolders(TEXT("\\Windows"));
        kit::CreateKey(HKEY_CURRENT_USER, kTodayKey);
        shell_ = kit::CreateRecordingWindow(TEXT("WrenfoldTodayShell"), TEXT("Today"));
    }

    // The host build's theme package `built` (e.g. "WaterToday.tsk"), put at `name` in the
    // tests' folder.
    static WideString Package(const WCHAR* name, const char* built, DWORD attributes = 0) {
        const WideString path = In(name);
        kit::PutPackage(built, path);
        if (attributes != 0) {
            SetFileAttributesW(path.c_str(), attributes);
        }
        return path;
    }

    static void SetCurrentTheme(const char* skin, DWORD useStartImage) {
        kit::SetString(HKEY_CURRENT_USER, kTodayKey, TEXT("Skin"), kit::Widen(skin));
        kit::SetDword(HKEY_CURRENT_USER, kTodayKey, TEXT("UseStartImage"), useStartImage);
    }

    static void LeaveOldPictures() {
        kit::MakeFile(kTodayImage, "old Today picture");
        kit::MakeFile(kStartImage, "old Start picture");
    }

    // The settings-changed broadcasts that reached the shell's window, once every message posted
    // so far has arrived: a marker posted now arrives after them.
    std::vector<kit::Delivery> SettingsChanges() const {
        const std::size_t markers = kit::Deliveries(kMarker).size();
        PostMessageW(shell_, kMarker, 0, 0);
        for (DWORD waited = 0; kit::Deliveries(kMarker).size() == markers && waited < 5000;
             waited += 10) {
            Sleep(waited == 0 ? 0 : 10);
        }
        std::vector<kit::Delivery> changes = kit::Deliveries(WM_WININICHANGE);
        for (const kit::Delivery& change : changes) {
            EXPECT_EQ(change.window, shell_);
            EXPECT_EQ(change.wParam, kTodaySettingsChanged);
            EXPECT_EQ(change.lParam, 0);
        }
        return changes;
    }

    HWND shell_ = nullptr;
};

// ---- Installing -----------------------------------------------------------------------------

TEST_F(TodayTheme, InstallingAMissingPackageChangesNothing) {
    kit::InstallStandInInstaller();
    SetCurrentTheme("\\Old.cab", 0);
    LeaveOldPictures();

    EXPECT_EQ(InstallTodayTheme(In(TEXT("missing.cab")).c_str()), FALSE);

    EXPECT_EQ(Skin(), "\\Old.cab");
    EXPECT_EQ(UseStartImage(), 0u);
    EXPECT_TRUE(kit::PathExists(kTodayImage));
    EXPECT_TRUE(kit::PathExists(kStartImage));
    EXPECT_EQ(kit::LastInstallerStart().starts, 0u);
    EXPECT_TRUE(SettingsChanges().empty());
}

TEST_F(TodayTheme, APathWithBlanksReachesTheInstallerAsOneQuotedArgument) {
    kit::InstallStandInInstaller();
    kit::MakeFolder(In(TEXT("My Themes")));
    const WideString package = Package(TEXT("My Themes\\Blue Water.tsk"), "WaterToday.tsk");

    EXPECT_EQ(InstallTodayTheme(package.c_str()), TRUE);

    const kit::InstallerStart start = kit::LastInstallerStart();
    EXPECT_EQ(start.starts, 1u);
    EXPECT_EQ(kit::Narrow(start.commandLine),
              "/safe /noui /nouninstall /delete 0 \"" + kit::Narrow(package) + "\"");
    EXPECT_NE(start.packageAttributes, INVALID_FILE_ATTRIBUTES) << "it found the package";
    EXPECT_EQ(start.result, 0u) << "and installed it: " << start.error;
    EXPECT_TRUE(kit::PathExists(kTodayImage));
    EXPECT_TRUE(kit::PathExists(package)) << "kept for the next time";
    EXPECT_EQ(Skin(), kit::Narrow(package));
    const std::vector<kit::Delivery> changes = SettingsChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].sent, kInstallBroadcastIsSent);
}

TEST_F(TodayTheme, TheInstallerStartsWithANewConsole) {
    kit::InstallStandInInstaller();
    ASSERT_EQ(InstallTodayTheme(Package(TEXT("Plain.tsk"), "Plain.tsk").c_str()), TRUE);
    DWORD flags = 0;
    if (!kit::InstallerCreationFlags(flags)) {
        GTEST_SKIP() << "this build keeps no record of a process's creation flags";
    }
    EXPECT_EQ(flags, 16u);
}

TEST_F(TodayTheme, PackagePathsUpTo262CharactersFitTheCommandLine) {
    kit::InstallStandInInstaller();
    SetCurrentTheme("\\Old.cab", 0);
    LeaveOldPictures();
    const WideString folder = In(kit::Repeat(u'd', 120).c_str());
    kit::MakeFolder(folder);
    const auto packageOf = [&folder](std::size_t length) {
        const WideString name = kit::Repeat(u'p', length - folder.size() - 5) + TEXT(".cab");
        const WideString path = folder + TEXT("\\") + name;
        kit::MakeFile(path, "");
        return path;
    };
    const WideString longest = packageOf(262);
    const WideString tooLong = packageOf(263);
    ASSERT_EQ(longest.size(), 262u);
    ASSERT_EQ(tooLong.size(), 263u);

    // Refused before anything is touched.
    EXPECT_EQ(InstallTodayTheme(tooLong.c_str()), FALSE);
    EXPECT_EQ(SignificantAttributes(kit::Attributes(tooLong)), 0u) << "not made read-only";
    EXPECT_TRUE(kit::PathExists(kTodayImage));
    EXPECT_TRUE(kit::PathExists(kStartImage));
    EXPECT_EQ(kit::LastInstallerStart().starts, 0u);
    EXPECT_EQ(Skin(), "\\Old.cab");
    EXPECT_TRUE(SettingsChanges().empty());

    EXPECT_EQ(InstallTodayTheme(longest.c_str()), TRUE);
    const kit::InstallerStart start = kit::LastInstallerStart();
    EXPECT_EQ(start.commandLine.size(), 299u) << "300 units with the terminating zero";
    EXPECT_EQ(kit::Narrow(start.commandLine.substr(start.commandLine.size() - 264)),
              "\"" + kit::Narrow(longest) + "\"");
    EXPECT_EQ(Skin(), kit::Narrow(longest));
}

TEST_F(TodayTheme, ThePackageIsReadOnlyWhileTheInstallerRunsAndNormalAfter) {
    kit::InstallStandInInstaller();
    const WideString package = Package(TEXT("Hidden.tsk"), "Plain.tsk", FILE_ATTRIBUTE_HIDDEN);
    ASSERT_EQ(SignificantAttributes(kit::Attributes(package)),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));

    EXPECT_EQ(InstallTodayTheme(package.c_str()), TRUE);

    EXPECT_EQ(SignificantAttributes(kit::LastInstallerStart().packageAttributes),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))
        << "read-only alone while the installer ran";
    EXPECT_EQ(SignificantAttributes(kit::Attributes(package)), 0u)
        << "normal afterwards; the hidden bit is not restored";
}

TEST_F(TodayTheme, UseStartImageFollowsThePictureThePackageLeft) {
    kit::InstallStandInInstaller();
    struct Case {
        const char* what;
        const char* package;
        bool hasTodayImage;
        bool hasStartImage;
        bool oldPictures;
        DWORD useStartImage;
    };
    const Case cases[] = {
        {"a Today picture", "WaterToday.tsk", true, false, false, 0},
        {"no pictures", "Plain.tsk", false, false, false, 1},
        {"no pictures, over a theme that had both", "Plain.tsk", false, false, true, 1},
        {"both pictures, over a theme that had both", "Water.tsk", true, true, true, 0},
        {"only a Start picture", "WaterStart.tsk", false, true, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW(kTodayImage);
        DeleteFileW(kStartImage);
        if (c.oldPictures) {
            LeaveOldPictures();
        }
        SetCurrentTheme("\\Old.cab", 7);
        const WideString package = Package(TEXT("Theme.tsk"), c.package);

        EXPECT_EQ(InstallTodayTheme(package.c_str()), TRUE);

        EXPECT_EQ(UseStartImage(), c.useStartImage);
        EXPECT_EQ(kit::PathExists(kTodayImage), c.hasTodayImage);
        EXPECT_EQ(kit::PathExists(kStartImage), c.hasStartImage);
    }
}

TEST_F(TodayTheme, AHangingInstallerIsGivenTenSecondsThenTheThemeIsRecorded) {
    kit::InstallStuckInstaller();
    const WideString package = Package(TEXT("Stuck.tsk"), "WaterToday.tsk");
    const DWORD start = GetTickCount();

    EXPECT_EQ(InstallTodayTheme(package.c_str()), TRUE);

    EXPECT_TRUE(kit::PausedFor(start, 10000));
    EXPECT_EQ(Skin(), kit::Narrow(package));
    EXPECT_FALSE(kit::PathExists(kTodayImage)) << "it stuck before installing anything";
    EXPECT_EQ(UseStartImage(), 1u);
    EXPECT_EQ(SignificantAttributes(kit::Attributes(package)), 0u);
    const std::vector<kit::Delivery> changes = SettingsChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_GE(changes[0].tick + 20, start + 10000) << "told after the wait, not before";
}

TEST_F(TodayTheme, AnInstallerThatCannotStartLeavesTheSettingsAlone) {
    // No \Windows\WCELOAD.EXE on this device.
    SetCurrentTheme("\\Old.cab", 0);
    LeaveOldPictures();
    const WideString package = Package(TEXT("Theme.tsk"), "WaterToday.tsk", FILE_ATTRIBUTE_HIDDEN);

    EXPECT_EQ(InstallTodayTheme(package.c_str()), FALSE);

    EXPECT_EQ(Skin(), "\\Old.cab");
    EXPECT_EQ(UseStartImage(), 0u);
    EXPECT_TRUE(SettingsChanges().empty());
    // What the steps before the start left behind.
    EXPECT_EQ(SignificantAttributes(kit::Attributes(package)),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(kit::PathExists(kTodayImage));
    EXPECT_FALSE(kit::PathExists(kStartImage));
}

TEST_F(TodayTheme, RefreshAsksTheShellToReloadWithoutWaiting) {
    EXPECT_NE(RefreshTodayScreen(), FALSE);

    // On the device the shell has not handled it yet; desktop Win32 sent it.
    EXPECT_EQ(kit::Deliveries(WM_WININICHANGE).size(), kInstallBroadcastIsSent ? 1u : 0u);
    const std::vector<kit::Delivery> changes = SettingsChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].sent, kInstallBroadcastIsSent);
}

// ---- Reading the current theme --------------------------------------------------------------

TEST_F(TodayTheme, ReadingTheCurrentThemeHonoursTheCapacity) {
    const WideString path30 = TEXT("\\Themes\\") + kit::Repeat(u't', 22);
    ASSERT_EQ(path30.size(), 30u);
    struct Case {
        const char* what;
        bool stored;
        WideString skin;
        DWORD capacity;
        BOOL result;
    };
    const Case cases[] = {
        {"30 characters in 31 units", true, path30, 31, TRUE},
        {"30 characters in 30 units", true, path30, 30, FALSE},
        {"259 characters in a path buffer", true, kit::Repeat(u'p', 259), 260, TRUE},
        {"260 characters: longer than any path", true, kit::Repeat(u'p', 260), 512, FALSE},
        {"the default theme", true, TEXT(""), 260, FALSE},
        {"no Skin value", false, TEXT(""), 260, FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.stored) {
            kit::SetString(HKEY_CURRENT_USER, kTodayKey, TEXT("Skin"), c.skin);
        } else {
            kit::DeleteKeyTree(HKEY_CURRENT_USER, kTodayKey);
            kit::CreateKey(HKEY_CURRENT_USER, kTodayKey);
        }
        WideString destination(512, u'#');

        EXPECT_EQ(ReadCurrentTodayTheme(&destination[0], c.capacity), c.result);

        const WideString expected =
            c.result ? c.skin + WideString(1, TEXT('\0')) + WideString(511 - c.skin.size(), u'#')
                     : WideString(512, u'#');
        EXPECT_EQ(destination, expected);
    }
}

TEST_F(TodayTheme, AfterAResetThereIsNoCurrentTheme) {
    SetCurrentTheme("\\Themes\\Water.cab", 0);
    WCHAR destination[MAX_PATH] = {u'#', 0};
    ASSERT_EQ(ReadCurrentTodayTheme(destination, MAX_PATH), TRUE);
    destination[0] = u'#';
    destination[1] = 0;

    ResetTodayTheme();

    EXPECT_EQ(ReadCurrentTodayTheme(destination, MAX_PATH), FALSE);
    EXPECT_EQ(WideString(destination), TEXT("#"));
}

// ---- Resetting ------------------------------------------------------------------------------

// Wine lists a key's values in name order, Windows and the device in the order they were
// stored; the names below trip a walk that passes over a value after a deletion in either order.
TEST_F(TodayTheme, ResetKeepsOnlyTheRestrictionColour) {
    struct Case {
        const char* what;
        bool colorKey;
        std::vector<WideString> values;  // in the order they are stored
        std::vector<WideString> kept;
    };
    const WideString longName = kit::Repeat(u'A', 260);
    const Case cases[] = {
        {"Restriction and three others",
         true,
         {TEXT("Background"), TEXT("Restriction"), TEXT("Text"), TEXT("Accent")},
         {TEXT("Restriction")}},
        {"Restriction in capitals",
         true,
         {TEXT("Accent"), TEXT("RESTRICTION"), TEXT("Text")},
         {TEXT("RESTRICTION")}},
        {"no Restriction", true, {TEXT("Background"), TEXT("Text")}, {}},
        {"no values", true, {}, {}},
        {"no colour key", false, {}, {}},
        {"a first name too long for the walk",
         true,
         {longName, TEXT("Background")},
         {longName, TEXT("Background")}},
    };
    std::size_t sends = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kit::DeleteKeyTree(HKEY_LOCAL_MACHINE, kColorKey);
        if (c.colorKey) {
            kit::CreateKey(HKEY_LOCAL_MACHINE, kColorKey);
        }
        DWORD colour = 0x00FF8800;
        for (const WideString& name : c.values) {
            kit::SetDword(HKEY_LOCAL_MACHINE, kColorKey, name.c_str(), colour++);
        }
        SetCurrentTheme("\\Themes\\Water.cab", 0);
        LeaveOldPictures();

        EXPECT_EQ(ResetTodayTheme(), 1) << "what the broadcast send returned";

        EXPECT_EQ(kit::ValueNames(HKEY_LOCAL_MACHINE, kColorKey), c.kept);
        EXPECT_EQ(kit::KeyExists(HKEY_LOCAL_MACHINE, kColorKey), c.colorKey);
        EXPECT_EQ(Skin(), "");
        EXPECT_EQ(UseStartImage(), 1u);
        EXPECT_FALSE(kit::PathExists(kTodayImage));
        EXPECT_FALSE(kit::PathExists(kStartImage));
        // Sent, not posted: handled before the reset returned.
        const std::vector<kit::Delivery> changes = kit::Deliveries(WM_WININICHANGE);
        ASSERT_EQ(changes.size(), ++sends);
        EXPECT_TRUE(changes.back().sent);
        EXPECT_EQ(changes.back().wParam, kTodaySettingsChanged);
        EXPECT_EQ(changes.back().lParam, 0);
    }
}

TEST_F(TodayTheme, ResetWithoutTodaySettingsStillClearsTheRest) {
    kit::DeleteKeyTree(HKEY_CURRENT_USER, kTodayKey);
    kit::SetDword(HKEY_LOCAL_MACHINE, kColorKey, TEXT("Background"), 0x00FF8800);
    LeaveOldPictures();

    EXPECT_EQ(ResetTodayTheme(), 1);

    EXPECT_FALSE(kit::KeyExists(HKEY_CURRENT_USER, kTodayKey)) << "no key is created";
    EXPECT_TRUE(kit::ValueNames(HKEY_LOCAL_MACHINE, kColorKey).empty());
    EXPECT_FALSE(kit::PathExists(kTodayImage));
    EXPECT_FALSE(kit::PathExists(kStartImage));
    EXPECT_EQ(kit::Deliveries(WM_WININICHANGE).size(), 1u);
}

TEST_F(TodayTheme, ResetStepsOverAColourThatWillNotGo) {
    kit::SetDword(HKEY_LOCAL_MACHINE, kColorKey, TEXT("Restriction"), 1);
    kit::SetDword(HKEY_LOCAL_MACHINE, kColorKey, TEXT("Background"), 0x00FF8800);
    kit::RefuseNextValueDeletion(HKEY_LOCAL_MACHINE, kColorKey);

    EXPECT_EQ(ResetTodayTheme(), 1) << "the walk ended";

    const std::vector<WideString> names = kit::ValueNames(HKEY_LOCAL_MACHINE, kColorKey);
    EXPECT_NE(std::find(names.begin(), names.end(), TEXT("Background")), names.end())
        << "the refused value was not fetched again";
    EXPECT_EQ(kit::Deliveries(WM_WININICHANGE).size(), 1u);
}

}  // namespace
