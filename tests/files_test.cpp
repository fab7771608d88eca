// The file helpers as their callers see them: what the readers hand back and leave, what a write
// leaves on disk, write times, the read-only sweep of a folder within its fixed arrays, the
// scrambled copy and its key, and temporary names. Every test also ends with nothing open.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "kit/kit.h"
#include "support/files.h"

namespace {

constexpr DWORD kSentinelSize = 0xDEADBEEF;

// A file of ten bytes, with a zero byte and a high byte inside.
const std::string kTenBytes("Ten\0bytes\xFF", 10);

// Bytes that differ with their offset, and not with a period of 64 or 4096.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return bytes;
}

// A returned heap buffer, released with free whatever the test finds.
using HeapBuffer = std::unique_ptr<BYTE, void (*)(void*)>;
HeapBuffer Own(BYTE* buffer) {
    return HeapBuffer(buffer, std::free);
}

std::string BytesOf(const BYTE* buffer, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(buffer), size);
}

class FileHelpers : public kit::FolderTest {
  protected:
    // A file of `size` bytes made without writing them, as a long file would be.
    static void MakeFileOfSize(const WideString& path, DWORD size) {
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        LONG high = 0;
        EXPECT_EQ(SetFilePointer(file, static_cast<LONG>(size), &high, FILE_BEGIN), size);
        EXPECT_TRUE(SetEndOfFile(file));
        CloseHandle(file);
    }
};

// ---- ReadWholeFile ------------------------------------------------------------------------------

TEST_F(FileHelpers, ReadWholeFileHandsBackTheBytesAndAZero) {
    kit::MakeFile(In(TEXT("ten")), kTenBytes);
    DWORD size = kSentinelSize;
    const HeapBuffer buffer = Own(ReadWholeFile(In(TEXT("ten")), size));
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(BytesOf(buffer.get(), 11), kTenBytes + std::string(1, '\0'));
}

TEST_F(FileHelpers, ReadWholeFileGivesNothingForEmptyMissingAndOverlongFiles) {
    kit::MakeFile(In(TEXT("empty")), "");
    MakeFileOfSize(In(TEXT("huge")), 0xFFFFFFFF);  // one more byte would not fit the count
    for (const WCHAR* name :
         {TEXT("empty"), TEXT("missing"), TEXT("none\\missing"), TEXT("huge")}) {
        SCOPED_TRACE(kit::Narrow(name));
        DWORD size = kSentinelSize;
        EXPECT_EQ(ReadWholeFile(In(name), size), nullptr);
        EXPECT_EQ(size, 0u);
    }
}

