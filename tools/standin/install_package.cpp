#include "standin/install_package.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "standin/file_bytes.h"
#include "support/compat.h"

namespace {

bool SameText(const WideString& a, const WCHAR* b) {
    return _wcsicmp(a.c_str(), b) == 0;
}

// The %CEn% folder `number` names, or empty when CE 3.0 has none.
WideString CeFolderPath(unsigned number) {
    const char* folder = ce_package::CeFolder(number);
    return folder == nullptr ? WideString() : Widen(folder);
}

// The folder a "%CEn%" names, or empty when CE 3.0 has no such folder.
WideString CeFolderNamed(const WideString& name) {
    unsigned number = 0;
    return ce_package::ParseCeFolder("%" + Narrow(name) + "%", number) ? CeFolderPath(number)
                                                                       : WideString();
}

// Replaces every %CEn% and %InstallDir% in `text`; false when it names a folder CE lacks.
bool ExpandFolders(const WideString& text, const WideString& installDir, WideString& expanded) {
    expanded.clear();
    std::size_t at = 0;
    for (std::size_t open; (open = text.find(TEXT('%'), at)) != WideString::npos;) {
        const std::size_t close = text.find(TEXT('%'), open + 1);
        if (close == WideString::npos) {
            break;
        }
        expanded += text.substr(at, open - at);
        const WideString name = text.substr(open + 1, close - open - 1);
        const WideString folder = CeFolderNamed(name);
        if (SameText(name, TEXT("InstallDir"))) {
            expanded += installDir;
        } else if (!folder.empty()) {
            expanded += folder;
        } else {
            return false;
        }
        at = close + 1;
    }
    expanded += text.substr(at);
    return true;
}

// The member whose extension is the three-digit `number`, or null.
const CabinetMember* MemberNumbered(const std::vector<CabinetMember>& members, unsigned number) {
    char extension[8];
    std::snprintf(extension, sizeof extension, ".%03u", number);
    for (const CabinetMember& member : members) {
        const std::size_t dot = member.name.rfind('.');
        if (dot != std::string::npos && member.name.substr(dot) == extension) {
            return &member;
        }
    }
    return nullptr;
}

// A `.000` directory's path on the device.
bool DirectoryPath(const Package& package, std::uint16_t id, WideString& path, std::string& error) {
    if (id == 0) {
        path = package.installDir;
        return true;
    }
    const ce_package::Directory* directory = ce_package::FindDirectory(package.instructions, id);
    if (directory == nullptr) {
        error = "directory " + std::to_string(id) + " is not in the package";
        return false;
    }
    const WideString spelt = Widen(ce_package::JoinParts(package.instructions, directory->parts));
    WideString expanded;
    if (!ExpandFolders(spelt, package.installDir, expanded)) {
        error = "the folder " + Narrow(spelt) + " is none a Pocket PC has";
        return false;
    }
    path = !expanded.empty() && expanded[0] == TEXT('\\') ? expanded : TEXT("\\") + expanded;
    return true;
}

// Whether the file at `path` was written after the member's date.
bool NewerThan(const WideString& path, const CabinetMember& member) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    FILETIME written{};
    const bool known =
        file != INVALID_HANDLE_VALUE && GetFileTime(file, nullptr, nullptr, &written);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    SYSTEMTIME date{};
    date.wYear = static_cast<WORD>(1980 + (member.dosDate >> 9));
    date.wMonth = static_cast<WORD>((member.dosDate >> 5) & 15);
    date.wDay = static_cast<WORD>(member.dosDate & 31);
    date.wHour = static_cast<WORD>(member.dosTime >> 11);
    date.wMinute = static_cast<WORD>((member.dosTime >> 5) & 63);
    date.wSecond = static_cast<WORD>((member.dosTime & 31) * 2);
    FILETIME packed{};
    if (!known || !SystemTimeToFileTime(&date, &packed)) {
        return false;
    }
    return written.dwHighDateTime > packed.dwHighDateTime ||
           (written.dwHighDateTime == packed.dwHighDateTime &&
            written.dwLowDateTime > packed.dwLowDateTime);
}

// Copies one file as its flags say: skipped ones are no failure.
bool InstallFile(const Package& package, const ce_package::File& file, const WideString& folder,
                 std::vector<RecordEntry>& record) {
    const WideString target = folder + TEXT("\\") + Widen(file.name);
    const CabinetMember& member = *MemberNumbered(package.members, file.id);
    const bool exists = Exists(target);
    if ((exists && (file.flags & ce_package::kFileNoOverwrite) != 0) ||
        (!exists && (file.flags & ce_package::kFileReplaceOnly) != 0) ||
        (exists && (file.flags & ce_package::kFileKeepNewer) != 0 && NewerThan(target, member))) {
        return true;
    }
    if (!WriteFileBytes(target.c_str(), member.bytes)) {
        return false;
    }
    record.push_back({RecordKind::File, nullptr, target, {}});
    return true;
}

