// The theme packages as the device's installer reads them, against what their .inf files under
// package/themes/ ask for. WRENFOLD_THEMES names a folder holding each package's members in a
// folder of its own (check-themes.sh extracts them); WRENFOLD_THEME_PICTURES the pictures.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ce_package/ce_package.h"

namespace {

using namespace ce_package;

std::string Bytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// The member whose extension is `number`, or an empty path.
std::filesystem::path Member(const std::filesystem::path& folder, unsigned number) {
    char extension[8];
    std::snprintf(extension, sizeof extension, ".%03u", number);
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == extension) {
            return entry.path();
        }
    }
    return {};
}

TEST(ThemePackages, EachPutsItsPicturesIntoWindowsOnAnyDevice) {
    const char* themes = std::getenv("WRENFOLD_THEMES");
    const char* pictures = std::getenv("WRENFOLD_THEME_PICTURES");
    ASSERT_TRUE(themes != nullptr && pictures != nullptr)
        << "WRENFOLD_THEMES and WRENFOLD_THEME_PICTURES name no folders";
    const struct {
        const char* package;
        const char* app;
        std::vector<std::string> pictures;  // in the .inf's order
    } cases[] = {
        {"Water", "Water Theme", {"tdywater.gif", "stwater.gif"}},
        {"WaterToday", "Water Today Theme", {"tdywater.gif"}},
        {"WaterStart", "Water Start Theme", {"stwater.gif"}},
        {"Plain", "Plain Theme", {}},
    };
    for (const auto& expected : cases) {
        SCOPED_TRACE(expected.package);
        const std::filesystem::path folder = std::filesystem::path(themes) / expected.package;
        const std::filesystem::path instructions = Member(folder, 0);
        ASSERT_FALSE(instructions.empty()) << "no .000 in " << folder;
        Instructions in;
        std::string error;
        ASSERT_TRUE(Decode(Bytes(instructions), in, error)) << error;

        EXPECT_EQ(in.app_name, expected.app);
        EXPECT_EQ(in.provider, "Ternwick");
        EXPECT_EQ(in.processor, kProcessorAny);
        EXPECT_EQ(in.min_major * 10 + in.min_minor, 30u) << "CE 3.0 or later";
        // No folder of its own: the install folder is \Windows.
        ASSERT_FALSE(in.directories.empty());
        EXPECT_EQ(JoinParts(in, in.directories[0].parts), "%CE2%");
        EXPECT_TRUE(in.values.empty() && in.links.empty() && in.unsupported.empty());
        EXPECT_EQ(Member(folder, kSetupLibraryNumber), std::filesystem::path()) << "no setup DLL";
        const auto members = std::distance(std::filesystem::directory_iterator(folder), {});
        EXPECT_EQ(static_cast<std::size_t>(members), expected.pictures.size() + 1);
        ASSERT_EQ(in.files.size(), expected.pictures.size());
        for (std::size_t k = 0; k < in.files.size(); ++k) {
            const File& file = in.files[k];
            EXPECT_EQ(file.name, expected.pictures[k]);
            EXPECT_EQ(JoinParts(in, FindDirectory(in, file.directory)->parts), "%CE2%");
            EXPECT_EQ(file.flags, kFileOverwriteAny) << file.name << " replaces the old picture";
            const std::filesystem::path member = Member(folder, file.id);
            EXPECT_EQ(Bytes(member), Bytes(std::filesystem::path(pictures) / file.name))
                << file.name << " is not its picture byte for byte";
        }
    }
}

}  // namespace
