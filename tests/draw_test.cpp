// The drawing helpers as a caller sees them: the pixels a gradient leaves in a 32-bit DIB
// section, what stays selected and what stays open afterwards, and the screen density test.
// The same cases run on the simulated device and under Wine.
#include <climits>
#include <string>
#include <vector>

#include "canvas.h"
#include "kit/kit.h"
#include "support/draw.h"

namespace {

using canvas::Canvas;
using canvas::Span;
using canvas::Spans;

constexpr COLORREF kBackground = RGB(1, 2, 3);  // no gradient below paints it
constexpr int kCanvasWidth = 120;               // room for bands that reach past the right edge
constexpr int kCanvasHeight = 8;
constexpr int kTop = 2;
constexpr int kBottom = 6;
constexpr int kMiddleRow = 4;

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

constexpr COLORREF Grey(int level) {
    return RGB(level, level, level);
}

// Bands of equal width from `from`, one per colour, then the background to the canvas's edge.
std::vector<Span> Bands(int from, int width, const std::vector<COLORREF>& colors) {
    std::vector<Span> spans;
    if (from > 0) {
        spans.push_back(Span{0, from, kBackground});
    }
    for (const COLORREF color : colors) {
        spans.push_back(Span{from, from + width, color});
        from += width;
    }
    if (from < kCanvasWidth) {
        spans.push_back(Span{from, kCanvasWidth, kBackground});
    }
    return spans;
}

const std::vector<Span> kUntouched = {Span{0, kCanvasWidth, kBackground}};

class Draw : public kit::DeviceTest {};

TEST_F(Draw, GradientsPaintTheirBands) {
    struct Case {
        const char* name;
        RECT rect;
        COLORREF start;
        COLORREF end;
        int bandCount;
        std::vector<Span> row;
    };
    const Case cases[] = {
        {"black to white in 10 bands of 10",
         {0, kTop, 100, kBottom},
         kBlack,
         kWhite,
         10,
         Bands(0, 10,
               {Grey(0), Grey(25), Grey(51), Grey(76), Grey(102), Grey(127), Grey(153), Grey(178),
                Grey(204), Grey(229)})},
        {"red to blue in 4, the red falling",
         {0, kTop, 100, kBottom},
         kRed,
         kBlue,
         4,
         Bands(0, 25, {RGB(255, 0, 0), RGB(191, 0, 63), RGB(127, 0, 127), RGB(63, 0, 191)})},
        {"100 wide in 8: 9 bands of 12, the last from 96 to 108",
         {0, kTop, 100, kBottom},
         kBlack,
         kWhite,
         8,
         Bands(0, 12,
               {Grey(0), Grey(30), Grey(61), Grey(91), Grey(122), Grey(153), Grey(183), Grey(214),
                Grey(244)})},
        {"one band in the start colour",
         {0, kTop, 100, kBottom},
         kRed,
         kBlue,
         1,
         Bands(0, 100, {kRed})},
        {"as many bands as units, each one wide",
         {0, kTop, 8, kBottom},
         kBlack,
         RGB(100, 0, 0),
         8,
         Bands(0, 1,
               {RGB(0, 0, 0), RGB(12, 0, 0), RGB(25, 0, 0), RGB(37, 0, 0), RGB(50, 0, 0),
                RGB(62, 0, 0), RGB(75, 0, 0), RGB(87, 0, 0)})},
        {"equal colours",
         {0, kTop, 100, kBottom},
         RGB(10, 200, 30),
         RGB(10, 200, 30),
         5,
         Bands(0, 100, {RGB(10, 200, 30)})},
        {"a falling channel truncates toward zero",
         {0, kTop, 100, kBottom},
         RGB(0, 200, 0),
         RGB(0, 10, 0),
         4,
         Bands(0, 25, {RGB(0, 200, 0), RGB(0, 152, 0), RGB(0, 105, 0), RGB(0, 57, 0)})},
        // Exact arithmetic would give 170 and 85 for bands 3 and 6; the running sums fall short.
        {"the channels advance by repeated addition",
         {0, kTop, 9, kBottom},
         kWhite,
         kBlack,
         5,
         Bands(0, 1,
               {Grey(255), Grey(226), Grey(198), Grey(169), Grey(141), Grey(113), Grey(84),
                Grey(56), Grey(28)})},
        {"the bands start at the rectangle's own left edge",
         {10, kTop, 60, kBottom},
         kBlack,
         kWhite,
         5,
         Bands(10, 10, {Grey(0), Grey(51), Grey(102), Grey(153), Grey(204)})},
        {"a left edge off the canvas",
         {-20, kTop, 30, kBottom},
         kBlack,
         kWhite,
         5,
         Bands(0, 10, {Grey(102), Grey(153), Grey(204)})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Canvas canvas(kCanvasWidth, kCanvasHeight, kBackground);
        ASSERT_TRUE(canvas.ready());
        FillBandedGradient(canvas.dc(), c.rect, c.start, c.end, c.bandCount);
        EXPECT_EQ(Spans(canvas, kTop), c.row);
        EXPECT_EQ(Spans(canvas, kBottom - 1), c.row);
        EXPECT_EQ(Spans(canvas, kTop - 1), kUntouched);
        EXPECT_EQ(Spans(canvas, kBottom), kUntouched);
    }
}

TEST_F(Draw, TheTopByteOfEitherColourChangesNothing) {
    const std::vector<Span> expected =
        Bands(0, 25, {RGB(255, 0, 0), RGB(191, 0, 63), RGB(127, 0, 127), RGB(63, 0, 191)});
    // Bit 24 would ask the platform for an entry of its palette instead.
    for (const COLORREF top : {0x01000000U, 0x02000000U, 0x80000000U, 0xFF000000U}) {
        SCOPED_TRACE(testing::Message() << "top bits 0x" << std::hex << top);
        const Canvas canvas(kCanvasWidth, kCanvasHeight, kBackground);
        ASSERT_TRUE(canvas.ready());
        const RECT rect{0, kTop, 100, kBottom};
        FillBandedGradient(canvas.dc(), rect, top | kRed, top | kBlue, 4);
        EXPECT_EQ(Spans(canvas, kMiddleRow), expected);
    }
}

TEST_F(Draw, NothingIsDrawnWithoutAWidthOrWithACountOutsideIt) {
    struct Case {
        const char* name;
        RECT rect;
        int bandCount;
    };
    const Case cases[] = {
        {"no width", {50, kTop, 50, kBottom}, 4},
        {"right edge left of the left edge", {60, kTop, 40, kBottom}, 4},
        {"no bands", {0, kTop, 100, kBottom}, 0},
        {"a negative count", {0, kTop, 100, kBottom}, -1},
        {"the lowest count", {0, kTop, 100, kBottom}, INT_MIN},
        {"more bands than units", {0, kTop, 100, kBottom}, 101},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Canvas canvas(kCanvasWidth, kCanvasHeight, kBackground);
        ASSERT_TRUE(canvas.ready());
        const int objects = kit::GdiObjects();
        FillBandedGradient(canvas.dc(), c.rect, kBlack, kWhite, c.bandCount);
        EXPECT_EQ(kit::GdiObjects(), objects);
        for (int y = 0; y < kCanvasHeight; ++y) {
            EXPECT_EQ(Spans(canvas, y), kUntouched) << "row " << y;
        }
        std::vector<kit::Fill> fills;
        if (kit::RecordedFills(fills)) {
            EXPECT_TRUE(fills.empty()) << "no brush, no fill";
        }
    }
}

// The fill leaves the vertical extent to the platform, which covers a rectangle given bottom
// first from the row below its bottom down to its top.
TEST_F(Draw, ABottomAboveTheTopStillRunsTheBands) {
    const Canvas canvas(kCanvasWidth, kCanvasHeight, kBackground);
    ASSERT_TRUE(canvas.ready());
    const RECT rect{0, kBottom, 100, kTop};
    FillBandedGradient(canvas.dc(), rect, kRed, kBlue, 4);
    EXPECT_EQ(canvas::ColumnSpans(canvas, 10),
              (std::vector<Span>{Span{0, kTop + 1, kBackground}, Span{kTop + 1, kBottom + 1, kRed},
                                 Span{kBottom + 1, kCanvasHeight, kBackground}}));
    EXPECT_EQ(Spans(canvas, kMiddleRow),
              Bands(0, 25, {RGB(255, 0, 0), RGB(191, 0, 63), RGB(127, 0, 127), RGB(63, 0, 191)}));
}

TEST_F(Draw, ARectangleWithoutHeightPaintsNothingAndKeepsNothing) {
    const Canvas canvas(kCanvasWidth, kCanvasHeight, kBackground);
    ASSERT_TRUE(canvas.ready());
    const int objects = kit::GdiObjects();
    const RECT rect{0, kMiddleRow, 100, kMiddleRow};
    FillBandedGradient(canvas.dc(), rect, kRed, kBlue, 4);
    EXPECT_EQ(kit::GdiObjects(), objects);
    for (int y = 0; y < kCanvasHeight; ++y) {
        EXPECT_EQ(Spans(canvas, y), kUntouched) << "row " << y;
    }
}

TEST_F(Draw, WhatWasSelectedIsSelectedAgainAndNoBrushStays) {
    const Canvas canvas(kCanvasWidth, kCanvasHeight, kBackground);
    ASSERT_TRUE(canvas.ready());
    const HBRUSH own = CreateSolidBrush(RGB(9, 9, 9));
    const HGDIOBJ original = SelectObject(canvas.dc(), own);
    const HGDIOBJ bitmap = GetCurrentObject(canvas.dc(), OBJ_BITMAP);
    const int objects = kit::GdiObjects();

    const RECT rect{0, kTop, 100, kBottom};
    FillBandedGradient(canvas.dc(), rect, kBlack, kWhite, 8);

    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_BRUSH), own);
    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_BITMAP), bitmap);
    EXPECT_EQ(kit::GdiObjects(), objects) << "every band's brush deleted";
    SelectObject(canvas.dc(), original);
    DeleteObject(own);
}

