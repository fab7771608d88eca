// The files and their folders: where each source file is ([SourceDisksNames],
// [SourceDisksFiles]), where each CopyFiles section goes ([DestinationDirs]), what it copies,
// and which of the copies register themselves (CESelfRegister).
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "builder/context.h"

namespace package_builder {
namespace {

bool IsRegularFile(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool Exists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// The entry of `folder` called `name` whatever its case, as the .inf was written on Windows:
// the one written so when there is one, else the only one that matches; empty when none does
// or several do (`several` says which).
std::string EntryNamed(const std::string& folder, const std::string& name, bool& several) {
    several = false;
    if (name == "." || name == ".." || Exists(folder + "/" + name)) {
        return name;
    }
    std::string found;
    if (DIR* dir = opendir(folder.empty() ? "/" : folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (Upper(entry->d_name) == Upper(name)) {
                several = several || !found.empty();
                found = entry->d_name;
            }
        }
        closedir(dir);
    }
    return several ? std::string() : found;
}

// `relative` under `root`, each part found whatever its case; empty when it is not there.
std::string FindPath(const std::string& root, const std::string& relative, std::string& problem) {
    std::string path = root;
    for (std::size_t start = 0; start <= relative.size();) {
        std::size_t slash = relative.find('/', start);
        slash = slash == std::string::npos ? relative.size() : slash;
        const std::string part = relative.substr(start, slash - start);
        start = slash + 1;
        if (part.empty()) {
            continue;
        }
        bool several = false;
        const std::string entry = EntryNamed(path, part, several);
        if (several) {
            problem = ", where more than one name differs from " + part + " only in case";
        }
        if (entry.empty()) {
            return {};
        }
        path += "/" + entry;
    }
    return IsRegularFile(path) ? path : std::string();
}

// Which other processors' [SourceDisksNames.<cpu>] name the disk `id`, for a message.
std::string DiskElsewhere(const Context& context, const std::string& id) {
    std::string others;
    for (const auto& section : context.inf) {
        if (section.first.rfind("SOURCEDISKSNAMES.", 0) != 0 ||
            (!context.cpu.empty() && section.first == "SOURCEDISKSNAMES." + Upper(context.cpu))) {
            continue;
        }
        for (const InfLine& line : section.second.lines) {
            if (line.has_key && Upper(line.key) == Upper(id)) {
                others += (others.empty() ? "[" : ", [") + section.second.name + "]";
                break;
            }
        }
    }
    if (others.empty()) {
        return others;
    }
    const bool one = others.find(',') == std::string::npos;
    return " (" + others + (one ? " has it: " : " have it: ") +
           (context.cpu.empty() ? "name a processor with --cpu)"
                                : (one ? "is that the processor meant?)"
                                       : "is one of those the processor meant?)"));
}

bool ReadDisks(Context& context) {
    Keyed names;
    // Neither [SourceDisks*] section need be there: a file that needs one is refused at its line.
    if (!context.ReadKeyed("SourceDisksNames", {}, false, names)) {
        return false;
    }
    for (const auto& key : names.lines) {
        std::string path;
        if (!ExpandField(context, *key.second, 3, path)) {
            return false;
        }
        std::replace(path.begin(), path.end(), '\\', '/');
        context.disks[key.first] = path.empty() ? std::string(".") : path;
    }
    return true;
}

// The files of one [SourceDisksFiles] section by their names, %name% replaced, in the file's
// order so that a name given twice is reported where it is given again.
bool ReadFileNames(Context& context, const InfSection& section,
                   std::map<std::string, const InfLine*>& names) {
    for (const InfLine& line : section.lines) {
        std::string name;
        if (!Expand(context, line.key, line.number, InstallDirIs::kExpanded, name)) {
            return false;
        }
        if (!names.emplace(Upper(name), &line).second) {
            return context.Fail(line.number, name + " is given twice in [" + section.name + "]");
        }
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
    Keyed files;
    std::map<std::string, const InfLine*> plain;
    std::map<std::string, const InfLine*> own;
    if (!ReadDisks(context) || !context.ReadKeyed("SourceDisksFiles", {}, false, files) ||
        (files.plain != nullptr && !ReadFileNames(context, *files.plain, plain)) ||
        (files.own != nullptr && !ReadFileNames(context, *files.own, own))) {
        return false;
    }
    context.sources = plain;
    for (const auto& name : own) {
        context.sources[name.first] = name.second;
    }
    return true;
}

bool SourcePath(Context& context, const std::string& name, int line, std::string& path) {
    const auto source = context.sources.find(Upper(name));
    if (source == context.sources.end()) {
        return context.Fail(line, name + " " + context.Absent("SourceDisksFiles"));
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
    std::string problem;
    for (const std::string& folder : context.options.source_folders) {
        path = FindPath(folder, name, problem);
        if (!path.empty()) {
            return true;
        }
    }
    const auto disk = context.disks.find(Upper(listed.fields[0]));
    if (disk == context.disks.end()) {
        return context.Fail(
            listed.number,
            name + " is on disk \"" + listed.fields[0] + "\", which " +
                (context.cpu.empty() ? "[SourceDisksNames] lacks"
                                     : "neither " + context.Both("SourceDisksNames") + " has") +
                DiskElsewhere(context, listed.fields[0]));
    }
    std::string subfolder;
    if (!ExpandField(context, listed, 1, subfolder)) {
        return false;
    }
    std::replace(subfolder.begin(), subfolder.end(), '\\', '/');
    const std::string& written = disk->second;
    const std::string root = written[0] == '/' ? std::string() : FolderOf(context.options.inf);
    const std::string relative =
        (root.empty() ? written : "/" + written) + (subfolder.empty() ? "" : "/" + subfolder);
    problem.clear();  // what the source folders had to say is not about this one
    path = FindPath(root, relative + "/" + name, problem);
    if (path.empty()) {
        const bool drive = written.size() > 1 && written[1] == ':';
        return context.Fail(listed.number,
                            "the source file " + name + " is not at " + root + relative + "/" +
                                name + problem +
                                (drive ? " (a folder on a Windows drive: say where the file is "
                                         "with --source-folder or --file)"
                                       : ""));
    }
    return true;
}

// An absolute folder is its parts from the root, with no empty part before them: CE has no
// current folder, so a path is from the root however it is written, and a reader that joins
// the parts with "\" and puts the root's "\" before them has the folder back. How cabwiz
// writes one is unconfirmed.
bool FolderParts(Context& context, const std::string& path, int line,
                 std::vector<std::string>& parts) {
    parts.clear();
    const bool absolute = !path.empty() && path[0] == '\\';
    const std::string rest = absolute ? path.substr(1) : path;
    const auto fail = [&](const std::string& what) {
        return context.Fail(line, "the folder \"" + path + "\" " + what);
    };
    if (rest.empty()) {
        return fail("has no parts (a CE package names no folder without one, not the root)");
    }
    for (std::size_t start = 0; start <= rest.size();) {
        std::size_t slash = rest.find('\\', start);
        slash = slash == std::string::npos ? rest.size() : slash;
        parts.push_back(rest.substr(start, slash - start));
        start = slash + 1;
        unsigned folder = 0;
        if (parts.back().empty()) {
            return fail("has an empty part");
        }
        if (parts.back().find_first_of("/:*?\"<>|") != std::string::npos) {
            return fail("holds a character no folder name may hold");
        }
        if (ce_package::ParseCeFolder(parts.back(), folder) && (parts.size() > 1 || absolute)) {
            return fail("has " + parts.back() + " where only its start may have one");
        }
    }
    unsigned folder = 0;
    if (!absolute && !ce_package::ParseCeFolder(parts.front(), folder)) {
        return fail("is neither under a %CEn% folder nor absolute (\\...)");
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
        // cabwiz builds such an .inf, the entry unused; it is worth a word all the same.
        if (Upper(entry.key) != "DEFAULTDESTDIR" && context.inf.count(Upper(entry.key)) == 0) {
            context.Note(entry.number, "[DestinationDirs] gives a folder to [" + entry.key +
                                           "], which the .inf does not have: left out");
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

bool LocateSources(Context& context, const std::vector<const InfSection*>& copies) {
    for (const InfSection* copy : copies) {
        for (const InfLine& entry : copy->lines) {
            std::string name;
            std::string path;
            if (!ExpandField(context, entry, entry.fields.size() > 1 ? 1 : 0, name) ||
                (name.empty() && !ExpandField(context, entry, 0, name))) {
                return false;
            }
            if (!entry.has_key && !name.empty() && !SourcePath(context, name, entry.number, path)) {
                return false;
            }
        }
    }
    return true;
}

bool SelfRegister(Context& context, const InfLine& line) {
    std::vector<std::string> names;
    if (!ExpandList(context, line, names)) {
        return false;
    }
    for (const std::string& name : names) {
        bool found = false;
        for (ce_package::File& file : context.out.files) {
            if (Upper(file.name) == Upper(name)) {
                file.flags |= ce_package::kFileSelfRegister;
                found = true;
            }
        }
        if (!found) {
            return context.Fail(line.number, "CESelfRegister names " + name +
                                                 ", which the package does not install");
        }
    }
    return true;
}

}  // namespace package_builder
