// Plays the Korvessa package's life on the simulated device, as the CAB installer would call the
// hooks, and prints what each step did on the device: boxes, messages, pauses, processes and
// files. Usage: demo [--list] [--pictures FOLDER] [scenario ...]; with no scenario, all of them
// in order. The pictures the drawing helpers paint go to FOLDER (build/pictures by default).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "demo/scenarios.h"
#include "setup/hooks.h"
#include "sim.h"
#include "standin/korvessa_app.h"
#include "support/draw.h"
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

// ---- Pictures ------------------------------------------------------------------------------

std::string& PictureFolder() {
    static std::string folder = "build/pictures";
    return folder;
}

// The gradient cases, each 100 wide on a canvas 20 wider, so that a band reaching past the
// rectangle's right edge shows against the background; a strip below marks the rectangle.
struct Gradient {
    const char* file;
    const char* title;
    COLORREF start;
    COLORREF end;
    int bandCount;
};

const Gradient kGradients[] = {
    {"gradient-black-to-white.png", "Black to white in 10 bands", RGB(0, 0, 0), RGB(255, 255, 255),
     10},
    {"gradient-red-to-blue.png", "Red to blue in 4 bands", RGB(255, 0, 0), RGB(0, 0, 255), 4},
    {"gradient-8-bands.png", "Black to white in 8 bands: 12 wide, so 9 of them", RGB(0, 0, 0),
     RGB(255, 255, 255), 8},
};

constexpr int kGradientWidth = 100;
constexpr int kCanvasWidth = 120;
constexpr int kGradientHeight = 24;
constexpr int kCanvasHeight = 30;
constexpr int kPictureScale = 3;
constexpr COLORREF kCanvasBackground = RGB(0, 128, 128);
constexpr COLORREF kMark = RGB(255, 255, 255);

// Colours as a person reads them: red, green, blue.
std::string Hex(COLORREF color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", GetRValue(color), GetGValue(color),
                  GetBValue(color));
    return text;
}

void Fill(HDC dc, const RECT& rect, COLORREF color) {
    const HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void DrawGradient(const Gradient& gradient) {
    std::printf("  %s\n    FillBandedGradient from %s to %s in %d bands:\n", gradient.title,
                Hex(gradient.start).c_str(), Hex(gradient.end).c_str(), gradient.bandCount);
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, kCanvasWidth, kCanvasHeight);
    const HGDIOBJ previous = SelectObject(dc, bitmap);
    Fill(dc, RECT{0, 0, kCanvasWidth, kCanvasHeight}, kCanvasBackground);
    Fill(dc, RECT{0, kGradientHeight + 2, kGradientWidth, kCanvasHeight}, kMark);

    sim::ClearFills();
    const RECT rect{0, 0, kGradientWidth, kGradientHeight};
    FillBandedGradient(dc, rect, gradient.start, gradient.end, gradient.bandCount);
    for (const sim::Fill& fill : sim::Fills()) {
        std::printf("      band x %3d to %3d: %s (red %3u, green %3u, blue %3u)%s\n",
                    static_cast<int>(fill.rect.left), static_cast<int>(fill.rect.right),
                    Hex(fill.color).c_str(), GetRValue(fill.color), GetGValue(fill.color),
                    GetBValue(fill.color),
                    fill.rect.right > rect.right ? ", past the right edge" : "");
    }

    const std::string path = PictureFolder() + "/" + gradient.file;
    const bool written = sim::WritePicture(dc, path, kPictureScale);
    std::printf("    => %s %s\n", written ? "picture" : "could not write", path.c_str());
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

void Gradients() {
    sim::Reset();
    std::error_code error;
    std::filesystem::create_directories(PictureFolder(), error);
    std::printf(
        "  Each gradient fills a rectangle of %d x %d on a canvas of %d x %d (teal); the white\n"
        "  strip below marks the rectangle's width. Pictures are %d times enlarged.\n",
        kGradientWidth, kGradientHeight, kCanvasWidth, kCanvasHeight, kPictureScale);
    for (const Gradient& gradient : kGradients) {
        DrawGradient(gradient);
    }
}

const Scenario kScenarios[] = {
    {"install-refused", "Installing on a device without the Flash Player", InstallRefused},
    {"install", "Installing over a running copy", Install},
    {"close", "Closing Korvessa with CloseKorvessa", Close},
    {"uninstall", "Removing Korvessa", Uninstall},
    {"gradients", "Drawing gradients", Gradients},
};

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    const std::vector<const Scenario*> chosen =
        ChooseScenarios(argc, argv, kScenarios, exitCode,
                        {{"--pictures", [](const char* folder) { PictureFolder() = folder; }}});
    if (chosen.empty()) {
        return exitCode;
    }
    for (const Scenario* scenario : chosen) {
        std::printf("\n== %s ==\n", scenario->title);
        scenario->play();
    }
    const std::string leaks = sim::OpenHandlesReport();
    std::printf("\nOpen handles left on the device: %s\n", leaks.empty() ? "none" : leaks.c_str());
    return leaks.empty() ? 0 : 1;
}
