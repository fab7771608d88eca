// The runtime's streams, integer-to-text conversions, the calendar clock and long files as the
// file helpers rely on them. Run on the simulated device and under Wine alike, so the device is
// held to a real implementation.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kit/kit.h"

namespace {

// Set before a call whose last-error value is checked, so that a stale value cannot pass.
constexpr DWORD kStaleError = 0x5EE7;

class PlatformStreams : public kit::FolderTest {
  protected:
    static FILE* Open(const WCHAR* name, const WCHAR* mode) {
        return _wfopen(In(name).c_str(), mode);
    }

    // Everything left in the stream from where it stands.
    static std::string Rest(FILE* stream) {
        std::string bytes;
        char chunk[256];
        std::size_t count = 0;
        while ((count = std::fread(chunk, 1, sizeof chunk, stream)) > 0) {
            bytes.append(chunk, count);
        }
        return bytes;
    }

    static std::string Contents(const WCHAR* name) {
        FILE* stream = Open(name, TEXT("rb"));
        if (stream == nullptr) {
            return "<missing>";
        }
        std::string bytes = Rest(stream);
        std::fclose(stream);
        return bytes;
    }
};

TEST_F(PlatformStreams, ModesCreateCutAppendAndUpdate) {
    FILE* stream = Open(TEXT("file"), TEXT("wb"));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(std::fwrite("0123456789", 1, 10, stream), 10u);
    EXPECT_EQ(std::fclose(stream), 0);
    EXPECT_EQ(Contents(TEXT("file")), "0123456789");

    stream = Open(TEXT("file"), TEXT("ab"));
    ASSERT_NE(stream, nullptr);
    std::fwrite("AB", 1, 2, stream);
    std::fclose(stream);
    EXPECT_EQ(Contents(TEXT("file")), "0123456789AB");

    stream = Open(TEXT("file"), TEXT("r+b"));
    ASSERT_NE(stream, nullptr);
    char head[3] = {};
    EXPECT_EQ(std::fread(head, 1, 2, stream), 2u);
    EXPECT_EQ(std::string(head), "01");
    std::fseek(stream, 0, SEEK_CUR);  // a read and a write are parted by a positioning call
    std::fwrite("xy", 1, 2, stream);
    std::fclose(stream);
    EXPECT_EQ(Contents(TEXT("file")), "01xy456789AB");

    stream = Open(TEXT("file"), TEXT("w+b"));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(Rest(stream), "") << "w+ cuts the file";
    std::fclose(stream);
    EXPECT_EQ(Contents(TEXT("file")), "");
}

TEST_F(PlatformStreams, OpeningFailsWithTheRuntimesReason) {
    kit::MakeFile(In(TEXT("locked")), "kept", FILE_ATTRIBUTE_READONLY);
    struct Case {
        const WCHAR* name;
        const WCHAR* mode;
        int error;
        bool needsReadOnlyRefusal;
    };
    const Case cases[] = {
        {TEXT("missing"), TEXT("rb"), ENOENT, false},
        {TEXT("missing"), TEXT("r+b"), ENOENT, false},
        {TEXT("none\\file"), TEXT("wb"), ENOENT, false},
        {TEXT("locked"), TEXT("wb"), EACCES, true},
        {TEXT("locked"), TEXT("ab"), EACCES, true},
        {TEXT("locked"), TEXT("r+b"), EACCES, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(kit::Narrow(c.name) + " " + kit::Narrow(c.mode));
        if (c.needsReadOnlyRefusal && !kit::ReadOnlyFilesRefuseWriting()) {
            continue;
        }
        errno = 0;
        EXPECT_EQ(Open(c.name, c.mode), nullptr);
        EXPECT_EQ(errno, c.error);
    }
    EXPECT_EQ(Contents(TEXT("locked")), "kept") << "a read-only file opens for reading";
    EXPECT_FALSE(kit::PathExists(In(TEXT("none"))));
    SetFileAttributesW(In(TEXT("locked")).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(PlatformStreams, EndOfFileIsSeenByTheReadThatFindsNothingMore) {
    kit::MakeFile(In(TEXT("ten")), "0123456789");
    FILE* stream = Open(TEXT("ten"), TEXT("rb"));
    ASSERT_NE(stream, nullptr);
    char buffer[4096];
    EXPECT_EQ(std::fread(buffer, 1, 10, stream), 10u);
    EXPECT_EQ(std::feof(stream), 0) << "an exact read does not reach the end yet";
    EXPECT_EQ(std::fread(buffer, 1, 10, stream), 0u);
    EXPECT_NE(std::feof(stream), 0);
    EXPECT_EQ(std::ferror(stream), 0);
    std::fclose(stream);

    stream = Open(TEXT("ten"), TEXT("rb"));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, stream), 10u);
    EXPECT_NE(std::feof(stream), 0) << "a short read reaches the end";
    std::fclose(stream);
}

TEST_F(PlatformStreams, WritingToAReadingStreamSetsTheErrorIndicator) {
    kit::MakeFile(In(TEXT("ten")), "0123456789");
    FILE* stream = Open(TEXT("ten"), TEXT("rb"));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(std::fwrite("x", 1, 1, stream), 0u);
    EXPECT_NE(std::ferror(stream), 0);
    std::fclose(stream);
    EXPECT_EQ(Contents(TEXT("ten")), "0123456789");
}

TEST_F(PlatformStreams, AnOpenStreamSharesReadingAndWritingButNotDeletion) {
    FILE* stream = Open(TEXT("file"), TEXT("wb"));
    ASSERT_NE(stream, nullptr);
    const HANDLE shared =
        CreateFileW(In(TEXT("file")).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(shared, INVALID_HANDLE_VALUE);
    CloseHandle(shared);
    SetLastError(kStaleError);
    EXPECT_EQ(
        CreateFileW(In(TEXT("file")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    SetLastError(kStaleError);
    EXPECT_FALSE(DeleteFileW(In(TEXT("file")).c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    std::fclose(stream);
    EXPECT_TRUE(DeleteFileW(In(TEXT("file")).c_str()));
}

TEST_F(PlatformStreams, AStreamLeftOpenIsReported) {
    FILE* stream = Open(TEXT("file"), TEXT("wb"));
    ASSERT_NE(stream, nullptr);
    EXPECT_NE(kit::LeakReport(), "");
    std::fclose(stream);
    EXPECT_EQ(kit::LeakReport(), "");
}

TEST_F(PlatformStreams, InjectedFaultsSetTheErrorIndicator) {
    kit::MakeFile(In(TEXT("ten")), "0123456789");
    FILE* stream = Open(TEXT("ten"), TEXT("rb"));
    ASSERT_NE(stream, nullptr);
    if (!kit::FailNext(kit::Fault::FileRead)) {
        std::fclose(stream);
        GTEST_SKIP() << "failing reads and writes can be arranged only on the simulated device";
    }
    char buffer[16];
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, stream), 0u);
    EXPECT_NE(std::ferror(stream), 0);
    EXPECT_EQ(std::feof(stream), 0);
    std::fclose(stream);

    stream = Open(TEXT("out"), TEXT("wb"));
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(kit::FailNext(kit::Fault::FileWrite));
    std::fwrite("0123456789", 1, 10, stream);
    EXPECT_NE(std::fflush(stream), 0);
    EXPECT_NE(std::ferror(stream), 0);
    std::fclose(stream);
    EXPECT_EQ(Contents(TEXT("out")), "");
}

// ---- Integer to text ----------------------------------------------------------------------------

class PlatformRuntime : public kit::DeviceTest {};

TEST_F(PlatformRuntime, IntegersBecomeTextInAnyRadix) {
    struct Case {
        long long value;
        int radix;
        const char* itow;   // as _itow writes it
        const char* ultow;  // as _ultow writes the same bits
    };
    const Case cases[] = {
        {0, 16, "0", "0"},
        {255, 16, "ff", "ff"},
        {0x0ABCDEF0, 16, "abcdef0", "abcdef0"},
        {-1, 16, "ffffffff", "ffffffff"},
        {-42, 10, "-42", "4294967254"},
        {2147483647, 10, "2147483647", "2147483647"},
        {5, 2, "101", "101"},
        {35, 36, "z", "z"},
        {-1, 8, "37777777777", "37777777777"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " in radix " << c.radix);
        WCHAR text[40];
        EXPECT_EQ(kit::Narrow(_itow(static_cast<int>(c.value), text, c.radix)), c.itow);
        EXPECT_EQ(kit::Narrow(_ultow(static_cast<unsigned long>(static_cast<DWORD>(c.value)), text,
                                     c.radix)),
                  c.ultow);
    }
}

// ---- The calendar clock -------------------------------------------------------------------------

ULONGLONG Ticks(const FILETIME& time) {
    return static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

class PlatformClock : public kit::DeviceTest {};

// Wine takes 29 February as valid in every year; Windows and the device refuse it outside leap
// years. The table keeps to the dates on which they agree.
TEST_F(PlatformClock, SystemTimesConvertToFileTimes) {
    struct Case {
        SYSTEMTIME time;  // year, month, day of week (ignored), day, hour, minute, second, ms
        BOOL converts;
        ULONGLONG ticks;
    };
    const Case cases[] = {
        {{1601, 1, 0, 1, 0, 0, 0, 0}, TRUE, 0},
        {{1601, 1, 0, 1, 0, 0, 0, 1}, TRUE, 10000},
        {{1970, 1, 4, 1, 0, 0, 0, 0}, TRUE, 116444736000000000ULL},
        {{2004, 2, 0, 29, 23, 59, 59, 999}, TRUE, 127225727999990000ULL},
        {{2000, 2, 0, 29, 0, 0, 0, 0}, TRUE, 125962560000000000ULL},
        {{2004, 4, 0, 31, 0, 0, 0, 0}, FALSE, 0},
        {{2004, 13, 0, 1, 0, 0, 0, 0}, FALSE, 0},
        {{2004, 1, 0, 0, 0, 0, 0, 0}, FALSE, 0},
        {{2004, 1, 0, 1, 24, 0, 0, 0}, FALSE, 0},
        {{2004, 1, 0, 1, 0, 60, 0, 0}, FALSE, 0},
        {{2004, 1, 0, 1, 0, 0, 60, 0}, FALSE, 0},
        {{2004, 1, 0, 1, 0, 0, 0, 1000}, FALSE, 0},
        {{1600, 12, 0, 31, 0, 0, 0, 0}, FALSE, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.time.wYear << "-" << c.time.wMonth << "-" << c.time.wDay << " "
                     << c.time.wHour << ":" << c.time.wMinute << ":" << c.time.wSecond << "."
                     << c.time.wMilliseconds);
        FILETIME converted{0xDEADBEEF, 0xDEADBEEF};
        EXPECT_EQ(SystemTimeToFileTime(&c.time, &converted), c.converts);
        if (c.converts) {
            EXPECT_EQ(Ticks(converted), c.ticks);
        }
    }
}

TEST_F(PlatformClock, SystemTimeMovesWithTheTickCount) {
    SYSTEMTIME before{};
    GetSystemTime(&before);
    const DWORD start = GetTickCount();
    Sleep(1500);
    SYSTEMTIME after{};
    GetSystemTime(&after);
    const DWORD ticked = GetTickCount() - start;

    FILETIME first{};
    FILETIME second{};
    ASSERT_TRUE(SystemTimeToFileTime(&before, &first));
    ASSERT_TRUE(SystemTimeToFileTime(&after, &second));
    const ULONGLONG elapsed = (Ticks(second) - Ticks(first)) / 10000;
    EXPECT_LE(elapsed, ticked + 40ULL) << "milliseconds";
    EXPECT_GE(elapsed + 40, ticked) << "milliseconds";
    EXPECT_TRUE(kit::PausedFor(start, 1500));

    // 1 January 1601 was a Monday.
    EXPECT_EQ(after.wDayOfWeek, (Ticks(second) / 864000000000ULL + 1) % 7);
}

// ---- Long files ---------------------------------------------------------------------------------

TEST_F(PlatformStreams, AFileGrowsToWhereItsPointerIsSet) {
    const HANDLE file = CreateFileW(In(TEXT("long")).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LONG high = 0;
    SetLastError(kStaleError);
    EXPECT_EQ(SetFilePointer(file, -1, &high, FILE_BEGIN), 0xFFFFFFFFu);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(high, 0);
    EXPECT_TRUE(SetEndOfFile(file));
    DWORD sizeHigh = 0xDEADBEEF;
    EXPECT_EQ(GetFileSize(file, &sizeHigh), 0xFFFFFFFFu);
    EXPECT_EQ(sizeHigh, 0u);

    EXPECT_EQ(SetFilePointer(file, 10, nullptr, FILE_BEGIN), 10u);
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(GetFileSize(file, nullptr), 10u);
    EXPECT_EQ(SetFilePointer(file, -4, nullptr, FILE_END), 6u);
    SetLastError(kStaleError);
    EXPECT_EQ(SetFilePointer(file, -7, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    CloseHandle(file);
}

}  // namespace
