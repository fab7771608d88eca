// CEShortcuts: each line a link, to a file the package installs or to a folder, placed under
// the install folder or a %CEn% folder.
#include "builder/context.h"

namespace package_builder {
namespace {

// What the link points to: the one file installed under `target`, or a folder.
bool Target(Context& context, const InfLine& entry, unsigned long long type,
            const std::string& target, ce_package::Link& link) {
    if (type == 0) {
        link.kind = ce_package::kLinkToFile;
        int found = 0;
        for (const ce_package::File& file : context.out.files) {
            if (Upper(file.name) == Upper(target)) {
                link.target = file.id;
                ++found;
            }
        }
        if (found != 1) {
            return context.Fail(entry.number, "the shortcut's target " + target + " is " +
                                                  (found == 0 ? "not a file the package installs"
                                                              : "installed more than once"));
        }
        return true;
    }
    link.kind = ce_package::kLinkToDirectory;
    std::string folder;
    std::vector<std::string> parts;
    if (!ExpandField(context, entry, 2, folder, InstallDirIs::kLeft)) {
        return false;
    }
    if (Upper(folder) != "%INSTALLDIR%") {
        if (!FolderParts(context, target, entry.number, parts)) {
            return false;
        }
        link.target = context.DirectoryId(parts);
    }
    return true;
}

// An absolute folder spelt from the %CEn% folder it lies in ("\Windows\Start Menu\Games" is
// "%CE17%\Games"): a link's place in the .000 is a %CEn% folder or the install folder and the
// parts under it, never a path of its own (the one field that might hold one is unconfirmed).
bool UnderCeFolder(const std::string& folder, std::string& spelt) {
    std::size_t best = 0;
    for (unsigned number = 1; number <= ce_package::kMaxCeFolder; ++number) {
        const char* path = ce_package::CeFolder(number);
        const std::size_t length = path == nullptr ? 0 : std::string(path).size();
        if (length > best && Upper(folder).compare(0, length, Upper(path)) == 0 &&
            (folder.size() == length || folder[length] == '\\')) {
            best = length;
            spelt = "%CE" + std::to_string(number) + "%" + folder.substr(length);
        }
    }
    return best > 0;
}

// Where the link goes: its base and the parts of its name under it.
bool Place(Context& context, const InfSection& section, const InfLine& entry,
           const std::string& name, ce_package::Link& link) {
    std::string written;
    int line = entry.number;
    if (entry.fields.size() == 4 && !entry.fields[3].empty()) {
        written = entry.fields[3];
    } else if (!Destination(context, section, written, line)) {
        return false;
    }
    std::string folder;
    std::vector<std::string> parts;
    if (!Expand(context, written, line, InstallDirIs::kLeft, folder)) {
        return false;
    }
    // The subfolders under the base go into the link's name. The entry's second field stays
    // 0: what a writer put there for other folders is unconfirmed.
    const bool in_install_dir = Upper(folder).compare(0, 12, "%INSTALLDIR%") == 0;
    if (in_install_dir) {
        folder = "%CE1%" + folder.substr(12);  // a stand-in root, checked as any other
    } else if (!folder.empty() && folder[0] == '\\') {
        std::string spelt;
        if (!UnderCeFolder(folder, spelt)) {
            return context.Fail(line, "a shortcut cannot go into \"" + folder +
                                          "\": a CE package puts shortcuts under the install "
                                          "folder or a folder a %CEn% names (\\Windows, "
                                          "\\Program Files, \\My Documents, and those in them)");
        }
        folder = spelt;
    }
    if (!FolderParts(context, folder, line, parts)) {
        return false;
    }
    unsigned base = 0;
    ce_package::ParseCeFolder(parts[0], base);
    link.base = in_install_dir ? std::uint16_t{0} : static_cast<std::uint16_t>(base);
    parts.erase(parts.begin());
    parts.push_back(name);
    link.parts = context.Ids(parts);
    return true;
}

bool AddShortcut(Context& context, const InfSection& section, const InfLine& entry) {
    if (entry.has_key || entry.fields.size() < 3 || entry.fields.size() > 4) {
        return context.Fail(entry.number, "a CEShortcuts line is name,type,target[,folder]");
    }
    ce_package::Link link;
    std::string name;
    std::string target;
    if (!ExpandField(context, entry, 0, name) || !ExpandField(context, entry, 2, target)) {
        return false;
    }
    if (name.empty() || name.find('\\') != std::string::npos) {
        return context.Fail(entry.number, "\"" + name + "\" is not a shortcut name");
    }
    unsigned long long type = 0;
    if (!ParseNumber(entry.fields[1], 0xFFFF, type)) {
        return context.Fail(entry.number,
                            "the shortcut type \"" + entry.fields[1] + "\" is not a number");
    }
    if (!Target(context, entry, type, target, link) ||
        !Place(context, section, entry, name, link)) {
        return false;
    }
    link.id = static_cast<std::uint16_t>(context.out.links.size() + 1);
    context.out.links.push_back(std::move(link));
    return true;
}

}  // namespace

bool AddShortcuts(Context& context, const InfSection& section) {
    for (const InfLine& entry : section.lines) {
        if (!AddShortcut(context, section, entry)) {
            return false;
        }
    }
    return true;
}

}  // namespace package_builder
