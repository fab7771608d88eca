#include "observe/box_answerer.h"

#include <set>
#include <vector>

namespace {

using Reporter = void (*)(const ObservedBox& box);

Reporter& Report() {
    static Reporter report = nullptr;
    return report;
}

constexpr int kMessageBoxTextId = 0xFFFF;

WideString WindowText(HWND window) {
    WCHAR text[4096] = {};
    GetWindowTextW(window, text, 4096);
    return text;
}

// The pixels of a 32 x 32 area, read back from the screen as the X server shows it.
std::vector<COLORREF> ScreenPixels(int left, int top) {
    std::vector<COLORREF> pixels;
    const HDC screen = GetDC(nullptr);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            pixels.push_back(GetPixel(screen, left + x, top + y));
        }
    }
    ReleaseDC(nullptr, screen);
    return pixels;
}

// How a standard icon looks drawn over `background`.
std::vector<COLORREF> IconPixels(LPCWSTR icon, COLORREF background) {
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    const HBRUSH brush = CreateSolidBrush(background);
    const RECT all{0, 0, 32, 32};
    FillRect(memory, &all, brush);
    DrawIconEx(memory, 0, 0, LoadIconW(nullptr, icon), 32, 32, 0, nullptr, DI_NORMAL);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            pixels.push_back(GetPixel(memory, x, y));
        }
    }
    SelectObject(memory, previous);
    DeleteObject(brush);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// The icon part of a box's flags: which standard icon its icon control shows, told apart by
// the pixels on the screen (the box may belong to another process, whose icon handles mean
// nothing here).
UINT IconFlags(HWND box) {
    HWND shown = nullptr;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr && shown == nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsWindowVisible(child) && SendMessageW(child, STM_GETICON, 0, 0) != 0) {
            shown = child;
        }
    }
    if (shown == nullptr) {
        return 0;
    }
    RECT place{};
    GetWindowRect(shown, &place);
    struct Known {
        LPCWSTR icon;
        UINT flags;
    };
    UINT best = 0;
    int fewestDifferences = 32 * 32 / 4;  // beyond this it is no standard icon
    for (int attempt = 0; attempt < 20 && best == 0; ++attempt) {
        Sleep(25);  // the box paints itself after it appears
        const std::vector<COLORREF> seen = ScreenPixels(place.left, place.top);
        for (const Known known :
             {Known{IDI_HAND, MB_ICONHAND}, Known{IDI_QUESTION, MB_ICONQUESTION},
              Known{IDI_EXCLAMATION, MB_ICONEXCLAMATION}, Known{IDI_ASTERISK, MB_ICONASTERISK}}) {
            const std::vector<COLORREF> drawn = IconPixels(known.icon, seen[0]);
            int differences = 0;
            for (std::size_t i = 0; i < seen.size(); ++i) {
                differences += seen[i] != drawn[i] ? 1 : 0;
            }
            if (differences < fewestDifferences) {
                fewestDifferences = differences;
                best = known.flags;
            }
        }
    }
    return best;
}

// The button part of a box's flags, from the buttons it shows.
UINT ButtonFlags(HWND box) {
    const auto shows = [box](int id) {
        const HWND button = GetDlgItem(box, id);
        return button != nullptr && IsWindowVisible(button);
    };
    if (shows(IDYES) && shows(IDNO)) {
        return shows(IDCANCEL) ? MB_YESNOCANCEL : MB_YESNO;
    }
    if (shows(IDOK) && shows(IDCANCEL)) {
        return MB_OKCANCEL;
    }
    return MB_OK;
}

BOOL CALLBACK AnswerBox(HWND window, LPARAM seenBoxes) {
    auto& seen = *reinterpret_cast<std::set<HWND>*>(seenBoxes);
    WCHAR className[16] = {};
    GetClassNameW(window, className, 16);
    const HWND textControl = GetDlgItem(window, kMessageBoxTextId);
    if (WideString(className) != L"#32770" || textControl == nullptr || !IsWindowVisible(window) ||
        seen.count(window) != 0) {
        return TRUE;
    }
    seen.insert(window);
    Report()(ObservedBox{GetWindow(window, GW_OWNER), WindowText(window), WindowText(textControl),
                         IconFlags(window) | ButtonFlags(window)});
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
}

DWORD WINAPI BoxThread(LPVOID) {
    std::set<HWND> seen;
    for (;;) {
        EnumWindows(AnswerBox, reinterpret_cast<LPARAM>(&seen));
        Sleep(10);
    }
}

}  // namespace

void StartBoxAnswerer(void (*report)(const ObservedBox& box)) {
    Report() = report;
    CreateThread(nullptr, 0, BoxThread, nullptr, 0, nullptr);
}