TEST_F(FileHelpers, ReadWholeFileReadsAFileThatIsOpenForWriting) {
    kit::MakeFile(In(TEXT("busy")), kTenBytes);
    const HANDLE writer =
        CreateFileW(In(TEXT("busy")).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD size = 0;
    const HeapBuffer buffer = Own(ReadWholeFile(In(TEXT("busy")), size));
    CloseHandle(writer);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(BytesOf(buffer.get(), size), kTenBytes);
}

TEST_F(FileHelpers, ReadWholeFileAfterAFailedReadReturnsAnEmptyText) {
    kit::MakeFile(In(TEXT("ten")), kTenBytes);
    if (!kit::FailNext(kit::Fault::FileRead)) {
        GTEST_SKIP() << "a failing read can be arranged only on the simulated device";
    }
    DWORD size = kSentinelSize;
    const HeapBuffer buffer = Own(ReadWholeFile(In(TEXT("ten")), size));
    ASSERT_NE(buffer, nullptr) << "the buffer is still the caller's to free";
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(buffer.get()[0], 0) << "the zero follows the bytes actually read";
}

TEST_F(FileHelpers, ReadersGiveNothingWhenTheHeapIsExhausted) {
    kit::MakeFile(In(TEXT("ten")), kTenBytes);
    using Reader = BYTE* (*)(WideString, DWORD&);
    for (const Reader read : {Reader{ReadWholeFile}, Reader{ReadFileHead}}) {
        if (!kit::FailNext(kit::Fault::Allocation)) {
            GTEST_SKIP() << "a failing allocation can be arranged only on the simulated device";
        }
        DWORD size = 4;
        EXPECT_EQ(read(In(TEXT("ten")), size), nullptr);
        EXPECT_EQ(size, 0u);
    }
}

// ---- ReadFileHead -------------------------------------------------------------------------------

TEST_F(FileHelpers, ReadFileHeadReadsAtMostTheSizeAsked) {
    kit::MakeFile(In(TEXT("ten")), kTenBytes);
    struct Case {
        DWORD asked;
        DWORD expected;
    };
    for (const Case c : {Case{4, 4}, Case{10, 10}, Case{100, 10}, Case{0, 0}}) {
        SCOPED_TRACE(testing::Message() << c.asked << " bytes asked");
        DWORD size = c.asked;
        const HeapBuffer buffer = Own(ReadFileHead(In(TEXT("ten")), size));
        EXPECT_EQ(size, c.expected);
        if (c.expected > 0) {
            ASSERT_NE(buffer, nullptr);
            EXPECT_EQ(BytesOf(buffer.get(), size), kTenBytes.substr(0, c.expected));
        }
    }
}

TEST_F(FileHelpers, ReadFileHeadGivesNothingForEmptyAndMissingFiles) {
    kit::MakeFile(In(TEXT("empty")), "");
    for (const WCHAR* name : {TEXT("empty"), TEXT("missing"), TEXT("none\\missing")}) {
        SCOPED_TRACE(kit::Narrow(name));
        DWORD size = 100;
        EXPECT_EQ(ReadFileHead(In(name), size), nullptr);
        EXPECT_EQ(size, 0u);
    }
}

// ---- WriteWholeFile -----------------------------------------------------------------------------

TEST_F(FileHelpers, WriteWholeFileLeavesExactlyTheNewBytes) {
    struct Case {
        const char* what;
        std::string before;
        std::string written;
    };
    const Case cases[] = {
        {"over a longer file", Pattern(5000), kTenBytes},
        {"nothing over a file", kTenBytes, ""},
        {"a new file", "", Pattern(4097)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW(In(TEXT("out")).c_str());
        if (!c.before.empty()) {
            kit::MakeFile(In(TEXT("out")), c.before);
        }
        WriteWholeFile(In(TEXT("out")), c.written.data(), static_cast<DWORD>(c.written.size()));
        EXPECT_EQ(kit::ReadFileText(In(TEXT("out"))), c.written);
    }
}

TEST_F(FileHelpers, WriteWholeFileLeavesUnwritableTargetsAlone) {
    WriteWholeFile(In(TEXT("none\\out")), kTenBytes.data(), 10);
    EXPECT_FALSE(kit::PathExists(In(TEXT("none\\out"))));
    if (kit::ReadOnlyFilesRefuseWriting()) {
        kit::MakeFile(In(TEXT("locked")), "kept", FILE_ATTRIBUTE_READONLY);
        WriteWholeFile(In(TEXT("locked")), kTenBytes.data(), 10);
        EXPECT_EQ(kit::ReadFileText(In(TEXT("locked"))), "kept");
        SetFileAttributesW(In(TEXT("locked")).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// ---- File times ---------------------------------------------------------------------------------

TEST_F(FileHelpers, FileTimesAreZeroOnlyWhenBothHalvesAre) {
    FILETIME time{0x1234, 0x5678};
    EXPECT_EQ(&ClearFileTime(time), &time);
    EXPECT_EQ(time.dwLowDateTime, 0u);
    EXPECT_EQ(time.dwHighDateTime, 0u);
    EXPECT_EQ(IsFileTimeZero(FILETIME{0, 0}), TRUE);
    EXPECT_EQ(IsFileTimeZero(FILETIME{1, 0}), FALSE);
    EXPECT_EQ(IsFileTimeZero(FILETIME{0, 1}), FALSE);
}

TEST_F(FileHelpers, GetFileWriteTimeMatchesTheFolderListing) {
    kit::MakeFile(In(TEXT("dated")), kTenBytes);
    WIN32_FIND_DATAW listed{};
    const HANDLE search = FindFirstFileW(In(TEXT("dated")).c_str(), &listed);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);

    FILETIME time{};
    GetFileWriteTime(In(TEXT("dated")).c_str(), time);
    EXPECT_FALSE(IsFileTimeZero(time));
    EXPECT_EQ(time.dwLowDateTime, listed.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(time.dwHighDateTime, listed.ftLastWriteTime.dwHighDateTime);
}

TEST_F(FileHelpers, GetFileWriteTimeIsZeroWithoutAReadableFile) {
    kit::MakeFile(In(TEXT("busy")), kTenBytes);
    // Opened for writing elsewhere: the time is read only with sharing for reading.
    const HANDLE writer =
        CreateFileW(In(TEXT("busy")).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    for (const WCHAR* name : {TEXT("missing"), TEXT("none\\missing"), TEXT("busy")}) {
        SCOPED_TRACE(kit::Narrow(name));
        FILETIME time{0xDEADBEEF, 0xDEADBEEF};
        GetFileWriteTime(In(name).c_str(), time);
        EXPECT_TRUE(IsFileTimeZero(time));
    }
    CloseHandle(writer);
}

// ---- ClearReadOnlyInFolder ----------------------------------------------------------------------

// Wine reports the archive bit on every file; the bits compared here leave it out.
DWORD SignificantAttributes(const WideString& path) {
    return kit::Attributes(path) &
           ~static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileHelpers, ClearReadOnlyInFolderCountsEveryEntryAndClearsOnlyReadOnly) {
    kit::MakeFolder(In(TEXT("set")));
    const WideString folder = In(TEXT("set"));
    for (const WCHAR* spelling : {TEXT(""), TEXT("\\")}) {
        SCOPED_TRACE(spelling[0] == 0 ? "folder without separator" : "folder with separator");
        kit::MakeFile(folder + TEXT("\\plain.txt"), "a");
        kit::MakeFile(folder + TEXT("\\hidden.txt"), "b", FILE_ATTRIBUTE_HIDDEN);
        kit::MakeFile(folder + TEXT("\\locked.txt"), "c",
                      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
        CreateDirectoryW((folder + TEXT("\\sub")).c_str(), nullptr);

        EXPECT_EQ(ClearReadOnlyInFolder((folder + spelling).c_str(), TEXT("*.*")), 4);
        EXPECT_EQ(SignificantAttributes(folder + TEXT("\\locked.txt")),
                  static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
        EXPECT_EQ(SignificantAttributes(folder + TEXT("\\hidden.txt")),
                  static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
        EXPECT_EQ(SignificantAttributes(folder + TEXT("\\plain.txt")), 0u);
        EXPECT_EQ(kit::Attributes(folder + TEXT("\\sub")),
                  static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    }
}

TEST_F(FileHelpers, ClearReadOnlyInFolderCountsAnEntryWhoseChangeFails) {
    const WideString folder = In(TEXT("set"));
    kit::MakeFolder(folder);
    kit::MakeFile(folder + TEXT("\\a.txt"), "a", FILE_ATTRIBUTE_READONLY);
    kit::MakeFile(folder + TEXT("\\b.txt"), "b", FILE_ATTRIBUTE_READONLY);
    kit::MakeFile(folder + TEXT("\\c.txt"), "c");
    // The walk's first call on a file is the change of the first entry, a.txt.
    if (!kit::FailNext(kit::Fault::FileSystemCall)) {
        GTEST_SKIP() << "a failing attribute change can be arranged only on the simulated device";
    }

    EXPECT_EQ(ClearReadOnlyInFolder(folder.c_str(), TEXT("*.txt")), 3);

    EXPECT_EQ(SignificantAttributes(folder + TEXT("\\a.txt")),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(SignificantAttributes(folder + TEXT("\\b.txt")), 0u) << "the walk went on";
}

TEST_F(FileHelpers, ClearReadOnlyInFolderCountsOnlyWhatMatches) {
    kit::MakeFolder(In(TEXT("set")));
    kit::MakeFile(In(TEXT("set\\a.txt")), "a", FILE_ATTRIBUTE_READONLY);
    kit::MakeFile(In(TEXT("set\\b.dat")), "b", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(ClearReadOnlyInFolder(In(TEXT("set")).c_str(), TEXT("*.txt")), 1);
    EXPECT_EQ(SignificantAttributes(In(TEXT("set\\a.txt"))), 0u);
    EXPECT_EQ(SignificantAttributes(In(TEXT("set\\b.dat"))),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(ClearReadOnlyInFolder(In(TEXT("set")).c_str(), TEXT("*.none")), 0);
    EXPECT_EQ(ClearReadOnlyInFolder(In(TEXT("none")).c_str(), TEXT("*.*")), 0);
    EXPECT_EQ(ClearReadOnlyInFolder(TEXT(""), TEXT("*.*")), 0);
    kit::MakeFolder(In(TEXT("empty")));
    EXPECT_EQ(ClearReadOnlyInFolder(In(TEXT("empty")).c_str(), TEXT("*.*")), 0);
    SetFileAttributesW(In(TEXT("set\\b.dat")).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// `folder` spelled in exactly `units` units, ending in "\" or not: "\." steps, and one
// "\x\.." for an odd count, lead back to the same folder.
WideString Spelled(const WideString& folder, std::size_t units, bool trailingSeparator) {
    WideString spelled = folder;
    const std::size_t padding = units - folder.size() - (trailingSeparator ? 1 : 0);
    if (padding % 2 == 1) {
        spelled += TEXT("\\x\\..");
    }
    while (spelled.size() + 2 <= units - (trailingSeparator ? 1 : 0)) {
        spelled += TEXT("\\.");
    }
    if (trailingSeparator) {
        spelled += TEXT("\\");
    }
    return spelled;
}

TEST_F(FileHelpers, ClearReadOnlyInFolderStaysWithinItsArrays) {
    kit::MakeFolder(In(TEXT("set")));
    const WideString folder = In(TEXT("set"));
    // The arrays hold 256 units with the terminating zero: the folder with its separator, that
    // and the pattern, that and an entry's name.
    struct Case {
        std::size_t folderUnits;
        bool trailingSeparator;
        const WCHAR* pattern;
        int count;
        bool shortNameCleared;  // "a": the folder with its separator + 1 unit
        bool longNameCleared;   // "abc": the folder with its separator + 3 units
    };
    const Case cases[] = {
        {251, false, TEXT("*"), 2, true, true},    // "...\\abc": 255 units
        {253, false, TEXT("*"), 2, true, false},   // "...\\abc": 257 units, left as it is
        {254, true, TEXT("*"), 2, true, false},    // the same folder with its separator
        {253, true, TEXT("a*"), 2, true, false},   // search text: 255 units
        {252, false, TEXT("a*"), 2, true, false},  // the same
        {254, true, TEXT("a*"), 0, false, false},  // search text: 256 units
        {255, true, TEXT("*"), 0, false, false},   // search text: 256 units
        {255, false, TEXT("*"), 0, false, false},  // folder with its separator: 256 units
        {600, false, TEXT("*"), 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.folderUnits << "-unit folder"
                                        << (c.trailingSeparator ? " with separator" : "")
                                        << ", pattern " << kit::Narrow(c.pattern));
        kit::MakeFile(folder + TEXT("\\a"), "a", FILE_ATTRIBUTE_READONLY);
        kit::MakeFile(folder + TEXT("\\abc"), "abc", FILE_ATTRIBUTE_READONLY);
        const WideString spelled = Spelled(folder, c.folderUnits, c.trailingSeparator);
        ASSERT_EQ(spelled.size(), c.folderUnits);

        EXPECT_EQ(ClearReadOnlyInFolder(spelled.c_str(), c.pattern), c.count);
        EXPECT_EQ(SignificantAttributes(folder + TEXT("\\a")),
                  c.shortNameCleared ? 0u : static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(SignificantAttributes(folder + TEXT("\\abc")),
                  c.longNameCleared ? 0u : static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        SetFileAttributesW((folder + TEXT("\\a")).c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesW((folder + TEXT("\\abc")).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// ---- ScrambleCopyFile ---------------------------------------------------------------------------

// The key as a scrambled run of zero bytes shows it. It is part of the format: a file scrambled
// before must still be restored.
const BYTE kExpectedKey[64] = {
    0xB2, 0xC9, 0x0C, 0xE8, 0x46, 0x9F, 0x67, 0xB5, 0xF5, 0xEA, 0x97, 0x16, 0xB5, 0x7C, 0xCE, 0x19,
    0xBF, 0xA4, 0x87, 0xB6, 0x87, 0x7F, 0x9E, 0xED, 0x55, 0xFE, 0x0D, 0xB4, 0x32, 0x24, 0x5D, 0x84,
    0x3A, 0x41, 0xB0, 0x36, 0xBE, 0x55, 0x74, 0xF1, 0xE4, 0x82, 0xF7, 0x91, 0x0B, 0x64, 0x15, 0x38,
    0x3A, 0xD8, 0xF5, 0x1B, 0x29, 0xF4, 0xE6, 0xB5, 0x8F, 0xCE, 0xE5, 0xBB, 0xB2, 0xF5, 0x52, 0x6B,
};

TEST_F(FileHelpers, ScrambleCopyFileMixesEachByteWithTheKeyByteOfItsOffset) {
    for (const std::size_t size : {0, 1, 63, 64, 65, 4095, 4096, 4097, 8192 + 100}) {
        SCOPED_TRACE(testing::Message() << size << " bytes");
        const std::string source = Pattern(size);
        kit::MakeFile(In(TEXT("source")), source);
        EXPECT_EQ(ScrambleCopyFile(In(TEXT("source")).c_str(), In(TEXT("target")).c_str()), TRUE);
        const std::string target = kit::ReadFileText(In(TEXT("target")));
        ASSERT_EQ(target.size(), size);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < size; ++i) {
            const auto mixed = static_cast<BYTE>(source[i] ^ target[i]);
            wrong += mixed == kExpectedKey[i % 64] ? 0 : 1;
        }
        EXPECT_EQ(wrong, 0u) << "bytes not mixed with the key byte of their offset";
    }
}

TEST_F(FileHelpers, ScrambleCopyFileRestartsTheKeyEvery64Bytes) {
    kit::MakeFile(In(TEXT("zeros")), std::string(4097 + 64, '\0'));
    ASSERT_EQ(ScrambleCopyFile(In(TEXT("zeros")).c_str(), In(TEXT("key")).c_str()), TRUE);
    const std::string key = kit::ReadFileText(In(TEXT("key")));
    ASSERT_EQ(key.size(), 4097u + 64);
    EXPECT_EQ(BytesOf(reinterpret_cast<const BYTE*>(key.data()), 64), BytesOf(kExpectedKey, 64));
    EXPECT_EQ(key[64], key[0]);
    EXPECT_EQ(key[4096], key[0]);
    EXPECT_EQ(key[4097], key[1]);
}

TEST_F(FileHelpers, ScramblingTwiceRestoresTheSource) {
    const std::string source = Pattern(3 * 4096 + 17);
    kit::MakeFile(In(TEXT("source")), source);
    ASSERT_EQ(ScrambleCopyFile(In(TEXT("source")).c_str(), In(TEXT("once")).c_str()), TRUE);
    EXPECT_NE(kit::ReadFileText(In(TEXT("once"))), source);
    ASSERT_EQ(ScrambleCopyFile(In(TEXT("once")).c_str(), In(TEXT("twice")).c_str()), TRUE);
    EXPECT_EQ(kit::ReadFileText(In(TEXT("twice"))), source);
}

TEST_F(FileHelpers, ScrambleCopyFileOverALongerTargetLeavesOnlyTheCopy) {
    kit::MakeFile(In(TEXT("source")), kTenBytes);
    kit::MakeFile(In(TEXT("target")), Pattern(5000));
    ASSERT_EQ(ScrambleCopyFile(In(TEXT("source")).c_str(), In(TEXT("target")).c_str()), TRUE);
    EXPECT_EQ(kit::ReadFileText(In(TEXT("target"))).size(), 10u);
}

TEST_F(FileHelpers, ScrambleCopyFileFromAMissingSourceCreatesNothing) {
    for (const WCHAR* name : {TEXT("missing"), TEXT("none\\missing")}) {
        SCOPED_TRACE(kit::Narrow(name));
        EXPECT_EQ(ScrambleCopyFile(In(name).c_str(), In(TEXT("target")).c_str()), FALSE);
        EXPECT_FALSE(kit::PathExists(In(TEXT("target"))));
    }
}

TEST_F(FileHelpers, ScrambleCopyFileOntoItsOwnSourceIsRefused) {
    const std::string source = Pattern(5000);
    kit::MakeFile(In(TEXT("Source.bin")), source);
    // The device's names ignore letter case: both spellings name the one file.
    for (const WCHAR* target : {TEXT("Source.bin"), TEXT("sOURCE.BIN")}) {
        SCOPED_TRACE(kit::Narrow(target));
        EXPECT_EQ(ScrambleCopyFile(In(TEXT("Source.bin")).c_str(), In(target).c_str()), FALSE);
        EXPECT_EQ(kit::ReadFileText(In(TEXT("Source.bin"))), source);
    }
}

TEST_F(FileHelpers, ScrambleCopyFileToAnUnwritableTargetFails) {
    kit::MakeFile(In(TEXT("source")), kTenBytes);
    EXPECT_EQ(ScrambleCopyFile(In(TEXT("source")).c_str(), In(TEXT("none\\target")).c_str()),
              FALSE);
    EXPECT_FALSE(kit::PathExists(In(TEXT("none\\target"))));
    if (kit::ReadOnlyFilesRefuseWriting()) {
        kit::MakeFile(In(TEXT("locked")), "kept", FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(ScrambleCopyFile(In(TEXT("source")).c_str(), In(TEXT("locked")).c_str()), FALSE);
        EXPECT_EQ(kit::ReadFileText(In(TEXT("locked"))), "kept");
        SetFileAttributesW(In(TEXT("locked")).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_EQ(kit::ReadFileText(In(TEXT("source"))), kTenBytes);
}

TEST_F(FileHelpers, ScrambleCopyFileReportsAFailedReadOrWrite) {
    kit::MakeFile(In(TEXT("source")), Pattern(3 * 4096));
    if (!kit::FailNext(kit::Fault::FileRead)) {
        GTEST_SKIP() << "failing reads and writes can be arranged only on the simulated device";
    }
    EXPECT_EQ(ScrambleCopyFile(In(TEXT("source")).c_str(), In(TEXT("target")).c_str()), FALSE);
    EXPECT_EQ(kit::ReadFileText(In(TEXT("target"))), "") << "nothing read, nothing written";

    // A small copy sits in the stream's buffer until the target is closed: the write fails then.
    kit::MakeFile(In(TEXT("small")), kTenBytes);
    ASSERT_TRUE(kit::FailNext(kit::Fault::FileWrite));
    EXPECT_EQ(ScrambleCopyFile(In(TEXT("small")).c_str(), In(TEXT("target")).c_str()), FALSE);

    ASSERT_TRUE(kit::FailNext(kit::Fault::FileWrite));
    EXPECT_EQ(ScrambleCopyFile(In(TEXT("source")).c_str(), In(TEXT("target")).c_str()), FALSE);
}

TEST_F(FileHelpers, ScrambleCopyFileWithoutACopyBlockFails) {
    kit::MakeFile(In(TEXT("source")), kTenBytes);
    if (!kit::FailNext(kit::Fault::Allocation)) {
        GTEST_SKIP() << "a failing allocation can be arranged only on the simulated device";
    }
    EXPECT_EQ(ScrambleCopyFile(In(TEXT("source")).c_str(), In(TEXT("target")).c_str()), FALSE);
    EXPECT_EQ(kit::ReadFileText(In(TEXT("target"))), "") << "the target is opened before the block";
}

// ---- MakeTempFileName ---------------------------------------------------------------------------

std::string Hex(DWORD value) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%lx", static_cast<unsigned long>(value));
    return digits;
}

DWORD LowFileTimeNow() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    FILETIME stamp{};
    SystemTimeToFileTime(&now, &stamp);
    return stamp.dwLowDateTime;
}

TEST_F(FileHelpers, MakeTempFileNameJoinsTheClockAndTheThread) {
    // Two names made between two equal readings of the clock read that same value.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const DWORD before = LowFileTimeNow();
        const WideString first = MakeTempFileName();
        const WideString second = MakeTempFileName();
        if (LowFileTimeNow() != before) {
            continue;
        }
        EXPECT_EQ(first, second);
        EXPECT_EQ(kit::Narrow(first), "attmp_" + Hex(before) + Hex(GetCurrentThreadId()) + ".tmp");
        EXPECT_LE(first.size(), 26u);
        const std::string digits = kit::Narrow(first.substr(6, first.size() - 10));
        EXPECT_EQ(digits.find_first_not_of("0123456789abcdef"), std::string::npos);
        return;
    }
    FAIL() << "the clock never held still between two readings";
}

}  // namespace
