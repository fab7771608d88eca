// A memory device context that draws on a 32-bit top-down DIB section, so tests read exact
// colours back with GetPixel on either build.
#pragma once

#include <windows.h>

#include <ostream>
#include <vector>

namespace canvas {

class Canvas {
  public:
    // Every pixel starts as `background`, written straight into the section's memory so that no
    // drawing call is involved.
    Canvas(int width, int height, COLORREF background) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        previous_ = SelectObject(dc_, bitmap_);
        const DWORD word = GetBValue(background) |
                           (static_cast<DWORD>(GetGValue(background)) << 8) |
                           (static_cast<DWORD>(GetRValue(background)) << 16);
        auto* words = static_cast<DWORD*>(bits);
        for (int i = 0; words != nullptr && i < width * height; ++i) {
            words[i] = word;
        }
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    ~Canvas() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }

    HDC dc() const { return dc_; }
    bool ready() const { return dc_ != nullptr && bitmap_ != nullptr && previous_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// A stretch of one colour along a row: pixels `from` up to `to`, exclusive.
struct Span {
    int from;
    int to;
    COLORREF color;
    bool operator==(const Span& other) const {
        return from == other.from && to == other.to && color == other.color;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Span& run) {
    const auto flags = out.flags();
    out << "[" << run.from << ", " << run.to << ") 0x" << std::hex << run.color;
    out.flags(flags);
    return out;
}

// Row `y` of the canvas as spans of one colour, left to right.
inline std::vector<Span> Spans(const Canvas& canvas, int y) {
    std::vector<Span> spans;
    for (int x = 0; x < canvas.width(); ++x) {
        const COLORREF color = GetPixel(canvas.dc(), x, y);
        if (!spans.empty() && spans.back().color == color) {
            spans.back().to = x + 1;
        } else {
            spans.push_back(Span{x, x + 1, color});
        }
    }
    return spans;
}

// Column `x` of the canvas as spans of one colour, top to bottom.
inline std::vector<Span> ColumnSpans(const Canvas& canvas, int x) {
    std::vector<Span> spans;
    for (int y = 0; y < canvas.height(); ++y) {
        const COLORREF color = GetPixel(canvas.dc(), x, y);
        if (!spans.empty() && spans.back().color == color) {
            spans.back().to = y + 1;
        } else {
            spans.push_back(Span{y, y + 1, color});
        }
    }
    return spans;
}

}  // namespace canvas
