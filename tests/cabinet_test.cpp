// The cabinet reader on the host build's Korvessa.cab, copied onto the device, and on copies
// damaged here: every member whole, in the cabinet's order, with its date, or an error and no
// members; nothing left open either way. The package and the files it was made of are named by
// WRENFOLD_PACKAGE_* as this build sees them.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>

#include "ce_package/ce_package.h"
#include "kit/kit.h"
#include "standin/cabinet.h"

namespace {

std::string HostFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The cabinet format's fields, little-endian.
constexpr std::size_t kFilesField = 16;       // where the file entries start
constexpr std::size_t kFileCountField = 28;   // how many there are
constexpr std::size_t kFolderDataField = 36;  // where the one folder's data blocks start
constexpr std::size_t kFileEntrySize = 16;    // a file entry before its name
constexpr std::size_t kDataHeaderSize = 8;    // a data block's checksum and sizes

std::uint32_t Get(const std::string& bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int k = width - 1; k >= 0; --k) {
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(k)));
    }
    return value;
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t k = 0; k < 4; ++k) {
        bytes.at(at + k) = static_cast<char>(value >> (8 * k) & 0xFF);
    }
}

// The last file entry; its first field is the member's size.
std::size_t LastFileEntry(const std::string& cabinet) {
    std::size_t at = Get(cabinet, kFilesField, 4);
    for (std::uint32_t k = 1; k < Get(cabinet, kFileCountField, 2); ++k) {
        at = cabinet.find('\0', at + kFileEntrySize) + 1;
    }
    return at;
}

// As the package builder dates every member: 1 January 2001, noon.
constexpr std::uint16_t kMemberDate = (2001 - 1980) << 9 | 1 << 5 | 1;
constexpr std::uint16_t kMemberTime = 12 << 11;

class Cabinet : public kit::FolderTest {
  protected:
    void SetUp() override {
        FolderTest::SetUp();
        package_ = HostFile(WRENFOLD_PACKAGE_CABINET);
        ASSERT_GT(package_.size(), kFolderDataField)
            << WRENFOLD_PACKAGE_CABINET << " is missing: build the package first";
    }

    // Read with a stale member in the list, which the reader must not keep.
    static bool Read(const WideString& path, std::vector<CabinetMember>& members,
                     std::string& error) {
        members.assign(1, CabinetMember{"STALE.000", "x", 1, 1});
        return ReadCabinet(path.c_str(), members, error);
    }

    std::string package_;
};

TEST_F(Cabinet, EveryMemberWholeInOrderWhereverThePackageLies) {
    const struct {
        const char* name;
        const char* source;  // the file it was made of; none for the instructions
    } expected[] = {
        {"KORVESSA.000", nullptr},
        {"WRENFOLD.999", WRENFOLD_PACKAGE_SETUP_LIBRARY},
        {"CLOSEK~1.002", WRENFOLD_PACKAGE_CLOSE_PROGRAM},
        {"KORVESSA.001", WRENFOLD_PACKAGE_APPLICATION},
    };
    // Spaces and letters outside any narrow code page: FDI itself only takes narrow names.
    const WideString folders[] = {kit::kTestFolder,
                                  kit::kTestFolder + WideString(TEXT("\\Für das Gerät 箱"))};
    for (const WideString& folder : folders) {
        SCOPED_TRACE(kit::Narrow(folder));
        kit::MakeFolders(folder);
        const WideString path = folder + TEXT("\\Korvessa.cab");
        kit::MakeFile(path, package_);
        std::vector<CabinetMember> members;
        std::string error;
        ASSERT_TRUE(Read(path, members, error)) << error;
        ASSERT_EQ(members.size(), std::size(expected));
        for (std::size_t k = 0; k < members.size(); ++k) {
            const CabinetMember& member = members[k];
            EXPECT_EQ(member.name, expected[k].name);
            EXPECT_EQ(member.dosDate, kMemberDate) << member.name;
            EXPECT_EQ(member.dosTime, kMemberTime) << member.name;
            if (expected[k].source != nullptr) {
                const std::string source = HostFile(expected[k].source);
                ASSERT_FALSE(source.empty()) << expected[k].source;
                EXPECT_TRUE(member.bytes == source)
                    << member.name << ": " << member.bytes.size() << " bytes, " << source.size()
                    << " in " << expected[k].source;
            } else {
                // The decoder checks the signature, that the length field is the member's size,
                // and every table against it.
                ce_package::Instructions instructions;
                std::string problem;
                EXPECT_TRUE(ce_package::Decode(member.bytes, instructions, problem)) << problem;
                EXPECT_EQ(instructions.app_name, "Korvessa");
            }
        }
    }
}

TEST_F(Cabinet, AFaultIsAnErrorAndNoMembers) {
    const struct {
        const char* what;
        std::string (*damage)(std::string cabinet);  // none: there is no file
        std::string member;                          // the member the error names, if one
    } faults[] = {
        {"missing", nullptr, ""},
        {"no cabinet", [](std::string) { return std::string("Korvessa stand-in application\n"); },
         ""},
        {"cut inside its file entries",
         [](std::string cabinet) { return cabinet.substr(0, Get(cabinet, kFilesField, 4) + 20); },
         ""},
        {"cut inside its members' data",
         [](std::string cabinet) { return cabinet.substr(0, cabinet.size() - 10); }, ""},
        // A member that arrives short: its size says one byte more than the data holds.
        {"its last member longer than the data",
         [](std::string cabinet) {
             const std::size_t entry = LastFileEntry(cabinet);
             Put32(cabinet, entry, Get(cabinet, entry, 4) + 1);
             return cabinet;
         },
         "KORVESSA.001"},
        // A data block that fails its checksum, named by the first member read from it.
        {"a data byte changed",
         [](std::string cabinet) {
             cabinet.at(Get(cabinet, kFolderDataField, 4) + kDataHeaderSize + 500) ^= 1;
             return cabinet;
         },
         "KORVESSA.000"},
    };
    const WideString path = In(TEXT("Damaged.cab"));
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.what);
        DeleteFileW(path.c_str());
        if (fault.damage != nullptr) {
            kit::MakeFile(path, fault.damage(package_));
        }
        std::vector<CabinetMember> members;
        std::string error;
        EXPECT_FALSE(Read(path, members, error));
        EXPECT_NE(error, "");
        EXPECT_NE(error.find(fault.member), std::string::npos) << error;
        EXPECT_TRUE(members.empty()) << members.size() << " members, the first " << members[0].name;
    }
}

}  // namespace
