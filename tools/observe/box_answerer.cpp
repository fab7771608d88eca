#include "observe/box_answerer.h"

#include <set>
#include <vector>

namespace {

using Answerer = int (*)(const ObservedBox& box);

Answerer& Answer() {
    static Answerer answer = nullptr;
    return answer;
}

constexpr int kMessageBoxTextId = 0xFFFF;

WideString WindowText(HWND window) {
    WCHAR text[4096] = {};
    GetWindowTextW(window, text, 4096);
    return text;
}

// The pixels of a 32 x 32 area, read back from the screen as the X server shows it: copied in
// one piece, then read locally (a GetPixel on the screen is a round trip to the X server each).
std::vector<COLORREF> ScreenPixels(int left, int top) {
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, 32, 32, screen, left, top, SRCCOPY);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            pixels.push_back(GetPixel(memory, x, y));
        }
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
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
    struct Known {
        LPCWSTR icon;
        UINT flags;
    };
    const Known kKnown[] = {{IDI_HAND, MB_ICONHAND},
                            {IDI_QUESTION, MB_ICONQUESTION},
                            {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
                            {IDI_ASTERISK, MB_ICONASTERISK}};
    // A box of this process shows the shared standard icon itself, so the handle tells which,
    // without the screen: the test's thread is busy on the display connection while its box
    // comes up, and a screen read racing it hung both inside Xlib now and then.
    DWORD process = 0;
    GetWindowThreadProcessId(box, &process);
    if (process == GetCurrentProcessId()) {
        const auto icon = reinterpret_cast<HICON>(SendMessageW(shown, STM_GETICON, 0, 0));
        for (const Known& known : kKnown) {
            if (LoadIconW(nullptr, known.icon) == icon) {
                return known.flags;
            }
        }
        return 0;
    }
    UINT best = 0;
    int fewestDifferences = 32 * 32 / 4;  // beyond this it is no standard icon
    for (int attempt = 0; attempt < 20 && best == 0; ++attempt) {
        Sleep(25);  // the box paints itself after it appears
        // Only an area wholly on the screen: reading past its edge is an X protocol error.
        RECT place{};
        GetWindowRect(shown, &place);
        if (place.left < 0 || place.top < 0 || place.left + 32 > GetSystemMetrics(SM_CXSCREEN) ||
            place.top + 32 > GetSystemMetrics(SM_CYSCREEN)) {
            continue;
        }
        const std::vector<COLORREF> seen = ScreenPixels(place.left, place.top);
        for (const Known& known : kKnown) {
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
    const int button =
        Answer()(ObservedBox{GetWindow(window, GW_OWNER), WindowText(window),
                             WindowText(textControl), IconFlags(window) | ButtonFlags(window)});
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
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

void StartBoxAnswerer(int (*answer)(const ObservedBox& box)) {
    Answer() = answer;
    CreateThread(nullptr, 0, BoxThread, nullptr, 0, nullptr);
}
