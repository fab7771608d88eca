// Every platform call fails, one at a time, in every scenario. Each scenario runs once to count
// the calls it makes; then, for each k, on a fresh device set up again, with call k failing.
// After every run: nothing is left open, no caller buffer is written past, files and registry
// values outside what the function may change are as they were, every box is shown whole, and
// the result either reports the failure or is the clean run's result with the clean run's world
// (never success after lost work). Functions that report nothing are held to what they document.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cabinet_edit.h"
#include "canvas.h"
#include "kit/kit.h"
#include "kit/programs.h"
#include "product/product.h"
#include "setup/hooks.h"
#include "sim.h"
#include "standin/cab_installer.h"
#include "support/draw.h"
#include "support/files.h"
#include "support/registry.h"
#include "support/text.h"
#include "support/theme.h"
#include "support/windows.h"

namespace {

const WCHAR* const kApplicationKey = TEXT("Software\\Ternwick\\Korvessa");
const WCHAR* const kFlashPlayerKey = TEXT("CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}");
const WCHAR* const kTestKey = TEXT("Software\\WrenfoldTest");
const WideString kFolder = kit::kTestFolder;
const WideString kInstallDir = kFolder + TEXT("\\Korvessa");
const WideString kProgram = kInstallDir + TEXT("\\Korvessa.exe");
const WideString kPreview = kInstallDir + TEXT("\\Preview");

// Problems a scenario's own code found during one run (a sentinel, a destination written).
std::vector<std::string>& RunProblems() {
    static std::vector<std::string> problems;
    return problems;
}

// A caller's array with guard units on both sides, checked after the call.
template <class T, std::size_t N>
struct Guarded {
    static constexpr T kGuard = static_cast<T>(0x5A);
    T before[8];
    T data[N];
    T after[8];

    explicit Guarded(T fill) {
        std::fill(std::begin(before), std::end(before), kGuard);
        std::fill(std::begin(data), std::end(data), fill);
        std::fill(std::begin(after), std::end(after), kGuard);
    }
    // Reports a guard unit written, and whether the data is still all `fill`.
    bool Untouched(T fill) {
        const auto guard = [](T unit) { return unit == kGuard; };
        if (!std::all_of(std::begin(before), std::end(before), guard) ||
            !std::all_of(std::begin(after), std::end(after), guard)) {
            RunProblems().push_back("a caller buffer was written past");
        }
        return std::all_of(std::begin(data), std::end(data), [&](T unit) { return unit == fill; });
    }
};

// ---- The world, as bytes ----------------------------------------------------------------------

using Snapshot = std::map<std::string, std::string>;

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    return text;
}

void SnapshotKey(HKEY key, const std::string& path, Snapshot& world) {
    for (DWORD index = 0;; ++index) {
        WCHAR name[512];
        DWORD length = 512;
        BYTE data[2048];
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(key, index, name, &length, nullptr, &type, data, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        world["r:" + Lower(path + ":" + kit::Narrow(name))] =
            std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), size);
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[512];
        DWORD length = 512;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        const std::string child = path + "\\" + kit::Narrow(name);
        // The stand-in programs' own start marks are the rig's, not the world's.
        if (Lower(child).find("\\software\\wrenfoldtest\\") != std::string::npos) {
            continue;
        }
        world["k:" + Lower(child)] = "";
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, name, 0, 0, &sub) == ERROR_SUCCESS) {
            SnapshotKey(sub, child, world);
            RegCloseKey(sub);
        }
    }
}

Snapshot TakeSnapshot() {
    Snapshot world;
    SnapshotKey(HKEY_LOCAL_MACHINE, "hklm", world);
    SnapshotKey(HKEY_CURRENT_USER, "hkcu", world);
    SnapshotKey(HKEY_CLASSES_ROOT, "hkcr", world);
    namespace fs = std::filesystem;
    const fs::path root = sim::FileSystemRoot();
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string device = "\\" + fs::relative(entry.path(), root).string();
        std::replace(device.begin(), device.end(), '/', '\\');
        const DWORD attributes = GetFileAttributesW(kit::Widen(device.c_str()).c_str());
        std::string content = std::to_string(attributes) + ":";
        if (entry.is_regular_file()) {
            std::FILE* file = std::fopen(entry.path().c_str(), "rb");
            char block[4096];
            for (std::size_t count = 0;
                 file != nullptr && (count = std::fread(block, 1, sizeof block, file)) > 0;) {
                content.append(block, count);
            }
            if (file != nullptr) {
                std::fclose(file);
            }
        }
        world["f:" + Lower(device)] = content;
    }
    return world;
}

// ---- What a run showed and started ------------------------------------------------------------

struct Run {
    std::string result;
    Snapshot world;
    std::vector<std::string> boxes;      // caption and text
    std::vector<std::string> processes;  // paths started
    std::vector<std::string> problems;
    long calls = 0;
    const char* failed = nullptr;
};

