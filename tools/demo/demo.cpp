// Plays the Korvessa package's life on the simulated device, as the CAB installer would call the
// hooks, and prints what each step did on the device: boxes, messages, pauses, processes and
// files. Usage: demo [--list] [scenario ...]; with no scenario, all of them in order.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "setup/hooks.h"
#include "sim.h"
#include "standin/korvessa_app.h"
#include "support/korvessa.h"

// The close program's entry, as the host build names it.
int WINAPI CloseKorvessaMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                             int showCommand);

namespace {

using sim::WideString;

const WCHAR* const kInstallDir = TEXT("\\Program Files\\Korvessa");
const WCHAR* const kProgram = TEXT("\\Program Files\\Korvessa\\Korvessa.exe");
const WCHAR* const kPreview = TEXT("\\Program Files\\Korvessa\\Preview");
const WCHAR* const kClosePath = TEXT("\\Windows\\CloseKorvessa.exe");

// ---- Setting the device up, through its own interface -------------------------------------

void SetKey(HKEY root, const WCHAR* path, const WCHAR* name, const WCHAR* text) {
    HKEY key = nullptr;
    RegCreateKeyExW(root, path, 0, nullptr, 0, 0, nullptr, &key, nullptr);
    if (name != nullptr) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>((wcslen(text) + 1) * sizeof(WCHAR)));
    }
    RegCloseKey(key);
}

void WriteDeviceFile(const WideString& path, const char* content, DWORD attributes = 0) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, content, static_cast<DWORD>(std::strlen(content)), &written, nullptr);
    CloseHandle(file);
    if (attributes != 0) {
        SetFileAttributesW(path.c_str(), attributes);
    }
}

void RegisterPrograms() {
    sim::RegisterProgram(kProgram, [](const WideString& commandLine) {
        return StartKorvessaStandIn(nullptr, commandLine.c_str()) != nullptr ? sim::kStillRunning
                                                                             : 1;
    });
    sim::RegisterProgram(kClosePath, [](const WideString& commandLine) {
        WideString writable = commandLine;
        return static_cast<DWORD>(CloseKorvessaMain(nullptr, nullptr, writable.data(), SW_SHOW));
    });
}

// A fresh device with Korvessa's package already copied once: its registry key, the program
// and the close program on disk, and the Pocket PC's own folders.
void PrepareDevice(bool flashPlayer) {
    sim::Reset();
    CreateDirectoryW(TEXT("\\Windows"), nullptr);
    CreateDirectoryW(TEXT("\\Program Files"), nullptr);
    CreateDirectoryW(kInstallDir, nullptr);
    WriteDeviceFile(kProgram, "Korvessa");
    WriteDeviceFile(kClosePath, "CloseKorvessa");
    SetKey(HKEY_LOCAL_MACHINE, TEXT("Software\\Ternwick\\Korvessa"), TEXT("InstallDir"),
           kInstallDir);
    if (flashPlayer) {
        SetKey(HKEY_CLASSES_ROOT, TEXT("CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}"), nullptr,
               nullptr);
    }
    RegisterPrograms();
}

// Starts a program the way the shell would, keeping no handle.
void Start(const WCHAR* path) {
    PROCESS_INFORMATION info{};
    if (CreateProcessW(path, TEXT(""), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                       &info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
}

LRESULT CALLBACK PlainWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// Pocket Internet Explorer, as far as the hooks see it: a top-level window with that title.
void OpenBrowser() {
    sim::StartPeerProcess(TEXT("\\Windows\\iexplore.exe"), [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = PlainWindow;
        windowClass.lpszClassName = TEXT("IExplore");
        RegisterClassW(&windowClass);
        CreateWindowExW(0, TEXT("IExplore"), TEXT("Internet Explorer"), WS_POPUP, 0, 0, 0, 0,
                        nullptr, nullptr, nullptr, nullptr);
    });
}

// The installer's own window, owner of the hooks' boxes.
HWND InstallerWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = PlainWindow;
    windowClass.lpszClassName = TEXT("WCELoad");
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, TEXT("WCELoad"), TEXT("Installing Korvessa"), WS_POPUP, 0, 0, 0, 0,
                           nullptr, nullptr, nullptr, nullptr);
}

// ---- The transcript ------------------------------------------------------------------------

void PrintEvent(const sim::Event& event) {
    if (event.kind == sim::EventKind::MessageBox) {
        std::printf("    [%5u ms] message box \"%s\" (flags 0x%x, %s), answered OK:\n",
                    static_cast<unsigned>(event.time), sim::Narrow(event.caption).c_str(),
                    event.flags, event.window == nullptr ? "no owner" : "owned by the installer");
        std::string text = sim::Narrow(event.text);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            std::printf("        | %s\n", text.substr(start, end - start).c_str());
        }
        std::printf("        | %s\n", text.substr(start).c_str());
        return;
    }
    std::printf("    [%5u ms] %s\n", static_cast<unsigned>(event.time),
                sim::Describe(event).c_str());
}

// Runs one step and prints what it did on the device.
void Step(const char* title, const std::function<std::string()>& step) {
    sim::ClearEvents();
    std::printf("  %s\n", title);
    const std::string result = step();
    for (const sim::Event& event : sim::Events()) {
        PrintEvent(event);
    }
    if (sim::Events().empty()) {
        std::printf("    (no box, message, pause, process or deletion)\n");
    }
    if (!result.empty()) {
        std::printf("    => %s\n", result.c_str());
    }
}

