#include "pictures/png.h"

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <vector>

#include "sim.h"

namespace {

constexpr int kLargestScale = 16;

void PutBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFFU);
    }
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
    PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = type + data;
    out += typed;
    const auto* bytes = reinterpret_cast<const Bytef*>(typed.data());
    PutBigEndian(out, static_cast<std::uint32_t>(
                          crc32(crc32(0, nullptr, 0), bytes, static_cast<uInt>(typed.size()))));
}

// The rows as PNG stores them before compression: each row a filter byte (0, none) and then
// three bytes a pixel, every pixel repeated `scale` times across and every row `scale` times down.
std::string ScaledRows(const sim::Pixels& pixels, int scale) {
    std::string rows;
    const auto width = static_cast<std::size_t>(pixels.width);
    for (int y = 0; y < pixels.height * scale; ++y) {
        rows += '\0';
        for (int x = 0; x < pixels.width * scale; ++x) {
            const COLORREF color = pixels.colors[static_cast<std::size_t>(y / scale) * width +
                                                 static_cast<std::size_t>(x / scale)];
            rows += static_cast<char>(GetRValue(color));
            rows += static_cast<char>(GetGValue(color));
            rows += static_cast<char>(GetBValue(color));
        }
    }
    return rows;
}

bool Compress(const std::string& raw, std::string& stream) {
    uLongf length = compressBound(static_cast<uLong>(raw.size()));
    std::vector<Bytef> out(length);
    if (compress2(out.data(), &length, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK) {
        return false;
    }
    stream.assign(reinterpret_cast<const char*>(out.data()), length);
    return true;
}

}  // namespace

bool WritePicture(HDC dc, const std::string& path, int scale) {
    sim::Pixels pixels;
    std::string data;
    if (scale < 1 || scale > kLargestScale || !sim::ReadPixels(dc, pixels) ||
        !Compress(ScaledRows(pixels, scale), data)) {
        return false;
    }
    std::string header;
    PutBigEndian(header, static_cast<std::uint32_t>(pixels.width * scale));
    PutBigEndian(header, static_cast<std::uint32_t>(pixels.height * scale));
    header += "\x08\x02";            // 8 bits a channel, RGB
    header += std::string(3, '\0');  // deflate, adaptive filtering, no interlace

    std::string png = "\x89PNG\r\n\x1A\n";
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", data);
    PutChunk(png, "IEND", std::string());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(png.data(), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(file);
}
