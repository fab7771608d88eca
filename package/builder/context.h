// What the builder's units share while they read one .inf: the parsed text, the error
// reporting and the tables of the package being laid out. Each unit reads one family of
// sections and can be read alone:
//   strings.cpp        [Version], [CEStrings], [Strings] and every %name% substitution
//   device.cpp         [CEDevice]: processor, versions, builds, unsupported platforms
//   files.cpp          [SourceDisksNames], [SourceDisksFiles], [DestinationDirs], CopyFiles
//                      and the folders they name
//   registry.cpp       AddReg
//   shortcuts.cpp      CEShortcuts
//   setup_library.cpp  CESetupDLL
// package_builder.cpp reads [DefaultInstall] and calls them in the order the tables need.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "builder/inf.h"
#include "builder/package_builder.h"
#include "ce_package/ce_package.h"

namespace package_builder {

// A source file as the .inf names it (its member is named after it) and where it is.
struct Source {
    std::string name;
    std::string path;
};

// How a %InstallDir% in a text is meant: expanded to the .inf's install folder, or left for the
// device, which knows the folder the user chose.
enum class InstallDirIs { kExpanded, kLeft };

struct Context {
    const Options& options;
    std::string* error;
    Inf inf;
    std::map<std::string, std::pair<std::string, int>> strings;  // upper name: text, line
    std::map<std::string, std::string> disks;                    // disk id: its path
    std::map<std::string, const InfLine*> sources;               // upper file name: its line
    ce_package::Instructions out;
    std::vector<Source> numbered;  // the files, by member number from 1
    Source setup_library;          // its path is empty when there is none

    bool Fail(int line, const std::string& what) const;
    bool FailWhole(const std::string& what) const;

    const InfSection* Section(const std::string& name) const;
    // The section, or null having failed because it is missing.
    const InfSection* Required(const std::string& name) const;
    // Keyed lines of `section`, each key one of `known` (any key when `known` is empty), none
    // twice.
    bool Keys(const InfSection& section, const std::set<std::string>& known,
              std::map<std::string, const InfLine*>& keys) const;

    // Ids in the tables being built, each text or folder entered once.
    std::uint16_t StringId(const std::string& text);
    std::vector<std::uint16_t> Ids(const std::vector<std::string>& parts);
    std::uint16_t DirectoryId(const std::vector<std::string>& parts);
};

// A decimal or 0x-hexadecimal number no greater than `most`.
bool ParseNumber(const std::string& text, unsigned long long most, unsigned long long& value);
std::string Hex(unsigned long long value);

// strings.cpp
bool ReadNames(Context& context);
bool Expand(Context& context, const std::string& text, int line, InstallDirIs install_dir,
            std::string& result, bool* device_tokens = nullptr);
bool ExpandField(Context& context, const InfLine& line, std::size_t index, std::string& result,
                 InstallDirIs install_dir = InstallDirIs::kExpanded);

// device.cpp
bool ReadDevice(Context& context);

// files.cpp
bool ReadSources(Context& context);
bool SourcePath(Context& context, const std::string& name, int line, std::string& path);
// The install folder, as directory 1.
bool ReadInstallFolder(Context& context);
// A folder's parts: the first a %CEn% folder, then names; nothing empty.
bool FolderParts(Context& context, const std::string& path, int line,
                 std::vector<std::string>& parts);
// The folder of a CopyFiles or CEShortcuts section, as written, from [DestinationDirs].
bool Destination(Context& context, const InfSection& section, std::string& written, int& line);
bool CheckDestinations(Context& context);
bool CopyFiles(Context& context, const InfSection& section);

// registry.cpp
bool AddRegistry(Context& context, const InfSection& section);

// shortcuts.cpp
bool AddShortcuts(Context& context, const InfSection& section);

// setup_library.cpp
bool ReadSetupLibrary(Context& context, const InfLine& line);

}  // namespace package_builder