void PrintFolder(const WCHAR* folder, const std::string& indent = "    ") {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW((WideString(folder) + TEXT("\\*.*")).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        std::printf("%s(empty)\n", indent.c_str());
        return;
    }
    do {
        const WideString path = WideString(folder) + TEXT("\\") + entry.cFileName;
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::printf("%s%s%s%s\n", indent.c_str(), sim::Narrow(entry.cFileName).c_str(),
                    isFolder ? "\\" : "",
                    (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? " (read-only)" : "");
        if (isFolder) {
            PrintFolder(path.c_str(), indent + "  ");
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

std::string Running() {
    return FindWindowW(kKorvessaWindowClass, kKorvessaWindowTitle) != nullptr
               ? "Korvessa is running"
               : "Korvessa is not running";
}

// ---- Scenarios -----------------------------------------------------------------------------

void InstallRefused() {
    PrepareDevice(false);
    const HWND installer = InstallerWindow();
    std::printf("  Device: the Flash Player is not registered.\n");
    Step("Installer calls Install_Init", [installer] {
        const auto code = Install_Init(installer, TRUE, FALSE, kInstallDir);
        return std::to_string(code) + (code == codeINSTALL_INIT_CANCEL
                                           ? " (cancel): the installer stops, nothing is copied"
                                           : " (continue)");
    });
    DestroyWindow(installer);
}

void Install() {
    PrepareDevice(true);
    Start(kProgram);
    const HWND installer = InstallerWindow();
    std::printf("  Device: the Flash Player is registered and an older Korvessa is running.\n");
    Step("Installer calls Install_Init", [installer] {
        const auto code = Install_Init(installer, TRUE, TRUE, kInstallDir);
        return std::to_string(code) + " (continue); " + Running();
    });
    Step("Installer copies the package's files", [] {
        WriteDeviceFile(kProgram, "Korvessa, new version");
        return std::string("Korvessa.exe replaced");
    });
    Step("Installer calls Install_Exit", [installer] {
        const auto code = Install_Exit(installer, kInstallDir, 0, 0, 0, 0, 0);
        return std::to_string(code) + " (done); " + Running();
    });
    DestroyWindow(installer);
}

void Close() {
    PrepareDevice(true);
    Start(kProgram);
    std::printf("  Device: Korvessa is running.\n");
    const auto runClose = [] {
        PROCESS_INFORMATION info{};
        CreateProcessW(kClosePath, TEXT(""), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                       &info);
        DWORD exitCode = 0;
        GetExitCodeProcess(info.hProcess, &exitCode);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return "exit code " + std::to_string(exitCode) + "; " + Running();
    };
    Step("User starts CloseKorvessa", runClose);
    Step("User starts CloseKorvessa again", runClose);
}

void Uninstall() {
    PrepareDevice(true);
    CreateDirectoryW(kPreview, nullptr);
    CreateDirectoryW((WideString(kPreview) + TEXT("\\Thumbnails")).c_str(), nullptr);
    WriteDeviceFile(WideString(kPreview) + TEXT("\\intro.swf"), "preview");
    WriteDeviceFile(WideString(kPreview) + TEXT("\\scene1.png"), "preview");
    WriteDeviceFile(WideString(kPreview) + TEXT("\\pinned.png"), "preview",
                    FILE_ATTRIBUTE_READONLY);
    WriteDeviceFile(WideString(kPreview) + TEXT("\\Thumbnails\\scene1.png"), "thumbnail");
    Start(kProgram);
    OpenBrowser();
    const HWND installer = InstallerWindow();
    std::printf(
        "  Device: Korvessa and Internet Explorer are running; the Preview folder holds:\n");
    PrintFolder(kPreview);
    Step("Installer calls Uninstall_Init", [installer] {
        const auto code = Uninstall_Init(installer, kInstallDir);
        return std::to_string(code) + " (continue); " + Running();
    });
    std::printf("  The Preview folder now holds:\n");
    PrintFolder(kPreview);
    Step("Installer removes the package's files and calls Uninstall_Exit",
         [installer] { return std::to_string(Uninstall_Exit(installer)) + " (done)"; });
    DestroyWindow(installer);
}

struct Scenario {
    const char* name;
    const char* title;
    void (*play)();
};

const Scenario kScenarios[] = {
    {"install-refused", "Installing on a device without the Flash Player", InstallRefused},
    {"install", "Installing over a running copy", Install},
    {"close", "Closing Korvessa with CloseKorvessa", Close},
    {"uninstall", "Removing Korvessa", Uninstall},
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<const Scenario*> chosen;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list") == 0) {
            for (const Scenario& scenario : kScenarios) {
                std::printf("%-16s %s\n", scenario.name, scenario.title);
            }
            return 0;
        }
        const Scenario* found = nullptr;
        for (const Scenario& scenario : kScenarios) {
            found = std::strcmp(argv[i], scenario.name) == 0 ? &scenario : found;
        }
        if (found == nullptr) {
            std::fprintf(stderr, "unknown scenario '%s' (try --list)\n", argv[i]);
            return 2;
        }
        chosen.push_back(found);
    }
    if (chosen.empty()) {
        for (const Scenario& scenario : kScenarios) {
            chosen.push_back(&scenario);
        }
    }
    for (const Scenario* scenario : chosen) {
        std::printf("\n== %s ==\n", scenario->title);
        scenario->play();
    }
    const std::string leaks = sim::OpenHandlesReport();
    std::printf("\nOpen handles left on the device: %s\n", leaks.empty() ? "none" : leaks.c_str());
    return leaks.empty() ? 0 : 1;
}
