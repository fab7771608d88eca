#include "ce_package/layout.h"

#include <cstddef>

namespace ce_package {
namespace {

bool SameLetters(const std::string& a, const char* b) {
    std::size_t k = 0;
    for (; k < a.size() && b[k] != 0; ++k) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        if (lower(a[k]) != lower(b[k])) {
            return false;
        }
    }
    return k == a.size() && b[k] == 0;
}

// Replaces each "%CEn%" and "%InstallDir%" in `text`; false when one names a folder the device
// lacks, or another "%...%" stands there. A "%" without its pair is text.
bool Expand(const std::string& text, const std::string& install_dir, std::string& expanded) {
    expanded.clear();
    std::size_t at = 0;
    for (std::size_t open; (open = text.find('%', at)) != std::string::npos;) {
        const std::size_t close = text.find('%', open + 1);
        if (close == std::string::npos) {
            break;
        }
        expanded.append(text, at, open - at);
        const std::string token = text.substr(open, close - open + 1);
        unsigned number = 0;
        const char* folder = ParseCeFolder(token, number) ? CeFolder(number) : nullptr;
        if (SameLetters(token, "%InstallDir%")) {
            expanded += install_dir;
        } else if (folder != nullptr) {
            expanded += folder;
        } else {
            return false;
        }
        at = close + 1;
    }
    expanded.append(text, at, std::string::npos);
    return true;
}

// A directory's path on the device, or "" when it names a folder the device lacks. Id 0 is the
// install folder.
std::string DirectoryPath(const Instructions& instructions, std::uint16_t id,
                          const std::string& install_dir) {
    if (id == 0) {
        return install_dir;
    }
    const Directory* directory = FindDirectory(instructions, id);
    std::string path;
    if (directory == nullptr ||
        !Expand(JoinParts(instructions, directory->parts), install_dir, path)) {
        return {};
    }
    return !path.empty() && path[0] == '\\' ? path : "\\" + path;
}

// Whether a device path climbs out of where it starts: a ".." among its parts, which "/"
// separates as well as "\" wherever Win32 reads the path.
bool Climbs(const std::string& path) {
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (path.compare(start, end - start, "..") == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// What keeps a package's paths where it puts them: no folder, file or shortcut whose path
// climbs out with "..", and no file name with a folder part, which would write the file
// elsewhere than its folder.
bool Contained(const Instructions& instructions, const Layout& layout, std::string& error) {
    if (Climbs(layout.install_dir)) {
        error = "the install folder " + layout.install_dir + " climbs out of its folder";
        return false;
    }
    for (const PlacedFolder& folder : layout.folders) {
        if (Climbs(folder.path)) {
            error = "directory " + std::to_string(folder.id) + ", " + folder.path +
                    ", climbs out of its folder";
            return false;
        }
    }
    for (const File& file : instructions.files) {
        if (file.name.find_first_of("\\/") != std::string::npos || file.name == "." ||
            file.name == "..") {
            error = "file " + std::to_string(file.id) + "'s name " + file.name +
                    " is no plain file name";
            return false;
        }
    }
    for (const PlacedLink& link : layout.links) {
        if (Climbs(link.path) || Climbs(link.target)) {
            error = "the shortcut " + link.path + " climbs out of its folder";
            return false;
        }
    }
    return true;
}

PlacedValue PlaceValue(const Value& value, const std::string& install_dir) {
    PlacedValue placed;
    placed.name = value.name;
    placed.type = value.type & ~kTypeNoClobber;
    placed.no_clobber = (value.type & kTypeNoClobber) != 0;
    placed.data = value.data;
    const bool text = placed.type == kTypeString || placed.type == kTypeMultiString;
    if (text && value.substitute) {
        placed.placed = Expand(value.data, install_dir, placed.data);
    }
    return placed;
}

PlacedLink PlaceLink(const Instructions& instructions, const Link& link,
                     const std::string& install_dir) {
    PlacedLink placed;
    const char* base = link.base == 0 ? install_dir.c_str() : CeFolder(link.base);
    if (base != nullptr) {
        placed.path = std::string(base) + "\\" + JoinParts(instructions, link.parts) + ".lnk";
    }
    if (link.kind == kLinkToFile) {
        const File* file = FindFile(instructions, link.target);
        const std::string folder = file == nullptr
                                       ? std::string()
                                       : DirectoryPath(instructions, file->directory, install_dir);
        if (file != nullptr && !folder.empty()) {
            placed.target = folder + "\\" + file->name;
        }
    } else {
        placed.target = DirectoryPath(instructions, link.target, install_dir);
    }
    return placed;
}

}  // namespace

bool Resolve(const Instructions& instructions, Layout& layout, std::string& error) {
    Layout out;
    out.app_name = instructions.app_name;
    out.provider = instructions.provider;
    Requirements& requirements = out.requirements;
    requirements.processor = instructions.processor;
    requirements.min_major = instructions.min_major;
    requirements.min_minor = instructions.min_minor;
    requirements.max_major = instructions.max_major;
    requirements.max_minor = instructions.max_minor;
    requirements.min_build = instructions.min_build;
    requirements.max_build = instructions.max_build;
    requirements.unsupported = instructions.unsupported;

    out.install_dir = std::string(CeFolder(1)) + "\\" + instructions.app_name;
    if (FindDirectory(instructions, 1) != nullptr) {
        out.install_dir = DirectoryPath(instructions, 1, out.install_dir);
        if (out.install_dir.empty()) {
            error = "the install folder " +
                    JoinParts(instructions, FindDirectory(instructions, 1)->parts) +
                    " is none the device has";
            return false;
        }
    }
    for (const Directory& directory : instructions.directories) {
        out.folders.push_back(
            {directory.id, DirectoryPath(instructions, directory.id, out.install_dir)});
    }
    for (const File& file : instructions.files) {
        PlacedFile placed{file.id, file.flags, file.name, {}};
        const std::string folder = DirectoryPath(instructions, file.directory, out.install_dir);
        if (!folder.empty()) {
            placed.path = folder + "\\" + file.name;
        }
        out.files.push_back(std::move(placed));
    }
    for (const Hive& hive : instructions.hives) {
        // The registry has no root to a path: a leading "\", as some .inf files write it, is none.
        std::string path = JoinParts(instructions, hive.parts);
        path.erase(0, path.find_first_not_of('\\'));
        PlacedKey key{hive.root, path, {}};
        for (const Value& value : instructions.values) {
            if (value.hive == hive.id) {
                key.values.push_back(PlaceValue(value, out.install_dir));
            }
        }
        out.keys.push_back(std::move(key));
    }
    for (const Link& link : instructions.links) {
        out.links.push_back(PlaceLink(instructions, link, out.install_dir));
    }
    if (!Contained(instructions, out, error)) {
        return false;
    }
    layout = std::move(out);
    return true;
}

}  // namespace ce_package
