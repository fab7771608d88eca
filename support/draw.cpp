#include "support/draw.h"

#include <cstdint>
#include <limits>

namespace {

// Logical pixels per inch of a standard screen; anything denser is a high-density display.
constexpr int kStandardDensity = 96;

constexpr long long kLastCoordinate = std::numeric_limits<LONG>::max();

double Channel(COLORREF color, int shift) {
    return static_cast<double>((color >> shift) & 0xFFU);
}

// The low 8 bits of the accumulator truncated toward zero.
COLORREF ChannelBits(double accumulator, int shift) {
    return (static_cast<COLORREF>(static_cast<int>(accumulator)) & 0xFFU) << shift;
}

}  // namespace

void FillBandedGradient(HDC dc, const RECT& rect, COLORREF start, COLORREF end, int bandCount) {
    // Computed wide: a rectangle spanning most of the coordinate range must not overflow.
    const long long wideWidth = static_cast<long long>(rect.right) - rect.left;
    if (wideWidth <= 0 || bandCount < 1 || bandCount > wideWidth) {
        return;
    }
    // A positive difference of two LONGs fits 32 unsigned bits: the division and the conversions
    // are 32-bit ones, which the device's processor does without 64-bit helper calls.
    const auto width = static_cast<std::uint32_t>(wideWidth);
    const std::uint32_t bandWidth = width / static_cast<std::uint32_t>(bandCount);

    // Each step in exactly this order: the difference, over the width, times the band width.
    const int shifts[3] = {0, 8, 16};
    double accumulators[3];
    double steps[3];
    for (int c = 0; c < 3; ++c) {
        accumulators[c] = Channel(start, shifts[c]);
        steps[c] =
            static_cast<double>(bandWidth) *
            ((Channel(end, shifts[c]) - Channel(start, shifts[c])) / static_cast<double>(width));
    }

    const long long limit = rect.right;
    long long position = rect.left;
    do {
        const COLORREF color = ChannelBits(accumulators[0], shifts[0]) |
                               ChannelBits(accumulators[1], shifts[1]) |
                               ChannelBits(accumulators[2], shifts[2]);
        const HBRUSH brush = CreateSolidBrush(color);
        const HGDIOBJ previous = SelectObject(dc, brush);
        // The last band keeps its full width; past the coordinate range it stops at the range.
        const long long bandRight = position + bandWidth;
        RECT band = rect;
        band.left = static_cast<LONG>(position);
        band.right = static_cast<LONG>(bandRight < kLastCoordinate ? bandRight : kLastCoordinate);
        position = bandRight;
        // A band whose brush could not be made still runs every step, as the others do.
        FillRect(dc, &band, brush);
        // A restore that fails leaves the band's brush selected, where it could not be deleted
        // and the caller's object would not come back: it is tried once more.
        if (SelectObject(dc, previous) == nullptr && previous != nullptr) {
            SelectObject(dc, previous);
        }
        DeleteObject(brush);
        // Advanced by addition, band after band, never recomputed from the band's index.
        for (int c = 0; c < 3; ++c) {
            accumulators[c] += steps[c];
        }
    } while (position < limit);
}

BOOL IsHighDensityDisplay(int& horizontalDpi, int& verticalDpi) {
    const HDC screen = GetDC(nullptr);
    horizontalDpi = GetDeviceCaps(screen, LOGPIXELSX);
    verticalDpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return horizontalDpi > kStandardDensity ? TRUE : FALSE;
}
