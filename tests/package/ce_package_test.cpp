// The `.000` reader and writer: what is written reads back the same, a damaged file is refused
// with the offset of the field at fault, never read past its end, and what the format leaves to
// the writer is read whatever it holds.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ce_package/ce_package.h"

namespace {

using namespace ce_package;

// Every table with more than one kind of entry: folders under two %CEn% roots, all four value
// types, a link to a folder and two to files, an unsupported platform.
Instructions Sample() {
    Instructions in;
    in.processor = kProcessorStrongArm;
    in.min_major = 3;
    in.max_major = 4;
    in.max_minor = 20;
    in.min_build = 9348;
    in.app_name = "Korvessa";
    in.provider = "Ternwick";
    in.unsupported = {"HPC", "Jupiter"};
    in.strings = {{1, "%CE1%"},    {2, "Korvessa"}, {3, "Software"},
                  {4, "Ternwick"}, {5, "%CE2%"},    {6, "Close Korvessa"}};
    in.directories = {{1, {1, 2}}, {2, {5}}};
    in.files = {{1, 1, 0, "Korvessa.exe"},
                {2, 1, kFileWarnIfSkipped | kFileShared, "CloseKorvessa.exe"},
                {3, 2, kFileNoOverwrite, "water.gif"}};
    in.hives = {{1, kHklm, {3, 4, 2}}, {2, kHkcu, {3}}};
    in.values = {{1, 1, true, kTypeString, "InstallDir", std::string("%InstallDir%\0", 13)},
                 {2, 1, false, kTypeDword | kTypeNoClobber, "Count", std::string("\x2a\0\0\0", 4)},
                 {3, 2, false, kTypeBinary, "", std::string("\x00\xff", 2)},
                 {4, 2, false, kTypeMultiString, "List", std::string("a\0b\0\0", 5)}};
    in.links = {{1, 0, 11, 1, kLinkToFile, {2}},
                {2, 0, 11, 2, kLinkToFile, {6}},
                {3, 0, 0, 0, kLinkToDirectory, {4}}};
    return in;
}

std::string Encoded(const Instructions& in) {
    std::string bytes;
    std::string error;
    EXPECT_TRUE(Encode(in, bytes, error)) << error;
    return bytes;
}

std::size_t Get32(const std::string& bytes, std::size_t at) {
    std::size_t value = 0;
    for (std::size_t k = 4; k-- > 0;) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + k]);
    }
    return value;
}