struct Scenario {
    const char* name;
    void (*arrange)();
    std::string (*act)();
    // Results that report a failure. Empty: the function reports none, and any result passes
    // that `documented` accepts (all when it is null).
    std::vector<std::string> failures;
    // Lowercase prefixes of the world's entries the function may change.
    std::vector<std::string> mayChange;
    // Boxes a failure may show besides the clean run's.
    std::vector<std::string> otherBoxes = {};
    bool (*documented)(const std::string& result) = nullptr;
    // Gives back what `arrange` took for the call, once the call has been counted.
    void (*finish)() = nullptr;
    // A run that may report success though its world differs from the clean run's: what the
    // code it calls is documented to leave undone silently.
    bool (*silentlyShort)(const Run& clean, const Run& run) = nullptr;
    // Boxes a failure may show whose text names what the failure left (caption and text).
    bool (*telling)(const std::string& box) = nullptr;
};

Run Play(const Scenario& scenario, long failAt, Snapshot* before) {
    kit::ResetWorld();
    scenario.arrange();
    if (before != nullptr) {
        *before = TakeSnapshot();
    }
    RunProblems().clear();
    sim::ClearEvents();
    Run run;
    sim::FailCall(failAt);
    run.result = scenario.act();
    run.calls = sim::CountedCalls();
    run.failed = sim::FailedCall();
    sim::FailCall(0);
    if (scenario.finish != nullptr) {
        scenario.finish();
    }
    run.problems = RunProblems();
    const std::string open = sim::OpenHandlesReport();
    if (!open.empty()) {
        run.problems.push_back("left open: " + open);
    }
    for (const sim::Event& event : sim::Events()) {
        if (event.kind == sim::EventKind::MessageBox) {
            run.boxes.push_back(kit::Narrow(event.caption) + "|" + kit::Narrow(event.text));
        } else if (event.kind == sim::EventKind::ProcessStarted) {
            run.processes.push_back(Lower(kit::Narrow(event.path)));
        }
    }
    run.world = TakeSnapshot();
    kit::CloseApplication();
    kit::EndWindowOwners();
    return run;
}

bool MayChange(const Scenario& scenario, const std::string& entry) {
    return std::any_of(scenario.mayChange.begin(), scenario.mayChange.end(),
                       [&](const std::string& prefix) { return entry.rfind(prefix, 0) == 0; });
}

