#include "standin/file_bytes.h"

bool ReadFileBytes(const WCHAR* path, std::string& bytes) {
    bytes.clear();
    const HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    char buffer[4096];
    DWORD count = 0;
    bool read = true;
    while ((read = ReadFile(file, buffer, sizeof buffer, &count, nullptr) != FALSE) && count > 0) {
        bytes.append(buffer, count);
    }
    CloseHandle(file);
    if (!read) {
        bytes.clear();
    }
    return read;
}

bool WriteFileBytes(const WCHAR* path, const void* data, std::size_t size) {
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const auto length = static_cast<DWORD>(size);
    DWORD written = 0;
    const bool wrote = WriteFile(file, data, length, &written, nullptr) && written == length;
    CloseHandle(file);
    if (!wrote) {
        DeleteFileW(path);
    }
    return wrote;
}
