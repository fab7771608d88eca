// The loader that runs the device's own files: it must place them where the system has room and
// relocate them, and refuse, naming what is wrong, a file the device would refuse to load.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ce_loader/ce_image.h"

namespace {

std::vector<char> ReadAll(const char* path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

// The library with one zero-terminated name in it replaced by another of the same length or
// shorter, written to a file of its own; the load's error, or "" when it loaded.
std::string LoadWithNameReplaced(const std::string& name, const std::string& replacement) {
    std::vector<char> bytes = ReadAll(WRENFOLD_DEVICE_LIBRARY);
    const std::string needle = name + '\0';
    const auto found = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    EXPECT_NE(found, bytes.end()) << name;
    std::fill(found, found + static_cast<std::ptrdiff_t>(name.size()), '\0');
    std::copy(replacement.begin(), replacement.end(), found);
    const std::string path = testing::TempDir() + "planted-" + replacement + ".dll";
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ce::Image image;
    std::string error;
    const bool loaded = ce::Load(path, ce::Coredll(), image, error);
    ce::Unload(image);
    std::remove(path.c_str());
    return loaded ? "" : error;
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

}  // namespace
