// A package as an installer lays it down: the decoded tables (ce_package.h) turned, in one step,
// into what goes where on the device: each folder's path, each file's, each registry value's root
// and key, each shortcut's file and target, with every "%CEn%" and "%InstallDir%" expanded. The
// texts stay the package's own 8-bit ones; paths are the device's, starting with "\".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ce_package/ce_package.h"

namespace ce_package {

// What the device must be for the package (0 where the package sets no limit).
struct Requirements {
    std::uint32_t processor = kProcessorAny;
    std::uint32_t min_major = 0, min_minor = 0, max_major = 0, max_minor = 0;
    std::uint32_t min_build = 0, max_build = 0;
    std::vector<std::string> unsupported;
};

// A path that names a folder the device lacks ("%CE3%" on a Pocket PC) is empty: the part that
// lies there cannot be installed, and the installer counts it so.
struct PlacedFolder {
    std::uint16_t id = 0;
    std::string path;
};

struct PlacedFile {
    std::uint16_t member = 0;  // the cabinet member's number
    std::uint32_t flags = 0;
    std::string name;  // as installed
    std::string path;  // its folder's path, "\", its name; empty with its folder
};

struct PlacedValue {
    std::string name;         // "" for the key's default value
    std::uint32_t type = 0;   // kTypeString ... kTypeDword, without kTypeNoClobber
    bool no_clobber = false;  // an existing value is kept
    bool placed = true;       // false when its data names a folder the device lacks
    std::string data;         // as stored, folders expanded where the package asks
};

// A hive's key and the values that go into it, in the package's order.
struct PlacedKey {
    std::uint16_t root = 0;  // kHkcr ... kHku
    std::string path;        // below the root, without a leading "\"
    std::vector<PlacedValue> values;
};

struct PlacedLink {
    std::string path;    // the shortcut file, ".lnk" added; empty when its folder is unknown
    std::string target;  // the file or folder it starts; empty when unknown
};

struct Layout {
    std::string app_name;
    std::string provider;
    Requirements requirements;
    std::string install_dir;  // what the hooks are given
    std::vector<PlacedFolder> folders;
    std::vector<PlacedFile> files;
    std::vector<PlacedKey> keys;
    std::vector<PlacedLink> links;
};

// The layout of decoded `instructions`, which Decode has checked. The install folder is the
// package's directory 1, as cabwiz writes the .inf's InstallDir, or cabwiz's default,
// "\Program Files\<AppName>", without one. False, saying why, when the install folder itself names
// a folder the device lacks, or a path would climb out of where the package puts it (a ".." part,
// a file name with a folder part).
bool Resolve(const Instructions& instructions, Layout& layout, std::string& error);

}  // namespace ce_package