// What the pixels cannot show: a brush of the band's own colour for every band, even one that
// paints nothing, and never more than one of them at a time.
TEST_F(Draw, EveryBandFillsWithABrushOfItsOwn) {
    std::vector<kit::Fill> fills;
    if (!kit::RecordedFills(fills)) {
        GTEST_SKIP() << "this build keeps no record of the fills";
    }
    const Canvas canvas(kCanvasWidth, kCanvasHeight, kBackground);
    ASSERT_TRUE(canvas.ready());
    const HBRUSH own = CreateSolidBrush(RGB(9, 9, 9));
    const HGDIOBJ original = SelectObject(canvas.dc(), own);

    FillBandedGradient(canvas.dc(), RECT{0, kTop, 100, kBottom}, kBlack, kWhite, 8);
    ASSERT_TRUE(kit::RecordedFills(fills));
    const int levels[] = {0, 30, 61, 91, 122, 153, 183, 214, 244};
    ASSERT_EQ(fills.size(), 9u);
    for (std::size_t band = 0; band < fills.size(); ++band) {
        SCOPED_TRACE(testing::Message() << "band " << band);
        EXPECT_EQ(fills[band].color, Grey(levels[band]));
        EXPECT_EQ(fills[band].brushesOpen, 2) << "the caller's brush and this band's alone";
        EXPECT_EQ(fills[band].rect.left, static_cast<LONG>(band * 12));
        EXPECT_EQ(fills[band].rect.right, static_cast<LONG>(band * 12 + 12));
    }

    // A rectangle without height paints nothing, but every band still takes its brush.
    FillBandedGradient(canvas.dc(), RECT{0, kMiddleRow, 100, kMiddleRow}, kRed, kBlue, 4);
    ASSERT_TRUE(kit::RecordedFills(fills));
    const COLORREF colors[] = {RGB(255, 0, 0), RGB(191, 0, 63), RGB(127, 0, 127), RGB(63, 0, 191)};
    ASSERT_EQ(fills.size(), 9u + 4u);
    for (std::size_t band = 0; band < 4; ++band) {
        SCOPED_TRACE(testing::Message() << "band " << band << " without height");
        const kit::Fill& fill = fills[9 + band];
        EXPECT_EQ(fill.color, colors[band]);
        EXPECT_EQ(fill.rect.left, static_cast<LONG>(band * 25));
        EXPECT_EQ(fill.rect.top, kMiddleRow);
        EXPECT_EQ(fill.rect.bottom, kMiddleRow);
    }

    // Across the whole coordinate range: bands 2147483647 wide, the third one stopped at the end.
    FillBandedGradient(canvas.dc(), RECT{INT_MIN, kTop, INT_MAX, kBottom}, kBlack, kWhite, 2);
    ASSERT_TRUE(kit::RecordedFills(fills));
    ASSERT_EQ(fills.size(), 9u + 4u + 3u);
    EXPECT_EQ(fills[13].rect.left, INT_MIN);
    EXPECT_EQ(fills[14].rect.left, -1);
    EXPECT_EQ(fills[15].rect.left, INT_MAX - 1);
    EXPECT_EQ(fills[15].rect.right, INT_MAX);
    SelectObject(canvas.dc(), original);
    DeleteObject(own);
}

