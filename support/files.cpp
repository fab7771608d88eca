#include "support/files.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/compat.h"
#include "support/fixed_buffer.h"

namespace {

constexpr DWORD kFolderArrayUnits = 256;
constexpr std::size_t kCopyBlockBytes = 4096;
constexpr std::size_t kKeyBytes = 64;
// Size + 1 would wrap to 0; it is also what a failed size query returns.
constexpr DWORD kTooLargeToTerminate = INVALID_FILE_SIZE;

// Changing a byte of the key makes every file scrambled before unreadable.
constexpr BYTE kScrambleKey[kKeyBytes] = {
    0xB2, 0xC9, 0x0C, 0xE8, 0x46, 0x9F, 0x67, 0xB5, 0xF5, 0xEA, 0x97, 0x16, 0xB5, 0x7C, 0xCE, 0x19,
    0xBF, 0xA4, 0x87, 0xB6, 0x87, 0x7F, 0x9E, 0xED, 0x55, 0xFE, 0x0D, 0xB4, 0x32, 0x24, 0x5D, 0x84,
    0x3A, 0x41, 0xB0, 0x36, 0xBE, 0x55, 0x74, 0xF1, 0xE4, 0x82, 0xF7, 0x91, 0x0B, 0x64, 0x15, 0x38,
    0x3A, 0xD8, 0xF5, 0x1B, 0x29, 0xF4, 0xE6, 0xB5, 0x8F, 0xCE, 0xE5, 0xBB, 0xB2, 0xF5, 0x52, 0x6B,
};

// 4096 is a multiple of 64, so a block's position k is file offset k modulo 64 in every block.
static_assert(kCopyBlockBytes % kKeyBytes == 0, "key rows must tile the copy block");

HANDLE OpenForReading(LPCWSTR path, DWORD share) {
    return CreateFileW(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Only the low half of the size counts; the high half is fetched so that the low half stays
// meaningful for files of 4 GiB and more.
DWORD LowFileSize(HANDLE file) {
    DWORD high = 0;
    return GetFileSize(file, &high);
}

// Mixes `count` bytes that start a copy block with the key. Whole 64-byte rows go a machine word
// at a time; the key is loaded as words in the same byte order, so each byte meets the same key
// byte as it would alone.
void MixWithKey(BYTE* block, std::size_t count) {
    using Word = std::uintptr_t;
    constexpr std::size_t kWordsPerRow = kKeyBytes / sizeof(Word);
    Word key[kWordsPerRow];
    std::memcpy(key, kScrambleKey, kKeyBytes);
    const std::size_t rowBytes = count - count % kKeyBytes;
    for (std::size_t row = 0; row < rowBytes; row += kKeyBytes) {
        for (std::size_t w = 0; w < kWordsPerRow; ++w) {
            BYTE* at = block + row + w * sizeof(Word);
            Word word = 0;
            std::memcpy(&word, at, sizeof word);
            word ^= key[w];
            std::memcpy(at, &word, sizeof word);
        }
    }
    for (std::size_t i = rowBytes; i < count; ++i) {
        block[i] ^= kScrambleKey[i - rowBytes];
    }
}

// The copy loop of ScrambleCopyFile. A stream read delivers a full block except at the end of
// the source or on an error, so every block but the last starts at a multiple of 64 in the file;
// only a short block needs the source asked which of the two it was.
BOOL ScrambleStream(FILE* source, FILE* target, BYTE* block) {
    for (;;) {
        const std::size_t count = std::fread(block, 1, kCopyBlockBytes, source);
        if (count < kCopyBlockBytes && std::ferror(source) != 0) {
            return FALSE;
        }
        MixWithKey(block, count);
        // The count alone is not enough: a C runtime may take the whole block into its buffer,
        // fail to empty the buffer, and still report every byte written.
        std::fwrite(block, 1, count, target);
        if (std::ferror(target) != 0) {
            return FALSE;
        }
        if (count < kCopyBlockBytes) {
            return TRUE;
        }
    }
}

}  // namespace

// Paths come by value, as the interface has them: each function works on its own copy.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
BYTE* ReadWholeFile(WideString path, DWORD& size) {
    size = 0;
    const HANDLE file = OpenForReading(path.c_str(), FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    const DWORD length = LowFileSize(file);
    auto* buffer = length == 0 || length == kTooLargeToTerminate
                       ? nullptr
                       : static_cast<BYTE*>(std::malloc(length + 1));
    if (buffer == nullptr) {
        CloseHandle(file);
        return nullptr;
    }
    // A failed or short read reports what arrived (a failure normally nothing); the zero goes
    // after that, so the buffer is a text whatever happened.
    DWORD read = 0;
    ReadFile(file, buffer, length, &read, nullptr);
    read = read < length ? read : length;
    buffer[read] = 0;
    CloseHandle(file);
    size = read;
    return buffer;
}

// NOLINTNEXTLINE(performance-unnecessary-value-param)
BYTE* ReadFileHead(WideString path, DWORD& size) {
    const DWORD wanted = size;
    size = 0;
    const HANDLE file = OpenForReading(path.c_str(), FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    const DWORD length = LowFileSize(file);
    const DWORD count = wanted < length ? wanted : length;
    auto* buffer = length == 0 ? nullptr : static_cast<BYTE*>(std::malloc(count));
    if (buffer == nullptr) {
        CloseHandle(file);
        return nullptr;
    }
    DWORD read = 0;
    ReadFile(file, buffer, count, &read, nullptr);
    CloseHandle(file);
    size = read < count ? read : count;
    return buffer;
}

// NOLINTNEXTLINE(performance-unnecessary-value-param)
void WriteWholeFile(WideString path, const void* data, DWORD size) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, data, size, &written, nullptr);
    CloseHandle(file);
}

FILETIME& ClearFileTime(FILETIME& time) {
    time.dwLowDateTime = 0;
    time.dwHighDateTime = 0;
    return time;
}

BOOL IsFileTimeZero(const FILETIME& time) {
    return time.dwLowDateTime == 0 && time.dwHighDateTime == 0 ? TRUE : FALSE;
}

void GetFileWriteTime(LPCWSTR path, FILETIME& time) {
    ClearFileTime(time);
    const HANDLE file = OpenForReading(path, FILE_SHARE_READ);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    if (!GetFileTime(file, nullptr, nullptr, &time)) {
        ClearFileTime(time);
    }
    CloseHandle(file);
}

int WalkFolderEntries(LPCWSTR folder, LPCWSTR pattern, LPWSTR prefix, LPWSTR path, DWORD units,
                      FolderEntryVisit visit, void* context) {
    constexpr int kWalkNotStarted = -1;
    const std::size_t folderLength = wcslen(folder);
    if (folderLength == 0 || !CopyTextIfFits(folder, folderLength, prefix, units) ||
        (folder[folderLength - 1] != TEXT('\\') && !AppendTextIfFits(prefix, units, TEXT("\\")))) {
        return kWalkNotStarted;
    }
    wcscpy(path, prefix);
    if (!AppendTextIfFits(path, units, pattern)) {
        return kWalkNotStarted;
    }
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstEntry(path, entry);
    if (search == INVALID_HANDLE_VALUE) {
        return kWalkNotStarted;
    }
    do {
        // An entry whose full path does not fit is visited without one, never with it cut short.
        wcscpy(path, prefix);
        visit(entry, AppendTextIfFits(path, units, entry.cFileName) ? path : nullptr, context);
    } while (FindNextEntry(search, entry));
    return FindClose(search);
}

int ClearReadOnlyInFolder(LPCWSTR folder, LPCWSTR pattern) {
    WCHAR prefix[kFolderArrayUnits];
    WCHAR path[kFolderArrayUnits];
    int count = 0;
    const auto clearReadOnly = [](const WIN32_FIND_DATAW& entry, LPCWSTR entryPath, void* matched) {
        ++*static_cast<int*>(matched);
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 && entryPath != nullptr) {
            SetFileAttributesW(entryPath, entry.dwFileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
        }
    };
    if (WalkFolderEntries(folder, pattern, prefix, path, kFolderArrayUnits, clearReadOnly, &count) <
        0) {
        return 0;
    }
    return count;
}

BOOL ScrambleCopyFile(LPCWSTR source, LPCWSTR target) {
    // Opening the target for writing would empty the source before a byte of it was read. The
    // device's names ignore letter case; other spellings of one file are not recognised.
    if (_wcsicmp(source, target) == 0) {
        return FALSE;
    }
    FILE* input = _wfopen(source, TEXT("rb"));
    if (input == nullptr) {
        return FALSE;
    }
    FILE* output = _wfopen(target, TEXT("wb"));
    if (output == nullptr) {
        std::fclose(input);
        return FALSE;
    }
    auto* block = static_cast<BYTE*>(std::malloc(kCopyBlockBytes));
    BOOL result = block != nullptr ? ScrambleStream(input, output, block) : FALSE;
    std::free(block);
    std::fclose(input);
    // The last blocks may still sit in the stream's buffer: a write that fails as they go out
    // fails the copy too.
    if (std::fclose(output) != 0) {
        result = FALSE;
    }
    return result;
}

WideString MakeTempFileName() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    FILETIME stamp{};
    SystemTimeToFileTime(&now, &stamp);
    WCHAR digits[33];  // any 32-bit value in any radix, with the terminating zero
    WideString name = TEXT("attmp_");
    name += _ultow(stamp.dwLowDateTime, digits, 16);
    name += _ultow(GetCurrentThreadId(), digits, 16);
    name += TEXT(".tmp");
    return name;
}
