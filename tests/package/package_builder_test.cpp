// The package builder as a CE developer meets it: a good .inf gives the package cabwiz would
// make; a malformed one is refused with its line and what is wrong, and nothing is written.
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "builder/package_builder.h"

namespace {

using package_builder::Options;
using package_builder::Package;

const char kInf[] =
    "[Version]\n"                                                             // 1
    "Signature=\"$Windows NT$\"\n"                                            // 2
    "CESignature=\"$Windows CE$\"\n"                                          // 3
    "Provider=\"Ternwick\"\n"                                                 // 4
    "[CEStrings]\n"                                                           // 5
    "AppName=\"Korvessa\"\n"                                                  // 6
    "InstallDir=%CE1%\\%AppName%\n"                                           // 7
    "[Strings]\n"                                                             // 8
    "CloseName=\"Close Korvessa\"\n"                                          // 9
    "[CEDevice]\n"                                                            // 10
    "ProcessorType=2577\n"                                                    // 11
    "VersionMin=3.0\n"                                                        // 12
    "[DefaultInstall]\n"                                                      // 13
    "CopyFiles=Files\n"                                                       // 14
    "AddReg=Reg\n"                                                            // 15
    "CEShortcuts=Links\n"                                                     // 16
    "CESetupDLL=Wrenfold.dll\n"                                               // 17
    "[SourceDisksNames]\n"                                                    // 18
    "1=,\"Files\",,.\n"                                                       // 19
    "[SourceDisksFiles]\n"                                                    // 20
    "Korvessa.exe=1\n"                                                        // 21
    "CloseKorvessa.exe=1\n"                                                   // 22
    "Wrenfold.dll=1\n"                                                        // 23
    "[DestinationDirs]\n"                                                     // 24
    "Files=0,%InstallDir%\n"                                                  // 25
    "Links=0,%CE11%\n"                                                        // 26
    "DefaultDestDir=0,%InstallDir%\n"                                         // 27
    "[Files]\n"                                                               // 28
    "\"Korvessa.exe\",,,0\n"                                                  // 29
    "\"CloseKorvessa.exe\",,,0\n"                                             // 30
    "[Reg]\n"                                                                 // 31
    "HKLM,Software\\Ternwick\\Korvessa,InstallDir,0x00000000,%InstallDir%\n"  // 32
    "[Links]\n"                                                               // 33
    "%AppName%,0,Korvessa.exe\n"                                              // 34
    "%CloseName%,0,CloseKorvessa.exe\n";                                      // 35

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    return names;
}

void RemoveTree(const std::string& folder) {
    for (const std::string& name : Entries(folder)) {
        const std::string path = folder + "/" + name;
        struct stat status {};
        if (lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
            RemoveTree(path);
        } else {
            unlink(path.c_str());
        }
    }
    rmdir(folder.c_str());
}

// A folder with the .inf's three source files, and an empty one for the package.
class Builder : public testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/package-builder-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder_ = name;
        out_ = folder_ + "/out";
        ASSERT_EQ(mkdir(out_.c_str(), 0755), 0);
        Write(folder_ + "/Korvessa.exe", "application");
        Write(folder_ + "/CloseKorvessa.exe", "close program");
        Write(folder_ + "/Wrenfold.dll", "setup library");
    }
    void TearDown() override { RemoveTree(folder_); }

    Options WithInf(const std::string& text) {
        Write(folder_ + "/Korvessa.inf", text);
        Options options;
        options.inf = folder_ + "/Korvessa.inf";
        options.output = out_ + "/Korvessa.cab";
        return options;
    }

    // Builds from `text`; expects a refusal whose message, after the .inf's path, is `error`
    // ("{folder}" stands for the test's folder), and nothing in the output folder.
    void ExpectRefused(const std::string& text, std::string error, const std::string& row) {
        for (std::size_t at; (at = error.find("{folder}")) != std::string::npos;) {
            error.replace(at, 8, folder_);
        }
        const Options options = WithInf(text);
        std::string message;
        EXPECT_FALSE(package_builder::BuildPackage(options, message)) << row;
        EXPECT_EQ(message, options.inf + error) << row;
        EXPECT_TRUE(Entries(out_).empty()) << row << ": the output folder holds "
                                           << (Entries(out_).empty() ? "" : Entries(out_)[0]);
    }

    std::string folder_;
    std::string out_;
};

