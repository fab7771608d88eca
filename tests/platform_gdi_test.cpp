// The graphics device interface as the drawing helpers rely on it: device contexts and what a
// fresh one holds, what SelectObject hands back, how FillRect orders and clips a rectangle, which
// colour a brush paints, and what deletion refuses. Run on the simulated device and under Wine.
#include <string>
#include <vector>

#include "canvas.h"
#include "kit/kit.h"

namespace {

using canvas::Canvas;

constexpr COLORREF kBackground = RGB(1, 2, 3);
constexpr COLORREF kRed = RGB(255, 0, 0);

// The canvas as rows of '#' (painted `color`) and '.' (anything else).
std::vector<std::string> Painted(const Canvas& canvas, COLORREF color) {
    std::vector<std::string> rows;
    for (int y = 0; y < canvas.height(); ++y) {
        std::string row;
        for (int x = 0; x < canvas.width(); ++x) {
            row += GetPixel(canvas.dc(), x, y) == color ? '#' : '.';
        }
        rows.push_back(row);
    }
    return rows;
}

class PlatformGdi : public kit::DeviceTest {};

TEST_F(PlatformGdi, AFreshMemoryContextHoldsTheWhiteBrushAndAOnePixelBitmap) {
    const HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 1, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(dc, 0, 1), CLR_INVALID);

    // Each kind of object has its own slot, and selecting hands back what the slot held.
    const HGDIOBJ defaultBitmap = GetCurrentObject(dc, OBJ_BITMAP);
    const HDC screen = GetDC(nullptr);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, 4, 4);
    const HBRUSH brush = CreateSolidBrush(kRed);
    EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(dc, bitmap), defaultBitmap);
    EXPECT_EQ(SelectObject(dc, brush), brush) << "the same brush again";
    EXPECT_EQ(GetPixel(dc, 3, 3), RGB(0, 0, 0)) << "a new bitmap is black";
    EXPECT_EQ(GetPixel(dc, 4, 0), CLR_INVALID);
    EXPECT_EQ(SelectObject(dc, GetStockObject(BLACK_BRUSH)), brush);
    EXPECT_EQ(SelectObject(dc, defaultBitmap), bitmap);

    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
}

TEST_F(PlatformGdi, SelectingNothingOrAGoneObjectFails) {
    const Canvas canvas(4, 4, kBackground);
    ASSERT_TRUE(canvas.ready());
    const HBRUSH gone = CreateSolidBrush(kRed);
    DeleteObject(gone);
    const HGDIOBJ brush = GetCurrentObject(canvas.dc(), OBJ_BRUSH);

    EXPECT_EQ(SelectObject(canvas.dc(), nullptr), nullptr);
    EXPECT_EQ(SelectObject(canvas.dc(), gone), nullptr);
    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_BRUSH), brush) << "nothing changed";

    // A bitmap goes into one device context at a time.
    const HDC second = CreateCompatibleDC(nullptr);
    const HGDIOBJ bitmap = GetCurrentObject(canvas.dc(), OBJ_BITMAP);
    EXPECT_EQ(SelectObject(second, bitmap), nullptr);
    DeleteDC(second);
}

