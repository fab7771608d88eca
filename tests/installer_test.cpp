// The stand-in CE installer on its own terms: packages built here from .inf text by the package
// builder (some then damaged in place), a setup library whose hooks answer as a case asks, and
// what the device holds after an install, an install undone, an upgrade and a removal.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "builder/package_builder.h"
#include "cabinet_edit.h"
#include "kit/programs.h"
#include "pe_edit.h"
#include "sim.h"
#include "standin/cab_installer.h"

namespace {

using cabinet_edit::Get;

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
    "CopyFiles=Files,Extra\n"
    "AddReg=Reg\n"
    "CEShortcuts=Links\n"
    "CESetupDLL=Setup.dll\n"
    "[SourceDisksNames]\n"
    "1=,\"Files\",,.\n"
    "[SourceDisksFiles]\n"
    "Sample.exe=1\n"
    "Notes.txt=1\n"
    "Setup.dll=1\n"
    "Extra.txt=1\n"
    "[DestinationDirs]\n"
    "Files=0,%InstallDir%\n"
    "Extra=0,%InstallDir%\\Data\n"
    "Links=0,%CE11%\n"
    "DefaultDestDir=0,%InstallDir%\n"
    "[Files]\n"
    "\"Sample.exe\",,,0\n"
    "\"Notes.txt\",,,0x00000010\n"
    "[Extra]\n"
    "\"Extra.txt\",,,0x00000400\n"
    "[Reg]\n"
    "HKLM,Software\\Ternwick\\Sample,Folder,0x00000000,%InstallDir%\\Data\n"
    "HKLM,Software\\Ternwick\\Sample,Count,0x00010001,7\n"
    "[Links]\n"
    "Sample,0,Sample.exe\n"
    "Sample Folder,1,%InstallDir%\n";

const WideString kPackage = TEXT("\\My Documents\\Sample.cab");
const WideString kInstallDir = TEXT("\\Program Files\\Sample");
const WideString kProgram = kInstallDir + TEXT("\\Sample.exe");
const WideString kNotes = kInstallDir + TEXT("\\Notes.txt");
const WideString kLink = TEXT("\\Windows\\Start Menu\\Programs\\Sample.lnk");
const WCHAR* const kValuesKey = TEXT("Software\\Ternwick\\Sample");
const WCHAR* const kRecordKey = TEXT("Software\\Apps\\Ternwick Sample");
const WideString kRemovalRecord = TEXT("\\Windows\\Ternwick Sample.unload");
const WideString kKeptLibrary = TEXT("\\Windows\\AppMgr\\Ternwick Sample.dll");
const WideString kKeptInstructions = TEXT("\\Windows\\AppMgr\\Ternwick Sample.dat");
const std::string kRunning = "load \\Windows\\AppMgr\\Ternwick Sample.installing.dll";
const std::string kKept = "load \\Windows\\AppMgr\\Ternwick Sample.dll";
// The date the builder gives every member, 1 January 2001, noon (UTC), as a Unix time.
constexpr std::time_t kMemberTime = 978350400;

// The setup library's hooks as a case sets them: each call is noted, each answer chosen, and a
// case may act on the device as Install_Init runs (after the checks, before the copying).
struct Hooks {
    std::vector<std::string> calls;
    int installInit = codeINSTALL_INIT_CONTINUE;
    int installExit = codeINSTALL_EXIT_DONE;
    int uninstallInit = codeUNINSTALL_INIT_CONTINUE;
    std::function<void()> duringInstallInit;
};
Hooks& TheHooks() {
    static Hooks hooks;
    return hooks;
}

codeINSTALL_INIT FakeInstallInit(HWND, BOOL first, BOOL previously, LPCWSTR folder) {
    TheHooks().calls.push_back("Install_Init " + std::to_string(first) + " " +
                               std::to_string(previously) + " " + kit::Narrow(folder));
    if (TheHooks().duringInstallInit) {
        TheHooks().duringInstallInit();
    }
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

std::string HostFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

// The device file's last-write time, set on the file that holds it.
void SetWritten(const WideString& path, std::time_t when) {
    std::string host = sim::FileSystemRoot();
    for (const WCHAR unit : path) {
        host += unit == TEXT('\\') ? '/' : static_cast<char>(unit);
    }
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, host.c_str(), times, 0), 0) << host;
}

std::string Text(const kit::StoredValue& value) {
    return value.present ? kit::Narrow(reinterpret_cast<const WCHAR*>(value.data.data()))
                         : "<none>";
}

