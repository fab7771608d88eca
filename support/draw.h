// Drawing helpers: a banded left-to-right colour gradient, and the screen density test.
//
// Colours are COLORREF values, 0x00BBGGRR; bits 24 to 31 of an input colour are ignored. Neither
// function keeps anything between calls, reports a failure or shows anything: every brush and
// device context they obtain is given back before they return.
#pragma once

#include <windows.h>

// Paints `rect` of `dc` from `start` at the left towards `end` in solid bands the full height of
// the rectangle, one brush per band. The band width is (right - left) / bandCount, rounded down;
// the bands start at the rectangle's left edge and follow each other until one reaches its right
// edge, so a count that does not divide the width gives more bands than the count, the last
// reaching up to a band width - 1 beyond the right edge. Band k has start + k steps of
// band width x (end - start) / width in each channel, truncated; the end colour itself is never
// painted. The vertical extent is the platform's to interpret. Nothing is drawn and no brush is
// created when the width is not positive or the count is not within 1 to the width. The object
// selected into `dc` beforehand is selected again afterwards; a band's restore that fails is
// tried once more, so that its brush can be deleted.
void FillBandedGradient(HDC dc, const RECT& rect, COLORREF start, COLORREF end, int bandCount);

// Reads the screen's logical pixels per inch along its width and its height into the two
// arguments (always written) and returns TRUE when the horizontal value is above the standard
// 96. The vertical value takes no part in the decision.
BOOL IsHighDensityDisplay(int& horizontalDpi, int& verticalDpi);
