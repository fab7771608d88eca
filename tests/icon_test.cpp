// The CloseKorvessa icon as the resource compiler and the shell read it: a directory of two
// 8-bit images, 32 x 32 then 16 x 16, each a bitmap with a 256-colour palette, colour rows and a
// transparency mask, and each actually drawn rather than blank or solid.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kPaletteSize = 256 * 4;

const Bytes& Icon() {
    static const Bytes bytes = [] {
        std::ifstream file(WRENFOLD_ICON_PATH, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }();
    return bytes;
}

// Little-endian reads; at() turns a read past the end into a failed test, not a crash.
std::uint32_t U16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b.at(at) | b.at(at + 1) << 8);
}

std::uint32_t U32(const Bytes& b, std::size_t at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}

std::size_t XorStride(std::size_t side) {
    return (side + 3) / 4 * 4;
}
std::size_t AndStride(std::size_t side) {
    return (side + 31) / 32 * 4;
}

std::size_t ExpectedImageSize(std::size_t side) {
    return kInfoHeaderSize + kPaletteSize + side * XorStride(side) + side * AndStride(side);
}

struct Entry {
    std::size_t offset;
    std::size_t size;
};

Entry EntryAt(std::size_t index) {
    const std::size_t at = kDirectorySize + index * kEntrySize;
    return {U32(Icon(), at + 12), U32(Icon(), at + 8)};
}

TEST(CloseKorvessaIcon, DirectoryHoldsTwoImagesThatFitWithoutOverlapping) {
    const Bytes& icon = Icon();
    ASSERT_GE(icon.size(), kDirectorySize + 2 * kEntrySize)
        << "missing or cut short: " << WRENFOLD_ICON_PATH;
    EXPECT_EQ(U16(icon, 0), 0u) << "reserved";
    EXPECT_EQ(U16(icon, 2), 1u) << "type 1 is an icon; 2 would be a cursor";
    ASSERT_EQ(U16(icon, 4), 2u) << "image count";

    const Entry first = EntryAt(0);
    const Entry second = EntryAt(1);
    for (const Entry& entry : {first, second}) {
        SCOPED_TRACE(testing::Message() << "image at " << entry.offset);
        EXPECT_GE(entry.offset, kDirectorySize + 2 * kEntrySize) << "inside the directory";
        EXPECT_GT(entry.size, 0u);
        EXPECT_LE(entry.offset + entry.size, icon.size()) << "runs past the end of the file";
    }
    EXPECT_TRUE(first.offset + first.size <= second.offset ||
                second.offset + second.size <= first.offset)
        << "the two images share bytes";
}

struct ImageCase {
    std::size_t index;
    std::size_t side;
};

std::ostream& operator<<(std::ostream& out, const ImageCase& c) {
    return out << "image " << c.index + 1 << " (" << c.side << " x " << c.side << ")";
}

class CloseKorvessaIconImage : public testing::TestWithParam<ImageCase> {
  protected:
    void SetUp() override {
        ASSERT_GE(Icon().size(), kDirectorySize + 2 * kEntrySize);
        entry_ = EntryAt(GetParam().index);
        ASSERT_LE(entry_.offset + entry_.size, Icon().size());
        ASSERT_EQ(entry_.size, ExpectedImageSize(GetParam().side))
            << "header, 256-colour palette, padded colour rows and padded mask rows";
    }

    // Pixel rows are stored bottom-up; x and y here count from the top left.
    std::uint8_t ColourIndex(std::size_t x, std::size_t y) const {
        const std::size_t side = GetParam().side;
        const std::size_t row = side - 1 - y;
        return Icon().at(entry_.offset + kInfoHeaderSize + kPaletteSize + row * XorStride(side) +
                         x);
    }

    bool Transparent(std::size_t x, std::size_t y) const {
        const std::size_t side = GetParam().side;
        const std::size_t row = side - 1 - y;
        const std::size_t masks = entry_.offset + kInfoHeaderSize + kPaletteSize +
                                  side * XorStride(side) + row * AndStride(side);
        return (Icon().at(masks + x / 8) & (0x80 >> (x % 8))) != 0;
    }

    // RGBQUAD order: blue, green, red, reserved.
    std::uint8_t Channel(std::uint8_t index, std::size_t channel) const {
        return Icon().at(entry_.offset + kInfoHeaderSize + index * 4u + channel);
    }

    Entry entry_{};
};

TEST_P(CloseKorvessaIconImage, EntryAndBitmapHeaderDescribeAn8BitImageOfItsSize) {
    const Bytes& icon = Icon();
    const std::size_t side = GetParam().side;
    const std::size_t at = kDirectorySize + GetParam().index * kEntrySize;
    EXPECT_EQ(icon[at], side) << "width";
    EXPECT_EQ(icon[at + 1], side) << "height";
    EXPECT_EQ(icon[at + 2], 0) << "colour count 0 stands for 256";
    EXPECT_EQ(icon[at + 3], 0) << "reserved";
    EXPECT_EQ(U16(icon, at + 4), 1u) << "planes";
    EXPECT_EQ(U16(icon, at + 6), 8u) << "bits per pixel";

    const std::size_t header = entry_.offset;
    EXPECT_EQ(U32(icon, header), kInfoHeaderSize) << "BITMAPINFOHEADER size";
    EXPECT_EQ(U32(icon, header + 4), side) << "width";
    EXPECT_EQ(U32(icon, header + 8), 2 * side) << "height counts the colour rows and the mask";
    EXPECT_EQ(U16(icon, header + 12), 1u) << "planes";
    EXPECT_EQ(U16(icon, header + 14), 8u) << "bits per pixel";
    EXPECT_EQ(U32(icon, header + 16), 0u) << "compression must be none";
    const std::uint32_t colours_used = U32(icon, header + 32);
    EXPECT_TRUE(colours_used == 0 || colours_used == 256) << colours_used << " colours used";
}

TEST_P(CloseKorvessaIconImage, IsDrawnWithATransparentSurroundAndABluePowerSymbol) {
    const std::size_t side = GetParam().side;
    std::set<std::uint8_t> opaque_indices;
    std::size_t transparent = 0;
    std::size_t tinting = 0;
    bool blue_lower_right = false;
    for (std::size_t y = 0; y < side; ++y) {
        for (std::size_t x = 0; x < side; ++x) {
            const std::uint8_t index = ColourIndex(x, y);
            if (Transparent(x, y)) {
                ++transparent;
                // Under a set mask bit the colour is XORed onto the screen: it has to be black.
                if ((Channel(index, 0) | Channel(index, 1) | Channel(index, 2)) != 0) {
                    ++tinting;
                }
                continue;
            }
            opaque_indices.insert(index);
            const int blue = Channel(index, 0);
            const int green = Channel(index, 1);
            const int red = Channel(index, 2);
            if (x >= side / 2 && y >= side / 2 && blue > red + 64 && blue > green + 32) {
                blue_lower_right = true;
            }
        }
    }
    EXPECT_GE(opaque_indices.size(), 6u) << "too few colours to be the device and its badge";
    EXPECT_GT(transparent, 0u) << "the mask never lets the background through";
    EXPECT_LT(transparent, side * side / 2) << "mostly empty";
    EXPECT_EQ(tinting, 0u) << "transparent pixels that are not black would tint the screen";
    EXPECT_TRUE(blue_lower_right) << "no blue power symbol in the lower-right quadrant";
}

INSTANTIATE_TEST_SUITE_P(BothSizes, CloseKorvessaIconImage,
                         testing::Values(ImageCase{0, 32}, ImageCase{1, 16}));

}  // namespace
