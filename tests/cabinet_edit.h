// A CE package's bytes as a test changes them: a package is one cabinet folder of stored data
// blocks, so a member's bytes can be read and changed where they lie. Every block a change
// touches has its checksum set to 0, which the format reads as none, so that the change reaches
// the reader rather than a checksum failure; the cabinet's other fields stay as they were.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace cabinet_edit {

inline std::uint32_t Get(const std::string& bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int k = width - 1; k >= 0; --k) {
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(k)));
    }
    return value;
}

inline void Put(std::string& bytes, std::size_t at, std::uint32_t value, int width) {
    for (int k = 0; k < width; ++k) {
        bytes.at(at + static_cast<std::size_t>(k)) = static_cast<char>(value >> (8 * k) & 0xFF);
    }
}

// The file entry of the member whose name ends in ".NNN" for `number`; npos when none does.
inline std::size_t FileEntry(const std::string& cabinet, unsigned number) {
    const std::string extension = "." + std::string(number < 100 ? "0" : "") +
                                  std::string(number < 10 ? "0" : "") + std::to_string(number);
    std::size_t at = Get(cabinet, 16, 4);
    for (std::uint32_t k = 0; k < Get(cabinet, 28, 2); ++k) {
        const std::size_t name = at + 16;
        const std::size_t end = cabinet.find('\0', name);
        if (end - name >= 4 && cabinet.compare(end - 4, 4, extension) == 0) {
            return at;
        }
        at = end + 1;
    }
    return std::string::npos;
}

// Where the byte at `offset` of the folder's data lies in the file, and that block's start.
inline std::size_t FolderByte(const std::string& cabinet, std::size_t offset,
                              std::size_t* block = nullptr) {
    std::size_t at = Get(cabinet, 36, 4);
    for (std::uint32_t k = 0; k < Get(cabinet, 40, 2); ++k) {
        const std::size_t length = Get(cabinet, at + 4, 2);
        if (offset < length) {
            if (block != nullptr) {
                *block = at;
            }
            return at + 8 + offset;
        }
        offset -= length;
        at += 8 + length;
    }
    ADD_FAILURE() << "the folder holds no byte " << offset;
    return 0;
}

// The member's bytes.
inline std::string Member(const std::string& cabinet, unsigned number) {
    const std::size_t entry = FileEntry(cabinet, number);
    if (entry == std::string::npos) {
        ADD_FAILURE() << "no member ." << number;
        return {};
    }
    std::string bytes;
    const std::size_t start = Get(cabinet, entry + 4, 4);
    for (std::size_t k = 0; k < Get(cabinet, entry, 4); ++k) {
        bytes += cabinet[FolderByte(cabinet, start + k)];
    }
    return bytes;
}

// Writes `bytes` over the member's own from `at`.
inline void ChangeMember(std::string& cabinet, unsigned number, std::size_t at,
                         const std::string& bytes) {
    const std::size_t entry = FileEntry(cabinet, number);
    ASSERT_NE(entry, std::string::npos) << "no member ." << number;
    ASSERT_LE(at + bytes.size(), Get(cabinet, entry, 4)) << "past the member's end";
    const std::size_t start = Get(cabinet, entry + 4, 4);
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        std::size_t block = 0;
        cabinet[FolderByte(cabinet, start + at + k, &block)] = bytes[k];
        Put(cabinet, block, 0, 4);
    }
}

// The member's name, changed to one of the same length.
inline void RenameMember(std::string& cabinet, unsigned number, const std::string& name) {
    const std::size_t entry = FileEntry(cabinet, number);
    ASSERT_NE(entry, std::string::npos) << "no member ." << number;
    const std::size_t end = cabinet.find('\0', entry + 16);
    ASSERT_EQ(end - entry - 16, name.size()) << "names of the same length only";
    cabinet.replace(entry + 16, name.size(), name);
}

}  // namespace cabinet_edit
