#include "standin/install_record.h"

#include <cstring>
#include <string>

#include "standin/file_bytes.h"

#include "support/compat.h"

namespace {

// The registry roots a record names, by the numbers a package's hives use.
const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
const WCHAR kKinds[] = TEXT("DFKVL");  // in RecordKind's order

WCHAR RootNumber(HKEY root) {
    for (std::size_t k = 0; k < 3; ++k) {
        if (kRoots[k] == root) {
            return static_cast<WCHAR>(TEXT('1') + k);
        }
    }
    return TEXT('0');
}

bool KeyExists(HKEY root, const WideString& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, kRegistryAccess, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool KeyIsEmpty(HKEY root, const WideString& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, kRegistryAccess, &key) != ERROR_SUCCESS) {
        return false;
    }
    WCHAR name[256];
    DWORD length = 256;
    const bool noKeys = RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                        ERROR_NO_MORE_ITEMS;
    length = 256;
    const bool noValues = RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr,
                                        nullptr) == ERROR_NO_MORE_ITEMS;
    RegCloseKey(key);
    return noKeys && noValues;
}

void DeleteValue(HKEY root, const WideString& path, const WideString& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, kRegistryAccess, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name.c_str());
        RegCloseKey(key);
    }
}

bool ValueExists(HKEY root, const WideString& path, const WideString& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, kRegistryAccess, &key) != ERROR_SUCCESS) {
        return false;
    }
    const bool exists =
        RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return exists;
}

bool FolderIsEmpty(const WideString& path) {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstEntry((path + TEXT("\\*.*")).c_str(), entry);
    if (search == INVALID_HANDLE_VALUE) {
        return true;
    }
    FindClose(search);
    return false;
}

enum class Removal { Gone, Kept, Failed };

// Removes the entry: gone, kept as it should be (a folder or key that holds what the package
// did not put there), or failed.
Removal RemoveOne(const RecordEntry& entry) {
    const auto outcome = [](bool gone, bool holdsOthers) {
        return gone ? Removal::Gone : holdsOthers ? Removal::Kept : Removal::Failed;
    };
    switch (entry.kind) {
        case RecordKind::Folder:
            RemoveDirectoryW(entry.path.c_str());
            return outcome(GetFileAttributesW(entry.path.c_str()) == INVALID_FILE_ATTRIBUTES,
                           !FolderIsEmpty(entry.path));
        case RecordKind::File:
        case RecordKind::Link:
            DeleteFileW(entry.path.c_str());
            return outcome(GetFileAttributesW(entry.path.c_str()) == INVALID_FILE_ATTRIBUTES,
                           false);
        case RecordKind::Key:
            // CE's RegDeleteKeyW takes a key's contents with it; only an empty one goes.
            if (KeyIsEmpty(entry.root, entry.path)) {
                RegDeleteKeyW(entry.root, entry.path.c_str());
            }
            return outcome(!KeyExists(entry.root, entry.path), !KeyIsEmpty(entry.root, entry.path));
        case RecordKind::Value:
            DeleteValue(entry.root, entry.path, entry.name);
            return outcome(!ValueExists(entry.root, entry.path, entry.name), false);
    }
    return Removal::Failed;
}

}  // namespace

bool WriteRecord(const WideString& path, const std::vector<RecordEntry>& entries) {
    WideString text;
    for (const RecordEntry& entry : entries) {
        text += kKinds[static_cast<int>(entry.kind)];
        text += RootNumber(entry.root);
        text += TEXT('\t') + entry.path + TEXT('\t') + entry.name + TEXT('\n');
    }
    return WriteFileBytes(path.c_str(), text.data(), text.size() * sizeof(WCHAR));
}

bool ReadRecord(const WideString& path, std::vector<RecordEntry>& entries) {
    entries.clear();
    std::string bytes;
    // An odd byte count is no UTF-16 text: a damaged record.
    bool read = ReadFileBytes(path.c_str(), bytes) && bytes.size() % sizeof(WCHAR) == 0;
    WideString text(bytes.size() / sizeof(WCHAR), TEXT('\0'));
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(WCHAR));
    for (std::size_t start = 0; read && start < text.size();) {
        // Kind, root, a tab, the path, a tab, the name, the line's end.
        const std::size_t end = text.find(TEXT('\n'), start);
        const std::size_t tab = end == WideString::npos ? end : text.find(TEXT('\t'), start + 3);
        const std::size_t kind = WideString(kKinds).find(text[start]);
        const std::size_t root =
            end == WideString::npos ? 9 : static_cast<std::size_t>(text[start + 1] - TEXT('0'));
        if (end == WideString::npos || end < start + 4 || text[start + 2] != TEXT('\t') ||
            tab == WideString::npos || tab > end || kind == WideString::npos || root > 3) {
            read = false;
            break;
        }
        RecordEntry entry;
        entry.kind = static_cast<RecordKind>(kind);
        entry.root = root == 0 ? nullptr : kRoots[root - 1];
        entry.path = text.substr(start + 3, tab - start - 3);
        entry.name = text.substr(tab + 1, end - tab - 1);
        entries.push_back(entry);
        start = end + 1;
    }
    if (!read) {
        entries.clear();
    }
    return read;
}

std::size_t RemoveRecorded(const std::vector<RecordEntry>& entries,
                           std::vector<RecordEntry>& left) {
    left.clear();
    std::size_t failed = 0;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        const Removal removal = RemoveOne(*entry);
        if (removal != Removal::Gone) {
            left.insert(left.begin(), *entry);
        }
        failed += removal == Removal::Failed ? 1 : 0;
    }
    return failed;
}