class Installer : public kit::DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        char folder[] = "/tmp/installer-test-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        for (const char* file : {"Sample.exe", "Notes.txt", "Extra.txt"}) {
            std::ofstream(folder_ + "/" + file) << file << " bytes";
        }
        // A setup library the device can load: the device build's own.
        setupLibrary_ = HostFile(WRENFOLD_PACKAGE_SETUP_LIBRARY);
        ASSERT_FALSE(setupLibrary_.empty()) << WRENFOLD_PACKAGE_SETUP_LIBRARY;
        Fresh();
    }
    void TearDown() override {
        for (const char* file :
             {"Sample.exe", "Notes.txt", "Extra.txt", "Setup.dll", "Sample.inf", "p.cab"}) {
            unlink((folder_ + "/" + file).c_str());
        }
        rmdir(folder_.c_str());
        DeviceTest::TearDown();
    }
    // A fresh device with the installer on it, as each case begins (and a row may begin again).
    static void Fresh() {
        kit::ResetWorld();
        TheHooks() = Hooks();
        kit::MakeFolders(TEXT("\\My Documents"));
        kit::MakeFolders(TEXT("\\Windows\\Start Menu\\Programs"));
        kit::MakeFolders(TEXT("\\Program Files"));
        kit::CreateKey(HKEY_LOCAL_MACHINE, TEXT("Software"));
        kit::InstallStandInInstaller(&kFakeLibrary);
    }

    // The package the builder makes of `inf` (with the given setup library), as bytes.
    std::string Built(const std::string& inf, const std::string* library = nullptr) {
        std::ofstream(folder_ + "/Sample.inf") << inf;
        std::ofstream(folder_ + "/Setup.dll", std::ios::binary)
            << (library != nullptr ? *library : setupLibrary_);
        package_builder::Options options;
        options.inf = folder_ + "/Sample.inf";
        options.output = folder_ + "/p.cab";
        std::string error;
        EXPECT_TRUE(package_builder::BuildPackage(options, error)) << error;
        return HostFile(options.output);
    }
    void Put(const std::string& bytes) { kit::MakeFile(kPackage, bytes); }
    static DWORD Install(const WCHAR* switches = TEXT("/noui")) {
        return kit::RunInstaller(WideString(switches) + TEXT(" \"") + kPackage + TEXT("\""));
    }
    static DWORD Remove(const WCHAR* name = TEXT("Ternwick Sample")) {
        return kit::RunUnload(name);
    }
    static std::string Error() { return kit::LastInstallerStart().error; }
    static bool Recorded() {
        return kit::GetValue(HKEY_LOCAL_MACHINE, kRecordKey, TEXT("Instl")).present;
    }
    // Whatever the package puts on the device, gone or there.
    static void ExpectInstalled(bool installed, const std::string& row = "") {
        EXPECT_EQ(kit::PathExists(kProgram), installed) << row;
        EXPECT_EQ(kit::PathExists(kLink), installed) << row;
        EXPECT_EQ(kit::GetValue(HKEY_LOCAL_MACHINE, kValuesKey, TEXT("Count")).present, installed)
            << row;
    }
    // Nothing of the package, nor any record of it.
    static void ExpectNothingLeft(const std::string& row = "") {
        ExpectInstalled(false, row);
        EXPECT_FALSE(kit::PathExists(kInstallDir)) << row;
        EXPECT_FALSE(kit::KeyExists(HKEY_LOCAL_MACHINE, TEXT("Software\\Ternwick"))) << row;
        EXPECT_FALSE(kit::KeyExists(HKEY_LOCAL_MACHINE, kRecordKey)) << row;
        for (const WideString& record : {kRemovalRecord, kKeptLibrary, kKeptInstructions}) {
            EXPECT_FALSE(kit::PathExists(record)) << row << ": " << kit::Narrow(record);
        }
    }
    // What the box texts were since the last look.
    static std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const kit::Box& box : kit::Boxes()) {
            texts.push_back(kit::Narrow(box.caption) + "|" + kit::Narrow(box.text));
        }
        return texts;
    }

    std::string folder_;
    std::string setupLibrary_;
};

// ---- Damaged packages ------------------------------------------------------------------------

// The .000's header and a table's start, as the format places them.
std::size_t Table(const std::string& instructions, int table) {
    return Get(instructions, 60 + 4 * static_cast<std::size_t>(table), 4);
}

// The built package with the .000 field at `at` (from the start of the .000) set to `value`.
std::string WithInstructionField(std::string cabinet, std::size_t at, std::uint32_t value,
                                 int width) {
    std::string field(static_cast<std::size_t>(width), '\0');
    cabinet_edit::Put(field, 0, value, width);
    cabinet_edit::ChangeMember(cabinet, 0, at, field);
    return cabinet;
}

std::string WithLibraryField(std::string cabinet, std::size_t at, std::uint32_t value, int width) {
    std::string field(static_cast<std::size_t>(width), '\0');
    cabinet_edit::Put(field, 0, value, width);
    cabinet_edit::ChangeMember(cabinet, 999, at, field);
    return cabinet;
}

