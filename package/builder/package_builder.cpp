#include "builder/package_builder.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "builder/inf.h"

namespace package_builder {
namespace {

using ce_package::Instructions;

// The %CEn% folders a CE 3.0 Pocket PC defines.

bool ReadWhole(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    bytes = text.str();
    return !in.bad();
}

bool IsRegularFile(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A decimal or 0x-hexadecimal number no greater than `most`.
bool ParseNumber(const std::string& text, unsigned long long most, unsigned long long& value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 16) {
        return false;
    }
    value = 0;
    for (const char c : digits) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        value = value * (hex ? 16 : 10) + digit;
        if (value > most) {
            return false;
        }
    }
    return true;
}

std::string Hex(unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llX", value);
    return text;
}

// A source file as the .inf names it (the member is named after it) and where it is.
struct Source {
    std::string name;
    std::string path;
};

// How a %InstallDir% in a text is meant: expanded to the .inf's install folder, or left for the
// device, which knows the folder the user chose.
enum class InstallDirIs { kExpanded, kLeft };

struct Builder {
    const Options& options;
    std::string* error;
    Inf inf;
    std::map<std::string, std::pair<std::string, int>> strings;  // upper name: text, line
    std::map<std::string, std::string> disks;                    // disk id: its path
    std::map<std::string, const InfLine*> sources;               // upper file name: its line
    Instructions out;
    std::vector<Source> numbered;  // the files, by member number from 1
    Source setup_library;          // its path is empty when there is none

    bool Fail(int line, const std::string& what) {
        *error = options.inf + ":" + std::to_string(line) + ": " + what;
        return false;
    }

    bool FailWhole(const std::string& what) {
        *error = options.inf + ": " + what;
        return false;
    }

    const InfSection* Section(const std::string& name) const {
        const auto found = inf.find(Upper(name));
        return found == inf.end() ? nullptr : &found->second;
    }

    // ---- Substitution ------------------------------------------------------------------------

    bool Expand(const std::string& text, int line, InstallDirIs install_dir, std::string& result,
                bool* device_tokens = nullptr, int depth = 0) {
        if (depth > 8) {
            return Fail(line, "the [Strings] refer to each other in a loop");
        }
        result.clear();
        for (std::size_t k = 0; k < text.size(); ++k) {
            if (text[k] != '%') {
                result += text[k];
                continue;
            }
            const std::size_t close = text.find('%', k + 1);
            if (close == std::string::npos) {
                return Fail(line, "a % without its closing % in \"" + text + "\"");
            }
            const std::string name = text.substr(k + 1, close - k - 1);
            k = close;
            const std::string upper = Upper(name);
            unsigned folder = 0;
            if (name.empty()) {
                result += '%';
            } else if (ce_package::ParseCeFolder("%" + name + "%", folder)) {
                if (ce_package::CeFolder(folder) == nullptr) {
                    return Fail(line, "%" + name +
                                          "% is not a folder CE 3.0 defines (it has %CE1%, "
                                          "%CE2%, %CE4%, %CE5%, %CE11%, %CE15% and %CE17%)");
                }
                result += "%CE" + std::to_string(folder) + "%";
                if (device_tokens != nullptr) {
                    *device_tokens = true;
                }
            } else if (upper == "INSTALLDIR" && install_dir == InstallDirIs::kLeft) {
                result += "%InstallDir%";
                if (device_tokens != nullptr) {
                    *device_tokens = true;
                }
            } else {
                const auto found = strings.find(upper);
                if (found == strings.end()) {
                    return Fail(line, "%" + name + "% is defined in neither [Strings] nor " +
                                          "[CEStrings]");
                }
                std::string inner;
                if (!Expand(found->second.first, line, install_dir, inner, device_tokens,
                            depth + 1)) {
                    return false;
                }
                result += inner;
            }
        }
        return true;
    }

