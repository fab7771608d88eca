// The graphics device interface over pixel canvases: the screen, and memory device contexts that
// draw on bitmaps. Brushes, bitmaps and device contexts are counted while callers hold them.
//
// Canvases hold 32 bits a pixel with exact colours, as a 32-bit DIB section does, so every colour
// a caller paints reads back unchanged. Windows are not placed on the screen: a window's device
// context draws on the whole screen.
#include <map>
#include <memory>
#include <vector>

#include "internal.h"
#include "sim.h"

namespace {

using sim::CallKind;
using sim::detail::Fail;
using sim::detail::Refused;

constexpr int kFreshScreenWidth = 240;
constexpr int kFreshScreenHeight = 320;
constexpr int kStandardDensity = 96;
// A bitmap larger than this is refused as if memory had run out.
constexpr long long kMostPixels = 1LL << 26;

struct Canvas {
    Canvas(int columns, int rows, bool firstRowAtBottom)
        : width(columns),
          height(rows),
          bottomUp(firstRowAtBottom),
          words(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows), 0) {}

    // The pixel as a 32-bit DIB holds it: 0x00RRGGBB.
    DWORD& At(int x, int y) {
        const int row = bottomUp ? height - 1 - y : y;
        return words[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x)];
    }

    int width;
    int height;
    bool bottomUp;  // the first row in memory is the picture's bottom row
    std::vector<DWORD> words;
};

DWORD ToWord(COLORREF color) {
    return (color & 0xFF00U) | ((color & 0xFFU) << 16) | ((color >> 16) & 0xFFU);
}

COLORREF ToColor(DWORD word) {
    return (word & 0xFF00U) | ((word & 0xFFU) << 16) | ((word >> 16) & 0xFFU);
}

enum class ObjectType {
    Brush,
    Bitmap,
};

struct GdiObject {
    ObjectType type = ObjectType::Brush;
    bool stock = false;
    COLORREF color = 0;              // a brush's colour, as it was created
    std::shared_ptr<Canvas> canvas;  // a bitmap's pixels
    int selections = 0;              // device contexts that have it selected
};

struct DeviceContext {
    bool memory = false;  // CreateCompatibleDC; otherwise the screen's, from GetDC
    HGDIOBJ brush = nullptr;
    HGDIOBJ bitmap = nullptr;  // memory device contexts only
};

struct Gdi {
    std::map<HGDIOBJ, GdiObject> objects;  // stock objects included
    std::map<HDC, DeviceContext> contexts;
    std::shared_ptr<Canvas> screen;
    int horizontalDensity = kStandardDensity;
    int verticalDensity = kStandardDensity;
    std::vector<sim::Fill> fills;
    bool failNextBrush = false;
    HGDIOBJ stockBrushes[BLACK_BRUSH + 1] = {};
    HGDIOBJ defaultBitmap = nullptr;  // the 1 x 1 bitmap of a fresh memory device context
};

Gdi& State() {
    static Gdi gdi;
    return gdi;
}

// Handle values keep growing across resets, so a stale handle never names a new object.
ULONG_PTR NewHandleValue() {
    static ULONG_PTR next = 0x20000;
    next += 4;
    return next;
}

HGDIOBJ AddObject(GdiObject object) {
    auto* const handle = reinterpret_cast<HGDIOBJ>(NewHandleValue());
    State().objects.emplace(handle, std::move(object));
    return handle;
}

GdiObject* FindObject(HGDIOBJ handle) {
    const auto found = State().objects.find(handle);
    return found == State().objects.end() ? nullptr : &found->second;
}

DeviceContext* FindContext(HDC handle) {
    const auto found = State().contexts.find(handle);
    return found == State().contexts.end() ? nullptr : &found->second;
}

HDC AddContext(bool memory) {
    Gdi& gdi = State();
    DeviceContext context;
    context.memory = memory;
    context.brush = gdi.stockBrushes[WHITE_BRUSH];
    if (memory) {
        context.bitmap = gdi.defaultBitmap;
    }
    auto* const handle = reinterpret_cast<HDC>(NewHandleValue());
    gdi.contexts.emplace(handle, context);
    return handle;
}

void RemoveContext(HDC handle) {
    const DeviceContext& context = State().contexts.at(handle);
    for (const HGDIOBJ selected : {context.brush, context.bitmap}) {
        if (GdiObject* object = FindObject(selected)) {
            --object->selections;
        }
    }
    State().contexts.erase(handle);
}

Canvas* CanvasOf(const DeviceContext& context) {
    if (!context.memory) {
        return State().screen.get();
    }
    GdiObject* bitmap = FindObject(context.bitmap);
    return bitmap != nullptr ? bitmap->canvas.get() : nullptr;
}