// Every package the format forbids, or that cannot be read, is refused with its reason before
// any hook runs or any file is written, and deleted all the same; every one it allows is
// installed whole and removed whole.
TEST_F(Installer, EachDamagedPackageIsRefusedOrInstalledWhole) {
    const std::string good = Built(kInf);
    const std::string instructions = cabinet_edit::Member(good, 0);
    const std::string library = cabinet_edit::Member(good, 999);
    const std::size_t peHeader = Get(library, 0x3C, 4);
    const pe_edit::Bytes pe(library.begin(), library.end());
    const pe_edit::ExportDirectory exports = pe_edit::FindExportDirectory(pe);
    const std::string text = "not a library";
    const std::string empty;
    std::string sameNumber = good;
    cabinet_edit::RenameMember(sameNumber, 2, "000NOTES.001");
    std::string folderPart = good;
    cabinet_edit::RenameMember(folderPart, 1, "0\\SAMPLE.001");
    std::string climbing = good;
    cabinet_edit::RenameMember(climbing, 1, "..SAMPLE.001");
    std::string noMember = good;
    cabinet_edit::RenameMember(noMember, 2, "000NOTES.004");
    std::string unnamed = good;
    cabinet_edit::RenameMember(unnamed, 0, "00SAMPLE.00X");
    std::string climbingFile = good;
    const std::size_t fileName = instructions.find("Sample.exe");
    cabinet_edit::ChangeMember(climbingFile, 0, fileName, "..\\Win.exe");
    std::string climbingFolder = good;
    cabinet_edit::ChangeMember(
        climbingFolder, 0, instructions.find(std::string("Sample\0", 7), Table(instructions, 0)),
        std::string("..\0\0\0\0\0", 7));
    std::string slashed = good;  // "/" parts a path wherever Win32 reads it
    cabinet_edit::ChangeMember(
        slashed, 0, instructions.find(std::string("Sample\0", 7), Table(instructions, 0)),
        std::string("../..\0\0", 7));
    std::string dataChanged = good;
    dataChanged.at(Get(good, 36, 4) + 8 + 200) ^= 1;
    std::string longer = good;
    const std::size_t lastEntry = cabinet_edit::FileEntry(good, 1);
    cabinet_edit::Put(longer, lastEntry, Get(good, lastEntry, 4) + 1, 4);
    std::string unusual = good;
    for (const std::size_t word : {4, 12, 16, 96}) {
        unusual = WithInstructionField(unusual, word, 5, 4);
    }
    unusual = WithInstructionField(unusual, Table(instructions, 2) + 4, 9, 2);  // a file's id again
    unusual = WithInstructionField(unusual, Table(instructions, 3) + 4, 9, 2);  // a hive's third
    const auto size = static_cast<std::uint32_t>(good.size());
    const auto withSize = [&good](std::uint32_t said) {
        std::string changed = good;
        cabinet_edit::Put(changed, 8, said, 4);
        return changed;
    };
    struct Row {
        const char* what;
        std::string package;  // empty: no file
        DWORD result;
        std::string error;
    };
    const Row rows[] = {
        {"no package", "", kInstallerNoPackage, "the package cannot be opened"},
        {"no cabinet", std::string(200, 'x'), kInstallerNoPackage, "the package is no cabinet"},
        {"a cabinet cut short", good.substr(0, size - 100), kInstallerNoPackage,
         "the package's member 00SAMPLE.000 cannot be read to its end"},
        {"a data block failing its checksum", dataChanged, kInstallerNoPackage,
         "the package's member 00SAMPLE.000 fails its checksum"},
        {"a member longer than its data", longer, kInstallerNoPackage,
         "the package's member 00SAMPLE.001"},
        {"a size field one byte short", withSize(size - 1), kInstallerNoPackage,
         "the cabinet says it is " + std::to_string(size - 1) + " bytes, and the file has " +
             std::to_string(size)},
        {"a size field one byte long", withSize(size + 1), kInstallerNoPackage,
         "the cabinet says it is " + std::to_string(size + 1) + " bytes, and the file has " +
             std::to_string(size)},
        {"two members with one number", sameNumber, kInstallerNoPackage,
         "the package's members 000NOTES.001 and 00SAMPLE.001 have one number"},
        {"a member name with a folder part", folderPart, kInstallerNoPackage,
         "the package's member 0\\SAMPLE.001 has a folder part"},
        {"a member name with ..", climbing, kInstallerNoPackage,
         "the package's member ..SAMPLE.001 has a folder part"},
        {"no .000", unnamed, kInstallerNoPackage,
         "the package has no .000 member: it is a cabinet, but no CE package"},
        {"a damaged .000", WithInstructionField(good, 8, 7, 4), kInstallerNoPackage,
         "00SAMPLE.000 at 8: "},
        {"a file without its member", noMember, kInstallerNoPackage,
         "the package's file Notes.txt has no member .2"},
        {"a file named with a folder part", climbingFile, kInstallerNoPackage,
         "file 1's name ..\\Win.exe is no plain file name"},
        {"a folder climbing out", climbingFolder, kInstallerNoPackage,
         "the install folder \\Program Files\\.. climbs out of its folder"},
        {"a folder climbing out past a slash", slashed, kInstallerNoPackage,
         "the install folder \\Program Files\\../.. climbs out of its folder"},
        {"a setup library of text", Built(kInf, &text), kInstallerNoPackage,
         "its setup library is not a PE file"},
        {"an empty setup library", Built(kInf, &empty), kInstallerNoPackage,
         "its setup library is not a PE file"},
        {"a setup library for another processor", WithLibraryField(good, peHeader + 4, 0x14C, 2),
         kInstallerNoPackage,
         "its setup library is for machine 0x014C, and this device's processor 2577 runs 0x01C0"},
        {"a setup library that is no DLL",
         WithLibraryField(good, peHeader + 22, Get(library, peHeader + 22, 2) & ~0x2000u, 2),
         kInstallerNoPackage, "its setup library is no DLL"},
        {"a setup library without Install_Exit",
         [&] {
             std::string changed = good;
             cabinet_edit::ChangeMember(changed, 999, library.find("Install_Exit"), "Install_Exix");
             return changed;
         }(),
         kInstallerNoPackage, "its setup library does not export Install_Exit"},
        // The export table's bounds, as the device's loader holds them, each just passed.
        {"a setup library exporting an address at its image's end",
         WithLibraryField(good, pe_edit::InFile(pe, exports, exports.directory + 28),
                          pe_edit::ImageSize(pe), 4),
         kInstallerNoPackage, "its setup library has damaged export table"},
        {"a setup library naming an ordinal past its functions",
         WithLibraryField(good, exports.directory + 20, pe_edit::LargestOrdinal(pe, exports), 4),
         kInstallerNoPackage, "its setup library has damaged export table"},
        // What the format allows is read.
        {"an empty unsupported list after the header", WithInstructionField(good, 92, 100, 4),
         kInstallerDone, ""},
        {"unusual values in usual fields", unusual, kInstallerDone, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TheHooks().calls.clear();
        if (!row.package.empty()) {
            Put(row.package);
        }
        EXPECT_EQ(Install(), row.result);
        EXPECT_EQ(Error().substr(0, row.error.size()), row.error) << Error();
        EXPECT_TRUE(kit::Boxes().empty()) << "/noui asks and tells nothing";
        EXPECT_FALSE(kit::PathExists(kPackage)) << "deleted after every outcome";
        if (row.result != kInstallerDone) {
            EXPECT_TRUE(TheHooks().calls.empty()) << "the setup library was loaded";
            ExpectNothingLeft(row.what);
            continue;
        }
        ExpectInstalled(true, row.what);
        EXPECT_EQ(Remove(), kInstallerDone) << Error();
        ExpectNothingLeft(row.what);
    }

    // Without /noui the user is told, in the device's words.
    Put(Built(kInf, &text));
    EXPECT_EQ(Install(TEXT("")), kInstallerNoPackage);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "Setup Failed|The file \"\\My Documents\\Sample.cab\" is not a valid "
                              "Windows CE Setup file."}));
}

// ---- The device the package is for -----------------------------------------------------------