    bool ExpandField(const InfLine& line, std::size_t index, std::string& result,
                     InstallDirIs install_dir = InstallDirIs::kExpanded) {
        const std::string text = index < line.fields.size() ? line.fields[index] : std::string();
        return Expand(text, line.number, install_dir, result);
    }

    // ---- Tables ------------------------------------------------------------------------------

    std::uint16_t StringId(const std::string& text) {
        for (const ce_package::Text& entry : out.strings) {
            if (entry.text == text) {
                return entry.id;
            }
        }
        const auto id = static_cast<std::uint16_t>(out.strings.size() + 1);
        out.strings.push_back({id, text});
        return id;
    }

    // A folder's parts: the first a %CEn% folder, then names; nothing empty.
    bool FolderParts(const std::string& path, int line, std::vector<std::string>& parts) {
        parts.clear();
        std::size_t start = 0;
        for (;;) {
            const std::size_t slash = path.find('\\', start);
            parts.push_back(path.substr(start, slash - start));
            if (parts.back().empty()) {
                return Fail(line, "the folder \"" + path + "\" has an empty part");
            }
            if (slash == std::string::npos) {
                break;
            }
            start = slash + 1;
        }
        // Only %CEn% roots are known to mean the same folder on every CE 3.0 device.
        unsigned folder = 0;
        if (!ce_package::ParseCeFolder(parts.front(), folder)) {
            return Fail(line, "the folder \"" + path + "\" does not start with a %CEn% folder");
        }
        return true;
    }

    std::vector<std::uint16_t> Ids(const std::vector<std::string>& parts) {
        std::vector<std::uint16_t> ids;
        ids.reserve(parts.size());
        for (const std::string& part : parts) {
            ids.push_back(StringId(part));
        }
        return ids;
    }

    std::uint16_t DirectoryId(const std::vector<std::string>& parts) {
        const std::vector<std::uint16_t> ids = Ids(parts);
        for (const ce_package::Directory& directory : out.directories) {
            if (directory.parts == ids) {
                return directory.id;
            }
        }
        const auto id = static_cast<std::uint16_t>(out.directories.size() + 1);
        out.directories.push_back({id, ids});
        return id;
    }

    // ---- Sections ----------------------------------------------------------------------------

    // Keyed lines of `section`, each key one of `known`, none twice.
    bool Keys(const InfSection& section, const std::set<std::string>& known,
              std::map<std::string, const InfLine*>& keys) {
        for (const InfLine& line : section.lines) {
            if (!line.has_key || line.key.empty()) {
                return Fail(line.number, "a line without a key in [" + section.name + "]");
            }
            const std::string key = Upper(line.key);
            if (!known.empty() && known.count(key) == 0) {
                return Fail(line.number, "[" + section.name + "] has no key " + line.key);
            }
            if (!keys.emplace(key, &line).second) {
                return Fail(line.number, line.key + " is given twice in [" + section.name + "]");
            }
        }
        return true;
    }

    const InfSection* Required(const std::string& name) {
        const InfSection* section = Section(name);
        if (section == nullptr) {
            FailWhole("the section [" + name + "] is missing");
        }
        return section;
    }

    bool Version() {
        const InfSection* section = Required("Version");
        std::map<std::string, const InfLine*> keys;
        if (section == nullptr || !Keys(*section, {"SIGNATURE", "CESIGNATURE", "PROVIDER"}, keys)) {
            return false;
        }
        const auto signature = keys.find("SIGNATURE");
        if (signature == keys.end() || (signature->second->fields[0] != "$Windows NT$" &&
                                        signature->second->fields[0] != "$Windows 95$")) {
            return Fail(section->number,
                        R"([Version] needs Signature="$Windows NT$" (or "$Windows 95$"))");
        }
        const auto ce = keys.find("CESIGNATURE");
        if (ce == keys.end() || ce->second->fields[0] != "$Windows CE$") {
            return Fail(section->number, "[Version] needs CESignature=\"$Windows CE$\"");
        }
        const auto provider = keys.find("PROVIDER");
        if (provider == keys.end()) {
            return Fail(section->number, "[Version] needs a Provider");
        }
        if (!ExpandField(*provider->second, 0, out.provider)) {
            return false;
        }
        if (out.provider.empty()) {
            return Fail(provider->second->number, "the Provider is empty");
        }
        return true;
    }

