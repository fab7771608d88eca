#include "standin/install_package.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "standin/file_bytes.h"
#include "standin/setup_library.h"
#include "support/compat.h"

namespace {

bool SameText(const WideString& a, const WCHAR* b) {
    return _wcsicmp(a.c_str(), b) == 0;
}

// A member's number, its name's three-digit extension; false for a name without one.
bool MemberNumber(const std::string& name, unsigned& number) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot != 4) {
        return false;
    }
    number = 0;
    for (std::size_t k = dot + 1; k < name.size(); ++k) {
        if (name[k] < '0' || name[k] > '9') {
            return false;
        }
        number = number * 10 + static_cast<unsigned>(name[k] - '0');
    }
    return true;
}

// The member whose extension is the three-digit `number`, or null.
const CabinetMember* MemberNumbered(const std::vector<CabinetMember>& members, unsigned number) {
    for (const CabinetMember& member : members) {
        unsigned found = 0;
        if (MemberNumber(member.name, found) && found == number) {
            return &member;
        }
    }
    return nullptr;
}

// The members are told apart by their numbers alone and extracted by the device under their
// names: a name with a folder part would land elsewhere, and a number twice leaves the package
// saying two things.
bool PlainMembers(const std::vector<CabinetMember>& members, std::string& error) {
    for (std::size_t k = 0; k < members.size(); ++k) {
        const std::string& name = members[k].name;
        if (name.find_first_of("\\/:") != std::string::npos ||
            name.find("..") != std::string::npos) {
            error = "the package's member " + name + " has a folder part";
            return false;
        }
        unsigned number = 0;
        if (!MemberNumber(name, number)) {
            continue;
        }
        for (std::size_t other = 0; other < k; ++other) {
            unsigned taken = 0;
            if (MemberNumber(members[other].name, taken) && taken == number) {
                error = "the package's members " + members[other].name + " and " + name +
                        " have one number";
                return false;
            }
        }
    }
    return true;
}

// The cabinet's own size field (offset 8) against the file's size: a cabinet that says it is
// longer or shorter than it is was cut or grown after it was made.
bool WholeCabinet(const WideString& path, std::string& error) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "the package cannot be opened";
        return false;
    }
    unsigned char header[12] = {};
    DWORD read = 0;
    const DWORD size = GetFileSize(file, nullptr);
    const bool known = ReadFile(file, header, sizeof header, &read, nullptr) &&
                       read == sizeof header && size != INVALID_FILE_SIZE;
    CloseHandle(file);
    const DWORD said = static_cast<DWORD>(header[8]) | static_cast<DWORD>(header[9]) << 8 |
                       static_cast<DWORD>(header[10]) << 16 | static_cast<DWORD>(header[11]) << 24;
    if (!known) {
        error = "the package cannot be read";
        return false;
    }
    if (said != size) {
        error = "the cabinet says it is " + std::to_string(said) + " bytes, and the file has " +
                std::to_string(size);
        return false;
    }
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