// Each limit the package sets holds at its bound and refuses one past it; the device here is a
// StrongARM (2577) running CE build 11171, and its version is set per row.
TEST_F(Installer, EachProcessorVersionAndBuildLimitHoldsAtItsBound) {
    struct Row {
        const char* limit;  // the [CEDevice] line in place of VersionMin=3.0
        const char* processor;
        DWORD major, minor;  // the device's
        std::string error;   // "" when it installs
    };
    const Row rows[] = {
        {"VersionMin=3.0", "2577", 3, 0, ""},
        {"VersionMin=3.1", "2577", 3, 0,
         "the package needs Windows CE 3.1 or later, and this device runs 3.0"},
        {"VersionMin=4.0", "2577", 3, 99,
         "the package needs Windows CE 4.0 or later, and this device runs 3.99"},
        {"VersionMax=3.0", "2577", 3, 0, ""},
        {"VersionMax=3.0", "2577", 3, 1,
         "the package is for Windows CE up to 3.0, and this device runs 3.1"},
        {"VersionMax=3.99", "2577", 4, 0,
         "the package is for Windows CE up to 3.99, and this device runs 4.0"},
        {"BuildMin=11171", "2577", 3, 0, ""},
        {"BuildMin=11172", "2577", 3, 0, "the package is not for build 11171"},
        {"BuildMax=11171", "2577", 3, 0, ""},
        {"BuildMax=11170", "2577", 3, 0, "the package is not for build 11171"},
        {"VersionMin=3.0", "2578", 3, 0,
         "the package is for processor 2578, and this device's is 2577"},
        {"VersionMin=3.0", "2576", 3, 0,
         "the package is for processor 2576, and this device's is 2577"},
        {"VersionMin=3.0", "0", 3, 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.limit) + ", processor " + row.processor);
        sim::SetOsVersion(row.major, row.minor);
        Put(Built(Edited(kInf, {{"VersionMin=3.0", row.limit}, {"2577", row.processor}})));
        EXPECT_EQ(Install(), row.error.empty() ? kInstallerDone : kInstallerRefused);
        EXPECT_EQ(Error(), row.error);
        ExpectInstalled(row.error.empty());
        if (row.error.empty()) {
            EXPECT_EQ(Remove(), kInstallerDone);
        }
        ExpectNothingLeft();
    }
    // A package for another processor may not be installed under /safe either, nor may one that
    // carries programs.
    Put(Built(kInf));
    EXPECT_EQ(Install(TEXT("/safe /noui")), kInstallerRefused);
    EXPECT_EQ(Error(), "it carries programs");
    // Without /noui the user is told why.
    Put(Built(Edited(kInf, {{"2577", "4000"}})));
    EXPECT_EQ(Install(TEXT("")), kInstallerRefused);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "Installation Failed|\\My Documents\\Sample.cab cannot be installed: "
                              "the package is for processor 4000, and this device's is 2577."}));
    ExpectNothingLeft();
}

// A platform the package lists as unsupported is warned of and left to the user.
TEST_F(Installer, AnUnsupportedPlatformIsWarnedOfAndConfirmed) {
    const std::string package =
        Built(Edited(kInf, {{"VersionMin=3.0", "UnsupportedPlatforms=\"HPC\",\"PocketPC\""}}));
    const std::string warning =
        "Ternwick Sample|Ternwick Sample is not meant for the PocketPC platform. Install it all "
        "the same?";
    struct Row {
        const WCHAR* switches;
        int answer;
        DWORD result;
        std::vector<std::string> boxes;
    };
    const Row rows[] = {
        {TEXT(""), IDYES, kInstallerDone, {warning}},
        {TEXT(""), IDNO, kInstallerCancelled, {warning}},
        {TEXT("/noui"), IDNO, kInstallerDone, {}},
    };
    for (const Row& row : rows) {
        Fresh();
        kit::AnswerBoxesWith(row.answer);
        Put(package);
        EXPECT_EQ(Install(row.switches), row.result);
        EXPECT_EQ(BoxTexts(), row.boxes);
        ExpectInstalled(row.result == kInstallerDone);
        EXPECT_EQ(TheHooks().calls.empty(), row.result != kInstallerDone) << "asked first";
    }
}

// ---- What Install_Exit hears ----------------------------------------------------------------

