// The stand-in CE installer on its own terms: packages built here from .inf text by the package
// builder, a setup library whose hooks answer as a case asks, and what the device holds after
// an install, an install undone and a removal.
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "builder/package_builder.h"
#include "kit/programs.h"
#include "sim.h"
#include "standin/cab_installer.h"

namespace {

const char kInf[] =
    "[Version]\n"
    "Signature=\"$Windows NT$\"\n"
    "CESignature=\"$Windows CE$\"\n"
    "Provider=\"Ternwick\"\n"
    "[CEStrings]\n"
    "AppName=\"Sample\"\n"
    "InstallDir=%CE1%\\%AppName%\n"
    "[CEDevice]\n"
    "ProcessorType=2577\n"
    "VersionMin=3.0\n"
    "[DefaultInstall]\n"
    "CopyFiles=Files\n"
    "AddReg=Reg\n"
    "CEShortcuts=Links\n"
    "CESetupDLL=Setup.dll\n"
    "[SourceDisksNames]\n"
    "1=,\"Files\",,.\n"
    "[SourceDisksFiles]\n"
    "Sample.exe=1\n"
    "Notes.txt=1\n"
    "Setup.dll=1\n"
    "[DestinationDirs]\n"
    "Files=0,%InstallDir%\n"
    "Links=0,%CE11%\n"
    "DefaultDestDir=0,%InstallDir%\n"
    "[Files]\n"
    "\"Sample.exe\",,,0\n"
    "\"Notes.txt\",,,0x00000010\n"
    "[Reg]\n"
    "HKLM,Software\\Ternwick\\Sample,Folder,0x00000000,%InstallDir%\\Data\n"
    "HKLM,Software\\Ternwick\\Sample,Count,0x00010001,7\n"
    "[Links]\n"
    "Sample,0,Sample.exe\n";

const WideString kPackage = TEXT("\\My Documents\\Sample.cab");
const WideString kInstallDir = TEXT("\\Program Files\\Sample");
const WCHAR* const kValuesKey = TEXT("Software\\Ternwick\\Sample");
const WCHAR* const kRecordKey = TEXT("Software\\Apps\\Ternwick Sample");

// The setup library's hooks as a case sets them: each call is noted, each answer chosen.
struct Hooks {
    std::vector<std::string> calls;
    int installInit = codeINSTALL_INIT_CONTINUE;
    int installExit = codeINSTALL_EXIT_DONE;
    int uninstallInit = codeUNINSTALL_INIT_CONTINUE;
};
Hooks& TheHooks() {
    static Hooks hooks;
    return hooks;
}

codeINSTALL_INIT FakeInstallInit(HWND, BOOL first, BOOL previously, LPCWSTR folder) {
    TheHooks().calls.push_back("Install_Init " + std::to_string(first) + " " +
                               std::to_string(previously) + " " + kit::Narrow(folder));
    return static_cast<codeINSTALL_INIT>(TheHooks().installInit);
}
codeINSTALL_EXIT FakeInstallExit(HWND, LPCWSTR folder, WORD dirs, WORD files, WORD keys,
                                 WORD values, WORD links) {
    TheHooks().calls.push_back("Install_Exit " + kit::Narrow(folder) + " " + std::to_string(dirs) +
                               std::to_string(files) + std::to_string(keys) +
                               std::to_string(values) + std::to_string(links));
    return static_cast<codeINSTALL_EXIT>(TheHooks().installExit);
}
codeUNINSTALL_INIT FakeUninstallInit(HWND, LPCWSTR folder) {
    TheHooks().calls.push_back("Uninstall_Init " + kit::Narrow(folder));
    return static_cast<codeUNINSTALL_INIT>(TheHooks().uninstallInit);
}
codeUNINSTALL_EXIT FakeUninstallExit(HWND) {
    TheHooks().calls.push_back("Uninstall_Exit");
    return codeUNINSTALL_EXIT_DONE;
}

bool LoadFake(LPCWSTR path, SetupHooks& hooks, void*& token) {
    TheHooks().calls.push_back("load " + kit::Narrow(path));
    hooks = {FakeInstallInit, FakeInstallExit, FakeUninstallInit, FakeUninstallExit};
    token = nullptr;
    return true;
}
void UnloadFake(void* /*token*/) {
    TheHooks().calls.push_back("unload");
}
const SetupLibraryLoader kFakeLibrary{LoadFake, UnloadFake};

std::string Edited(std::string text,
                   const std::vector<std::pair<std::string, std::string>>& edits) {
    for (const auto& [from, to] : edits) {
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) {
            text.replace(at, from.size(), to);
        }
    }
    return text;
}