void Set16(std::string& bytes, std::size_t at, unsigned value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

void Set32(std::string& bytes, std::size_t at, std::size_t value) {
    for (std::size_t k = 0; k < 4; ++k) {
        bytes[at + k] = static_cast<char>((value >> (8 * k)) & 0xFF);
    }
}

enum Table { kStrings, kDirectories, kFiles, kHives, kValues, kLinks };

std::size_t TableAt(const std::string& bytes, Table table) {
    return Get32(bytes, 60 + 4 * static_cast<std::size_t>(table));
}

// Decodes from a heap block of exactly the file's size, so a read past it is a sanitizer fault.
bool DecodeExactly(const std::string& bytes, Instructions& in, std::string& error) {
    const std::unique_ptr<unsigned char[]> copy(new unsigned char[bytes.size() + 1]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    return Decode(copy.get(), bytes.size(), in, error);
}

std::string At(std::size_t offset, const std::string& what) {
    return "at " + std::to_string(offset) + ": " + what;
}

TEST(CePackage, WhatIsWrittenReadsBackTheSame) {
    const Instructions written = Sample();
    const std::string bytes = Encoded(written);
    Instructions read;
    std::string error;
    ASSERT_TRUE(DecodeExactly(bytes, read, error)) << error;
    EXPECT_EQ(Encoded(read), bytes);
    EXPECT_EQ(read.processor, 2577u);
    EXPECT_EQ(read.max_minor, 20u);
    EXPECT_EQ(read.unsupported, written.unsupported);
    EXPECT_EQ(read.values[0].data, written.values[0].data);
    EXPECT_TRUE(read.values[0].substitute);
    EXPECT_EQ(read.values[3].data, written.values[3].data);
    EXPECT_EQ(JoinParts(read, read.directories[0].parts), "%CE1%\\Korvessa");
    EXPECT_EQ(JoinParts(read, read.hives[0].parts), "Software\\Ternwick\\Korvessa");
}

TEST(CePackage, HeaderFieldsSitWhereTheFormatPutsThem) {
    const std::string bytes = Encoded(Sample());
    EXPECT_EQ(bytes.substr(0, 4), "MSCE");
    EXPECT_EQ(Get32(bytes, 8), bytes.size());
    EXPECT_EQ(Get32(bytes, 16), 1u);
    EXPECT_EQ(Get32(bytes, 20), 2577u);
    EXPECT_EQ(Get32(bytes, 24), 3u);
    EXPECT_EQ(Get32(bytes, 40), 9348u);
    EXPECT_EQ(Get32(bytes, 48) & 0xFFFF, 6u);  // strings
    EXPECT_EQ(Get32(bytes, 52) & 0xFFFF, 3u);  // files
    EXPECT_EQ(Get32(bytes, 56) >> 16, 3u);     // links
    const std::size_t app = Get32(bytes, 84) & 0xFFFF;
    EXPECT_EQ(bytes.substr(app, 9), std::string("Korvessa\0", 9));
    EXPECT_EQ(Get32(bytes, 84) >> 16, 9u);  // the length counts the zero
}

TEST(CePackage, EncodingRefusesWhatItsFieldsCannotHold) {
    struct Case {
        const char* name;
        std::function<void(Instructions&)> change;
        const char* error;
    };
    const Case cases[] = {
        {"a zero inside a name", [](Instructions& in) { in.strings[1].text += '\0'; },
         "string 2 holds a zero byte"},
        {"a name longer than 16 bits count",
         [](Instructions& in) { in.files[0].name.assign(70000, 'x'); },
         "file 1's name length is 70001, more than a 16-bit field holds"},
        {"an empty unsupported platform", [](Instructions& in) { in.unsupported.push_back(""); },
         "an unsupported platform's name is empty or holds a zero byte"},
        {"a folder of no parts", [](Instructions& in) { in.directories[1].parts.clear(); },
         "directory 2 has no parts"},
        {"a file numbered past the members", [](Instructions& in) { in.files[2].id = 999; },
         "file 999 is numbered outside 1 to 998, the files' members"},
    };
    for (const Case& c : cases) {
        Instructions in = Sample();
        c.change(in);
        std::string bytes = "untouched";
        std::string error;
        EXPECT_FALSE(Encode(in, bytes, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(bytes, "untouched") << c.name;
    }
}

// Each row damages a good file and says what the reader must report.
struct Damage {
    const char* name;
    std::function<std::string(std::string&)> damage;  // returns the expected error
};

const Damage kDamages[] = {
    {"shorter than the header",
     [](std::string& b) {
         b.resize(99);
         return At(0, "the file is 99 bytes, shorter than the 100-byte header");
     }},
    {"wrong signature",
     [](std::string& b) {
         b[3] = 'F';
         return At(0, "no MSCE signature");
     }},
    {"length field not the file's",
     [](std::string& b) {
         b += '\0';
         return At(8, "the header gives a length of " + std::to_string(b.size() - 1) +
                          " bytes, the file has " + std::to_string(b.size()));
     }},
    {"table offset past the end",
     [](std::string& b) {
         Set32(b, 64, b.size() + 1);
         return At(64, "the directory table at " + std::to_string(b.size() + 1) +
                           " lies past the end of the file (" + std::to_string(b.size()) +
                           " bytes)");
     }},
    {"table offset inside the header",
     [](std::string& b) {
         Set32(b, 68, 50);
         return At(68, "the file table at 50 lies inside the header");
     }},
    {"count past the end",
     [](std::string& b) {
         Set16(b, 58, 4);  // four links, three written
         return At(b.size(), "link entry 4 runs past the end of the file (" +
                                 std::to_string(b.size()) + " bytes)");
     }},
    {"application name past the end",
     [](std::string& b) {
         Set16(b, 86, static_cast<unsigned>(b.size()));
         return At(Get32(b, 84) & 0xFFFF, "the application name runs past the end of the file (" +
                                              std::to_string(b.size()) + " bytes)");
     }},
    {"provider name inside the header",
     [](std::string& b) {
         Set16(b, 88, 20);
         return At(88, "the provider name at 20 lies inside the header");
     }},
    {"unsupported list without its empty end",
     [](std::string& b) {
         const std::size_t at = Get32(b, 92) & 0xFFFF;
         const std::size_t length = Get32(b, 92) >> 16;
         Set16(b, 94, static_cast<unsigned>(length - 1));
         return At(at + length - 1, "the unsupported-platform list does not end in an empty name");
     }},
    {"string without its zero",
     [](std::string& b) {
         const std::size_t at = TableAt(b, kStrings);
         b[at + 4 + 5] = 'x';  // "%CE1%" and its zero
         return At(at + 4, "string 1 does not end in a zero");
     }},
    {"string id taken twice",
     [](std::string& b) {
         const std::size_t second = TableAt(b, kStrings) + 4 + 6;
         Set16(b, second, 1);
         return At(second, "string entry 2 has the id 1, zero or already taken");
     }},
    {"directory naming a missing string",
     [](std::string& b) {
         const std::size_t part = TableAt(b, kDirectories) + 4;
         Set16(b, part, 99);
         return At(part, "directory 1 names string 99, which the strings table lacks");
     }},
    {"directory ids not ending in 0",
     [](std::string& b) {
         const std::size_t end = TableAt(b, kDirectories) + 4 + 2;
         Set16(b, end + 2, 1);
         return At(end + 2, "directory 1's string ids do not end in 0");
     }},
    {"directory of an odd length",
     [](std::string& b) {
         const std::size_t length = TableAt(b, kDirectories) + 2;
         Set16(b, length, 5);
         return At(length,
                   "directory 1 has a length of 5, not a whole list of string ids with "
                   "its end");
     }},
    {"file in a missing directory",
     [](std::string& b) {
         const std::size_t at = TableAt(b, kFiles) + 2;
         Set16(b, at, 9);
         return At(at, "file 1 goes into directory 9, which the directories table lacks");
     }},
    {"file numbered beyond 998",
     [](std::string& b) {
         const std::size_t at = TableAt(b, kFiles);
         Set16(b, at, 999);
         return At(at, "file entry 1 has the id 999, not a free member number from 1 to 998");
     }},
    {"hive of an unknown root",
     [](std::string& b) {
         const std::size_t at = TableAt(b, kHives) + 2;
         Set16(b, at, 7);
         return At(at, "hive 1 has the root 7, not one of 1 to 4");
     }},
    {"value in a missing hive",
     [](std::string& b) {
         const std::size_t at = TableAt(b, kValues) + 2;
         Set16(b, at, 5);
         return At(at, "value 1 is in hive 5, which the hives table lacks");
     }},
    {"value of an unknown type",
     [](std::string& b) {
         const std::size_t at = TableAt(b, kValues) + 6;
         Set32(b, at, 4);
         return At(at, "value 1 has the unknown type 4");
     }},
    {"string value without its zero",
     [](std::string& b) {
         const std::size_t at = TableAt(b, kValues) + 12;
         b[at + 11 + 12] = '!';  // "InstallDir", its zero, "%InstallDir%", its zero
         return At(at, "value 1's text does not end in a zero");
     }},
    {"link to a missing file",
     [](std::string& b) {
         const std::size_t at = TableAt(b, kLinks) + 6;
         Set16(b, at, 3 + 40);
         return At(at, "link 1 points to file 43, which the files table lacks");
     }},
    {"link of an unknown kind",
     [](std::string& b) {
         const std::size_t at = TableAt(b, kLinks) + 8;
         Set16(b, at, 2);
         return At(at, "link 1 has the target kind 2, neither 0 (directory) nor 1 (file)");
     }},
    {"link under a folder beyond %CE17%",
     [](std::string& b) {
         const std::size_t at = TableAt(b, kLinks) + 4;
         Set16(b, at, 18);
         return At(at, "link 1 has the base folder 18, beyond %CE17%");
     }},
};

TEST(CePackage, DamagedFilesAreRefusedAtTheFieldAtFault) {
    for (const Damage& row : kDamages) {
        std::string bytes = Encoded(Sample());
        const std::string expected = row.damage(bytes);
        Instructions in;
        in.app_name = "untouched";
        std::string error;
        EXPECT_FALSE(DecodeExactly(bytes, in, error)) << row.name;
        EXPECT_EQ(error, expected) << row.name;
        EXPECT_EQ(in.app_name, "untouched") << row.name;
    }
}

// The largest `.000` and the last file number, written and read; one past either refused.
TEST(CePackage, LimitsHoldAtTheirExactEdge) {
    Instructions in = Sample();
    in.files[2].id = kMaxFiles;
    in.values[2].data.clear();
    const std::size_t start = Encoded(in).size();
    in.values[2].data.assign(kMaxInstructionsSize - start, 'x');
    std::string bytes = Encoded(in);
    ASSERT_EQ(bytes.size(), kMaxInstructionsSize);
    Instructions read;
    std::string error;
    ASSERT_TRUE(DecodeExactly(bytes, read, error)) << error;
    EXPECT_EQ(read.files[2].id, kMaxFiles);

    in.values[2].data += 'x';
    std::string refused;
    EXPECT_FALSE(Encode(in, refused, error));
    EXPECT_EQ(error,
              "the instructions (.000) come to 32769 bytes, over the 32768 a CE package "
              "may have");
    // One byte more than the largest, length field and all, that nothing else is wrong with.
    bytes += '\0';
    Set32(bytes, 8, bytes.size());
    EXPECT_FALSE(DecodeExactly(bytes, read, error));
    EXPECT_EQ(error, At(0, "the file is 32769 bytes, over the 32768 a CE package may have"));
}

// What the format gives only as "usual" values is read whatever it holds, as a device reads it,
// and so is an unsupported-platform list of no bytes wherever it is said to start: the tables
// come out as written.
TEST(CePackage, UsualFieldsAreReadWhateverTheyHold) {
    const struct {
        const char* name;
        void (*change)(std::string& bytes);
        bool listed;  // the unsupported platforms are still read
    } rows[] = {
        {"word 4 not 0", [](std::string& b) { Set32(b, 4, 7); }, true},
        {"word 12 not 0", [](std::string& b) { Set32(b, 12, 0xFFFFFFFF); }, true},
        {"word 16 not 1", [](std::string& b) { Set32(b, 16, 0); }, true},
        {"word 96 not 0", [](std::string& b) { Set32(b, 96, 2); }, true},
        {"a file's second id not its id",
         [](std::string& b) { Set16(b, TableAt(b, kFiles) + 4, 7); }, true},
        {"a hive's third field not 0", [](std::string& b) { Set16(b, TableAt(b, kHives) + 4, 9); },
         true},
        {"an empty list after the provider name",
         [](std::string& b) { Set32(b, 92, (Get32(b, 88) & 0xFFFF) + (Get32(b, 88) >> 16)); },
         false},
        {"an empty list at offset 1", [](std::string& b) { Set32(b, 92, 1); }, false},
    };
    const Instructions written = Sample();
    for (const auto& row : rows) {
        std::string bytes = Encoded(written);
        row.change(bytes);
        Instructions read;
        std::string error;
        ASSERT_TRUE(DecodeExactly(bytes, read, error)) << row.name << ": " << error;
        Instructions expected = written;
        if (!row.listed) {
            expected.unsupported.clear();
        }
        EXPECT_EQ(Encoded(read), Encoded(expected)) << row.name;
    }
}

// A file cut anywhere, with its length field made to agree, sends the reader off the end of
// some table: each is refused, none is read past.
TEST(CePackage, EveryShortenedFileIsRefused) {
    const std::string whole = Encoded(Sample());
    for (std::size_t size = 100; size < whole.size(); ++size) {
        std::string bytes = whole.substr(0, size);
        Set32(bytes, 8, size);
        Instructions in;
        std::string error;
        EXPECT_FALSE(DecodeExactly(bytes, in, error)) << size;
        EXPECT_NE(error.find("past the end of the file (" + std::to_string(size) + " bytes)"),
                  std::string::npos)
            << size << ": " << error;
    }
}

}  // namespace
