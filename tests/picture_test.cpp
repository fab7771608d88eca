// The simulated device's pictures, read back with zlib as any PNG reader would: the chunks'
// checksums, the image data stream, and every pixel against what GetPixel reports.
#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pictures/png.h"
#include "sim.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t BigEndian(const Bytes& bytes, std::size_t at) {
    return (static_cast<std::uint32_t>(bytes[at]) << 24) |
           (static_cast<std::uint32_t>(bytes[at + 1]) << 16) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 8) | bytes[at + 3];
}

struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Bytes rgb;  // rows from the top, three bytes a pixel
};

// Reads an 8-bit RGB PNG without interlacing whose rows are unfiltered, checking every checksum.
::testing::AssertionResult Read(const std::string& path, Picture& picture) {
    std::ifstream file(path, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const Bytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() < 8 || !std::equal(signature.begin(), signature.end(), bytes.begin())) {
        return ::testing::AssertionFailure() << "no PNG signature";
    }
    Bytes data;
    bool ended = false;
    for (std::size_t at = 8; at + 12 <= bytes.size();) {
        const std::uint32_t length = BigEndian(bytes, at);
        const std::string type(bytes.begin() + static_cast<long>(at) + 4,
                               bytes.begin() + static_cast<long>(at) + 8);
        const std::uint8_t* body = bytes.data() + at + 8;
        const uLong crc = crc32(crc32(0, nullptr, 0), bytes.data() + at + 4, length + 4);
        if (crc != BigEndian(bytes, at + 8 + length)) {
            return ::testing::AssertionFailure() << "bad checksum in " << type;
        }
        if (type == "IHDR") {
            picture.width = BigEndian(bytes, at + 8);
            picture.height = BigEndian(bytes, at + 12);
            if (Bytes(body + 8, body + 13) != Bytes{8, 2, 0, 0, 0}) {
                return ::testing::AssertionFailure() << "not 8-bit RGB without interlacing";
            }
        } else if (type == "IDAT") {
            data.insert(data.end(), body, body + length);
        } else if (type == "IEND") {
            ended = true;
        }
        at += 12 + length;
    }
    if (!ended) {
        return ::testing::AssertionFailure() << "no IEND chunk";
    }
    const std::size_t rowBytes = picture.width * 3 + 1;
    Bytes raw(rowBytes * picture.height);
    uLongf rawLength = raw.size();
    if (uncompress(raw.data(), &rawLength, data.data(), data.size()) != Z_OK ||
        rawLength != raw.size()) {
        return ::testing::AssertionFailure() << "the image data does not inflate to its rows";
    }
    for (std::size_t row = 0; row < picture.height; ++row) {
        if (raw[row * rowBytes] != 0) {
            return ::testing::AssertionFailure() << "row " << row << " is filtered";
        }
        picture.rgb.insert(picture.rgb.end(), raw.begin() + static_cast<long>(row * rowBytes + 1),
                           raw.begin() + static_cast<long>((row + 1) * rowBytes));
    }
    return ::testing::AssertionSuccess();
}

class Pictures : public ::testing::Test {
  protected:
    // Each test its own file: CTest runs the tests side by side.
    void SetUp() override {
        sim::Reset();
        path_ = ::testing::TempDir() + "wrenfold-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".png";
    }
    void TearDown() override {
        std::remove(path_.c_str());
        EXPECT_EQ(sim::OpenHandlesReport(), "");
    }
    std::string path_;
};

void Paint(HDC dc, const RECT& rect, COLORREF color) {
    const HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

// Large enough for the image data to fill more than one deflate block, enlarged or not.
TEST_F(Pictures, APictureHoldsTheCanvasPixelByPixel) {
    constexpr int kWidth = 200;
    constexpr int kHeight = 120;
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, kWidth, kHeight);
    const HGDIOBJ previous = SelectObject(dc, bitmap);
    Paint(dc, RECT{0, 0, kWidth, kHeight}, RGB(10, 20, 30));
    Paint(dc, RECT{5, 7, 60, 100}, RGB(255, 0, 0));
    Paint(dc, RECT{50, 90, 199, 119}, RGB(0, 128, 255));

    for (const int scale : {1, 2}) {
        SCOPED_TRACE(testing::Message() << "scale " << scale);
        ASSERT_TRUE(WritePicture(dc, path_, scale));
        Picture picture;
        ASSERT_TRUE(Read(path_, picture));
        ASSERT_EQ(picture.width, static_cast<std::uint32_t>(kWidth * scale));
        ASSERT_EQ(picture.height, static_cast<std::uint32_t>(kHeight * scale));
        int wrong = 0;
        for (int y = 0; y < kHeight * scale; ++y) {
            for (int x = 0; x < kWidth * scale; ++x) {
                const COLORREF expected = GetPixel(dc, x / scale, y / scale);
                const std::size_t at = (static_cast<std::size_t>(y) * picture.width + x) * 3;
                wrong += RGB(picture.rgb[at], picture.rgb[at + 1], picture.rgb[at + 2]) != expected
                             ? 1
                             : 0;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

TEST_F(Pictures, TheScreenIsAPictureToo) {
    sim::SetScreenSize(3, 2);
    const HDC screen = GetDC(nullptr);
    Paint(screen, RECT{1, 0, 2, 1}, RGB(1, 2, 3));
    ASSERT_TRUE(WritePicture(screen, path_));
    Picture picture;
    ASSERT_TRUE(Read(path_, picture));
    EXPECT_EQ(picture.width, 3u);
    EXPECT_EQ(picture.height, 2u);
    EXPECT_EQ(picture.rgb, (Bytes{0, 0, 0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    ReleaseDC(nullptr, screen);
}

TEST_F(Pictures, NothingIsWrittenWithoutACanvasOrAPlace) {
    const HDC screen = GetDC(nullptr);
    EXPECT_FALSE(WritePicture(nullptr, path_));
    EXPECT_FALSE(WritePicture(screen, path_, 0));
    EXPECT_FALSE(WritePicture(screen, path_, 17));
    EXPECT_FALSE(WritePicture(screen, ::testing::TempDir() + "missing/folder/x.png"));
    ReleaseDC(nullptr, screen);
}

}  // namespace