class Installer : public kit::DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        TheHooks() = Hooks();
        kit::MakeFolders(TEXT("\\My Documents"));
        kit::MakeFolders(TEXT("\\Windows\\Start Menu\\Programs"));
        kit::MakeFolders(TEXT("\\Program Files"));
        kit::CreateKey(HKEY_LOCAL_MACHINE, TEXT("Software"));
        sim::RegisterProgram(kit::kInstallerPath, [](const WideString& commandLine) {
            return RunCabInstaller(commandLine.c_str(), kFakeLibrary);
        });
        sim::RegisterProgram(kit::kUnloadPath, [](const WideString& commandLine) {
            return RunUnload(commandLine.c_str(), kFakeLibrary);
        });
        kit::MakeFile(kit::kInstallerPath, "WCELOAD");
        kit::MakeFile(kit::kUnloadPath, "unload");
        char folder[] = "/tmp/installer-test-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        for (const char* file : {"Sample.exe", "Notes.txt", "Setup.dll"}) {
            std::ofstream(folder_ + "/" + file) << file << " bytes";
        }
    }
    void TearDown() override {
        for (const char* file : {"Sample.exe", "Notes.txt", "Setup.dll", "Sample.inf", "p.cab"}) {
            unlink((folder_ + "/" + file).c_str());
        }
        rmdir(folder_.c_str());
        DeviceTest::TearDown();
    }

    // The package the builder makes of `inf`, as bytes.
    std::string Built(const std::string& inf) {
        std::ofstream(folder_ + "/Sample.inf") << inf;
        package_builder::Options options;
        options.inf = folder_ + "/Sample.inf";
        options.output = folder_ + "/p.cab";
        std::string error;
        EXPECT_TRUE(package_builder::BuildPackage(options, error)) << error;
        std::ifstream stream(options.output, std::ios::binary);
        return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    }
    void Put(const std::string& bytes) { kit::MakeFile(kPackage, bytes); }
    static DWORD Install(const WCHAR* switches = TEXT("/noui")) {
        return kit::RunInstaller(WideString(switches) + TEXT(" \"") + kPackage + TEXT("\""));
    }
    static DWORD Remove() { return kit::RunUnload(TEXT("Ternwick Sample")); }
    static bool Recorded() {
        return kit::GetValue(HKEY_LOCAL_MACHINE, kRecordKey, TEXT("Instl")).present;
    }
    // Whatever the package puts on the device, gone or there.
    static void ExpectInstalled(bool installed, const std::string& row = "") {
        EXPECT_EQ(kit::PathExists(kInstallDir + TEXT("\\Sample.exe")), installed) << row;
        EXPECT_EQ(kit::PathExists(TEXT("\\Windows\\Start Menu\\Programs\\Sample.lnk")), installed)
            << row;
        EXPECT_EQ(kit::GetValue(HKEY_LOCAL_MACHINE, kValuesKey, TEXT("Count")).present, installed)
            << row;
    }

    std::string folder_;
};

