// The package builder as a CE developer meets it: a good .inf gives the package cabwiz would
// make, however Windows tools saved it and for each processor it names; a malformed one is
// refused with its line and what is wrong, and nothing is written.
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "builder/package_builder.h"

namespace {

using package_builder::Options;
using package_builder::Package;
using namespace ce_package;

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

    Options WithInf(const std::string& text, const std::vector<std::string>& cpus = {}) {
        Write(folder_ + "/Korvessa.inf", text);
        Options options;
        options.inf = folder_ + "/Korvessa.inf";
        options.output = cpus.empty() ? out_ + "/Korvessa.cab" : out_;
        options.cpus = cpus;
        return options;
    }

    // Builds `options`; expects a refusal whose message, after the .inf's path, is `error`
    // ("{folder}" stands for the test's folder), and nothing in the output folder.
    void ExpectRefused(const Options& options, std::string error, const std::string& row) {
        for (std::size_t at; (at = error.find("{folder}")) != std::string::npos;) {
            error.replace(at, 8, folder_);
        }
        std::string message;
        EXPECT_FALSE(package_builder::BuildPackage(options, message)) << row;
        EXPECT_EQ(message, options.inf + error) << row;
        EXPECT_TRUE(Entries(out_).empty()) << row << ": the output folder holds "
                                           << (Entries(out_).empty() ? "" : Entries(out_)[0]);
    }
    void ExpectRefused(const std::string& text, const std::string& error, const std::string& row) {
        ExpectRefused(WithInf(text), error, row);
    }

