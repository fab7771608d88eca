// What every fuzz target shares: a check that stops the run with a message, and the input as
// a byte string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (false)

inline std::string Bytes(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// ASCII letters to upper case, every other byte as it is (the "C" locale).
inline char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

inline char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Whether `text` is well-formed UTF-8 (shortest forms, no surrogates, nothing beyond U+10FFFF),
// and its code points.
inline bool DecodeUtf8(const std::string& text, std::u32string& points) {
    points.clear();
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t trail = 0;
        char32_t point = lead;
        char32_t least = 0;
        if (lead >= 0xF0 && lead <= 0xF4) {
            trail = 3;
            point = lead & 0x07u;
            least = 0x10000;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trail = 2;
            point = lead & 0x0Fu;
            least = 0x800;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            trail = 1;
            point = lead & 0x1Fu;
            least = 0x80;
        } else if (lead >= 0x80) {
            return false;
        }
        if (text.size() - i - 1 < trail) {
            return false;
        }
        for (std::size_t k = 1; k <= trail; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0u) != 0x80u) {
                return false;
            }
            point = (point << 6) | (next & 0x3Fu);
        }
        if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return false;
        }
        points.push_back(point);
        i += trail + 1;
    }
    return true;
}

inline std::u16string Utf16Of(const std::u32string& points) {
    std::u16string units;
    for (const char32_t point : points) {
        if (point >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(point);
        }
    }
    return units;
}
