#include "ce_loader/pe_image.h"

#include <algorithm>
#include <cstring>

namespace ce {

std::uint32_t Read32(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

std::uint16_t Read16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

void Write32(unsigned char* at, std::uint32_t value) {
    for (int byte = 0; byte < 4; ++byte) {
        at[byte] = static_cast<unsigned char>(value >> (8 * byte));
    }
}

namespace {

constexpr std::uint16_t kPe32 = 0x10B;
constexpr std::uint16_t kPe32Plus = 0x20B;
constexpr std::uint16_t kLibraryFlag = 0x2000;

// Whether `count` entries of `width` bytes from `rva` lie inside the image.
bool ArrayInside(const Layout& layout, std::uint32_t rva, std::uint32_t count, unsigned width) {
    return rva <= layout.imageSize && count <= (layout.imageSize - rva) / width;
}

}  // namespace

bool ReadLayout(const std::vector<unsigned char>& file, Layout& layout, std::string& error) {
    if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') {
        error = "not a PE file";
        return false;
    }
    const std::uint32_t header = Read32(&file[0x3C]);
    if (header > file.size() - 24 || std::memcmp(&file[header], "PE\0\0", 4) != 0) {
        error = "not a PE file";
        return false;
    }
    const std::uint32_t optional = header + 24;
    const std::uint16_t optionalSize = Read16(&file[header + 20]);
    const bool plus = optional + 2 <= file.size() && Read16(&file[optional]) == kPe32Plus;
    // The data directories follow the fixed part, which the 64-bit form makes longer.
    const unsigned fixedSize = plus ? 112 : 96;
    if (optionalSize < fixedSize || optional + optionalSize > file.size() ||
        (!plus && Read16(&file[optional]) != kPe32)) {
        error = "damaged headers";
        return false;
    }
    layout.machine = Read16(&file[header + 4]);
    layout.pe32Plus = plus;
    layout.optional = optional;
    layout.directories = optional + fixedSize;
    layout.sections = optional + optionalSize;
    layout.sectionCount = Read16(&file[header + 6]);
    layout.library = (Read16(&file[header + 22]) & kLibraryFlag) != 0;
    layout.entry = Read32(&file[optional + 16]);
    layout.preferredBase = plus ? 0 : Read32(&file[optional + 28]);
    layout.imageSize = Read32(&file[optional + 56]);
    layout.headersSize = Read32(&file[optional + 60]);
    // No more directories than the optional header has room for.
    const unsigned directoryRoom = (optionalSize - fixedSize) / 8u;
    layout.directoryCount =
        std::min<unsigned>(Read32(&file[optional + fixedSize - 4]), directoryRoom);
    if (layout.sections + 40ull * layout.sectionCount > file.size() ||
        layout.headersSize > layout.imageSize || layout.entry >= layout.imageSize) {
        error = "damaged headers";
        return false;
    }
    return true;
}

bool MapSections(const std::vector<unsigned char>& file, const Layout& layout, unsigned char* image,
                 std::string& error) {
    std::memcpy(image, file.data(), std::min<std::size_t>(layout.headersSize, file.size()));
    for (unsigned index = 0; index < layout.sectionCount; ++index) {
        const unsigned char* section = &file[layout.sections + 40 * index];
        const std::uint32_t virtualSize = Read32(section + 8);
        const std::uint32_t address = Read32(section + 12);
        const std::uint32_t rawSize = Read32(section + 16);
        const std::uint32_t rawOffset = Read32(section + 20);
        const std::uint32_t copied = std::min(rawSize, virtualSize != 0 ? virtualSize : rawSize);
        if (address > layout.imageSize || copied > layout.imageSize - address ||
            rawOffset > file.size() || copied > file.size() - rawOffset) {
            error = "a section lies outside the image";
            return false;
        }
        std::memcpy(image + address, &file[rawOffset], copied);
    }
    return true;
}

Range DirectoryRange(const unsigned char* image, const Layout& layout, Directory directory,
                     std::uint32_t& rva, std::uint32_t& size) {
    if (static_cast<unsigned>(directory) >= layout.directoryCount) {
        return Range::kAbsent;
    }
    const unsigned char* entry = image + layout.directories + std::size_t{8} * directory;
    rva = Read32(entry);
    size = Read32(entry + 4);
    if (rva == 0 && size == 0) {
        return Range::kAbsent;
    }
    return rva != 0 && size != 0 && rva < layout.imageSize && size <= layout.imageSize - rva
               ? Range::kInside
               : Range::kDamaged;
}

std::string NameAt(const unsigned char* image, const Layout& layout, std::uint32_t rva) {
    if (rva >= layout.imageSize) {
        return "";
    }
    const auto* start = reinterpret_cast<const char*>(image + rva);
    const void* end = std::memchr(start, 0, layout.imageSize - rva);
    return end != nullptr ? std::string(start, static_cast<const char*>(end)) : "";
}

bool ReadExports(const Layout& layout, const unsigned char* image, ExportTable& table,
                 std::string& error) {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
    const Range range = DirectoryRange(image, layout, kExports, rva, size);
    if (range == Range::kAbsent) {
        return true;
    }
    const auto damaged = [&error] {
        error = "damaged export table";
        return false;
    };
    if (range == Range::kDamaged || size < 40) {
        return damaged();
    }
    const unsigned char* directory = image + rva;
    ExportTable read;
    read.functionCount = Read32(directory + 20);
    read.nameCount = Read32(directory + 24);
    read.functions = Read32(directory + 28);
    read.names = Read32(directory + 32);
    read.ordinals = Read32(directory + 36);
    if (!ArrayInside(layout, read.functions, read.functionCount, 4) ||
        !ArrayInside(layout, read.names, read.nameCount, 4) ||
        !ArrayInside(layout, read.ordinals, read.nameCount, 2)) {
        return damaged();
    }
    for (std::uint32_t index = 0; index < read.functionCount; ++index) {
        if (Read32(image + read.functions + std::size_t{4} * index) >= layout.imageSize) {
            return damaged();
        }
    }
    for (std::uint32_t index = 0; index < read.nameCount; ++index) {
        const std::uint32_t name = Read32(image + read.names + std::size_t{4} * index);
        if (NameAt(image, layout, name).empty() ||
            Read16(image + read.ordinals + std::size_t{2} * index) >= read.functionCount) {
            return damaged();
        }
    }
    table = read;
    return true;
}

bool FindExportOffset(const unsigned char* image, std::size_t size, const ExportTable& table,
                      const char* name, std::uint32_t& offset) {
    for (std::uint32_t index = 0; index < table.nameCount; ++index) {
        const std::uint32_t nameRva = Read32(image + table.names + std::size_t{4} * index);
        if (std::strncmp(reinterpret_cast<const char*>(image + nameRva), name, size - nameRva) ==
            0) {
            const std::uint16_t ordinal = Read16(image + table.ordinals + std::size_t{2} * index);
            offset = Read32(image + table.functions + std::size_t{4} * ordinal);
            return true;
        }
    }
    return false;
}

}  // namespace ce