template <class T>
bool Contains(const std::vector<T>& list, const T& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// What is wrong with the run that failed call k, judged against the clean run.
std::vector<std::string> Judge(const Scenario& scenario, const Snapshot& before, const Run& clean,
                               const Run& run) {
    std::vector<std::string> problems = run.problems;
    Snapshot outside = before;
    for (const auto& entry : run.world) {
        outside.emplace(entry.first, "(created)");
    }
    for (const auto& entry : outside) {
        if (MayChange(scenario, entry.first)) {
            continue;
        }
        const auto now = run.world.find(entry.first);
        const std::string after = now == run.world.end() ? "(gone)" : now->second;
        const auto was = before.find(entry.first);
        if (after != (was == before.end() ? "(created)" : was->second)) {
            problems.push_back("changed outside its remit: " + entry.first);
        }
    }
    for (const std::string& box : run.boxes) {
        if (!Contains(clean.boxes, box) && !Contains(scenario.otherBoxes, box) &&
            (scenario.telling == nullptr || !scenario.telling(box))) {
            problems.push_back("box shown cut or garbled: " + box);
        }
    }
    for (const std::string& path : run.processes) {
        if (!Contains(clean.processes, path)) {
            problems.push_back("started " + path);
        }
    }
    const bool reportsFailure = Contains(scenario.failures, run.result);
    const bool asClean =
        run.result == clean.result && run.world == clean.world && run.processes == clean.processes;
    const bool silentlyShort =
        scenario.silentlyShort != nullptr && scenario.silentlyShort(clean, run);
    if (!scenario.failures.empty() && !reportsFailure && !asClean && !silentlyShort) {
        problems.push_back("result \"" + run.result + "\" reports no failure, yet the world " +
                           "differs from a clean run's (clean: \"" + clean.result + "\")");
    }
    if (scenario.failures.empty() && scenario.documented != nullptr &&
        !scenario.documented(run.result)) {
        problems.push_back("result \"" + run.result + "\" is not a documented one");
    }
    return problems;
}

struct Totals {
    int scenarios = 0;
    long runs = 0;
};

Totals& SweepTotals() {
    static Totals totals;
    return totals;
}

void Sweep(const std::vector<Scenario>& scenarios) {
    for (const Scenario& scenario : scenarios) {
        Snapshot before;
        const Run clean = Play(scenario, 0, &before);
        ASSERT_TRUE(clean.problems.empty())
            << scenario.name << " (clean): " << clean.problems.front();
        ++SweepTotals().scenarios;
        std::printf("  %-52s %3ld calls\n", scenario.name, clean.calls);
        for (long k = 1; k <= clean.calls; ++k) {
            const Run run = Play(scenario, k, nullptr);
            ++SweepTotals().runs;
            for (const std::string& problem : Judge(scenario, before, clean, run)) {
                ADD_FAILURE() << scenario.name << ", call " << k << " of " << clean.calls << " ("
                              << (run.failed != nullptr ? run.failed : "none")
                              << ") failing: " << problem;
            }
        }
    }
}

std::string Number(long long value) {
    return std::to_string(value);
}

// ---- Arrangements -----------------------------------------------------------------------------

const std::string kAbortBox =
    "Installation Aborted|Macromedia Flash player not detected!\n\nKorvessa requires the "
    "Macromedia Flash Player for Pocket PC is installed before it can be used.\n\nDownload the "
    "player from http://www.macromedia.com/dlflash.htm then attempt the installation again.";

void Bystanders() {
    // The stand-in programs keep their start marks below this key.
    kit::CreateKey(HKEY_CURRENT_USER, kTestKey);
    kit::MakeFolder(kFolder);
    kit::MakeFile(kFolder + TEXT("\\keep.txt"), "keep me");
    kit::CreateKey(HKEY_LOCAL_MACHINE, TEXT("Software\\Other"));
    kit::SetString(HKEY_LOCAL_MACHINE, TEXT("Software\\Other"), TEXT("Keep"), TEXT("value"));
}

void InstallFolder() {
    Bystanders();
    kit::MakeFolder(kInstallDir);
    kit::CreateKey(HKEY_LOCAL_MACHINE, kApplicationKey);
    kit::SetString(HKEY_LOCAL_MACHINE, kApplicationKey, TEXT("InstallDir"), kInstallDir);
}

void FlashPlayer() {
    kit::CreateKey(HKEY_CLASSES_ROOT, kFlashPlayerKey);
}

void RunningApplication() {
    kit::InstallStandInApplication(kProgram.c_str());
    kit::StartProgram(kProgram);
}

void PreviewFiles() {
    kit::MakeFolder(kPreview);
    kit::MakeFile(kPreview + TEXT("\\one.png"), "1");
    kit::MakeFile(kPreview + TEXT("\\two"), "2");
    kit::MakeFile(kPreview + TEXT("\\locked.png"), "3", FILE_ATTRIBUTE_READONLY);
    kit::MakeFolder(kPreview + TEXT("\\Sub"));
    kit::MakeFile(kPreview + TEXT("\\Sub\\inner.png"), "4");
    // What an empty or unread install folder would reach.
    kit::MakeFolder(TEXT("\\Preview"));
    kit::MakeFile(TEXT("\\Preview\\root.png"), "r");
}

const std::vector<std::string> kPreviewOnly = {"f:\\wrenfoldtest\\korvessa\\preview\\"};

std::string Hook(int result) {
    return Number(result);
}

// ---- Scenarios: the hooks and the close program -----------------------------------------------

std::vector<Scenario> HookScenarios() {
    const auto anyHookResult = [](const std::string& result) {
        return result == "0" || result == "1";
    };
    return {
        {"Install_Init without the Flash Player",
         [] { InstallFolder(); },
         [] { return Hook(Install_Init(nullptr, TRUE, FALSE, kInstallDir.c_str())); },
         {},
         {},
         {},
         [](const std::string& result) { return result == "1"; }},
        {"Install_Init over the running application",
         [] {
             InstallFolder();
             FlashPlayer();
             RunningApplication();
         },
         [] { return Hook(Install_Init(nullptr, TRUE, FALSE, kInstallDir.c_str())); },
         {},
         {},
         // The Flash Player key that cannot be opened is, to the hook, a missing one.
         {kAbortBox},
         anyHookResult},
        {"Install_Init with nothing running",
         [] {
             InstallFolder();
             FlashPlayer();
         },
         [] { return Hook(Install_Init(nullptr, TRUE, FALSE, kInstallDir.c_str())); },
         {},
         {},
         {kAbortBox},
         anyHookResult},
        {"Install_Exit starting the application",
         [] {
             InstallFolder();
             kit::InstallStandInApplication(kProgram.c_str());
         },
         [] { return Hook(Install_Exit(nullptr, kInstallDir.c_str(), 0, 0, 0, 0, 0)); },
         {},
         {},
         {},
         [](const std::string& result) { return result == "0"; }},
        {"Install_Exit without InstallDir",
         [] {
             Bystanders();
             kit::InstallStandInApplication(TEXT("\\Korvessa.exe"));
         },
         [] { return Hook(Install_Exit(nullptr, kInstallDir.c_str(), 0, 0, 0, 0, 0)); },
         {},
         {},
         {},
         [](const std::string& result) { return result == "0"; }},
        {"Uninstall_Init with the browser and the application",
         [] {
             InstallFolder();
             RunningApplication();
             kit::CreateRecordingWindow(TEXT("IEFrame"), TEXT("Internet Explorer"));
             PreviewFiles();
         },
         [] { return Hook(Uninstall_Init(nullptr, kInstallDir.c_str())); },
         {},
         kPreviewOnly,
         {},
         [](const std::string& result) { return result == "0"; }},
        {"Uninstall_Init with nothing running",
         [] {
             InstallFolder();
             PreviewFiles();
         },
         [] { return Hook(Uninstall_Init(nullptr, kInstallDir.c_str())); },
         {},
         kPreviewOnly,
         {},
         [](const std::string& result) { return result == "0"; }},
        {"Uninstall_Exit",
         [] { InstallFolder(); },
         [] { return Hook(Uninstall_Exit(nullptr)); },
         {},
         {},
         {},
         [](const std::string& result) { return result == "0"; }},
        {"CloseKorvessa with the application",
         [] {
             InstallFolder();
             RunningApplication();
         },
         [] {
             WCHAR line[] = TEXT("");
             return Hook(CloseKorvessaMain(nullptr, nullptr, line, SW_SHOW));
         },
         {},
         {},
         // The search failing is, to the program, the application not running.
         {"Close Korvessa|Korvessa is not currently loaded"},
         [](const std::string& result) { return result == "0"; }},
        {"CloseKorvessa without the application",
         [] { InstallFolder(); },
         [] {
             WCHAR line[] = TEXT("");
             return Hook(CloseKorvessaMain(nullptr, nullptr, line, SW_SHOW));
         },
         {},
         {},
         {},
         [](const std::string& result) { return result == "0"; }},
        {"DeleteFilesInFolder",
         [] {
             InstallFolder();
             PreviewFiles();
         },
         [] { return Hook(DeleteFilesInFolder(kPreview.c_str(), TEXT("*.*"))); },
         {},
         kPreviewOnly,
         {},
         // -1 when the search cannot start, else what ending the search returned.
         [](const std::string& result) {
             return result == "-1" || result == "0" || result == "1";
         }},
    };
}

// ---- Scenarios: the registry helpers ----------------------------------------------------------

void RegistryValues() {
    Bystanders();
    kit::CreateKey(HKEY_LOCAL_MACHINE, kTestKey);
    kit::SetString(HKEY_LOCAL_MACHINE, kTestKey, TEXT("Text"), TEXT("hello"));
    kit::SetDword(HKEY_LOCAL_MACHINE, kTestKey, TEXT("Number"), 0x01020304);
    kit::CreateKey(HKEY_LOCAL_MACHINE, (WideString(kTestKey) + TEXT("\\Child")).c_str());
}

std::string ReadText() {
    Guarded<WCHAR, 16> destination(u'#');
    const BOOL read = ReadHklmString(kTestKey, TEXT("Text"), destination.data, 16);
    const bool untouched = destination.Untouched(u'#');
    if (!read) {
        return untouched ? "0" : "0, destination written";
    }
    return "1 " + kit::Narrow(destination.data);
}

// A walk over the names below the test key, as far as it goes.
std::string WalkValueNames() {
    HKEY key = nullptr;
    if (OpenHklmKey(kTestKey, key) != ERROR_SUCCESS) {
        return "no key";
    }
    std::string names;
    DWORD index = 0;
    Guarded<WCHAR, 32> name(u'#');
    while (NextRegValueName(key, index, name.data, 32)) {
        names += kit::Narrow(name.data) + ",";
    }
    name.Untouched(u'#');
    CloseRegKey(key);
    return names;
}

std::vector<Scenario> RegistryScenarios() {
    const std::vector<std::string> testKey = {"r:hklm\\software\\wrenfoldtest:"};
    return {
        {"ReadHklmString", RegistryValues, ReadText, {"0"}, {}},
        {"WriteHklmString",
         RegistryValues,
         [] { return Number(WriteHklmString(kTestKey, TEXT("Text"), TEXT("changed"))); },
         {"0"},
         testKey},
        {"ReadHklmDword",
         RegistryValues,
         [] { return Number(ReadHklmDword(kTestKey, TEXT("Number"))); },
         {"0"},
         {}},
        {"WriteHklmDword",
         RegistryValues,
         [] { return Number(WriteHklmDword(kTestKey, TEXT("Number"), 7)); },
         {"0"},
         testKey},
        {"RegKeyExists",
         RegistryValues,
         [] { return Number(RegKeyExists(HKEY_LOCAL_MACHINE, kTestKey)); },
         {"0"},
         {}},
        // A walk cannot tell a failure from the end of the list: a shorter list is documented.
        {"NextRegValueName walk",
         RegistryValues,
         WalkValueNames,
         {},
         {},
         {},
         [](const std::string& result) {
             return result == "no key" || result == "" || result == "Text," ||
                    result == "Text,Number,";
         }},
        {"NextRegSubkeyName",
         RegistryValues,
         [] {
             HKEY key = nullptr;
             if (OpenHklmKey(kTestKey, key) != ERROR_SUCCESS) {
                 return std::string("no key");
             }
             Guarded<WCHAR, 16> name(u'#');
             DWORD index = 0;
             const BOOL found = NextRegSubkeyName(key, index, name.data, 16);
             const bool untouched = name.Untouched(u'#');
             CloseRegKey(key);
             return found ? "1 " + kit::Narrow(name.data) + " " + Number(index)
                          : (untouched && index == 0 ? "0" : "0, destination or index written");
         },
         {"no key", "0"},
         {}},
    };
}

// ---- Scenarios: the file helpers --------------------------------------------------------------

const WideString kSource = kFolder + TEXT("\\source.bin");
const WideString kTarget = kFolder + TEXT("\\target.bin");

void Files() {
    Bystanders();
    std::string content;
    for (int i = 0; i < 9000; ++i) {
        content += static_cast<char>('a' + i % 26);
    }
    kit::MakeFile(kSource, content);
    kit::MakeFile(kTarget, "old target");
    kit::MakeFolder(kFolder + TEXT("\\Locked"));
    kit::MakeFile(kFolder + TEXT("\\Locked\\a.txt"), "a", FILE_ATTRIBUTE_READONLY);
    kit::MakeFile(kFolder + TEXT("\\Locked\\b.txt"), "b",
                  FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    kit::MakeFile(kFolder + TEXT("\\Locked\\c.txt"), "c");
}

std::string WholeFile() {
    DWORD size = 12345;
    BYTE* buffer = ReadWholeFile(kSource, size);
    if (buffer == nullptr) {
        return size == 0 ? "null" : "null with size " + Number(size);
    }
    const std::string result = Number(size) + (buffer[size] == 0 ? " terminated" : "");
    std::free(buffer);
    return size == 0 ? "buffer, 0" : result;
}

std::string FileHead() {
    DWORD size = 100;
    BYTE* buffer = ReadFileHead(kSource, size);
    if (buffer == nullptr) {
        return size == 0 ? "null" : "null with size " + Number(size);
    }
    const std::string result = std::string(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return size == 0 ? "buffer, 0" : result;
}

std::vector<Scenario> FileScenarios() {
    const std::vector<std::string> target = {"f:\\wrenfoldtest\\target.bin"};
    return {
        {"ReadWholeFile", Files, WholeFile, {"null", "buffer, 0"}, {}},
        {"ReadFileHead", Files, FileHead, {"null", "buffer, 0"}, {}},
        // Reports nothing: the target may be left as far as it was written.
        {"WriteWholeFile",
         Files,
         [] {
             WriteWholeFile(kTarget, "new content", 11);
             return std::string("done");
         },
         {},
         target},
        {"GetFileWriteTime",
         Files,
         [] {
             FILETIME time{1, 1};
             GetFileWriteTime(kSource.c_str(), time);
             return std::string(IsFileTimeZero(time) ? "0" : "a time");
         },
         {"0"},
         {}},
        // The count includes an entry whose change failed: a failed change is not reported. A
        // search that breaks off counts the entries it reached.
        {"ClearReadOnlyInFolder",
         Files,
         [] {
             return Number(
                 ClearReadOnlyInFolder((kFolder + TEXT("\\Locked")).c_str(), TEXT("*.txt")));
         },
         {},
         {"f:\\wrenfoldtest\\locked\\"},
         {},
         [](const std::string& result) {
             return result == "0" || result == "1" || result == "2" || result == "3";
         }},
        {"ScrambleCopyFile",
         Files,
         [] { return Number(ScrambleCopyFile(kSource.c_str(), kTarget.c_str())); },
         {"0"},
         target},
        {"MakeTempFileName", Files, [] { return kit::Narrow(MakeTempFileName()); }, {}, {}},
    };
}

// ---- Scenarios: windows, processes, system ----------------------------------------------------

const WCHAR* const kLibrary = TEXT("\\WrenfoldTest\\register.dll");

kit::WindowOwner& Sought() {
    static kit::WindowOwner owner;
    return owner;
}

void Dialog() {
    Bystanders();
    const HWND dialog = kit::CreateTestWindow(TEXT("Dialog"), nullptr, TEXT("dialog"));
    kit::CreateTestWindow(TEXT("Edit"), dialog, TEXT("control text"), 42);
    kit::CreateTestWindow(TEXT("Static"), dialog, TEXT("other"), 43);
}

HWND DialogWindow() {
    return FindWindowW(TEXT("Dialog"), TEXT("dialog"));
}

std::vector<Scenario> WindowScenarios() {
    return {
        {"ReadDialogItemText",
         Dialog,
         [] {
             Guarded<WCHAR, 32> text(u'#');
             const BOOL read = ReadDialogItemText(DialogWindow(), 42, text.data, 32);
             const bool untouched = text.Untouched(u'#');
             return read ? "1 " + kit::Narrow(text.data) : untouched ? "0" : "0, written";
         },
         {"0"},
         {}},
        {"IsPocketPcPlatform", Bystanders, [] { return Number(IsPocketPcPlatform()); }, {"0"}, {}},
        {"FindDescendantByClass",
         Dialog,
         [] { return Number(FindDescendantByClass(DialogWindow(), TEXT("static")) != nullptr); },
         {"0"},
         {}},
        {"FindWindowByProcessId",
         [] {
             Bystanders();
             kit::StartWindowOwner(TEXT("Other"), 2);
             Sought() = kit::StartWindowOwner(TEXT("Sought"), 1);
         },
         [] {
             const HWND found = FindWindowByProcessId(Sought().processId);
             return found == nullptr ? std::string("none")
                                     : Number(found == Sought().windows.front());
         },
         {"none"},
         {}},
        {"ShowSystemError",
         Bystanders,
         [] { return Number(ShowSystemError(TEXT("Could not copy"), ERROR_FILE_NOT_FOUND)); },
         {"0"},
         {},
         {"System Error|Could not copy\n\nSystem Error: 2\n\nUnknown error."}},
        {"RegisterServerLibrary",
         [] {
             Bystanders();
             kit::InstallTestLibrary(kLibrary, true);
         },
         [] { return Number(RegisterServerLibrary(kLibrary)); },
         {"0"},
         {},
         {},
         nullptr},
    };
}

// ---- Scenarios: the Today theme -------------------------------------------------------------

const WCHAR* const kTodayKey = TEXT("Software\\Microsoft\\Today");
const WCHAR* const kColorKey = TEXT("Software\\Microsoft\\Color");

void Theme() {
    Bystanders();
    kit::InstallStandInInstaller();
    kit::CreateKey(HKEY_CURRENT_USER, kTodayKey);
    kit::SetString(HKEY_CURRENT_USER, kTodayKey, TEXT("Skin"), TEXT("\\Old.cab"));
    kit::SetDword(HKEY_CURRENT_USER, kTodayKey, TEXT("UseStartImage"), 0);
    kit::CreateKey(HKEY_LOCAL_MACHINE, kColorKey);
    kit::SetDword(HKEY_LOCAL_MACHINE, kColorKey, TEXT("0"), 1);
    kit::SetDword(HKEY_LOCAL_MACHINE, kColorKey, TEXT("Restriction"), 2);
    kit::SetDword(HKEY_LOCAL_MACHINE, kColorKey, TEXT("1"), 3);
    kit::MakeFile(TEXT("\\Windows\\tdywater.gif"), "old today");
    kit::MakeFile(TEXT("\\Windows\\stwater.gif"), "old start");
    kit::PutPackage("WaterToday.tsk", kFolder + TEXT("\\Blue.tsk"));
}

std::vector<Scenario> ThemeScenarios() {
    const std::vector<std::string> themeState = {
        "r:hkcu\\software\\microsoft\\today:", "r:hklm\\software\\microsoft\\color:",
        "f:\\windows\\tdywater.gif", "f:\\windows\\stwater.gif", "f:\\wrenfoldtest\\blue.tsk"};
    return {
        // FALSE only when the installer cannot start; a step around it that fails (attributes,
        // pictures, registry, broadcast) is documented to leave the others going, unreported.
        {"InstallTodayTheme",
         Theme,
         [] { return Number(InstallTodayTheme((kFolder + TEXT("\\Blue.tsk")).c_str())); },
         {},
         themeState,
         {},
         [](const std::string& result) { return result == "0" || result == "1"; }},
        {"ReadCurrentTodayTheme",
         Theme,
         [] {
             Guarded<WCHAR, 32> path(u'#');
             const BOOL read = ReadCurrentTodayTheme(path.data, 32);
             const bool untouched = path.Untouched(u'#');
             return read ? "1 " + kit::Narrow(path.data) : untouched ? "0" : "0, written";
         },
         {"0"},
         {}},
        // Reports only the broadcast's result; a failed step is documented to leave the rest
        // going.
        {"ResetTodayTheme", Theme, [] { return Number(ResetTodayTheme()); }, {}, themeState},
        {"RefreshTodayScreen", Theme, [] { return Number(RefreshTodayScreen()); }, {"0"}, {}},
    };
}

// ---- Scenarios: the CE installer and its removal program, with the product's hooks --------

const WCHAR* const kPackageOnDevice = TEXT("\\My Documents\\Korvessa.cab");
const WCHAR* const kInstalledProgram = TEXT("\\Program Files\\Korvessa\\Korvessa.exe");

void PackageToInstall() {
    Bystanders();
    FlashPlayer();
    kit::InstallStandInInstaller();
    kit::MakeFolders(TEXT("\\My Documents"));
    kit::PutPackage("Korvessa.cab", kPackageOnDevice);
}

void PackageInstalled() {
    PackageToInstall();
    kit::RunInstaller(TEXT("/noui \"") + WideString(kPackageOnDevice) + TEXT("\""));
}

// Korvessa.cab with Korvessa.exe flagged to register itself (its first file entry's flags), and
// the library the simulated device loads in its place.
void SelfRegisteringPackage() {
    PackageToInstall();
    std::string package = kit::ReadFileText(kPackageOnDevice);
    const std::string instructions = cabinet_edit::Member(package, 0);
    const std::size_t flags = cabinet_edit::Get(instructions, 68, 4) + 6;
    std::string registering(4, '\0');
    cabinet_edit::Put(registering, 0, cabinet_edit::Get(instructions, flags, 4) | 0x10000000u, 4);
    cabinet_edit::ChangeMember(package, 0, flags, registering);
    kit::MakeFile(kPackageOnDevice, package);
    sim::RegisterLibrary(kInstalledProgram, {"DllRegisterServer", "DllUnregisterServer"});
}

void SelfRegisteredInstalled() {
    SelfRegisteringPackage();
    kit::RunInstaller(TEXT("/noui \"") + WideString(kPackageOnDevice) + TEXT("\""));
}

// The installed Korvessa and the package again, to install over it.
void InstalledWithPackage() {
    PackageInstalled();
    kit::PutPackage("Korvessa.cab", kPackageOnDevice);
}

// The same, the user answering the installer's question with `button`.
template <int button>
void Asked() {
    InstalledWithPackage();
    kit::AnswerBoxesWith(button);
}

// Install_Exit is documented to leave the application unstarted without a word when it cannot
// start it: such a run lacks the start and the stand-in's mark of it, and nothing else.
bool ApplicationNotStarted(const Run& clean, const Run& run) {
    const auto withoutStarts = [](Snapshot world) {
        for (auto entry = world.begin(); entry != world.end();) {
            const bool start =
                entry->first.find("hkcu\\software\\wrenfoldtest\\standin") != std::string::npos;
            entry = start ? world.erase(entry) : std::next(entry);
        }
        return world;
    };
    return run.result == clean.result && run.processes.empty() &&
           withoutStarts(run.world) == withoutStarts(clean.world);
}

// What the installer and unload.exe tell of a failure: why it refused, or the parts it left.
bool TellsWhatWasLeft(const std::string& box) {
    return box.rfind("Ternwick Korvessa|Ternwick Korvessa is installed, but not completely.", 0) ==
               0 ||
           box.rfind("Ternwick Korvessa|Ternwick Korvessa is removed, but not completely.", 0) ==
               0 ||
           box.rfind("Installation Failed|\\My Documents\\Korvessa.cab cannot be installed: ", 0) ==
               0 ||
           box ==
               "Setup Failed|The file \"\\My Documents\\Korvessa.cab\" is not a valid "
               "Windows CE Setup file.";
}

DWORD Install(const WCHAR* switches) {
    return RunCabInstaller(
        (WideString(switches) + TEXT(" \"") + kPackageOnDevice + TEXT("\"")).c_str(),
        ProductSetupLibrary());
}

std::string InstallQuietly() {
    return Number(Install(TEXT("/noui")));
}

std::string InstallAsking() {
    return Number(Install(TEXT("")));
}

std::string RemoveKorvessa() {
    return Number(RunUnload(TEXT("\"Ternwick Korvessa\""), ProductSetupLibrary()));
}

// What an installation or removal may touch: the package's own places, the device's record of
// it, and the marks the stand-ins leave for tests.
const std::vector<std::string> kInstalls = {
    "f:\\program files",      "f:\\windows",
    "f:\\my documents",       "k:hklm\\software\\ternwick",
    "k:hklm\\software\\apps", "r:hklm\\software\\ternwick",
    "r:hklm\\software\\apps", "r:hkcu\\software\\wrenfoldtest"};

// Each runs on the caller's thread, so that every call of the installer and the hooks fails in
// turn; an installation that fails is cancelled, refused, reported incomplete or undone.
Scenario Installing(const char* name, void (*arrange)(), std::string (*act)()) {
    return {name,        arrange, act,     {"1", "2", "3", "5", "6"}, kInstalls,
            {kAbortBox}, nullptr, nullptr, ApplicationNotStarted,     TellsWhatWasLeft};
}

Scenario Removing(const char* name, void (*arrange)()) {
    return {name,    arrange, RemoveKorvessa, {"1", "2", "4", "5"}, kInstalls, {},
            nullptr, nullptr, nullptr,        TellsWhatWasLeft};
}

std::vector<Scenario> InstallerScenarios() {
    return {
        Installing("WCELOAD installing Korvessa.cab", PackageToInstall, InstallQuietly),
        Removing("unload removing Korvessa", PackageInstalled),
        // The earlier installation removed as unload.exe removes it, then the new one.
        Installing("WCELOAD replacing Korvessa, under /noui", InstalledWithPackage, InstallQuietly),
        Installing("WCELOAD replacing Korvessa, the user agreeing", Asked<IDYES>, InstallAsking),
        Installing("WCELOAD replacing Korvessa, the user declining", Asked<IDNO>, InstallAsking),
        Installing("WCELOAD installing a self-registering Korvessa.cab", SelfRegisteringPackage,
                   InstallQuietly),
        Removing("unload removing a self-registered Korvessa", SelfRegisteredInstalled),
    };
}

// ---- Scenarios: text conversion and drawing ---------------------------------------------------

std::unique_ptr<canvas::Canvas>& Drawing() {
    static std::unique_ptr<canvas::Canvas> drawing;
    return drawing;
}

std::vector<Scenario> TextAndDrawScenarios() {
    return {
        {"Utf8ToWide",
         Bystanders,
         [] {
             Guarded<WCHAR, 16> wide(u'#');
             const LPWSTR converted = Utf8ToWide("caf\xC3\xA9", wide.data, 16);
             wide.Untouched(u'#');
             return converted == nullptr
                        ? "null, error " + Number(GetLastError() == ERROR_SUCCESS ? 0 : 1)
                        : kit::HexUnits(converted);
         },
         {"null, error 1"},
         {}},
        {"WideToUtf8",
         Bystanders,
         [] {
             Guarded<char, 16> narrow('#');
             const LPSTR converted = WideToUtf8(TEXT("caf\u00E9"), narrow.data, 16);
             narrow.Untouched('#');
             return converted == nullptr
                        ? "null, error " + Number(GetLastError() == ERROR_SUCCESS ? 0 : 1)
                        : std::string(converted);
         },
         {"null, error 1"},
         {}},
        // Reports nothing; the object selected before must be selected again afterwards, and
        // every brush it made deleted.
        {"FillBandedGradient",
         [] {
             Bystanders();
             Drawing() = std::make_unique<canvas::Canvas>(40, 10, RGB(0, 128, 128));
             SelectObject(Drawing()->dc(), GetStockObject(GRAY_BRUSH));
         },
         [] {
             FillBandedGradient(Drawing()->dc(), RECT{0, 0, 40, 10}, RGB(0, 0, 0),
                                RGB(255, 255, 255), 4);
             return std::string(GetCurrentObject(Drawing()->dc(), OBJ_BRUSH) ==
                                        GetStockObject(GRAY_BRUSH)
                                    ? "restored"
                                    : "not restored");
         },
         {},
         {},
         {},
         [](const std::string& result) { return result == "restored"; },
         [] { Drawing().reset(); }},
        {"IsHighDensityDisplay",
         Bystanders,
         [] {
             int horizontal = -1;
             int vertical = -1;
             const BOOL high = IsHighDensityDisplay(horizontal, vertical);
             return Number(high) + " " + Number(horizontal) + " " + Number(vertical);
         },
         {},
         {},
         {},
         [](const std::string& result) {
             return result == "0 96 96" || result == "0 0 96" || result == "0 96 0" ||
                    result == "0 0 0";
         }},
    };
}

// The failure point itself: the n-th call of the kind chosen, only calls of that kind counted,
// and a close that fails still gives its handle back.
TEST(FailurePoint, FailsTheNthCallOfItsKind) {
    kit::ResetWorld();
    Bystanders();
    sim::FailCall(2, sim::CallKind::Registry);
    EXPECT_NE(GetFileAttributesW(kFolder.c_str()), INVALID_FILE_ATTRIBUTES) << "not counted";
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("Software\\Other"), 0, 0, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(sim::FailedCall(), nullptr);
    EXPECT_NE(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_STREQ(sim::FailedCall(), "RegCloseKey");
    EXPECT_EQ(sim::OpenHandlesReport(), "");
    EXPECT_EQ(RegKeyExists(HKEY_LOCAL_MACHINE, TEXT("Software\\Other")), TRUE) << "once only";
    EXPECT_EQ(sim::CountedCalls(), 5);

    sim::FailCall(1);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(CreateFileW((kFolder + TEXT("\\keep.txt")).c_str(), GENERIC_READ, 0, nullptr,
                          OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    sim::FailCall(0);
}

TEST(FailureSweep, Hooks) {
    Sweep(HookScenarios());
}
TEST(FailureSweep, Registry) {
    Sweep(RegistryScenarios());
}
TEST(FailureSweep, Files) {
    Sweep(FileScenarios());
}
TEST(FailureSweep, Windows) {
    Sweep(WindowScenarios());
}
TEST(FailureSweep, Theme) {
    Sweep(ThemeScenarios());
}
TEST(FailureSweep, Installer) {
    Sweep(InstallerScenarios());
}

TEST(FailureSweep, TextAndDrawing) {
    Sweep(TextAndDrawScenarios());
}

// The counts for the report, once every sweep has run.
class Report : public ::testing::Environment {
  public:
    void TearDown() override {
        std::printf("failure sweep: %d scenarios, %ld runs with one call failing\n",
                    SweepTotals().scenarios, SweepTotals().runs);
    }
};
const auto* const kReport = ::testing::AddGlobalTestEnvironment(new Report);

}  // namespace