// Each kind of part that fails is counted in its own place, and nothing else is; what was left
// is told to the user, part by part, and what was installed can be removed.
TEST_F(Installer, InstallExitCountsEachKindOfFailureInItsOwnPlace) {
    const std::string good = Built(kInf);
    const std::string hku = WithInstructionField(good, Table(cabinet_edit::Member(good, 0), 3) + 2,
                                                 4, 2);  // a root the device lacks
    const std::string registering = Built(Edited(kInf, {{",,,0x00000010", ",,,0x10000010"}}));
    struct Row {
        const char* what;
        std::string package;
        std::function<void()> arrange;  // before installing
        std::function<void()> during;   // as Install_Init runs, after the installer's own marks
        const char* counts;             // folders, files, keys, values, shortcuts
        std::string missed;
    };
    const auto nothing = [] {};
    const Row rows[] = {
        {"nothing", good, nothing, nothing, "00000", ""},
        {"a folder, which a file is in the way of", good,
         [] {
             kit::MakeFolders(kInstallDir);
             kit::MakeFile(kInstallDir + TEXT("\\Data"), "in the way");
         },
         nothing, "10000", "\\Program Files\\Sample\\Data"},
        {"a read-only file", good,
         [] {
             kit::MakeFolders(kInstallDir);
             kit::MakeFile(kProgram, "older", FILE_ATTRIBUTE_READONLY);
         },
         nothing, "01000", "\\Program Files\\Sample\\Sample.exe"},
        {"a file that will not register", registering, nothing, nothing, "01000",
         "\\Program Files\\Sample\\Notes.txt (not registered)"},
        {"a key and its two values", hku, nothing, nothing, "00120",
         "HKU\\Software\\Ternwick\\Sample\nHKU\\Software\\Ternwick\\Sample, Folder\n"
         "HKU\\Software\\Ternwick\\Sample, Count"},
        {"a value", good, nothing,
         [] { sim::FailNextRegistryCall(sim::RegistryCall::Set, ERROR_ACCESS_DENIED); }, "00010",
         "HKLM\\Software\\Ternwick\\Sample, Folder"},
        {"a shortcut, which a folder is in the way of", good, [] { kit::MakeFolder(kLink); },
         nothing, "00001", "\\Windows\\Start Menu\\Programs\\Sample.lnk"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Fresh();
        row.arrange();
        TheHooks().duringInstallInit = row.during;
        Put(row.package);
        EXPECT_EQ(Install(TEXT("")), row.missed.empty() ? kInstallerDone : kInstallerIncomplete);
        ASSERT_EQ(TheHooks().calls.size(), 4u);
        EXPECT_EQ(TheHooks().calls[2],
                  std::string("Install_Exit \\Program Files\\Sample ") + row.counts);
        const std::vector<std::string> told = {
            "Ternwick Sample|Ternwick Sample is installed, but not completely.\n\nNot "
            "installed:\n" +
            row.missed};
        EXPECT_EQ(BoxTexts(), row.missed.empty() ? std::vector<std::string>{} : told);
        EXPECT_TRUE(Recorded()) << "what was installed can be removed";
        EXPECT_FALSE(kit::PathExists(kPackage)) << "deleted all the same";
        EXPECT_EQ(Remove(), kInstallerDone) << Error();
        EXPECT_FALSE(Recorded());
    }
}

// ---- Copy and value flags -------------------------------------------------------------------

// Each copy flag on Notes.txt, over each state its target may be in: what the file holds after
// the installation, whether the installation counts it failed, and whether removal takes it.
TEST_F(Installer, EachCopyFlagActsOnItsFileAsItSays) {
    enum Target { kAbsent, kPresent, kReadOnly };
    struct Row {
        const char* flags;
        Target target;
        std::time_t written;  // the target's time, against the member's date
        const char* after;    // Notes.txt's content afterwards ("<missing>" when none)
        DWORD result;
    };
    const char* const kNew = "Notes.txt bytes";
    const char* const kOld = "the user's notes";
    const std::time_t kSecond = 1;
    const Row rows[] = {
        {"0", kAbsent, 0, kNew, kInstallerDone},
        {"0", kPresent, kMemberTime + 2 * kSecond, kNew, kInstallerDone},
        {"0x00000010", kAbsent, 0, kNew, kInstallerDone},
        {"0x00000010", kPresent, 0, kOld, kInstallerDone},
        {"0x00000400", kAbsent, 0, "<missing>", kInstallerDone},
        {"0x00000400", kPresent, 0, kNew, kInstallerDone},
        // Kept when newer, dates compared whole: to the second, and across days.
        {"0x20000000", kPresent, kMemberTime + 2 * kSecond, kOld, kInstallerDone},
        {"0x20000000", kPresent, kMemberTime, kNew, kInstallerDone},
        {"0x20000000", kPresent, kMemberTime - 2 * kSecond, kNew, kInstallerDone},
        {"0x20000000", kPresent, kMemberTime + 23 * 3600 * kSecond, kOld, kInstallerDone},
        {"0x20000000", kPresent, kMemberTime - 366 * 86400 * kSecond, kNew, kInstallerDone},
        {"0x20000000", kAbsent, 0, kNew, kInstallerDone},
        {"0x40000000", kPresent, kMemberTime + 2 * kSecond, kNew, kInstallerDone},
        {"0x60000000", kPresent, kMemberTime + 2 * kSecond, kNew, kInstallerDone},
        {"0x80000000", kAbsent, 0, kNew, kInstallerDone},
        {"0x00000001", kReadOnly, 0, kOld, kInstallerIncomplete},
        {"0x00000002", kReadOnly, 0, kOld, kInstallerUndone},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.flags) + ", target " + std::to_string(row.target));
        Fresh();
        if (row.target != kAbsent) {
            kit::MakeFolders(kInstallDir);
            kit::MakeFile(kNotes, kOld, row.target == kReadOnly ? FILE_ATTRIBUTE_READONLY : 0);
            if (row.written != 0) {
                SetWritten(kNotes, row.written);
            }
        }
        Put(Built(Edited(
            kInf, {{"\"Notes.txt\",,,0x00000010", std::string("\"Notes.txt\",,,") + row.flags}})));
        EXPECT_EQ(Install(), row.result) << Error();
        EXPECT_EQ(kit::ReadFileText(kNotes), row.after);
        const bool copied = row.after == std::string(kNew);
        if (row.result == kInstallerUndone) {
            EXPECT_EQ(Error(), "a file that may not be skipped could not be installed");
            EXPECT_EQ(TheHooks().calls,
                      (std::vector<std::string>{
                          kRunning, "Install_Init 1 0 \\Program Files\\Sample", "unload"}))
                << "undone before Install_Exit";
            ExpectInstalled(false);
            EXPECT_FALSE(Recorded());
            continue;
        }
        EXPECT_EQ(Remove(), kInstallerDone) << Error();
        EXPECT_EQ(kit::PathExists(kNotes), !copied && row.target != kAbsent)
            << "removal takes exactly what it copied";
    }

    // A file whose flags ask for a warning is warned of at once, unless /noui; the user is then
    // told what was left.
    Fresh();
    kit::MakeFolders(kInstallDir);
    kit::MakeFile(kNotes, kOld, FILE_ATTRIBUTE_READONLY);
    Put(Built(Edited(kInf, {{"\"Notes.txt\",,,0x00000010", "\"Notes.txt\",,,0x00000001"}})));
    EXPECT_EQ(Install(TEXT("")), kInstallerIncomplete);
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{
                  "Ternwick Sample|\\Program Files\\Sample\\Notes.txt could not be installed, and "
                  "is skipped.",
                  "Ternwick Sample|Ternwick Sample is installed, but not completely.\n\nNot "
                  "installed:\n\\Program Files\\Sample\\Notes.txt"}));
}

// A self-registering file is registered once copied and unregistered before it goes.
TEST_F(Installer, SelfRegisteringFilesAreRegisteredAndUnregistered) {
    sim::RegisterLibrary(kNotes.c_str(), {"DllRegisterServer", "DllUnregisterServer"});
    Put(Built(Edited(kInf, {{",,,0x00000010", ",,,0x10000000"}})));
    EXPECT_EQ(Install(), kInstallerDone) << Error();
    EXPECT_EQ(sim::ExportCalls(kNotes.c_str(), "DllRegisterServer"), 1);
    EXPECT_EQ(sim::ExportCalls(kNotes.c_str(), "DllUnregisterServer"), 0);
    EXPECT_EQ(Remove(), kInstallerDone);
    EXPECT_EQ(sim::ExportCalls(kNotes.c_str(), "DllUnregisterServer"), 1);
    EXPECT_EQ(sim::LibraryLoads(kNotes.c_str()), 2) << "each time let go again";
    ExpectNothingLeft();
}

// A shared file stays while another installed application records it, and goes with the last.
TEST_F(Installer, ASharedFileStaysWhileAnotherApplicationHasIt) {
    const std::string shared = "[DestinationDirs]\nShared=0,%CE2%\n";
    const auto package = [&](const char* name) {
        return Built(Edited(kInf, {{"AppName=\"Sample\"", std::string("AppName=\"") + name + "\""},
                                   {"CopyFiles=Files,Extra", "CopyFiles=Files,Shared"},
                                   {"[DestinationDirs]\n", shared},
                                   {"[Extra]\n", "[Shared]\n\"Extra.txt\",,,0x80000000\n[Extra]\n"},
                                   {"CESetupDLL=Setup.dll\n", ""}}));
    };
    const WideString file = TEXT("\\Windows\\Extra.txt");
    Put(package("Sample"));
    ASSERT_EQ(Install(), kInstallerDone) << Error();
    Put(package("Other"));
    ASSERT_EQ(Install(), kInstallerDone) << Error();
    EXPECT_EQ(Remove(), kInstallerDone);
    EXPECT_TRUE(kit::PathExists(file)) << "Ternwick Other has it";
    EXPECT_EQ(Remove(TEXT("Ternwick Other")), kInstallerDone);
    EXPECT_FALSE(kit::PathExists(file));
}

