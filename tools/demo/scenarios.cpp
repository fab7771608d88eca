// The package's life, described once: each scenario sets the device up through the Win32 API and
// the world (tools/world), then plays the installer's and the user's steps on the stage
// (stage.h), which shows them.
#include "demo/scenarios.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "demo/stage.h"
#include "demo/transcript.h"
#include "standin/install_record.h"
#include "support/compat.h"

namespace {

const WCHAR* const kInstallDir = TEXT("\\Program Files\\Korvessa");
const WCHAR* const kProgram = TEXT("\\Program Files\\Korvessa\\Korvessa.exe");
const WCHAR* const kPreview = TEXT("\\Program Files\\Korvessa\\Preview");
const WCHAR* const kPackage = TEXT("\\My Documents\\Korvessa.cab");
const WCHAR* const kShortcuts = TEXT("\\Windows\\Start Menu\\Programs");
const WCHAR* const kApplicationName = TEXT("Ternwick Korvessa");
const WCHAR* const kFlashPlayerKey = TEXT("CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}");

// ---- Setting the device up, through its own interface -------------------------------------

WideString Quoted(const WCHAR* text) {
    return TEXT("\"") + WideString(text) + TEXT("\"");
}

struct Device {
    bool flashPlayer;
    bool installed;  // Korvessa installed from its package once, and so running
    bool browserOpen;
    bool previewFiles;
};

// A Pocket PC with its installer, Korvessa.cab in My Documents as the user copied it there, and
// what the scenario asks for.
void PrepareDevice(const Device& device) {
    stage::Reset();
    world::CreateKey(HKEY_LOCAL_MACHINE, TEXT("Software"));
    // A Pocket PC's own folders.
    for (const WCHAR* folder : {TEXT("\\My Documents"), TEXT("\\Program Files"),
                                TEXT("\\Windows\\Start Menu\\Programs")}) {
        world::MakeFolders(folder);
    }
    if (device.flashPlayer) {
        world::CreateKey(HKEY_CLASSES_ROOT, kFlashPlayerKey);
    }
    if (device.installed) {
        world::PutPackage("Korvessa.cab", kPackage);
        stage::RunInstaller(Quoted(kPackage));
    }
    if (device.previewFiles) {
        const WideString preview(kPreview);
        CreateDirectoryW(kPreview, nullptr);
        CreateDirectoryW((preview + TEXT("\\Thumbnails")).c_str(), nullptr);
        world::MakeFile(preview + TEXT("\\intro.swf"), "preview");
        world::MakeFile(preview + TEXT("\\scene1.png"), "preview");
        world::MakeFile(preview + TEXT("\\pinned.png"), "preview", FILE_ATTRIBUTE_READONLY);
        world::MakeFile(preview + TEXT("\\Thumbnails\\scene1.png"), "thumbnail");
    }
    if (device.browserOpen) {
        stage::OpenBrowser();
    }
    world::PutPackage("Korvessa.cab", kPackage);
}

// ---- What the transcript shows -------------------------------------------------------------

// Runs one step and shows what it did on the device.
void Step(const char* title, const std::function<std::string()>& step) {
    stage::Say(std::string("  ") + title);
    stage::BeginStep();
    stage::EndStep(step());
}

// A folder's entries in name order (the file system keeps its own), folders with their contents.
void ListFolder(const WideString& folder, const std::string& indent = "    ") {
    std::vector<std::pair<WideString, DWORD>> entries;
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstEntry((folder + TEXT("\\*.*")).c_str(), entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            entries.emplace_back(entry.cFileName, entry.dwFileAttributes);
        } while (FindNextEntry(search, entry));
        FindClose(search);
    }
    if (entries.empty()) {
        stage::Say(indent + (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES
                                 ? "(no such folder)"
                                 : "(empty)"));
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& [name, attributes] : entries) {
        const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        stage::Say(indent + Utf8(name) + (isFolder ? "\\" : "") +
                   ((attributes & FILE_ATTRIBUTE_READONLY) != 0 ? " (read-only)" : ""));
        if (isFolder) {
            WideString inside = folder;
            inside += TEXT("\\");
            inside += name;
            ListFolder(inside, indent + "  ");
        }
    }
}