std::string Changed(std::string text,
                    const std::vector<std::pair<std::string, std::string>>& edits) {
    for (const auto& edit : edits) {
        const std::size_t at = text.find(edit.first);
        EXPECT_NE(at, std::string::npos) << edit.first;
        if (at != std::string::npos) {
            text.replace(at, edit.first.size(), edit.second);
        }
    }
    return text;
}

TEST_F(Builder, MalformedInfFilesAreRefusedWithTheirLineAndWhatIsWrong) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> edits;
        const char* error;
    };
    const Case cases[] = {
        {"a section named that does not exist",
         {{"CopyFiles=Files", "CopyFiles=Filez"}},
         ":14: CopyFiles names the section [Filez], which does not exist"},
        {"a listed file missing from its folder",
         {{"\"CloseKorvessa.exe\",,,0", "\"Gone.exe\",,,0"}, {"CloseKorvessa.exe=1", "Gone.exe=1"}},
         ":22: the source file Gone.exe is not at {folder}/./Gone.exe"},
        {"a file not listed as a source",
         {{"\"CloseKorvessa.exe\",,,0", "\"CloseKorvessa.exe\",Other.exe,,0"}},
         ":30: Other.exe is not listed in [SourceDisksFiles]"},
        {"an unknown copy flag",
         {{"\"Korvessa.exe\",,,0", "\"Korvessa.exe\",,,0x4"}},
         ":29: the copy flags 0x00000004 hold bits CE does not know (0x00000004)"},
        {"a folder CE 3.0 does not define",
         {{"Links=0,%CE11%", "Links=0,%CE3%"}},
         ":26: %CE3% is not a folder CE 3.0 defines (it has %CE1%, %CE2%, %CE4%, %CE5%, "
         "%CE11%, %CE15% and %CE17%)"},
        {"an unknown value type",
         {{"0x00000000,%InstallDir%", "0x00000004,%InstallDir%"}},
         ":32: the value type 0x00000004 is not one CE knows (string 0x00000000, multi-string "
         "0x00010000, binary 0x00000001, DWORD 0x00010001, each maybe with 0x00000002)"},
        {"an undefined string",
         {{"%CloseName%,0", "%CloseTitle%,0"}},
         ":35: %CloseTitle% is defined in neither [Strings] nor [CEStrings]"},
        {"an unknown registry root",
         {{"HKLM,", "HKXX,"}},
         ":32: the registry root \"HKXX\" is not HKCR, HKCU or HKLM"},
        {"a version without its minor",
         {{"VersionMin=3.0", "VersionMin=3"}},
         ":12: VersionMin must be major.minor (e.g. 3.0), not \"3\""},
        {"a shortcut to a file not installed",
         {{"%AppName%,0,Korvessa.exe", "%AppName%,0,Korvesa.exe"}},
         ":34: the shortcut's target Korvesa.exe is not a file the package installs"},
        {"a quote not closed",
         {{"Provider=\"Ternwick\"", "Provider=\"Ternwick"}},
         ":4: a quote that is not closed"},
        {"a source on a disk not named",
         {{"Wrenfold.dll=1", "Wrenfold.dll=2"}},
         ":23: Wrenfold.dll is on disk \"2\", which [SourceDisksNames] lacks"},
        {"a destination without its 0",
         {{"Files=0,%InstallDir%", "Files=%InstallDir%"}},
         ":25: a [DestinationDirs] entry must be 0,<folder>"},
        {"a key the section does not have",
         {{"ProcessorType=2577", "Processor=2577"}},
         ":11: [CEDevice] has no key Processor"},
        {"a line before any section",
         {{"[Version]", "Stray=1\n[Version]"}},
         ":1: a line before the first [section]"},
        {"a required section missing",
         {{"[DefaultInstall]", "[Default]"}},
         ": the section [DefaultInstall] is missing"},
        {"the wrong CE signature",
         {{"CESignature=\"$Windows CE$\"", "CESignature=\"$Windows$\""}},
         ":1: [Version] needs CESignature=\"$Windows CE$\""},
        {"a key given twice",
         {{"AppName=\"Korvessa\"", "AppName=\"Korvessa\"\nAppName=\"Other\""}},
         ":7: AppName is given twice in [CEStrings]"},
        {"a DWORD that is no number",
         {{"InstallDir,0x00000000,%InstallDir%", "Count,0x00010001,many"}},
         ":32: a DWORD value takes one number"},
        {"a setup library not listed",
         {{"CESetupDLL=Wrenfold.dll", "CESetupDLL=Setup.dll"}},
         ":17: Setup.dll is not listed in [SourceDisksFiles]"},
        {"a folder outside the %CEn% folders",
         {{"Files=0,%InstallDir%", "Files=0,Program Files\\Korvessa"}},
         ":25: the folder \"Program Files\\Korvessa\" does not start with a %CEn% folder"},
        {"a string loop",
         {{"CloseName=\"Close Korvessa\"", "CloseName=%CloseName%"}},
         ":35: the [Strings] refer to each other in a loop"},
    };
    for (const Case& c : cases) {
        ExpectRefused(Changed(kInf, c.edits), c.error, c.name);
    }
}