    // The package `text` lays out for `cpu`, failing the test when it is refused.
    Package LaidOut(const std::string& text, const std::string& cpu = "") {
        Package package;
        std::string error;
        EXPECT_TRUE(package_builder::LayOut(WithInf(text), package, error, cpu)) << error;
        return package;
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

// The text as UTF-16LE with its byte-order mark, each byte below 0x80 one unit.
std::string Utf16(const std::string& text) {
    std::string bytes = "\xFF\xFE";
    for (const char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

const char kArm[] = "[CEDevice.ARM]\nProcessorType=2577\n";  // appended: lines 36 and 37

TEST_F(Builder, MalformedInfFilesAreRefusedWithTheirLineAndWhatIsWrong) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> edits;
        const char* error;
        std::vector<std::string> cpus = {};
        std::string appended = {};
        std::map<std::string, std::string> files = {};
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
         ":30: Other.exe is not in [SourceDisksFiles]"},
        {"a file listed for neither the processor nor all",
         {{"\"CloseKorvessa.exe\",,,0", "\"CloseKorvessa.exe\",Other.exe,,0"}},
         ":30: Other.exe is in neither [SourceDisksFiles] nor [SourceDisksFiles.ARM]",
         {"ARM"},
         kArm},
        {"a source file given where it is not",
         {},
         ":21: the source file Korvessa.exe is not at /nowhere/Korvessa.exe",
         {},
         "",
         {{"korvessa.exe", "/nowhere/Korvessa.exe"}}},
        {"a source file on a Windows drive",
         {{"1=,\"Files\",,.", "1=,\"Files\",,e:\\Files"}},
         ":21: the source file Korvessa.exe is not at {folder}/e:/Files/Korvessa.exe (a folder on "
         "a Windows drive: say where the file is with --source-folder or --file)"},
        {"a source on a disk not named",
         {{"Wrenfold.dll=1", "Wrenfold.dll=2"}},
         ":23: Wrenfold.dll is on disk \"2\", which [SourceDisksNames] lacks"},
        {"a source on a disk another processor names",
         {{"Wrenfold.dll=1", "Wrenfold.dll=2"}},
         ":23: Wrenfold.dll is on disk \"2\", which neither [SourceDisksNames] nor "
         "[SourceDisksNames.ARM] has ([SourceDisksNames.SH3] has it: is that the processor "
         "meant?)",
         {"ARM"},
         std::string(kArm) + "[SourceDisksNames.SH3]\n2=,\"SH3\",,sh3\n"},
        {"a source named twice once substituted",
         {{"Korvessa.exe=1", "Korvessa.exe=1\n%AppName%.exe=1"}},
         ":22: Korvessa.exe is given twice in [SourceDisksFiles]"},
        {"an unknown copy flag",
         {{"\"Korvessa.exe\",,,0", "\"Korvessa.exe\",,,0x4"}},
         ":29: the copy flags 0x00000004 hold bits CE does not know (0x00000004)"},
        {"copy flags that are no number",
         {{"\"Korvessa.exe\",,,0", "\"Korvessa.exe\",,,none"}},
         ":29: the copy flags \"none\" are not a number"},
        {"a CopyFiles line with a key",
         {{"\"Korvessa.exe\",,,0", "Korvessa.exe=0"}},
         ":29: a CopyFiles line is installed_name,[source],,flags"},
        {"an installed name that is a path",
         {{"\"Korvessa.exe\",,,0", "\"Bin/Korvessa.exe\",Korvessa.exe,,0"}},
         ":29: \"Bin/Korvessa.exe\" is not a file name"},
        {"a CopyFiles line of five fields",
         {{"\"Korvessa.exe\",,,0", "\"Korvessa.exe\",,,0,0"}},
         ":29: a CopyFiles line has at most four fields"},
        {"a file installed twice",
         {{"\"CloseKorvessa.exe\",,,0", "\"korvessa.EXE\",Korvessa.exe,,0"}},
         ":30: korvessa.EXE is installed twice into %CE1%\\Korvessa"},
        {"a folder CE 3.0 lacks while VersionMin allows it",
         {{"Links=0,%CE11%", "Links=0,%CE3%"}},
         ":26: %CE3% is a folder CE 3.0 lacks (it has %CE1%, %CE2%, %CE4%, %CE5%, %CE11%, %CE15% "
         "and %CE17%), and VersionMin=3.0 lets CE 3.0 install it: give VersionMin=4.0 or another "
         "folder"},
        {"a folder CE 3.0 lacks and no VersionMin",
         {{"VersionMin=3.0", "; VersionMin=3.0"}, {"Links=0,%CE11%", "Links=0,%CE14%"}},
         ":26: %CE14% is a folder CE 3.0 lacks (it has %CE1%, %CE2%, %CE4%, %CE5%, %CE11%, "
         "%CE15% and %CE17%), and with no VersionMin the package is for CE 3.0 too: give "
         "VersionMin=4.0 or another folder"},
        {"a folder no CE defines",
         {{"Links=0,%CE11%", "Links=0,%CE18%"}},
         ":26: %CE18% is not a folder any CE version defines (they are %CE1% to %CE17%)"},
        {"the root as a folder",
         {{"Files=0,%InstallDir%", "Files=0,\"\\\""}},
         ":25: the folder \"\\\" has no parts (a CE package names no folder without one, not "
         "the root)"},
        {"a folder with an empty part",
         {{"Files=0,%InstallDir%", "Files=0,%InstallDir%\\\\Bin"}},
         ":25: the folder \"%CE1%\\Korvessa\\\\Bin\" has an empty part"},
        {"a folder with a wildcard",
         {{"Files=0,%InstallDir%", "Files=0,%InstallDir%\\Bin*"}},
         ":25: the folder \"%CE1%\\Korvessa\\Bin*\" holds a character no folder name may "
         "hold"},
        {"a %CEn% folder inside another",
         {{"Files=0,%InstallDir%", "Files=0,%InstallDir%\\%CE2%"}},
         ":25: the folder \"%CE1%\\Korvessa\\%CE2%\" has %CE2% where only its start may have "
         "one"},
        {"a folder outside the %CEn% folders",
         {{"Files=0,%InstallDir%", "Files=0,Program Files\\Korvessa"}},
         ":25: the folder \"Program Files\\Korvessa\" is neither under a %CEn% folder nor "
         "absolute (\\...)"},
        {"a section without a folder",
         {{"Files=0,%InstallDir%", "; Files"}, {"DefaultDestDir=0,%InstallDir%", "; Default"}},
         ":28: no folder for [Files]: [DestinationDirs] has neither Files nor DefaultDestDir"},
        {"a destination without its 0",
         {{"Files=0,%InstallDir%", "Files=%InstallDir%"}},
         ":25: a [DestinationDirs] entry must be 0,<folder>"},
        {"a destination without its section's name",
         {{"DefaultDestDir=0,%InstallDir%", "0,%InstallDir%"}},
         ":27: a line without a key in [DestinationDirs]"},
        {"an empty name to register",
         {{"CESetupDLL=Wrenfold.dll", "CESetupDLL=Wrenfold.dll\nCESelfRegister=Korvessa.exe,,x"}},
         ":18: an empty name in CESelfRegister"},
        {"a file to register that is not installed",
         {{"CESetupDLL=Wrenfold.dll", "CESetupDLL=Wrenfold.dll\nCESelfRegister=Wrenfold.dll"}},
         ":18: CESelfRegister names Wrenfold.dll, which the package does not install"},
        {"an unknown value type",
         {{"0x00000000,%InstallDir%", "0x00000004,%InstallDir%"}},
         ":32: the value type 0x00000004 is not one CE knows (string 0x00000000, multi-string "
         "0x00010000, binary 0x00000001, DWORD 0x00010001, each maybe with 0x00000002)"},
        {"value flags that are no number",
         {{"0x00000000,%InstallDir%", "string,%InstallDir%"}},
         ":32: the value flags \"string\" are not a number"},
        {"a string value of two fields",
         {{"0x00000000,%InstallDir%", "0x00000000,a,b"}},
         ":32: a string value takes one field (quote a text with commas)"},
        {"a DWORD that is no number",
         {{"InstallDir,0x00000000,%InstallDir%", "Count,0x00010001,many"}},
         ":32: a DWORD value takes one number"},
        {"binary data written in C",
         {{"InstallDir,0x00000000,%InstallDir%", "Bytes,0x00000001,0x12"}},
         ":32: binary data is hexadecimal bytes, not \"0x12\""},
        {"an AddReg line without its flags",
         {{",InstallDir,0x00000000,%InstallDir%", ",InstallDir"}},
         ":32: an AddReg line is ROOT,subkey,[value_name],flags,value[,value...]"},
        {"an unknown registry root",
         {{"HKLM,", "HKXX,"}},
         ":32: the registry root \"HKXX\" is not HKCR, HKCU or HKLM"},
        {"a value straight under its root",
         {{"HKLM,Software\\Ternwick\\Korvessa,", "HKLM,\\,"}},
         ":32: the key \"\\\" has no parts (a CE package puts no value straight under a root)"},
        {"a key with an empty part",
         {{"HKLM,Software\\Ternwick", "HKLM,Software\\\\Ternwick"}},
         ":32: the key \"Software\\\\Ternwick\\Korvessa\" has an empty part"},
        {"an undefined string",
         {{"%CloseName%,0", "%CloseTitle%,0"}},
         ":35: %CloseTitle% is defined in neither [Strings] nor [CEStrings]"},
        {"a % without its end",
         {{"CloseName=\"Close Korvessa\"", "CloseName=\"Close 100% Korvessa\""}},
         ":35: a % without its closing % in \"Close 100% Korvessa\""},
        {"a string loop",
         {{"CloseName=\"Close Korvessa\"", "CloseName=%CloseName%"}},
         ":35: the [Strings] refer to each other in a loop"},
        {"a version without its minor",
         {{"VersionMin=3.0", "VersionMin=3"}},
         ":12: VersionMin must be major.minor (e.g. 3.0), not \"3\""},
        {"a processor that is no number",
         {{"ProcessorType=2577", "ProcessorType=ARM"}},
         ":11: ProcessorType must be a number, not \"ARM\""},
        {"an empty platform name",
         {{"VersionMin=3.0", "UnsupportedPlatforms=HPC,,Jupiter"}},
         ":12: an empty name in UnsupportedPlatforms"},
        {"a [CEDevice] line without a key",
         {{"ProcessorType=2577", "2577"}},
         ":11: a line without a key in [CEDevice]"},
        {"a key the section does not have",
         {{"ProcessorType=2577", "Processor=2577"}},
         ":11: [CEDevice] has no key Processor"},
        {"a key given twice",
         {{"AppName=\"Korvessa\"", "AppName=\"Korvessa\"\nAppName=\"Other\""}},
         ":7: AppName is given twice in [CEStrings]"},
        {"a name in both string sections",
         {{"CloseName=\"Close Korvessa\"", "AppName=\"Other\""}},
         ":9: AppName is given in [CEStrings] already"},
        {"a shortcut to a file not installed",
         {{"%AppName%,0,Korvessa.exe", "%AppName%,0,Korvesa.exe"}},
         ":34: the shortcut's target Korvesa.exe is not a file the package installs"},
        {"a shortcut to a file installed twice",
         {{"CopyFiles=Files", "CopyFiles=Files,More"},
          {"DefaultDestDir=0,%InstallDir%", "More=0,%CE2%"}},
         ":34: the shortcut's target Korvessa.exe is installed more than once",
         {},
         "[More]\n\"Korvessa.exe\",,,0\n"},
        {"a shortcut into a folder no %CEn% names",
         {{"Links=0,%CE11%", "Links=0,\\Storage Card"}},
         ":26: a shortcut cannot go into \"\\Storage Card\": a CE package puts shortcuts under "
         "the install folder or a folder a %CEn% names (\\Windows, \\Program Files, \\My "
         "Documents, and those in them)"},
        {"a shortcut without its target",
         {{"%AppName%,0,Korvessa.exe", "%AppName%,0"}},
         ":34: a CEShortcuts line is name,type,target[,folder]"},
        {"a shortcut name that is a path",
         {{"%CloseName%,0", "Close\\Korvessa,0"}},
         ":35: \"Close\\Korvessa\" is not a shortcut name"},
        {"a shortcut type that is no number",
         {{"%AppName%,0,", "%AppName%,file,"}},
         ":34: the shortcut type \"file\" is not a number"},
        {"a quote not closed",
         {{"Provider=\"Ternwick\"", "Provider=\"Ternwick"}},
         ":4: a quote that is not closed"},
        {"a header with more on its line",
         {{"[Version]", "[Version] Signature"}},
         ":1: a section header must be [name] alone on its line"},
        {"a header without a name", {{"[Strings]", "[ ]"}}, ":8: a section header without a name"},
        {"a line before any section",
         {{"[Version]", "Stray=1\n[Version]"}},
         ":1: a line before the first [section]"},
        {"a required section missing",
         {{"[DefaultInstall]", "[Default]"}},
         ": the section [DefaultInstall] is missing"},
        {"the install section for a processor alone",
         {{"[DefaultInstall]", "[DefaultInstall.ARM]"}},
         ": the section [DefaultInstall] is missing ([DefaultInstall.ARM] is for a processor "
         "named with --cpu)"},
        {"the install section for another processor alone",
         {{"[DefaultInstall]", "[DefaultInstall.ARM]"}},
         ": neither [DefaultInstall] nor [DefaultInstall.SH3] is there ([DefaultInstall.ARM] is "
         "for other processors)",
         {"SH3"},
         "[CEDevice.SH3]\nProcessorType=10003\n"},
        {"a processor no section is for",
         {},
         ": no section is for the processor MIPS (the .inf's processors: ARM)",
         {"MIPS"},
         kArm},
        {"a processor named twice", {}, ": the processor arm is named twice", {"ARM", "arm"}, kArm},
        {"the strings' section missing",
         {{"[CEStrings]", "[CEStringz]"}},
         ": the section [CEStrings] is missing"},
        {"no AppName", {{"AppName=\"Korvessa\"", "; AppName"}}, ":5: [CEStrings] needs an AppName"},
        {"an empty AppName",
         {{"AppName=\"Korvessa\"", "AppName=\"\""}},
         ":6: the AppName is empty"},
        {"the wrong signature",
         {{"Signature=\"$Windows NT$\"", "Signature=\"$Windows XP$\""}},
         ":2: [Version] needs Signature=\"$Windows NT$\" (or \"$Windows 95$\" or \"$Chicago$\")"},
        {"the wrong CE signature",
         {{"CESignature=\"$Windows CE$\"", "CESignature=\"$Windows$\""}},
         ":3: [Version] needs CESignature=\"$Windows CE$\""},
        {"no Provider",
         {{"Provider=\"Ternwick\"", "; Provider"}},
         ":1: [Version] needs a Provider"},
        {"an empty Provider",
         {{"Provider=\"Ternwick\"", "Provider=\"\""}},
         ":4: the Provider is empty"},
        {"two setup libraries",
         {{"CESetupDLL=Wrenfold.dll", "CESetupDLL=Wrenfold.dll,Korvessa.exe"}},
         ":17: CESetupDLL names one file"},
        {"a setup library not listed",
         {{"CESetupDLL=Wrenfold.dll", "CESetupDLL=Setup.dll"}},
         ":17: Setup.dll is not in [SourceDisksFiles]"},
    };
    for (const Case& c : cases) {
        Options options = WithInf(Changed(kInf, c.edits) + c.appended, c.cpus);
        options.files = c.files;
        ExpectRefused(options, c.error, c.name);
    }
}

// Text a builder might be handed that is not the .inf's text at all.
TEST_F(Builder, BytesThatAreNoTextAreRefusedAtTheirLine) {
    const std::string utf16 = Utf16(kInf);
    const struct {
        const char* name;
        std::string bytes;
        const char* error;
    } cases[] = {
        {"UTF-16 without its byte-order mark", utf16.substr(2),
         ":1: a zero byte: a UTF-16 file needs its byte-order mark"},
        {"UTF-16 big-endian", "\xFE\xFF" + utf16.substr(3),
         ":1: the file is UTF-16 big-endian: save it as UTF-16LE (\"Unicode\"), UTF-8 or ANSI"},
        {"half a character at the end", utf16 + "x",
         ":36: the file ends in half a UTF-16 character"},
        {"half a surrogate pair", Utf16("[Version]\n") + std::string("\x00\xD8", 2),
         ":2: half a UTF-16 surrogate pair"},
        {"a zero character", Utf16("[Version]\nSignature=\"") + std::string("\0\0", 2),
         ":2: the character U+0000, which ends a text on the device"},
        {"a character Windows-1252 lacks",
         "\xEF\xBB\xBF" + Changed(kInf, {{"Close Korvessa", "Close \xCE\xA9"}}),
         ":9: the character U+03A9, which Windows-1252 lacks: a CE package's names and values "
         "are ANSI text"},
        {"a UTF-8 mark on other bytes", "\xEF\xBB\xBF" + Changed(kInf, {{"Korvessa\"", "K\xF6\""}}),
         ":6: bytes that are not UTF-8, in a file whose byte-order mark says UTF-8"},
    };
    for (const auto& c : cases) {
        ExpectRefused(c.bytes, c.error, c.name);
    }
}

// The limits of a package accepted at their edge and refused one past it.
TEST_F(Builder, LimitsHoldAtTheirExactEdge) {
    const auto files = [](int count) {
        std::string many;
        for (int k = 1; k <= count; ++k) {
            many += "\"f" + std::to_string(k) + ".txt\",Korvessa.exe,,0\n";
        }
        return Changed(
            kInf, {{"\"Korvessa.exe\",,,0\n", many}, {"%AppName%,0,Korvessa.exe", "A,0,f1.txt"}});
    };
    EXPECT_EQ(LaidOut(files(998 - 1)).instructions.files.size(), 998u);
    ExpectRefused(files(998),
                  ":1027: more than 998 files: a CE package holds at most 998 (.001 to .998)",
                  "999 files");
    // A value long enough to bring the .000 to 32768 bytes, then one byte longer.
    const auto filled = [](std::size_t length) {
        return Changed(kInf, {{"[Links]", "HKLM,Software,Filler,0,\"" + std::string(length, 'x') +
                                              "\"\n[Links]"}});
    };
    const std::size_t start = LaidOut(filled(0)).instructions_bytes.size();
    ASSERT_LT(start, kMaxInstructionsSize);
    const std::size_t edge = kMaxInstructionsSize - start;
    EXPECT_EQ(LaidOut(filled(edge)).instructions_bytes.size(), kMaxInstructionsSize);
    ExpectRefused(filled(edge + 1),
                  ": the instructions (.000) come to 32769 bytes, over the 32768 a CE package may "
                  "have",
                  "a .000 one byte over 32 KB");
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

// The same package from the .inf however a Windows tool saved it.
TEST_F(Builder, TheInfAsWindowsToolsSaveIt) {
    const std::string plain = LaidOut(kInf).instructions_bytes;
    std::string crlf;
    for (const char c : std::string(kInf)) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"UTF-16LE with its byte-order mark, CRLF", Utf16(crlf)},
        {"UTF-8 with its byte-order mark", "\xEF\xBB\xBF" + std::string(kInf)},
        {"CRLF", crlf},
        {"lines continued, inside a value too",
         Changed(kInf, {{"AddReg=Reg", "AddReg= \\ \nReg"},
                        {"CloseName=\"Close Korvessa\"", "CloseName=\"Close \\\nKorvessa\""}})},
        {"comments after values and headers, and a quoted ;",
         Changed(kInf, {{"[Files]", "[Files] ; the programs"},
                        {"\"Korvessa.exe\",,,0", "\"Korvessa.exe\",,,0 ; the application"},
                        {"[Strings]\n", "[Strings]\n; CloseName=\"no\"\n"}})},
        {"a field of several pieces",
         Changed(kInf, {{"CloseName=\"Close Korvessa\"", "CloseName=\"Close\" \"Korvessa\""}})},
        {"the $Chicago$ signature",
         Changed(kInf, {{"Signature=\"$Windows NT$\"", "Signature=\"$CHICAGO$\""}})},
        {"sections and keys in any case",
         Changed(kInf, {{"[Strings]", "[strings]"}, {"CopyFiles", "copyfiles"}})},
    };
    for (const auto& c : cases) {
        Package package;
        std::string error;
        EXPECT_TRUE(package_builder::LayOut(WithInf(c.text), package, error))
            << c.name << ": " << error;
        EXPECT_EQ(package.instructions_bytes, plain) << c.name;
    }
}