// Each value type, with and without "do not overwrite", over a value already there and none:
// the type and bytes stored, and whether removal takes the value (only what the package set).
TEST_F(Installer, EachValueTypeAndFlagIsStoredAsItSays) {
    struct Row {
        const char* line;  // the AddReg line in place of the Count value's
        DWORD type;
        std::vector<unsigned char> data;
        const WCHAR* name = TEXT("Count");
    };
    const std::vector<unsigned char> old = {'o', 0, 'l', 0, 'd', 0, 0, 0};
    const Row rows[] = {
        {"HKLM,Software\\Ternwick\\Sample,Count,0x00000000,%InstallDir%",
         REG_SZ,
         {'\\', 0,   'P', 0,   'r', 0,   'o', 0,   'g', 0,   'r', 0,   'a', 0,    'm',
          0,    ' ', 0,   'F', 0,   'i', 0,   'l', 0,   'e', 0,   's', 0,   '\\', 0,
          'S',  0,   'a', 0,   'm', 0,   'p', 0,   'l', 0,   'e', 0,   0,   0}},
        {"HKLM,Software\\Ternwick\\Sample,Count,0x00010000,a,%CE2%",
         REG_MULTI_SZ,
         {'a', 0, 0,   0, '\\', 0, 'W', 0, 'i', 0, 'n', 0,
          'd', 0, 'o', 0, 'w',  0, 's', 0, 0,   0, 0,   0}},
        {"HKLM,Software\\Ternwick\\Sample,Count,0x00000001,00,ff,7f", REG_BINARY, {0, 0xff, 0x7f}},
        {"HKLM,Software\\Ternwick\\Sample,Count,0x00010001,0x12345678",
         REG_DWORD,
         {0x78, 0x56, 0x34, 0x12}},
        // An empty name is the key's default value.
        {"HKLM,Software\\Ternwick\\Sample,,0x00010001,1", REG_DWORD, {1, 0, 0, 0}, TEXT("")},
    };
    for (const Row& row : rows) {
        for (const bool noClobber : {false, true}) {
            for (const bool there : {false, true}) {
                SCOPED_TRACE(std::string(row.line) + (noClobber ? ", no clobber" : "") +
                             (there ? ", over a value" : ""));
                Fresh();
                if (there) {
                    kit::CreateKey(HKEY_LOCAL_MACHINE, kValuesKey);
                    kit::SetValue(HKEY_LOCAL_MACHINE, kValuesKey, row.name, REG_SZ, old.data(),
                                  static_cast<DWORD>(old.size()));
                }
                std::string line = row.line;
                if (noClobber) {
                    line[line.find(",0x") + 10] += 2;  // the type's last digit, 0x2 added
                }
                Put(Built(
                    Edited(kInf, {{"HKLM,Software\\Ternwick\\Sample,Count,0x00010001,7", line}})));
                ASSERT_EQ(Install(), kInstallerDone) << Error();
                const bool kept = noClobber && there;
                const kit::StoredValue value =
                    kit::GetValue(HKEY_LOCAL_MACHINE, kValuesKey, row.name);
                EXPECT_EQ(value.type, kept ? static_cast<DWORD>(REG_SZ) : row.type);
                EXPECT_EQ(value.data, kept ? old : row.data);
                EXPECT_EQ(Remove(), kInstallerDone);
                EXPECT_EQ(kit::GetValue(HKEY_LOCAL_MACHINE, kValuesKey, row.name).present, kept);
            }
        }
    }
}

// ---- The records ---------------------------------------------------------------------------

// An installation in the CE installer's order, its records where the device keeps them, and a
// removal that reads those records alone and takes away exactly what was installed.
TEST_F(Installer, InstallsInOrderRecordsWhereTheDeviceKeepsRecordsAndRemovesExactlyThat) {
    const std::string package = Built(kInf);
    Put(package);
    kit::MakeFolders(kInstallDir);
    kit::MakeFile(kNotes, "the user's notes");  // never overwritten
    kit::MakeFile(kInstallDir + TEXT("\\Saved.dat"), "the application's own");

    EXPECT_EQ(Install(), kInstallerDone) << Error();
    EXPECT_EQ(TheHooks().calls,
              (std::vector<std::string>{kRunning, "Install_Init 1 0 \\Program Files\\Sample",
                                        "Install_Exit \\Program Files\\Sample 00000", "unload"}));
    ExpectInstalled(true);
    EXPECT_EQ(kit::ReadFileText(kNotes), "the user's notes");
    EXPECT_EQ(Text(kit::GetValue(HKEY_LOCAL_MACHINE, kValuesKey, TEXT("Folder"))),
              "\\Program Files\\Sample\\Data");
    EXPECT_EQ(kit::ReadFileText(kLink), "34#\"\\Program Files\\Sample\\Sample.exe\"");
    EXPECT_EQ(kit::ReadFileText(TEXT("\\Windows\\Start Menu\\Programs\\Sample Folder.lnk")),
              "23#\"\\Program Files\\Sample\"")
        << "a shortcut to the install folder, directory 0";
    EXPECT_FALSE(kit::PathExists(kPackage)) << "deleted once installed";
    // The Apps key, value by value.
    const auto value = [](const WCHAR* name) {
        return kit::GetValue(HKEY_LOCAL_MACHINE, kRecordKey, name);
    };
    EXPECT_EQ(value(TEXT("Instl")).type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value(TEXT("Instl")).data, (std::vector<unsigned char>{1, 0, 0, 0}));
    EXPECT_EQ(Text(value(TEXT("InstlDir"))), "\\Program Files\\Sample");
    EXPECT_EQ(Text(value(TEXT("InstallDir"))), "\\Program Files\\Sample");
    EXPECT_EQ(value(TEXT("InstlDirCnt")).data, (std::vector<unsigned char>{1, 0, 0, 0}))
        << "the folders it made: Data, in the folder that was there";
    EXPECT_EQ(Text(value(TEXT("IsvFile"))), kit::Narrow(kKeptLibrary));
    EXPECT_EQ(Text(value(TEXT("CmdFile"))), kit::Narrow(kKeptInstructions));
    EXPECT_EQ(Text(value(TEXT("CabFile"))), kit::Narrow(kPackage));
    EXPECT_EQ(kit::ValueNames(HKEY_LOCAL_MACHINE, kRecordKey).size(), 7u);
    EXPECT_EQ(kit::ReadFileText(kKeptLibrary), setupLibrary_);
    EXPECT_EQ(kit::ReadFileText(kKeptInstructions), cabinet_edit::Member(package, 0));
    EXPECT_TRUE(kit::PathExists(kRemovalRecord));
    EXPECT_FALSE(kit::PathExists(TEXT("\\Windows\\AppMgr\\Ternwick Sample.installing.dll")));

    // Removal reads only the records: the library from where IsvFile says.
    const WideString moved = TEXT("\\Windows\\Moved.dll");
    kit::MakeFile(moved, kit::ReadFileText(kKeptLibrary));
    DeleteFileW(kKeptLibrary.c_str());
    kit::SetString(HKEY_LOCAL_MACHINE, kRecordKey, TEXT("IsvFile"), moved);
    TheHooks().calls.clear();
    EXPECT_EQ(Remove(), kInstallerDone);
    EXPECT_EQ(TheHooks().calls, (std::vector<std::string>{"load \\Windows\\Moved.dll",
                                                          "Uninstall_Init \\Program Files\\Sample",
                                                          "Uninstall_Exit", "unload"}));
    ExpectInstalled(false);
    EXPECT_FALSE(kit::KeyExists(HKEY_LOCAL_MACHINE, TEXT("Software\\Ternwick")))
        << "keys it made go once empty";
    EXPECT_TRUE(kit::PathExists(kInstallDir + TEXT("\\Saved.dat")));
    EXPECT_TRUE(kit::PathExists(kNotes)) << "it did not install it";
    EXPECT_FALSE(kit::KeyExists(HKEY_LOCAL_MACHINE, kRecordKey));
    for (const WideString& record : {kRemovalRecord, kKeptLibrary, kKeptInstructions}) {
        EXPECT_FALSE(kit::PathExists(record)) << kit::Narrow(record);
    }
    EXPECT_TRUE(kit::PathExists(TEXT("\\Windows\\AppMgr"))) << "the device's own folder";
    EXPECT_EQ(Remove(), kInstallerNotInstalled);
}