    bool Strings() {
        const InfSection* ce = Required("CEStrings");
        std::map<std::string, const InfLine*> keys;
        if (ce == nullptr || !Keys(*ce, {"APPNAME", "INSTALLDIR"}, keys)) {
            return false;
        }
        if (keys.count("APPNAME") == 0) {
            return Fail(ce->number, "[CEStrings] needs an AppName");
        }
        for (const auto& key : keys) {
            strings[key.first] = {key.second->fields[0], key.second->number};
        }
        if (keys.count("INSTALLDIR") == 0) {
            strings["INSTALLDIR"] = {"%CE1%\\%AppName%", ce->number};
        }
        if (const InfSection* free = Section("Strings")) {
            std::map<std::string, const InfLine*> more;
            if (!Keys(*free, {}, more)) {
                return false;
            }
            for (const auto& key : more) {
                if (!strings
                         .emplace(key.first,
                                  std::make_pair(key.second->fields[0], key.second->number))
                         .second) {
                    return Fail(key.second->number,
                                key.second->key + " is given in [CEStrings] already");
                }
            }
        }
        if (!Expand(strings["APPNAME"].first, strings["APPNAME"].second, InstallDirIs::kExpanded,
                    out.app_name)) {
            return false;
        }
        if (out.app_name.empty()) {
            return Fail(strings["APPNAME"].second, "the AppName is empty");
        }
        // The install folder is directory 1. The `.000` has no field of its own for it (as far
        // as anyone has written down), so it is spelt out with %CEn% like every other folder:
        // an installer that knows only the %CEn% folders still puts the files where they go.
        std::string install_dir;
        std::vector<std::string> parts;
        const int line = strings["INSTALLDIR"].second;
        if (!Expand(strings["INSTALLDIR"].first, line, InstallDirIs::kExpanded, install_dir) ||
            !FolderParts(install_dir, line, parts)) {
            return false;
        }
        DirectoryId(parts);
        return true;
    }

    bool Version(const InfLine& line, std::uint32_t& major, std::uint32_t& minor) {
        const std::string& text = line.fields[0];
        const std::size_t dot = text.find('.');
        unsigned long long high = 0;
        unsigned long long low = 0;
        if (dot == std::string::npos || !ParseNumber(text.substr(0, dot), 0xFFFFFFFF, high) ||
            !ParseNumber(text.substr(dot + 1), 0xFFFFFFFF, low)) {
            return Fail(line.number,
                        line.key + " must be major.minor (e.g. 3.0), not \"" + text + "\"");
        }
        major = static_cast<std::uint32_t>(high);
        minor = static_cast<std::uint32_t>(low);
        return true;
    }

    bool Number(const InfLine& line, std::uint32_t& value) {
        unsigned long long number = 0;
        if (!ParseNumber(line.fields[0], 0xFFFFFFFF, number)) {
            return Fail(line.number,
                        line.key + " must be a number, not \"" + line.fields[0] + "\"");
        }
        value = static_cast<std::uint32_t>(number);
        return true;
    }

