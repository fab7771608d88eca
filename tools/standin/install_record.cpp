#include "standin/install_record.h"

#include <cstring>
#include <string>

#include "standin/cab_installer.h"
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

bool Exists(const WideString& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SetText(HKEY key, const WCHAR* name, const WideString& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const WCHAR* name, DWORD number) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                          sizeof number) == ERROR_SUCCESS;
}

// A value that is not there reads as 0 or ""; one that cannot be read makes `read` false.
DWORD GetNumber(HKEY key, const WCHAR* name, bool& read) {
    DWORD number = 0;
    DWORD size = sizeof number;
    DWORD type = 0;
    const LONG status =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
    read = read && (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
    return status == ERROR_SUCCESS && type == REG_DWORD ? number : 0;
}

WideString GetText(HKEY key, const WCHAR* name, bool& read) {
    WCHAR text[MAX_PATH] = {};
    DWORD size = sizeof text - sizeof(WCHAR);
    DWORD type = 0;
    const LONG status =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    read = read && (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
    return status == ERROR_SUCCESS && type == REG_SZ ? WideString(text) : WideString();
}

// The Apps key's values, in the order the device's Control Panel header gives them.
const WCHAR* const kListingValues[] = {TEXT("Instl"),     TEXT("InstlDir"), TEXT("InstlDirCnt"),
                                       TEXT("IsvFile"),   TEXT("CmdFile"),  TEXT("CabFile"),
                                       TEXT("InstallDir")};

bool WriteListing(const WideString& name, const Listing& listing) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, AppsKeyPath(name).c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    // Instl last: until it is there, the application is not listed as installed.
    const bool written =
        SetText(key, TEXT("InstlDir"), listing.installDir) &&
        SetNumber(key, TEXT("InstlDirCnt"), listing.folders) &&
        (listing.library.empty() || SetText(key, TEXT("IsvFile"), listing.library)) &&
        SetText(key, TEXT("CmdFile"), listing.instructions) &&
        SetText(key, TEXT("CabFile"), listing.package) &&
        // Some of the device's sources give the install folder under this name as well.
        SetText(key, TEXT("InstallDir"), listing.installDir) && SetNumber(key, TEXT("Instl"), 1);
    RegCloseKey(key);
    return written;
}

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

WideString AppsKeyPath(const WideString& name) {
    return WideString(kAppsKey) + TEXT("\\") + name;
}

WideString RemovalRecordPath(const WideString& name) {
    return TEXT("\\Windows\\") + name + TEXT(".unload");
}

WideString KeptLibraryPath(const WideString& name) {
    return WideString(kRecordFolder) + TEXT("\\") + name + TEXT(".dll");
}

WideString KeptInstructionsPath(const WideString& name) {
    return WideString(kRecordFolder) + TEXT("\\") + name + TEXT(".dat");
}

Listed ReadListing(const WideString& name, Listing& listing) {
    HKEY key = nullptr;
    const LONG opened =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, AppsKeyPath(name).c_str(), 0, kRegistryAccess, &key);
    if (opened != ERROR_SUCCESS) {
        return opened == ERROR_FILE_NOT_FOUND ? Listed::kNo : Listed::kUnreadable;
    }
    bool read = true;
    const bool installed = GetNumber(key, TEXT("Instl"), read) != 0;
    listing.installDir = GetText(key, TEXT("InstlDir"), read);
    listing.library = GetText(key, TEXT("IsvFile"), read);
    listing.instructions = GetText(key, TEXT("CmdFile"), read);
    listing.package = GetText(key, TEXT("CabFile"), read);
    listing.folders = GetNumber(key, TEXT("InstlDirCnt"), read);
    RegCloseKey(key);
    if (!read) {
        return Listed::kUnreadable;
    }
    return installed ? Listed::kYes : Listed::kNo;
}

bool WriteRecords(const WideString& name, const std::string* library,
                  const std::string& instructions, const Listing& listing,
                  const std::vector<RecordEntry>& entries) {
    // \Windows\AppMgr is the device's own folder: made when missing, never recorded.
    if (!Exists(kRecordFolder) && !CreateDirectoryW(kRecordFolder, nullptr)) {
        return false;
    }
    Listing written = listing;
    written.library = library == nullptr ? WideString() : KeptLibraryPath(name);
    written.instructions = KeptInstructionsPath(name);
    written.folders = 0;
    for (const RecordEntry& entry : entries) {
        written.folders += entry.kind == RecordKind::Folder ? 1 : 0;
    }
    return (library == nullptr || WriteFileBytes(written.library.c_str(), *library)) &&
           WriteFileBytes(written.instructions.c_str(), instructions) &&
           WriteRecord(RemovalRecordPath(name), entries) && WriteListing(name, written);
}

bool DeleteRecords(const WideString& name) {
    bool deleted = true;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AppsKeyPath(name).c_str(), 0, kRegistryAccess, &key) ==
        ERROR_SUCCESS) {
        // Instl first: an application half unlisted is no longer offered for removal.
        for (const WCHAR* value : kListingValues) {
            RegDeleteValueW(key, value);
        }
        RegCloseKey(key);
    }
    for (const WideString& path :
         {RemovalRecordPath(name), KeptLibraryPath(name), KeptInstructionsPath(name)}) {
        deleted = (DeleteFileW(path.c_str()) || !Exists(path)) && deleted;
    }
    return RegDeleteKeyW(HKEY_LOCAL_MACHINE, AppsKeyPath(name).c_str()) == ERROR_SUCCESS && deleted;
}

WideString Described(const RecordEntry& entry) {
    if (entry.kind != RecordKind::Key && entry.kind != RecordKind::Value) {
        return entry.path;
    }
    const WCHAR* const roots[] = {TEXT("HKCR"), TEXT("HKCU"), TEXT("HKLM")};
    const WCHAR root = RootNumber(entry.root);
    WideString described = root == TEXT('0') ? WideString(TEXT("?")) : roots[root - TEXT('1')];
    described += TEXT("\\") + entry.path;
    if (entry.kind == RecordKind::Value) {
        described += TEXT(", ") + (entry.name.empty() ? WideString(TEXT("(default)")) : entry.name);
    }
    return described;
}

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

std::size_t RemoveRecorded(const std::vector<RecordEntry>& entries, std::vector<RecordEntry>& left,
                           std::vector<RecordEntry>* failures) {
    left.clear();
    std::size_t failed = 0;
    for (std::size_t k = entries.size(); k-- > 0;) {
        const Removal removal = RemoveOne(entries[k]);
        if (removal != Removal::Gone) {
            left.insert(left.begin(), entries[k]);
        }
        if (removal == Removal::Failed && failures != nullptr) {
            failures->insert(failures->begin(), entries[k]);
        }
        failed += removal == Removal::Failed ? 1 : 0;
    }
    return failed;
}
