// The loader that runs the device's own files: it must place them where the system has room and
// relocate them, and refuse, naming what is wrong, a file the device would refuse to load.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ce_loader/ce_image.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadAll(const char* path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

std::uint32_t Read32(const Bytes& bytes, std::size_t at) {
    return ce::Read32(&bytes[at]);
}

// The library with `change` made to its bytes, written to a file of its own; the load's error,
// or "" when it loaded.
template <class Change>
std::string LoadChanged(const std::string& name, Change change) {
    Bytes bytes = ReadAll(WRENFOLD_DEVICE_LIBRARY);
    change(bytes);
    const std::string path = testing::TempDir() + "planted-" + name + ".dll";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ce::Image image;
    std::string error;
    const bool loaded = ce::Load(path, ce::Coredll(), image, error);
    ce::Unload(image);
    std::remove(path.c_str());
    return loaded ? "" : error;
}

// One zero-terminated name in it replaced by another of the same length or shorter.
std::string LoadWithNameReplaced(const std::string& name, const std::string& replacement) {
    return LoadChanged(replacement, [&](Bytes& bytes) {
        const std::string needle = name + '\0';
        const auto found = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
        ASSERT_NE(found, bytes.end()) << name;
        std::fill(found, found + static_cast<std::ptrdiff_t>(name.size()), '\0');
        std::copy(replacement.begin(), replacement.end(), found);
    });
}

// The export directory's entry in the optional header, and the directory's offset in the file.
struct ExportDirectory {
    std::size_t entry;
    std::size_t directory;
};
ExportDirectory FindExportDirectory(const Bytes& bytes) {
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
std::size_t InFile(const Bytes& bytes, const ExportDirectory& at, std::size_t field) {
    return Read32(bytes, field) - Read32(bytes, at.entry) + at.directory;
}

std::uint32_t ImageSize(const Bytes& bytes) {
    return Read32(bytes, Read32(bytes, 0x3C) + 24 + 56);
}

std::uint32_t LargestOrdinal(const Bytes& bytes, const ExportDirectory& at) {
    const std::size_t ordinals = InFile(bytes, at, at.directory + 36);
    std::uint32_t largest = 0;
    for (std::uint32_t k = 0; k < Read32(bytes, at.directory + 24); ++k) {
        largest = std::max<std::uint32_t>(largest, ce::Read16(&bytes[ordinals + 2 * k]));
    }
    return largest;
}

TEST(CeLoader, PlacesTheLibraryAwayFromItsPreferredBaseAndFindsItsHooks) {
    ce::Image image;
    std::string error;
    ASSERT_TRUE(ce::Load(WRENFOLD_DEVICE_LIBRARY, ce::Coredll(), image, error)) << error;
    EXPECT_TRUE(image.library);
    EXPECT_NE(reinterpret_cast<std::uintptr_t>(image.base), 0x10000000u)
        << "at its preferred base, its relocations would go untried";
    for (const char* hook : {"Install_Init", "Install_Exit", "Uninstall_Init", "Uninstall_Exit"}) {
        EXPECT_NE(ce::FindExport(image, hook), nullptr) << hook;
    }
    EXPECT_EQ(ce::FindExport(image, "DllMain"), nullptr) << "not an export";
    EXPECT_TRUE(ce::CallDllMain(image, DLL_PROCESS_ATTACH));
    EXPECT_TRUE(ce::CallDllMain(image, DLL_PROCESS_DETACH));
    ce::Unload(image);
}

TEST(CeLoader, RefusesWhatTheDeviceWouldRefuseAndSaysWhat) {
    const std::string missing = LoadWithNameReplaced("MessageBoxW", "MessageBoxQ");
    EXPECT_NE(missing.find("does not have: MessageBoxQ"), std::string::npos) << missing;
    const std::string library = LoadWithNameReplaced("COREDLL.dll", "KERNEL.dll");
    EXPECT_NE(library.find("imports from KERNEL.dll"), std::string::npos) << library;
    ce::Image image;
    std::string error;
    EXPECT_FALSE(ce::Load(WRENFOLD_DEVICE_LIBRARY ".missing", ce::Coredll(), image, error));
    EXPECT_EQ(image.base, nullptr);
}

// A damaged export table is refused at load, before FindExport could read outside the image.
TEST(CeLoader, RefusesAnExportTableThatReachesPastTheImage) {
    struct Case {
        const char* name;
        void (*plant)(Bytes& bytes, const ExportDirectory& at);
    };
    const Case cases[] = {
        {"directory-past-the-end",
         [](Bytes& bytes, const ExportDirectory& at) {
             ce::Write32(&bytes[at.entry], 0xFFFFF000u);
         }},
        {"directory-longer-than-the-image",
         [](Bytes& bytes, const ExportDirectory& at) {
             ce::Write32(&bytes[at.entry + 4], 0x7FFFFFFFu);
         }},
        {"names-past-the-end",
         [](Bytes& bytes, const ExportDirectory& at) {
             ce::Write32(&bytes[at.directory + 24], 0x40000000u);
         }},
        {"name-past-the-end",
         [](Bytes& bytes, const ExportDirectory& at) {
             const std::size_t names =
                 Read32(bytes, at.directory + 32) - Read32(bytes, at.entry) + at.directory;
             ce::Write32(&bytes[names], 0xFFFFFF00u);
         }},
        {"ordinal-past-the-functions",
         [](Bytes& bytes, const ExportDirectory& at) {
             ce::Write32(&bytes[at.directory + 20], 0);
         }},
        // At the bounds: a function at the image's very end, an ordinal equal to the count.
        {"function-at-the-end",
         [](Bytes& bytes, const ExportDirectory& at) {
             ce::Write32(&bytes[InFile(bytes, at, at.directory + 28)], ImageSize(bytes));
         }},
        {"ordinal-at-the-count",
         [](Bytes& bytes, const ExportDirectory& at) {
             ce::Write32(&bytes[at.directory + 20], LargestOrdinal(bytes, at));
         }},
    };
    for (const Case& planted : cases) {
        const std::string error = LoadChanged(
            planted.name, [&](Bytes& bytes) { planted.plant(bytes, FindExportDirectory(bytes)); });
        EXPECT_NE(error.find("damaged export table"), std::string::npos)
            << planted.name << ": " << error;
    }
    // One short of each bound is inside: the last byte of the image, the last function.
    EXPECT_EQ(LoadChanged("function-at-the-last-byte",
                          [](Bytes& bytes) {
                              const ExportDirectory at = FindExportDirectory(bytes);
                              ce::Write32(&bytes[InFile(bytes, at, at.directory + 28)],
                                          ImageSize(bytes) - 1);
                          }),
              "");
    EXPECT_EQ(LoadChanged("ordinal-at-the-last-function",
                          [](Bytes& bytes) {
                              const ExportDirectory at = FindExportDirectory(bytes);
                              ce::Write32(&bytes[at.directory + 20], LargestOrdinal(bytes, at) + 1);
                          }),
              "");
}

}  // namespace