TEST_F(Builder, LimitsOfAPackageAreRefused) {
    std::string many;
    for (int k = 1; k <= 999; ++k) {
        many += "\"f" + std::to_string(k) + ".txt\",Korvessa.exe,,0\n";
    }
    ExpectRefused(Changed(kInf, {{"\"Korvessa.exe\",,,0\n", many}}),
                  ":1027: more than 998 files: a CE package holds at most 998 (.001 to .998)",
                  "999 files");
    std::string long_names;
    for (int k = 1; k <= 40; ++k) {
        long_names += "\"" + std::string(900, 'n') + std::to_string(k) + "\",Korvessa.exe,,0\n";
    }
    ExpectRefused(Changed(kInf, {{"[Reg]\n", long_names + "[Reg]\n"}}),
                  ": the instructions (.000) come to 36926 bytes, over the 32768 a CE package "
                  "may have",
                  "a .000 over 32 KB");
}

TEST_F(Builder, TheInfBecomesThePackageCabwizWouldMake) {
    Options options = WithInf(kInf);
    Package package;
    std::string error;
    ASSERT_TRUE(package_builder::LayOut(options, package, error)) << error;
    std::vector<std::string> members;
    for (const package_builder::Member& member : package.members) {
        members.push_back(member.name);
    }
    EXPECT_EQ(members, (std::vector<std::string>{"KORVESSA.000", "WRENFOLD.999", "CLOSEK~1.002",
                                                 "KORVESSA.001"}));
    EXPECT_EQ(package.members[1].path, folder_ + "/./Wrenfold.dll");
    EXPECT_EQ(package.instructions.processor, 2577u);

    // Another processor from the same .inf; a source file from elsewhere.
    Write(out_ + "/../Other.exe", "another application");
    options.processor_given = true;
    options.processor = 0;
    options.files["korvessa.EXE"] = folder_ + "/Other.exe";
    ASSERT_TRUE(package_builder::LayOut(options, package, error)) << error;
    EXPECT_EQ(package.instructions.processor, 0u);
    EXPECT_EQ(package.members[3].path, folder_ + "/Other.exe");
    EXPECT_EQ(package.members[3].name, "KORVESSA.001");  // named as the .inf names it
}

TEST_F(Builder, APackageThatCannotBeWrittenLeavesNothing) {
    Options options = WithInf(kInf);
    options.output = out_ + "/missing/Korvessa.cab";
    std::string error;
    EXPECT_FALSE(package_builder::BuildPackage(options, error));
    EXPECT_EQ(error, options.output + ": cannot be written: No such file or directory");
    EXPECT_TRUE(Entries(out_).empty());

    options.output = out_ + "/Korvessa.cab";
    ASSERT_TRUE(package_builder::BuildPackage(options, error)) << error;
    EXPECT_EQ(Entries(out_), std::vector<std::string>{"Korvessa.cab"});
}

TEST(MemberName, ShortNamesAsTheCeToolsMakeThem) {
    const struct {
        const char* file;
        unsigned number;
        const char* member;
    } cases[] = {
        {"CloseKorvessa.exe", 2, "CLOSEK~1.002"},
        {"Wrenfold.dll", 999, "WRENFOLD.999"},
        {"App.exe", 5, "00000APP.005"},
        {"My App.exe", 7, "0MYAPP~1.007"},
        {"a.b.c", 12, "0000AB~1.012"},
        {"README", 998, "00README.998"},
        {"Korvessa.inf", 0, "KORVESSA.000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(package_builder::MemberName(c.file, c.number), c.member) << c.file;
    }
}

}  // namespace