std::string ReadText(HKEY root, const WCHAR* path, const WCHAR* name) {
    return world::GetValue(root, path, name).present
               ? "\"" + Utf8(world::GetString(root, path, name)) + "\""
               : "(none)";
}

std::string FileText(const WideString& path) {
    const std::string text = world::ReadFileText(path);
    return text == "<missing>" ? "(none)" : text;
}

const char* RootName(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? "HKLM" : root == HKEY_CURRENT_USER ? "HKCU" : "HKCR";
}

bool Exists(const WideString& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What the installer put on the device, as its removal record lists it, in its order.
void ShowRemovalRecord(const std::vector<RecordEntry>& entries) {
    for (const RecordEntry& entry : entries) {
        const std::string path = Utf8(entry.path);
        switch (entry.kind) {
            case RecordKind::Folder:
                stage::Say("      made folder " + path);
                break;
            case RecordKind::File:
                stage::Say("      copied " + path);
                break;
            case RecordKind::Key:
                stage::Say("      made key " + std::string(RootName(entry.root)) + "\\" + path);
                break;
            case RecordKind::Value:
                stage::Say("      set " + std::string(RootName(entry.root)) + "\\" + path + ", " +
                           Utf8(entry.name) + ": " +
                           ReadText(entry.root, entry.path.c_str(), entry.name.c_str()));
                break;
            case RecordKind::Link:
                stage::Say("      made shortcut " + path + ": " + FileText(entry.path));
                break;
        }
    }
}

// The Apps key's values, in the order the device's Control Panel header gives them.
void ShowListing(const WideString& apps) {
    for (const WCHAR* name : {TEXT("Instl"), TEXT("InstlDir"), TEXT("InstlDirCnt"), TEXT("IsvFile"),
                              TEXT("CmdFile"), TEXT("CabFile"), TEXT("InstallDir")}) {
        const world::StoredValue value = world::GetValue(HKEY_LOCAL_MACHINE, apps.c_str(), name);
        if (value.present) {
            stage::Say(
                "      " + Utf8(name) + ": " +
                (value.type == REG_DWORD
                     ? std::to_string(world::GetDword(HKEY_LOCAL_MACHINE, apps.c_str(), name))
                     : ReadText(HKEY_LOCAL_MACHINE, apps.c_str(), name)));
        }
    }
}

// The device's records of Korvessa, where the installer keeps them: the removal record, the
// setup library and instructions kept for removal, and the key that lists it in Remove Programs.
void ShowRecords() {
    const WideString unload = RemovalRecordPath(kApplicationName);
    const WideString library = KeptLibraryPath(kApplicationName);
    const WideString instructions = KeptInstructionsPath(kApplicationName);
    const WideString apps = AppsKeyPath(kApplicationName);
    std::vector<RecordEntry> entries;
    const bool recorded = ReadRecord(unload, entries);
    const bool listed = world::KeyExists(HKEY_LOCAL_MACHINE, apps.c_str());
    if (!recorded && !Exists(library) && !Exists(instructions) && !listed) {
        stage::Say("  The device keeps no record of " + Utf8(kApplicationName) +
                   ", and Remove Programs does not list it.");
        return;
    }
    stage::Say("  The device's records of " + Utf8(kApplicationName) + ":");
    if (recorded) {
        stage::Say("    " + Utf8(unload) + ", what the installer put on the device, in its order:");
        ShowRemovalRecord(entries);
    }
    if (Exists(library)) {
        stage::Say("    " + Utf8(library) + ", the setup library, kept for removal");
    }
    if (Exists(instructions)) {
        stage::Say("    " + Utf8(instructions) + ", the package's instructions, kept for removal");
    }
    if (listed) {
        stage::Say("    HKLM\\" + Utf8(apps) + ", which lists it in Remove Programs:");
        ShowListing(apps);
    }
}

std::string Running() {
    return world::ApplicationWindow() != nullptr ? "Korvessa is running"
                                                 : "Korvessa is not running";
}

std::string Installed(DWORD exitCode) {
    switch (exitCode) {
        case kInstallerDone:
            return "exit code 0 (done); " + Running();
        case kInstallerCancelled:
            return "exit code 1 (cancelled): nothing is installed";
        default:
            return "exit code " + std::to_string(exitCode) + " (failed)";
    }
}

// ---- Scenarios -----------------------------------------------------------------------------

void InstallRefused() {
    PrepareDevice({false, false, false, false});
    stage::Say("  Device: the Flash Player is not registered.");
    Step("User opens Korvessa.cab: the installer installs it",
         [] { return Installed(stage::RunInstaller(Quoted(kPackage))); });
    stage::Say("  " + Utf8(kInstallDir) + ":");
    ListFolder(kInstallDir);
    ShowRecords();
}

void Install() {
    PrepareDevice({true, false, false, false});
    stage::Say("  Device: the Flash Player is registered; Korvessa is not installed.");
    Step("User opens Korvessa.cab: the installer installs it",
         [] { return Installed(stage::RunInstaller(Quoted(kPackage))); });
    ShowRecords();
}

// The installer asks, then the new library's Install_Init closes the running copy, the earlier
// installation's kept library closes the browser and empties Preview as its files go, and the
// new files and records come in their place.
void Upgrade() {
    PrepareDevice({true, true, true, true});
    world::AnswerBoxesWith(IDYES);
    stage::Say(
        "  Device: Korvessa is installed and running, Internet Explorer is open, and the Preview "
        "folder holds:");
    ListFolder(kPreview);
    Step("User opens Korvessa.cab again and answers Yes: the installer replaces Korvessa",
         [] { return Installed(stage::RunInstaller(Quoted(kPackage))); });
    stage::Say("  " + Utf8(kInstallDir) + " now holds:");
    ListFolder(kInstallDir);
    ShowRecords();
}

void Close() {
    PrepareDevice({true, true, false, false});
    stage::Say("  Device: Korvessa is installed and running.");
    const auto runClose = [] {
        const DWORD exitCode = stage::RunCloseProgram();
        return "exit code " + std::to_string(exitCode) + "; " + Running();
    };
    Step("User starts Close Korvessa", runClose);
    Step("User starts Close Korvessa again", runClose);
}

void Uninstall() {
    PrepareDevice({true, true, true, true});
    stage::Say("  Device: Korvessa and Internet Explorer are running; the Preview folder holds:");
    ListFolder(kPreview);
    Step("User removes Korvessa: unload.exe \"Ternwick Korvessa\"", [] {
        const DWORD exitCode = stage::RunUnload(kApplicationName);
        return "exit code " + std::to_string(exitCode) + "; " + Running();
    });
    stage::Say("  Left in " + Utf8(kInstallDir) + ", the application's own:");
    ListFolder(kInstallDir);
    ShowRecords();
}

template <class Item>
const Item* Named(const std::vector<Item>& items, const char* name) {
    for (const Item& item : items) {
        if (std::strcmp(item.name, name) == 0) {
            return &item;
        }
    }
    return nullptr;
}

}  // namespace