// What cabwiz's language says beyond Korvessa.inf's, each read into the package as cabwiz does.
TEST_F(Builder, CabwizsLanguageBecomesThePackage) {
    ASSERT_EQ(mkdir((folder_ + "/bin").c_str(), 0755), 0);
    Write(folder_ + "/bin/Tool.exe", "tool");
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> edits;
        std::function<void(const Package&)> check;
    } cases[] = {
        {"a shell command of quoted pieces, %% a %",
         {{"HKLM,Software\\Ternwick\\Korvessa,InstallDir,0x00000000,%InstallDir%",
           "HKCR,Korvessa\\Shell\\Open\\Command,,0,\"\"\"%InstallDir%\\Korvessa.exe\"\"\" "
           "\"\"\"%%1\"\"\""}},
         [](const Package& p) {
             const Value& value = p.instructions.values[0];
             EXPECT_EQ(value.data, std::string("\"%InstallDir%\\Korvessa.exe\" \"%1\"") + '\0');
             EXPECT_TRUE(value.substitute);
             EXPECT_EQ(value.name, "");
         }},
        {"substitution only where the .inf asks for it",
         {{"InstallDir,0x00000000,%InstallDir%",
           "A,0,%%InstallDir%%\nHKLM,K,B,0,%CE2%\\x\nHKLM,K,C,0,%CloseName%\nHKLM,K,D,0,plain"}},
         [](const Package& p) {
             const auto& values = p.instructions.values;
             ASSERT_EQ(values.size(), 4u);
             EXPECT_EQ(values[0].data, std::string("%InstallDir%\0", 13));
             EXPECT_FALSE(values[0].substitute);
             EXPECT_TRUE(values[1].substitute);
             EXPECT_EQ(values[2].data, std::string("Close Korvessa\0", 15));
             EXPECT_FALSE(values[2].substitute || values[3].substitute);
         }},
        {"every value type, with and without no-clobber",
         {{"InstallDir,0x00000000,%InstallDir%",
           "S,0x2,text\nHKLM,K,M,0x00010000,a,b\nHKLM,K,N,0x00010002,c\nHKLM,K,B,0x1,0f,A0\n"
           "HKLM,K,C,0x3\nHKLM,K,D,0x00010001,0x12345678\nHKLM,K,E,65539,7"}},
         [](const Package& p) {
             const struct {
                 std::uint32_t type;
                 std::string data;
             } values[] = {{0x2, std::string("text\0", 5)},
                           {0x10000, std::string("a\0b\0\0", 5)},
                           {0x10002, std::string("c\0\0", 3)},
                           {0x1, "\x0f\xa0"},
                           {0x3, ""},
                           {0x10001, "\x78\x56\x34\x12"},
                           {0x10003, std::string("\x07\0\0\0", 4)}};
             ASSERT_EQ(p.instructions.values.size(), 7u);
             for (std::size_t k = 0; k < 7; ++k) {
                 EXPECT_EQ(p.instructions.values[k].type, values[k].type) << k;
                 EXPECT_EQ(p.instructions.values[k].data, values[k].data) << k;
             }
         }},
        {"a key written from the root",
         {{"HKLM,Software", "HKLM,\\Software"}},
         [](const Package& p) {
             EXPECT_EQ(JoinParts(p.instructions, p.instructions.hives[0].parts),
                       "Software\\Ternwick\\Korvessa");
         }},
        {"absolute folders for the install folder, a section and a shortcut",
         {{"InstallDir=%CE1%\\%AppName%", "InstallDir=\\Program Files\\%AppName%"},
          {"Files=0,%InstallDir%", "Files=0,\\Storage\\Korvessa"},
          {"Links=0,%CE11%", "Links=0,\\windows\\Start Menu\\Tools"}},
         [](const Package& p) {
             const Instructions& in = p.instructions;
             EXPECT_EQ(JoinParts(in, in.directories[0].parts), "Program Files\\Korvessa");
             EXPECT_EQ(JoinParts(in, in.directories[1].parts), "Storage\\Korvessa");
             EXPECT_EQ(in.links[0].base, 17);  // \Windows\Start Menu, the longest %CEn% in it
             EXPECT_EQ(JoinParts(in, in.links[0].parts), "Tools\\Korvessa");
         }},
        {"a folder later Pocket PCs have, once VersionMin leaves CE 3.0 out",
         {{"VersionMin=3.0", "VersionMin=4.0"}, {"Links=0,%CE11%", "Links=0,%ce14%\\Games"}},
         [](const Package& p) {
             EXPECT_EQ(p.instructions.links[0].base, 14);
             EXPECT_EQ(JoinParts(p.instructions, p.instructions.links[0].parts), "Games\\Korvessa");
         }},
        {"the names and the install folder from [Strings], a source's name too",
         {{"Provider=\"Ternwick\"", "Provider=%Maker%"},
          {"InstallDir=%CE1%\\%AppName%", "; InstallDir"},
          {"CloseName=\"Close Korvessa\"",
           "CloseName=\"Close Korvessa\"\nMaker=\"Ternwick\"\nInstallDir=%CE2%\\K"},
          {"Korvessa.exe=1", "%AppName%.exe=1"}},
         [](const Package& p) {
             EXPECT_EQ(p.instructions.provider, "Ternwick");
             EXPECT_EQ(JoinParts(p.instructions, p.instructions.directories[0].parts), "%CE2%\\K");
             EXPECT_EQ(p.instructions.values[0].data, std::string("%InstallDir%\0", 13));
         }},
        {"files to register and no setup library",
         {{"CESetupDLL=Wrenfold.dll", "CESetupDLL=\nCESelfRegister=closekorvessa.exe"}},
         [](const Package& p) {
             EXPECT_EQ(p.instructions.files[0].flags, 0u);
             EXPECT_EQ(p.instructions.files[1].flags, kFileSelfRegister);
             EXPECT_EQ(p.members.size(), 3u) << "no .999";
         }},
        {"a source on a second disk, in a subfolder written in another case",
         {{"1=,\"Files\",,.", "1=,\"Files\",,.\n2=,\"More\",,."},
          {"Korvessa.exe=1", "Korvessa.exe=2,BIN\nTool.exe=2,bin"},
          {"\"Korvessa.exe\",,,0", "\"Korvessa.exe\",tool.EXE,,0"}},
         [this](const Package& p) {
             EXPECT_EQ(p.members.back().path, folder_ + "/./bin/Tool.exe");
         }},
        {"a folder given to a section the .inf lacks",
         {{"DefaultDestDir=0,%InstallDir%", "Gone=0,%CE2%"}},
         [this](const Package& p) {
             EXPECT_EQ(p.notes,
                       std::vector<std::string>{
                           folder_ + "/Korvessa.inf:27: note: [DestinationDirs] gives a folder to "
                                     "[Gone], which the .inf does not have: left out"});
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Package package;
        std::string error;
        if (package_builder::LayOut(WithInf(Changed(kInf, c.edits)), package, error)) {
            c.check(package);
        } else {
            ADD_FAILURE() << error;
        }
    }
}

// Per-processor sections over the plain ones, one package each, all or none of them written.
TEST_F(Builder, EachProcessorNamedGetsItsPackage) {
    const std::string inf = Changed(kInf, {{"ProcessorType=2577", "UnsupportedPlatforms=HPC"}}) +
                            "[CEDevice.ARM]\nProcessorType=2577\nUnsupportedPlatforms=Jupiter,HPC\n"
                            "[CEDevice.SH3]\nProcessorType=10003\nUnsupportedPlatforms=\n"
                            "[DefaultInstall.SH3]\nCESetupDLL=\n"
                            "[SourceDisksNames.SH3]\n2=,\"SH3\",,sh3\n"
                            "[SourceDisksFiles.SH3]\nKorvessa.exe=2\n";
    ASSERT_EQ(mkdir((folder_ + "/sh3").c_str(), 0755), 0);
    Write(folder_ + "/sh3/Korvessa.exe", "application for SH3");
    const Package arm = LaidOut(inf, "ARM");
    ASSERT_EQ(arm.members.size(), 4u);
    EXPECT_EQ(arm.instructions.processor, 2577u);
    EXPECT_EQ(arm.instructions.unsupported, (std::vector<std::string>{"HPC", "Jupiter"}));
    EXPECT_EQ(arm.members[1].name, "WRENFOLD.999");
    EXPECT_EQ(arm.members.back().path, folder_ + "/./Korvessa.exe");
    const Package sh3 = LaidOut(inf, "SH3");
    EXPECT_EQ(sh3.instructions.processor, 10003u);
    EXPECT_EQ(sh3.instructions.unsupported, std::vector<std::string>{"HPC"});
    ASSERT_EQ(sh3.members.size(), 3u) << "CESetupDLL= there, no setup library";
    EXPECT_EQ(sh3.members.back().path, folder_ + "/sh3/Korvessa.exe");
    const Package plain = LaidOut(inf);
    EXPECT_EQ(plain.instructions.processor, 0u);
    ASSERT_EQ(plain.notes.size(), 5u);
    EXPECT_EQ(plain.notes[0], folder_ +
                                  "/Korvessa.inf:36: note: [CEDevice.ARM] left out: no "
                                  "processor was named (--cpu ARM builds from it)");

    std::vector<std::string> notes;
    std::string error;
    Options options = WithInf(inf, {"ARM", "SH3"});
    ASSERT_TRUE(package_builder::BuildPackages(options, notes, error)) << error;
    EXPECT_EQ(Entries(out_).size(), 2u);
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(package_builder::PackagePath(options, "SH3"), out_ + "/Korvessa.SH3.CAB");
    RemoveTree(out_);
    ASSERT_EQ(mkdir(out_.c_str(), 0755), 0);
    // The second cannot be written where a folder stands: the first goes again.
    ASSERT_EQ(mkdir((out_ + "/Korvessa.SH3.CAB").c_str(), 0755), 0);
    EXPECT_FALSE(package_builder::BuildPackages(options, notes, error));
    EXPECT_EQ(Entries(out_), std::vector<std::string>{"Korvessa.SH3.CAB"});
    rmdir((out_ + "/Korvessa.SH3.CAB").c_str());
    // The second is refused: nothing is written.
    unlink((folder_ + "/sh3/Korvessa.exe").c_str());
    ExpectRefused(options,
                  ":47: the source file Korvessa.exe is not at " + folder_ + "/sh3/Korvessa.exe",
                  "SH3's source missing");
}

// Sources as a developer copies them from Windows: whatever the case of their names.
TEST_F(Builder, SourceFilesAreFoundWhateverTheirCase) {
    const std::string inf = Changed(kInf, {{"1=,\"Files\",,.", "1=,\"Files\",,Device\\Build"}});
    ASSERT_EQ(mkdir((folder_ + "/DEVICE").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((folder_ + "/DEVICE/build").c_str(), 0755), 0);
    for (const char* name : {"korvessa.exe", "CLOSEKORVESSA.EXE", "Wrenfold.dll"}) {
        Write(folder_ + "/DEVICE/build/" + name, name);
    }
    const Package package = LaidOut(inf);
    ASSERT_EQ(package.members.size(), 4u);
    EXPECT_EQ(package.members[1].path, folder_ + "/DEVICE/build/Wrenfold.dll");
    EXPECT_EQ(package.members[2].path, folder_ + "/DEVICE/build/CLOSEKORVESSA.EXE");
    EXPECT_EQ(package.members[3].path, folder_ + "/DEVICE/build/korvessa.exe");
    // Two names that differ only in case: which was meant cannot be told.
    Write(folder_ + "/DEVICE/build/KORVESSA.EXE", "another");
    ExpectRefused(inf,
                  ":21: the source file Korvessa.exe is not at " + folder_ +
                      "/Device/Build/Korvessa.exe, where more than one name differs from "
                      "Korvessa.exe only in case",
                  "two names in two cases");
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

    options.inf = folder_ + "/Gone.inf";
    EXPECT_FALSE(package_builder::BuildPackage(options, error));
    EXPECT_EQ(error, options.inf + ": cannot be read");
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