// A rectangle across the whole coordinate range is wider than a 32-bit width holds: its bands
// still run, and a last band reaching past the range stops at its end.
TEST_F(Draw, BandsAcrossTheWholeCoordinateRange) {
    const Canvas canvas(kCanvasWidth, kCanvasHeight, kBackground);
    ASSERT_TRUE(canvas.ready());
    const RECT rect{INT_MIN, kTop, INT_MAX, kBottom};
    FillBandedGradient(canvas.dc(), rect, kBlack, kWhite, 2);
    EXPECT_EQ(Spans(canvas, kMiddleRow), (std::vector<Span>{Span{0, kCanvasWidth, Grey(127)}}));
}

// The band whose brush could not be made is still filled, with no brush of its own, so the
// platform paints it with the brush the caller had selected; the others are unaffected.
TEST_F(Draw, ABrushThatCannotBeMadeLeavesTheOtherBands) {
    const Canvas canvas(kCanvasWidth, kCanvasHeight, kBackground);
    ASSERT_TRUE(canvas.ready());
    const HGDIOBJ original = SelectObject(canvas.dc(), GetStockObject(GRAY_BRUSH));
    const int objects = kit::GdiObjects();
    if (!kit::FailNext(kit::Fault::BrushCreation)) {
        SelectObject(canvas.dc(), original);
        GTEST_SKIP() << "this build cannot make brush creation fail";
    }
    const RECT rect{0, kTop, 100, kBottom};
    FillBandedGradient(canvas.dc(), rect, kRed, kBlue, 4);
    EXPECT_EQ(
        Spans(canvas, kMiddleRow),
        Bands(0, 25, {RGB(128, 128, 128), RGB(191, 0, 63), RGB(127, 0, 127), RGB(63, 0, 191)}));
    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_BRUSH), GetStockObject(GRAY_BRUSH));
    EXPECT_EQ(kit::GdiObjects(), objects);
    SelectObject(canvas.dc(), original);
}