HKEY RootOf(std::uint16_t root) {
    switch (root) {
        case ce_package::kHkcr:
            return HKEY_CLASSES_ROOT;
        case ce_package::kHkcu:
            return HKEY_CURRENT_USER;
        case ce_package::kHklm:
            return HKEY_LOCAL_MACHINE;
        default:
            return nullptr;  // HKEY_USERS: a Pocket PC has none
    }
}

// Opens the hive's key, making it part by part and recording each part made. Null on failure.
HKEY OpenHive(const ce_package::Instructions& instructions, const ce_package::Hive& hive,
              WideString& path, std::vector<RecordEntry>& record) {
    const HKEY root = RootOf(hive.root);
    if (root == nullptr) {
        return nullptr;
    }
    path.clear();
    for (const std::uint16_t part : hive.parts) {
        path += (path.empty() ? TEXT("") : TEXT("\\")) +
                Widen(ce_package::FindText(instructions, part)->text);
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition) != ERROR_SUCCESS) {
            return nullptr;
        }
        RegCloseKey(key);
        if (disposition == REG_CREATED_NEW_KEY) {
            record.push_back({RecordKind::Key, root, path, {}});
        }
    }
    HKEY key = nullptr;
    return RegOpenKeyExW(root, path.c_str(), 0, kRegistryAccess, &key) == ERROR_SUCCESS ? key
                                                                                        : nullptr;
}

// A value's data as the registry stores it: 8-bit texts become UTF-16.
bool ValueData(const Package& package, const ce_package::Value& value, DWORD& type,
               std::string& data) {
    const std::uint32_t kind = value.type & ~ce_package::kTypeNoClobber;
    if (kind == ce_package::kTypeBinary) {
        type = REG_BINARY;
        data = value.data;
        return true;
    }
    if (kind == ce_package::kTypeDword) {
        type = REG_DWORD;
        data = value.data;
        return data.size() == 4;
    }
    if (kind != ce_package::kTypeString && kind != ce_package::kTypeMultiString) {
        return false;
    }
    type = kind == ce_package::kTypeString ? REG_SZ : REG_MULTI_SZ;
    WideString text = Widen(value.data);
    if (value.substitute) {
        WideString expanded;
        if (!ExpandFolders(text, package.installDir, expanded)) {
            return false;
        }
        text = expanded;
    }
    // Little-endian, as every Windows CE processor and the registry's own bytes are.
    data.clear();
    for (const WCHAR unit : text) {
        data += static_cast<char>(unit & 0xFF);
        data += static_cast<char>(unit >> 8);
    }
    return true;
}

void InstallValues(const Package& package, std::vector<RecordEntry>& record, Counts& failed) {
    const ce_package::Instructions& instructions = package.instructions;
    for (const ce_package::Hive& hive : instructions.hives) {
        WideString path;
        const HKEY key = OpenHive(instructions, hive, path, record);
        for (const ce_package::Value& value : instructions.values) {
            if (value.hive != hive.id) {
                continue;
            }
            const WideString name = Widen(value.name);
            DWORD type = 0;
            std::string data;
            if (key == nullptr || !ValueData(package, value, type, data)) {
                ++failed.values;
                continue;
            }
            if ((value.type & ce_package::kTypeNoClobber) != 0 &&
                RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS) {
                continue;
            }
            if (RegSetValueExW(key, name.c_str(), 0, type,
                               reinterpret_cast<const BYTE*>(data.data()),
                               static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
                ++failed.values;
                continue;
            }
            record.push_back({RecordKind::Value, RootOf(hive.root), path, name});
        }
        if (key == nullptr) {
            ++failed.keys;
        } else {
            RegCloseKey(key);
        }
    }
}

// A CE shortcut: the count of what follows the "#", the "#", and the target's command line.
bool InstallLink(const Package& package, const ce_package::Link& link,
                 std::vector<RecordEntry>& record) {
    WideString base;
    WideString target;
    std::string ignored;
    if (link.base == 0) {
        base = package.installDir;
    } else if (!CeFolderPath(link.base).empty()) {
        base = CeFolderPath(link.base);
    } else {
        return false;
    }
    if (link.kind == ce_package::kLinkToFile) {
        const ce_package::File* file = ce_package::FindFile(package.instructions, link.target);
        WideString folder;
        if (file == nullptr || !DirectoryPath(package, file->directory, folder, ignored)) {
            return false;
        }
        target = folder + TEXT("\\") + Widen(file->name);
    } else if (!DirectoryPath(package, link.target, target, ignored)) {
        return false;
    }
    const WideString path = base + TEXT("\\") +
                            Widen(ce_package::JoinParts(package.instructions, link.parts)) +
                            TEXT(".lnk");
    const WideString command =
        target.find(TEXT(' ')) == WideString::npos ? target : TEXT("\"") + target + TEXT("\"");
    if (!MakeFolders(path.substr(0, path.rfind(TEXT('\\'))), record) ||
        !WriteFileBytes(path.c_str(), std::to_string(command.size()) + "#" + Narrow(command))) {
        return false;
    }
    record.push_back({RecordKind::Link, nullptr, path, {}});
    return true;
}

}  // namespace