void stage::StopOnFailures() {
    world::ReportFailuresTo([](const std::string& what) {
        std::fprintf(stderr, "the demo's world: %s\n", what.c_str());
        std::exit(1);
    });
}

std::vector<Scenario> LifeScenarios() {
    return {
        {"install-refused", "Installing on a device without the Flash Player", InstallRefused},
        {"install", "Installing Korvessa", Install},
        {"upgrade", "Upgrading a running Korvessa", Upgrade},
        {"close", "Closing Korvessa with CloseKorvessa", Close},
        {"uninstall", "Removing Korvessa", Uninstall},
    };
}

std::vector<Scenario> ChooseScenarios(int argc, char** argv, const std::vector<Scenario>& scenarios,
                                      int& exitCode, const std::vector<ScenarioOption>& options) {
    std::vector<Scenario> chosen;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list") == 0) {
            for (const Scenario& scenario : scenarios) {
                std::printf("%-16s %s\n", scenario.name, scenario.title);
            }
            exitCode = 0;
            return {};
        }
        const ScenarioOption* option = Named(options, argv[i]);
        if (option != nullptr && i + 1 < argc) {
            option->take(argv[++i]);
            continue;
        }
        const Scenario* found = Named(scenarios, argv[i]);
        if (found == nullptr) {
            std::fprintf(stderr, "unknown scenario '%s' (try --list)\n", argv[i]);
            exitCode = 2;
            return {};
        }
        chosen.push_back(*found);
    }
    return chosen.empty() ? scenarios : chosen;
}
