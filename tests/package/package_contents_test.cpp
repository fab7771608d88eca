// What the built package's .000 says, read back by the package's reader, against what
// Korvessa.inf asks for. The file is named by WRENFOLD_PACKAGE_INSTRUCTIONS (check-package.sh
// extracts it from the cabinet).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "ce_package/ce_package.h"

namespace {

using namespace ce_package;

class Package : public testing::Test {
  protected:
    void SetUp() override {
        const char* path = std::getenv("WRENFOLD_PACKAGE_INSTRUCTIONS");
        ASSERT_NE(path, nullptr) << "WRENFOLD_PACKAGE_INSTRUCTIONS names no .000";
        std::ifstream file(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        std::string error;
        ASSERT_TRUE(Decode(bytes.str(), in_, error)) << path << ": " << error;
    }
    Instructions in_;
};

TEST_F(Package, NamesAndDevice) {
    EXPECT_EQ(in_.app_name, "Korvessa");
    EXPECT_EQ(in_.provider, "Ternwick");
    EXPECT_EQ(in_.processor, kProcessorStrongArm);
    EXPECT_EQ(in_.min_major, 3u);
    EXPECT_EQ(in_.min_minor, 0u);
    EXPECT_EQ(in_.max_major + in_.max_minor + in_.min_build + in_.max_build, 0u) << "no limit";
    EXPECT_TRUE(in_.unsupported.empty());
}

TEST_F(Package, BothProgramsGoIntoTheInstallFolder) {
    const struct {
        std::uint16_t member;
        const char* name;
    } files[] = {{1, "Korvessa.exe"}, {2, "CloseKorvessa.exe"}};
    ASSERT_EQ(in_.files.size(), 2u);
    for (const auto& expected : files) {
        const File* file = FindFile(in_, expected.member);
        ASSERT_NE(file, nullptr) << expected.name;
        EXPECT_EQ(file->name, expected.name);
        EXPECT_EQ(JoinParts(in_, FindDirectory(in_, file->directory)->parts), "%CE1%\\Korvessa");
        EXPECT_EQ(file->flags, 0u) << expected.name;
    }
    // The install folder the hooks receive.
    ASSERT_FALSE(in_.directories.empty());
    EXPECT_EQ(JoinParts(in_, in_.directories[0].parts), "%CE1%\\Korvessa");
}

TEST_F(Package, TheInstallDirValueIsTheFolderTheDeviceChose) {
    ASSERT_EQ(in_.values.size(), 1u);
    const Value& value = in_.values[0];
    const Hive* hive = FindHive(in_, value.hive);
    EXPECT_EQ(hive->root, kHklm);
    EXPECT_EQ(JoinParts(in_, hive->parts), "Software\\Ternwick\\Korvessa");
    EXPECT_EQ(value.name, "InstallDir");
    EXPECT_EQ(value.type, kTypeString);
    EXPECT_TRUE(value.substitute);
    EXPECT_EQ(value.data, std::string("%InstallDir%", 13));
}

TEST_F(Package, StartMenuShortcutsToBothPrograms) {
    const struct {
        const char* name;
        const char* target;
    } links[] = {{"Korvessa", "Korvessa.exe"}, {"Close Korvessa", "CloseKorvessa.exe"}};
    ASSERT_EQ(in_.links.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) {
        const Link& link = in_.links[k];
        EXPECT_EQ(link.base, 11) << links[k].name;  // %CE11%, Start Menu\Programs
        EXPECT_EQ(JoinParts(in_, link.parts), links[k].name);
        ASSERT_EQ(link.kind, kLinkToFile) << links[k].name;
        EXPECT_EQ(FindFile(in_, link.target)->name, links[k].target);
    }
}

}  // namespace