// A record removal needs that is gone or damaged, or a kept library the device could not load,
// stops the removal before any hook, with everything left as it was.
TEST_F(Installer, ARemovalWhoseRecordsCannotBeReadTakesNothing) {
    const std::string package = Built(kInf);
    const struct {
        const char* what;
        std::function<void()> damage;
        std::string error;
    } rows[] = {
        {"no removal record", [] { DeleteFileW(kRemovalRecord.c_str()); },
         "the record of what was installed cannot be read"},
        {"a removal record of an odd length", [] { kit::MakeFile(kRemovalRecord, "odd"); },
         "the record of what was installed cannot be read"},
        {"no kept instructions", [] { DeleteFileW(kKeptInstructions.c_str()); },
         "the record of what was installed cannot be read"},
        {"damaged kept instructions", [] { kit::MakeFile(kKeptInstructions, "MSCE"); },
         "the record of what was installed cannot be read"},
        {"a kept library of text", [] { kit::MakeFile(kKeptLibrary, "text"); },
         "the kept setup library cannot be loaded: its setup library is not a PE file"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Fresh();
        Put(package);
        ASSERT_EQ(Install(), kInstallerDone) << Error();
        row.damage();
        TheHooks().calls.clear();
        EXPECT_EQ(Remove(), kInstallerNoPackage);
        EXPECT_EQ(Error(), row.error);
        EXPECT_TRUE(TheHooks().calls.empty());
        ExpectInstalled(true);
        EXPECT_TRUE(Recorded());
    }
}

// A package without a setup library installs, is recorded and removes like any other; with
// /nouninstall nothing records it.
TEST_F(Installer, APackageWithoutASetupLibraryInstallsAndRemovesLikeAnyOther) {
    // Extra.txt copied whatever is there: three files in the two folders it makes.
    const std::string package = Built(Edited(
        kInf, {{"CESetupDLL=Setup.dll\n", ""}, {"Extra.txt\",,,0x00000400", "Extra.txt\",,,0"}}));
    Put(package);
    EXPECT_EQ(Install(), kInstallerDone) << Error();
    ExpectInstalled(true);
    EXPECT_EQ(kit::GetValue(HKEY_LOCAL_MACHINE, kRecordKey, TEXT("InstlDirCnt")).data,
              (std::vector<unsigned char>{2, 0, 0, 0}))
        << "its folders, Sample and Data, not its files";
    EXPECT_FALSE(kit::GetValue(HKEY_LOCAL_MACHINE, kRecordKey, TEXT("IsvFile")).present);
    EXPECT_FALSE(kit::PathExists(kKeptLibrary));
    EXPECT_EQ(kit::ReadFileText(kKeptInstructions), cabinet_edit::Member(package, 0));
    EXPECT_EQ(Remove(), kInstallerDone) << Error();
    ExpectNothingLeft();
    EXPECT_TRUE(TheHooks().calls.empty());

    Put(package);
    EXPECT_EQ(Install(TEXT("/noui /nouninstall")), kInstallerDone) << Error();
    ExpectInstalled(true);
    EXPECT_FALSE(kit::KeyExists(HKEY_LOCAL_MACHINE, kRecordKey));
    EXPECT_FALSE(kit::PathExists(kRemovalRecord));
    EXPECT_FALSE(kit::PathExists(kKeptInstructions));
}

// ---- The hooks, and an application installed already -----------------------------------------

TEST_F(Installer, TheHooksAnswersAreActedOn) {
    struct Case {
        const char* what;
        int installInit, installExit;
        const WCHAR* switches;
        DWORD result;
        bool installed, recorded, kept;  // the package kept
    };
    const int go = codeINSTALL_INIT_CONTINUE;
    const int done = codeINSTALL_EXIT_DONE;
    const Case cases[] = {
        {"Install_Init cancels", codeINSTALL_INIT_CANCEL, done, TEXT("/noui"), kInstallerCancelled,
         false, false, false},
        {"Install_Exit asks to undo", go, codeINSTALL_EXIT_UNINSTALL, TEXT("/noui /delete 0"),
         kInstallerCancelled, false, false, true},
        {"/nouninstall", go, done, TEXT("/noui /nouninstall"), kInstallerDone, true, false, false},
        {"/delete 0", go, done, TEXT("/noui /delete 0"), kInstallerDone, true, true, true},
        {"/delete 1", go, done, TEXT("/noui /delete 1"), kInstallerDone, true, true, false},
        // It asks for no folder: the package's is the one it offers.
        {"/askdest", go, done, TEXT("/noui /askdest"), kInstallerDone, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        Put(Built(kInf));
        TheHooks().installInit = c.installInit;
        TheHooks().installExit = c.installExit;
        EXPECT_EQ(Install(c.switches), c.result);
        ExpectInstalled(c.installed);
        EXPECT_EQ(kit::PathExists(kInstallDir), c.installed) << "the folder it made goes too";
        EXPECT_EQ(Recorded(), c.recorded);
        EXPECT_EQ(kit::PathExists(kKeptLibrary), c.recorded);
        EXPECT_EQ(TheHooks().calls.back(), "unload");
        EXPECT_EQ(kit::PathExists(kPackage), c.kept);
    }
    // A removal that Uninstall_Init cancels takes nothing away.
    Fresh();
    Put(Built(kInf));
    ASSERT_EQ(Install(), kInstallerDone);
    TheHooks().uninstallInit = codeUNINSTALL_INIT_CANCEL;
    EXPECT_EQ(Remove(), kInstallerCancelled);
    ExpectInstalled(true);
    EXPECT_TRUE(Recorded());
}

// A package for an application already installed replaces it once the user agrees: the earlier
// installation is removed as unload.exe removes it (its own library's hooks around it) after the
// new library's Install_Init, and the new one installed; declined, cancelled or refused, the
// earlier installation stays whole.
TEST_F(Installer, AnInstalledApplicationIsReplacedOnlyOnceTheUserAgrees) {
    const std::string question =
        "Ternwick Sample|Ternwick Sample is installed already. Remove it and install this "
        "package in its place?";
    const std::vector<std::string> replaced = {kRunning,
                                               "Install_Init 1 1 \\Program Files\\Sample",
                                               kKept,
                                               "Uninstall_Init \\Program Files\\Sample",
                                               "Uninstall_Exit",
                                               "unload",
                                               "Install_Exit \\Program Files\\Sample 00000",
                                               "unload"};
    struct Row {
        const char* what;
        const WCHAR* switches;
        int answer;
        std::function<void()> arrange;  // over the earlier installation
        std::string package;            // the new one
        DWORD result;
        std::vector<std::string> boxes, calls;
    };
    const auto nothing = [] {};
    const std::string good = Built(kInf);
    const std::vector<std::string> asked = {question};
    const Row rows[] = {
        {"agreed", TEXT(""), IDYES, nothing, good, kInstallerDone, asked, replaced},
        {"/noui", TEXT("/noui"), IDNO, nothing, good, kInstallerDone, {}, replaced},
        {"declined", TEXT(""), IDNO, nothing, good, kInstallerCancelled, asked, {}},
        {"the new library cancels",
         TEXT("/noui"),
         IDYES,
         [] { TheHooks().installInit = codeINSTALL_INIT_CANCEL; },
         good,
         kInstallerCancelled,
         {},
         {kRunning, "Install_Init 1 1 \\Program Files\\Sample", "unload"}},
        {"the earlier library cancels",
         TEXT("/noui"),
         IDYES,
         [] { TheHooks().uninstallInit = codeUNINSTALL_INIT_CANCEL; },
         good,
         kInstallerCancelled,
         {},
         {kRunning, "Install_Init 1 1 \\Program Files\\Sample", kKept,
          "Uninstall_Init \\Program Files\\Sample", "unload", "unload"}},
        {"a package refused",
         TEXT("/noui"),
         IDYES,
         nothing,
         Built(Edited(kInf, {{"2577", "4000"}})),
         kInstallerRefused,
         {},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Fresh();
        Put(good);
        ASSERT_EQ(Install(), kInstallerDone);
        kit::MakeFile(kProgram, "the earlier installation's own copy");
        TheHooks().calls.clear();
        row.arrange();
        kit::AnswerBoxesWith(row.answer);
        Put(row.package);
        EXPECT_EQ(Install(row.switches), row.result) << Error();
        EXPECT_EQ(BoxTexts(), row.boxes);
        EXPECT_EQ(TheHooks().calls, row.calls);
        ExpectInstalled(true);
        EXPECT_TRUE(Recorded());
        EXPECT_EQ(kit::ReadFileText(kProgram) == "Sample.exe bytes", row.result == kInstallerDone)
            << "the new installation's file, or the earlier's";
        EXPECT_FALSE(kit::PathExists(kPackage));
    }
}

// What a removal cannot take away stays listed, and the application with it, for another try;
// an upgrade goes on over it, carrying what is left into its own record.
TEST_F(Installer, WhatARemovalCannotTakeAwayStaysListedForAnotherTry) {
    Put(Built(kInf));
    ASSERT_EQ(Install(), kInstallerDone);
    SetFileAttributesW(kProgram.c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_EQ(Remove(), kInstallerIncomplete);
    EXPECT_EQ(Error(), "1 installed part could not be removed");
    EXPECT_TRUE(kit::PathExists(kProgram));
    EXPECT_FALSE(kit::PathExists(kLink));
    EXPECT_TRUE(Recorded());
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "Ternwick Sample|Ternwick Sample is removed, but not completely. "
                              "Delete what is left with File Explorer:\n\\Program Files\\Sample\\"
                              "Sample.exe"}));

    // Installed again over what is left, the user agreeing: the read-only file cannot be replaced
    // either, and both are told.
    kit::AnswerBoxesWith(IDYES);
    Put(Built(kInf));
    EXPECT_EQ(Install(TEXT("")), kInstallerIncomplete);
    EXPECT_EQ(BoxTexts().back(),
              "Ternwick Sample|Ternwick Sample is installed, but not completely.\n\nNot "
              "installed:\n\\Program Files\\Sample\\Sample.exe\n\nLeft by the installation it "
              "replaced; delete it with File Explorer:\n\\Program Files\\Sample\\Sample.exe");
    SetFileAttributesW(kProgram.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Remove(), kInstallerDone);
    ExpectNothingLeft();
}

}  // namespace