    bool Device() {
        const InfSection* section = Section("CEDevice");
        if (section == nullptr) {
            return true;
        }
        std::map<std::string, const InfLine*> keys;
        if (!Keys(*section,
                  {"PROCESSORTYPE", "UNSUPPORTEDPLATFORMS", "VERSIONMIN", "VERSIONMAX", "BUILDMIN",
                   "BUILDMAX"},
                  keys)) {
            return false;
        }
        for (const auto& key : keys) {
            const InfLine& line = *key.second;
            // A key without a value sets no limit.
            if (line.fields.size() == 1 && line.fields[0].empty()) {
                continue;
            }
            bool done = true;
            if (key.first == "PROCESSORTYPE") {
                done = Number(line, out.processor);
            } else if (key.first == "VERSIONMIN") {
                done = Version(line, out.min_major, out.min_minor);
            } else if (key.first == "VERSIONMAX") {
                done = Version(line, out.max_major, out.max_minor);
            } else if (key.first == "BUILDMIN") {
                done = Number(line, out.min_build);
            } else if (key.first == "BUILDMAX") {
                done = Number(line, out.max_build);
            } else {
                for (std::size_t k = 0; done && k < line.fields.size(); ++k) {
                    std::string platform;
                    done = ExpandField(line, k, platform);
                    if (done && platform.empty()) {
                        return Fail(line.number, "an empty name in UnsupportedPlatforms");
                    }
                    out.unsupported.push_back(platform);
                }
            }
            if (!done) {
                return false;
            }
        }
        return true;
    }

    bool Sources() {
        const InfSection* names = Required("SourceDisksNames");
        const InfSection* files = Required("SourceDisksFiles");
        if (names == nullptr || files == nullptr) {
            return false;
        }
        std::map<std::string, const InfLine*> keys;
        if (!Keys(*names, {}, keys)) {
            return false;
        }
        for (const auto& key : keys) {
            std::string path;
            if (!ExpandField(*key.second, 3, path)) {
                return false;
            }
            std::replace(path.begin(), path.end(), '\\', '/');
            disks[key.first] = path.empty() ? std::string(".") : path;
        }
        keys.clear();
        if (!Keys(*files, {}, keys)) {
            return false;
        }
        for (const auto& key : keys) {
            const std::string disk = Upper(key.second->fields[0]);
            if (disks.count(disk) == 0) {
                return Fail(key.second->number, key.second->key + " is on disk \"" +
                                                    key.second->fields[0] +
                                                    "\", which [SourceDisksNames] lacks");
            }
            sources[key.first] = key.second;
        }
        return true;
    }

    // Where the source file `name` is, named at `line` of the .inf.
    bool SourcePath(const std::string& name, int line, std::string& path) {
        const auto source = sources.find(Upper(name));
        if (source == sources.end()) {
            return Fail(line, name + " is not listed in [SourceDisksFiles]");
        }
        const InfLine& listed = *source->second;
        for (const auto& given : options.files) {
            if (Upper(given.first) == Upper(name)) {
                path = given.second;
                if (!IsRegularFile(path)) {
                    return Fail(listed.number,
                                "the source file " + name + " is not at " + given.second);
                }
                return true;
            }
        }
        for (const std::string& folder : options.source_folders) {
            std::string candidate = folder;
            candidate += "/";
            candidate += name;  // NOLINT(performance-inefficient-string-concatenation)
            if (IsRegularFile(candidate)) {
                path = candidate;
                return true;
            }
        }
        const std::string& disk = disks[Upper(listed.fields[0])];
        path = (disk[0] == '/' ? disk : FolderOf(options.inf) + "/" + disk) + "/" + name;
        if (!IsRegularFile(path)) {
            return Fail(listed.number, "the source file " + name + " is not at " + path);
        }
        return true;
    }

    // The sections [DefaultInstall] names under `key`, each of which must exist.
    bool Named(const std::map<std::string, const InfLine*>& install, const std::string& key,
               std::vector<const InfSection*>& sections) {
        const auto found = install.find(Upper(key));
        if (found == install.end()) {
            return true;
        }
        for (const std::string& name : found->second->fields) {
            const InfSection* section = name.empty() ? nullptr : Section(name);
            if (section == nullptr) {
                return Fail(found->second->number, std::string(key) + " names the section [" +
                                                       name + "], which does not exist");
            }
            sections.push_back(section);
        }
        return true;
    }