TEST_F(PlatformGdi, FillRectOrdersAndClipsTheRectangle) {
    struct Case {
        const char* name;
        RECT rect;
        std::vector<std::string> painted;
    };
    const Case cases[] = {
        {"right and bottom edges excluded",
         {1, 1, 3, 3},
         {"........", ".##.....", ".##.....", "........"}},
        {"reversed across: from the right edge, exclusive, to the left, inclusive",
         {6, 0, 4, 2},
         {".....##.", ".....##.", "........", "........"}},
        {"reversed down", {0, 3, 1, 1}, {"........", "........", "#.......", "#......."}},
        {"no width", {7, 0, 7, 4}, {"........", "........", "........", "........"}},
        {"no height", {0, 2, 8, 2}, {"........", "........", "........", "........"}},
        {"clipped to the canvas",
         {6, -2, 20, 10},
         {"......##", "......##", "......##", "......##"}},
        {"wholly off the canvas",
         {-5, -5, -1, -1},
         {"........", "........", "........", "........"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Canvas canvas(8, 4, kBackground);
        ASSERT_TRUE(canvas.ready());
        const HBRUSH brush = CreateSolidBrush(kRed);
        EXPECT_NE(FillRect(canvas.dc(), &c.rect, brush), 0);
        EXPECT_EQ(Painted(canvas, kRed), c.painted);
        DeleteObject(brush);
    }
}

TEST_F(PlatformGdi, AFillWithoutABrushUsesTheSelectedOne) {
    const Canvas canvas(4, 4, kBackground);
    ASSERT_TRUE(canvas.ready());
    const HGDIOBJ original = SelectObject(canvas.dc(), GetStockObject(GRAY_BRUSH));
    const HBRUSH gone = CreateSolidBrush(kRed);
    DeleteObject(gone);
    const RECT all{0, 0, 4, 4};
    for (const HBRUSH brush : {static_cast<HBRUSH>(nullptr), gone}) {
        const HBRUSH clear = CreateSolidBrush(kBackground);
        FillRect(canvas.dc(), &all, clear);
        DeleteObject(clear);
        FillRect(canvas.dc(), &all, brush);
        EXPECT_EQ(GetPixel(canvas.dc(), 2, 2), RGB(128, 128, 128));
    }
    SelectObject(canvas.dc(), original);
}

// The top byte of a colour is no part of its RGB value: bit 24 asks for an entry of the default
// palette by the low word, and a missing entry gives black; DIBINDEX asks for an entry of the
// bitmap's colour table, which a 32-bit bitmap lacks. The other bits are ignored.
TEST_F(PlatformGdi, TheTopByteOfABrushColourIsNoPartOfItsRgbValue) {
    struct Case {
        COLORREF color;
        COLORREF painted;
    };
    const Case cases[] = {
        {0x00123456, 0x123456}, {0x02123456, 0x123456}, {0x80123456, 0x123456},
        {0x01000000, 0x000000}, {0x01000001, 0x000080}, {0x01000007, 0xC0C0C0},
        {0x01000013, 0xFFFFFF}, {0x01000014, 0x000000}, {0x01123456, 0x000000},
        {0xFF123456, 0x000000}, {0x10FF0001, 0x000000},
    };
    const Canvas canvas(2, 2, kBackground);
    ASSERT_TRUE(canvas.ready());
    const RECT all{0, 0, 2, 2};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "colour 0x" << std::hex << c.color);
        const HBRUSH brush = CreateSolidBrush(c.color);
        FillRect(canvas.dc(), &all, brush);
        EXPECT_EQ(GetPixel(canvas.dc(), 1, 1), c.painted);
        DeleteObject(brush);
    }
}

TEST_F(PlatformGdi, DeletionAndRelease) {
    const int objects = kit::GdiObjects();
    const HBRUSH brush = CreateSolidBrush(kRed);
    EXPECT_EQ(kit::GdiObjects(), objects + 1);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_EQ(kit::GdiObjects(), objects);
    EXPECT_FALSE(DeleteObject(brush)) << "already gone";
    EXPECT_FALSE(DeleteObject(nullptr));
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH))) << "stock objects stay";
    const Canvas canvas(2, 2, kBackground);
    ASSERT_TRUE(canvas.ready());
    EXPECT_NE(SelectObject(canvas.dc(), GetStockObject(BLACK_BRUSH)), nullptr);

    // Deleting a device context lets go of its bitmap, which can then be deleted.
    const HDC dc = CreateCompatibleDC(nullptr);
    const HDC screen = GetDC(nullptr);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, 2, 2);
    SelectObject(dc, bitmap);
    EXPECT_EQ(ReleaseDC(nullptr, dc), 0) << "a memory device context is deleted, not released";
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 0);
}

TEST_F(PlatformGdi, EveryContextReportsTheScreensDensity) {
    const HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96) << "a standard screen";
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    EXPECT_EQ(GetDeviceCaps(memory, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSX));
    EXPECT_EQ(GetDeviceCaps(memory, LOGPIXELSY), GetDeviceCaps(screen, LOGPIXELSY));
    EXPECT_EQ(GetDeviceCaps(memory, HORZRES), GetDeviceCaps(screen, HORZRES));
    EXPECT_EQ(GetDeviceCaps(nullptr, LOGPIXELSX), 0);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// A 32-bit section holds each pixel as 0x00RRGGBB; a positive height puts the bottom row first.
TEST_F(PlatformGdi, SectionsHoldTheirRowsInTheOrderTheHeightGives) {
    for (const LONG height : {-2, 2}) {
        SCOPED_TRACE(testing::Message() << "height " << height);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = 2;
        info.bmiHeader.biHeight = height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        const HDC dc = CreateCompatibleDC(nullptr);
        const HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(section, nullptr);
        ASSERT_NE(bits, nullptr);
        const HGDIOBJ previous = SelectObject(dc, section);
        const HBRUSH brush = CreateSolidBrush(RGB(0x12, 0x34, 0x56));
        const RECT topLeft{0, 0, 1, 1};
        FillRect(dc, &topLeft, brush);
        const auto* words = static_cast<const DWORD*>(bits);
        EXPECT_EQ(words[height < 0 ? 0 : 2], 0x00123456u);
        EXPECT_EQ(words[height < 0 ? 2 : 0], 0u);
        SelectObject(dc, previous);
        DeleteObject(brush);
        DeleteObject(section);
        DeleteDC(dc);
    }
}

}  // namespace
