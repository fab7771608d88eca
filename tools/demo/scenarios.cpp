// The package's life, described once: each scenario sets the device up through the Win32 API and
// the world (world.h), then plays the installer's and the user's steps on it.
#include "demo/scenarios.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "demo/transcript.h"
#include "demo/world.h"
#include "setup/hooks.h"
#include "support/compat.h"

namespace {

const WCHAR* const kInstallDir = TEXT("\\Program Files\\Korvessa");
const WCHAR* const kProgram = TEXT("\\Program Files\\Korvessa\\Korvessa.exe");
const WCHAR* const kPreview = TEXT("\\Program Files\\Korvessa\\Preview");
const WCHAR* const kFlashPlayerKey = TEXT("CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}");

// ---- Setting the device up, through its own interface -------------------------------------

void SetKey(HKEY root, const WCHAR* path, const WCHAR* name, const WCHAR* text) {
    HKEY key = nullptr;
    RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (name != nullptr) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>((wcslen(text) + 1) * sizeof(WCHAR)));
    }
    RegCloseKey(key);
}

struct Device {
    bool flashPlayer;
    bool applicationRunning;
    bool browserOpen;
    bool previewFiles;
};

// Korvessa's package already copied once: its registry key, the program and the close program
// on the device; then what the scenario asks for. Gives the installer's window, the owner of the
// hooks' boxes.
HWND PrepareDevice(const Device& device) {
    world::Reset();
    CreateDirectoryW(TEXT("\\Windows"), nullptr);
    CreateDirectoryW(TEXT("\\Program Files"), nullptr);
    CreateDirectoryW(kInstallDir, nullptr);
    world::PutApplication(kProgram);
    world::PutCloseProgram();
    SetKey(HKEY_LOCAL_MACHINE, TEXT("Software\\Ternwick\\Korvessa"), TEXT("InstallDir"),
           kInstallDir);
    if (device.flashPlayer) {
        SetKey(HKEY_CLASSES_ROOT, kFlashPlayerKey, nullptr, nullptr);
    }
    if (device.previewFiles) {
        const WideString preview(kPreview);
        CreateDirectoryW(kPreview, nullptr);
        CreateDirectoryW((preview + TEXT("\\Thumbnails")).c_str(), nullptr);
        world::WriteDeviceFile(preview + TEXT("\\intro.swf"), "preview");
        world::WriteDeviceFile(preview + TEXT("\\scene1.png"), "preview");
        world::WriteDeviceFile(preview + TEXT("\\pinned.png"), "preview", FILE_ATTRIBUTE_READONLY);
        world::WriteDeviceFile(preview + TEXT("\\Thumbnails\\scene1.png"), "thumbnail");
    }
    if (device.applicationRunning) {
        world::StartApplication(kProgram);
    }
    if (device.browserOpen) {
        world::OpenBrowser();
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = TEXT("WCELoad");
    RegisterClassW(&windowClass);  // fails harmlessly when this process has it already
    return CreateWindowExW(0, TEXT("WCELoad"), TEXT("Installing Korvessa"), WS_POPUP, 0, 0, 0, 0,
                           nullptr, nullptr, nullptr, nullptr);
}

// ---- What the transcript shows -------------------------------------------------------------

// Runs one step and shows what it did on the device.
void Step(const char* title, const std::function<std::string()>& step) {
    world::Say(std::string("  ") + title);
    world::BeginStep();
    world::EndStep(step());
}

void ListFolder(const WideString& folder, const std::string& indent = "    ") {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstEntry((folder + TEXT("\\*.*")).c_str(), entry);
    if (search == INVALID_HANDLE_VALUE) {
        world::Say(indent + "(empty)");
        return;
    }
    do {
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        world::Say(indent + Utf8(entry.cFileName) + (isFolder ? "\\" : "") +
                   ((entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? " (read-only)" : ""));
        if (isFolder) {
            ListFolder(folder + TEXT("\\") + entry.cFileName, indent + "  ");
        }
    } while (FindNextEntry(search, entry));
    FindClose(search);
}

std::string Running() {
    return world::ApplicationRunning() ? "Korvessa is running" : "Korvessa is not running";
}

// ---- Scenarios -----------------------------------------------------------------------------

void InstallRefused() {
    const HWND installer = PrepareDevice({false, false, false, false});
    world::Say("  Device: the Flash Player is not registered.");
    Step("Installer calls Install_Init", [installer] {
        const auto code = world::Hooks().installInit(installer, TRUE, FALSE, kInstallDir);
        return std::to_string(code) + (code == codeINSTALL_INIT_CANCEL
                                           ? " (cancel): the installer stops, nothing is copied"
                                           : " (continue)");
    });
    DestroyWindow(installer);
}

void Install() {
    const HWND installer = PrepareDevice({true, true, false, false});
    world::Say("  Device: the Flash Player is registered and an older Korvessa is running.");
    Step("Installer calls Install_Init", [installer] {
        const auto code = world::Hooks().installInit(installer, TRUE, TRUE, kInstallDir);
        return std::to_string(code) + " (continue); " + Running();
    });
    Step("Installer copies the package's files", [] {
        world::PutApplication(kProgram);
        return std::string("Korvessa.exe replaced");
    });
    Step("Installer calls Install_Exit", [installer] {
        const auto code = world::Hooks().installExit(installer, kInstallDir, 0, 0, 0, 0, 0);
        return std::to_string(code) + " (done); " + Running();
    });
    DestroyWindow(installer);
}

void Close() {
    const HWND installer = PrepareDevice({true, true, false, false});
    world::Say("  Device: Korvessa is running.");
    const auto runClose = [] {
        const DWORD exitCode = world::RunCloseProgram();
        return "exit code " + std::to_string(exitCode) + "; " + Running();
    };
    Step("User starts CloseKorvessa", runClose);
    Step("User starts CloseKorvessa again", runClose);
    DestroyWindow(installer);
}

void Uninstall() {
    const HWND installer = PrepareDevice({true, true, true, true});
    world::Say("  Device: Korvessa and Internet Explorer are running; the Preview folder holds:");
    ListFolder(kPreview);
    Step("Installer calls Uninstall_Init", [installer] {
        const auto code = world::Hooks().uninstallInit(installer, kInstallDir);
        return std::to_string(code) + " (continue); " + Running();
    });
    world::Say("  The Preview folder now holds:");
    ListFolder(kPreview);
    Step("Installer removes the package's files and calls Uninstall_Exit", [installer] {
        const auto code = world::Hooks().uninstallExit(installer);
        return std::to_string(code) + " (done)";
    });
    DestroyWindow(installer);
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

void world::WriteDeviceFile(const WideString& path, const char* content, DWORD attributes) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, content, static_cast<DWORD>(std::strlen(content)), &written, nullptr);
    CloseHandle(file);
    if (attributes != 0) {
        SetFileAttributesW(path.c_str(), attributes);
    }
}

std::vector<Scenario> LifeScenarios() {
    return {
        {"install-refused", "Installing on a device without the Flash Player", InstallRefused},
        {"install", "Installing over a running copy", Install},
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