    // The folder of a CopyFiles or CEShortcuts section, as written, from [DestinationDirs].
    bool Destination(const InfSection& section, std::string& written, int& line) {
        const InfSection* dirs = Section("DestinationDirs");
        const InfLine* chosen = nullptr;
        if (dirs != nullptr) {
            for (const InfLine& entry : dirs->lines) {
                if (entry.has_key && Upper(entry.key) == Upper(section.name)) {
                    chosen = &entry;
                }
                if (chosen == nullptr && entry.has_key && Upper(entry.key) == "DEFAULTDESTDIR") {
                    chosen = &entry;
                }
            }
        }
        if (chosen == nullptr) {
            return Fail(section.number, "no folder for [" + section.name +
                                            "]: [DestinationDirs] has neither " + section.name +
                                            " nor DefaultDestDir");
        }
        if (chosen->fields.size() != 2 || chosen->fields[0] != "0") {
            return Fail(chosen->number, "a [DestinationDirs] entry must be 0,<folder>");
        }
        written = chosen->fields[1];
        line = chosen->number;
        return true;
    }

    bool Copy(const InfSection& section) {
        std::string written;
        int line = 0;
        std::string folder;
        std::vector<std::string> parts;
        if (!Destination(section, written, line) ||
            !Expand(written, line, InstallDirIs::kExpanded, folder) ||
            !FolderParts(folder, line, parts)) {
            return false;
        }
        const std::uint16_t directory = DirectoryId(parts);
        for (const InfLine& entry : section.lines) {
            if (entry.has_key) {
                return Fail(entry.number, "a CopyFiles line is installed_name,[source],,flags");
            }
            std::string installed;
            std::string source;
            if (!ExpandField(entry, 0, installed) || !ExpandField(entry, 1, source)) {
                return false;
            }
            if (installed.empty() || installed.find_first_of("\\/:*?\"<>|") != std::string::npos) {
                return Fail(entry.number, "\"" + installed + "\" is not a file name");
            }
            unsigned long long flags = 0;
            if (entry.fields.size() > 3 && !entry.fields[3].empty() &&
                !ParseNumber(entry.fields[3], 0xFFFFFFFF, flags)) {
                return Fail(entry.number,
                            "the copy flags \"" + entry.fields[3] + "\" are not a number");
            }
            if ((flags & ~static_cast<unsigned long long>(ce_package::kFileKnownFlags)) != 0) {
                return Fail(
                    entry.number,
                    "the copy flags " + Hex(flags) + " hold bits CE does not know (" +
                        Hex(flags & ~static_cast<unsigned long long>(ce_package::kFileKnownFlags)) +
                        ")");
            }
            if (entry.fields.size() > 4) {
                return Fail(entry.number, "a CopyFiles line has at most four fields");
            }
            for (const ce_package::File& file : out.files) {
                if (file.directory == directory && Upper(file.name) == Upper(installed)) {
                    std::string message = installed;
                    message += " is installed twice into ";
                    message += folder;
                    return Fail(entry.number, message);
                }
            }
            if (out.files.size() == ce_package::kMaxFiles) {
                return Fail(entry.number,
                            "more than 998 files: a CE package holds at most 998 "
                            "(.001 to .998)");
            }
            Source file{source.empty() ? installed : source, std::string()};
            if (!SourcePath(file.name, entry.number, file.path)) {
                return false;
            }
            const auto id = static_cast<std::uint16_t>(out.files.size() + 1);
            out.files.push_back({id, directory, static_cast<std::uint32_t>(flags), installed});
            numbered.push_back(file);
        }
        return true;
    }