bool ReadPackage(Package& package, std::string& error) {
    if (!ReadCabinet(package.path.c_str(), package.members, error)) {
        return false;
    }
    const CabinetMember* instructions = MemberNumbered(package.members, 0);
    if (instructions == nullptr) {
        error = "the package has no .000 member: it is a cabinet, but no CE package";
        return false;
    }
    if (!ce_package::Decode(instructions->bytes, package.instructions, error)) {
        error = instructions->name + " " + error;
        return false;
    }
    const ce_package::Instructions& read = package.instructions;
    for (const ce_package::File& file : read.files) {
        if (MemberNumbered(package.members, file.id) == nullptr) {
            error =
                "the package's file " + file.name + " has no member ." + std::to_string(file.id);
            return false;
        }
    }
    package.setupLibrary = MemberNumbered(package.members, ce_package::kSetupLibraryNumber);
    package.name = Widen(read.provider + " " + read.app_name);
    // The install folder is the package's directory 1, as cabwiz writes it; one without it goes
    // where cabwiz's own default would put it.
    package.installDir = TEXT("\\Program Files\\") + Widen(read.app_name);
    return ce_package::FindDirectory(read, 1) == nullptr ||
           DirectoryPath(package, 1, package.installDir, error);
}

bool SuitsDevice(const ce_package::Instructions& package, std::string& error) {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    if (package.processor != ce_package::kProcessorAny &&
        package.processor != system.dwProcessorType) {
        error = "the package is for processor " + std::to_string(package.processor) +
                ", and this device's is " + std::to_string(system.dwProcessorType);
        return false;
    }
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(&version)) {
        error = "the device does not say which version of Windows CE it runs";
        return false;
    }
    const auto below = [](DWORD major, DWORD minor, std::uint32_t limitMajor,
                          std::uint32_t limitMinor) {
        return major < limitMajor || (major == limitMajor && minor < limitMinor);
    };
    const std::string running =
        std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion);
    if ((package.min_major != 0 || package.min_minor != 0) &&
        below(version.dwMajorVersion, version.dwMinorVersion, package.min_major,
              package.min_minor)) {
        error = "the package needs Windows CE " + std::to_string(package.min_major) + "." +
                std::to_string(package.min_minor) + " or later, and this device runs " + running;
        return false;
    }
    if ((package.max_major != 0 || package.max_minor != 0) &&
        below(package.max_major, package.max_minor, version.dwMajorVersion,
              version.dwMinorVersion)) {
        error = "the package is for Windows CE up to " + std::to_string(package.max_major) + "." +
                std::to_string(package.max_minor) + ", and this device runs " + running;
        return false;
    }
    if ((package.min_build != 0 && version.dwBuildNumber < package.min_build) ||
        (package.max_build != 0 && version.dwBuildNumber > package.max_build)) {
        error = "the package is not for build " + std::to_string(version.dwBuildNumber);
        return false;
    }
    WCHAR platform[64] = {};
    if (!package.unsupported.empty() &&
        SystemParametersInfoW(SPI_GETPLATFORMTYPE, sizeof platform, platform, 0)) {
        for (const std::string& name : package.unsupported) {
            if (SameText(Widen(name), platform)) {
                error = "the package is not for the " + name + " platform";
                return false;
            }
        }
    }
    return true;
}

bool CarriesPrograms(const Package& package) {
    const auto isProgram = [](const ce_package::File& file) {
        const std::size_t dot = file.name.rfind('.');
        const WideString extension =
            dot == std::string::npos ? WideString() : Widen(file.name.substr(dot));
        return SameText(extension, TEXT(".exe")) || SameText(extension, TEXT(".dll"));
    };
    return package.setupLibrary != nullptr ||
           std::any_of(package.instructions.files.begin(), package.instructions.files.end(),
                       isProgram);
}

bool Exists(const WideString& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolders(const WideString& path, std::vector<RecordEntry>& record) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != TEXT('\\')) {
            continue;
        }
        const WideString folder = path.substr(0, at);
        if (Exists(folder)) {
            continue;
        }
        if (!CreateDirectoryW(folder.c_str(), nullptr)) {
            return false;
        }
        record.push_back({RecordKind::Folder, nullptr, folder, {}});
    }
    return true;
}

Counts InstallContents(const Package& package, std::vector<RecordEntry>& record) {
    Counts failed;
    const ce_package::Instructions& instructions = package.instructions;
    std::string ignored;
    std::vector<WideString> folders(instructions.directories.size());
    for (std::size_t k = 0; k < folders.size(); ++k) {
        if (!DirectoryPath(package, instructions.directories[k].id, folders[k], ignored) ||
            !MakeFolders(folders[k], record)) {
            ++failed.folders;
        }
    }
    if (!MakeFolders(package.installDir, record)) {
        ++failed.folders;
    }
    for (const ce_package::File& file : instructions.files) {
        WideString folder;
        if (!DirectoryPath(package, file.directory, folder, ignored) ||
            !InstallFile(package, file, folder, record)) {
            ++failed.files;
        }
    }
    InstallValues(package, record, failed);
    for (const ce_package::Link& link : instructions.links) {
        if (!InstallLink(package, link, record)) {
            ++failed.links;
        }
    }
    return failed;
}