int OpenBrushes() {
    int count = 0;
    for (const auto& entry : State().objects) {
        count += !entry.second.stock && entry.second.type == ObjectType::Brush ? 1 : 0;
    }
    return count;
}

// The platform's default palette, which a colour with bit 24 set (PALETTEINDEX) indexes.
constexpr COLORREF kDefaultPalette[] = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000,
    0xC0C0C0, 0xC0DCC0, 0xF0CAA6, 0xF0FBFF, 0xA4A0A0, 0x808080, 0x0000FF,
    0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
};
constexpr std::size_t kPaletteEntries = sizeof kDefaultPalette / sizeof kDefaultPalette[0];

// What the device paints for a brush's colour. The top byte is no part of an RGB value: bit 24
// picks an entry of the default palette by the low word, and DIBINDEX (0x10FF in the high word)
// an entry of the bitmap's colour table, which a 32-bit canvas lacks; a missing entry paints
// black. The other bits of the top byte are ignored.
COLORREF PaintedColor(COLORREF color) {
    if ((color & 0x01000000U) != 0) {
        const std::size_t index = color & 0xFFFFU;
        return index < kPaletteEntries ? kDefaultPalette[index] : kDefaultPalette[0];
    }
    if ((color >> 16) == 0x10FFU) {
        return 0;
    }
    return color & 0xFFFFFFU;
}

// The pixels a rectangle covers along one axis. A reversed rectangle covers the pixels from its
// second edge, exclusive, to its first, inclusive, as the platform's PatBlt does.
void Span(LONG first, LONG second, long long& from, long long& to) {
    if (first <= second) {
        from = first;
        to = second;
    } else {
        from = static_cast<long long>(second) + 1;
        to = static_cast<long long>(first) + 1;
    }
}

void Paint(Canvas& canvas, const RECT& rect, COLORREF color) {
    long long left = 0;
    long long right = 0;
    long long top = 0;
    long long bottom = 0;
    Span(rect.left, rect.right, left, right);
    Span(rect.top, rect.bottom, top, bottom);
    left = left < 0 ? 0 : left;
    top = top < 0 ? 0 : top;
    right = right > canvas.width ? canvas.width : right;
    bottom = bottom > canvas.height ? canvas.height : bottom;
    const DWORD word = ToWord(PaintedColor(color));
    for (long long y = top; y < bottom; ++y) {
        for (long long x = left; x < right; ++x) {
            canvas.At(static_cast<int>(x), static_cast<int>(y)) = word;
        }
    }
}

HBITMAP AddBitmap(int width, int height, bool bottomUp) {
    GdiObject bitmap;
    bitmap.type = ObjectType::Bitmap;
    bitmap.canvas = std::make_shared<Canvas>(width, height, bottomUp);
    return static_cast<HBITMAP>(AddObject(std::move(bitmap)));
}

}  // namespace

namespace sim::detail {

void ResetGdi() {
    Gdi& gdi = State();
    gdi = Gdi{};
    gdi.screen = std::make_shared<Canvas>(kFreshScreenWidth, kFreshScreenHeight, false);
    const COLORREF stockColors[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
    for (int i = WHITE_BRUSH; i <= BLACK_BRUSH; ++i) {
        GdiObject brush;
        brush.stock = true;
        brush.color = stockColors[i];
        gdi.stockBrushes[i] = AddObject(brush);
    }
    GdiObject bitmap;
    bitmap.type = ObjectType::Bitmap;
    bitmap.stock = true;
    bitmap.canvas = std::make_shared<Canvas>(1, 1, false);
    gdi.defaultBitmap = AddObject(std::move(bitmap));
}

int OpenGdiObjects() {
    int count = 0;
    for (const auto& entry : State().objects) {
        count += entry.second.stock ? 0 : 1;
    }
    return count;
}

int OpenDeviceContexts() {
    return static_cast<int>(State().contexts.size());
}

}  // namespace sim::detail

namespace sim {

void SetScreenSize(int width, int height) {
    State().screen =
        std::make_shared<Canvas>(width > 0 ? width : 1, height > 0 ? height : 1, false);
}

void SetScreenDensity(int horizontal, int vertical) {
    State().horizontalDensity = horizontal;
    State().verticalDensity = vertical;
}

const std::vector<Fill>& Fills() {
    return State().fills;
}

void ClearFills() {
    State().fills.clear();
}

void FailNextBrushCreation() {
    State().failNextBrush = true;
}

bool ReadPixels(HDC dc, Pixels& pixels) {
    const DeviceContext* context = FindContext(dc);
    Canvas* canvas = context != nullptr ? CanvasOf(*context) : nullptr;
    if (canvas == nullptr) {
        return false;
    }
    pixels.width = canvas->width;
    pixels.height = canvas->height;
    pixels.colors.clear();
    for (int y = 0; y < canvas->height; ++y) {
        for (int x = 0; x < canvas->width; ++x) {
            pixels.colors.push_back(ToColor(canvas->At(x, y)));
        }
    }
    return true;
}

}  // namespace sim

// ---- Device contexts ------------------------------------------------------------------------

HDC WINAPI GetDC(HWND hWnd) {
    if (Refused(CallKind::Gdi, "GetDC")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HDC>(nullptr));
    }
    // The device's own look at the window, not one of the caller's calls.
    const bool uncounted = sim::detail::SetUncounted(true);
    const bool known = hWnd == nullptr || IsWindow(hWnd);
    sim::detail::SetUncounted(uncounted);
    if (!known) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, static_cast<HDC>(nullptr));
    }
    return AddContext(false);
}