    bool Registry(const InfSection& section) {
        for (const InfLine& entry : section.lines) {
            if (entry.has_key || entry.fields.size() < 4) {
                return Fail(entry.number,
                            "an AddReg line is ROOT,subkey,[value_name],flags,value[,value...]");
            }
            const std::string root = Upper(entry.fields[0]);
            const std::uint16_t roots[] = {ce_package::kHkcr, ce_package::kHkcu, ce_package::kHklm};
            const char* const names[] = {"HKCR", "HKCU", "HKLM"};
            const auto* const which = std::find(std::begin(names), std::end(names), root);
            if (which == std::end(names)) {
                return Fail(entry.number, "the registry root \"" + entry.fields[0] +
                                              "\" is not HKCR, HKCU or HKLM");
            }
            std::string key;
            std::string name;
            std::vector<std::string> parts;
            if (!ExpandField(entry, 1, key) || !ExpandField(entry, 2, name)) {
                return false;
            }
            std::size_t start = 0;
            for (;;) {
                const std::size_t slash = key.find('\\', start);
                parts.push_back(key.substr(start, slash - start));
                if (parts.back().empty()) {
                    return Fail(entry.number, "the key \"" + key + "\" has an empty part");
                }
                if (slash == std::string::npos) {
                    break;
                }
                start = slash + 1;
            }
            unsigned long long type = 0;
            if (!ParseNumber(entry.fields[3], 0xFFFFFFFF, type)) {
                return Fail(entry.number,
                            "the value flags \"" + entry.fields[3] + "\" are not a number");
            }
            const auto base = static_cast<std::uint32_t>(type) & ~ce_package::kTypeNoClobber;
            if ((type & ~0x00010003ull) != 0 ||
                (base != ce_package::kTypeString && base != ce_package::kTypeMultiString &&
                 base != ce_package::kTypeBinary && base != ce_package::kTypeDword)) {
                return Fail(entry.number, "the value type " + Hex(type) +
                                              " is not one CE knows (string 0x00000000, "
                                              "multi-string 0x00010000, binary 0x00000001, "
                                              "DWORD 0x00010001, each maybe with 0x00000002)");
            }
            ce_package::Value value;
            value.type = static_cast<std::uint32_t>(type);
            value.name = name;
            if (!Data(entry, base, value)) {
                return false;
            }
            const auto root_id = roots[which - std::begin(names)];
            const std::vector<std::uint16_t> ids = Ids(parts);
            std::uint16_t hive = 0;
            for (const ce_package::Hive& known : out.hives) {
                if (known.root == root_id && known.parts == ids) {
                    hive = known.id;
                }
            }
            if (hive == 0) {
                hive = static_cast<std::uint16_t>(out.hives.size() + 1);
                out.hives.push_back({hive, root_id, ids});
            }
            value.hive = hive;
            value.id = static_cast<std::uint16_t>(out.values.size() + 1);
            out.values.push_back(std::move(value));
        }
        return true;
    }

    // A value's data from the fields after its flags; strings keep %InstallDir% and %CEn% for
    // the device to expand.
    bool Data(const InfLine& entry, std::uint32_t base, ce_package::Value& value) {
        const std::size_t first = 4;
        const std::size_t count = entry.fields.size() > first ? entry.fields.size() - first : 0;
        if (base == ce_package::kTypeString || base == ce_package::kTypeMultiString) {
            if (base == ce_package::kTypeString && count > 1) {
                return Fail(entry.number,
                            "a string value takes one field (quote a text with "
                            "commas)");
            }
            for (std::size_t k = 0; k < std::max<std::size_t>(count, 1); ++k) {
                std::string text;
                const std::string field = k < count ? entry.fields[first + k] : std::string();
                if (!Expand(field, entry.number, InstallDirIs::kLeft, text, &value.substitute)) {
                    return false;
                }
                value.data += text;
                value.data += '\0';
            }
            if (base == ce_package::kTypeMultiString) {
                value.data += '\0';
            }
            return true;
        }
        if (base == ce_package::kTypeDword) {
            unsigned long long number = 0;
            if (count != 1 || !ParseNumber(entry.fields[first], 0xFFFFFFFF, number)) {
                return Fail(entry.number, "a DWORD value takes one number");
            }
            for (int shift = 0; shift < 32; shift += 8) {
                value.data += static_cast<char>((number >> shift) & 0xFF);
            }
            return true;
        }
        for (std::size_t k = 0; k < count; ++k) {
            unsigned long long byte = 0;
            const std::string& field = entry.fields[first + k];
            if (field.size() > 2 || !ParseNumber("0x" + field, 0xFF, byte)) {
                return Fail(entry.number,
                            "binary data is hexadecimal bytes, not \"" + field + "\"");
            }
            value.data += static_cast<char>(byte);
        }
        return true;
    }