TEST_F(Draw, TheDensityIsTheScreensAndNoContextStays) {
    const HDC screen = GetDC(nullptr);
    const int expectedHorizontal = GetDeviceCaps(screen, LOGPIXELSX);
    const int expectedVertical = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const int objects = kit::GdiObjects();

    int horizontal = -1;
    int vertical = -1;
    const BOOL high = IsHighDensityDisplay(horizontal, vertical);
    EXPECT_EQ(horizontal, expectedHorizontal);
    EXPECT_EQ(vertical, expectedVertical);
    EXPECT_EQ(high, expectedHorizontal > 96 ? TRUE : FALSE);
    EXPECT_EQ(kit::GdiObjects(), objects);
}

TEST_F(Draw, OnlyTheHorizontalDensityDecides) {
    struct Case {
        int horizontal;
        int vertical;
        BOOL high;
    };
    const Case cases[] = {
        {96, 96, FALSE}, {97, 96, TRUE},   {96, 192, FALSE}, {97, 72, TRUE},
        {72, 72, FALSE}, {192, 192, TRUE}, {131, 96, TRUE},  {0, 0, FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.horizontal << " x " << c.vertical);
        if (!kit::SetScreenDensity(c.horizontal, c.vertical)) {
            GTEST_SKIP() << "this build cannot change the screen's density";
        }
        int horizontal = -1;
        int vertical = -1;
        EXPECT_EQ(IsHighDensityDisplay(horizontal, vertical), c.high);
        EXPECT_EQ(horizontal, c.horizontal);
        EXPECT_EQ(vertical, c.vertical);
    }
}

}  // namespace