int WINAPI ReleaseDC(HWND /*hWnd*/, HDC hDC) {
    const DeviceContext* context = FindContext(hDC);
    if (context == nullptr || context->memory) {
        return 0;
    }
    RemoveContext(hDC);
    // A release that fails has still given the device context back.
    return Refused(CallKind::Gdi, "ReleaseDC") ? 0 : 1;
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
    if (Refused(CallKind::Gdi, "CreateCompatibleDC")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HDC>(nullptr));
    }
    if (hdc != nullptr && FindContext(hdc) == nullptr) {
        return Fail(ERROR_INVALID_HANDLE, static_cast<HDC>(nullptr));
    }
    return AddContext(true);
}

// A device context from GetDC is given back with ReleaseDC, never deleted.
BOOL WINAPI DeleteDC(HDC hdc) {
    const DeviceContext* context = FindContext(hdc);
    if (context == nullptr || !context->memory) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    RemoveContext(hdc);
    return Refused(CallKind::Gdi, "DeleteDC") ? Fail(ERROR_INVALID_HANDLE, FALSE) : TRUE;
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
    if (Refused(CallKind::Gdi, "GetDeviceCaps")) {
        return Fail(ERROR_INVALID_HANDLE, 0);
    }
    if (FindContext(hdc) == nullptr) {
        return Fail(ERROR_INVALID_HANDLE, 0);
    }
    const Gdi& gdi = State();
    switch (index) {
        case HORZRES:
            return gdi.screen->width;
        case VERTRES:
            return gdi.screen->height;
        case BITSPIXEL:
            return 32;
        case LOGPIXELSX:
            return gdi.horizontalDensity;
        case LOGPIXELSY:
            return gdi.verticalDensity;
        default:
            return 0;
    }
}

// ---- Objects --------------------------------------------------------------------------------

// A size of 0 either way gives the 1 x 1 default bitmap, as the platform does.
HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    if (Refused(CallKind::Gdi, "CreateCompatibleBitmap")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HBITMAP>(nullptr));
    }
    if (FindContext(hdc) == nullptr) {
        return Fail(ERROR_INVALID_HANDLE, static_cast<HBITMAP>(nullptr));
    }
    if (cx < 0 || cy < 0) {
        return Fail(ERROR_INVALID_PARAMETER, static_cast<HBITMAP>(nullptr));
    }
    if (cx == 0 || cy == 0) {
        return static_cast<HBITMAP>(State().defaultBitmap);
    }
    if (static_cast<long long>(cx) * cy > kMostPixels) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HBITMAP>(nullptr));
    }
    return AddBitmap(cx, cy, false);
}