    bool Shortcuts(const InfSection& section) {
        for (const InfLine& entry : section.lines) {
            if (entry.has_key || entry.fields.size() < 3 || entry.fields.size() > 4) {
                return Fail(entry.number, "a CEShortcuts line is name,type,target[,folder]");
            }
            ce_package::Link link;
            std::string name;
            std::string target;
            if (!ExpandField(entry, 0, name) || !ExpandField(entry, 2, target)) {
                return false;
            }
            if (name.empty() || name.find('\\') != std::string::npos) {
                return Fail(entry.number, "\"" + name + "\" is not a shortcut name");
            }
            unsigned long long type = 0;
            if (!ParseNumber(entry.fields[1], 0xFFFF, type)) {
                return Fail(entry.number,
                            "the shortcut type \"" + entry.fields[1] + "\" is not a number");
            }
            if (type == 0) {
                link.kind = ce_package::kLinkToFile;
                int found = 0;
                for (const ce_package::File& file : out.files) {
                    if (Upper(file.name) == Upper(target)) {
                        link.target = file.id;
                        ++found;
                    }
                }
                if (found != 1) {
                    return Fail(entry.number, "the shortcut's target " + target + " is " +
                                                  (found == 0 ? "not a file the package installs"
                                                              : "installed more than once"));
                }
            } else {
                link.kind = ce_package::kLinkToDirectory;
                std::string folder;
                std::vector<std::string> parts;
                if (!ExpandField(entry, 2, folder, InstallDirIs::kLeft)) {
                    return false;
                }
                if (Upper(folder) != "%INSTALLDIR%") {
                    if (!FolderParts(target, entry.number, parts)) {
                        return false;
                    }
                    link.target = DirectoryId(parts);
                }
            }
            std::string written;
            int line = entry.number;
            if (entry.fields.size() == 4 && !entry.fields[3].empty()) {
                written = entry.fields[3];
            } else if (!Destination(section, written, line)) {
                return false;
            }
            std::string folder;
            std::vector<std::string> parts;
            if (!Expand(written, line, InstallDirIs::kLeft, folder)) {
                return false;
            }
            // The base is the install folder or a %CEn% folder; the subfolders under it go
            // into the link's name. The entry's second field stays 0: what a writer put there
            // for other folders is unconfirmed.
            const bool in_install_dir = Upper(folder).compare(0, 12, "%INSTALLDIR%") == 0;
            if (in_install_dir) {
                folder = "%CE1%" + folder.substr(12);  // a stand-in root, checked as any other
            }
            if (!FolderParts(folder, line, parts)) {
                return false;
            }
            link.base = in_install_dir ? std::uint16_t{0}
                                       : static_cast<std::uint16_t>(
                                             std::stoi(parts[0].substr(3, parts[0].size() - 4)));
            parts.erase(parts.begin());
            parts.push_back(name);
            link.parts = Ids(parts);
            link.id = static_cast<std::uint16_t>(out.links.size() + 1);
            out.links.push_back(std::move(link));
        }
        return true;
    }

