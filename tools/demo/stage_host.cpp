// The demo on the simulated device: each scenario starts from a factory-new device, and every
// step shows the device's own log of what happened (boxes, messages, pauses, processes,
// deletions). The host also draws the library's gradients and writes them as pictures.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "demo/hook_calls.h"
#include "demo/stage.h"
#include "demo/transcript.h"
#include "pictures/png.h"
#include "product/product.h"
#include "sim.h"

namespace {

LRESULT CALLBACK PlainWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// The simulated device's log as the demo's events: the same facts under the transcript's names.
DeviceEvent Seen(const sim::Event& logged) {
    using Kind = DeviceEvent::Kind;
    using Logged = sim::EventKind;
    const std::pair<Logged, Kind> kKinds[] = {
        {Logged::MessageBox, Kind::Box},
        {Logged::MessageSent, Kind::Sent},
        {Logged::MessagePosted, Kind::Posted},
        {Logged::Sleep, Kind::Pause},
        {Logged::Wait, Kind::Wait},
        {Logged::ProcessStarted, Kind::Started},
        {Logged::ProcessFailed, Kind::NotStarted},
        {Logged::ProcessExited, Kind::Ended},
        {Logged::WindowDestroyed, Kind::WindowClosed},
        {Logged::FileDeleted, Kind::Deleted},
        {Logged::FileKept, Kind::Kept},
    };
    DeviceEvent event;
    for (const auto& [loggedKind, kind] : kKinds) {
        if (loggedKind == logged.kind) {
            event.kind = kind;
        }
    }
    event.time = logged.time;
    event.message = logged.message;
    event.wParam = logged.wParam;
    event.lParam = logged.lParam;
    event.everyWindow = logged.window == HWND_BROADCAST;
    event.windowClass = logged.windowClass;
    event.windowTitle = logged.windowTitle;
    event.caption = logged.caption;
    event.text = logged.text;
    event.flags = logged.flags;
    event.owned = logged.window != nullptr;
    event.milliseconds = logged.milliseconds;
    event.result = logged.result;
    event.path = logged.path;
    event.commandLine = logged.commandLine;
    return event;
}

// What the demo noted that the device does not log, each with the number of logged events
// before it.
std::vector<std::pair<std::size_t, DeviceEvent>>& Noted() {
    static std::vector<std::pair<std::size_t, DeviceEvent>> noted;
    return noted;
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
    ProductGradientFill()(dc, rect, gradient.start, gradient.end, gradient.bandCount);
    for (const sim::Fill& fill : sim::Fills()) {
        std::printf("      band x %3d to %3d: %s (red %3u, green %3u, blue %3u)%s\n",
                    static_cast<int>(fill.rect.left), static_cast<int>(fill.rect.right),
                    Hex(fill.color).c_str(), GetRValue(fill.color), GetGValue(fill.color),
                    GetBValue(fill.color),
                    fill.rect.right > rect.right ? ", past the right edge" : "");
    }

    const std::string path = PictureFolder() + "/" + gradient.file;
    const bool written = WritePicture(dc, path, kPictureScale);
    std::printf("    => %s %s\n", written ? "picture" : "could not write", path.c_str());
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

void Gradients() {
    world::Reset();
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

}  // namespace

namespace stage {

void Begin() {
    StopOnFailures();
    Say(ProductOrigin());
}

int End() {
    const std::string leaks = world::LeakReport();
    Say("\nOpen handles left on the device: " + (leaks.empty() ? std::string("none") : leaks));
    return leaks.empty() ? 0 : 1;
}

void Reset() {
    world::Reset();
    world::InstallStandInInstaller(&ShowingHookCalls(ProductSetupLibrary()));
}

DWORD RunInstaller(const WideString& commandLine) {
    return world::RunInstaller(commandLine);
}

DWORD RunUnload(const WideString& name) {
    return world::RunUnload(name);
}

DWORD RunCloseProgram() {
    return world::RunCloseProgram(TEXT(""), world::kInstalledCloseProgram);
}

void OpenBrowser() {
    sim::StartPeerProcess(TEXT("\\Windows\\iexplore.exe"), [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = PlainWindow;
        windowClass.lpszClassName = kBrowserClass;
        RegisterClassW(&windowClass);
        CreateWindowExW(0, kBrowserClass, kBrowserTitle, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                        nullptr, nullptr);
    });
}

void BeginStep() {
    sim::ClearEvents();
    Noted().clear();
}

void EndStep(const std::string& outcome) {
    std::vector<DeviceEvent> events;
    std::size_t noted = 0;
    const std::vector<sim::Event>& logged = sim::Events();
    for (std::size_t at = 0; at <= logged.size(); ++at) {
        for (; noted < Noted().size() && Noted()[noted].first == at; ++noted) {
            events.push_back(Noted()[noted].second);
        }
        if (at < logged.size()) {
            events.push_back(Seen(logged[at]));
        }
    }
    Say(StepLines(events, outcome));
}

void Note(DeviceEvent event) {
    event.time = sim::Now();
    Noted().emplace_back(sim::Events().size(), std::move(event));
}

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
}

std::vector<Scenario> OwnScenarios() {
    if (ProductGradientFill() == nullptr) {
        return {};
    }
    return {{"gradients", "Drawing gradients", Gradients}};
}

std::vector<ScenarioOption> OwnOptions() {
    return {{"--pictures", [](const char* folder) { PictureFolder() = folder; }}};
}

}  // namespace stage
