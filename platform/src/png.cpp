#include "png.h"

#include <array>

namespace sim::detail {
namespace {

// A deflate stored block holds at most this many bytes.
constexpr std::size_t kStoredBlockBytes = 65535;

std::uint32_t Crc32(const std::string& bytes, std::size_t from) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            }
            entries[n] = c;
        }
        return entries;
    }();
    std::uint32_t crc = 0xFFFFFFFFU;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        crc = table[(crc ^ static_cast<std::uint8_t>(bytes[i])) & 0xFFU] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFU;
}

std::uint32_t Adler32(const std::string& bytes) {
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const char byte : bytes) {
        a = (a + static_cast<std::uint8_t>(byte)) % 65521U;
        b = (b + a) % 65521U;
    }
    return (b << 16) | a;
}

void PutBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFFU);
    }
}

void PutLittleEndian16(std::string& out, std::size_t value) {
    out += static_cast<char>(value & 0xFFU);
    out += static_cast<char>((value >> 8) & 0xFFU);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
    PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out += type;
    out += data;
    PutBigEndian(out, Crc32(out, typeAt));
}

// A zlib stream of stored deflate blocks.
std::string StoredZlib(const std::string& raw) {
    std::string stream = "\x78\x01";
    std::size_t at = 0;
    do {
        const std::size_t length =
            raw.size() - at < kStoredBlockBytes ? raw.size() - at : kStoredBlockBytes;
        const bool last = at + length == raw.size();
        stream += static_cast<char>(last ? 1 : 0);
        PutLittleEndian16(stream, length);
        PutLittleEndian16(stream, ~length & 0xFFFFU);
        stream.append(raw, at, length);
        at += length;
    } while (at < raw.size());
    PutBigEndian(stream, Adler32(raw));
    return stream;
}

}  // namespace

std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
    const auto rowBytes = static_cast<std::size_t>(width) * 3;
    std::string raw;
    raw.reserve((rowBytes + 1) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // no filter
        raw.append(
            reinterpret_cast<const char*>(rgb.data()) + rowBytes * static_cast<std::size_t>(y),
            rowBytes);
    }

    std::string header;
    PutBigEndian(header, static_cast<std::uint32_t>(width));
    PutBigEndian(header, static_cast<std::uint32_t>(height));
    header += "\x08\x02";            // 8 bits a channel, RGB
    header += std::string(3, '\0');  // deflate, adaptive filtering, no interlace

    std::string png = "\x89PNG\r\n\x1A\n";
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", StoredZlib(raw));
    PutChunk(png, "IEND", std::string());
    return png;
}

}  // namespace sim::detail