// Copies one file as its flags say: skipped ones are no failure. A file kept because it is newer
// is kept only when the package does not also ask to overwrite whatever the dates.
bool InstallFile(const ce_package::PlacedFile& file, const CabinetMember& member,
                 std::vector<RecordEntry>& record) {
    const WideString target = Widen(file.path);
    const bool exists = Exists(target);
    const std::uint32_t flags = file.flags;
    const bool keepNewer =
        (flags & ce_package::kFileKeepNewer) != 0 && (flags & ce_package::kFileOverwriteAny) == 0;
    if ((exists && (flags & ce_package::kFileNoOverwrite) != 0) ||
        (!exists && (flags & ce_package::kFileReplaceOnly) != 0) ||
        (exists && keepNewer && NewerThan(target, member))) {
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
    const WCHAR* const rootNames[] = {TEXT("?"), TEXT("HKCR"), TEXT("HKCU"), TEXT("HKLM"),
                                      TEXT("HKU")};
    const WideString shown = rootNames[placed.root <= 4 ? placed.root : 0] + (TEXT("\\") + path);
    const HKEY key = OpenKey(root, path, record);
    if (key == nullptr) {
        ++failed.keys;
        failed.missed.push_back(shown);
    }
    for (const ce_package::PlacedValue& value : placed.values) {
        const WideString name = Widen(value.name);
        std::string data;
        const DWORD type = ValueData(value, data);
        const RecordEntry entry{RecordKind::Value, root, path, name};
        const WideString shownValue =
            shown + TEXT(", ") + (name.empty() ? WideString(TEXT("(default)")) : name);
        if (key == nullptr || !value.placed) {
            ++failed.values;
            failed.missed.push_back(shownValue);
            continue;
        }
        if (value.no_clobber && RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr,
                                                 nullptr) == ERROR_SUCCESS) {
            continue;
        }
        if (RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
            ++failed.values;
            failed.missed.push_back(shownValue);
            continue;
        }
        record.push_back(entry);
    }
    if (key != nullptr) {
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

bool ReadPackage(Package& package, std::string& error) {
    if (!ReadCabinet(package.path.c_str(), package.members, error) ||
        !WholeCabinet(package.path, error) || !PlainMembers(package.members, error)) {
        return false;
    }
    package.instructions = MemberNumbered(package.members, 0);
    if (package.instructions == nullptr) {
        error = "the package has no .000 member: it is a cabinet, but no CE package";
        return false;
    }
    ce_package::Instructions instructions;
    if (!ce_package::Decode(package.instructions->bytes, instructions, error)) {
        error = package.instructions->name + " " + error;
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
    return true;
}

WideString UnsupportedPlatform(const ce_package::Requirements& package) {
    WCHAR platform[64] = {};
    if (package.unsupported.empty() ||
        !SystemParametersInfoW(SPI_GETPLATFORMTYPE, sizeof platform, platform, 0)) {
        return {};
    }
    for (const std::string& name : package.unsupported) {
        if (SameText(Widen(name), platform)) {
            return platform;
        }
    }
    return {};
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
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                return false;  // a file where the folder should be
            }
            continue;
        }
        if (!CreateDirectoryW(folder.c_str(), nullptr)) {
            return false;
        }
        record.push_back({RecordKind::Folder, nullptr, folder, {}});
    }
    return true;
}

namespace {

// Each file the package flags to register that this installation copied, registered once every
// file is there (a control may need another), as the CE installer registers controls after
// copying; one that will not register counts as a file not installed.
void RegisterCopied(const ce_package::Layout& layout, const std::vector<RecordEntry>& record,
                    Counts& failed) {
    for (const ce_package::PlacedFile& file : layout.files) {
        const WideString path = Widen(file.path);
        const bool copied =
            std::any_of(record.begin(), record.end(), [&path](const RecordEntry& entry) {
                return entry.kind == RecordKind::File && entry.path == path;
            });
        if ((file.flags & ce_package::kFileSelfRegister) != 0 && copied &&
            !CallRegistrationEntry(path, TEXT("DllRegisterServer"))) {
            ++failed.files;
            failed.missed.push_back(path + TEXT(" (not registered)"));
        }
    }
}

}  // namespace

Counts InstallContents(const Package& package, std::vector<RecordEntry>& record) {
    Counts failed;
    const ce_package::Layout& layout = package.layout;
    for (const ce_package::PlacedFolder& folder : layout.folders) {
        if (folder.path.empty() || !MakeFolders(Widen(folder.path), record)) {
            ++failed.folders;
            failed.missed.push_back(folder.path.empty()
                                        ? TEXT("directory ") + Widen(std::to_string(folder.id))
                                        : Widen(folder.path));
        }
    }
    // The install folder is the package's directory 1 when it has one: counted once.
    const bool listed =
        std::any_of(layout.folders.begin(), layout.folders.end(), [&](const auto& folder) {
            return _wcsicmp(Widen(folder.path).c_str(), package.installDir.c_str()) == 0;
        });
    if (!listed && !MakeFolders(package.installDir, record)) {
        ++failed.folders;
        failed.missed.push_back(package.installDir);
    }
    for (std::size_t k = 0; k < layout.files.size(); ++k) {
        const ce_package::PlacedFile& file = layout.files[k];
        if (file.path.empty() || !InstallFile(file, *package.fileBytes[k], record)) {
            const WideString shown = file.path.empty() ? Widen(file.name) : Widen(file.path);
            ++failed.files;
            failed.missed.push_back(shown);
            if ((file.flags & ce_package::kFileWarnIfSkipped) != 0) {
                failed.warned.push_back(shown);
            }
            failed.unskippable = failed.unskippable || (file.flags & ce_package::kFileNoSkip) != 0;
        }
    }
    RegisterCopied(layout, record, failed);
    for (const ce_package::PlacedKey& key : layout.keys) {
        InstallValues(key, record, failed);
    }
    for (const ce_package::PlacedLink& link : layout.links) {
        if (!InstallLink(link, record)) {
            ++failed.links;
            failed.missed.push_back(link.path.empty() ? TEXT("a shortcut") : Widen(link.path));
        }
    }
    return failed;
}
