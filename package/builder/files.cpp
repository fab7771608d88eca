// The files and their folders: where each source file is ([SourceDisksNames],
// [SourceDisksFiles]), where each CopyFiles section goes ([DestinationDirs]) and what it copies.
#include <sys/stat.h>

#include <algorithm>

#include "builder/context.h"

namespace package_builder {
namespace {

bool IsRegularFile(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool ReadDisks(Context& context, const InfSection& names) {
    std::map<std::string, const InfLine*> keys;
    if (!context.Keys(names, {}, keys)) {
        return false;
    }
    for (const auto& key : keys) {
        std::string path;
        if (!ExpandField(context, *key.second, 3, path)) {
            return false;
        }
        std::replace(path.begin(), path.end(), '\\', '/');
        context.disks[key.first] = path.empty() ? std::string(".") : path;
    }
    return true;
}

// The copy flags of a CopyFiles line, each a bit CE knows.
bool CopyFlags(Context& context, const InfLine& entry, std::uint32_t& flags) {
    unsigned long long value = 0;
    if (entry.fields.size() > 3 && !entry.fields[3].empty() &&
        !ParseNumber(entry.fields[3], 0xFFFFFFFF, value)) {
        return context.Fail(entry.number,
                            "the copy flags \"" + entry.fields[3] + "\" are not a number");
    }
    const auto unknown = value & ~static_cast<unsigned long long>(ce_package::kFileKnownFlags);
    if (unknown != 0) {
        return context.Fail(entry.number, "the copy flags " + Hex(value) +
                                              " hold bits CE does not know (" + Hex(unknown) + ")");
    }
    flags = static_cast<std::uint32_t>(value);
    return true;
}

// One CopyFiles line, into `directory` (written `folder`).
bool CopyFile(Context& context, const InfLine& entry, std::uint16_t directory,
              const std::string& folder) {
    if (entry.has_key) {
        return context.Fail(entry.number, "a CopyFiles line is installed_name,[source],,flags");
    }
    std::string installed;
    std::string source;
    if (!ExpandField(context, entry, 0, installed) || !ExpandField(context, entry, 1, source)) {
        return false;
    }
    if (installed.empty() || installed.find_first_of("\\/:*?\"<>|") != std::string::npos) {
        return context.Fail(entry.number, "\"" + installed + "\" is not a file name");
    }
    std::uint32_t flags = 0;
    if (!CopyFlags(context, entry, flags)) {
        return false;
    }
    if (entry.fields.size() > 4) {
        return context.Fail(entry.number, "a CopyFiles line has at most four fields");
    }
    for (const ce_package::File& file : context.out.files) {
        if (file.directory == directory && Upper(file.name) == Upper(installed)) {
            std::string message = installed;
            message += " is installed twice into ";
            message += folder;
            return context.Fail(entry.number, message);
        }
    }
    if (context.out.files.size() == ce_package::kMaxFiles) {
        return context.Fail(entry.number,
                            "more than 998 files: a CE package holds at most 998 (.001 to .998)");
    }
    Source file{source.empty() ? installed : source, std::string()};
    if (!SourcePath(context, file.name, entry.number, file.path)) {
        return false;
    }
    const auto id = static_cast<std::uint16_t>(context.out.files.size() + 1);
    context.out.files.push_back({id, directory, flags, installed});
    context.numbered.push_back(file);
    return true;
}

}  // namespace

bool ReadSources(Context& context) {
    const InfSection* names = context.Required("SourceDisksNames");
    const InfSection* files = context.Required("SourceDisksFiles");
    if (names == nullptr || files == nullptr || !ReadDisks(context, *names)) {
        return false;
    }
    std::map<std::string, const InfLine*> keys;
    if (!context.Keys(*files, {}, keys)) {
        return false;
    }
    for (const auto& key : keys) {
        const std::string disk = Upper(key.second->fields[0]);
        if (context.disks.count(disk) == 0) {
            return context.Fail(key.second->number, key.second->key + " is on disk \"" +
                                                        key.second->fields[0] +
                                                        "\", which [SourceDisksNames] lacks");
        }
        context.sources[key.first] = key.second;
    }
    return true;
}

bool SourcePath(Context& context, const std::string& name, int line, std::string& path) {
    const auto source = context.sources.find(Upper(name));
    if (source == context.sources.end()) {
        return context.Fail(line, name + " is not listed in [SourceDisksFiles]");
    }
    const InfLine& listed = *source->second;
    for (const auto& given : context.options.files) {
        if (Upper(given.first) == Upper(name)) {
            path = given.second;
            if (!IsRegularFile(path)) {
                return context.Fail(listed.number,
                                    "the source file " + name + " is not at " + given.second);
            }
            return true;
        }
    }
    for (const std::string& folder : context.options.source_folders) {
        std::string candidate = folder;
        candidate += "/";
        candidate += name;  // NOLINT(performance-inefficient-string-concatenation)
        if (IsRegularFile(candidate)) {
            path = candidate;
            return true;
        }
    }
    const std::string& disk = context.disks[Upper(listed.fields[0])];
    path = (disk[0] == '/' ? disk : FolderOf(context.options.inf) + "/" + disk) + "/" + name;
    if (!IsRegularFile(path)) {
        return context.Fail(listed.number, "the source file " + name + " is not at " + path);
    }
    return true;
}

bool FolderParts(Context& context, const std::string& path, int line,
                 std::vector<std::string>& parts) {
    parts.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('\\', start);
        parts.push_back(path.substr(start, slash - start));
        if (parts.back().empty()) {
            return context.Fail(line, "the folder \"" + path + "\" has an empty part");
        }
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    // Only %CEn% roots are known to mean the same folder on every CE 3.0 device.
    unsigned folder = 0;
    if (!ce_package::ParseCeFolder(parts.front(), folder)) {
        return context.Fail(line, "the folder \"" + path + "\" does not start with a %CEn% folder");
    }
    return true;
}

bool ReadInstallFolder(Context& context) {
    // The install folder is directory 1. The `.000` has no field of its own for it (as far
    // as anyone has written down), so it is spelt out with %CEn% like every other folder:
    // an installer that knows only the %CEn% folders still puts the files where they go.
    const auto& written = context.strings["INSTALLDIR"];
    std::string install_dir;
    std::vector<std::string> parts;
    if (!Expand(context, written.first, written.second, InstallDirIs::kExpanded, install_dir) ||
        !FolderParts(context, install_dir, written.second, parts)) {
        return false;
    }
    context.DirectoryId(parts);
    return true;
}

bool Destination(Context& context, const InfSection& section, std::string& written, int& line) {
    const InfSection* dirs = context.Section("DestinationDirs");
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
        return context.Fail(section.number, "no folder for [" + section.name +
                                                "]: [DestinationDirs] has neither " + section.name +
                                                " nor DefaultDestDir");
    }
    if (chosen->fields.size() != 2 || chosen->fields[0] != "0") {
        return context.Fail(chosen->number, "a [DestinationDirs] entry must be 0,<folder>");
    }
    written = chosen->fields[1];
    line = chosen->number;
    return true;
}

bool CheckDestinations(Context& context) {
    const InfSection* dirs = context.Section("DestinationDirs");
    if (dirs == nullptr) {
        return true;
    }
    for (const InfLine& entry : dirs->lines) {
        if (!entry.has_key) {
            return context.Fail(entry.number, "a line without a key in [DestinationDirs]");
        }
        if (Upper(entry.key) != "DEFAULTDESTDIR" && context.Section(entry.key) == nullptr) {
            return context.Fail(entry.number, "[DestinationDirs] names the section [" + entry.key +
                                                  "], which does not exist");
        }
    }
    return true;
}

bool CopyFiles(Context& context, const InfSection& section) {
    std::string written;
    int line = 0;
    std::string folder;
    std::vector<std::string> parts;
    if (!Destination(context, section, written, line) ||
        !Expand(context, written, line, InstallDirIs::kExpanded, folder) ||
        !FolderParts(context, folder, line, parts)) {
        return false;
    }
    const std::uint16_t directory = context.DirectoryId(parts);
    for (const InfLine& entry : section.lines) {
        if (!CopyFile(context, entry, directory, folder)) {
            return false;
        }
    }
    return true;
}

}  // namespace package_builder