TEST_F(Installer, PackagesItCannotOrMayNotInstallAreRefusedAndNothingIsTouched) {
    const std::string good = Built(kInf);
    // A cabinet's data blocks carry checksums; 0 says "none", so a changed byte reaches the reader.
    const auto unchecked = [&good](std::size_t at, const std::string& bytes) {
        std::string changed = good;
        const std::size_t data = static_cast<unsigned char>(good[36]) |
                                 static_cast<std::size_t>(static_cast<unsigned char>(good[37]))
                                     << 8;
        changed.replace(data, 4, std::string(4, '\0'));
        changed.replace(data + 8 + at, bytes.size(), bytes);
        return changed;
    };
    std::string unnamed = good;
    unnamed.replace(unnamed.find("SAMPLE.000"), 10, "SAMPLE.00X");
    struct Case {
        const char* what;
        std::string package;  // empty: no file
        const WCHAR* switches;
        DWORD result;
        std::string error;
    };
    const Case cases[] = {
        {"no package", "", TEXT("/noui"), kInstallerNoPackage, "the package cannot be opened"},
        {"no cabinet", std::string(200, 'x'), TEXT("/noui"), kInstallerNoPackage,
         "the package is no cabinet"},
        {"a cabinet cut short", good.substr(0, good.size() - 100), TEXT("/noui"),
         kInstallerNoPackage, "the package's member 00SAMPLE.000 cannot be read to its end"},
        {"no .000", unnamed, TEXT("/noui"), kInstallerNoPackage,
         "the package has no .000 member: it is a cabinet, but no CE package"},
        {"a damaged .000", unchecked(8, std::string(4, '\x7f')), TEXT("/noui"), kInstallerNoPackage,
         "00SAMPLE.000 at 8: "},
        {"another processor", Built(Edited(kInf, {{"2577", "4000"}})), TEXT("/noui"),
         kInstallerRefused, "the package is for processor 4000, and this device's is 2577"},
        {"a later CE", Built(Edited(kInf, {{"VersionMin=3.0", "VersionMin=4.20"}})), TEXT("/noui"),
         kInstallerRefused, "the package needs Windows CE 4.20 or later, and this device runs 3.0"},
        {"an earlier CE", Built(Edited(kInf, {{"VersionMin=3.0", "VersionMax=2.11"}})),
         TEXT("/noui"), kInstallerRefused,
         "the package is for Windows CE up to 2.11, and this device runs 3.0"},
        {"a later build", Built(Edited(kInf, {{"VersionMin=3.0", "BuildMin=20000"}})),
         TEXT("/noui"), kInstallerRefused, "the package is not for build 11171"},
        {"not for Pocket PC",
         Built(Edited(kInf, {{"VersionMin=3.0", "UnsupportedPlatforms=\"PocketPC\""}})),
         TEXT("/noui"), kInstallerRefused, "the package is not for the PocketPC platform"},
        {"programs under /safe", good, TEXT("/safe /noui"), kInstallerRefused,
         "it carries programs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW(kPackage.c_str());
        if (!c.package.empty()) {
            Put(c.package);
        }
        EXPECT_EQ(Install(c.switches), c.result);
        const std::string error = kit::LastInstallerStart().error;
        EXPECT_EQ(error.substr(0, c.error.size()), c.error) << error;
        EXPECT_TRUE(TheHooks().calls.empty()) << "the setup library was loaded";
        ExpectInstalled(false);
        EXPECT_FALSE(Recorded());
        EXPECT_TRUE(kit::Boxes().empty()) << "/noui asks nothing";
    }

    // Without /noui the user is told.
    Put(Built(Edited(kInf, {{"2577", "4000"}})));
    EXPECT_EQ(Install(TEXT("")), kInstallerRefused);
    ASSERT_EQ(kit::Boxes().size(), 1u);
    EXPECT_EQ(kit::Narrow(kit::Boxes()[0].text),
              "\\My Documents\\Sample.cab cannot be installed: the package is for processor "
              "4000, and this device's is 2577.");
}

TEST_F(Installer, InstallsInOrderWithTheValuesExpandedAndRemovesExactlyThat) {
    Put(Built(kInf));
    kit::MakeFolders(kInstallDir);
    kit::MakeFile(kInstallDir + TEXT("\\Notes.txt"), "the user's notes");  // never overwritten
    kit::MakeFile(kInstallDir + TEXT("\\Saved.dat"), "the application's own");

    EXPECT_EQ(Install(), kInstallerDone) << kit::LastInstallerStart().error;

    const std::string running = "load \\Windows\\AppMgr\\Ternwick Sample.installing.dll";
    const std::string kept = "load \\Windows\\AppMgr\\Ternwick Sample.dll";
    EXPECT_EQ(TheHooks().calls,
              (std::vector<std::string>{running, "Install_Init 1 0 \\Program Files\\Sample",
                                        "Install_Exit \\Program Files\\Sample 00000", "unload"}));
    ExpectInstalled(true);
    EXPECT_EQ(kit::ReadFileText(kInstallDir + TEXT("\\Notes.txt")), "the user's notes");
    const kit::StoredValue folder = kit::GetValue(HKEY_LOCAL_MACHINE, kValuesKey, TEXT("Folder"));
    EXPECT_EQ(kit::Narrow(reinterpret_cast<const WCHAR*>(folder.data.data())),
              "\\Program Files\\Sample\\Data");
    const kit::StoredValue count = kit::GetValue(HKEY_LOCAL_MACHINE, kValuesKey, TEXT("Count"));
    EXPECT_EQ(count.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(count.data, (std::vector<unsigned char>{7, 0, 0, 0}));
    EXPECT_TRUE(Recorded());
    EXPECT_FALSE(kit::PathExists(kPackage)) << "deleted once installed";

    // Installed again: the hooks hear so, and the failed file is counted.
    SetFileAttributesW((kInstallDir + TEXT("\\Sample.exe")).c_str(), FILE_ATTRIBUTE_READONLY);
    Put(Built(kInf));
    TheHooks().calls.clear();
    EXPECT_EQ(Install(TEXT("/noui /delete 0")), kInstallerIncomplete);
    EXPECT_EQ(TheHooks().calls[1], "Install_Init 1 1 \\Program Files\\Sample");
    EXPECT_EQ(TheHooks().calls[2], "Install_Exit \\Program Files\\Sample 01000");
    EXPECT_TRUE(kit::PathExists(kPackage)) << "/delete 0 keeps it";
    SetFileAttributesW((kInstallDir + TEXT("\\Sample.exe")).c_str(), FILE_ATTRIBUTE_NORMAL);

    TheHooks().calls.clear();
    EXPECT_EQ(Remove(), kInstallerDone);
    EXPECT_EQ(TheHooks().calls,
              (std::vector<std::string>{kept, "Uninstall_Init \\Program Files\\Sample",
                                        "Uninstall_Exit", "unload"}));
    ExpectInstalled(false);
    EXPECT_FALSE(kit::KeyExists(HKEY_LOCAL_MACHINE, TEXT("Software\\Ternwick")))
        << "keys it made go once empty";
    EXPECT_TRUE(kit::PathExists(kInstallDir + TEXT("\\Saved.dat")));
    EXPECT_TRUE(kit::PathExists(kInstallDir + TEXT("\\Notes.txt"))) << "it did not install it";
    EXPECT_FALSE(Recorded());
    EXPECT_FALSE(kit::PathExists(TEXT("\\Windows\\AppMgr\\Ternwick Sample.dll")));
    EXPECT_EQ(Remove(), kInstallerNotInstalled);
}

TEST_F(Installer, TheHooksAnswersAreActedOn) {
    struct Case {
        const char* what;
        int installInit, installExit;
        const WCHAR* switches;
        DWORD result;
        bool installed, recorded;
    };
    const Case cases[] = {
        {"Install_Init cancels", codeINSTALL_INIT_CANCEL, codeINSTALL_EXIT_DONE, TEXT("/noui"),
         kInstallerCancelled, false, false},
        {"Install_Exit asks to undo", codeINSTALL_INIT_CONTINUE, codeINSTALL_EXIT_UNINSTALL,
         TEXT("/noui"), kInstallerCancelled, false, false},
        {"/nouninstall", codeINSTALL_INIT_CONTINUE, codeINSTALL_EXIT_DONE,
         TEXT("/noui /nouninstall"), kInstallerDone, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Put(Built(kInf));
        TheHooks().installInit = c.installInit;
        TheHooks().installExit = c.installExit;
        EXPECT_EQ(Install(c.switches), c.result);
        ExpectInstalled(c.installed);
        EXPECT_EQ(kit::PathExists(kInstallDir), c.installed) << "the folder it made goes too";
        EXPECT_EQ(Recorded(), c.recorded);
        EXPECT_EQ(kit::PathExists(TEXT("\\Windows\\AppMgr\\Ternwick Sample.dll")), c.recorded);
        EXPECT_EQ(TheHooks().calls.back(), "unload");
        kit::DeleteKeyTree(HKEY_LOCAL_MACHINE, TEXT("Software\\Ternwick"));
        RemoveDirectoryW(kInstallDir.c_str());
    }

    // A reinstallation that Install_Init cancels leaves the earlier one as it was, and removal
    // that Uninstall_Init cancels takes nothing away.
    Put(Built(kInf));
    TheHooks() = Hooks();
    ASSERT_EQ(Install(), kInstallerDone);
    Put(Built(kInf));
    TheHooks().installInit = codeINSTALL_INIT_CANCEL;
    EXPECT_EQ(Install(), kInstallerCancelled);
    EXPECT_TRUE(kit::PathExists(TEXT("\\Windows\\AppMgr\\Ternwick Sample.dll")));
    TheHooks().uninstallInit = codeUNINSTALL_INIT_CANCEL;
    EXPECT_EQ(Remove(), kInstallerCancelled);
    ExpectInstalled(true);
    EXPECT_TRUE(Recorded());
}

TEST_F(Installer, WhatARemovalCannotTakeAwayStaysListedForAnotherTry) {
    Put(Built(kInf));
    ASSERT_EQ(Install(), kInstallerDone);
    const WideString program = kInstallDir + TEXT("\\Sample.exe");
    SetFileAttributesW(program.c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_EQ(Remove(), kInstallerIncomplete);
    EXPECT_EQ(kit::LastInstallerStart().error, "1 installed part could not be removed");
    EXPECT_TRUE(kit::PathExists(program));
    EXPECT_FALSE(kit::PathExists(TEXT("\\Windows\\Start Menu\\Programs\\Sample.lnk")));
    EXPECT_TRUE(Recorded());

    SetFileAttributesW(program.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Remove(), kInstallerDone);
    EXPECT_FALSE(kit::PathExists(kInstallDir));
    EXPECT_FALSE(Recorded());
}

}  // namespace
