// Plays the Korvessa package's life with the real programs under Wine: the stand-in CAB
// installer loads Wrenfold.dll by name and calls its hooks, the stand-in application and
// CloseKorvessa.exe run as processes, and every message box is read off the screen and answered.
// It prints what a person at the device would see. Usage: wine_demo [--list] [scenario ...].
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "demo/scenarios.h"
#include "observe/box_answerer.h"
#include "support/compat.h"

namespace {

const WCHAR* const kInstaller = L"\\Windows\\WCELOAD.EXE";
const WCHAR* const kInstallDir = L"\\Program Files\\Korvessa";
const WCHAR* const kProgram = L"\\Program Files\\Korvessa\\Korvessa.exe";
const WCHAR* const kPreview = L"\\Program Files\\Korvessa\\Preview";
const WCHAR* const kPackage = L"\\Program Files\\Korvessa.cab";
const WCHAR* const kFlashPlayerKey = L"CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}";

std::mutex& PrintLock() {
    static std::mutex lock;
    return lock;
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t c : text) {
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return narrow;
}

void Say(const std::string& line) {
    const std::lock_guard<std::mutex> hold(PrintLock());
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void PrintBox(const ObservedBox& box) {
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%x", box.flags);
    std::string lines = "    message box \"" + Narrow(box.caption) + "\" (flags " + flags + ", " +
                        (box.owner == nullptr ? "no owner" : "owned by the installer") +
                        "), answered OK:";
    const std::string text = Narrow(box.text);
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines += "\n        | " + text.substr(start, end - start);
    }
    Say(lines + "\n        | " + text.substr(start));
}

// ---- The device, set up through the API ----------------------------------------------------

void SetInstallDir() {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Ternwick\\Korvessa", 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExW(key, L"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(kInstallDir),
                   static_cast<DWORD>((wcslen(kInstallDir) + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
}

void SetFlashPlayer(bool registered) {
    if (registered) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CLASSES_ROOT, kFlashPlayerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        RegCloseKey(key);
    } else {
        RegDeleteKeyW(HKEY_CLASSES_ROOT, kFlashPlayerKey);
    }
}

void WriteTextFile(const std::wstring& path, const std::string& content, DWORD attributes = 0) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    if (attributes != 0) {
        SetFileAttributesW(path.c_str(), attributes);
    }
}

void PrepareDevice() {
    CreateDirectoryW(L"\\Program Files", nullptr);
    CreateDirectoryW(kInstallDir, nullptr);
    CopyFileW(L"" WRENFOLD_INSTALLER_PROGRAM, kInstaller, FALSE);
    SetInstallDir();
    WriteTextFile(kPackage, "setup\t" WRENFOLD_SETUP_LIBRARY "\nfolder\t" + Narrow(kInstallDir) +
                                "\ncopy\t" WRENFOLD_STANDIN_PROGRAM "\t" + Narrow(kProgram) + "\n");
}

HWND ApplicationWindow() {
    return FindWindowW(L"KorvessaNotify", L"");
}

std::string Running() {
    return ApplicationWindow() != nullptr ? "Korvessa is running" : "Korvessa is not running";
}

void WaitForWindow(bool present) {
    for (int waited = 0; waited < 5000 && (ApplicationWindow() != nullptr) != present;
         waited += 20) {
        Sleep(20);
    }
}

DWORD Run(const WCHAR* program, const std::wstring& commandLine) {
    PROCESS_INFORMATION info{};
    if (!StartProcess(program, commandLine.c_str(), 0, info)) {
        return GetLastError();
    }
    WaitForSingleObject(info.hProcess, 60000);
    DWORD exitCode = 0;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return exitCode;
}

void StartApplication() {
    PROCESS_INFORMATION info{};
    if (StartProcess(kProgram, L"", 0, info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    WaitForWindow(true);
}

// Runs a step, then prints its outcome and how long it took (the hooks' pauses show there).
template <class Step>
void Timed(const std::string& title, Step step) {
    Say("  " + title);
    const DWORD start = GetTickCount();
    const std::string outcome = step();
    char took[32];
    std::snprintf(took, sizeof took, "%.1f s", (GetTickCount() - start) / 1000.0);
    Say("    => " + outcome + "; took " + took);
}

void ListFolder(const std::wstring& folder, const std::string& indent = "    ") {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstEntry((folder + L"\\*").c_str(), entry);
    if (search == INVALID_HANDLE_VALUE) {
        Say(indent + "(empty)");
        return;
    }
    do {
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        Say(indent + Narrow(entry.cFileName) + (isFolder ? "\\" : "") +
            ((entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? " (read-only)" : ""));
        if (isFolder) {
            ListFolder(folder + L"\\" + entry.cFileName, indent + "  ");
        }
    } while (FindNextEntry(search, entry));
    FindClose(search);
}

// ---- Internet Explorer, as far as the hooks see it ------------------------------------------

LRESULT CALLBACK BrowserProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        Say("    Internet Explorer received WM_CLOSE and closes");
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI BrowserThread(LPVOID) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = BrowserProcedure;
    windowClass.lpszClassName = L"IEFrame";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, L"IEFrame", L"Internet Explorer", WS_POPUP, 0, 0, 0, 0,
                                        nullptr, nullptr, nullptr, nullptr);
    MSG message{};
    while (IsWindow(window) && GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}

// ---- Scenarios -------------------------------------------------------------------------------

std::wstring Quoted(const WCHAR* path) {
    return L"\"" + std::wstring(path) + L"\"";
}

void InstallRefused() {
    SetFlashPlayer(false);
    Say("  Device: the Flash Player is not registered.");
    Timed("Installer runs WCELOAD.EXE with the package", [] {
        const DWORD code = Run(kInstaller, Quoted(kPackage));
        return "exit code " + std::to_string(code) + (code == 1 ? " (cancelled)" : "") +
               (GetFileAttributesW(kProgram) == INVALID_FILE_ATTRIBUTES ? "; nothing copied"
                                                                        : "; Korvessa.exe present");
    });
}

void Install() {
    SetFlashPlayer(true);
    CopyFileW(L"" WRENFOLD_STANDIN_PROGRAM, kProgram, FALSE);
    StartApplication();
    Say("  Device: the Flash Player is registered and an older Korvessa is running.");
    const HWND old = ApplicationWindow();
    Timed("Installer runs WCELOAD.EXE with the package", [old] {
        const DWORD code = Run(kInstaller, Quoted(kPackage));
        WaitForWindow(true);
        return "exit code " + std::to_string(code) + "; the old copy " +
               (IsWindow(old) ? "still runs" : "was closed") + "; " + Running() +
               (ApplicationWindow() != nullptr && ApplicationWindow() != old ? " (the new copy)"
                                                                             : "");
    });
}

void Close() {
    if (ApplicationWindow() == nullptr) {
        CopyFileW(L"" WRENFOLD_STANDIN_PROGRAM, kProgram, FALSE);
        StartApplication();
    }
    Say("  Device: Korvessa is running.");
    const auto runClose = [] {
        const DWORD code = Run(L"" WRENFOLD_CLOSE_PROGRAM, L"CloseKorvessa.exe");
        WaitForWindow(false);
        return "exit code " + std::to_string(code) + "; " + Running();
    };
    Timed("User starts CloseKorvessa.exe", runClose);
    Timed("User starts CloseKorvessa.exe again", runClose);
}

void Uninstall() {
    SetFlashPlayer(true);
    if (ApplicationWindow() == nullptr) {
        CopyFileW(L"" WRENFOLD_STANDIN_PROGRAM, kProgram, FALSE);
        StartApplication();
    }
    CreateDirectoryW(kPreview, nullptr);
    CreateDirectoryW((std::wstring(kPreview) + L"\\Thumbnails").c_str(), nullptr);
    WriteTextFile(std::wstring(kPreview) + L"\\intro.swf", "preview");
    WriteTextFile(std::wstring(kPreview) + L"\\scene1.png", "preview");
    WriteTextFile(std::wstring(kPreview) + L"\\pinned.png", "preview", FILE_ATTRIBUTE_READONLY);
    WriteTextFile(std::wstring(kPreview) + L"\\Thumbnails\\scene1.png", "thumbnail");
    const HANDLE browser = CreateThread(nullptr, 0, BrowserThread, nullptr, 0, nullptr);
    while (FindWindowW(L"IEFrame", L"Internet Explorer") == nullptr) {
        Sleep(10);
    }
    Say("  Device: " + Running() + " and Internet Explorer is open; the Preview folder holds:");
    ListFolder(kPreview);
    Timed("Installer runs WCELOAD.EXE /uninstall with the package", [] {
        const DWORD code = Run(kInstaller, L"/uninstall " + Quoted(kPackage));
        return "exit code " + std::to_string(code) + "; " + Running() +
               (GetFileAttributesW(kProgram) == INVALID_FILE_ATTRIBUTES ? "; Korvessa.exe removed"
                                                                        : "");
    });
    Say("  The Preview folder now holds:");
    ListFolder(kPreview);
    WaitForSingleObject(browser, 5000);
    CloseHandle(browser);
}

const Scenario kScenarios[] = {
    {"install-refused", "Installing on a device without the Flash Player", InstallRefused},
    {"install", "Installing over a running copy", Install},
    {"close", "Closing Korvessa with CloseKorvessa", Close},
    {"uninstall", "Removing Korvessa", Uninstall},
};

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    const std::vector<const Scenario*> chosen = ChooseScenarios(argc, argv, kScenarios, exitCode);
    if (chosen.empty()) {
        return exitCode;
    }
    StartBoxAnswerer(PrintBox);
    PrepareDevice();
    for (const Scenario* scenario : chosen) {
        Say("\n== " + std::string(scenario->title) + " (real programs under Wine) ==");
        scenario->play();
    }
    if (const HWND window = ApplicationWindow()) {
        SendMessageW(window, WM_CLOSE, 0, 0);
    }
    return 0;
}