    bool Install() {
        const InfSection* section = Required("DefaultInstall");
        std::map<std::string, const InfLine*> keys;
        if (section == nullptr ||
            !Keys(*section, {"COPYFILES", "ADDREG", "CESHORTCUTS", "CESETUPDLL"}, keys)) {
            return false;
        }
        std::vector<const InfSection*> copies;
        std::vector<const InfSection*> registry;
        std::vector<const InfSection*> shortcuts;
        if (!Named(keys, "CopyFiles", copies) || !Named(keys, "AddReg", registry) ||
            !Named(keys, "CEShortcuts", shortcuts)) {
            return false;
        }
        if (const InfSection* dirs = Section("DestinationDirs")) {
            for (const InfLine& entry : dirs->lines) {
                if (!entry.has_key) {
                    return Fail(entry.number, "a line without a key in [DestinationDirs]");
                }
                if (Upper(entry.key) != "DEFAULTDESTDIR" && Section(entry.key) == nullptr) {
                    return Fail(entry.number, "[DestinationDirs] names the section [" + entry.key +
                                                  "], which does not exist");
                }
            }
        }
        for (const InfSection* copy : copies) {
            if (!Copy(*copy)) {
                return false;
            }
        }
        for (const InfSection* values : registry) {
            if (!Registry(*values)) {
                return false;
            }
        }
        for (const InfSection* links : shortcuts) {
            if (!Shortcuts(*links)) {
                return false;
            }
        }
        const auto setup = keys.find("CESETUPDLL");
        if (setup != keys.end()) {
            std::string name;
            if (!ExpandField(*setup->second, 0, name)) {
                return false;
            }
            if (setup->second->fields.size() != 1 || name.empty()) {
                return Fail(setup->second->number, "CESetupDLL names one file");
            }
            setup_library.name = name;
            if (!SourcePath(name, setup->second->number, setup_library.path)) {
                return false;
            }
        }
        return true;
    }
};

}  // namespace

std::string MemberName(const std::string& file_name, unsigned number) {
    const std::size_t dot = file_name.rfind('.');
    const std::string base =
        dot == std::string::npos || dot == 0 ? file_name : file_name.substr(0, dot);
    // The short name's base, as the file system makes it: letters upper-cased, what an 8.3
    // name may not hold left out, and a name that lost anything or is too long cut to six
    // characters and "~1".
    std::string shortened;
    bool lossy = false;
    for (const char c : Upper(base)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || std::string(".\"*+,/:;<=>?[\\]|").find(c) != std::string::npos) {
            lossy = true;
        } else {
            shortened += c;
        }
    }
    if (lossy || shortened.size() > 8 || shortened.empty()) {
        shortened = shortened.substr(0, 6) + "~1";
    }
    char extension[8];
    std::snprintf(extension, sizeof extension, ".%03u", number);
    return std::string(8 - shortened.size(), '0') + shortened + extension;
}

bool LayOut(const Options& options, Package& package, std::string& error) {
    Builder builder{options, &error, {}, {}, {}, {}, {}, {}, {}};
    std::string text;
    if (!ReadWhole(options.inf, text)) {
        error = options.inf + ": cannot be read";
        return false;
    }
    if (!ParseInf(options.inf, text, builder.inf, error) || !builder.Version() ||
        !builder.Strings() || !builder.Device() || !builder.Sources() || !builder.Install()) {
        return false;
    }
    if (options.processor_given) {
        builder.out.processor = options.processor;
    }
    if (!ce_package::Encode(builder.out, package.instructions_bytes, error)) {
        error = options.inf + ": " + error;
        return false;
    }
    if (package.instructions_bytes.size() > ce_package::kMaxInstructionsSize) {
        return builder.FailWhole("the instructions (.000) come to " +
                                 std::to_string(package.instructions_bytes.size()) +
                                 " bytes, over the 32768 a CE package may have");
    }
    package.instructions = builder.out;
    package.members.clear();
    package.members.push_back({MemberName(BaseName(options.inf), 0), std::string()});
    if (!builder.setup_library.path.empty()) {
        package.members.push_back(
            {MemberName(builder.setup_library.name, ce_package::kSetupLibraryNumber),
             builder.setup_library.path});
    }
    for (std::size_t number = builder.numbered.size(); number > 0; --number) {
        const Source& file = builder.numbered[number - 1];
        package.members.push_back(
            {MemberName(file.name, static_cast<unsigned>(number)), file.path});
    }
    return true;
}

bool BuildPackage(const Options& options, std::string& error) {
    Package package;
    return LayOut(options, package, error) && WriteCabinet(package, options.output, error);
}

}  // namespace package_builder
