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
#include "pe_edit.h"

namespace {

using pe_edit::Bytes;
using pe_edit::ExportDirectory;
using pe_edit::FindExportDirectory;
using pe_edit::ImageSize;
using pe_edit::InFile;
using pe_edit::LargestOrdinal;
using pe_edit::Read32;

Bytes ReadAll(const char* path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
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
