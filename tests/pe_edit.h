// A PE file's export table as a test damages it: where its directory and arrays lie in the file,
// so that a case can move one field past a bound the device's loader checks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ce_loader/pe_image.h"

namespace pe_edit {

using Bytes = std::vector<unsigned char>;

inline std::uint32_t Read32(const Bytes& bytes, std::size_t at) {
    return ce::Read32(&bytes.at(at));
}

// The export directory's entry in the optional header, and the directory's offset in the file.
struct ExportDirectory {
    std::size_t entry;
    std::size_t directory;
};
inline ExportDirectory FindExportDirectory(const Bytes& bytes) {
    const std::size_t header = Read32(bytes, 0x3C);
    const std::size_t optional = header + 24;
    const std::size_t entry = optional + 96;
    const std::uint32_t rva = Read32(bytes, entry);
    const unsigned sectionCount = ce::Read16(&bytes[header + 6]);
    const unsigned optionalSize = ce::Read16(&bytes[header + 20]);
    for (unsigned index = 0; index < sectionCount; ++index) {
        const std::size_t section = optional + optionalSize + 40 * index;
        const std::uint32_t address = Read32(bytes, section + 12);
        if (rva >= address && rva - address < Read32(bytes, section + 8)) {
            return {entry, Read32(bytes, section + 20) + (rva - address)};
        }
    }
    ADD_FAILURE() << "no section holds the export directory";
    return {entry, entry};
}

// The file offset of what the export directory's field at `field` points to.
inline std::size_t InFile(const Bytes& bytes, const ExportDirectory& at, std::size_t field) {
    return Read32(bytes, field) - Read32(bytes, at.entry) + at.directory;
}

inline std::uint32_t ImageSize(const Bytes& bytes) {
    return Read32(bytes, Read32(bytes, 0x3C) + 24 + 56);
}

inline std::uint32_t LargestOrdinal(const Bytes& bytes, const ExportDirectory& at) {
    const std::size_t ordinals = InFile(bytes, at, at.directory + 36);
    std::uint32_t largest = 0;
    for (std::uint32_t k = 0; k < Read32(bytes, at.directory + 24); ++k) {
        largest = std::max<std::uint32_t>(largest, ce::Read16(&bytes[ordinals + 2 * k]));
    }
    return largest;
}

}  // namespace pe_edit