// Only 32-bit uncompressed sections in the process's own memory: the canvases' one format.
HBITMAP WINAPI CreateDIBSection(HDC /*hdc*/, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                                HANDLE hSection, DWORD /*offset*/) {
    if (ppvBits != nullptr) {
        *ppvBits = nullptr;
    }
    if (Refused(CallKind::Gdi, "CreateDIBSection")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HBITMAP>(nullptr));
    }
    if (pbmi == nullptr || usage != DIB_RGB_COLORS || hSection != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, static_cast<HBITMAP>(nullptr));
    }
    const BITMAPINFOHEADER& header = pbmi->bmiHeader;
    const long long height = header.biHeight < 0 ? -static_cast<long long>(header.biHeight)
                                                 : static_cast<long long>(header.biHeight);
    if (header.biBitCount != 32 || header.biCompression != BI_RGB || header.biWidth <= 0 ||
        height == 0) {
        return Fail(ERROR_INVALID_PARAMETER, static_cast<HBITMAP>(nullptr));
    }
    if (header.biWidth * height > kMostPixels) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HBITMAP>(nullptr));
    }
    const HBITMAP bitmap =
        AddBitmap(static_cast<int>(header.biWidth), static_cast<int>(height), header.biHeight > 0);
    if (ppvBits != nullptr) {
        *ppvBits = FindObject(bitmap)->canvas->words.data();
    }
    return bitmap;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    if (State().failNextBrush) {
        State().failNextBrush = false;
        return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HBRUSH>(nullptr));
    }
    if (Refused(CallKind::Gdi, "CreateSolidBrush")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HBRUSH>(nullptr));
    }
    GdiObject brush;
    brush.color = color;
    return static_cast<HBRUSH>(AddObject(brush));
}

HGDIOBJ WINAPI GetStockObject(int i) {
    if (i < WHITE_BRUSH || i > BLACK_BRUSH) {
        return nullptr;
    }
    return State().stockBrushes[i];
}

// Returns the object of the same kind that was selected before. A bitmap goes only into a
// memory device context, and into one at a time.
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    if (Refused(CallKind::Gdi, "SelectObject")) {
        return Fail(ERROR_INVALID_HANDLE, static_cast<HGDIOBJ>(nullptr));
    }
    DeviceContext* context = FindContext(hdc);
    GdiObject* object = FindObject(h);
    if (context == nullptr || object == nullptr) {
        return Fail(ERROR_INVALID_HANDLE, static_cast<HGDIOBJ>(nullptr));
    }
    HGDIOBJ& slot = object->type == ObjectType::Brush ? context->brush : context->bitmap;
    if (object->type == ObjectType::Bitmap) {
        if (!context->memory) {
            return Fail(ERROR_INVALID_PARAMETER, static_cast<HGDIOBJ>(nullptr));
        }
        if (!object->stock && object->selections > 0 && slot != h) {
            return Fail(ERROR_INVALID_PARAMETER, static_cast<HGDIOBJ>(nullptr));
        }
    }
    const HGDIOBJ previous = slot;
    if (GdiObject* replaced = FindObject(previous)) {
        --replaced->selections;
    }
    ++object->selections;
    slot = h;
    return previous;
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
    const DeviceContext* context = FindContext(hdc);
    if (context == nullptr) {
        return nullptr;
    }
    switch (type) {
        case OBJ_BRUSH:
            return context->brush;
        case OBJ_BITMAP:
            return context->bitmap;
        default:
            return nullptr;
    }
}

// Stock objects stay and report success. An object still selected into a device context is
// refused and stays, as the platform documents; Wine instead deletes it once it is deselected.
BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    const GdiObject* object = FindObject(ho);
    if (object == nullptr) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (object->stock) {
        return TRUE;
    }
    if (object->selections > 0) {
        return FALSE;
    }
    State().objects.erase(ho);
    // A deletion that fails has still let go of the object.
    return Refused(CallKind::Gdi, "DeleteObject") ? Fail(ERROR_INVALID_HANDLE, FALSE) : TRUE;
}

// ---- Pixels ---------------------------------------------------------------------------------

// A handle that is no brush paints with the brush selected into the device context, as the
// platform does. The rectangle is ordered and clipped to the canvas; one with no width or height
// paints nothing. Success is reported whatever was painted.
int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    if (lprc == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, 0);
    }
    const DeviceContext* context = FindContext(hDC);
    const GdiObject* brush = FindObject(hbr);
    if (brush == nullptr || brush->type != ObjectType::Brush) {
        brush = context != nullptr ? FindObject(context->brush) : nullptr;
    }
    State().fills.push_back(
        sim::Fill{hDC, *lprc, hbr, brush != nullptr ? brush->color : CLR_INVALID, OpenBrushes()});
    if (context == nullptr || brush == nullptr) {
        return Fail(ERROR_INVALID_HANDLE, 0);
    }
    if (Refused(CallKind::Gdi, "FillRect")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, 0);
    }
    if (Canvas* canvas = CanvasOf(*context)) {
        Paint(*canvas, *lprc, brush->color);
    }
    return 1;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    const DeviceContext* context = FindContext(hdc);
    Canvas* canvas = context != nullptr ? CanvasOf(*context) : nullptr;
    if (canvas == nullptr || x < 0 || y < 0 || x >= canvas->width || y >= canvas->height) {
        return CLR_INVALID;
    }
    return ToColor(canvas->At(x, y));
}
