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
bool InstallFile(const ce_package::PlacedFile& file, const CabinetMember& member,
                 std::vector<RecordEntry>& record) {
    const WideString target = Widen(file.path);
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

// Opens the key, making it part by part and recording each part made. Null on failure.
HKEY OpenKey(HKEY root, const WideString& path, std::vector<RecordEntry>& record) {
    if (root == nullptr) {
        return nullptr;
    }
    for (std::size_t end = 0; end != WideString::npos;) {
        end = path.find(TEXT('\\'), end + 1);
        const WideString part = path.substr(0, end);
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExW(root, part.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition) != ERROR_SUCCESS) {
            return nullptr;
        }
        RegCloseKey(key);
        if (disposition == REG_CREATED_NEW_KEY) {
            record.push_back({RecordKind::Key, root, part, {}});
        }
    }
    HKEY key = nullptr;
    return RegOpenKeyExW(root, path.c_str(), 0, kRegistryAccess, &key) == ERROR_SUCCESS ? key
                                                                                        : nullptr;
}

// A value's data as the registry stores it: 8-bit texts become UTF-16.
DWORD ValueData(const ce_package::PlacedValue& value, std::string& data) {
    if (value.type == ce_package::kTypeBinary) {
        data = value.data;
        return REG_BINARY;
    }
    if (value.type == ce_package::kTypeDword) {
        data = value.data;
        return REG_DWORD;
    }
    // Little-endian, as every Windows CE processor and the registry's own bytes are.
    data.clear();
    for (const WCHAR unit : Widen(value.data)) {
        data += static_cast<char>(unit & 0xFF);
        data += static_cast<char>(unit >> 8);
    }
    return value.type == ce_package::kTypeString ? REG_SZ : REG_MULTI_SZ;
}

void InstallValues(const ce_package::PlacedKey& placed, std::vector<RecordEntry>& record,
                   Counts& failed) {
    const HKEY root = RootOf(placed.root);
    const WideString path = Widen(placed.path);
    const HKEY key = OpenKey(root, path, record);
    for (const ce_package::PlacedValue& value : placed.values) {
        const WideString name = Widen(value.name);
        std::string data;
        const DWORD type = ValueData(value, data);
        if (key == nullptr || !value.placed) {
            ++failed.values;
            continue;
        }
        if (value.no_clobber && RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr,
                                                 nullptr) == ERROR_SUCCESS) {
            continue;
        }
        if (RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
            ++failed.values;
            continue;
        }
        record.push_back({RecordKind::Value, root, path, name});
    }
    if (key == nullptr) {
        ++failed.keys;
    } else {
        RegCloseKey(key);
    }
}

// A CE shortcut: the count of what follows the "#", the "#", and the target's command line.
bool InstallLink(const ce_package::PlacedLink& link, std::vector<RecordEntry>& record) {
    if (link.path.empty() || link.target.empty()) {
        return false;
    }
    const WideString path = Widen(link.path);
    const std::string& target = link.target;
    const std::string command =
        target.find(' ') == std::string::npos ? target : "\"" + target + "\"";
    if (!MakeFolders(path.substr(0, path.rfind(TEXT('\\'))), record) ||
        !WriteFileBytes(path.c_str(), std::to_string(command.size()) + "#" + command)) {
        return false;
    }
    record.push_back({RecordKind::Link, nullptr, path, {}});
    return true;
}

}  // namespace

WideString Widen(const std::string& text) {
    WideString wide;
    for (const char c : text) {
        wide += static_cast<WCHAR>(static_cast<unsigned char>(c));
    }
    return wide;
}

std::string Narrow(const WideString& text) {
    std::string narrow;
    for (const WCHAR c : text) {
        narrow += c < 0x100 ? static_cast<char>(c) : '?';
    }
    return narrow;
}

bool ReadPackage(Package& package, std::string& error) {
    if (!ReadCabinet(package.path.c_str(), package.members, error)) {
        return false;
    }
    const CabinetMember* instructionsMember = MemberNumbered(package.members, 0);
    if (instructionsMember == nullptr) {
        error = "the package has no .000 member: it is a cabinet, but no CE package";
        return false;
    }
    ce_package::Instructions instructions;
    if (!ce_package::Decode(instructionsMember->bytes, instructions, error)) {
        error = instructionsMember->name + " " + error;
        return false;
    }
    if (!ce_package::Resolve(instructions, package.layout, error)) {
        return false;
    }
    const ce_package::Layout& layout = package.layout;
    package.fileBytes.clear();
    for (const ce_package::PlacedFile& file : layout.files) {
        const CabinetMember* member = MemberNumbered(package.members, file.member);
        if (member == nullptr) {
            error = "the package's file " + file.name + " has no member ." +
                    std::to_string(file.member);
            return false;
        }
        package.fileBytes.push_back(member);
    }
    package.setupLibrary = MemberNumbered(package.members, ce_package::kSetupLibraryNumber);
    package.name = Widen(layout.provider + " " + layout.app_name);
    package.installDir = Widen(layout.install_dir);
    return true;
}

bool SuitsDevice(const ce_package::Requirements& package, std::string& error) {
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
    const auto isProgram = [](const ce_package::PlacedFile& file) {
        const std::size_t dot = file.name.rfind('.');
        const WideString extension =
            dot == std::string::npos ? WideString() : Widen(file.name.substr(dot));
        return SameText(extension, TEXT(".exe")) || SameText(extension, TEXT(".dll"));
    };
    return package.setupLibrary != nullptr ||
           std::any_of(package.layout.files.begin(), package.layout.files.end(), isProgram);
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
    const ce_package::Layout& layout = package.layout;
    for (const ce_package::PlacedFolder& folder : layout.folders) {
        if (folder.path.empty() || !MakeFolders(Widen(folder.path), record)) {
            ++failed.folders;
        }
    }
    if (!MakeFolders(package.installDir, record)) {
        ++failed.folders;
    }
    for (std::size_t k = 0; k < layout.files.size(); ++k) {
        const ce_package::PlacedFile& file = layout.files[k];
        if (file.path.empty() || !InstallFile(file, *package.fileBytes[k], record)) {
            ++failed.files;
        }
    }
    for (const ce_package::PlacedKey& key : layout.keys) {
        InstallValues(key, record, failed);
    }
    for (const ce_package::PlacedLink& link : layout.links) {
        if (!InstallLink(link, record)) {
            ++failed.links;
        }
    }
    return failed;
}
