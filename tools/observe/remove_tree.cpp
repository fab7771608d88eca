#include "observe/remove_tree.h"

#include <windows.h>

#include "support/compat.h"

void RemoveTree(const WideString& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstEntry((path + L"\\*").c_str(), entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            RemoveTree(path + L"\\" + entry.cFileName);
        } while (FindNextEntry(search, entry));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}
